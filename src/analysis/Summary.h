#pragma once
// The summary of every output of a DB file, for judging how precise a study
// is: per output the count of values, the mean with its 95 % confidence
// interval, the sample standard deviation, the 5 / 50 / 95 % quantiles, and
// the share of invalid ("False") lines with its Wilson interval.
//
// Lines are chosen as every analysis chooses them (DataLineScan), with two
// differences that follow from looking at one output at a time:
// - the share of invalid lines counts every line that fits the header,
//   whether or not invalid lines are taken in;
// - a value that cannot be read ("1e999") leaves out that output's value
//   only, not the line's other outputs.
// The quantiles are the linear interpolation between order statistics that
// spreadsheets call PERCENTILE.INC (Hyndman and Fan's type 7): for sorted
// values x[0..n-1] the p quantile is x[h] interpolated at h = (n - 1) p. They
// need the values, so each output's values are held, 8 bytes a line; the
// rest comes from RunningSummary in the same single pass.

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/DataLineScan.h"
#include "analysis/RunningSummary.h"

namespace korvane {

struct OutputSummary {
    std::string name;
    std::size_t field = 0;  // index in the DB line
    RunningSummary running;
    Interval meanInterval;                       // NaN bounds with fewer than two values
    double q05 = 0, q50 = 0, q95 = 0;           // NaN without a value
};

struct SummaryResult {
    std::vector<OutputSummary> outputs;
    std::int64_t lines = 0;       // data lines that fit the header
    std::int64_t skipped = 0;     // lines that did not
    std::int64_t unreadable = 0;  // output values that cannot be read, in lines taken
    bool stopped = false;
    std::string error;
};

// The percent of the mean's and the share's intervals in the table.
inline constexpr double kSummaryPercent = 95;

// The p quantile (0 <= p <= 1) of values sorted ascending, by the rule
// above; NaN without a value.
double SortedQuantile(const std::vector<double>& sorted, double p);

// Reads the file once. False when it cannot be read (result.error) or the
// computation was stopped (result.stopped); outputs then keep no values.
bool ComputeSummary(const std::string& path, bool includeInvalid, const ProgressFn& progress,
                    SummaryResult& result);

// The note for values left out because they cannot be read (empty when
// there are none).
std::string UnreadableValuesMessage(std::int64_t unreadable);

// The table as the command line writes it: the header row ("", "データ数",
// "平均", "平均95%下限", "平均95%上限", "標準偏差(n-1)", "5%点", "50%点",
// "95%点", "False率", "False率95%下限", "False率95%上限"), then one row per
// output: the count as an integer, values in "0.000e+0", shares in
// "0.00000". A figure that has no value (no readable value, or a single one
// for the spread and the interval) is "-".
std::vector<std::vector<std::string>> SummaryTable(const SummaryResult& result);

}  // namespace korvane

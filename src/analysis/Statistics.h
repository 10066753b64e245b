#pragma once
// Statistics of every input and output column of a DB file: minimum,
// average, maximum, population variance and standard deviation over the
// lines used. Two passes over the file for all columns together: the first
// finds count, range and mean, the second sums the squared deviations from
// the mean.

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/DataLineScan.h"

namespace korvane {

inline constexpr const char* kSmallSampleMessage = "データ数が100個以下のため、精度が悪い可能性があります。";

struct ColumnStatistics {
    std::string name;
    std::size_t field = 0;  // index in the DB line
    double minimum = 0, maximum = 0, sum = 0, mean = 0, squares = 0, variance = 0, deviation = 0;
};

struct StatisticsResult {
    std::vector<ColumnStatistics> columns;
    std::int64_t used = 0;     // lines used (the same for every column)
    std::int64_t skipped = 0;  // lines that did not fit the header
    bool complete = false;     // both passes ran to the end
    bool stopped = false;
    std::string error;
    std::int64_t unreadable = 0;  // lines with a number that cannot be read
};

// The statistics columns of a header: fields 1 to n-2 (between "Count" and
// the verdict), named by the names line.
std::vector<ColumnStatistics> StatisticsColumns(const DbHeader& header);

// Reads the file twice. `progress` sees 0..0.5 in the first pass and 0.5..1
// in the second. False when the file cannot be read (result.error) or the
// computation was stopped (result.stopped); columns then keep no values.
bool ComputeStatistics(const std::string& path, bool includeInvalid, const ProgressFn& progress,
                       StatisticsResult& result);

// The window's table as displayed and saved: the header row ("", "最小",
// "平均", "最大", "分散", "標準偏差"), then one row per column with the five
// values in "0.000e+0". Without a used line the values are "-"; before the
// computation is complete they are empty.
std::vector<std::vector<std::string>> StatisticsTable(const StatisticsResult& result);

// True when the sample is small enough to warn about (100 lines or fewer).
inline bool IsSmallSample(std::int64_t used) { return used <= 100; }

}  // namespace korvane

#pragma once
// The distribution of one DB column in 25 equal bins between its minimum and
// maximum. The first pass finds count, range and mean; the second counts the
// bins, reporting along the way so the bars can grow while the file is read.

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "analysis/ChartFrame.h"
#include "analysis/DataLineScan.h"

namespace korvane {

inline constexpr int kHistogramBins = 25;
// A column with one distinct value has no bin width: its one bar stands in
// the middle.
inline constexpr int kSingleValueBin = 12;

struct HistogramResult {
    std::int64_t total = 0;    // N, lines used
    std::int64_t counted = 0;  // k, lines counted into bins so far
    double minimum = 0, maximum = 0, mean = 0, width = 0;
    std::array<std::int64_t, kHistogramBins> bins{};
    std::int64_t largest = 0;  // C, the largest bin count so far
    std::int64_t skipped = 0;
    bool rangeKnown = false;   // the first pass has ended
    bool complete = false;
    bool stopped = false;
    std::string error;
    std::int64_t unreadable = 0;  // lines whose value cannot be read
};

// The bin of a value: the integer part of (value - minimum) / width, the
// maximum itself in the last bin; kSingleValueBin when the width is 0.
int HistogramBin(double value, double minimum, double width);

// Counts DB field `field`. `step` runs after the first pass, after every
// fifth counted line and at the end; returning false stops (as does
// `progress`, which sees 0..0.5 and 0.5..1 for the two passes).
bool CountHistogram(const std::string& path, std::size_t field, bool includeInvalid, const ProgressFn& progress,
                    const std::function<bool(const HistogramResult&)>& step, HistogramResult& result);

// The chart frame of the counts so far.
inline ChartFrame HistogramFrame(const HistogramResult& r) { return HistogramFrame(r.largest, r.counted, r.total); }
// Where the mean line stands on the chart's x axis (the bars stand at bin + 1).
double HistogramMeanX(const HistogramResult& r);

}  // namespace korvane

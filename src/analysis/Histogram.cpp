#include "analysis/Histogram.h"

#include <cmath>

#include "analysis/RunningMean.h"

namespace korvane {

int HistogramBin(double value, double minimum, double width) {
    if (!(width > 0)) return kSingleValueBin;
    const double position = std::floor((value - minimum) / width);
    if (!(position > 0)) return 0;
    if (position >= kHistogramBins - 1) return kHistogramBins - 1;
    return static_cast<int>(position);
}

double HistogramMeanX(const HistogramResult& r) {
    if (!(r.width > 0)) return kSingleValueBin + 1;
    return (r.mean - r.minimum) / r.width;
}

bool CountHistogram(const std::string& path, std::size_t field, bool includeInvalid, const ProgressFn& progress,
                    const std::function<bool(const HistogramResult&)>& step, HistogramResult& result) {
    result = HistogramResult{};
    DataLineScan scan;
    if (!scan.open(path, includeInvalid, result.error)) return false;
    if (field >= scan.header().names.size()) {
        result.error = "DBファイルに列 " + std::to_string(field) + " がありません: " + path;
        return false;
    }
    auto fail = [&]() {
        result.stopped = scan.stopped();
        result.error = scan.error();
        return false;
    };
    scan.readNumbers({field});
    DbReader::Line line;
    RunningMean mean;
    scan.setProgress(&progress, 0.0, 0.5);
    while (scan.next(line)) {
        const double v = scan.value(field);
        if (result.total == 0) {
            result.minimum = result.maximum = v;
        } else if (v < result.minimum) {
            result.minimum = v;
        } else if (v > result.maximum) {
            result.maximum = v;
        }
        mean.add(v);
        ++result.total;
    }
    if (scan.stopped() || !scan.error().empty()) return fail();
    result.skipped = scan.skipped();
    result.unreadable = scan.unreadable();
    result.mean = mean.mean();
    result.width = (result.maximum - result.minimum) / kHistogramBins;
    result.rangeKnown = true;
    if (step && !step(result)) {
        result.stopped = true;
        return false;
    }

    if (!scan.open(path, includeInvalid, result.error)) return false;
    scan.setProgress(&progress, 0.5, 0.5);
    while (scan.next(line)) {
        const int bin = HistogramBin(scan.value(field), result.minimum, result.width);
        const std::int64_t count = ++result.bins[static_cast<std::size_t>(bin)];
        if (count > result.largest) result.largest = count;
        ++result.counted;
        if (result.counted % 5 == 0 && result.counted < result.total && step && !step(result)) {
            result.stopped = true;
            return false;
        }
    }
    if (scan.stopped() || !scan.error().empty()) return fail();
    // The file grew or shrank between the passes: the bins are what they are.
    result.total = result.counted;
    result.complete = true;
    if (step) step(result);
    return true;
}

}  // namespace korvane

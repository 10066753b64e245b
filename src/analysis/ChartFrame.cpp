#include "analysis/ChartFrame.h"

#include "project/NumberText.h"

namespace korvane {

PlotRange WidenByMargin(double lo, double hi) {
    const double m = Margin(lo, hi);
    return {lo - m, hi + m};
}

ChartFrame HistogramFrame(std::int64_t largestCount, std::int64_t counted, std::int64_t total) {
    const double c = static_cast<double>(largestCount);
    double top = 1.2 * c;
    if (total > 0 && counted < total)
        top = c * (6.2 - 5.0 * static_cast<double>(counted) / static_cast<double>(total));
    return {0, top, 27, 0};
}

ChartFrame EffectsFrame(double lo, double hi) {
    const PlotRange r = WidenByMargin(lo, hi);
    return {-1.3, r.hi, 18.5, r.lo};
}

ChartFrame XYFrame(double xmin, double xmax, double ymin, double ymax) {
    const PlotRange x = WidenByMargin(xmin, xmax);
    const PlotRange y = WidenByMargin(ymin, ymax);
    return {x.lo, y.hi, x.hi, y.lo};
}

ChartFrame SensitivityProfileFrame(double lo, double hi, int topRow) {
    return {lo < 0 ? -1.1 : -0.1, static_cast<double>(topRow) - 1, hi >= 0 ? 1.1 : 0.1,
            static_cast<double>(topRow) + 7};
}

ChartFrame ScrollPlotFrame() { return {-0.5, 1.2, 8.5, -1.2}; }

}  // namespace korvane

#pragma once
// What the chart windows share: the running range of the values plotted, the
// margin that widens a data range into a plotting range, and the frame
// (world coordinates) of each chart. Axis ends are not rounded to steps and
// there are no tick marks: a chart shows its data range widened by a margin.

#include <cstdint>

namespace korvane {

// A frame in world units; y grows upwards when top > bottom.
struct ChartFrame {
    double left = 0, top = 1, right = 1, bottom = 0;
    bool operator==(const ChartFrame&) const = default;
};

// The smallest and largest value taken so far; the first value sets both.
struct RunningRange {
    bool any = false;
    double lo = 0, hi = 0;
    void take(double v) {
        if (!any) {
            lo = hi = v;
            any = true;
        } else if (v < lo) {
            lo = v;
        } else if (v > hi) {
            hi = v;
        }
    }
};

// The range (lo - m, hi + m) with the margin m of the charts (one fifth of
// the larger magnitude of lo and hi).
struct PlotRange {
    double lo, hi;
};
PlotRange WidenByMargin(double lo, double hi);

// Histogram: x from 0 to 27 (25 bars at 1..25); the top follows the largest
// bin count C and rises towards 1.2 C as the counting (k of n rows) ends.
ChartFrame HistogramFrame(std::int64_t largestCount, std::int64_t counted, std::int64_t total);
// Factorial effects: six groups of three levels across x, the level values
// (min..max, widened) up the y axis.
ChartFrame EffectsFrame(double lo, double hi);
// X/Y graph: both ranges widened by their margins.
ChartFrame XYFrame(double xmin, double xmax, double ymin, double ymax);
// Sensitivity profile: -1..1 wide (the side without values shortened to
// 0.1), and the rows topRow - 1 .. topRow + 7 from top to bottom, so the
// chart lines up with the grid rows beside it.
ChartFrame SensitivityProfileFrame(double lo, double hi, int topRow);
// The interactive scroll plot: a fixed frame for values normalised to limits.
ChartFrame ScrollPlotFrame();

}  // namespace korvane

#include "scroll/ScrollOutputs.h"

#include <cmath>

#include "project/NumberText.h"
#include "project/RunState.h"

namespace korvane {

namespace {

const char* const kPattern = "0.000e+00";

double Num(const std::string& text) { return LeadingNumber(text); }

// The first output of a name, 0 when there is none.
std::size_t OutputIndex(const RunState& s, const std::string& name) {
    for (std::size_t i = 1; i <= s.outputCount(); ++i)
        if (s.OutputNames[i] == name) return i;
    return 0;
}

}  // namespace

std::string OutputCellText(const std::string& text) {
    double v;
    if (!ParseDecimal(text, v) || !std::isfinite(v)) return text;
    return FormatChart(v, kPattern);
}

std::string RestoredLimitText(const std::string& backup) {
    double v;
    if (!ParseDecimal(backup, v) || !std::isfinite(v)) return backup;
    return FormatChart(v, "0.000e+000");
}

void ScrollOutputs::Param_NM_to_Grid(const RunState& s) {
    for (int c = 1; c <= kColumns; ++c) {
        ScrollOutputColumn& col = column(c);
        col = ScrollOutputColumn{};
        if (static_cast<std::size_t>(c) > s.outputCount()) continue;
        col.name = s.OutputNames[static_cast<std::size_t>(c)];
        col.upper = OutputCellText(s.OutputUpper[static_cast<std::size_t>(c)]);
        col.lower = OutputCellText(s.OutputLower[static_cast<std::size_t>(c)]);
    }
}

void ScrollOutputs::Output_to_Grid(const RunState& s, bool updatePeaks) {
    for (ScrollOutputColumn& col : columns_) {
        if (col.name.empty()) continue;
        const std::size_t i = OutputIndex(s, col.name);
        if (i == 0) continue;
        col.current = OutputCellText(s.OutputValues[i]);
        col.value = Num(s.OutputValues[i]);
        if (col.upper.empty()) col.upper = OutputCellText(s.OutputUpper[i]);
        if (col.lower.empty()) col.lower = OutputCellText(s.OutputLower[i]);
        if (updatePeaks) {
            if (col.value > col.peakHigh) col.peakHigh = col.value;
            if (col.value < col.peakLow) col.peakLow = col.value;
        }
    }
}

void ScrollOutputs::UL_Calc() {
    for (ScrollOutputColumn& col : columns_) {
        if (col.current.empty()) continue;
        const double v = col.value;
        if (col.upper.empty()) col.upper = FormatChart(v < 0 ? 0.0 : 2 * v, kPattern);
        if (col.lower.empty()) col.lower = FormatChart(v < 0 ? 2 * v : 0.0, kPattern);
    }
}

void ScrollOutputs::chooseOutput(int c, const std::string& name) {
    ScrollOutputColumn& col = column(c);
    if (name == col.name) return;
    col.name = name;
    col.upper.clear();
    col.current.clear();
    col.lower.clear();
    col.value = 0;
}

bool ScrollOutputs::editLimit(int c, int row, const std::string& typed, std::string& message) {
    ScrollOutputColumn& col = column(c);
    const double t = Num(typed);
    if (row == 1) {
        if (!col.lower.empty() && t <= Num(col.lower)) {
            message = "Lwr値以下の値を指定することはできません。";
            return false;
        }
        col.upper = FormatChart(t, kPattern);
    } else if (row == 3) {
        if (!col.upper.empty() && t >= Num(col.upper)) {
            message = "Upr値以上の値を指定することはできません。";
            return false;
        }
        col.lower = FormatChart(t, kPattern);
    }
    return true;
}

void ScrollOutputs::Clear_Peak() {
    for (ScrollOutputColumn& col : columns_) col.peakHigh = col.peakLow = col.value;
}

double ScrollOutputs::normalised(int c, double v) const {
    const ScrollOutputColumn& col = column(c);
    const double lo = Num(col.lower), hi = Num(col.upper);
    if (hi == lo) return 0;
    return 2 * (v - lo) / (hi - lo) - 1;
}

double ScrollOutputs::valueAtHeight(int c, double y) const {
    const ScrollOutputColumn& col = column(c);
    const double lo = Num(col.lower), hi = Num(col.upper);
    return (hi - lo) * (y + 1) / 2 + lo;
}

std::vector<PlotMark> ReferenceMarks() {
    using K = PlotMark::Kind;
    return {{K::Line, 0, 0, 100, 0, plotcolour::Middle},
            {K::Line, 0, 1, 100, 1, plotcolour::Limit},
            {K::Line, 0, -1, 100, -1, plotcolour::Limit}};
}

std::vector<PlotMark> ProfileMarks(const ScrollOutputs& outputs, bool peakHold) {
    using K = PlotMark::Kind;
    std::vector<PlotMark> marks;
    for (int c = 1; c <= ScrollOutputs::kColumns; ++c) {
        const ScrollOutputColumn& col = outputs.column(c);
        if (!col.plotted()) continue;
        const double x = c - 0.5;
        const bool joined = c >= 2 && outputs.column(c - 1).plotted();
        if (peakHold) {
            for (double ScrollOutputColumn::*peak : {&ScrollOutputColumn::peakHigh, &ScrollOutputColumn::peakLow}) {
                const double y = outputs.normalised(c, col.*peak);
                marks.push_back({K::Circle, x, y, 0.03, 0, plotcolour::Peak});
                if (joined) {
                    const double yPrev = outputs.normalised(c - 1, outputs.column(c - 1).*peak);
                    marks.push_back({K::Line, x - 1, yPrev, x, y, plotcolour::Peak});
                }
            }
        }
        const double y = outputs.normalised(c, col.value);
        marks.push_back({K::Circle, x, y, 0.05, 0, plotcolour::Current});
        if (joined)
            marks.push_back(
                {K::Line, x - 1, outputs.normalised(c - 1, outputs.column(c - 1).value), x, y, plotcolour::Profile});
    }
    return marks;
}

std::optional<int> PointerColumn(double x) {
    for (int c = 1; c <= ScrollOutputs::kColumns; ++c)
        if (std::fabs(x - (c - 0.5)) <= 0.3) return c;
    return std::nullopt;
}

std::string PointerReadout(const ScrollOutputs& outputs, int c, double y) {
    if (!outputs.column(c).plotted()) return {};
    return FormatChart(outputs.valueAtHeight(c, y), kPattern);
}

}  // namespace korvane

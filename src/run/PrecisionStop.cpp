#include "run/PrecisionStop.h"

#include <cmath>
#include <cstdio>

#include "db/Csv.h"
#include "project/NumberText.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "project/Sampling.h"

namespace korvane {

namespace {

std::string Figure(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6g", v);
    return buffer;
}

}  // namespace

PrecisionStop::PrecisionStop(const RunState& state) {
    if (state.PlanName != plan::MonteCarlo || !state.Sampling.hasPrecision) return;
    const PrecisionTarget& target = state.Sampling.precision;
    // The load has checked the row; a row that still does not read leaves
    // the run to its count rather than stopping it on a guess.
    double fraction = 0, percent = 0;
    percentText_ = PrecisionPercent(target);
    if (!ParseDecimal(target.fraction, fraction) || !ParseDecimal(percentText_, percent)) return;
    if (!(fraction > 0) || !(percent > 0 && percent < 100)) return;
    for (std::size_t k = 1; k <= state.outputCount(); ++k) {
        if (state.OutputNames[k] != target.output) continue;
        output_ = k;
        break;
    }
    name_ = target.output;
    fraction_ = fraction;
    percent_ = percent;
}

void PrecisionStop::addLine(const std::string& outputText, bool valid) {
    if (!active()) return;
    ++lines_;
    double v = 0;
    if (valid && CsvValue(outputText, v) && std::isfinite(v))
        summary_.add(v);
    else
        summary_.leaveOut(valid);
}

void PrecisionStop::addLine(const RunState& state) {
    if (!active()) return;
    addLine(output_ < state.OutputValues.size() ? state.OutputValues[output_] : std::string(), state.RunValid);
}

bool PrecisionStop::reached() const {
    if (!active() || lines_ < kPrecisionFirstLine) return false;
    const double mean = summary_.mean(), half = summary_.halfWidth(percent_);
    // A mean of 0 has no relative precision: never reached. NaN (fewer
    // than two values) compares false as well.
    return mean != 0 && half <= fraction_ * std::fabs(mean);
}

std::string PrecisionStop::message(std::int64_t count) const {
    return "精度目標に達したため計算 " + std::to_string(count) + " で終了しました (" + name_ + ": 平均 " +
           Figure(summary_.mean()) + "、" + percentText_ + "%半幅 " + Figure(summary_.halfWidth(percent_)) + ")";
}

}  // namespace korvane

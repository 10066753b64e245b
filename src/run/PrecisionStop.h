#pragma once
// The precision at which a Monte Carlo run may end before its count: once the
// confidence half-width of one output's mean, over the valid lines written so
// far, is at most a given fraction of |mean|. It is asked after each written
// line from the 100th on; fewer lines give too rough an estimate of the spread
// to trust. A resumed run feeds it the lines already in the file first, so it
// stops at the same line as a run that was never interrupted.

#include <cstdint>
#include <string>

#include "analysis/RunningSummary.h"

namespace korvane {

struct RunState;

// Lines written before the target is looked at.
inline constexpr std::int64_t kPrecisionFirstLine = 100;

class PrecisionStop {
public:
    // Takes the target of the run's sampling settings; without one (or for
    // another plan) the stop is inactive and never reached.
    explicit PrecisionStop(const RunState& state);

    bool active() const { return output_ != 0; }
    // One written line: its output fields (1-based like the run state's, or
    // the DB line's fields of the outputs) and its verdict. A line whose
    // verdict is False or whose value cannot be read counts as a line only.
    void addLine(const std::string& outputText, bool valid);
    void addLine(const RunState& state);
    // The target is met after the lines fed so far.
    bool reached() const;
    // Which output column the target names (1-based among the outputs), 0
    // when inactive.
    std::size_t output() const { return output_; }
    // Says at which calculation the run ended and with what figures.
    std::string message(std::int64_t count) const;

private:
    std::size_t output_ = 0;
    std::string name_, percentText_;
    double fraction_ = 0, percent_ = 95;
    std::int64_t lines_ = 0;
    RunningSummary summary_;
};

}  // namespace korvane

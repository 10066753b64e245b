#pragma once
// The Monte Carlo plan's draws through a sample design: the design's points
// (plain, Latin hypercube or Sobol'), with the rank correlations imposed, turned
// into values by each sampled variable's inverse distribution function cut to
// its restriction limits. A project that asks for none of it (plain draws,
// only "正規分布" and "一様分布", no correlation) keeps the older draws of
// MonteCarlo.h, so its values stay the same digit for digit.
//
// The whole design is made before the first calculation, and calculation c
// takes point c - 2 (the first calculation keeps the initial values; for
// Saltelli's groups see SaltelliPlaceOf), so the
// values depend on the calculation number alone: one instance, many workers,
// MPI ranks and a resumed run all give each calculation the same values.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "run/Distributions.h"
#include "run/SampleDesign.h"

namespace korvane {

struct RunState;

// True when the project's draws go through a design: the method is not plain
// draws, a sampled variable follows one of the further distributions, or
// correlations are given.
bool UsesSampledDraws(const RunState& state);

class SampledDraws {
public:
    // Checks the sampled variables' distributions against their limits, the
    // correlations and the method's limits, each refusal naming the variable
    // or the correlation row; with `makeDesign` it then makes the design from
    // the plan's seed. False with the message (which says where to mend it);
    // nothing is drawn then. Does nothing when UsesSampledDraws is false.
    bool prepare(const RunState& state, bool makeDesign, std::string& error);

    bool active() const { return active_; }
    // The value of input `input` (from 1, a sampled variable that is the first
    // of its name) for calculation `calcCount` (from 2 to the plan's count).
    // False when the design has no such point.
    bool value(std::size_t input, std::int64_t calcCount, double& x) const;

private:
    bool active_ = false;
    std::vector<std::size_t> dimensionOf_;  // by input index; npos: not drawn here
    std::vector<TruncatedDistribution> distributions_;  // by dimension
    SampleDesign design_;
};

}  // namespace korvane

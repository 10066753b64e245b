#pragma once
// The per-calculation value assignment of the repeating plans: it sets
// RunState::InputValues of the plan-driven input variables, and gives every
// input task that repeats an earlier task's name that task's value, since one
// name is one variable written into several cells.

#include <cstddef>
#include <string>

namespace korvane {

struct RunState;
class UniformSource;
struct DataFileCursor;
struct OrthogonalRun;
class SampledDraws;

// What the active plan draws its values from; only the active plan's entry is
// used and must be set.
struct PlanSources {
    UniformSource* random = nullptr;         // "MonteCarlo"
    const SampledDraws* draws = nullptr;     // "MonteCarlo" through a design, when active
    DataFileCursor* dataFile = nullptr;      // "DataFile Input"
    const OrthogonalRun* table = nullptr;    // "Orthogonal Table"
};

// The first input variable before `i` with the same name (exact comparison),
// or 0 when there is none.
std::size_t EarlierSameName(const RunState& state, std::size_t i);

// One calculation's values for RunState::PlanName, in input-task order:
// "MonteCarlo" draws every ticked variable within its limits (through the
// design's point for CalcCount when `draws` is active, else from `random`), "DataFile Input"
// reads its column of the calculation's data line, "Orthogonal Table" sets the
// levels of row CalcCount; other variables keep their values. Values are
// written as 15-digit number texts. False with a message when a value cannot
// be had (a draw that never falls inside its limits, an unreadable data file);
// the run must then stop before this calculation writes anything, and the
// values are left as they were. The sampling plan calls it from its second
// calculation on (the first uses the initial values), the other plans for
// every calculation.
bool AssignPlanValues(RunState& state, PlanSources& sources, std::string& error);

}  // namespace korvane

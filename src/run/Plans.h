#pragma once
// The plans' calculation loops: the Single plan and the frame the repeating
// plans (MonteCarlo, DataFile Input, Orthogonal Table) share. Each runs the
// steps of one calculation in their fixed order and ends the run in order on
// any failure: the message shown, the DB file closed with whole lines, the
// spreadsheet instance quit.

#include <functional>
#include <string>

#include "run/RunDriver.h"
#include "run/RunOptions.h"

namespace korvane {

struct HeaderValues;

struct PlanContext {
    UserInterface& ui;
    RunObserver& observer;
    RunState& state;
    const HeaderValues& header;  // the visibility box is read live
    const WorkbookLinkFactory& factory;
    std::string appFolder;
    RunOptions options;
    // A stop that a calculation does not follow within seconds asks whether
    // to end it (the window), or ends it (unattended).
    bool askBeforeEnding = false;
    // Where the calculations go when not to worker threads of this process
    // (the ranks of an MPI job); empty: worker threads.
    CalcPoolFactory pools;
    // Set when the programs of timing 0 are still to run: by the plan, once
    // a resumed run's DB file has been found fit to continue. False with the
    // message when one cannot run.
    std::function<bool(std::string& error)> programsAtStart;
};

// The Single plan: one calculation numbered 0.
RunOutcome RunSinglePlan(PlanContext& ctx);
// The repeating plans, by RunState::PlanName.
RunOutcome RunMonteCarlo(PlanContext& ctx);
RunOutcome RunOrthogonalTable(PlanContext& ctx);
RunOutcome RunDataFileInput(PlanContext& ctx);

// The pre-run checks: the first failing one's message, or empty when the run
// may start.
std::string PreRunCheckMessage(const RunState& state);

}  // namespace korvane

#include "run/PlanSequence.h"

#include "project/NumberText.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "run/DataFileInput.h"
#include "run/MonteCarlo.h"
#include "run/OrthogonalTable.h"
#include "run/PlanValues.h"
#include "run/SampledDraws.h"
#include "workbook/CalcSteps.h"
#include "workbook/WorkbookLink.h"

namespace korvane {

struct PlanSequence::Impl {
    RunState state;  // the plan's own copy: its input texts run ahead of the calculations
    UniformSource random;
    SampledDraws draws;
    DataFileCursor data;
    OrthogonalRun table;
    PlanSources sources;
    std::int64_t total = 0;
    std::int64_t next = 1;
    bool failed = false;
};

PlanSequence::PlanSequence() : impl_(std::make_unique<Impl>()) {}

PlanSequence::~PlanSequence() { close(); }

bool PlanSequence::prepare(RunState& state, const std::string& appFolder, std::string& error) {
    Impl& d = *impl_;
    d.sources = PlanSources{};
    if (state.PlanName == plan::MonteCarlo) {
        state.CalcTotal = std::to_string(state.MonteCarloCount);
        if (!PrepareMonteCarlo(state, d.random, error)) return false;
        // The design is made whole here: each calculation then takes its
        // own point, whichever party calculates it.
        if (!d.draws.prepare(state, true, error)) return false;
        d.sources.random = &d.random;
        d.sources.draws = &d.draws;
    } else if (state.PlanName == plan::OrthogonalTable) {
        if (!PrepareOrthogonalTable(state, appFolder, d.table, error)) return false;
        d.sources.table = &d.table;
    } else if (state.PlanName == plan::DataFileInput) {
        if (!PrepareDataFileInput(state, appFolder, d.data, error)) return false;
        d.sources.dataFile = &d.data;
    } else if (state.PlanName == plan::Single) {
        state.CalcTotal = "1";
    } else {
        error = "計算プランが不正です: \"" + state.PlanName + "\"";
        return false;
    }
    d.total = static_cast<std::int64_t>(LeadingNumber(state.CalcTotal));
    return true;
}

void PlanSequence::begin(const RunState& state) {
    Impl& d = *impl_;
    d.state = state;
    d.state.ExcelApp.reset();
    d.next = 1;
    d.failed = false;
}

std::int64_t PlanSequence::total() const { return impl_->total; }

std::int64_t PlanSequence::nextCount() const { return impl_->next; }

bool PlanSequence::next(CalcValues& values, std::string& error) {
    Impl& d = *impl_;
    error.clear();
    if (d.failed || d.next > d.total) return false;
    RunState& s = d.state;
    s.CalcCount = d.next;
    values.count = d.next;
    values.before = s.InputValues;
    // The sampling plan's first calculation runs with the initial values;
    // the other repeating plans assign from the first calculation on, and the
    // Single plan's one calculation keeps them.
    const bool assign = s.PlanName != plan::Single && (s.PlanName != plan::MonteCarlo || s.CalcCount > 1);
    if (assign && !AssignPlanValues(s, d.sources, error)) {
        d.failed = true;
        return false;
    }
    values.assigned = s.InputValues;
    values.marks = s.FormatMarks;
    // The input step's texts: what the cells get decides nothing here, only
    // what stays in InputValues for the DB line and the next calculation.
    InputWrites(s);
    values.recorded = s.InputValues;
    ++d.next;
    return true;
}

void PlanSequence::close() {
    if (impl_) CloseDataFile(impl_->data);
}

}  // namespace korvane

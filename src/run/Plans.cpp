#include "run/Plans.h"

#include "db/DbFile.h"
#include "platform/StopSignals.h"
#include "platform/UserInterface.h"
#include "project/NumberText.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "run/DataFileInput.h"
#include "run/MonteCarlo.h"
#include "run/OrthogonalTable.h"
#include "run/PlanValues.h"
#include "workbook/CalcSteps.h"
#include "workbook/CellRef.h"
#include "workbook/WorkbookCheck.h"
#include "workbook/WorkbookLink.h"

namespace korvane {

std::string PreRunCheckMessage(const RunState& s) {
    auto anySelected = [&] {
        for (std::size_t i = 1; i <= s.inputCount(); ++i)
            if (s.PlanSelected[i]) return true;
        return false;
    };
    if (s.inputCount() == 0) return "有効な入力変数がありません。";
    if (s.outputCount() == 0) return "有効な読込変数がありません。";
    if (s.PlanName == plan::MonteCarlo && s.MonteCarloCount <= 0) return "計算回数が不正な値です。";
    if ((s.PlanName == plan::MonteCarlo || s.PlanName == plan::DataFileInput) && !anySelected())
        return "有効な変数がありません。";
    if (s.PlanName == plan::OrthogonalTable && !anySelected()) return "有効な割付変数がありません。";
    return {};
}

namespace {

// One run of a plan: owns the DB writer and the spreadsheet instance, and
// ends both in order whatever happens.
class PlanRun {
public:
    explicit PlanRun(PlanContext& ctx) : ctx_(ctx), s_(ctx.state), db_(ctx.ui) {}
    ~PlanRun() { finish(keepOpen_); }

    // Shows the message and ends the run in order. Before the DB file's
    // header nothing has been written: that is a refusal.
    RunOutcome fail(const std::string& message) {
        finish();
        if (!message.empty()) ctx_.ui.showMessage(message);
        return refused_ ? RunOutcome::Refused : RunOutcome::Failed;
    }

    // A check before the first calculation failed: nothing is written.
    RunOutcome refuse(const std::string& message) {
        refused_ = true;
        return fail(message);
    }

    // Everything ends: whole lines on disk, the instance gone (unless the
    // Single plan keeps it open).
    void finish(bool keepOpen = false) {
        if (db_.isOpen()) db_.close();
        keepOpen_ = keepOpen;
        if (!keepOpen) quit();
    }

    bool openDb() {
        // An open failure shows its own message and ends the application.
        // The file is not changed yet: see startAndOpen.
        return db_.open(s_);
    }

    // Starts the instance and opens the workbook. The first time, it also
    // checks that every sheet the tasks name is in the workbook, and only then
    // starts the DB file (an OverWrite file is emptied here, not earlier), so
    // a run that cannot start keeps the old results.
    bool startAndOpen(std::string& error) {
        std::shared_ptr<WorkbookLink> link = ctx_.factory();
        s_.ExcelApp = link;
        if (!link || !StartAndOpen(*link, s_.WorkbookPath, ctx_.header.visible != 0)) {
            error = link ? link->lastError() : "スプレッドシートアプリケーションを起動できません。";
            refused_ = !dbStarted_;
            quit();
            return false;
        }
        if (!dbStarted_) {
            error = MissingSheetMessage(s_, *link);
            if (!error.empty()) {
                refused_ = true;
                quit();
                return false;
            }
            if (!db_.writeHeader(s_)) {
                quit();
                return false;
            }
            dbStarted_ = true;
        }
        if (!checked_) {
            checked_ = true;
            warnAboutWorkbook(*link);
        }
        return true;
    }

    // Once per run, before the first calculation: what of the workbook
    // LibreOffice will not compute as Excel does. A warning only: a macro
    // that cannot run stops the run by itself at the macro step.
    void warnAboutWorkbook(WorkbookLink& link) {
        std::vector<CheckFinding> findings;
        std::string error;
        if (CheckOpenWorkbook(link, findings, error) && !findings.empty()) ctx_.ui.showNotice(CheckWarning(findings));
    }

    void quit() {
        if (s_.ExcelApp) {
            CloseAndQuit(*s_.ExcelApp);
            s_.ExcelApp.reset();
        }
    }

    // Steps 5 to 11 of one calculation (write inputs to judgement), with the
    // programs of timings 3 to 5.
    bool calculate(std::string& error) {
        if (!CalculateWorkbook(s_, *s_.ExcelApp, error)) return false;
        JudgeRestrictions(s_);
        return true;
    }

    bool writeRow() { return db_.writeRow(s_); }

    void showProgress(std::int64_t counter) {
        ctx_.observer.showProgress(counter, counter, std::to_string(counter) + "/" + s_.CalcTotal);
    }

    PlanContext& ctx_;
    RunState& s_;
    DbWriter db_;
    bool keepOpen_ = false;
    bool checked_ = false;
    bool dbStarted_ = false;  // the header is written
    bool refused_ = false;    // ended before anything was written
};

std::int64_t TotalOf(const RunState& s) { return static_cast<std::int64_t>(LeadingNumber(s.CalcTotal)); }

// The frame of the repeating plans; `assign` is the plan's variable-value
// assignment of one calculation.
template <typename Assign>
RunOutcome RepeatingLoop(PlanRun& run, PlanContext& ctx, Assign assign) {
    RunState& s = ctx.state;
    const bool restart = s.RestartPerCalc != 0;
    const std::int64_t total = TotalOf(s);
    std::string error;
    if (!restart && !run.startAndOpen(error)) return run.fail(error);
    s.CalcCount = 1;
    while (s.CalcCount <= total) {
        if (!RunExternalPrograms(s, 1, error)) return run.fail(error);
        ctx.observer.eventPass();
        if (s.ExcelApp && !FollowVisibility(*s.ExcelApp, ctx.header.visible != 0, restart))
            return run.fail(s.ExcelApp->lastError());
        if (!assign(error)) return run.fail(error);
        if (!RunExternalPrograms(s, 2, error)) return run.fail(error);
        if (restart && !run.startAndOpen(error)) return run.fail(error);
        if (!run.calculate(error)) return run.fail(error);
        if (restart) run.quit();
        if (!run.writeRow()) return run.fail("");
        if (!RunExternalPrograms(s, 6, error)) return run.fail(error);
        run.showProgress(s.CalcCount);
        if (StopSignalReceived() != 0) s.StopRequested = true;
        if (s.StopRequested) {
            run.finish();
            return RunOutcome::Stopped;
        }
        ++s.CalcCount;
    }
    run.finish();
    return RunOutcome::Completed;
}

// Before the first calculation: the progress bar's maximum and "0/N".
void ShowRunStart(PlanContext& ctx) {
    ctx.observer.setProgressMaximum(TotalOf(ctx.state));
    ctx.observer.showStatus(std::to_string(ctx.state.CalcCount) + "/" + ctx.state.CalcTotal);
}

// Common preparation: initial values, progress, references, DB file. False
// with `error` set when an address is refused (empty when the DB file's own
// message was shown).
bool PrepareRun(PlanRun& run, PlanContext& ctx, std::string& error) {
    RunState& s = ctx.state;
    AssignInitialValues(s);
    ShowRunStart(ctx);
    ResolveAllReferences(s);
    error = BadAddressMessage(s);
    if (!error.empty()) return false;
    return run.openDb();
}

}  // namespace

RunOutcome RunSinglePlan(PlanContext& ctx) {
    RunState& s = ctx.state;
    PlanRun run(ctx);
    std::string error;
    AssignInitialValues(s);
    if (!RunExternalPrograms(s, 1, error)) return run.fail(error);
    if (!RunExternalPrograms(s, 2, error)) return run.fail(error);
    ShowRunStart(ctx);
    ResolveAllReferences(s);
    if (const std::string bad = BadAddressMessage(s); !bad.empty()) return run.refuse(bad);
    if (!run.openDb()) return run.fail("");
    if (!run.startAndOpen(error)) return run.fail(error);
    if (!run.calculate(error)) return run.fail(error);
    if (!run.writeRow()) return run.fail("");
    if (!RunExternalPrograms(s, 6, error)) return run.fail(error);
    ctx.observer.showProgress(1, 1, "1/1");
    run.finish(s.KeepExcelOpen);
    return RunOutcome::Completed;
}

RunOutcome RunMonteCarlo(PlanContext& ctx) {
    RunState& s = ctx.state;
    PlanRun run(ctx);
    UniformSource random;
    std::string error;
    if (!PrepareMonteCarlo(s, random, error)) return run.refuse(error);
    if (!PrepareRun(run, ctx, error)) return error.empty() ? run.fail("") : run.refuse(error);
    PlanSources sources;
    sources.random = &random;
    return RepeatingLoop(run, ctx, [&](std::string& err) {
        // Calculation 1 runs with the initial values.
        return s.CalcCount <= 1 || AssignPlanValues(s, sources, err);
    });
}

RunOutcome RunOrthogonalTable(PlanContext& ctx) {
    RunState& s = ctx.state;
    PlanRun run(ctx);
    OrthogonalRun table;
    std::string error;
    // Prepared before the DB file is opened: a missing array file must not
    // cost the user an existing DB file.
    if (!PrepareOrthogonalTable(s, ctx.appFolder, table, error)) return run.refuse(error);
    if (!PrepareRun(run, ctx, error)) return error.empty() ? run.fail("") : run.refuse(error);
    return RepeatingLoop(run, ctx, [&](std::string&) {
        AssignLevels(s, table);
        return true;
    });
}

RunOutcome RunDataFileInput(PlanContext& ctx) {
    RunState& s = ctx.state;
    PlanRun run(ctx);
    DataFileCursor data;
    std::string error;
    // Prepared before the DB file is opened, for the same reason.
    if (!PrepareDataFileInput(s, ctx.appFolder, data, error)) return run.refuse(error);
    if (!PrepareRun(run, ctx, error)) {
        CloseDataFile(data);
        return error.empty() ? run.fail("") : run.refuse(error);
    }
    PlanSources sources;
    sources.dataFile = &data;
    RunOutcome outcome = RepeatingLoop(run, ctx, [&](std::string& err) { return AssignPlanValues(s, sources, err); });
    CloseDataFile(data);
    return outcome;
}

}  // namespace korvane

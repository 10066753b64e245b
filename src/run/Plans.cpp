#include "run/Plans.h"

#include <algorithm>
#include <atomic>

#include "db/DbFile.h"
#include "platform/StopSignals.h"
#include "platform/UserInterface.h"
#include "project/NumberText.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "run/CalcDispatch.h"
#include "run/CalcWorker.h"
#include "run/OrthogonalTable.h"
#include "run/PlanSequence.h"
#include "run/PrecisionStop.h"
#include "run/Resume.h"
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
    if (s.PlanName == plan::OrthogonalTable) {
        const std::string beyond = FactorsBeyondArrayMessage(s.LevelChoice, FactorNames(s));
        if (!beyond.empty()) return beyond + "\n「実験計画法 直交表設定」で因子を減らすか水準を変えて下さい。";
    }
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
        // The file is not changed yet: the header empties it, once the
        // workbook is open and its sheets are checked.
        return db_.open(s_);
    }

    void quit() {
        if (s_.ExcelApp) {
            CloseAndQuit(*s_.ExcelApp);
            s_.ExcelApp.reset();
        }
    }

    PlanContext& ctx_;
    RunState& s_;
    DbWriter db_;
    bool keepOpen_ = false;
    bool refused_ = false;  // ended before anything was written
};

std::int64_t TotalOf(const RunState& s) { return static_cast<std::int64_t>(LeadingNumber(s.CalcTotal)); }

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

namespace {

// The plan's values worked out ahead, the calculations on workers, each line
// written in calculation order. `single`: the Single plan's one calculation.
RunOutcome RunOnWorkers(PlanContext& ctx, bool single) {
    RunState& s = ctx.state;
    PlanRun run(ctx);
    PlanSequence sequence;
    std::string error;
    // Prepared before the DB file is opened: a missing array or data file
    // must not cost the user an existing DB file.
    if (!sequence.prepare(s, ctx.appFolder, error)) return run.refuse(error);
    if (!PrepareRun(run, ctx, error)) return error.empty() ? run.fail("") : run.refuse(error);
    sequence.begin(s);
    ctx.observer.linesBegin(std::vector<std::string>(s.OutputNames.begin() + 1, s.OutputNames.end()));
    // Counts the lines of this study, those a resumed run finds in the file
    // included, so that it stops at the same line as an uninterrupted run.
    PrecisionStop precision(s);
    if (ctx.options.resume) {
        // The file was opened without a change: checked now, and continued
        // only when it holds this study's lines. A line cut short is dropped
        // where a header would be written, once the workbooks are open: a
        // run refused before that leaves the file as it was.
        ResumePoint point;
        if (!FindResumePoint(s, sequence, point, error, &precision, &ctx.observer)) return run.refuse(error);
        run.db_.continueBlock(point.keepBytes);
        ctx.observer.showProgress(point.done, point.done, std::to_string(point.done) + "/" + s.CalcTotal);
        if (point.done >= sequence.total() || point.precisionAt != 0) {
            if (point.partialLine && !run.db_.writeHeader(s)) return run.fail("");
            ctx.ui.showMessage(point.precisionAt != 0
                                   ? "この計算はすでに精度目標に達して終わっています。DBファイル: " + run.db_.path() +
                                         "\n" + precision.message(point.precisionAt)
                                   : "この計算はすでに最後まで終わっています。DBファイル: " + run.db_.path());
            s.CalcCount = point.done;
            run.finish();
            return RunOutcome::Completed;
        }
    }
    if (ctx.programsAtStart && !ctx.programsAtStart(error)) return run.fail(error);
    auto visible = std::make_shared<std::atomic<bool>>(ctx.header.visible != 0);
    // No more instances than calculations; one even for none, so that the
    // workbook is opened and checked before the header, as always.
    const std::int64_t wanted = std::max(1, ctx.options.workers);
    const std::int64_t remaining = sequence.total() - sequence.nextCount() + 1;
    const std::size_t workers = static_cast<std::size_t>(std::max<std::int64_t>(1, std::min(wanted, remaining)));
    std::unique_ptr<CalcPool> pool = ctx.pools && !single
                                         ? ctx.pools(s, visible)
                                         : std::make_unique<ThreadPool>(workers, s, ctx.factory, visible, single);
    CalcLoop loop{ctx.ui, ctx.observer, s, ctx.header, run.db_, sequence, *pool, visible};
    loop.single = single;
    if (precision.active()) loop.precision = &precision;
    loop.calcTimeoutSeconds = ctx.options.calcTimeoutSeconds;
    loop.askBeforeEnding = ctx.askBeforeEnding;
    loop.askOnDifferences = ctx.askBeforeEnding;
    loop.acceptDifferences = ctx.options.acceptDifferences;
    // The Single plan's workbook stays open after a completed run when the
    // user asked for it: its instance passes from the worker to the run.
    loop.keepWorkbook = single && s.KeepExcelOpen;
    const RunOutcome outcome = RunCalculations(loop);
    pool.reset();
    sequence.close();
    if (loop.keptWorkbook) {
        run.quit();  // a workbook kept open by an earlier run
        s.ExcelApp = std::move(loop.keptWorkbook);
    }
    run.finish(s.ExcelApp != nullptr && loop.keepWorkbook);
    return outcome;
}

}  // namespace

RunOutcome RunSinglePlan(PlanContext& ctx) {
    if (ctx.options.resume) {
        PlanRun run(ctx);
        return run.refuse("Single の計算は1回だけのため、再開するものがありません。そのまま実行して下さい。");
    }
    // The calculation runs on a worker thread, and the window keeps
    // answering meanwhile.
    return RunOnWorkers(ctx, true);
}

RunOutcome RunMonteCarlo(PlanContext& ctx) { return RunOnWorkers(ctx, false); }

RunOutcome RunOrthogonalTable(PlanContext& ctx) { return RunOnWorkers(ctx, false); }

RunOutcome RunDataFileInput(PlanContext& ctx) { return RunOnWorkers(ctx, false); }

}  // namespace korvane

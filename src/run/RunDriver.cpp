#include "run/RunDriver.h"

#include <csignal>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>

#include "db/DbFile.h"
#include "platform/Process.h"
#include "platform/StopSignals.h"
#include "platform/UserInterface.h"
#include "project/NumberText.h"
#include "project/Paths.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "run/OrthogonalTable.h"
#include "run/Plans.h"
#include "run/RunOptions.h"
#include "workbook/CalcSteps.h"

namespace korvane {

std::string UnreadableNote(const RunState& s) {
    if (s.UnreadableCalcs == 0) return {};
    return "出力を読めなかった計算: " + std::to_string(s.UnreadableCalcs) +
           "回 (出力は空欄、制限判定はFalseで記録しました。最初: " + s.FirstUnreadable + ")";
}

std::string TimeoutNote(const RunState& s, double limitSeconds) {
    if (s.TimedOutCalcs == 0) return {};
    return "時間切れで打ち切った計算: " + std::to_string(s.TimedOutCalcs) + "回 (制限時間 " +
           GeneralNumber(limitSeconds) + "秒。出力は空欄、制限判定はFalseで記録しました。)";
}

std::string DeadInstanceNote(const RunState& s) {
    if (s.ReplacedInstances == 0) return {};
    std::string note = "計算中に異常終了した LibreOffice を起動し直した回数: " + std::to_string(s.ReplacedInstances) +
                       "回 (その計算はやり直しました。)";
    if (s.CrashedCalcs > 0)
        note += "\nLibreOffice が2回続けて異常終了した計算: " + std::to_string(s.CrashedCalcs) +
                "回 (出力は空欄、制限判定はFalseで記録しました。)";
    return note;
}

std::string LeftRunningNote(const RunState& s) {
    if (s.LeftRunning.empty()) return {};
    return "外部プログラムが起動したまま残っているプロセスがあります (セッションから離れたため終了できませんでした): " +
           s.LeftRunning;
}

namespace {

constexpr const char* kStartAfresh =
    "初めから計算して下さい (コマンドラインでは --resume を付けずに、ウィンドウでは「実行」で実行します)。";

// A resumed study needs the lines of its interrupted run: a missing or empty
// DB file has none (an empty one: the run was ended before its header).
bool CheckResumable(const std::string& path, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = "再開するDBファイルがありません。\nDBファイル: " + path + "\n" + kStartAfresh;
        return false;
    }
    if (st.st_size == 0) {
        error = "DBファイルが空です (見出し行を書く前に計算が中断されています)。再開する計算はありません。\nDBファイル: " +
                path + "\n" + kStartAfresh;
        return false;
    }
    return true;
}

}  // namespace

struct RunDriver::Impl {
    UserInterface& ui;
    RunObserver& observer;
    ProjectDocument& document;
    RunState& state;
    WorkbookLinkFactory factory;
    RecentFiles* recent;
    bool running = false;
    RunOptions options;
    CalcPoolFactory pools;
    bool askBeforeEnding = false;

    // Reset, load, checks: false (with the message shown) refuses the run.
    bool loadAndCheck() {
        ResetRunArrays(state);
        std::string error;
        if (!LoadProjectForRun(state, document.header, document.WorkingCopy(), error)) {
            ui.showMessage(error);
            return false;
        }
        std::string check = PreRunCheckMessage(state);
        if (!check.empty()) {
            ui.showMessage(check);
            return false;
        }
        // Without a DB path a run has nowhere to record: refused here, before
        // the DB file's own failure (which would end the program).
        if (state.DbPath.empty()) {
            std::string text = kDbPathMessage;
            if (ClimbsOutOfAppFolder(document.header.dbPath))
                text += "\n" + document.header.dbPath + "\n" + kClimbsOutMessage;
            ui.showMessage(text);
            return false;
        }
        if (const std::string clash = DbPathClash(); !clash.empty()) {
            ui.showMessage(clash);
            return false;
        }
        // Only a DB file is ever written: a project cannot make a run
        // overwrite or append to any other file of the user's.
        if (!CheckDbFileTarget(state.DbPath, error)) {
            ui.showMessage(error);
            return false;
        }
        if (options.resume && !CheckResumable(state.DbPath, error)) {
            ui.showMessage(error);
            return false;
        }
        // Any other name (a typing error in the file, an empty line) names no
        // plan: say so rather than end as if a study had run.
        const std::string& p = state.PlanName;
        if (p != plan::Single && p != plan::MonteCarlo && p != plan::DataFileInput && p != plan::OrthogonalTable) {
            ui.showMessage("計算プランが不正です: \"" + p + "\"\n(" + plan::Single + ", " + plan::MonteCarlo + ", " +
                           plan::DataFileInput + ", " + plan::OrthogonalTable + " のいずれかを指定して下さい。)");
            return false;
        }
        return true;
    }

    // A DB path that names a file the study needs (the project, the
    // workbook, the data file, an array file, the working copy) would be
    // overwritten by the first header: refused, naming both.
    std::string DbPathClash() const {
        if (state.DbPath.empty()) return {};
        const std::string app = document.appFolder();
        std::vector<std::pair<std::string, std::string>> needed = {
            {"プロジェクトファイル", ResolveAppRelative(document.ProjectPath, app)},
            {"エクセルファイル", state.WorkbookPath},
            {"作業ファイル", document.WorkingCopy()},
            {"直交表ファイル", app + "/" + kTwoLevelArray.fileName},
            {"直交表ファイル", app + "/" + kThreeLevelArray.fileName},
            {"直交表ファイル", app + "/" + kTableRecordFile}};
        if (state.PlanName == plan::DataFileInput)
            needed.push_back({"データファイル", ResolveAppRelative(state.DataFilePath, app)});
        for (const auto& [what, path] : needed)
            if (!path.empty() && SameFile(state.DbPath, path))
                return "DBファイルが" + what + "と同じファイルです。別のファイルを指定して下さい。\nDBファイル: " +
                       state.DbPath + "\n" + what + ": " + path;
        return {};
    }

    // Timing-0 programs, then the plan the project names.
    RunOutcome runPlan() {
        // Whatever the run's programs left running ends with the run; what
        // left its process group is named.
        struct EndPrograms {
            RunState& s;
            ~EndPrograms() {
                for (const std::string& left : EndRunPrograms())
                    s.LeftRunning += (s.LeftRunning.empty() ? "" : ", ") + left;
            }
        } endPrograms{state};
        PlanContext ctx{ui, observer, state, document.header, factory, document.appFolder(), options,
                        askBeforeEnding, pools, {}};
        // A resumed run checks the DB file first: a refused resume has run
        // nothing. The programs see the state they see without a resume.
        RunState atStart;
        if (options.resume) {
            atStart = state;
            ctx.programsAtStart = [&atStart](std::string& error) { return RunExternalPrograms(atStart, 0, error); };
        } else {
            std::string error;
            if (!RunExternalPrograms(state, 0, error)) {
                ui.showMessage(error);
                return RunOutcome::Failed;
            }
        }
        const std::string& plan = state.PlanName;
        if (plan == plan::Single) {
            state.CalcTotal = "1";
            return RunSinglePlan(ctx);
        }
        if (plan == plan::MonteCarlo) {
            state.CalcTotal = std::to_string(state.MonteCarloCount);
            return RunMonteCarlo(ctx);
        }
        if (plan == plan::DataFileInput) return RunDataFileInput(ctx);
        if (plan == plan::OrthogonalTable) return RunOrthogonalTable(ctx);
        return RunOutcome::Refused;  // refused by loadAndCheck already
    }
};

RunDriver::RunDriver(UserInterface& ui, RunObserver& observer, ProjectDocument& document, RunState& state,
                     WorkbookLinkFactory factory, RecentFiles* recent)
    : impl_(new Impl{ui, observer, document, state, std::move(factory), recent, false, RunOptions{}, CalcPoolFactory{}, false}) {}

RunDriver::~RunDriver() = default;

bool RunDriver::running() const { return impl_->running; }

void RunDriver::setRunOptions(const RunOptions& options) { impl_->options = options; }

const RunOptions& RunDriver::runOptions() const { return impl_->options; }

void RunDriver::setCalcPools(CalcPoolFactory pools) { impl_->pools = std::move(pools); }

void RunDriver::Stop() { impl_->state.StopRequested = true; }

std::string RunDriver::Now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    // The short date and time forms: 2026/12/06   9:05:03
    std::strftime(buf, sizeof buf, "%Y/%m/%d", &tm);
    std::string date = buf;
    std::snprintf(buf, sizeof buf, "%d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return date + "   " + buf;
}

RunObserver::EndCounts RunDriver::CountDbFile(const std::string& dbPath) {
    RunObserver::EndCounts c;
    DbCounts counts;
    std::string error;
    CountDbLines(dbPath, counts, error);
    c.all = counts.all();
    c.valid = counts.valid;
    c.invalid = counts.invalid;
    c.haveShare = c.all > 0;
    if (c.haveShare) c.validShare = 1.0 - static_cast<double>(c.invalid) / static_cast<double>(c.all);
    return c;
}

RunOutcome RunDriver::RunCommand() {
    Impl& d = *impl_;
    if (d.running) return RunOutcome::Refused;
    if (!CheckExcelPath(d.document.header.workbookPath, d.ui)) return RunOutcome::Refused;
    if (!d.ui.askYesNo("計算実行前にプロジェクトを保存する必要があります。保存して実行しますか？"))
        return RunOutcome::Refused;
    // A project that could not be saved is not run: the run would read a
    // file other than the one the user sees.
    if (!d.document.SaveFile(d.recent) || d.document.ProjectPath.empty()) return RunOutcome::Refused;

    d.running = true;
    d.askBeforeEnding = true;
    d.observer.lockWindow(true);
    d.state.StartTime = Now();
    if (!d.loadAndCheck()) {
        d.observer.lockWindow(false);
        d.running = false;
        return RunOutcome::Refused;
    }
    d.state.StopRequested = false;
    if (d.state.PlanName == plan::Single) {
        d.state.KeepExcelOpen =
            d.ui.askYesNo("計算後にエクセルを開いたままにしますか？");
        if (d.state.KeepExcelOpen) {
            d.document.header.visible = 1;
            d.observer.setVisibleCheck(true);
        }
    }
    RunOutcome outcome = d.runPlan();
    d.state.EndTime = Now();
    d.observer.lockWindow(false);
    d.running = false;
    RunObserver::EndCounts counts = CountDbFile(d.state.DbPath);
    counts.startTime = d.state.StartTime;
    counts.endTime = d.state.EndTime;
    counts.unreadableNote = UnreadableNote(d.state);
    for (const std::string& note : {TimeoutNote(d.state, d.options.calcTimeoutSeconds), DeadInstanceNote(d.state),
                                    LeftRunningNote(d.state)})
        if (!note.empty()) counts.unreadableNote += (counts.unreadableNote.empty() ? "" : "\n") + note;
    d.observer.showEndWindow(counts);
    d.observer.setProgressMaximum(0);
    d.observer.showProgress(d.state.CalcCount, 0, "");
    d.state.StopRequested = true;
    return outcome;
}

int RunDriver::CommandLineRun(const std::string& commandLineText) {
    Impl& d = *impl_;
    std::string path;
    for (char c : commandLineText)
        if (c != '"') path += c;
    path = ResolveAppRelative(path);
    if (!FileExists(path)) {
        d.ui.showMessage(path + "\n【tolvファイルアドレスが不正です。】");
        return 2;
    }
    d.document.ProjectPath = path;
    if (!d.document.LoadProjectToWindow()) return 2;
    d.observer.projectLoaded();
    if (d.document.header.plan == plan::UserScroll) {
        d.ui.showMessage("UserScroll Modeはコマンドライン実行では対応出来ません。");
        return 2;
    }
    if (!CheckExcelPath(d.document.header.workbookPath, d.ui)) return 2;
    d.running = true;
    d.askBeforeEnding = false;
    d.state.StartTime = Now();
    if (!d.loadAndCheck()) {
        d.running = false;
        return 2;
    }
    d.state.StopRequested = false;
    d.state.KeepExcelOpen = false;
    RunOutcome outcome = d.runPlan();
    d.state.EndTime = Now();
    d.observer.setProgressMaximum(0);
    d.running = false;
    d.state.StopRequested = true;
    if (const std::string note = UnreadableNote(d.state); !note.empty()) d.ui.showMessage(note);
    for (const std::string& note : {TimeoutNote(d.state, d.options.calcTimeoutSeconds), DeadInstanceNote(d.state),
                                    LeftRunningNote(d.state)})
        if (!note.empty()) d.ui.showMessage(note);
    switch (outcome) {
    case RunOutcome::Completed:
        return 0;
    case RunOutcome::Stopped:
        if (const int signo = StopSignalReceived())
            d.ui.showMessage(std::string(signo == SIGINT ? "SIGINT" : "SIGTERM") +
                             " により計算を停止しました。DBファイルには完了した計算だけが記録されています。");
        return 3;
    case RunOutcome::Refused:
        return 2;
    case RunOutcome::Failed:
        break;
    }
    return 1;
}

}  // namespace korvane

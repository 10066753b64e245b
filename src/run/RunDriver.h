#pragma once
// The run driver: turns the open project into a run. It saves and checks the
// project, loads RunState, runs the programs of timing 0, hands over to the
// plan, and afterwards gives the end window its times and counts. The main
// window's Run command and the unattended command-line run both use it.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace korvane {

class UserInterface;
class ProjectDocument;
class RecentFiles;
class WorkbookLink;
struct RunState;

// What a run shows while it goes on. The main window implements it with its
// controls; the command-line run with stderr; tests record it.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // Lock or unlock the main window's controls for the run.
    virtual void lockWindow(bool /*locked*/) {}
    // A command-line start loaded the project into the header values and the
    // working copy: the window shows it now.
    virtual void projectLoaded() {}
    // The progress bar's maximum (CalcTotal).
    virtual void setProgressMaximum(std::int64_t /*total*/) {}
    // The status bar's text alone ("0/100" before the first calculation).
    virtual void showStatus(const std::string& /*statusText*/) {}
    // After a calculation: Calc_Cnt_Text shows `counter`, the progress bar
    // `value`, the status bar "value/total".
    virtual void showProgress(std::int64_t /*counter*/, std::int64_t /*value*/, const std::string& /*statusText*/) {}
    // The run is about to write its lines (a resumed run: before the lines
    // already in its DB file are passed on): its outputs, in column order.
    virtual void linesBegin(const std::vector<std::string>& /*outputNames*/) {}
    // A line is in the DB file: its output fields in column order and its
    // verdict. Called from the thread that writes the lines, in their order;
    // a resumed run passes the lines already in the file first. It must be
    // quick: a run may write thousands of lines a second.
    virtual void lineWritten(std::span<const std::string> /*outputs*/, bool /*valid*/) {}
    // One pass of pending window events: where pause and stop take effect.
    virtual void eventPass() {}
    // The Single plan's "keep open" answer ticks the visibility check box.
    virtual void setVisibleCheck(bool /*visible*/) {}
    // The end window, shown modally after a run from the main window.
    struct EndCounts {
        std::string startTime, endTime;
        std::int64_t all = 0, valid = 0, invalid = 0;
        bool haveShare = false;  // false when no line was counted
        double validShare = 0;   // 1 - invalid / all
        // Empty, or how many calculations of the run could not read their
        // outputs and the first reason (UnreadableNote).
        std::string unreadableNote;
    };
    virtual void showEndWindow(const EndCounts& /*counts*/) {}
};

// Makes a new, not yet started workbook link (a private spreadsheet instance).
using WorkbookLinkFactory = std::function<std::unique_ptr<WorkbookLink>()>;

class CalcPool;
// Makes the workers of a repeating plan's run from its prepared state; the
// atomic is the visibility box as the run last saw it.
using CalcPoolFactory = std::function<std::unique_ptr<CalcPool>(
    const RunState& state, std::shared_ptr<const std::atomic<bool>> visible)>;

// How a run ended.
enum class RunOutcome {
    Completed,  // the plan ran to its end
    Stopped,    // a stop request ended it early (whole lines written)
    Refused,    // a check refused it before anything was written
    Failed,     // something failed during the run; the run ended in order
};

// "出力を読めなかった計算: 3回 (最初: ...)" when calculations of the run
// could not read every output; empty otherwise.
std::string UnreadableNote(const RunState& state);
// "時間切れで打ち切った計算: 2回 ..." when calculations of the run were
// abandoned at the time limit; empty otherwise.
std::string TimeoutNote(const RunState& state, double limitSeconds);
// How many instances died under a calculation and were replaced, and how
// many calculations were recorded without outputs because their instance
// died twice; empty when none died.
std::string DeadInstanceNote(const RunState& state);
// The programs the run started that were still running after their process
// groups were ended (they left their session); empty when there were none.
std::string LeftRunningNote(const RunState& state);

struct RunOptions;

class RunDriver {
public:
    RunDriver(UserInterface& ui, RunObserver& observer, ProjectDocument& document, RunState& state,
              WorkbookLinkFactory factory, RecentFiles* recent = nullptr);
    ~RunDriver();

    // The main window's Run command (everything but "UserScroll Mode", which
    // the window handles itself).
    RunOutcome RunCommand();
    // The unattended run of a project named on the command line; returns the
    // process exit status: 0 only when the plan ran to its end.
    int CommandLineRun(const std::string& commandLineText);

    // How the next runs calculate: workers, time limit, resume.
    void setRunOptions(const RunOptions& options);
    const RunOptions& runOptions() const;
    // Where the repeating plans' calculations go instead of worker threads of
    // this process (the ranks of an MPI job).
    void setCalcPools(CalcPoolFactory pools);

    // The stop command: seen at the next event pass.
    void Stop();
    // True while a run is in progress.
    bool running() const;

    // The end window's counts of a DB file (all blocks of an appended file).
    static RunObserver::EndCounts CountDbFile(const std::string& dbPath);

    // The date and time form of StartTime and EndTime.
    static std::string Now();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvane

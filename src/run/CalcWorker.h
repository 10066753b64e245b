#pragma once
// The calculations of a repeating plan on workers: each worker owns a private
// spreadsheet instance on a thread of its own (the instance lives and dies
// with that thread) and calculates whatever it is handed, one calculation at
// a time, with the values the plan worked out beforehand. The run's one
// writer puts the results into the DB file in calculation order.
//
// A worker runs the steps of one calculation in their fixed order: programs
// of timing 1, the values, timing 2, (the instance started when it restarts
// for every calculation), the inputs written, timing 3, macros, timing 4, the
// outputs read, timing 5, the restriction judgement; then, once the writer
// has the calculation's line on disk, timing 6.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Process.h"
#include "project/RunState.h"
#include "run/PlanSequence.h"
#include "run/RunDriver.h"

namespace korvane {

// What one calculation gave: the fields of its DB line.
struct CalcResult {
    std::int64_t count = 0;
    std::vector<std::string> inputs;   // indexed from 1, as RunState::InputValues
    std::vector<std::string> outputs;  // indexed from 1, as RunState::OutputValues
    bool valid = false;
    bool outputsRead = true;
    std::string unreadable;  // when not every output was read: the first reason
    // How often the calculation's instance died under it and was started
    // again (0 to 2); at 2 the calculation was given up: `lost`, its outputs
    // empty and its verdict false.
    int replaced = 0;
    bool lost = false;
};

// What a worker reports to the run.
struct WorkerEvent {
    enum class Kind {
        Opened,     // the workbook is open and holds every sheet the tasks name
        Result,     // a calculation's line is ready; `done` when nothing follows it
        Done,       // the programs of timing 6 of a calculation have run
        Failed,     // the calculation (or the start) failed; `error` says why
        Abandoned,  // an abandoned calculation is given up; the worker is free again
        Lost,       // the worker itself is gone (a process that died)
    };
    Kind kind = Kind::Opened;
    std::size_t worker = 0;
    std::int64_t count = 0;  // the calculation concerned; 0 for none
    CalcResult result;       // Result
    bool done = false;       // Result: no programs of timing 6 follow
    std::string error;       // Failed
    std::string notice;      // Opened: what of the workbook LibreOffice will not compute as Excel does
    // Opened: the cells that will not compute as Excel did (CheckDifferences;
    // empty when none): the run does not start unless told to.
    std::string differences;
    // Failed: the instance could not be started, the workbook opened or a
    // sheet found; before the DB file's header that refuses the run.
    bool starting = false;
};

// True when some program of the project runs at this timing.
bool HasProgramsAt(const RunState& state, int timing);

// The steps of calculations on one private instance. Every call but abort()
// comes from the one thread that owns the worker.
class CalcWorker {
public:
    // `state`: the run's state after its preparation (initial values given,
    // references resolved); the worker keeps a copy of its own. `visible`:
    // the main window's visibility box, read at every calculation.
    CalcWorker(const RunState& state, WorkbookLinkFactory factory, std::shared_ptr<const std::atomic<bool>> visible);
    ~CalcWorker();

    // Starts the instance and opens the workbook; the first time, also checks
    // that every sheet the tasks name is there, and then calls `opened` with
    // the warning about the workbook (CheckWarning; empty when there is
    // nothing to say, or when this worker does not check). False with the
    // message.
    bool open(std::string& error);
    void onFirstOpen(std::function<void(const std::string& notice, const std::string& differences)> opened) {
        opened_ = std::move(opened);
    }
    // This worker checks the workbook when it first opens it (one worker of
    // a run is enough).
    void checkWorkbook(bool check) { checkWorkbook_ = check; }
    bool isOpen() const { return link_ != nullptr; }
    // One calculation up to its line (see above). False with the message when
    // a step failed; the outputs of an instance that died are never used.
    bool calculate(const CalcValues& values, CalcResult& result, std::string& error);
    // As calculate(), but an instance that dies under the calculation (killed,
    // crashed) is replaced by a fresh one and the calculation made again,
    // once; when the fresh instance dies as well, the calculation is given up
    // and its result has empty outputs and the verdict false (result.lost),
    // and the next calculation gets a fresh instance again. False as for
    // calculate(), and when no fresh instance can be started.
    bool calculateReplacingDeadInstance(const CalcValues& values, CalcResult& result, std::string& error);
    // The last calculate() failed because the instance died, not because a
    // step refused or abort() ended it.
    bool instanceDied() const { return instanceDied_ && !aborted_.load(); }
    // Forgets an earlier abort(): called by the owner, under the lock that
    // abort() is called under, when a new calculation begins.
    void clearAborted() { aborted_.store(false); }
    // The programs of timing 6 of the calculation just made.
    bool afterLine(std::string& error);
    // Quits the instance (closing the workbook without saving).
    void quit();
    // Hands the instance over as it is, its workbook open (the Single plan's
    // workbook kept open after the run); the worker no longer has one.
    std::shared_ptr<WorkbookLink> release();
    // Ends the instance and the program running for this worker at once; any
    // thread may call it. The calculation in progress then fails.
    void abort();

    bool restartsPerCalculation() const { return state_.RestartPerCalc != 0; }
    // The last open() failed: the instance could not start, the workbook not
    // be opened, or a sheet is missing.
    bool openFailed() const { return openFailed_; }
    ProgramWatch& programs() { return programs_; }

private:
    bool startAndOpen(std::string& error);

    RunState state_;
    WorkbookLinkFactory factory_;
    std::shared_ptr<const std::atomic<bool>> visible_;
    std::shared_ptr<WorkbookLink> link_;
    std::mutex linkMutex_;  // guards link_ against abort() from another thread
    bool sheetsChecked_ = false;
    bool openFailed_ = false;
    bool instanceDied_ = false;
    std::atomic<bool> aborted_{false};
    std::function<void(const std::string&, const std::string&)> opened_;
    bool checkWorkbook_ = false;
    ProgramWatch programs_;
};

// A thread-safe queue of worker events.
class WorkerEvents {
public:
    void push(WorkerEvent event);
    // The next event, waiting up to `milliseconds`; false when none came.
    bool pop(WorkerEvent& event, int milliseconds);

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<WorkerEvent> events_;
};

// Where the calculations of a run go: worker threads of this process, or the
// ranks of an MPI job. The run's writer calls it from its own thread.
class CalcPool {
public:
    virtual ~CalcPool() = default;
    virtual std::size_t size() const = 0;
    // Workers open their workbook as soon as they exist (unless they restart
    // for every calculation) and report Opened or Failed.
    virtual void submit(std::size_t worker, const CalcValues& values) = 0;
    // The line of `count` is on disk: the worker may run its timing-6
    // programs (only sent when there are such programs).
    virtual void lineWritten(std::size_t worker, std::int64_t count) = 0;
    // Gives up calculation `count` of the worker: its instance or program is
    // ended when the calculation is still running, and the worker answers
    // with Abandoned once it can take the next one (with a fresh instance).
    virtual void abandon(std::size_t worker, std::int64_t count) = 0;
    virtual bool nextEvent(WorkerEvent& event, int milliseconds) = 0;
    // Every worker quits its instance and ends; returns when they have.
    virtual void finish() = 0;
    // As finish(), but the first worker hands its instance over, its workbook
    // open as the calculation left it (null where instances cannot be handed
    // over, or the worker has none).
    virtual std::shared_ptr<WorkbookLink> finishKeepingWorkbook() {
        finish();
        return nullptr;
    }
};

// N workers on threads of this process.
class ThreadPool final : public CalcPool {
public:
    // `openWithFirstCalculation`: the workbook is opened within the first
    // calculation, after its programs of timings 1 and 2 (the Single plan's
    // order), instead of as soon as the worker exists.
    ThreadPool(std::size_t workers, const RunState& state, const WorkbookLinkFactory& factory,
               std::shared_ptr<const std::atomic<bool>> visible, bool openWithFirstCalculation = false);
    ~ThreadPool() override;

    std::size_t size() const override { return threads_.size(); }
    void submit(std::size_t worker, const CalcValues& values) override;
    void lineWritten(std::size_t worker, std::int64_t count) override;
    void abandon(std::size_t worker, std::int64_t count) override;
    bool nextEvent(WorkerEvent& event, int milliseconds) override { return events_.pop(event, milliseconds); }
    void finish() override;
    std::shared_ptr<WorkbookLink> finishKeepingWorkbook() override;

    class WorkerThread;

private:
    WorkerEvents events_;
    std::vector<std::unique_ptr<WorkerThread>> threads_;
};

// One worker on a thread of its own, reporting to `events`: the piece the
// thread pool is made of, and what an MPI rank runs.
class ThreadPool::WorkerThread {
public:
    WorkerThread(std::size_t index, const RunState& state, const WorkbookLinkFactory& factory,
                 std::shared_ptr<const std::atomic<bool>> visible, WorkerEvents& events,
                 bool openWithFirstCalculation = false);
    ~WorkerThread();

    void submit(const CalcValues& values);
    void lineWritten(std::int64_t count);
    void abandon(std::int64_t count);
    // Quits the instance and ends the thread.
    void finish();
    // Ends the thread and hands its instance over instead of quitting it
    // (null when it has none).
    std::shared_ptr<WorkbookLink> finishKeepingWorkbook();

private:
    struct Command {
        enum class Kind { Calculate, LineWritten, Abandon, Finish } kind;
        CalcValues values;
        std::int64_t count = 0;
    };
    void post(Command command);
    Command take();
    void main();
    void emit(WorkerEvent::Kind kind, std::int64_t count, std::string error = {}, bool starting = false);
    // After an abandoned calculation: a fresh instance when the old one was
    // ended, then Abandoned.
    void recover(std::int64_t count, bool instanceEnded);
    // Waits for the line of `count` to be written (or the calculation to be
    // abandoned, or the end). True when written.
    bool waitForLine(std::int64_t count, bool& finishing);

    std::size_t index_;
    CalcWorker worker_;
    WorkerEvents& events_;
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<Command> commands_;
    std::int64_t running_ = 0;    // the calculation in progress (guarded by mutex_)
    std::int64_t abandoned_ = 0;  // the last calculation abandoned (guarded by mutex_)
    std::int64_t answered_ = 0;   // the last Abandoned sent (worker thread only)
    bool timing6_ = false;
    bool lazyOpen_ = false;
    bool keepWorkbook_ = false;          // set before Finish is posted
    std::shared_ptr<WorkbookLink> kept_;  // written by the thread as it ends
    std::thread thread_;
};

}  // namespace korvane

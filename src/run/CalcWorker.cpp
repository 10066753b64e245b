#include "run/CalcWorker.h"

#include <chrono>

#include "project/NumberText.h"
#include "workbook/CalcSteps.h"
#include "workbook/WorkbookCheck.h"
#include "workbook/WorkbookLink.h"

namespace korvane {

bool HasProgramsAt(const RunState& state, int timing) {
    for (std::size_t k = 1; k <= state.shellTaskCount(); ++k)
        if (LeadingNumber(SplitShellLine(state.ShellTasks[k]).timing) == timing) return true;
    return false;
}

// ------------------------------------------------------------------ worker

CalcWorker::CalcWorker(const RunState& state, WorkbookLinkFactory factory,
                       std::shared_ptr<const std::atomic<bool>> visible)
    : state_(state), factory_(std::move(factory)), visible_(std::move(visible)) {
    state_.ExcelApp.reset();
}

CalcWorker::~CalcWorker() { quit(); }

bool CalcWorker::startAndOpen(std::string& error) {
    std::shared_ptr<WorkbookLink> link = factory_ ? std::shared_ptr<WorkbookLink>(factory_()) : nullptr;
    if (!link) {
        error = "スプレッドシートアプリケーションを起動できません。";
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(linkMutex_);
        link_ = link;
    }
    if (!StartAndOpen(*link, state_.WorkbookPath, visible_ && visible_->load())) {
        error = link->lastError();
        quit();
        return false;
    }
    state_.ExcelApp = link;
    return true;
}

bool CalcWorker::open(std::string& error) {
    openFailed_ = true;
    if (!startAndOpen(error)) return false;
    if (!sheetsChecked_) {
        error = MissingSheetMessage(state_, *link_);
        if (!error.empty()) {
            quit();
            return false;
        }
        sheetsChecked_ = true;
        // What LibreOffice will not compute as Excel does: a warning, or,
        // for cells whose values differ from Excel's, the reason the run
        // does not start unless told to.
        std::string notice, differences;
        std::vector<CheckFinding> findings;
        std::string checkError;
        if (checkWorkbook_ && CheckOpenWorkbook(*link_, state_.WorkbookPath, findings, checkError)) {
            differences = CheckDifferences(findings);
            if (differences.empty() && CountedFindings(findings) > 0) notice = CheckWarning(findings);
        }
        if (opened_) opened_(notice, differences);
    }
    openFailed_ = false;
    return true;
}

void CalcWorker::quit() {
    std::shared_ptr<WorkbookLink> link;
    {
        std::lock_guard<std::mutex> lock(linkMutex_);
        link.swap(link_);
    }
    state_.ExcelApp.reset();
    if (link) CloseAndQuit(*link);
}

std::shared_ptr<WorkbookLink> CalcWorker::release() {
    std::shared_ptr<WorkbookLink> link;
    {
        std::lock_guard<std::mutex> lock(linkMutex_);
        link.swap(link_);
    }
    state_.ExcelApp.reset();
    return link;
}

void CalcWorker::abort() {
    aborted_.store(true);
    {
        std::lock_guard<std::mutex> lock(linkMutex_);
        if (link_) link_->abort();
    }
    programs_.killRunning();
}

bool CalcWorker::calculate(const CalcValues& values, CalcResult& result, std::string& error) {
    instanceDied_ = false;
    RunState& s = state_;
    const bool restart = s.RestartPerCalc != 0;
    s.CalcCount = values.count;
    s.InputValues = values.before;
    // A step that fails on an instance that is no longer running failed
    // because the instance died.
    auto failedOnInstance = [&] {
        error = link_->lastError();
        instanceDied_ = !link_->isRunning();
        return false;
    };
    if (!RunExternalPrograms(s, 1, error)) return false;
    if (link_ && !FollowVisibility(*link_, visible_ && visible_->load(), restart)) return failedOnInstance();
    s.InputValues = values.assigned;
    s.FormatMarks = values.marks;
    if (!RunExternalPrograms(s, 2, error)) return false;
    if (restart || !link_) {
        if (!open(error)) return false;
    }
    // The read step keeps the reason of the first calculation it could not
    // read; counted from here, that is this calculation's.
    s.UnreadableCalcs = 0;
    s.FirstUnreadable.clear();
    if (!CalculateWorkbook(s, *link_, error)) {
        instanceDied_ = !link_->isRunning();
        return false;
    }
    JudgeRestrictions(s);
    if (restart) quit();
    result.count = values.count;
    result.inputs = s.InputValues;
    result.outputs = s.OutputValues;
    result.valid = s.RunValid;
    result.outputsRead = s.OutputsRead;
    result.unreadable = s.OutputsRead ? std::string() : s.FirstUnreadable;
    return true;
}

bool CalcWorker::calculateReplacingDeadInstance(const CalcValues& values, CalcResult& result, std::string& error) {
    int replaced = 0;
    for (;;) {
        if (calculate(values, result, error)) {
            result.replaced = replaced;
            return true;
        }
        if (!instanceDied()) return false;
        // The dead instance goes; the next calculate() starts a fresh one
        // (after the programs of timings 1 and 2, as a restarting plan does).
        quit();
        if (++replaced == 2) break;
    }
    result = CalcResult{};
    result.count = values.count;
    result.inputs = values.recorded;
    result.outputs.assign(state_.OutputValues.size(), std::string());
    result.valid = false;
    result.outputsRead = false;
    result.replaced = replaced;
    result.lost = true;
    error.clear();
    return true;
}

bool CalcWorker::afterLine(std::string& error) { return RunExternalPrograms(state_, 6, error); }

// ------------------------------------------------------------------ events

void WorkerEvents::push(WorkerEvent event) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
    }
    ready_.notify_one();
}

bool WorkerEvents::pop(WorkerEvent& event, int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return !events_.empty(); }))
        return false;
    event = std::move(events_.front());
    events_.pop_front();
    return true;
}

// ------------------------------------------------------------------ thread

ThreadPool::WorkerThread::WorkerThread(std::size_t index, const RunState& state, const WorkbookLinkFactory& factory,
                                       std::shared_ptr<const std::atomic<bool>> visible, WorkerEvents& events,
                                       bool openWithFirstCalculation)
    : index_(index), worker_(state, factory, std::move(visible)), events_(events),
      timing6_(HasProgramsAt(state, 6)), lazyOpen_(openWithFirstCalculation) {
    thread_ = std::thread([this] { main(); });
}

ThreadPool::WorkerThread::~WorkerThread() { finish(); }

void ThreadPool::WorkerThread::post(Command command) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(std::move(command));
    }
    posted_.notify_one();
}

ThreadPool::WorkerThread::Command ThreadPool::WorkerThread::take() {
    std::unique_lock<std::mutex> lock(mutex_);
    posted_.wait(lock, [this] { return !commands_.empty(); });
    Command c = std::move(commands_.front());
    commands_.pop_front();
    return c;
}

void ThreadPool::WorkerThread::submit(const CalcValues& values) {
    post(Command{Command::Kind::Calculate, values, values.count});
}

void ThreadPool::WorkerThread::lineWritten(std::int64_t count) {
    post(Command{Command::Kind::LineWritten, {}, count});
}

void ThreadPool::WorkerThread::abandon(std::int64_t count) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        abandoned_ = count;
        if (running_ == count) worker_.abort();
    }
    post(Command{Command::Kind::Abandon, {}, count});
}

void ThreadPool::WorkerThread::finish() {
    if (!thread_.joinable()) return;
    {
        // A calculation still running is not waited for.
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_ != 0) worker_.abort();
    }
    post(Command{Command::Kind::Finish, {}, 0});
    thread_.join();
}

std::shared_ptr<WorkbookLink> ThreadPool::WorkerThread::finishKeepingWorkbook() {
    if (!thread_.joinable()) return nullptr;
    keepWorkbook_ = true;  // read by the thread after it takes Finish
    finish();
    return std::move(kept_);
}

void ThreadPool::WorkerThread::emit(WorkerEvent::Kind kind, std::int64_t count, std::string error, bool starting) {
    WorkerEvent e;
    e.kind = kind;
    e.worker = index_;
    e.count = count;
    e.error = std::move(error);
    e.starting = starting;
    events_.push(std::move(e));
}

void ThreadPool::WorkerThread::recover(std::int64_t count, bool instanceEnded) {
    answered_ = count;
    if (instanceEnded) {
        worker_.quit();
        worker_.programs().endStarted();
        std::string error;
        if (!worker_.restartsPerCalculation() && !lazyOpen_ && !worker_.open(error)) {
            emit(WorkerEvent::Kind::Failed, 0, error, true);
            return;
        }
    }
    emit(WorkerEvent::Kind::Abandoned, count);
}

bool ThreadPool::WorkerThread::waitForLine(std::int64_t count, bool& finishing) {
    for (;;) {
        Command c = take();
        switch (c.kind) {
        case Command::Kind::LineWritten:
            if (c.count == count) return true;
            break;
        case Command::Kind::Abandon:
            if (c.count == count) {
                recover(count, false);
                return false;
            }
            break;
        case Command::Kind::Finish:
            finishing = true;
            return false;
        case Command::Kind::Calculate:
            break;  // never sent to a busy worker
        }
    }
}

void ThreadPool::WorkerThread::main() {
    WatchProgramsOf(&worker_.programs());
    std::string error;
    worker_.checkWorkbook(index_ == 0);
    worker_.onFirstOpen([this](const std::string& notice, const std::string& differences) {
        WorkerEvent e;
        e.kind = WorkerEvent::Kind::Opened;
        e.worker = index_;
        e.notice = notice;
        e.differences = differences;
        events_.push(std::move(e));
    });
    if (!worker_.restartsPerCalculation() && !lazyOpen_ && !worker_.open(error))
        emit(WorkerEvent::Kind::Failed, 0, error, true);
    bool finishing = false;
    while (!finishing) {
        Command c = take();
        if (c.kind == Command::Kind::Finish) break;
        if (c.kind == Command::Kind::Abandon) {
            // Abandoned while idle (its result may still be on its way).
            if (c.count != answered_) recover(c.count, false);
            continue;
        }
        if (c.kind != Command::Kind::Calculate) continue;
        const std::int64_t count = c.values.count;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_ = count;
            worker_.clearAborted();
        }
        CalcResult result;
        error.clear();
        const bool ok = worker_.calculateReplacingDeadInstance(c.values, result, error);
        bool abandoned = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_ = 0;
            abandoned = abandoned_ == count;
        }
        if (abandoned) {
            recover(count, true);
            continue;
        }
        if (!ok) {
            emit(WorkerEvent::Kind::Failed, count, error, worker_.openFailed());
            continue;
        }
        WorkerEvent e;
        e.kind = WorkerEvent::Kind::Result;
        e.worker = index_;
        e.count = count;
        e.result = std::move(result);
        e.done = !timing6_;
        events_.push(std::move(e));
        if (!timing6_) continue;
        if (!waitForLine(count, finishing)) continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_ = count;
        }
        const bool after = worker_.afterLine(error);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            running_ = 0;
            abandoned = abandoned_ == count;
        }
        if (abandoned)
            recover(count, true);
        else if (!after)
            emit(WorkerEvent::Kind::Failed, count, error);
        else
            emit(WorkerEvent::Kind::Done, count);
    }
    if (keepWorkbook_)
        kept_ = worker_.release();
    else
        worker_.quit();
    worker_.programs().endStarted();
    WatchProgramsOf(nullptr);
}

// ------------------------------------------------------------------ pool

ThreadPool::ThreadPool(std::size_t workers, const RunState& state, const WorkbookLinkFactory& factory,
                       std::shared_ptr<const std::atomic<bool>> visible, bool openWithFirstCalculation) {
    for (std::size_t i = 0; i < workers; ++i)
        threads_.push_back(
            std::make_unique<WorkerThread>(i, state, factory, visible, events_, openWithFirstCalculation));
}

ThreadPool::~ThreadPool() { finish(); }

std::shared_ptr<WorkbookLink> ThreadPool::finishKeepingWorkbook() {
    std::shared_ptr<WorkbookLink> kept = threads_.empty() ? nullptr : threads_.front()->finishKeepingWorkbook();
    finish();
    return kept;
}

void ThreadPool::submit(std::size_t worker, const CalcValues& values) { threads_.at(worker)->submit(values); }

void ThreadPool::lineWritten(std::size_t worker, std::int64_t count) { threads_.at(worker)->lineWritten(count); }

void ThreadPool::abandon(std::size_t worker, std::int64_t count) { threads_.at(worker)->abandon(count); }

void ThreadPool::finish() {
    for (auto& t : threads_) t->finish();
}

}  // namespace korvane

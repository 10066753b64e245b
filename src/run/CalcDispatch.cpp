#include "run/CalcDispatch.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <vector>

#include "db/DbFile.h"
#include "platform/StopSignals.h"
#include "platform/UserInterface.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "run/CalcWorker.h"
#include "run/PlanSequence.h"
#include "run/PrecisionStop.h"
#include "workbook/WorkbookCheck.h"

namespace korvane {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

// How long one wait for a worker's event lasts: the window's events are let
// through at least this often.
constexpr int kWaitMilliseconds = 40;

struct Slot {
    bool opened = false;
    bool busy = false;        // a calculation is handed to it and not yet over
    bool dead = false;        // it can take no more calculations
    bool abandoning = false;  // its calculation is abandoned; waiting for it to be free
    bool lineWait = false;    // its result is in; waiting for the line before timing 6
    std::int64_t count = 0;
    Clock::time_point since;  // when the current phase of its calculation began
};

// A calculation whose result is in, waiting for its line or (with programs
// of timing 6) for its end.
struct Pending {
    CalcResult result;
    std::size_t worker = 0;
    bool done = false;      // nothing of it runs any more
    bool written = false;
    bool timedOut = false;
};

class Dispatcher {
public:
    explicit Dispatcher(CalcLoop& loop)
        : l_(loop), s_(loop.state), slots_(loop.pool.size()), headerWritten_(false),
          nextToWrite_(loop.sequence.nextCount()), lastDone_(nextToWrite_ - 1), total_(loop.sequence.total()),
          timing6_(HasProgramsAt(loop.state, 6)) {}

    RunOutcome run() {
        const bool restart = s_.RestartPerCalc != 0 || l_.single;
        // Every worker opens its workbook before the first line: the header
        // is written only once the instances run and every sheet is there.
        if (!restart) {
            while (!ended() && failAt_ == kNever && !allOpened()) waitAndHandle();
            if (!ended() && failAt_ == kNever && !headerWritten_ && !writeHeader()) writeFailed_ = true;
        }
        while (!ended()) {
            handOut();
            if (finished()) break;
            waitAndHandle();
        }
        if (l_.keepWorkbook && completed())
            l_.keptWorkbook = l_.pool.finishKeepingWorkbook();
        else
            l_.pool.finish();
        return outcome();
    }

private:
    // ------------------------------------------------------------ state

    bool ended() const { return writeFailed_ || (failAt_ != kNever && refused_); }

    // Every worker that is still there has its workbook open.
    bool allOpened() const {
        for (const Slot& slot : slots_)
            if (!slot.opened && !slot.dead) return false;
        return true;
    }

    // A calculation whose line is still due, or whose programs after its
    // line still run.
    bool anyBusy() const {
        for (const Slot& slot : slots_)
            if (slot.busy && slot.count < endAt_) return true;
        return false;
    }

    bool finished() {
        writeLines();
        if (writeFailed_) return true;
        if (anyBusy()) return false;
        dropUnneededRetries();
        if (!retry_.empty()) return false;
        return sequenceDone_ || stopping_ || failAt_ != kNever || cutAt_ != kNever || endAt_ != kNever;
    }

    // Calculations to hand out again that the run no longer writes.
    void dropUnneededRetries() {
        const std::int64_t limit = std::min({failAt_, cutAt_, endAt_});
        std::erase_if(retry_, [&](const CalcValues& v) { return v.count >= limit; });
    }

    // The first calculation with no line and none coming.
    std::int64_t firstUnresolved() const {
        std::int64_t first = l_.sequence.nextCount();
        for (const CalcValues& v : retry_) first = std::min(first, v.count);
        return first;
    }

    // ------------------------------------------------------------ handing out

    void handOut() {
        const bool restart = s_.RestartPerCalc != 0 || l_.single;
        for (;;) {
            dropUnneededRetries();
            std::optional<std::size_t> slot;
            for (std::size_t i = 0; i < slots_.size() && !slot; ++i)
                if (!slots_[i].busy && !slots_[i].dead && (slots_[i].opened || restart)) slot = i;
            if (!slot) return;
            CalcValues values;
            if (!retry_.empty()) {
                // A calculation whose worker was lost: its line is still due,
                // also after a stop.
                values = std::move(retry_.front());
                retry_.pop_front();
            } else {
                if (sequenceDone_ || stopping_ || failAt_ != kNever || cutAt_ != kNever || endAt_ != kNever) return;
                // The event pass of the calculation about to start: a stop
                // seen here lets this calculation run, as in one instance.
                s_.CalcCount = l_.sequence.nextCount();
                if (s_.CalcCount > total_) {
                    sequenceDone_ = true;
                    return;
                }
                eventPass();
                if (failAt_ != kNever || cutAt_ != kNever) return;
                std::string error;
                const std::int64_t count = l_.sequence.nextCount();
                if (!l_.sequence.next(values, error)) {
                    sequenceDone_ = true;
                    if (!error.empty()) fail(count, error, false);
                    return;
                }
                if (stopRequested()) stopping_ = true;  // after this calculation
            }
            Slot& sl = slots_[*slot];
            sl.busy = true;
            sl.lineWait = false;
            sl.count = values.count;
            sl.since = Clock::now();
            inFlight_[values.count] = values;
            l_.pool.submit(*slot, values);
        }
    }

    // ------------------------------------------------------------ waiting

    void eventPass() {
        l_.visible->store(l_.header.visible != 0);
        l_.observer.eventPass();
        lastPass_ = Clock::now();
        if (l_.single) return;  // one calculation, never stopped
        if (StopSignalReceived() != 0) s_.StopRequested = true;
        if (s_.StopRequested && !stopSince_) stopSince_ = Clock::now();
    }

    bool stopRequested() const { return !l_.single && s_.StopRequested; }

    void waitAndHandle() {
        WorkerEvent event;
        if (l_.pool.nextEvent(event, kWaitMilliseconds)) {
            handle(event);
            // Whatever else is there, at once: results come in bursts.
            while (l_.pool.nextEvent(event, 0)) handle(event);
        }
        if (Clock::now() - lastPass_ >= std::chrono::milliseconds(kWaitMilliseconds)) eventPass();
        if (stopRequested()) stopping_ = true;
        checkTimeouts();
        checkStopGrace();
        writeLines();
    }

    void handle(const WorkerEvent& e) {
        Slot& slot = slots_.at(e.worker);
        switch (e.kind) {
        case WorkerEvent::Kind::Opened:
            slot.opened = true;
            if (!e.differences.empty() && !noticeShown_) {
                noticeShown_ = true;
                if (l_.acceptDifferences) {
                    l_.ui.showMessage(CheckAccepted(e.differences));
                } else if (!l_.askOnDifferences || !l_.ui.askYesNoDefaultNo(CheckRefusal(e.differences, true))) {
                    // Nothing is written: the DB file stays as it was.
                    differencesRefused_ = true;
                    fail(nextToWrite_, l_.askOnDifferences ? std::string() : CheckRefusal(e.differences, false),
                         true);
                    break;
                }
            }
            if (!e.notice.empty() && !noticeShown_) {
                noticeShown_ = true;
                l_.ui.showNotice(e.notice);
            }
            // A worker that could not start (or an MPI rank that refused its
            // copies) before the header refuses the run: nothing is written.
            if (!headerWritten_ && !refused_ && !writeHeader()) writeFailed_ = true;
            break;
        case WorkerEvent::Kind::Result: {
            if (!slot.busy || slot.abandoning || slot.count != e.count) break;  // abandoned meanwhile
            s_.ReplacedInstances += e.result.replaced;
            Pending& p = pending_[e.count];
            p.result = e.result;
            p.worker = e.worker;
            p.done = e.done;
            if (e.done) {
                release(slot, e.count);
            } else {
                slot.lineWait = true;
            }
            break;
        }
        case WorkerEvent::Kind::Done:
            if (!slot.busy || slot.abandoning || slot.count != e.count) break;
            if (auto it = pending_.find(e.count); it != pending_.end()) it->second.done = true;
            release(slot, e.count);
            break;
        case WorkerEvent::Kind::Failed:
            if (slot.abandoning && e.count == slot.count) break;  // its end was asked for
            if (e.count == 0) {
                // The worker cannot start an instance: before the header that
                // refuses the run; later the run ends after what is under way.
                slot.dead = true;
                if (slot.busy && slot.abandoning) {
                    slot.busy = false;
                    slot.abandoning = false;
                }
                fail(firstUnresolved(), e.error, e.starting);
                break;
            }
            release(slot, e.count);
            fail(e.count, e.error, e.starting);
            break;
        case WorkerEvent::Kind::Abandoned:
            if (slot.abandoning && slot.count == e.count) {
                slot.abandoning = false;
                release(slot, e.count);
            }
            break;
        case WorkerEvent::Kind::Lost:
            // The worker is gone; its calculation goes to another one.
            slot.dead = true;
            if (slot.busy) {
                const std::int64_t count = slot.count;
                slot.busy = false;
                auto it = inFlight_.find(count);
                auto done = pending_.find(count);
                if (slot.abandoning || (done != pending_.end() && done->second.written)) {
                    // Its line stands (or the calculation was given up already).
                    if (done != pending_.end()) done->second.done = true;
                    inFlight_.erase(count);
                } else if (it != inFlight_.end()) {
                    pending_.erase(count);
                    retry_.push_front(it->second);
                }
                slot.abandoning = false;
            }
            bool anyAlive = false;
            for (const Slot& sl : slots_) anyAlive = anyAlive || !sl.dead;
            if (!anyAlive) fail(firstUnresolved(), "計算を続けられるワーカーがありません。" + e.error, !headerWritten_);
            break;
        }
    }

    void release(Slot& slot, std::int64_t count) {
        slot.busy = false;
        slot.lineWait = false;
        inFlight_.erase(count);
    }

    // The calculation `count` cannot be made: nothing from it on is written.
    void fail(std::int64_t count, const std::string& message, bool starting) {
        // Beyond the line that met the precision target nothing is needed.
        if (count >= endAt_) return;
        if (count < failAt_) {
            failAt_ = count;
            failMessage_ = message;
            failStarting_ = starting;
        }
        refused_ = (failStarting_ && !headerWritten_) || differencesRefused_;
        // Later calculations still running are of no use any more.
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            Slot& slot = slots_[i];
            if (slot.busy && !slot.abandoning && slot.count > failAt_) abandon(i);
        }
    }

    void abandon(std::size_t worker) {
        Slot& slot = slots_[worker];
        slot.abandoning = true;
        l_.pool.abandon(worker, slot.count);
    }

    // ------------------------------------------------------------ limits

    void checkTimeouts() {
        if (l_.calcTimeoutSeconds <= 0) return;
        const auto limit = std::chrono::duration<double>(l_.calcTimeoutSeconds);
        const auto now = Clock::now();
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            Slot& slot = slots_[i];
            if (!slot.busy || slot.abandoning || slot.lineWait || now - slot.since < limit) continue;
            const std::int64_t count = slot.count;
            Pending& p = pending_[count];
            if (!p.written) {
                // Recorded as a calculation whose outputs could not be read.
                p.result.count = count;
                auto it = inFlight_.find(count);
                p.result.inputs = it != inFlight_.end() ? it->second.recorded : s_.InputValues;
                p.result.outputs.assign(s_.OutputValues.size(), std::string());
                p.result.valid = false;
                p.result.outputsRead = false;
            }
            p.done = true;
            p.timedOut = true;
            p.worker = i;
            ++s_.TimedOutCalcs;
            abandon(i);
        }
    }

    // A stop whose calculations have not returned within the grace time:
    // asked (the window) or done at once (unattended), they are ended now and
    // no line of theirs is written.
    void checkStopGrace() {
        if (!stopping_ || !stopSince_ || stopAsked_ || cutAt_ != kNever) return;
        if (Clock::now() - *stopSince_ < std::chrono::seconds(kStopGraceSeconds)) return;
        if (!runningCalculation()) return;
        stopAsked_ = true;
        bool endNow = true;
        if (l_.askBeforeEnding) {
            endNow = l_.ui.askYesNo(kEndCalculationQuestion);
            // What finished while the question was shown is kept.
            WorkerEvent event;
            while (l_.pool.nextEvent(event, 0)) handle(event);
            writeLines();
        } else {
            l_.ui.showMessage("停止の要求から" + std::to_string(kStopGraceSeconds) +
                              "秒以内に終わらない計算を打ち切りました。この計算はDBファイルに記録されません。");
        }
        if (!endNow || !runningCalculation()) return;
        std::int64_t cut = kNever;
        for (const Slot& slot : slots_)
            if (slot.busy && !slot.lineWait && !slot.abandoning) cut = std::min(cut, slot.count);
        cutAt_ = cut;
        for (std::size_t i = 0; i < slots_.size(); ++i)
            if (slots_[i].busy && !slots_[i].abandoning) abandon(i);
    }

    bool runningCalculation() const {
        for (const Slot& slot : slots_)
            if (slot.busy && !slot.lineWait && !slot.abandoning) return true;
        return false;
    }

    // ------------------------------------------------------------ lines

    bool writeHeader() {
        if (!l_.db.writeHeader(s_)) return false;
        headerWritten_ = true;
        return true;
    }

    void writeLines() {
        for (;;) {
            // Calculations whose line is written and that are over.
            while (true) {
                auto it = pending_.find(lastDone_ + 1);
                if (it == pending_.end() || !it->second.written || !it->second.done) break;
                pending_.erase(it);
                ++lastDone_;
            }
            if (writeFailed_ || !headerWritten_) return;
            if (nextToWrite_ >= failAt_ || nextToWrite_ >= cutAt_ || nextToWrite_ >= endAt_) return;
            auto it = pending_.find(nextToWrite_);
            if (it == pending_.end()) return;
            // Programs of timing 6 run after their calculation's line and
            // before the next line, as in one instance.
            if (lastDone_ < nextToWrite_ - 1) return;
            Pending& p = it->second;
            const CalcResult& r = p.result;
            s_.CalcCount = l_.single ? 0 : r.count;
            s_.InputValues = r.inputs;
            s_.OutputValues = r.outputs;
            s_.RunValid = r.valid;
            s_.OutputsRead = r.outputsRead;
            if (r.lost)
                ++s_.CrashedCalcs;
            else if (!r.outputsRead && !p.timedOut && s_.UnreadableCalcs++ == 0)
                s_.FirstUnreadable = r.unreadable;
            if (!l_.db.writeRow(s_)) {
                writeFailed_ = true;
                return;
            }
            p.written = true;
            lastWritten_ = r.count;
            const std::span<const std::string> outputs(s_.OutputValues);
            l_.observer.lineWritten(outputs.empty() ? outputs : outputs.subspan(1), r.valid);
            l_.observer.showProgress(r.count, r.count, std::to_string(r.count) + "/" + s_.CalcTotal);
            if (!p.done) {
                Slot& slot = slots_[p.worker];
                slot.lineWait = false;
                slot.since = Clock::now();
                l_.pool.lineWritten(p.worker, r.count);
            }
            ++nextToWrite_;
            if (l_.precision && !l_.single) {
                l_.precision->addLine(s_);
                if (l_.precision->reached()) reachPrecision(r.count);
            }
        }
    }

    // The line of calculation `count` met the precision target: it is the
    // last one. Calculations after it are not waited for: the workers end
    // them as they finish (abandoning them here would start each instance
    // again only to quit it), and their lines are never written.
    void reachPrecision(std::int64_t count) {
        endAt_ = count + 1;
        precisionMessage_ = l_.precision->message(count);
    }

    bool completed() const {
        return !writeFailed_ && failAt_ == kNever && !stopping_ && cutAt_ == kNever;
    }

    RunOutcome outcome() {
        s_.CalcCount = l_.single ? 0 : lastWritten_;
        if (writeFailed_) return RunOutcome::Failed;  // the writer showed why
        if (failAt_ != kNever) {
            if (!failMessage_.empty()) l_.ui.showMessage(failMessage_);
            return refused_ ? RunOutcome::Refused : RunOutcome::Failed;
        }
        if (endAt_ != kNever) {
            // Ended as a completed run, a stop asked meanwhile included: the
            // study is as precise as wanted.
            s_.CalcCount = endAt_;
            l_.observer.showStatus(precisionMessage_);
            l_.ui.showNotice(precisionMessage_);
            return RunOutcome::Completed;
        }
        if (stopping_ || cutAt_ != kNever) return RunOutcome::Stopped;
        s_.CalcCount = l_.single ? 0 : total_ + 1;
        return RunOutcome::Completed;
    }

    CalcLoop& l_;
    RunState& s_;
    std::vector<Slot> slots_;
    bool headerWritten_;
    std::int64_t nextToWrite_;
    std::int64_t lastDone_;
    std::int64_t total_;
    bool timing6_;
    std::int64_t lastWritten_ = 0;
    std::map<std::int64_t, CalcValues> inFlight_;
    std::map<std::int64_t, Pending> pending_;
    std::deque<CalcValues> retry_;
    bool sequenceDone_ = false;
    bool stopping_ = false;
    std::optional<Clock::time_point> stopSince_;
    bool stopAsked_ = false;
    std::int64_t cutAt_ = kNever;
    std::int64_t endAt_ = kNever;  // the first calculation after the line that met the precision target
    std::string precisionMessage_;
    std::int64_t failAt_ = kNever;
    std::string failMessage_;
    bool failStarting_ = false;
    bool refused_ = false;
    bool writeFailed_ = false;
    bool noticeShown_ = false;
    bool differencesRefused_ = false;
    Clock::time_point lastPass_ = Clock::now();
};

}  // namespace

RunOutcome RunCalculations(CalcLoop& loop) { return Dispatcher(loop).run(); }

}  // namespace korvane

#include "platform/mpi/MpiSession.h"

#include <mpi.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <list>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "project/RunState.h"
#include "run/CalcWorker.h"
#include "run/WorkerMessages.h"
#include "workbook/WorkbookLink.h"

namespace korvane {

namespace {

using Clock = std::chrono::steady_clock;

// Message tags.
enum Tag : int {
    kSetup = 1,      // 0 -> k: the worker state
    kJob = 2,        // 0 -> k: one calculation's values
    kLine = 3,       // 0 -> k: the line of a calculation is written
    kAbandon = 4,    // 0 -> k: give up a calculation
    kFinish = 5,     // 0 -> k: the run is over
    kEvent = 6,      // k -> 0: a worker event
    kHeartbeat = 7,  // both ways: still here
    kFinished = 8,   // k -> 0: instance quit, leaving
};

std::string Int64Bytes(std::int64_t v) {
    std::string b(8, '\0');
    for (int i = 0; i < 8; ++i) b[i] = static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xFF);
    return b;
}

std::int64_t BytesInt64(const std::string& b) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 8 && i < b.size(); ++i)
        v |= static_cast<std::uint64_t>(static_cast<unsigned char>(b[i])) << (8 * i);
    return static_cast<std::int64_t>(v);
}

// Sends without waiting for the receiver: a rank that died must never hold
// up the one that sends to it.
class Outbox {
public:
    void send(int dest, int tag, std::string bytes) {
        auto& m = pending_.emplace_back();
        m.dest = dest;
        m.bytes = std::move(bytes);
        if (MPI_Isend(m.bytes.data(), static_cast<int>(m.bytes.size()), MPI_BYTE, dest, tag, MPI_COMM_WORLD,
                      &m.request) != MPI_SUCCESS)
            pending_.pop_back();
    }
    // Frees what has been delivered.
    void pump() {
        for (auto it = pending_.begin(); it != pending_.end();) {
            int done = 0;
            if (MPI_Test(&it->request, &done, MPI_STATUS_IGNORE) != MPI_SUCCESS || done)
                it = pending_.erase(it);
            else
                ++it;
        }
    }
    // Gives up what is still on its way to `dest` (a rank that is gone).
    void drop(int dest) {
        for (auto it = pending_.begin(); it != pending_.end();) {
            if (it->dest != dest) {
                ++it;
                continue;
            }
            MPI_Cancel(&it->request);
            MPI_Request_free(&it->request);
            it = pending_.erase(it);
        }
    }
    bool emptyFor(int dest) const {
        for (const auto& m : pending_)
            if (m.dest == dest) return false;
        return true;
    }

private:
    struct Message {
        int dest = 0;
        std::string bytes;
        MPI_Request request{};
    };
    std::list<Message> pending_;  // stable addresses while in flight
};

// One message from `source` (or any rank), if there is one.
bool Receive(int source, int& from, int& tag, std::string& bytes) {
    int flag = 0;
    MPI_Status status;
    if (MPI_Iprobe(source, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &status) != MPI_SUCCESS || !flag) return false;
    int count = 0;
    MPI_Get_count(&status, MPI_BYTE, &count);
    bytes.assign(static_cast<std::size_t>(std::max(count, 0)), '\0');
    if (MPI_Recv(bytes.data(), count, MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG, MPI_COMM_WORLD,
                 MPI_STATUS_IGNORE) != MPI_SUCCESS)
        return false;
    from = status.MPI_SOURCE;
    tag = status.MPI_TAG;
    return true;
}

// The ranks that still wait for a setup or a finish from rank 0.
std::set<int>& Waiting() {
    static std::set<int> ranks;
    return ranks;
}
Outbox& RootOutbox() {
    static Outbox box;
    return box;
}
// A rank was given up during the run: the job cannot end with MPI_Finalize.
bool& AnyRankLost() {
    static bool lost = false;
    return lost;
}
// The finish message: whether to leave without MPI_Finalize.
std::string FinishBytes() { return AnyRankLost() ? "1" : "0"; }

// ------------------------------------------------------------ rank 0

class MpiPool final : public CalcPool {
public:
    MpiPool(int ranks, const RunState& state) : ranks_(ranks), lastSeen_(static_cast<std::size_t>(ranks), Clock::now()),
                                                lost_(static_cast<std::size_t>(ranks), false) {
        const std::string setup = EncodeWorkerState(state);
        for (int r = 1; r <= ranks_; ++r) out().send(r, kSetup, setup);
    }
    ~MpiPool() override { finish(); }

    std::size_t size() const override { return static_cast<std::size_t>(ranks_); }

    void submit(std::size_t worker, const CalcValues& values) override {
        out().send(rankOf(worker), kJob, EncodeCalcValues(values));
    }
    void lineWritten(std::size_t worker, std::int64_t count) override {
        out().send(rankOf(worker), kLine, Int64Bytes(count));
    }
    void abandon(std::size_t worker, std::int64_t count) override {
        out().send(rankOf(worker), kAbandon, Int64Bytes(count));
    }

    bool nextEvent(WorkerEvent& event, int milliseconds) override {
        const auto until = Clock::now() + std::chrono::milliseconds(milliseconds);
        for (;;) {
            poll();
            if (!events_.empty()) {
                event = std::move(events_.front());
                events_.pop_front();
                return true;
            }
            if (Clock::now() >= until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    void finish() override {
        if (finished_) return;
        finished_ = true;
        std::set<int> leaving;
        for (int r = 1; r <= ranks_; ++r) {
            if (lost_[static_cast<std::size_t>(r - 1)]) continue;
            out().send(r, kFinish, FinishBytes());
            leaving.insert(r);
            Waiting().erase(r);
        }
        // Each rank quits its instance before it leaves; a rank that does
        // not say so in time is left to mpirun.
        const auto until = Clock::now() + std::chrono::seconds(30);
        while (!leaving.empty() && Clock::now() < until) {
            out().pump();
            int from = 0, tag = 0;
            std::string bytes;
            while (Receive(MPI_ANY_SOURCE, from, tag, bytes))
                if (tag == kFinished) leaving.erase(from);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        for (int r = 1; r <= ranks_; ++r)
            if (lost_[static_cast<std::size_t>(r - 1)] || leaving.count(r)) out().drop(r);
    }

private:
    static Outbox& out() { return RootOutbox(); }
    static int rankOf(std::size_t worker) { return static_cast<int>(worker) + 1; }

    void poll() {
        out().pump();
        const auto now = Clock::now();
        if (now - lastBeat_ >= std::chrono::seconds(1)) {
            lastBeat_ = now;
            for (int r = 1; r <= ranks_; ++r)
                if (!lost_[static_cast<std::size_t>(r - 1)] && out().emptyFor(r)) out().send(r, kHeartbeat, {});
        }
        int from = 0, tag = 0;
        std::string bytes;
        while (Receive(MPI_ANY_SOURCE, from, tag, bytes)) {
            if (from < 1 || from > ranks_) continue;
            const std::size_t worker = static_cast<std::size_t>(from - 1);
            if (lost_[worker]) continue;  // a late word from a rank given up
            lastSeen_[worker] = Clock::now();
            if (tag != kEvent) continue;
            WorkerEvent e;
            if (!DecodeWorkerEvent(bytes, e)) continue;
            e.worker = worker;
            events_.push_back(std::move(e));
        }
        for (std::size_t w = 0; w < lost_.size(); ++w) {
            if (lost_[w] || Clock::now() - lastSeen_[w] < std::chrono::seconds(kRankSilenceSeconds)) continue;
            lost_[w] = true;
            AnyRankLost() = true;
            out().drop(static_cast<int>(w) + 1);
            WorkerEvent e;
            e.kind = WorkerEvent::Kind::Lost;
            e.worker = w;
            e.error = "\nMPI ランク " + std::to_string(w + 1) + " から " + std::to_string(kRankSilenceSeconds) +
                      " 秒以上応答がありません。";
            std::fprintf(stderr, "korvane: MPI ランク %zu から応答がないため、その計算を他のランクに渡します。\n",
                         w + 1);
            events_.push_back(std::move(e));
        }
    }

    int ranks_;
    std::vector<Clock::time_point> lastSeen_;
    std::vector<bool> lost_;
    std::deque<WorkerEvent> events_;
    Clock::time_point lastBeat_ = Clock::now();
    bool finished_ = false;
};

}  // namespace

MpiSession::MpiSession(int& argc, char**& argv) {
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
    MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
    if (rank_ == 0)
        for (int r = 1; r < size_; ++r) Waiting().insert(r);
}

MpiSession::~MpiSession() { end(0); }

int MpiSession::end(int status) {
    if (ended_) return status;
    ended_ = true;
    if (rank_ == 0) {
        // Ranks that never got work (a refused run, a Single plan) leave now.
        for (int r : Waiting()) RootOutbox().send(r, kFinish, FinishBytes());
        Waiting().clear();
        const auto until = Clock::now() + std::chrono::seconds(5);
        for (int r = 1; r < size_; ++r)
            while (!RootOutbox().emptyFor(r) && Clock::now() < until) {
                RootOutbox().pump();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        for (int r = 1; r < size_; ++r) RootOutbox().drop(r);
        skipFinalize_ = AnyRankLost();
    }
    if (skipFinalize_) {
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(status);
    }
    MPI_Finalize();
    return status;
}

CalcPoolFactory MpiSession::pools() {
    const int ranks = size_ - 1;
    return [ranks](const RunState& state, std::shared_ptr<const std::atomic<bool>>) -> std::unique_ptr<CalcPool> {
        for (int r = 1; r <= ranks; ++r) Waiting().erase(r);
        return std::make_unique<MpiPool>(ranks, state);
    };
}

int MpiSession::serve() {
    // A Ctrl-C reaches every rank; rank 0 ends the run in order and tells
    // the others, whose calculations under way must finish first.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    Outbox out;
    int from = 0, tag = 0;
    std::string bytes;
    auto lastHeard = Clock::now();
    auto silent = [&] { return Clock::now() - lastHeard > std::chrono::seconds(6 * kRankSilenceSeconds); };
    // The worker state, or the end.
    for (;;) {
        if (Receive(0, from, tag, bytes)) {
            lastHeard = Clock::now();
            if (tag == kSetup) break;
            if (tag == kFinish) {
                skipFinalize_ = bytes == "1";
                return 0;
            }
            continue;
        }
        // Rank 0 is busy (loading, preparing the plan): no time limit here
        // while the job lives.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    RunState state;
    WorkerEvents events;
    std::unique_ptr<ThreadPool::WorkerThread> worker;
#ifdef KORVANE_HAVE_LIBREOFFICE
    WorkbookLinkFactory factory = [] { return CreateWorkbookLink(); };
#else
    WorkbookLinkFactory factory = [] { return std::unique_ptr<WorkbookLink>(); };
#endif
    if (DecodeWorkerState(bytes, state)) {
        worker = std::make_unique<ThreadPool::WorkerThread>(0, state, factory,
                                                            std::make_shared<std::atomic<bool>>(false), events);
    } else {
        WorkerEvent e;
        e.kind = WorkerEvent::Kind::Failed;
        e.error = "MPI ランクが計算の設定を読めません (異なる版の korvane が混じっていませんか)。";
        e.starting = true;
        out.send(0, kEvent, EncodeWorkerEvent(e));
    }
    auto lastBeat = Clock::now();
    for (;;) {
        out.pump();
        bool finishing = false;
        while (!finishing && Receive(0, from, tag, bytes)) {
            lastHeard = Clock::now();
            if (tag == kFinish) skipFinalize_ = bytes == "1";
            if (!worker) {
                finishing = tag == kFinish;
                continue;
            }
            switch (tag) {
            case kJob: {
                CalcValues values;
                if (DecodeCalcValues(bytes, values)) worker->submit(values);
                break;
            }
            case kLine:
                worker->lineWritten(BytesInt64(bytes));
                break;
            case kAbandon:
                worker->abandon(BytesInt64(bytes));
                break;
            case kFinish:
                finishing = true;
                break;
            default:
                break;
            }
        }
        if (finishing) break;
        if (silent()) {
            skipFinalize_ = true;  // rank 0 is gone: no one to finalize with
            break;
        }
        WorkerEvent e;
        while (events.pop(e, 0)) out.send(0, kEvent, EncodeWorkerEvent(e));
        if (Clock::now() - lastBeat >= std::chrono::seconds(1)) {
            lastBeat = Clock::now();
            out.send(0, kHeartbeat, {});
        }
        if (events.pop(e, 2)) out.send(0, kEvent, EncodeWorkerEvent(e));
    }
    if (worker) worker->finish();
    out.send(0, kFinished, {});
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (!out.emptyFor(0) && Clock::now() < until) {
        out.pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    out.drop(0);
    return 0;
}

}  // namespace korvane

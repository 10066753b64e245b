#include "platform/mpi/MpiSession.h"

#include <mpi.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <list>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "project/RunState.h"
#include "run/CalcWorker.h"
#include "run/WorkerMessages.h"
#include "workbook/WorkbookLink.h"

namespace korvane {

std::string FileChecksum(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::uint64_t hash = 14695981039346656037ull;
    std::uint64_t size = 0;
    char buf[1 << 16];
    while (in) {
        in.read(buf, sizeof buf);
        const std::streamsize n = in.gcount();
        for (std::streamsize i = 0; i < n; ++i) {
            hash ^= static_cast<unsigned char>(buf[i]);
            hash *= 1099511628211ull;
        }
        size += static_cast<std::uint64_t>(n);
    }
    if (in.bad()) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%llu:%016llx", static_cast<unsigned long long>(size),
                  static_cast<unsigned long long>(hash));
    return text;
}

namespace {

using Clock = std::chrono::steady_clock;

// Message tags.
enum Tag : int {
    kSetup = 1,      // 0 -> k: the checksums and the worker state
    kJob = 2,        // 0 -> k: one calculation's values
    kLine = 3,       // 0 -> k: the line of a calculation is written
    kAbandon = 4,    // 0 -> k: give up a calculation
    kFinish = 5,     // 0 -> k: the run is over
    kEvent = 6,      // k -> 0: a worker event
    kHeartbeat = 7,  // both ways: still here
    kFinished = 8,   // k -> 0: instance quit, leaving
    kAccepted = 9,   // k -> 0: the setup matches this rank's copies
};

// Every MPI call of the process holds this lock (the library is initialised
// for serialized calls from several threads).
std::mutex& MpiLock() {
    static std::mutex lock;
    return lock;
}

std::string Int64Bytes(std::int64_t v) {
    std::string b(8, '\0');
    for (int i = 0; i < 8; ++i) b[i] = static_cast<char>((static_cast<std::uint64_t>(v) >> (8 * i)) & 0xFF);
    return b;
}

std::int64_t BytesInt64(const std::string& b, std::size_t at = 0) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 8 && at + i < b.size(); ++i)
        v |= static_cast<std::uint64_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return static_cast<std::int64_t>(v);
}

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "?";
    return name;
}

// Sends without waiting for the receiver: a rank that died must never hold
// up the one that sends to it.
class Outbox {
public:
    void send(int dest, int tag, std::string bytes) {
        std::lock_guard<std::mutex> lock(MpiLock());
        auto& m = pending_.emplace_back();
        m.dest = dest;
        m.bytes = std::move(bytes);
        if (MPI_Isend(m.bytes.data(), static_cast<int>(m.bytes.size()), MPI_BYTE, dest, tag, MPI_COMM_WORLD,
                      &m.request) != MPI_SUCCESS)
            pending_.pop_back();
    }
    // Frees what has been delivered.
    void pump() {
        std::lock_guard<std::mutex> lock(MpiLock());
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
        std::lock_guard<std::mutex> lock(MpiLock());
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
    bool emptyFor(int dest) {
        std::lock_guard<std::mutex> lock(MpiLock());
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
    std::lock_guard<std::mutex> lock(MpiLock());
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
std::atomic<bool>& AnyRankLost() {
    static std::atomic<bool> lost{false};
    return lost;
}
// The ranks given up: rank 0's heartbeat no longer goes to them.
std::mutex& GoneLock() {
    static std::mutex lock;
    return lock;
}
std::set<int>& Gone() {
    static std::set<int> ranks;
    return ranks;
}
void MarkGone(int rank) {
    std::lock_guard<std::mutex> lock(GoneLock());
    Gone().insert(rank);
}
bool IsGone(int rank) {
    std::lock_guard<std::mutex> lock(GoneLock());
    return Gone().count(rank) != 0;
}
// Rank 0's heartbeat comes from a thread of its own (else from the run's
// polling, which stops while rank 0 loads or waits for a program).
std::atomic<bool>& BeatThread() {
    static std::atomic<bool> running{false};
    return running;
}
// The finish message: whether to leave without MPI_Finalize.
std::string FinishBytes() { return AnyRankLost() ? "1" : "0"; }

// ------------------------------------------------------------ setup

// What rank 0 sends first: the files the ranks must hold identical copies
// of, then the worker state.
struct Setup {
    std::string projectPath, projectSum, workbookSum;
    std::string state;  // EncodeWorkerState
};

std::string TextBytes(const std::string& s) { return Int64Bytes(static_cast<std::int64_t>(s.size())) + s; }

bool ReadText(const std::string& b, std::size_t& at, std::string& out) {
    if (at + 8 > b.size()) return false;
    const auto n = static_cast<std::uint64_t>(BytesInt64(b, at));
    at += 8;
    if (n > b.size() - at) return false;
    out = b.substr(at, static_cast<std::size_t>(n));
    at += static_cast<std::size_t>(n);
    return true;
}

std::string EncodeSetup(const Setup& s) {
    return TextBytes(s.projectPath) + TextBytes(s.projectSum) + TextBytes(s.workbookSum) + s.state;
}

bool DecodeSetup(const std::string& b, Setup& s) {
    std::size_t at = 0;
    if (!ReadText(b, at, s.projectPath) || !ReadText(b, at, s.projectSum) || !ReadText(b, at, s.workbookSum))
        return false;
    s.state = b.substr(at);
    return true;
}

// Why this rank cannot calculate for rank 0's setup, or empty: its workbook
// must be the same bytes, and its project too where it can read one.
std::string CopiesRefusal(int rank, const Setup& setup, const RunState& state) {
    const std::string where = "MPI ランク " + std::to_string(rank) + " (ホスト " + HostName() + ") ";
    const std::string hint =
        "\n(同じパスに別の版のファイルがあります。すべてのマシンで同じファイルを使って下さい。)";
    const std::string workbook = FileChecksum(state.WorkbookPath);
    if (workbook.empty()) return where + "でエクセルファイルを読めません: " + state.WorkbookPath;
    if (workbook != setup.workbookSum)
        return where + "のエクセルファイルがランク 0 のものと異なります: " + state.WorkbookPath + hint;
    const std::string project = FileChecksum(setup.projectPath);
    if (!project.empty() && !setup.projectSum.empty() && project != setup.projectSum)
        return where + "のプロジェクトファイルがランク 0 のものと異なります: " + setup.projectPath + hint;
    return {};
}

// ------------------------------------------------------------ rank 0

// Worker 0 is rank 0's own instance on a thread of its own; worker k is
// rank k.
class MpiPool final : public CalcPool {
public:
    MpiPool(int ranks, const RunState& state, const Setup& setup, const WorkbookLinkFactory& factory,
            std::shared_ptr<const std::atomic<bool>> visible)
        : ranks_(ranks), lastSeen_(static_cast<std::size_t>(ranks) + 1, Clock::now()),
          lost_(static_cast<std::size_t>(ranks) + 1, false), answered_(static_cast<std::size_t>(ranks) + 1, false) {
        const std::string bytes = EncodeSetup(setup);
        for (int r = 1; r <= ranks_; ++r) out().send(r, kSetup, bytes);
        // Every rank compares its copies before any instance opens the
        // workbook: a refusal comes before the DB file's header.
        for (;;) {
            bool all = true;
            for (int r = 1; r <= ranks_; ++r) all = all && (answered_[r] || lost_[r]);
            if (all) break;
            poll();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!refused_)
            local_ = std::make_unique<ThreadPool::WorkerThread>(0, state, factory, std::move(visible), localEvents_);
    }
    ~MpiPool() override { finish(); }

    std::size_t size() const override { return static_cast<std::size_t>(ranks_) + 1; }

    void submit(std::size_t worker, const CalcValues& values) override {
        if (worker == 0) {
            if (local_) local_->submit(values);
            return;
        }
        out().send(rankOf(worker), kJob, EncodeCalcValues(values));
    }
    void lineWritten(std::size_t worker, std::int64_t count) override {
        if (worker == 0) {
            if (local_) local_->lineWritten(count);
            return;
        }
        out().send(rankOf(worker), kLine, Int64Bytes(count));
    }
    void abandon(std::size_t worker, std::int64_t count) override {
        if (worker == 0) {
            if (local_) local_->abandon(count);
            return;
        }
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
            if (local_ && localEvents_.pop(event, 0)) return true;
            if (Clock::now() >= until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    void finish() override {
        if (finished_) return;
        finished_ = true;
        std::set<int> leaving;
        for (int r = 1; r <= ranks_; ++r) {
            if (lost_[static_cast<std::size_t>(r)]) continue;
            out().send(r, kFinish, FinishBytes());
            leaving.insert(r);
            Waiting().erase(r);
        }
        out().pump();
        // Rank 0's instance quits while the others quit theirs.
        if (local_) local_->finish();
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
            if (lost_[static_cast<std::size_t>(r)] || leaving.count(r)) out().drop(r);
    }

private:
    static Outbox& out() { return RootOutbox(); }
    static int rankOf(std::size_t worker) { return static_cast<int>(worker); }

    void poll() {
        out().pump();
        const auto now = Clock::now();
        if (!BeatThread() && now - lastBeat_ >= std::chrono::seconds(1)) {
            lastBeat_ = now;
            for (int r = 1; r <= ranks_; ++r)
                if (!lost_[static_cast<std::size_t>(r)] && out().emptyFor(r)) out().send(r, kHeartbeat, {});
        }
        int from = 0, tag = 0;
        std::string bytes;
        while (Receive(MPI_ANY_SOURCE, from, tag, bytes)) {
            if (from < 1 || from > ranks_) continue;
            const std::size_t worker = static_cast<std::size_t>(from);
            if (lost_[worker]) continue;  // a late word from a rank given up
            lastSeen_[worker] = Clock::now();
            if (tag == kAccepted) answered_[worker] = true;
            if (tag != kEvent) continue;
            WorkerEvent e;
            if (!DecodeWorkerEvent(bytes, e)) continue;
            e.worker = worker;
            if (!answered_[worker]) {
                // The rank's answer to the setup: it cannot calculate.
                answered_[worker] = true;
                if (e.kind == WorkerEvent::Kind::Failed) refused_ = true;
            }
            events_.push_back(std::move(e));
        }
        for (std::size_t w = 1; w < lost_.size(); ++w) {
            if (lost_[w] || Clock::now() - lastSeen_[w] < std::chrono::seconds(kRankSilenceSeconds)) continue;
            lost_[w] = true;
            AnyRankLost() = true;
            MarkGone(static_cast<int>(w));
            out().drop(static_cast<int>(w));
            WorkerEvent e;
            e.kind = WorkerEvent::Kind::Lost;
            e.worker = w;
            e.error = "\nMPI ランク " + std::to_string(w) + " から " + std::to_string(kRankSilenceSeconds) +
                      " 秒以上応答がありません。";
            std::fprintf(stderr, "korvane: MPI ランク %zu から応答がないため、その計算を他のランクに渡します。\n", w);
            events_.push_back(std::move(e));
        }
    }

    int ranks_;
    std::vector<Clock::time_point> lastSeen_;  // by rank
    std::vector<bool> lost_;                   // by rank
    std::vector<bool> answered_;               // by rank: the setup was answered
    bool refused_ = false;                     // a rank refused the setup
    std::deque<WorkerEvent> events_;
    WorkerEvents localEvents_;
    std::unique_ptr<ThreadPool::WorkerThread> local_;
    Clock::time_point lastBeat_ = Clock::now();
    bool finished_ = false;
};

}  // namespace

MpiSession::MpiSession(int& argc, char**& argv) {
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_SERIALIZED, &provided);
    MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
    if (rank_ != 0) return;
    for (int r = 1; r < size_; ++r) Waiting().insert(r);
    if (size_ > 1 && provided >= MPI_THREAD_SERIALIZED) {
        // The other ranks hear from rank 0 every second, whatever its main
        // thread does (loading, programs of timing 0, the run).
        BeatThread() = true;
        const int ranks = size_;
        heartbeat_ = std::thread([ranks] {
            auto last = Clock::now() - std::chrono::seconds(1);
            while (BeatThread()) {
                if (Clock::now() - last >= std::chrono::seconds(1)) {
                    last = Clock::now();
                    RootOutbox().pump();
                    for (int r = 1; r < ranks; ++r)
                        if (!IsGone(r) && RootOutbox().emptyFor(r)) RootOutbox().send(r, kHeartbeat, {});
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
}

MpiSession::~MpiSession() { end(0); }

void MpiSession::stopHeartbeat() {
    if (!heartbeat_.joinable()) return;
    BeatThread() = false;
    heartbeat_.join();
}

int MpiSession::end(int status) {
    if (ended_) return status;
    ended_ = true;
    if (rank_ == 0) {
        // Ranks that never got work (a refused run, a Single plan) leave now.
        for (int r : Waiting()) RootOutbox().send(r, kFinish, FinishBytes());
        Waiting().clear();
        const auto until = Clock::now() + std::chrono::seconds(5);
        for (int r = 1; r < size_; ++r)
            while (!IsGone(r) && !RootOutbox().emptyFor(r) && Clock::now() < until) {
                RootOutbox().pump();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        stopHeartbeat();
        for (int r = 1; r < size_; ++r) RootOutbox().drop(r);
        skipFinalize_ = AnyRankLost();
        // mpirun --enable-recovery ends with 0 whatever the ranks return:
        // the last line says how the run ended.
        std::fprintf(stderr, "korvane: 終了ステータス %d\n", status);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // Without MPI_Finalize, which would wait for a rank that is gone; the
    // process still ends in order (its temporary folders removed).
    if (skipFinalize_) std::exit(status);
    MPI_Finalize();
    return status;
}

CalcPoolFactory MpiSession::pools(const std::string& projectPath) {
    const int ranks = size_ - 1;
    return [ranks, projectPath](const RunState& state,
                                std::shared_ptr<const std::atomic<bool>> visible) -> std::unique_ptr<CalcPool> {
        for (int r = 1; r <= ranks; ++r) Waiting().erase(r);
        Setup setup;
        setup.projectPath = projectPath;
        setup.projectSum = FileChecksum(projectPath);
        setup.workbookSum = FileChecksum(state.WorkbookPath);
        setup.state = EncodeWorkerState(state);
#ifdef KORVANE_HAVE_LIBREOFFICE
        WorkbookLinkFactory factory = [] { return CreateWorkbookLink(); };
#else
        WorkbookLinkFactory factory = [] { return std::unique_ptr<WorkbookLink>(); };
#endif
        return std::make_unique<MpiPool>(ranks, state, setup, factory, std::move(visible));
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
    auto lastBeat = Clock::now() - std::chrono::seconds(1);
    auto beat = [&] {
        if (Clock::now() - lastBeat < std::chrono::seconds(1)) return;
        lastBeat = Clock::now();
        if (out.emptyFor(0)) out.send(0, kHeartbeat, {});
    };
    // Rank 0 says it is alive every second, also while it loads or runs a
    // program of timing 0: silence means it is gone.
    auto silent = [&] { return Clock::now() - lastHeard > std::chrono::seconds(kRootSilenceSeconds); };
    auto leaveSilent = [&] {
        std::fprintf(stderr,
                     "korvane: MPI ランク %d: ランク 0 から %d 秒以上応答がないため、計算をやめて終了します。\n",
                     rank_, kRootSilenceSeconds);
        skipFinalize_ = true;  // no one to finalize with
        out.drop(0);
        return 1;
    };
    // The setup, or the end.
    for (;;) {
        out.pump();
        if (Receive(0, from, tag, bytes)) {
            lastHeard = Clock::now();
            if (tag == kSetup) break;
            if (tag == kFinish) {
                skipFinalize_ = bytes == "1";
                return 0;
            }
            continue;
        }
        if (silent()) return leaveSilent();
        beat();
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
    Setup setup;
    auto refuse = [&](const std::string& why) {
        WorkerEvent e;
        e.kind = WorkerEvent::Kind::Failed;
        e.error = why;
        e.starting = true;
        out.send(0, kEvent, EncodeWorkerEvent(e));
    };
    if (!DecodeSetup(bytes, setup) || !DecodeWorkerState(setup.state, state)) {
        refuse("MPI ランクが計算の設定を読めません (異なる版の korvane が混じっていませんか)。");
    } else if (const std::string why = CopiesRefusal(rank_, setup, state); !why.empty()) {
        refuse(why);
    } else {
        out.send(0, kAccepted, {});
        // Rank 0's own instance checks the workbook for the run.
        worker = std::make_unique<ThreadPool::WorkerThread>(static_cast<std::size_t>(rank_), state, factory,
                                                            std::make_shared<std::atomic<bool>>(false), events);
    }
    bool rootGone = false;
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
            rootGone = true;
            break;
        }
        WorkerEvent e;
        while (events.pop(e, 0)) out.send(0, kEvent, EncodeWorkerEvent(e));
        beat();
        if (events.pop(e, 2)) out.send(0, kEvent, EncodeWorkerEvent(e));
    }
    // The instance quits (a calculation still running is ended first).
    if (worker) worker->finish();
    if (rootGone) return leaveSilent();
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

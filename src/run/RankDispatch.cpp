#include "run/RankDispatch.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <fstream>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "project/RunState.h"
#include "run/CalcWorker.h"
#include "platform/RankTransport.h"
#include "run/WorkerMessages.h"

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

// Message tags of the run; the end of a rank's part (RankTransport::kReleased)
// and the heartbeats are the transport's.
enum Tag : int {
    kSetup = 1,     // 0 -> k: the checksums and the worker state
    kJob = 2,       // 0 -> k: one calculation's values
    kLine = 3,      // 0 -> k: the line of a calculation is written
    kAbandon = 4,   // 0 -> k: give up a calculation
    kEvent = 5,     // k -> 0: a worker event
    kFinished = 6,  // k -> 0: instance quit, leaving
    kAccepted = 7,  // k -> 0: the setup matches this rank's copies
};

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
class RankPool final : public CalcPool {
public:
    RankPool(RankTransport& ranks, const RunState& state, const Setup& setup, const WorkbookLinkFactory& factory,
             std::shared_ptr<const std::atomic<bool>> visible)
        : t_(ranks), ranks_(ranks.size() - 1), lost_(static_cast<std::size_t>(ranks_) + 1, false),
          answered_(static_cast<std::size_t>(ranks_) + 1, false) {
        const std::string bytes = EncodeSetup(setup);
        for (int r = 1; r <= ranks_; ++r) t_.watch(r, kRankSilenceSeconds);
        for (int r = 1; r <= ranks_; ++r) t_.send(r, kSetup, bytes);
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
    ~RankPool() override { finish(); }

    std::size_t size() const override { return static_cast<std::size_t>(ranks_) + 1; }

    void submit(std::size_t worker, const CalcValues& values) override {
        if (worker == 0) {
            if (local_) local_->submit(values);
            return;
        }
        t_.send(rankOf(worker), kJob, EncodeCalcValues(values));
    }
    void lineWritten(std::size_t worker, std::int64_t count) override {
        if (worker == 0) {
            if (local_) local_->lineWritten(count);
            return;
        }
        t_.send(rankOf(worker), kLine, Int64Bytes(count));
    }
    void abandon(std::size_t worker, std::int64_t count) override {
        if (worker == 0) {
            if (local_) local_->abandon(count);
            return;
        }
        t_.send(rankOf(worker), kAbandon, Int64Bytes(count));
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
            t_.release(r);
            leaving.insert(r);
        }
        t_.pump();
        // Rank 0's instance quits while the others quit theirs.
        if (local_) local_->finish();
        // Each rank quits its instance before it leaves; a rank that does
        // not say so in time is left to mpirun.
        const auto until = Clock::now() + std::chrono::seconds(30);
        while (!leaving.empty() && Clock::now() < until) {
            t_.pump();
            int from = 0, tag = 0;
            std::string bytes;
            while (t_.receive(RankTransport::kAnyRank, from, tag, bytes))
                if (tag == kFinished) leaving.erase(from);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        for (int r = 1; r <= ranks_; ++r)
            if (lost_[static_cast<std::size_t>(r)] || leaving.count(r)) t_.drop(r);
    }

private:
    static int rankOf(std::size_t worker) { return static_cast<int>(worker); }

    void poll() {
        t_.pump();
        t_.keepAlive();
        int from = 0, tag = 0;
        std::string bytes;
        while (t_.receive(RankTransport::kAnyRank, from, tag, bytes)) {
            if (from < 1 || from > ranks_) continue;
            const std::size_t worker = static_cast<std::size_t>(from);
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
        // A rank given up for its silence: its calculation goes to another.
        for (int r : t_.silentRanks()) {
            if (r < 1 || r > ranks_) continue;
            const std::size_t w = static_cast<std::size_t>(r);
            lost_[w] = true;
            WorkerEvent e;
            e.kind = WorkerEvent::Kind::Lost;
            e.worker = w;
            e.error = "\nMPI ランク " + std::to_string(w) + " から " + std::to_string(kRankSilenceSeconds) +
                      " 秒以上応答がありません。";
            std::fprintf(stderr, "korvane: MPI ランク %zu から応答がないため、その計算を他のランクに渡します。\n", w);
            events_.push_back(std::move(e));
        }
    }

    RankTransport& t_;
    int ranks_;
    std::vector<bool> lost_;      // by rank
    std::vector<bool> answered_;  // by rank: the setup was answered
    bool refused_ = false;        // a rank refused the setup
    std::deque<WorkerEvent> events_;
    WorkerEvents localEvents_;
    std::unique_ptr<ThreadPool::WorkerThread> local_;
    bool finished_ = false;
};

}  // namespace

CalcPoolFactory RankPools(RankTransport& ranks, const std::string& projectPath, WorkbookLinkFactory factory) {
    return [&ranks, projectPath, factory = std::move(factory)](
               const RunState& state, std::shared_ptr<const std::atomic<bool>> visible) -> std::unique_ptr<CalcPool> {
        Setup setup;
        setup.projectPath = projectPath;
        setup.projectSum = FileChecksum(projectPath);
        setup.workbookSum = FileChecksum(state.WorkbookPath);
        setup.state = EncodeWorkerState(state);
        return std::make_unique<RankPool>(ranks, state, setup, factory, std::move(visible));
    };
}

// ------------------------------------------------------------ ranks 1..K-1

int ServeRank(RankTransport& t, const WorkbookLinkFactory& factory) {
    // A Ctrl-C reaches every rank; rank 0 ends the run in order and tells
    // the others, whose calculations under way must finish first.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    int from = 0, tag = 0;
    std::string bytes;
    // Rank 0 says it is alive every second, also while it loads or runs a
    // program of timing 0: silence means it is gone.
    t.watch(0, kRootSilenceSeconds);
    auto leaveSilent = [&] {
        std::fprintf(stderr,
                     "korvane: MPI ランク %d: ランク 0 から %d 秒以上応答がないため、計算をやめて終了します。\n",
                     t.rank(), kRootSilenceSeconds);
        return 1;
    };
    // The setup, or the end.
    for (;;) {
        t.pump();
        if (t.receive(0, from, tag, bytes)) {
            if (tag == kSetup) break;
            if (tag == RankTransport::kReleased) return 0;
            continue;
        }
        if (!t.silentRanks().empty()) return leaveSilent();
        t.keepAlive();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    RunState state;
    WorkerEvents events;
    std::unique_ptr<ThreadPool::WorkerThread> worker;
    Setup setup;
    auto refuse = [&](const std::string& why) {
        WorkerEvent e;
        e.kind = WorkerEvent::Kind::Failed;
        e.error = why;
        e.starting = true;
        t.send(0, kEvent, EncodeWorkerEvent(e));
    };
    if (!DecodeSetup(bytes, setup) || !DecodeWorkerState(setup.state, state)) {
        refuse("MPI ランクが計算の設定を読めません (異なる版の korvane が混じっていませんか)。");
    } else if (const std::string why = CopiesRefusal(t.rank(), setup, state); !why.empty()) {
        refuse(why);
    } else {
        t.send(0, kAccepted, {});
        // Rank 0's own instance checks the workbook for the run.
        worker = std::make_unique<ThreadPool::WorkerThread>(static_cast<std::size_t>(t.rank()), state, factory,
                                                            std::make_shared<std::atomic<bool>>(false), events);
    }
    bool rootGone = false;
    for (;;) {
        t.pump();
        bool finishing = false;
        while (!finishing && t.receive(0, from, tag, bytes)) {
            if (!worker) {
                finishing = tag == RankTransport::kReleased;
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
            case RankTransport::kReleased:
                finishing = true;
                break;
            default:
                break;
            }
        }
        if (finishing) break;
        if (!t.silentRanks().empty()) {
            rootGone = true;
            break;
        }
        WorkerEvent e;
        while (events.pop(e, 0)) t.send(0, kEvent, EncodeWorkerEvent(e));
        t.keepAlive();
        if (events.pop(e, 2)) t.send(0, kEvent, EncodeWorkerEvent(e));
    }
    // The instance quits (a calculation still running is ended first).
    if (worker) worker->finish();
    if (rootGone) return leaveSilent();
    t.send(0, kFinished, {});
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (t.pending(0) && Clock::now() < until) {
        t.pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    t.drop(0);
    return 0;
}

}  // namespace korvane

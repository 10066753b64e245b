#include "platform/mpi/MpiSession.h"

#include <mpi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace korvane {

namespace {

using Clock = std::chrono::steady_clock;

// The transport's own tag beside kReleased: still here (both ways).
constexpr int kHeartbeat = MpiSession::kReleased + 1;

}  // namespace

struct MpiSession::Impl {
    std::mutex mpi;  // held by every MPI call

    // Sent and not yet delivered; a stable address while in flight.
    struct Message {
        int to = 0;
        std::string bytes;
        MPI_Request request{};
    };
    std::list<Message> outbox;  // guarded by `mpi`

    std::mutex lock;  // guards what follows up to the heartbeat
    // The ranks given up: the heartbeat no longer goes to them.
    std::set<int> gone;
    // Rank 0: the ranks that still wait for their release.
    std::set<int> unreleased;
    struct Watch {
        Clock::time_point heard;
        int seconds = 0;
    };
    std::map<int, Watch> watched;
    // A rank was given up: the job cannot end with MPI_Finalize.
    std::atomic<bool> anyLost{false};
    // Rank 0 released this rank after it had lost one.
    bool releasedWithoutFinalize = false;

    // Rank 0's heartbeat comes from a thread of its own where the library
    // allows it (else from keepAlive(), called while the run polls).
    std::atomic<bool> beating{false};
    std::thread heartbeat;
    Clock::time_point lastBeat = Clock::now() - std::chrono::seconds(1);

    void send(int to, int tag, std::string bytes) {
        std::lock_guard<std::mutex> guard(mpi);
        auto& m = outbox.emplace_back();
        m.to = to;
        m.bytes = std::move(bytes);
        if (MPI_Isend(m.bytes.data(), static_cast<int>(m.bytes.size()), MPI_BYTE, to, tag, MPI_COMM_WORLD,
                      &m.request) != MPI_SUCCESS)
            outbox.pop_back();
    }
    void pump() {
        std::lock_guard<std::mutex> guard(mpi);
        for (auto it = outbox.begin(); it != outbox.end();) {
            int done = 0;
            if (MPI_Test(&it->request, &done, MPI_STATUS_IGNORE) != MPI_SUCCESS || done)
                it = outbox.erase(it);
            else
                ++it;
        }
    }
    bool pending(int to) {
        std::lock_guard<std::mutex> guard(mpi);
        for (const auto& m : outbox)
            if (m.to == to) return true;
        return false;
    }
    void drop(int to) {
        std::lock_guard<std::mutex> guard(mpi);
        for (auto it = outbox.begin(); it != outbox.end();) {
            if (it->to != to) {
                ++it;
                continue;
            }
            MPI_Cancel(&it->request);
            MPI_Request_free(&it->request);
            it = outbox.erase(it);
        }
    }
    bool isGone(int rank) {
        std::lock_guard<std::mutex> guard(lock);
        return gone.count(rank) != 0;
    }
    // A heartbeat to `to` unless it is gone or something is on its way to
    // it already (which says as much).
    void beat(int to) {
        if (!isGone(to) && !pending(to)) send(to, kHeartbeat, {});
    }
    // The release message: whether to leave without MPI_Finalize.
    std::string releaseBytes() const { return anyLost ? "1" : "0"; }
};

MpiSession::MpiSession(int& argc, char**& argv) : impl_(std::make_unique<Impl>()) {
    int provided = 0;
    MPI_Init_thread(&argc, &argv, MPI_THREAD_SERIALIZED, &provided);
    MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
    MPI_Comm_size(MPI_COMM_WORLD, &size_);
    if (rank_ != 0) return;
    for (int r = 1; r < size_; ++r) impl_->unreleased.insert(r);
    if (size_ > 1 && provided >= MPI_THREAD_SERIALIZED) {
        // The other ranks hear from rank 0 every second, whatever its main
        // thread does (loading, programs of timing 0, the run).
        impl_->beating = true;
        impl_->heartbeat = std::thread([impl = impl_.get(), ranks = size_] {
            auto last = Clock::now() - std::chrono::seconds(1);
            while (impl->beating) {
                if (Clock::now() - last >= std::chrono::seconds(1)) {
                    last = Clock::now();
                    impl->pump();
                    for (int r = 1; r < ranks; ++r) impl->beat(r);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        });
    }
}

MpiSession::~MpiSession() { end(0); }

void MpiSession::send(int to, int tag, std::string bytes) { impl_->send(to, tag, std::move(bytes)); }

bool MpiSession::receive(int from, int& source, int& tag, std::string& bytes) {
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(impl_->mpi);
            int flag = 0;
            MPI_Status status;
            if (MPI_Iprobe(from == kAnyRank ? MPI_ANY_SOURCE : from, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &status) !=
                    MPI_SUCCESS ||
                !flag)
                return false;
            int count = 0;
            MPI_Get_count(&status, MPI_BYTE, &count);
            bytes.assign(static_cast<std::size_t>(std::max(count, 0)), '\0');
            if (MPI_Recv(bytes.data(), count, MPI_BYTE, status.MPI_SOURCE, status.MPI_TAG, MPI_COMM_WORLD,
                         MPI_STATUS_IGNORE) != MPI_SUCCESS)
                return false;
            source = status.MPI_SOURCE;
            tag = status.MPI_TAG;
        }
        {
            std::lock_guard<std::mutex> guard(impl_->lock);
            if (impl_->gone.count(source)) continue;  // a late word from a rank given up
            if (auto it = impl_->watched.find(source); it != impl_->watched.end()) it->second.heard = Clock::now();
            if (tag == kReleased && rank_ != 0) impl_->releasedWithoutFinalize = bytes == "1";
        }
        if (tag != kHeartbeat) return true;
    }
}

void MpiSession::pump() { impl_->pump(); }

bool MpiSession::pending(int to) { return impl_->pending(to); }

void MpiSession::drop(int to) { impl_->drop(to); }

void MpiSession::keepAlive() {
    if (impl_->beating) return;
    const auto now = Clock::now();
    if (now - impl_->lastBeat < std::chrono::seconds(1)) return;
    impl_->lastBeat = now;
    if (rank_ != 0) {
        impl_->beat(0);
        return;
    }
    for (int r = 1; r < size_; ++r) impl_->beat(r);
}

void MpiSession::watch(int rank, int seconds) {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->watched[rank] = {Clock::now(), seconds};
}

std::vector<int> MpiSession::silentRanks() {
    std::vector<int> silent;
    {
        std::lock_guard<std::mutex> guard(impl_->lock);
        const auto now = Clock::now();
        for (const auto& [rank, watch] : impl_->watched) {
            if (impl_->gone.count(rank) || now - watch.heard < std::chrono::seconds(watch.seconds)) continue;
            impl_->gone.insert(rank);
            impl_->anyLost = true;
            silent.push_back(rank);
        }
    }
    for (int rank : silent) impl_->drop(rank);
    return silent;
}

void MpiSession::release(int rank) {
    impl_->send(rank, kReleased, impl_->releaseBytes());
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->unreleased.erase(rank);
}

int MpiSession::end(int status) {
    if (ended_) return status;
    ended_ = true;
    bool skipFinalize = impl_->anyLost;
    if (rank_ == 0) {
        // Ranks that never got work (a refused run, a Single plan) leave now.
        std::set<int> rest;
        {
            std::lock_guard<std::mutex> guard(impl_->lock);
            rest.swap(impl_->unreleased);
        }
        for (int r : rest)
            if (!impl_->isGone(r)) impl_->send(r, kReleased, impl_->releaseBytes());
        const auto until = Clock::now() + std::chrono::seconds(5);
        for (int r = 1; r < size_; ++r)
            while (!impl_->isGone(r) && impl_->pending(r) && Clock::now() < until) {
                impl_->pump();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        if (impl_->heartbeat.joinable()) {
            impl_->beating = false;
            impl_->heartbeat.join();
        }
        for (int r = 1; r < size_; ++r) impl_->drop(r);
        skipFinalize = impl_->anyLost;
        // mpirun --enable-recovery ends with 0 whatever the ranks return:
        // the last line says how the run ended.
        std::fprintf(stderr, "korvane: 終了ステータス %d\n", status);
    } else {
        std::lock_guard<std::mutex> guard(impl_->lock);
        skipFinalize = skipFinalize || impl_->releasedWithoutFinalize;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    // Without MPI_Finalize, which would wait for a rank that is gone; the
    // process still ends in order (its temporary folders removed).
    if (skipFinalize) std::exit(status);
    MPI_Finalize();
    return status;
}

}  // namespace korvane

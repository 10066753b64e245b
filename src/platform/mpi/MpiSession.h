#pragma once
// The messages between the ranks of an MPI job (Open MPI): byte strings with
// a tag, sent without waiting for the receiver and received when they are
// there. Rank 0 talks with every other rank, the others with rank 0 only.
//
// The ranks tell each other every second that they are alive. A rank that
// stays silent longer than its watcher allows (it died, or its machine did)
// is given up: nothing more goes to it, nothing more from it is passed on,
// and the job ends without MPI_Finalize, which would wait for it. Rank 0
// keeps a thread for its heartbeat, so that the others hear from it also
// while its main thread loads a project or waits for a program.
//
// Every MPI call of the process holds one lock (the library is initialised
// for serialized calls from several threads).

#include <memory>
#include <string>
#include <vector>

#include "platform/RankTransport.h"

namespace korvane {

class MpiSession final : public RankTransport {
public:
    // MPI_Init (errors returned, never aborting the job).
    MpiSession(int& argc, char**& argv);
    // As end(0) when end() was not called.
    ~MpiSession() override;
    MpiSession(const MpiSession&) = delete;
    MpiSession& operator=(const MpiSession&) = delete;

    int rank() const override { return rank_; }
    int size() const override { return size_; }

    // Sends without waiting for the receiver: a rank that died must never
    // hold up the one that sends to it.
    void send(int to, int tag, std::string bytes) override;
    // One message from `from` (or kAnyRank), if there is one; heartbeats and
    // words from a rank given up are not passed on.
    bool receive(int from, int& source, int& tag, std::string& bytes) override;
    // Frees what has been delivered.
    void pump() override;
    // Something sent to `to` is still on its way.
    bool pending(int to) override;
    // Gives up what is still on its way to `to`.
    void drop(int to) override;

    // The heartbeat of the ranks without a thread for it: at most once a
    // second, to each rank this one talks with that has nothing on its way.
    void keepAlive() override;
    // Listens for `rank` from now on: silent for `seconds`, it is given up.
    void watch(int rank, int seconds) override;
    // The ranks watched that have just been given up for their silence.
    std::vector<int> silentRanks() override;
    // Rank 0: `rank`'s part of the job is over (kReleased), and it leaves
    // without MPI_Finalize when a rank was lost.
    void release(int rank) override;

    // Releases the ranks not released yet and leaves the job; the process's
    // exit status is `status`. MPI_Finalize waits for every rank, also one
    // that died: after a rank was lost (or rank 0 was), the process leaves
    // without it, which mpirun --enable-recovery accepts.
    int end(int status);

private:
    struct Impl;

    int rank_ = 0;
    int size_ = 1;
    bool ended_ = false;
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvane

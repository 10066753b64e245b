#pragma once
// The messages between the ranks of a job: byte strings with a tag, sent
// without waiting and received when they are there.
// Rank 0 talks with every other rank, the others with rank 0 only. The
// transport also keeps watch: a rank that stays silent too long is given up,
// and then nothing more goes to it and nothing more from it is passed on.
//
// The MPI session (platform/mpi) is such a transport; the run hands out its
// calculations over this interface (run/RankDispatch) and knows nothing of
// MPI.

#include <string>
#include <vector>

namespace korvane {

class RankTransport {
public:
    // receive() from whichever rank has something.
    static constexpr int kAnyRank = -1;
    // The tag of rank 0's last word to a rank (release()); the run's own
    // tags lie below it.
    static constexpr int kReleased = 100;

    virtual ~RankTransport() = default;

    virtual int rank() const = 0;
    // The number of ranks in the job, this one included.
    virtual int size() const = 0;

    // Sends without waiting for the receiver: a rank that died must never
    // hold up the one that sends to it.
    virtual void send(int to, int tag, std::string bytes) = 0;
    // One message from `from` (or kAnyRank), if there is one. The ranks'
    // heartbeats only count as signs of life and are not passed on.
    virtual bool receive(int from, int& source, int& tag, std::string& bytes) = 0;
    // Moves what was sent on its way and frees what has been delivered.
    virtual void pump() = 0;
    // Something sent to `to` is still on its way.
    virtual bool pending(int to) = 0;
    // Gives up what is still on its way to `to`.
    virtual void drop(int to) = 0;

    // Tells the ranks this one talks with that it is alive, once a second at
    // most (rank 0 has a thread of its own for that where it can).
    virtual void keepAlive() = 0;
    // Listens for `rank` from now on: silent for `seconds`, it is given up.
    virtual void watch(int rank, int seconds) = 0;
    // The ranks watched that have just been given up for their silence.
    virtual std::vector<int> silentRanks() = 0;

    // Rank 0: `rank`'s part of the job is over; it answers kReleased with
    // the job's own end (without MPI_Finalize after a rank was lost). The
    // ranks not released by the end of the job are released then.
    virtual void release(int rank) = 0;
};

}  // namespace korvane

#pragma once
// The messages between the ranks of a job, as the run sees them: byte
// strings with a tag, sent without waiting and received when they are there.
// Rank 0 talks with every other rank, the others with rank 0 only. The
// transport also keeps watch: a rank that stays silent too long is given up,
// and then nothing more goes to it and nothing more from it is passed on.
//
// The MPI session of the platform is such a transport; it knows nothing of
// the run, so RankTransportOver binds it here rather than deriving from this
// class.

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

// A transport made of any class with the operations above (the MPI session).
template <class Session>
class RankTransportOver final : public RankTransport {
public:
    static_assert(Session::kAnyRank == kAnyRank && Session::kReleased == kReleased);

    explicit RankTransportOver(Session& session) : s_(session) {}

    int rank() const override { return s_.rank(); }
    int size() const override { return s_.size(); }
    void send(int to, int tag, std::string bytes) override { s_.send(to, tag, std::move(bytes)); }
    bool receive(int from, int& source, int& tag, std::string& bytes) override {
        return s_.receive(from, source, tag, bytes);
    }
    void pump() override { s_.pump(); }
    bool pending(int to) override { return s_.pending(to); }
    void drop(int to) override { s_.drop(to); }
    void keepAlive() override { s_.keepAlive(); }
    void watch(int rank, int seconds) override { s_.watch(rank, seconds); }
    std::vector<int> silentRanks() override { return s_.silentRanks(); }
    void release(int rank) override { s_.release(rank); }

private:
    Session& s_;
};

}  // namespace korvane

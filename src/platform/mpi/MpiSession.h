#pragma once
// A study across the ranks of an MPI job (Open MPI), started as
//   mpirun -n K korvane --mpi project.tolv
// Rank 0 loads the project, works out the plan's values, hands calculations
// to every rank as it becomes free (its own instance included), and alone
// writes the DB file (and alone uses the application folder). Every rank owns
// one private LibreOffice instance and calculates what it is handed. A rank
// that stops answering (it died, or its machine did) loses no line: its
// calculation goes to another rank. With one rank, rank 0 calculates itself.
//
// Rank 0 sends with the setup the checksums of its workbook and project; a
// rank whose copies differ refuses, and the run is refused before anything
// is written. A rank that hears nothing from rank 0 for kRootSilenceSeconds
// (rank 0 died while loading, during a program of timing 0, or during the
// run) quits its instance and leaves with status 1.
//
// MPI calls are serialized by one lock: rank 0 keeps a thread that tells the
// other ranks it is alive while its main thread loads the project or waits
// for a program.

#include <memory>
#include <string>
#include <thread>

#include "run/RunDriver.h"

namespace korvane {

// A rank that has not been heard of for this long counts as gone.
inline constexpr int kRankSilenceSeconds = 10;
// A rank that has not heard of rank 0 for this long leaves the job.
inline constexpr int kRootSilenceSeconds = 30;

// The checksum the ranks compare their copies of a file by: "size:hash" (a
// 64-bit FNV-1a over the bytes), or empty when the file cannot be read.
std::string FileChecksum(const std::string& path);

class MpiSession {
public:
    // MPI_Init (errors returned, never aborting the job).
    MpiSession(int& argc, char**& argv);
    // As end(0) when end() was not called.
    ~MpiSession();
    MpiSession(const MpiSession&) = delete;
    MpiSession& operator=(const MpiSession&) = delete;

    int rank() const { return rank_; }
    int size() const { return size_; }

    // Ranks 1 to K-1: check the setup against their own copies, then
    // calculate what rank 0 hands out until it says the run is over (0), or
    // until it is silent too long (1). Returns the exit status.
    int serve();
    // Rank 0: the workers of a run: its own instance (worker 0) and the
    // ranks 1 to K-1. `projectPath`: the project file as rank 0 reads it.
    CalcPoolFactory pools(const std::string& projectPath);

    // Releases the ranks still waiting for work and leaves the job; the
    // process's exit status is `status`. MPI_Finalize waits for every rank,
    // also one that died: after a rank was lost (or rank 0 was), the process
    // leaves without it, which mpirun --enable-recovery accepts.
    int end(int status);

private:
    void stopHeartbeat();

    int rank_ = 0;
    int size_ = 1;
    bool ended_ = false;
    bool skipFinalize_ = false;  // a rank was lost during the run
    std::thread heartbeat_;
};

}  // namespace korvane

#pragma once
// A study across the ranks of an MPI job (Open MPI), started as
//   mpirun -n K korvane --mpi project.tolv
// Rank 0 loads the project, works out the plan's values, hands calculations
// to the ranks 1 to K-1 as they become free, and alone writes the DB file
// (and alone uses the application folder). Every other rank owns one private
// LibreOffice instance and calculates what it is handed. A rank that stops
// answering (it died, or its machine did) loses no line: its calculation goes
// to another rank. With one rank, rank 0 calculates itself.
//
// Only the main thread of a process calls MPI; the calculations run on
// worker threads as in a run without MPI.

#include "run/RunDriver.h"

namespace korvane {

// A rank that has not been heard of for this long counts as gone.
inline constexpr int kRankSilenceSeconds = 10;

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

    // Ranks 1 to K-1: calculate what rank 0 hands out until it says the run
    // is over (or is silent too long). Returns the exit status.
    int serve();
    // Rank 0: the ranks 1 to K-1 as the workers of a run.
    CalcPoolFactory pools();

    // Releases the ranks still waiting for work and leaves the job; returns
    // `status`. MPI_Finalize waits for every rank, also one that died: after
    // a rank was lost, the others leave without it (the process ends here,
    // with `status`), which mpirun --enable-recovery accepts.
    int end(int status);

private:
    int rank_ = 0;
    int size_ = 1;
    bool ended_ = false;
    bool skipFinalize_ = false;  // a rank was lost during the run
};

}  // namespace korvane

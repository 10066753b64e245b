#pragma once
// A study across the ranks of a job (an MPI job, started as
//   mpirun -n K korvane --mpi project.tolv).
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

#include <string>

#include "run/RunDriver.h"

namespace korvane {

class RankTransport;

// A rank that has not been heard of for this long counts as gone.
inline constexpr int kRankSilenceSeconds = 10;
// A rank that has not heard of rank 0 for this long leaves the job.
inline constexpr int kRootSilenceSeconds = 30;

// The checksum the ranks compare their copies of a file by: "size:hash" (a
// 64-bit FNV-1a over the bytes), or empty when the file cannot be read.
std::string FileChecksum(const std::string& path);

// Rank 0: the workers of a run: its own instance (worker 0) and the ranks 1
// to K-1. `projectPath`: the project file as rank 0 reads it. The transport
// outlives the pools.
CalcPoolFactory RankPools(RankTransport& ranks, const std::string& projectPath, WorkbookLinkFactory factory);

// Ranks 1 to K-1: check the setup against their own copies, then calculate
// what rank 0 hands out until it says the run is over (0), or until it is
// silent too long (1). Returns the exit status.
int ServeRank(RankTransport& ranks, const WorkbookLinkFactory& factory);

}  // namespace korvane

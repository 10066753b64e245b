#pragma once
// How a run calculates, apart from what the project says: the number of
// workers (private spreadsheet instances calculating at once) and the time
// limit of one calculation. They belong to the machine, not to the study, so
// they are never written into a project file: the command line gives them,
// and the window keeps them in a small settings file of the application
// folder ("RunOptions.dat").

#include <string>
#include <vector>

namespace korvane {

inline constexpr const char* kRunOptionsFile = "RunOptions.dat";
// More instances than this only wait for each other on any machine we know.
inline constexpr int kMaxWorkers = 64;

struct RunOptions {
    int workers = 1;
    double calcTimeoutSeconds = 0;  // 0: no limit
    // Continue the study the DB file holds instead of starting it afresh.
    bool resume = false;
    // The calculations go to the ranks of an MPI job (command line only).
    bool mpi = false;
    // Run even when the workbook cannot compute as Excel did (the check's
    // blocking findings); command line only.
    bool acceptDifferences = false;
};

// Takes the run options from a command line: "--workers N",
// "--calc-timeout SECONDS" (also with "="), "--resume", "--mpi",
// "--accept-differences", before or after the project. Every other argument
// (the project path, possibly split at blanks) goes to `rest`, as does
// everything after "--". False with a message for an unknown option or a bad
// value.
bool ParseRunArguments(const std::vector<std::string>& args, RunOptions& options, std::vector<std::string>& rest,
                       std::string& error);

// Reads "Workers=" and "CalcTimeout=" lines of the settings file; a missing
// file or line leaves the value as it is, a value out of range is ignored.
void LoadRunOptions(const std::string& appFolder, RunOptions& options);
// Writes the settings file (workers and time limit only). False with a
// message when it cannot be written.
bool SaveRunOptions(const std::string& appFolder, const RunOptions& options, std::string& error);

// The checks of a workers count and a time limit as typed: false with a
// message for text that is not a whole number from 1 to kMaxWorkers, or not
// a number of seconds of at least 0 (0: no limit).
bool ParseWorkers(const std::string& text, int& workers, std::string& error);
bool ParseCalcTimeout(const std::string& text, double& seconds, std::string& error);

}  // namespace korvane

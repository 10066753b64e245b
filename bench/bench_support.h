#pragma once
// Helpers of the benchmarks: process memory and CPU figures from /proc, the
// cost of running a program, and a user interface that only prints its
// messages.

#include <sys/types.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/UserInterface.h"

namespace korvane::bench {

// Resident set size now and at its peak, in MiB (VmRSS, VmHWM).
double RssMiB(pid_t pid);
double PeakRssMiB(pid_t pid);
// CPU seconds (user + system) the process has used.
double CpuSeconds(pid_t pid);
// The soffice process started by this program (the newest child), or -1.
pid_t OfficeChild();
// A whole file's bytes (empty when it cannot be read); writing one.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// What running a program cost: wall and CPU seconds (user + system) and its
// peak resident memory; `status` is its exit status, -1 when it did not exit.
struct Timing {
    double seconds = 0, cpu = 0, peakMiB = 0;
    int status = -1;
};
// Runs arguments[0] (a path, no shell) with the others and waits for it; its
// standard output goes nowhere, and so does its standard error when
// `quietErrors`.
Timing RunProgram(const std::vector<std::string>& arguments, bool quietErrors = false);

// Messages go to stderr; questions are answered No, file dialogs cancelled;
// the end of the application ends the benchmark with its status.
class QuietUi : public UserInterface {
public:
    void showMessage(const std::string& t) override { std::fprintf(stderr, "message: %s\n", t.c_str()); }
    bool askYesNo(const std::string&) override { return false; }
    std::string chooseFile(const std::string&, const std::string&, const std::string&, bool) override { return {}; }
    void endApplication(int status) override { std::exit(status); }
};

}  // namespace korvane::bench

#pragma once
// Helpers of the benchmarks: process memory and CPU figures from /proc.

#include <sys/types.h>

#include <string>

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

}  // namespace korvane::bench

#include "bench_support.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace korvane::bench {

namespace {

// The whole of a /proc file; empty when the process is gone (reading a
// vanished process's file fails, and libstdc++ reports that by throwing).
std::string ReadProc(const std::string& path) {
    try {
        std::ifstream in(path);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    } catch (...) {
        return {};
    }
}

double StatusKiB(pid_t pid, const std::string& key) {
    std::istringstream in(ReadProc("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + ":", 0) == 0) return std::strtod(line.c_str() + key.size() + 1, nullptr);
    return 0;
}

}  // namespace

double RssMiB(pid_t pid) { return StatusKiB(pid, "VmRSS") / 1024.0; }
double PeakRssMiB(pid_t pid) { return StatusKiB(pid, "VmHWM") / 1024.0; }

double CpuSeconds(pid_t pid) {
    std::string all = ReadProc("/proc/" + std::to_string(pid) + "/stat");
    auto close = all.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    // Fields after the name: state is 3; utime 14 and stime 15.
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::strtod(field.c_str(), nullptr);
        if (i == 15) stime = std::strtod(field.c_str(), nullptr);
    }
    return (utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

pid_t OfficeChild() {
    pid_t found = -1;
    DIR* d = ::opendir("/proc");
    if (!d) return -1;
    while (dirent* e = ::readdir(d)) {
        pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
        if (pid <= 0) continue;
        std::string all = ReadProc("/proc/" + std::to_string(pid) + "/stat");
        auto close = all.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(all.substr(close + 2));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == ::getpid() && all.find("soffice") != std::string::npos) found = pid;
    }
    ::closedir(d);
    return found;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

Timing RunProgram(const std::vector<std::string>& arguments, bool quietErrors) {
    std::vector<char*> argv;
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only the timing matters: the table goes nowhere.
        std::freopen("/dev/null", "w", stdout);
        if (quietErrors) std::freopen("/dev/null", "w", stderr);
        ::execv(argv[0], argv.data());
        std::_Exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    Timing t;
    t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    t.peakMiB = usage.ru_maxrss / 1024.0;
    t.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    t.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return t;
}

}  // namespace korvane::bench

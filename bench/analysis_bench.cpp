// The analyses of a large DB file through the command line: statistics and
// sensitivity of a Monte Carlo-like file of N lines with 10 inputs and 10
// outputs (15-digit values, one line in ten invalid).
//
//   bench_analysis [N] [KORVANE]   (default 1000000; the build's app/korvane)
//
// Prints for each analysis the time (and the CPU time, which other load on
// the machine does not inflate), lines per second and the program's peak
// memory, which stays flat whatever N is.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/TextFile.h"
#include "project/NumberText.h"

namespace fs = std::filesystem;
using korvane::bench::RunProgram;
using korvane::bench::Timing;

namespace {

constexpr int kInputs = 10;
constexpr int kOutputs = 10;

void WriteDbFile(const std::string& path, long lines) {
    std::ofstream out(path, std::ios::binary);
    std::string names = "Count", kinds = "-";
    for (int i = 1; i <= kInputs; ++i) names += ",入力" + std::to_string(i), kinds += ",[Input]";
    for (int i = 1; i <= kOutputs; ++i) names += ",出力" + std::to_string(i), kinds += ",[Output]";
    names += ",Validity(制限判定)";
    kinds += ",[System]";
    std::string bytes;
    korvane::EncodeCp932(names, bytes);
    out << bytes << "\r\n" << kinds << "\r\n";
    std::mt19937_64 random(42);
    std::normal_distribution<double> normal(100.0, 15.0);
    std::string line;
    double x[kInputs];
    for (long n = 1; n <= lines; ++n) {
        line = std::to_string(n);
        for (double& v : x) {
            v = normal(random);
            line += ',';
            line += korvane::GeneralNumber(v);
        }
        for (int j = 0; j < kOutputs; ++j) {
            double y = 0;
            for (int i = 0; i < kInputs; ++i) y += (i + j + 1) * 0.1 * x[i];
            line += ',';
            line += korvane::GeneralNumber(y * (1 + 0.001 * j));
        }
        line += n % 10 == 0 ? ",False" : ",True";
        out << line << "\r\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string korvane =
        argc > 2 ? argv[2] : (fs::canonical("/proc/self/exe").parent_path().parent_path() / "app" / "korvane").string();
    const fs::path folder = fs::temp_directory_path() / ("korvane-bench-analysis-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string db = (folder / "db.csv").string();

    auto start = std::chrono::steady_clock::now();
    WriteDbFile(db, n);
    const double written = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("DB file: %ld lines, %d inputs, %d outputs, %.1f MB (written in %.1f s)\n", n, kInputs, kOutputs,
                static_cast<double>(fs::file_size(db)) / 1e6, written);

    bool ok = true;
    for (const char* command : {"--stats", "--sens"}) {
        const Timing t = RunProgram({korvane, command, db});
        std::printf("%-8s %6.2f s (cpu %5.2f s)  %10.0f lines/s  peak memory %6.1f MiB  exit %d%s\n", command,
                    t.seconds, t.cpu, static_cast<double>(n) / t.seconds, t.peakMiB, t.status,
                    t.seconds < 10 ? "" : "  (over 10 s)");
        ok = ok && t.status == 0;
    }
    fs::remove_all(folder);
    return ok ? 0 : 1;
}

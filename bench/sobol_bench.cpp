// Sobol' indices of a large design DB file: N lines laid out as the Saltelli
// sampling method writes them (the initial values, then groups A, B,
// AB1..AB8 of 10 lines) for a function whose indices are known,
//
//   y = sum c_i x_i + d x1 x2,   x_i uniform on (-1, 1), independent,
//
// so S1_i = c_i^2 / 3 / V, ST_i = S1_i (+ d^2 / 9 / V for x1 and x2), with
// V = sum c_i^2 / 3 + d^2 / 9.
//
//   bench_sobol [N] [KORVANE]   (default 1000000; the build's app/korvane)
//
// Prints the time of the computation in this process (reading, then the
// 1,000 bootstrap resamples), the time and peak memory of `korvane --sobol`
// on the same file, the figures against the exact indices, and what a
// memory limit below the file's needs gives.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "analysis/SobolIndices.h"
#include "bench_support.h"
#include "platform/TextFile.h"
#include "project/NumberText.h"

namespace fs = std::filesystem;
using korvane::bench::RunProgram;
using korvane::bench::Timing;

namespace {

constexpr int kInputs = 8;
constexpr double kCoefficient[kInputs] = {4, 3, 2.5, 2, 1.5, 1, 0.5, 0.25};
constexpr double kInteraction = 3;

double Model(const double* x) {
    double y = kInteraction * x[0] * x[1];
    for (int i = 0; i < kInputs; ++i) y += kCoefficient[i] * x[i];
    return y;
}

void WriteDesign(const std::string& path, long lines) {
    std::ofstream out(path, std::ios::binary);
    std::string names = "Count", kinds = "-";
    for (int i = 1; i <= kInputs; ++i) names += ",x" + std::to_string(i), kinds += ",[Input]";
    names += ",y,Validity(制限判定)";
    kinds += ",[Output],[System]";
    std::string bytes;
    korvane::EncodeCp932(names, bytes);
    out << bytes << "\r\n" << kinds << "\r\n";
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::string line;
    const auto write = [&](long count, const double* x) {
        line = std::to_string(count);
        // The values as the DB file holds them, 15 digits, and the output
        // computed from those.
        double read[kInputs];
        for (int i = 0; i < kInputs; ++i) {
            const std::string text = korvane::GeneralNumber(x[i]);
            read[i] = std::strtod(text.c_str(), nullptr);
            line += ',';
            line += text;
        }
        line += ',';
        line += korvane::GeneralNumber(Model(read));
        line += ",True\r\n";
        out << line;
    };
    double a[kInputs] = {}, b[kInputs], ab[kInputs];
    write(0, a);
    long count = 1;
    while (count < lines) {
        for (int i = 0; i < kInputs; ++i) a[i] = uniform(random), b[i] = uniform(random);
        if (count++ < lines) write(count - 1, a);
        if (count++ < lines) write(count - 1, b);
        for (int i = 0; i < kInputs && count < lines; ++i) {
            std::copy(a, a + kInputs, ab);
            ab[i] = b[i];
            write(count++, ab);
        }
    }
}

double CpuSeconds() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string korvane =
        argc > 2 ? argv[2] : (fs::canonical("/proc/self/exe").parent_path().parent_path() / "app" / "korvane").string();
    const fs::path folder = fs::temp_directory_path() / ("korvane-bench-sobol-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string db = (folder / "design.csv").string();

    auto start = std::chrono::steady_clock::now();
    WriteDesign(db, n);
    std::printf("design DB file: %ld lines, k = %d (groups of %d), %.1f MB (written in %.1f s)\n", n, kInputs,
                kInputs + 2, static_cast<double>(fs::file_size(db)) / 1e6, Seconds(start));

    // In this process: the progress passes 0.5 when the file is read.
    double readSeconds = 0;
    start = std::chrono::steady_clock::now();
    const korvane::ProgressFn progress = [&](double done) {
        if (readSeconds == 0 && done >= 0.5) readSeconds = Seconds(start);
        return true;
    };
    korvane::SobolResult r;
    const double cpuBefore = CpuSeconds();
    const bool ok = korvane::ComputeSobolIndices(db, korvane::SobolOptions{}, progress, r);
    const double total = Seconds(start);
    const double cpu = CpuSeconds() - cpuBefore;
    if (!ok) {
        std::printf("refused: %s\n", r.error.c_str());
        fs::remove_all(folder);
        return 1;
    }
    std::printf("in process: %.2f s, cpu %.2f s (reading %.2f s, %d resamples of %lld groups %.2f s)%s\n", total,
                cpu, readSeconds, r.resamples, static_cast<long long>(r.outputs[0].used), total - readSeconds,
                total < 5 ? "" : "  (over 5 s)");

    const Timing t = RunProgram({korvane, "--sobol", db}, true);
    std::printf("korvane --sobol: %.2f s (cpu %.2f s), peak memory %.1f MiB, exit %d%s\n", t.seconds, t.cpu,
                t.peakMiB, t.status, t.seconds < 5 ? "" : "  (over 5 s)");

    double v = kInteraction * kInteraction / 9;
    for (double c : kCoefficient) v += c * c / 3;
    std::printf("input  S1 exact  S1 [95%% interval]        ST exact  ST [95%% interval]\n");
    for (int i = 0; i < kInputs; ++i) {
        const double s1 = kCoefficient[i] * kCoefficient[i] / 3 / v;
        const double st = s1 + (i < 2 ? kInteraction * kInteraction / 9 / v : 0);
        const auto& x = r.outputs[0].inputs[i];
        std::printf("x%-5d %7.4f  %7.4f [%7.4f, %7.4f]  %7.4f  %7.4f [%7.4f, %7.4f]\n", i + 1, s1, x.first.value,
                    x.first.interval.lower, x.first.interval.upper, st, x.total.value, x.total.interval.lower,
                    x.total.interval.upper);
    }

    // A limit below what the columns need: refused before the file is read.
    korvane::SobolOptions small;
    small.memoryLimit = 1 << 20;
    start = std::chrono::steady_clock::now();
    korvane::SobolResult refused;
    korvane::ComputeSobolIndices(db, small, {}, refused);
    std::printf("with a 1 MiB limit: %s after %.3f s: %s\n", refused.tooLarge ? "refused" : "NOT refused",
                Seconds(start), refused.error.c_str());
    fs::remove_all(folder);
    return t.status == 0 && refused.tooLarge ? 0 : 1;
}

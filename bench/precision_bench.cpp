// How precise a study's mean is for its cost, by sampling method: the example
// beam model (examples/beam-montecarlo.tolv) run unattended in LibreOffice
// with plain Monte Carlo draws, a Latin hypercube and Sobol' points, each
// with SEEDS fixed seeds of CALCS calculations. The mean stress of each run
// (its drawn calculations, 2 to CALCS; the first one keeps the initial
// values) is compared with the exact mean from the beam formula and the input
// distributions, sigma = 6 P L / (b h^2) with P, L and h independent and cut to
// their limits, integrated numerically (Boost.Math). It prints the
// root-mean-square error over the seeds, the bias, and the RMSE of plain draws
// over that of each method.
//
// Then the cost of feeding the live figures (LiveSummary) one line of the
// beam's four outputs, as a run does after every line it writes.
//
//   bench_precision [SEEDS] [CALCS] [WORKERS]   (defaults 50, 200, 1)
#include <boost/math/distributions/normal.hpp>
#include <boost/math/quadrature/gauss_kronrod.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "analysis/LiveSummary.h"
#include "bench_support.h"
#include "db/Csv.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "run/RunDriver.h"
#include "run/RunOptions.h"
#include "workbook/WorkbookLink.h"

using namespace korvane;
using bench::QuietUi;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The mean of the first output (the stress) over the lines after the first,
// taken from the lines as the run writes them.
class StressMean : public RunObserver {
public:
    void linesBegin(const std::vector<std::string>&) override { lines = 0, sum = 0, unreadable = 0; }
    void lineWritten(std::span<const std::string> outputs, bool) override {
        if (++lines == 1) return;  // the initial values
        double v = 0;
        if (!outputs.empty() && CsvValue(outputs[0], v))
            sum += v;
        else
            ++unreadable;
    }
    std::int64_t lines = 0, unreadable = 0;
    double sum = 0;
};

// E[g(X)] for X normal (mean m, deviation s) cut to [lo, hi].
template <class G>
double TruncatedNormalMean(double m, double s, double lo, double hi, G g) {
    const boost::math::normal n(m, s);
    const double mass = boost::math::cdf(n, hi) - boost::math::cdf(n, lo);
    const double integral = boost::math::quadrature::gauss_kronrod<double, 61>::integrate(
        [&](double x) { return g(x) * boost::math::pdf(n, x); }, lo, hi, 15, 1e-14);
    return integral / mass;
}

double ExactMeanStress(double width) {
    // 荷重 P: normal 1000 +- 150 in (500, 1500); 長さ L: uniform 500 +- 80,
    // inside its limits (400, 600); 高さ h: normal 40 +- 3 in (30, 50).
    const double meanLoad = TruncatedNormalMean(1000, 150, 500, 1500, [](double x) { return x; });
    const double meanLength = 500;
    const double meanInverseSquare = TruncatedNormalMean(40, 3, 30, 50, [](double h) { return 1 / (h * h); });
    return 6 * meanLoad * meanLength * meanInverseSquare / width;
}

struct MethodFigures {
    const char* method;
    std::vector<double> means;
    int failed = 0;
};

bool RunOne(const fs::path& app, const Project& base, const char* method, int seed, long calcs, int workers,
            double& mean) {
    Project p = base;
    p.sampling.method = method;
    p.monteCarlo.randomSeed = std::to_string(seed);
    p.monteCarlo.numOfCalc = std::to_string(calcs);
    p.dataBaseFileName = "\\bench.csv";
    const fs::path project = app / "examples" / "precision.tolv";
    std::string error;
    if (!WriteTextFileAtomic(project.string(), ProjectLines(p), error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return false;
    }
    QuietUi ui;
    StressMean watch;
    ProjectDocument document(ui, app.string());
    document.NewProject();
    RunState state;
    ResetRunArrays(state);
    RunDriver driver(ui, watch, document, state, [] { return CreateWorkbookLink(); });
    RunOptions options;
    options.workers = workers;
    driver.setRunOptions(options);
    const int status = driver.CommandLineRun(project.string());
    if (status != 0 || watch.lines != calcs || watch.unreadable != 0) {
        std::fprintf(stderr, "bench: %s seed %d: status %d, %lld lines, %lld unreadable\n", method, seed, status,
                     static_cast<long long>(watch.lines), static_cast<long long>(watch.unreadable));
        return false;
    }
    mean = watch.sum / static_cast<double>(calcs - 1);
    return true;
}

// Nanoseconds per line of feeding the live figures four outputs.
double LiveFeedNanoseconds(long lines) {
    LiveSummary live;
    live.begin({"応力", "たわみ", "質量", "安全率"});
    std::vector<std::vector<std::string>> samples;
    for (int i = 0; i < 64; ++i)
        samples.push_back({std::to_string(93.75 + i * 0.37), std::to_string(0.61 + i * 0.003),
                           std::to_string(4.7 + i * 0.01), std::to_string(2.5 - i * 0.01)});
    const auto t0 = Clock::now();
    for (long i = 0; i < lines; ++i) live.addLine(samples[static_cast<std::size_t>(i) % samples.size()], i % 9 != 0);
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
    if (live.snapshot().lines != lines) std::fprintf(stderr, "bench: lines lost\n");
    return ns / static_cast<double>(lines);
}

}  // namespace

int main(int argc, char** argv) {
    const int seeds = argc > 1 ? std::atoi(argv[1]) : 50;
    const long calcs = argc > 2 ? std::atol(argv[2]) : 200;
    const int workers = argc > 3 ? std::atoi(argv[3]) : 1;
    if (seeds < 2 || calcs < 3 || workers < 1) {
        std::fprintf(stderr, "usage: bench_precision [SEEDS >= 2] [CALCS >= 3] [WORKERS >= 1]\n");
        return 2;
    }
    const fs::path build = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    const fs::path app = fs::temp_directory_path() / ("korvane-precisionbench-" + std::to_string(::getpid()));
    fs::create_directories(app / "examples");
    for (const char* f : {"beam.fods", "beam-montecarlo.tolv"})
        fs::copy_file(build / "app" / "examples" / f, app / "examples" / f);
    SetAppFolder(app.string());
    std::vector<std::string> lines;
    std::string error;
    if (!ReadTextLines((app / "examples" / "beam-montecarlo.tolv").string(), lines, error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 1;
    }
    const Project base = ParseProject(lines);
    std::printf("machine: %u hardware threads; load average now: %s", std::thread::hardware_concurrency(),
                bench::ReadFile("/proc/loadavg").c_str());

    const double exact = ExactMeanStress(20);
    std::printf("example beam model, mean stress over calculations 2..%ld, %d seeds, %d worker(s)\n", calcs, seeds,
                workers);
    std::printf("exact mean stress (formula and distributions): %.6f MPa\n\n", exact);
    std::vector<MethodFigures> results = {{method::MonteCarlo, {}}, {method::LHS, {}}, {method::Sobol, {}}};
    const auto t0 = Clock::now();
    for (MethodFigures& m : results) {
        for (int seed = 1; seed <= seeds; ++seed) {
            double mean = 0;
            if (RunOne(app, base, m.method, seed, calcs, workers, mean))
                m.means.push_back(mean);
            else
                ++m.failed;
        }
    }
    const double minutes = std::chrono::duration<double>(Clock::now() - t0).count() / 60;
    std::printf("  method       runs  RMSE [MPa]  bias [MPa]  RMSE(MonteCarlo)/RMSE\n");
    double plain = 0;
    for (const MethodFigures& m : results) {
        double squares = 0, sum = 0;
        for (double v : m.means) {
            squares += (v - exact) * (v - exact);
            sum += v - exact;
        }
        const double n = static_cast<double>(m.means.size());
        const double rmse = m.means.empty() ? NAN : std::sqrt(squares / n);
        if (m.method == results.front().method) plain = rmse;
        std::printf("  %-10s  %5zu  %10.4f  %10.4f  %21.2f", m.method, m.means.size(), rmse,
                    m.means.empty() ? NAN : sum / n, plain / rmse);
        if (m.failed) std::printf("   (%d runs failed)", m.failed);
        std::printf("\n");
    }
    std::printf("  (%.1f minutes for the %zu runs)\n\n", minutes, results.size() * static_cast<std::size_t>(seeds));

    const long feed = 2000000;
    std::printf("live figures: %.0f ns per line fed (4 outputs, %ld lines)\n", LiveFeedNanoseconds(feed), feed);
    fs::remove_all(app);
    return 0;
}

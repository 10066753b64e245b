// The cost of drawing input values: a design of 1,000,000 probabilities
// (plain, Latin hypercube, Sobol'), each turned into a value of a truncated
// distribution (normal, lognormal, Weibull, triangular), and the rank
// correlation imposed on 250,000 points of 4 inputs.
//
//   bench_sampling [N]   (default 1000000)
//
// Prints nanoseconds of CPU time per value for the design, for each
// distribution's draw, and their sum. A run needs each value once per
// calculation, so anything under a microsecond is lost beside the workbook.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "run/Distributions.h"
#include "run/SampleDesign.h"

using namespace korvane;

namespace {

double CpuNow() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

struct Drawn {
    const char* name;
    double c, s;
    std::optional<double> lo, hi;
};

}  // namespace

int main(int argc, char** argv) {
    const std::size_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const std::vector<Drawn> kinds = {
        {kNormalDistribution, 10, 2, 6, 13},
        {kLognormalDistribution, 10, 3, 4, 30},
        {kWeibullDistribution, 8, 2, 2, std::nullopt},
        {kTriangularDistribution, 0, 1, -0.9, 0.95},
    };
    const std::pair<SampleMethod, const char*> methods[] = {
        {SampleMethod::Plain, "MonteCarlo"}, {SampleMethod::LatinHypercube, "LHS"}, {SampleMethod::Sobol, "Sobol"}};
    std::string error;
    double checksum = 0.0;
    std::printf("%zu values each; ns of CPU per value, truncated to the limits\n", n);
    std::printf("method       design    draw   total  distribution\n");
    for (const auto& [method, label] : methods) {
        double t0 = CpuNow();
        const auto design = MakeSampleDesign(method, n, 1, 1234, error);
        const double designNs = (CpuNow() - t0) * 1e9 / static_cast<double>(n);
        for (const auto& k : kinds) {
            const auto t = TruncatedDistribution::Make(*MakeDistribution(k.name, k.c, k.s, error), k.lo, k.hi, error);
            t0 = CpuNow();
            for (std::size_t i = 0; i < n; ++i) checksum += t->value(design->values[i]);
            const double drawNs = (CpuNow() - t0) * 1e9 / static_cast<double>(n);
            std::printf("%-10s %8.1f %7.1f %7.1f  %s\n", label, designNs, drawNs, designNs + drawNs, k.name);
        }
    }

    const std::size_t points = n / 4;
    auto design = MakeSampleDesign(SampleMethod::LatinHypercube, points, 4, 99, error);
    const double t0 = CpuNow();
    const auto fault = ImposeRankCorrelations(*design, {{0, 1, 0.6}, {0, 2, -0.3}, {2, 3, 0.5}});
    const double icNs = (CpuNow() - t0) * 1e9 / static_cast<double>(points * 4);
    std::printf("rank correlation, %zu points x 4 inputs, 3 targets: %.1f ns per value%s\n", points, icNs,
                fault ? " (refused)" : "");
    std::printf("checksum %.6g\n", checksum);
    return 0;
}

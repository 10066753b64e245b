#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>

#include "project/NumberText.h"
#include "run/Distributions.h"
#include "run/SampleDesign.h"

using namespace korvane;

namespace {

constexpr double kPi = 3.14159265358979323846;

SampleDesign Design(SampleMethod method, std::size_t n, std::size_t k, std::uint64_t seed) {
    std::string error;
    auto d = MakeSampleDesign(method, n, k, seed, error);
    EXPECT_TRUE(d.has_value()) << error;
    return d ? *d : SampleDesign{};
}

Distribution Make(const std::string& name, double c, double s) {
    std::string error;
    auto d = MakeDistribution(name, c, s, error);
    EXPECT_TRUE(d.has_value()) << name << ": " << error;
    return d ? *d : *MakeDistribution(kNormalDistribution, 0, 1, error);
}

std::vector<double> Draw(const TruncatedDistribution& t, const SampleDesign& d, std::size_t column = 0) {
    std::vector<double> x(d.points);
    for (std::size_t i = 0; i < d.points; ++i) x[i] = t.value(d.at(i, column));
    return x;
}

std::vector<double> Draw(const Distribution& dist, std::size_t n, std::uint64_t seed) {
    std::string error;
    return Draw(*TruncatedDistribution::Make(dist, std::nullopt, std::nullopt, error),
                Design(SampleMethod::Plain, n, 1, seed));
}

// The Kolmogorov-Smirnov distance between a sample and a distribution function.
double KsDistance(std::vector<double> x, const std::function<double(double)>& cdf) {
    std::sort(x.begin(), x.end());
    const double n = static_cast<double>(x.size());
    double d = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double f = cdf(x[i]);
        d = std::max({d, f - static_cast<double>(i) / n, static_cast<double>(i + 1) / n - f});
    }
    return d;
}
// The 1 % critical value for large samples.
double KsCritical(std::size_t n) { return 1.6276 / std::sqrt(static_cast<double>(n)); }

double Phi(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

double Mean(const std::vector<double>& x) {
    double s = 0.0;
    for (double v : x) s += v;
    return s / static_cast<double>(x.size());
}
double Sd(const std::vector<double>& x) {
    const double m = Mean(x);
    double s = 0.0;
    for (double v : x) s += (v - m) * (v - m);
    return std::sqrt(s / static_cast<double>(x.size() - 1));
}

std::vector<double> Column(const SampleDesign& d, std::size_t j) {
    return {d.values.begin() + static_cast<std::ptrdiff_t>(j * d.points),
            d.values.begin() + static_cast<std::ptrdiff_t>((j + 1) * d.points)};
}

double Spearman(const std::vector<double>& a, const std::vector<double>& b) {
    auto ranks = [](const std::vector<double>& x) {
        std::vector<std::size_t> order(x.size());
        for (std::size_t i = 0; i < x.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(), [&x](std::size_t i, std::size_t j) { return x[i] < x[j]; });
        std::vector<double> r(x.size());
        for (std::size_t k = 0; k < x.size(); ++k) r[order[k]] = static_cast<double>(k);
        return r;
    };
    const auto ra = ranks(a), rb = ranks(b);
    const double ma = Mean(ra), mb = Mean(rb);
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sab += (ra[i] - ma) * (rb[i] - mb);
        saa += (ra[i] - ma) * (ra[i] - ma);
        sbb += (rb[i] - mb) * (rb[i] - mb);
    }
    return sab / std::sqrt(saa * sbb);
}

// The Weibull shape for a coefficient of variation, by plain bisection on the
// gamma function: a computation of its own, to check the library's solver.
double WeibullShapeFor(double cv) {
    auto f = [](double k) { return std::sqrt(std::tgamma(1 + 2 / k) / std::pow(std::tgamma(1 + 1 / k), 2) - 1); };
    double lo = 0.2, hi = 200;
    for (int i = 0; i < 200; ++i) {
        const double mid = std::sqrt(lo * hi);
        (f(mid) > cv ? lo : hi) = mid;
    }
    return lo;
}

}  // namespace

TEST(SampleDesignTest, LatinHypercubeAndSobolStratifyEveryColumn) {
    // Latin hypercube: in each column each of the n strata holds exactly one point.
    for (std::size_t n : {1u, 2u, 997u}) {
        const auto d = Design(SampleMethod::LatinHypercube, n, 5, 42);
        for (std::size_t j = 0; j < 5; ++j) {
            std::set<std::size_t> strata;
            for (std::size_t i = 0; i < n; ++i) {
                const double u = d.at(i, j);
                ASSERT_GT(u, 0.0);
                ASSERT_LT(u, 1.0);
                strata.insert(static_cast<std::size_t>(std::floor(u * static_cast<double>(n))));
            }
            EXPECT_EQ(strata.size(), n) << "n " << n << " column " << j;
        }
    }
    // Sobol': the first 2^10 points with the origin put back and the digital
    // shift still form a (0, 10, 2)-net in the first two columns (every box of
    // 2^-a by 2^-(10-a) holds one point), and each further column is stratified.
    const std::size_t n = 1024;
    const auto s = Design(SampleMethod::Sobol, n, 8, 7);
    for (int a = 0; a <= 10; ++a) {
        std::set<std::pair<std::uint64_t, std::uint64_t>> boxes;
        for (std::size_t i = 0; i < n; ++i)
            boxes.insert({static_cast<std::uint64_t>(std::ldexp(s.at(i, 0), a)),
                          static_cast<std::uint64_t>(std::ldexp(s.at(i, 1), 10 - a))});
        EXPECT_EQ(boxes.size(), n) << "boxes 2^-" << a << " by 2^-" << 10 - a;
    }
    for (std::size_t j = 2; j < 8; ++j) {
        std::set<std::uint64_t> strata;
        for (std::size_t i = 0; i < n; ++i) strata.insert(static_cast<std::uint64_t>(s.at(i, j) * n));
        EXPECT_EQ(strata.size(), n) << "column " << j;
    }
}

TEST(SampleDesignTest, TheSeedFixesEveryDesign) {
    for (auto method : {SampleMethod::Plain, SampleMethod::LatinHypercube, SampleMethod::Sobol}) {
        const auto a = Design(method, 300, 4, 1234), b = Design(method, 300, 4, 1234), c = Design(method, 300, 4, 1235);
        EXPECT_EQ(a.values, b.values);
        std::size_t differ = 0;
        for (std::size_t i = 0; i < a.values.size(); ++i) {
            differ += a.values[i] != c.values[i];
            ASSERT_GT(a.values[i], 0.0);
            ASSERT_LT(a.values[i], 1.0);
        }
        EXPECT_EQ(differ, a.values.size()) << "another seed changes every value";
    }
    // Plain and Sobol' designs grow by adding points: a run stopped early used a prefix.
    const auto shortSobol = Design(SampleMethod::Sobol, 10, 3, 9), longSobol = Design(SampleMethod::Sobol, 20, 3, 9);
    for (std::size_t j = 0; j < 3; ++j)
        for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(shortSobol.at(i, j), longSobol.at(i, j));
    EXPECT_EQ(SampleMethodFromName("LHS"), SampleMethod::LatinHypercube);
    EXPECT_EQ(SampleMethodFromName("Sobol"), SampleMethod::Sobol);
    EXPECT_EQ(SampleMethodFromName("MonteCarlo"), SampleMethod::Plain);
    EXPECT_FALSE(SampleMethodFromName("lhs"));
    std::string error;
    EXPECT_FALSE(MakeSampleDesign(SampleMethod::Sobol, 10, MaxSobolDimensions() + 1, 1, error));
    EXPECT_NE(error.find("Sobol"), std::string::npos);
}

// Saltelli's layout: calculation 1 keeps the initial values, then come groups
// of k + 2 (A, B, AB(1) ... AB(k)); A and B are the two halves of one point of
// the Sobol' design in 2k dimensions with the same seed, AB(i) is A with
// coordinate i from B, bit for bit; a run with calculations beyond the last
// whole group begins another, and a shorter run's design is a prefix of a
// longer one's. Twice the inputs must fit in the Sobol' dimensions.
TEST(SampleDesignTest, SaltelliGroupsMixTheHalvesOfOneSobolSequence) {
    struct Place {
        std::int64_t calculation;
        std::size_t inputs;
        std::optional<SaltelliPlace> place;
    };
    const std::int64_t far = 3000000000002;
    for (const Place& p : {Place{1, 3, std::nullopt}, Place{0, 3, std::nullopt}, Place{2, 0, std::nullopt},
                           Place{2, 3, SaltelliPlace{1, kSaltelliA}}, Place{3, 3, SaltelliPlace{1, kSaltelliB}},
                           Place{4, 3, SaltelliPlace{1, 2}}, Place{6, 3, SaltelliPlace{1, 4}},
                           Place{7, 3, SaltelliPlace{2, kSaltelliA}}, Place{2, 1, SaltelliPlace{1, kSaltelliA}},
                           Place{5, 1, SaltelliPlace{2, kSaltelliA}}, Place{far, 1, SaltelliPlace{1000000000001, 0}}})
        EXPECT_EQ(SaltelliPlaceOf(p.calculation, p.inputs), p.place) << p.calculation << " of " << p.inputs;

    const std::size_t k = 3, groups = 4;
    const auto sobol = Design(SampleMethod::Sobol, groups, 2 * k, 2026);
    const std::size_t points = (groups - 1) * (k + 2) + 3;  // the last group begun: A, B, AB(1)
    const auto d = Design(SampleMethod::Saltelli, points, k, 2026);
    ASSERT_EQ(d.dimensions, k);
    for (std::size_t p = 0; p < points; ++p) {
        const auto place = SaltelliPlaceOf(static_cast<std::int64_t>(p) + 2, k);
        ASSERT_TRUE(place);
        const auto g = static_cast<std::size_t>(place->group - 1);
        for (std::size_t j = 0; j < k; ++j) {
            const bool fromB = place->role == kSaltelliB || place->role == j + 2;
            const double expected = sobol.at(g, fromB ? k + j : j), got = d.at(p, j);
            EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << "point " << p << " input " << j;
        }
    }
    for (std::size_t g = 0; g < groups; ++g)
        for (std::size_t j = 0; j < k; ++j) EXPECT_NE(sobol.at(g, j), sobol.at(g, k + j));
    const auto shorter = Design(SampleMethod::Saltelli, 7, k, 2026);
    for (std::size_t j = 0; j < k; ++j)
        for (std::size_t p = 0; p < 7; ++p) EXPECT_EQ(shorter.at(p, j), d.at(p, j));
    EXPECT_EQ(SampleMethodFromName("Saltelli"), SampleMethod::Saltelli);

    std::string error;
    EXPECT_TRUE(MakeSampleDesign(SampleMethod::Saltelli, 3, MaxSobolDimensions() / 2, 1, error)) << error;
    EXPECT_FALSE(MakeSampleDesign(SampleMethod::Saltelli, 3, MaxSobolDimensions() / 2 + 1, 1, error));
    EXPECT_NE(error.find(std::to_string(MaxSobolDimensions() / 2) + "個まで"), std::string::npos) << error;
}

TEST(DistributionTest, ContinuousDistributionsFollowTheirClosedFormsWithTheGivenMeanAndDeviation) {
    struct Case {
        const char* name;
        double c, s;
        std::function<double(double)> cdf;
    };
    const double gb = 3.0 * std::sqrt(6.0) / kPi, ga = 20.0 - 0.5772156649015329 * gb;
    const double ls2 = std::log(1 + 0.25), lmu = std::log(10.0) - ls2 / 2;
    const double wk = WeibullShapeFor(0.25), wl = 8.0 / std::tgamma(1 + 1 / wk);
    const std::vector<Case> cases = {
        {kNormalDistribution, 5, 2, [](double x) { return Phi((x - 5) / 2); }},
        {kUniformDistribution, 5, 2, [](double x) { return std::clamp((x - 3) / 4, 0.0, 1.0); }},
        {kLognormalDistribution, 10, 5, [=](double x) { return x <= 0 ? 0 : Phi((std::log(x) - lmu) / std::sqrt(ls2)); }},
        {kGumbelDistribution, 20, 3, [=](double x) { return std::exp(-std::exp(-(x - ga) / gb)); }},
        {kWeibullDistribution, 8, 2, [=](double x) { return x <= 0 ? 0 : 1 - std::exp(-std::pow(x / wl, wk)); }},
        {kTriangularDistribution, 1, 3, [](double x) {
             return x <= -2 ? 0 : x <= 1 ? (x + 2) * (x + 2) / 18 : x < 4 ? 1 - (4 - x) * (4 - x) / 18 : 1;
         }},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        const auto dist = Make(k.name, k.c, k.s);
        EXPECT_LT(KsDistance(Draw(dist, 2000, 11), k.cdf), KsCritical(2000));
        const auto x = Draw(dist, 100000, 12);
        const double sd = k.name == std::string(kTriangularDistribution) ? k.s / std::sqrt(6.0)
                          : k.name == std::string(kUniformDistribution) ? k.s / std::sqrt(3.0)
                                                                        : k.s;
        EXPECT_NEAR(Mean(x), k.c, 4 * sd / std::sqrt(100000.0));
        EXPECT_NEAR(Sd(x), sd, 0.02 * sd);
    }
    // A wide coefficient of variation still gives the asked moments.
    const auto wide = Make(kWeibullDistribution, 1, 3);
    const auto& w = std::get<boost::math::weibull_distribution<double, DistributionPolicy>>(wide.shape());
    EXPECT_NEAR(boost::math::mean(w), 1, 1e-12);
    EXPECT_NEAR(boost::math::standard_deviation(w), 3, 1e-9);
}

TEST(DistributionTest, TruncationIsExactAndNeverCrossesALimit) {
    std::string error;
    const auto lhs = Design(SampleMethod::LatinHypercube, 2000, 1, 3);
    // Probabilities at the very ends of (0, 1), and the ends themselves.
    const std::vector<double> extremes = {0.0, 4.9e-324, 1e-300, 1e-17, 0.5, 1 - 1e-16, std::nextafter(1.0, 0.0), 1.0};
    struct Case {
        const char* name;
        double c, s;
        std::optional<double> lo, hi;
    };
    const std::vector<Case> cases = {
        {kNormalDistribution, 0, 1, -1.5, 0.5},      {kNormalDistribution, 0, 1, 10, 12},
        {kNormalDistribution, 0, 1, std::nullopt, -9}, {kNormalDistribution, 0, 1, 20, std::nullopt},
        {kLognormalDistribution, 10, 2, 30, std::nullopt}, {kLognormalDistribution, 10, 2, std::nullopt, 3},
        {kWeibullDistribution, 8, 2, std::nullopt, 0.5}, {kWeibullDistribution, 1, 1e12, 10, std::nullopt},
        {kGumbelDistribution, 20, 3, 60, 61},
        {kTriangularDistribution, 0, 1, -5, 0.999999},   {kUniformDistribution, 0, 1, 0.3, 0.30000000001},
        {kDiscreteUniformDistribution, 0, 5, -2.5, 3},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(std::string(k.name) + " " + std::to_string(k.lo.value_or(-1e300)) + " " +
                     std::to_string(k.hi.value_or(1e300)));
        const auto t = TruncatedDistribution::Make(Make(k.name, k.c, k.s), k.lo, k.hi, error);
        ASSERT_TRUE(t) << error;
        auto x = Draw(*t, lhs);
        for (double u : extremes) x.push_back(t->value(u));
        for (double v : x) {
            ASSERT_TRUE(std::isfinite(v));
            ASSERT_GE(v, k.lo.value_or(-INFINITY));
            ASSERT_LE(v, k.hi.value_or(INFINITY));
        }
        // The draws spread over the interval rather than piling on a limit.
        EXPECT_GT(std::set<double>(x.begin(), x.end()).size(), k.name == std::string(kDiscreteUniformDistribution) ? 5u : 1900u);
    }
    // The truncated normal against its closed form, in the middle and ten
    // deviations out (where 1 - F(10) is 7.6E-24 and F(10) rounds to 1).
    for (auto [lo, hi] : {std::pair{-1.5, 0.5}, std::pair{10.0, 12.0}}) {
        const auto t = TruncatedDistribution::Make(Make(kNormalDistribution, 0, 1), lo, hi, error);
        const double qlo = std::erfc(lo / std::sqrt(2.0)) / 2, qhi = std::erfc(hi / std::sqrt(2.0)) / 2;
        const auto x = Draw(*t, Design(SampleMethod::Plain, 2000, 1, 5));
        EXPECT_LT(KsDistance(x, [=](double v) { return (qlo - std::erfc(v / std::sqrt(2.0)) / 2) / (qlo - qhi); }),
                  KsCritical(2000));
        const double phi = 1 / std::sqrt(2 * kPi);
        EXPECT_NEAR(Mean(x), phi * (std::exp(-lo * lo / 2) - std::exp(-hi * hi / 2)) / (qlo - qhi), 0.01);
    }
    // Limits that leave nothing are refused, naming the distribution and the limits.
    const std::vector<Case> empty = {
        {kNormalDistribution, 0, 1, 2, 2},         {kNormalDistribution, 0, 1, 3, 1},
        {kNormalDistribution, 0, 1, 40, std::nullopt}, {kUniformDistribution, 0, 1, 1.5, 2},
        {kLognormalDistribution, 1, 1, std::nullopt, 0}, {kDiscreteUniformDistribution, 0, 5, 2.2, 2.8},
    };
    for (const auto& k : empty) {
        error.clear();
        EXPECT_FALSE(TruncatedDistribution::Make(Make(k.name, k.c, k.s), k.lo, k.hi, error));
        EXPECT_EQ(error.find(k.name), 0u) << error;
        EXPECT_NE(error.find("下限値：" + (k.lo ? GeneralNumber(*k.lo) : std::string("なし"))), std::string::npos) << error;
    }
}

TEST(DistributionTest, DiscreteUniformGivesEachIntegerInRangeEquallyOften) {
    std::string error;
    const auto design = Design(SampleMethod::Plain, 7000, 1, 21);
    // c 5, s 3: the integers 2..8; cut to [3.5, 6]: 4, 5 and 6.
    for (auto [lo, hi, first, last] : {std::tuple{std::optional<double>{}, std::optional<double>{}, 2, 8},
                                       std::tuple{std::optional<double>{3.5}, std::optional<double>{6.0}, 4, 6}}) {
        const auto t = TruncatedDistribution::Make(Make(kDiscreteUniformDistribution, 5, 3), lo, hi, error);
        std::map<double, int> counts;
        for (double v : Draw(*t, design)) ++counts[v];
        ASSERT_EQ(counts.size(), static_cast<std::size_t>(last - first + 1));
        EXPECT_EQ(counts.begin()->first, first);
        EXPECT_EQ(counts.rbegin()->first, last);
        const double expected = 7000.0 / static_cast<double>(counts.size());
        double chi2 = 0;
        for (auto [v, count] : counts) chi2 += (count - expected) * (count - expected) / expected;
        EXPECT_LT(chi2, counts.size() == 7 ? 16.81 : 9.21);  // 1 % points for 6 and 2 degrees of freedom
    }
}

TEST(DistributionTest, ImpossibleParametersAreRefusedWithTheReason) {
    struct Case {
        std::string name;
        double c, s;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {kLognormalDistribution, 0, 1, "中心値（平均）は0より大きく"},
        {kLognormalDistribution, -3, 1, "中心値（平均）は0より大きく"},
        {kWeibullDistribution, 0, 1, "中心値（平均）は0より大きく"},
        {kNormalDistribution, 1, 0, "標準偏差は0より大きく"},
        {kGumbelDistribution, 1, -2, "標準偏差は0より大きく"},
        {kWeibullDistribution, 1, 1e20, "変動係数"},
        {kDiscreteUniformDistribution, 2.5, 1, "整数で"},
        {kDiscreteUniformDistribution, 2, 1.5, "整数で"},
        {kTriangularDistribution, std::nan(""), 1, "有限の数値"},
        {kTriangularDistribution, 1e20, 1, "小さすぎる"},
        {kUniformDistribution, 1e308, 1e308, "大きすぎ"},
        {kLognormalDistribution, 1e-300, 1, "変動係数"},
        {"ポアソン分布", 1, 1, "は使えません"},
    };
    for (const auto& k : cases) {
        std::string error;
        EXPECT_FALSE(MakeDistribution(k.name, k.c, k.s, error)) << k.name;
        EXPECT_NE(error.find(k.name), std::string::npos) << error;
        EXPECT_NE(error.find(k.reason), std::string::npos) << error;
    }
}

TEST(RankCorrelationTest, ImanConoverReachesTheTargetsAndKeepsEveryColumnsValues) {
    auto d = Design(SampleMethod::LatinHypercube, 1000, 4, 77);
    const auto before = d;
    const std::vector<RankCorrelationTarget> targets = {{0, 1, 0.6}, {2, 0, -0.3}, {1, 2, 0.2}};
    ASSERT_FALSE(ImposeRankCorrelations(d, targets));
    for (const auto& t : targets)
        EXPECT_NEAR(Spearman(Column(d, t.first), Column(d, t.second)), t.value, 0.04) << t.first << "," << t.second;
    for (std::size_t j = 0; j < 4; ++j) {
        auto a = Column(before, j), b = Column(d, j);
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b) << "column " << j << " keeps its values (and so its strata)";
    }
    EXPECT_EQ(Column(d, 3), Column(before, 3)) << "a column in no target keeps its order";
    // The same input gives the same reordering.
    auto again = before;
    ImposeRankCorrelations(again, targets);
    EXPECT_EQ(again.values, d.values);
}

TEST(RankCorrelationTest, ContradictoryOrImpossibleTargetsAreRefusedNamingThePair) {
    struct Case {
        std::vector<RankCorrelationTarget> targets;
        std::size_t first, second;
        const char* reason;
    };
    const std::vector<Case> cases = {
        // 0 goes with 1 and with 2, but 1 against 2: row 2 fails, closed by (1, 2).
        {{{0, 1, 0.9}, {0, 2, 0.9}, {2, 1, -0.9}, {0, 3, 0.1}}, 2, 1, "正定値"},
        {{{0, 1, 0.5}, {3, 2, 1.0}}, 3, 2, "-1より大きく1より小さく"},
        {{{0, 1, 0.5}, {1, 0, 0.4}}, 1, 0, "2回"},
        {{{2, 2, 0.5}}, 2, 2, "同じ変数"},
        {{{0, 4, 0.5}}, 0, 4, "変数がありません"},
    };
    for (const auto& k : cases) {
        auto d = Design(SampleMethod::Plain, 50, 4, 1);
        const auto before = d.values;
        const auto fault = ImposeRankCorrelations(d, k.targets);
        ASSERT_TRUE(fault);
        EXPECT_EQ(fault->first, k.first);
        EXPECT_EQ(fault->second, k.second);
        EXPECT_NE(fault->reason.find(k.reason), std::string::npos) << fault->reason;
        EXPECT_EQ(d.values, before) << "nothing is reordered";
    }
    // Too few points for the correlated columns.
    auto small = Design(SampleMethod::Plain, 2, 4, 1);
    EXPECT_TRUE(ImposeRankCorrelations(small, {{0, 1, 0.3}, {1, 2, 0.3}}));
}

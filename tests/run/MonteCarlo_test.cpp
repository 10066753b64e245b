#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "PlanTestSupport.h"
#include "project/NumberText.h"
#include "run/MonteCarlo.h"
#include "run/PlanValues.h"
#include "run/SampledDraws.h"

using namespace korvane;
using namespace korvane::test;

namespace {

class MonteCarloTest : public ::testing::Test {
protected:
    void Load(const Project& p) { LoadForRun(p, dir, state); }

    // The values of calculations 2..n, as a run assigns them after PrepareMonteCarlo.
    std::vector<std::vector<std::string>> Run(int calculations) {
        std::vector<std::vector<std::string>> values;
        std::string error;
        EXPECT_TRUE(PrepareMonteCarlo(state, source, error)) << error;
        PlanSources sources;
        sources.random = &source;
        for (state.CalcCount = 2; state.CalcCount <= calculations; ++state.CalcCount) {
            EXPECT_TRUE(AssignPlanValues(state, sources, error)) << error;
            values.push_back(state.InputValues);
        }
        return values;
    }

    static Project TwoSampled(const std::string& seed) {
        Project p;
        p.taskPlan = plan::MonteCarlo;
        p.monteCarlo.randomSeed = seed;
        p.inputTasks = {Input("a", "9", "10", "11"), Input("fixed", "", "3.5", ""), Input("b", "", "0", ""),
                        Input("a", "9", "10", "11")};
        p.monteCarlo.sampledVariables = {{"a", kNormalDistribution, "10", "2"},
                                         {"b", kUniformDistribution, "0", "1"}};
        return p;
    }

    TempDir dir;
    RunState state;
    UniformSource source;
};

}  // namespace

TEST(UniformSourceTest, FollowsTheStandardEngineAndStaysInTheUnitInterval) {
    UniformSource u;
    u.seed(5489);  // the engine's default seed: its first output is fixed by the C++ standard
    EXPECT_EQ(u.next(), static_cast<float>(3499211612u >> 8) / 16777216.0f);
    for (int i = 0; i < 200000; ++i) {
        const float x = u.next();
        ASSERT_GE(x, 0.0f);
        ASSERT_LT(x, 1.0f);
    }
    EXPECT_EQ(SeedFromText("1234"), SeedFromText(" 1234.0abc"));
    EXPECT_NE(SeedFromText("1234"), SeedFromText("1235"));
    EXPECT_EQ(SeedFromText(""), SeedFromText("abc"));  // no number reads as 0
}

TEST(DrawTest, DrawsFollowTheFormulas) {
    UniformSource a, b;
    a.seed(7);
    b.seed(7);
    // Normal: the first number feeds the logarithm, the second the sine.
    const double u1 = b.next(), u2 = b.next();
    EXPECT_DOUBLE_EQ(DrawOnce(a, kNormalDistribution, 10, 2),
                     10 + 2 * std::sqrt(-2 * std::log(u1)) * std::sin(6.28318530717958 * u2));
    const double u = b.next();
    EXPECT_DOUBLE_EQ(DrawOnce(a, kUniformDistribution, 5, 0.5), 5 + 0.5 * (2 * u - 1));
    EXPECT_EQ(DrawOnce(a, "三角分布", 5, 1), 0.0);
    EXPECT_EQ(a.next(), b.next());  // an unknown distribution takes no number
}

// Drawn values stay strictly inside their limits, as written; limits a
// distribution never reaches give up instead of hanging, the value untouched.
TEST(DrawTest, ValuesStayStrictlyInsideTheirLimitsOrTheDrawGivesUp) {
    UniformSource u;
    u.seed(99);
    double x = 0;
    for (int i = 0; i < 20000; ++i) {
        ASSERT_TRUE(DrawSample(u, "9", "11", kNormalDistribution, 10, 2, x));
        const double written = LeadingNumber(GeneralNumber(x));
        ASSERT_TRUE(written > 9 && written < 11) << GeneralNumber(x);
        ASSERT_TRUE(DrawSample(u, "", "0", kNormalDistribution, 0, 1, x));
        ASSERT_LT(x, 0.0);
        ASSERT_TRUE(DrawSample(u, "-0.5", "", kUniformDistribution, 0, 1, x));
        ASSERT_TRUE(x > -0.5 && x < 1.0) << x;
        ASSERT_TRUE(DrawSample(u, "", "", kUniformDistribution, 0, 1, x));
        ASSERT_TRUE(x >= -1.0 && x < 1.0) << x;
    }
    x = 42;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(DrawSample(u, "2", "3", kUniformDistribution, 0, 1, x));
    EXPECT_FALSE(DrawSample(u, "1", "2", "不明", 0, 1, x));  // always 0
    EXPECT_EQ(x, 42);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

TEST_F(MonteCarloTest, FixedSeedReproducesTheValuesAndSharedNamesShareThem) {
    Load(TwoSampled("1234"));
    const auto first = Run(50);
    const auto second = Run(50);
    EXPECT_EQ(first, second);
    for (const auto& v : first) {
        EXPECT_EQ(v[4], v[1]);      // the second "a" carries the first one's value
        EXPECT_EQ(v[2], "3.5");     // unticked: the initial value
        const double a = LeadingNumber(v[1]);
        EXPECT_TRUE(a > 9 && a < 11) << v[1];
        const double b = LeadingNumber(v[3]);
        EXPECT_TRUE(b >= -1 && b < 1) << v[3];
    }
    EXPECT_NE(first[0][1], first[1][1]);

    // The repeated name draws no number: without it the other values are the same.
    Project p = TwoSampled("1234");
    p.inputTasks.pop_back();
    Load(p);
    const auto withoutRepeat = Run(50);
    for (std::size_t r = 0; r < first.size(); ++r) {
        EXPECT_EQ(withoutRepeat[r][1], first[r][1]);
        EXPECT_EQ(withoutRepeat[r][3], first[r][3]);
    }

    Load(TwoSampled("4321"));
    EXPECT_NE(Run(50), first);
    Load(TwoSampled("Random"));
    EXPECT_NE(Run(20), Run(20));
}

TEST_F(MonteCarloTest, ImpossibleLimitsStopTheRunNamingTheVariable) {
    Project p = TwoSampled("1");
    p.inputTasks[2] = Input("b", "5", "0", "5");  // lower not below upper
    Load(p);
    std::string error;
    EXPECT_FALSE(PrepareMonteCarlo(state, source, error));
    EXPECT_NE(error.find("変数[b]"), std::string::npos) << error;

    // Limits the uniform range never reaches: found while drawing, values kept.
    p.inputTasks[2] = Input("b", "2", "0", "3");
    Load(p);
    ASSERT_TRUE(PrepareMonteCarlo(state, source, error)) << error;
    const auto before = state.InputValues;
    PlanSources sources;
    sources.random = &source;
    state.CalcCount = 2;
    EXPECT_FALSE(AssignPlanValues(state, sources, error));
    EXPECT_NE(error.find("変数[b]"), std::string::npos) << error;
    EXPECT_NE(error.find("下限値：2"), std::string::npos) << error;
    EXPECT_NE(error.find("上限値：3"), std::string::npos) << error;
    EXPECT_EQ(state.InputValues, before);
}

// Through a design, calculation c takes point c - 2 whatever order the
// calculations are assigned in (as workers, ranks and a resumed run ask for
// them); names shared by several inputs share the value, values keep to the
// closed limits, and a project that asks for nothing new keeps the older draws.
TEST_F(MonteCarloTest, DesignValuesFollowTheCalculationNumber) {
    Project p = TwoSampled("1234");
    Load(p);
    SampledDraws draws;
    std::string error;
    ASSERT_TRUE(draws.prepare(state, true, error)) << error;
    EXPECT_FALSE(draws.active());

    p.monteCarlo.numOfCalc = "20";
    p.monteCarlo.sampledVariables[1] = {"b", kTriangularDistribution, "0", "1"};
    p.sampling.method = method::LHS;
    Load(p);
    ASSERT_TRUE(draws.prepare(state, true, error)) << error;
    ASSERT_TRUE(draws.active());
    PlanSources sources;
    sources.random = &source;
    sources.draws = &draws;
    auto assign = [&](std::int64_t c) {
        state.CalcCount = c;
        EXPECT_TRUE(AssignPlanValues(state, sources, error)) << error;
        return state.InputValues;
    };
    std::vector<std::vector<std::string>> forward, backward(21);
    for (std::int64_t c = 2; c <= 20; ++c) forward.push_back(assign(c));
    for (std::int64_t c = 20; c >= 2; --c) backward[c] = assign(c);
    for (std::int64_t c = 2; c <= 20; ++c) {
        const auto& v = forward[c - 2];
        EXPECT_EQ(v, backward[c]) << c;
        EXPECT_EQ(v[4], v[1]);
        EXPECT_EQ(v[2], "3.5");
        const double a = LeadingNumber(v[1]), b = LeadingNumber(v[3]);
        EXPECT_TRUE(a >= 9 && a <= 11) << v[1];
        EXPECT_TRUE(b >= -1 && b <= 1) << v[3];
    }
    // Past the design there is nothing to give, and the values stay.
    const auto before = state.InputValues;
    state.CalcCount = 21;
    EXPECT_FALSE(AssignPlanValues(state, sources, error));
    EXPECT_EQ(state.InputValues, before);

    // More variables than Sobol' points have dimensions: refused before any
    // design is made (the run load asks the same; see the run driver's tests).
    ResetRunArrays(state);
    state.PlanName = plan::MonteCarlo;
    state.MonteCarloCount = 10;
    state.Sampling.method = method::Sobol;
    for (std::size_t i = 1; i <= MaxSobolDimensions() + 1; ++i) {
        AddInputVariable(state, "v" + std::to_string(i), "A1", "S", "", 0.0, "", "", "");
        state.PlanSelected[i] = true;
        state.DistType[i] = kNormalDistribution;
        state.DistCenter[i] = 1.0;
        state.DistSpread[i] = 0.1;
    }
    EXPECT_FALSE(draws.prepare(state, true, error));
    EXPECT_EQ(error.rfind("Sobol点列で扱える変数は" + std::to_string(MaxSobolDimensions()) + "個まで", 0), 0u) << error;
    EXPECT_TRUE(error.ends_with("「MonteCarlo設定」で直して下さい。")) << error;
    // Saltelli's groups take two Sobol' dimensions per input: half as many.
    state.Sampling.method = method::Saltelli;
    state.MonteCarloCount = 2000;
    for (std::size_t i = MaxSobolDimensions() / 2 + 2; i <= state.inputCount(); ++i) state.PlanSelected[i] = false;
    EXPECT_FALSE(draws.prepare(state, true, error));
    EXPECT_EQ(error.rfind("サンプリング方法[Saltelli]で扱えるサンプリングする変数は" +
                              std::to_string(MaxSobolDimensions() / 2) + "個まで",
                          0),
              0u)
        << error;
    state.PlanSelected[MaxSobolDimensions() / 2 + 1] = false;
    EXPECT_TRUE(draws.prepare(state, false, error)) << error;
}

// When a Monte Carlo run's precision target is met: never before the 100th
// line, never for a mean of 0, invalid and unreadable lines counted as lines
// but not as values, the row's own confidence level used.
#include <gtest/gtest.h>

#include "project/Project.h"
#include "project/RunState.h"
#include "run/PrecisionStop.h"

namespace korvane {
namespace {

RunState TargetState(const std::string& output, const std::string& fraction, const std::string& percent = "") {
    RunState s;
    s.PlanName = plan::MonteCarlo;
    s.OutputNames = {"", "x", "y"};
    s.Sampling.hasPrecision = true;
    s.Sampling.precision = {output, fraction, percent};
    return s;
}

// The line at which the stop is first reached when fed `value(i)` for lines
// 1..limit (verdict from `valid(i)`), 0 when never.
template <class Value, class Valid>
std::int64_t ReachedAt(PrecisionStop& stop, Value value, Valid valid, std::int64_t limit = 1000) {
    for (std::int64_t i = 1; i <= limit; ++i) {
        stop.addLine(value(i), valid(i));
        if (stop.reached()) return i;
    }
    return 0;
}

TEST(PrecisionStop, IsReachedOnlyFromTheHundredthLineAndNeverForAMeanOfZero) {
    auto always = [](std::int64_t) { return true; };
    // Values that do not vary meet any target, but only at line 100.
    PrecisionStop constant(TargetState("y", "0.01"));
    ASSERT_TRUE(constant.active());
    EXPECT_EQ(constant.output(), 2u);
    EXPECT_EQ(ReachedAt(constant, [](std::int64_t) { return std::string("5"); }, always), 100);
    // Mean 0 (values -1, 1, ...): no relative precision, however many lines.
    PrecisionStop zero(TargetState("x", "0.5"));
    EXPECT_EQ(ReachedAt(zero, [](std::int64_t i) { return std::string(i % 2 ? "-1" : "1"); }, always), 0);
    // 10 +- 1 alternating: half-width t * 1.0025 / sqrt(n) <= 0.1 * 10 from
    // n = 7 on, so line 100; at 1 % it takes n >= about 390 (t 1.966).
    auto alternating = [](std::int64_t i) { return std::string(i % 2 ? "9" : "11"); };
    PrecisionStop tenPercent(TargetState("x", "0.1"));
    EXPECT_EQ(ReachedAt(tenPercent, alternating, always), 100);
    PrecisionStop onePercent(TargetState("x", "0.01"));
    const std::int64_t at95 = ReachedAt(onePercent, alternating, always);
    EXPECT_GT(at95, 380);
    EXPECT_LT(at95, 400);
    // A higher confidence level needs more lines.
    PrecisionStop at99(TargetState("x", "0.01", "99"));
    EXPECT_GT(ReachedAt(at99, alternating, always), at95 + 200);
    // Invalid and unreadable lines are lines but not values: a False line
    // holding 1000 does not spoil the mean, nor a value beyond any double
    // ("1e999"; a text without digits reads as 0, as in every analysis),
    // and every third line left out
    // needs more lines for the same number of values.
    PrecisionStop skipping(TargetState("x", "0.01"));
    const std::int64_t withGaps = ReachedAt(
        skipping, [&](std::int64_t i) { return i % 3 == 0 ? std::string(i % 2 ? "1000" : "1e999") : alternating(i); },
        [](std::int64_t i) { return i % 6 != 3; });
    EXPECT_GT(withGaps, at95 * 3 / 2 - 10);
    EXPECT_NE(skipping.message(withGaps).find("計算 " + std::to_string(withGaps) + " で終了しました (x: 平均 10"),
              std::string::npos)
        << skipping.message(withGaps);
}

TEST(PrecisionStop, IsInactiveWithoutATargetOfTheMonteCarloPlan) {
    RunState none = TargetState("x", "0.1");
    none.Sampling.hasPrecision = false;
    RunState otherPlan = TargetState("x", "0.1");
    otherPlan.PlanName = plan::DataFileInput;
    for (const RunState& s : {none, otherPlan, TargetState("z", "0.1"), TargetState("x", "0")}) {
        PrecisionStop stop(s);
        EXPECT_FALSE(stop.active());
        for (int i = 0; i < 200; ++i) stop.addLine("1", true);
        EXPECT_FALSE(stop.reached());
    }
}

}  // namespace
}  // namespace korvane

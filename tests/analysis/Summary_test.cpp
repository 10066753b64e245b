// The running summary of an output and the summary of a DB file: the spread
// against a direct two-pass computation where a naive one cancels, the t and
// Wilson factors against published tables, the quantile rule, and a DB file
// written by the DB writer over two runs with values that cannot be read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "TestSupport.h"
#include "analysis/RunningSummary.h"
#include "analysis/Summary.h"
#include "db/DbFile.h"
#include "project/RunState.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// Mean and sample standard deviation the textbook way: two passes.
void TwoPass(const std::vector<double>& v, double& mean, double& deviation) {
    double sum = 0;
    for (double x : v) sum += x;
    mean = sum / static_cast<double>(v.size());
    double squares = 0;
    for (double x : v) squares += (x - mean) * (x - mean);
    deviation = std::sqrt(squares / static_cast<double>(v.size() - 1));
}

}  // namespace

TEST(RunningSummary, AgreesWithTwoPassesOnAwkwardDataAndSaysWhatItCannotKnow) {
    // Values near 1e9 with a spread of about 1: a running sum of squares
    // would lose every digit of the spread, and Welford's update of the raw
    // values loses the eighth.
    std::vector<double> values;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 1000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        values.push_back(1e9 + static_cast<double>(seed >> 8) / static_cast<double>(1u << 24) * 2 - 1);
    }
    RunningSummary s;
    for (double v : values) s.add(v);
    double mean = 0, deviation = 0;
    TwoPass(values, mean, deviation);
    EXPECT_EQ(s.count(), 1000);
    EXPECT_NEAR(s.mean(), mean, 1e-6);
    EXPECT_NEAR(s.deviation(), deviation, 1e-11 * deviation);
    EXPECT_GT(deviation, 0.5);
    EXPECT_NEAR(s.halfWidth(95), StudentFactor(95, 999) * deviation / std::sqrt(1000.0), 1e-12);

    // One value: its mean, but no spread and no interval.
    RunningSummary one;
    one.add(-2.5);
    EXPECT_EQ(one.mean(), -2.5);
    EXPECT_TRUE(std::isnan(one.deviation()));
    EXPECT_TRUE(std::isnan(one.halfWidth()));

    // None: no share either.
    const RunningSummary none;
    EXPECT_EQ(none.mean(), 0.0);
    EXPECT_TRUE(std::isnan(none.invalidShare()));
    EXPECT_TRUE(std::isnan(none.invalidInterval().lower));

    // Values that do not vary: the value itself and an interval of exactly 0.
    RunningSummary same;
    for (int i = 0; i < 7; ++i) same.add(0.1);
    EXPECT_EQ(same.mean(), 0.1);
    EXPECT_EQ(same.deviation(), 0.0);
    EXPECT_EQ(same.halfWidth(99), 0.0);
    EXPECT_TRUE(std::isnan(same.halfWidth(100)));

    // Lines left out still count in the invalid share; an invalid line taken
    // in counts in both.
    RunningSummary mixed;
    mixed.add(1);
    mixed.add(3, false);
    mixed.leaveOut(false);
    mixed.leaveOut(true);
    EXPECT_EQ(mixed.count(), 2);
    EXPECT_EQ(mixed.mean(), 2.0);
    EXPECT_EQ(mixed.lines(), 4);
    EXPECT_EQ(mixed.invalid(), 2);
    EXPECT_EQ(mixed.invalidShare(), 0.5);
    EXPECT_EQ(mixed.invalidInterval().lower, WilsonInterval(2, 4).lower);
}

TEST(RunningSummary, StudentAndWilsonFactorsMatchPublishedTablesAndQuantilesInterpolate) {
    // Student t, two-sided (tables of t at 0.975 and 0.995).
    EXPECT_NEAR(StudentFactor(95, 1), 12.7062, 5e-5);
    EXPECT_NEAR(StudentFactor(95, 9), 2.2622, 5e-5);
    EXPECT_NEAR(StudentFactor(99, 30), 2.7500, 5e-5);
    EXPECT_NEAR(StudentFactor(95, 1000000), 1.95996, 5e-5);
    EXPECT_TRUE(std::isnan(StudentFactor(95, 0)));

    // Wilson score intervals at 95 % (Newcombe 1998, and 0, 5, 10 of 10).
    struct Case {
        std::int64_t hits, trials;
        double lower, upper;
    } cases[] = {{0, 10, 0, 0.2775}, {5, 10, 0.2366, 0.7634}, {10, 10, 0.7225, 1},
                 {81, 263, 0.2553, 0.3662}, {15, 148, 0.0624, 0.1605}, {0, 20, 0, 0.1611},
                 {1, 29, 0.0061, 0.1718}};
    for (const auto& c : cases) {
        const Interval w = WilsonInterval(c.hits, c.trials, 95);
        EXPECT_NEAR(w.lower, c.lower, 5e-5) << c.hits << "/" << c.trials;
        EXPECT_NEAR(w.upper, c.upper, 5e-5) << c.hits << "/" << c.trials;
    }
    // The bounds at none and at all are exact.
    EXPECT_EQ(WilsonInterval(0, 10).lower, 0.0);
    EXPECT_EQ(WilsonInterval(10, 10).upper, 1.0);
    EXPECT_TRUE(std::isnan(WilsonInterval(0, 0).upper));

    // Linear interpolation between order statistics (R's default, numpy's
    // "linear", PERCENTILE.INC).
    const std::vector<double> sorted{1, 2, 3, 4};
    EXPECT_DOUBLE_EQ(SortedQuantile(sorted, 0.05), 1.15);
    EXPECT_DOUBLE_EQ(SortedQuantile(sorted, 0.5), 2.5);
    EXPECT_DOUBLE_EQ(SortedQuantile(sorted, 0.95), 3.85);
    EXPECT_EQ(SortedQuantile({7}, 0.05), 7.0);
    EXPECT_EQ(SortedQuantile({0.1, 0.1, 0.1}, 0.95), 0.1);
    EXPECT_TRUE(std::isnan(SortedQuantile({}, 0.5)));
}

namespace {

RunState RunOf(const std::string& path, const char* mode, std::vector<std::string> outputs) {
    RunState s;
    s.DbPath = path;
    s.WriteMode = mode;
    s.InputNames.push_back("x");
    s.InputValues.push_back("");
    for (auto& name : outputs) {
        s.OutputNames.push_back(name);
        s.OutputValues.push_back("");
    }
    return s;
}

// One run: a line per row of output values, the last field the verdict.
void WriteRun(RunState s, const std::vector<std::vector<std::string>>& rows) {
    RecordingUi ui;
    DbWriter db(ui);
    ASSERT_TRUE(db.open(s));
    ASSERT_TRUE(db.writeHeader(s));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        s.CalcCount = static_cast<std::int64_t>(r + 1);
        s.InputValues[1] = std::to_string(r);
        for (std::size_t k = 0; k + 1 < rows[r].size(); ++k) s.OutputValues[k + 1] = rows[r][k];
        s.RunValid = rows[r].back() == "True";
        ASSERT_TRUE(db.writeRow(s));
    }
    ASSERT_TRUE(db.close());
}

}  // namespace

TEST(Summary, ADbFileOfTwoRunsWithUnreadableValuesAndAForeignBlock) {
    TempDir dir;
    const std::string path = dir.file("db.csv");
    // y varies; z is 5 except one value no double holds; w is never readable.
    WriteRun(RunOf(path, kDbOverWrite, {"y", "z", "w"}), {{"1", "5", "1e999", "True"},
                                                        {"2", "5", "1e999", "True"},
                                                        {"3", "1e999", "1e999", "True"},
                                                        {"100", "5", "1e999", "False"}});
    WriteRun(RunOf(path, kDbAppend, {"y", "z", "w"}), {{"4", "5", "1e999", "True"}, {"6", "5", "1e999", "True"}});
    // A run with other columns: its lines would land in the wrong columns.
    WriteRun(RunOf(path, kDbAppend, {"y"}), {{"1000", "True"}});

    SummaryResult r;
    ASSERT_TRUE(ComputeSummary(path, false, {}, r));
    EXPECT_EQ(r.lines, 6);
    EXPECT_EQ(r.skipped, 1);
    EXPECT_EQ(r.unreadable, 6);  // z once, w on every line taken
    // y: 1, 2, 3, 4, 6; mean 3.2, s = sqrt(3.7), t(0.975, 4) = 2.776445;
    // one False line in six: Wilson [0.03005, 0.56350].
    const std::vector<std::vector<std::string>> expected = {
        {"", "データ数", "平均", "平均95%下限", "平均95%上限", "標準偏差(n-1)", "5%点", "50%点", "95%点", "False率",
         "False率95%下限", "False率95%上限"},
        {"y", "5", "3.200e+0", "8.116e-1", "5.588e+0", "1.924e+0", "1.200e+0", "3.000e+0", "5.600e+0", "0.16667",
         "0.03005", "0.56350"},
        {"z", "4", "5.000e+0", "5.000e+0", "5.000e+0", "0.000e+0", "5.000e+0", "5.000e+0", "5.000e+0", "0.16667",
         "0.03005", "0.56350"},
        {"w", "0", "-", "-", "-", "-", "-", "-", "-", "0.16667", "0.03005", "0.56350"}};
    EXPECT_EQ(SummaryTable(r), expected);

    // Invalid lines taken in: the False line's 100 joins y; the share stays.
    ASSERT_TRUE(ComputeSummary(path, true, {}, r));
    const auto withInvalid = SummaryTable(r);
    EXPECT_EQ(withInvalid[1][1], "6");
    EXPECT_EQ(withInvalid[1][2], "1.933e+1");
    EXPECT_EQ(withInvalid[1][8], "7.650e+1");  // 6 + 0.75 * (100 - 6)
    EXPECT_EQ(withInvalid[1][9], "0.16667");

    // A stop leaves nothing half done.
    const ProgressFn stop = [](double) { return false; };
    std::string many = Cp932Lines({"Count,x,y,Validity(制限判定)", "-,[Input],[Output],[System]"});
    for (int i = 0; i < 5000; ++i) many += std::to_string(i) + ",1,2,True\r\n";
    WriteBytes(dir.file("many.csv"), many);
    EXPECT_FALSE(ComputeSummary(dir.file("many.csv"), false, stop, r));
    EXPECT_TRUE(r.stopped);
    EXPECT_EQ(r.outputs.at(0).running.count(), 0);
}

// The analyses on real DB files whose results are known by hand: population
// statistics, least-squares sensitivities, level means in decibels, X/Y
// ranges, and the lines every analysis leaves out.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TestSupport.h"
#include "analysis/ChartFrame.h"
#include "analysis/FactorialEffects.h"
#include "db/Csv.h"
#include "analysis/Histogram.h"
#include "db/ResultTable.h"
#include "analysis/Sensitivity.h"
#include "analysis/Statistics.h"
#include "analysis/XYGraph.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// A DB file of the usual layout: Count, inputs, outputs, verdict.
std::string WriteDb(const TempDir& dir, const std::string& name, const std::vector<std::string>& lines) {
    const std::string path = dir.file(name);
    WriteBytes(path, Cp932Lines(lines));
    return path;
}

const std::string kNames = "Count,a,b,y,Validity(制限判定)";
const std::string kKinds = "-,[Input],[Input],[Output],[System]";

}  // namespace

TEST(CsvNumber, GroupingCommasInsideTheIntegerDigitsAreIgnoredAndQuotedFieldsStayWhole) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"1,234", 1234},          {"-1,234,567.5", -1234567.5}, {" +12,345e-2x", 123.45},
        {"1,2", 1},               {"1,2345", 1},                {",123", 0},
        {"12abc", 12},            {"", 0},                      {"-", 0},
        {"1,234.5,678", 1234.5},  {"0.5,123", 0.5},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(CsvNumber(c.text), c.value) << c.text;

    // In a DB file a spreadsheet's formatted number and a text with a comma
    // come quoted: they stay whole and read as their numbers.
    TempDir dir;
    const std::string path = WriteDb(dir, "q.csv",
                                     {kNames, kKinds, "1,\"1,234\",\"a, b\",2,True", "2,766,7,4,True"});
    StatisticsResult r;
    ASSERT_TRUE(ComputeStatistics(path, false, {}, r));
    EXPECT_EQ(r.skipped, 0);
    EXPECT_EQ(r.used, 2);
    EXPECT_DOUBLE_EQ(r.columns[0].mean, 1000);
    EXPECT_DOUBLE_EQ(r.columns[1].minimum, 0);
}

void ExpectFrame(const ChartFrame& f, const ChartFrame& expected) {
    EXPECT_NEAR(f.left, expected.left, 1e-12);
    EXPECT_NEAR(f.top, expected.top, 1e-12);
    EXPECT_NEAR(f.right, expected.right, 1e-12);
    EXPECT_NEAR(f.bottom, expected.bottom, 1e-12);
}

TEST(ChartFrames, MarginsAndTheFrameOfEachChart) {
    // x: (-5, 2) widens by 1; y: (100, 101) by 20.2, far more than its width.
    ExpectFrame(XYFrame(-5, 2, 100, 101), {-6, 121.2, 3, 79.8});
    ExpectFrame(EffectsFrame(-10, 20), {-1.3, 24, 18.5, -14});
    // The histogram's top falls from 6.2 C towards 1.2 C as the counting ends.
    EXPECT_DOUBLE_EQ(HistogramFrame(3, 5, 10).top, 3 * 3.7);
    EXPECT_DOUBLE_EQ(HistogramFrame(3, 10, 10).top, 3.6);
    EXPECT_EQ(SensitivityProfileFrame(-0.5, 1, 1), (ChartFrame{-1.1, 0, 1.1, 8}));
    EXPECT_EQ(SensitivityProfileFrame(0, 1, 4), (ChartFrame{-0.1, 3, 1.1, 11}));
    EXPECT_EQ(SensitivityProfileFrame(-1, -0.5, 2).right, 0.1);
}

TEST(Statistics, PopulationFiguresOverTheUsedLinesOnly) {
    TempDir dir;
    // a: 1, 2, 3; b: far from zero, where a one-pass variance loses its digits;
    // y: "-" counts as 0. The invalid line and the short line are left out;
    // the second header pair is not data.
    const std::string path = WriteDb(dir, "db.csv",
                                     {kNames, kKinds, "1,1,1000000001,-,True", "2,2,1000000002,4,True",
                                      "3,50,7,7,False", "4,3", kNames, kKinds, "5,3,1000000003,2,true"});
    StatisticsResult r;
    ASSERT_TRUE(ComputeStatistics(path, false, {}, r));
    EXPECT_EQ(r.used, 3);
    EXPECT_EQ(r.skipped, 1);
    const auto rows = StatisticsTable(r);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"", "最小", "平均", "最大", "分散", "標準偏差"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"a", "1.000e+0", "2.000e+0", "3.000e+0", "6.667e-1", "8.165e-1"}));
    EXPECT_EQ(rows[2][4], "6.667e-1");
    EXPECT_EQ(rows[3], (std::vector<std::string>{"y", "0.000e+0", "2.000e+0", "4.000e+0", "2.667e+0", "1.633e+0"}));
    EXPECT_DOUBLE_EQ(r.columns[1].variance, 2.0 / 3.0);

    // Invalid lines included: a = 1, 2, 50, 3.
    ASSERT_TRUE(ComputeStatistics(path, true, {}, r));
    EXPECT_EQ(r.used, 4);
    EXPECT_DOUBLE_EQ(r.columns[0].mean, 14);
    EXPECT_DOUBLE_EQ(r.columns[0].variance, (169 + 144 + 1296 + 121) / 4.0);
    // Up to 100 used lines a sample is small.
    EXPECT_TRUE(IsSmallSample(100));
    EXPECT_FALSE(IsSmallSample(101));
}

TEST(Statistics, NoUsedLineStopAndUnreadableFiles) {
    TempDir dir;
    StatisticsResult r;
    // Every line invalid: the values are "-", nothing is divided by zero.
    ASSERT_TRUE(ComputeStatistics(WriteDb(dir, "bad.csv", {kNames, kKinds, "1,1,2,3,False"}), false, {}, r));
    EXPECT_EQ(r.used, 0);
    EXPECT_EQ(StatisticsTable(r)[1], (std::vector<std::string>{"a", "-", "-", "-", "-", "-"}));

    // Stopped in the second pass: no column keeps values.
    std::vector<std::string> lines{kNames, kKinds};
    for (int i = 0; i < 10000; ++i) lines.push_back(std::to_string(i) + ",1,2,3,True");
    const std::string big = WriteDb(dir, "big.csv", lines);
    double seen = 0;
    EXPECT_FALSE(ComputeStatistics(big, false, [&](double done) {
        seen = done;
        return done < 0.6;
    }, r));
    EXPECT_TRUE(r.stopped);
    EXPECT_GE(seen, 0.6);
    EXPECT_EQ(StatisticsTable(r)[1], (std::vector<std::string>{"a", "", "", "", "", ""}));

    EXPECT_FALSE(ComputeStatistics(dir.file("missing.csv"), false, {}, r));
    EXPECT_NE(r.error.find("missing.csv"), std::string::npos);
    EXPECT_FALSE(ComputeStatistics(WriteDb(dir, "empty.csv", {}), false, {}, r));
    EXPECT_FALSE(r.error.empty());
    WriteBytes(dir.file("binary.csv"), Cp932Lines({kNames}) + "\x81\x20\r\n");
    EXPECT_FALSE(ComputeStatistics(dir.file("binary.csv"), false, {}, r));
    EXPECT_NE(r.error.find("binary.csv の 2 行目は Shift_JIS"), std::string::npos) << r.error;
    // A folder chosen as the DB file says so.
    EXPECT_FALSE(ComputeStatistics(dir.path(), false, {}, r));
    EXPECT_EQ(r.error, "DBファイルではなくフォルダです: " + dir.path());
}

TEST(Statistics, ConstantColumnsValuesNearTheLimitsAndNumbersNoDoubleHolds) {
    TempDir dir;
    // a: 0.1 three times, whose plain sum is not 0.3; b: values near the
    // largest double, whose sum overflows though their mean does not; "1e999"
    // is no value at all: its line is left out and counted, and a number at
    // the largest double's own text still reads.
    const std::string path =
        WriteDb(dir, "edge.csv", {kNames, kKinds, "1,0.1,1.5e308,1,True", "2,0.1,1.7e308,2,True",
                                  "3,0.1,1.6e308,3,True", "4,1e999,0,4,True", "5,0.1,1,-1E+9999,False",
                                  "6,0.1,1.79769313486232E+308,1,False"});
    StatisticsResult r;
    ASSERT_TRUE(ComputeStatistics(path, false, {}, r));
    EXPECT_EQ(r.used, 3);
    EXPECT_EQ(r.unreadable, 1);  // the invalid lines are left out before they are read
    EXPECT_EQ(r.columns[0].mean, 0.1);
    EXPECT_EQ(r.columns[0].variance, 0.0);
    EXPECT_EQ(StatisticsTable(r)[1][4], "0.000e+0");
    EXPECT_TRUE(std::isfinite(r.columns[1].mean));
    EXPECT_DOUBLE_EQ(r.columns[1].mean, 1.6e308);
    ASSERT_TRUE(ComputeStatistics(path, true, {}, r));
    EXPECT_EQ(r.used, 4);
    EXPECT_EQ(r.unreadable, 2);
    EXPECT_EQ(r.columns[1].maximum, std::numeric_limits<double>::max());
    EXPECT_EQ(SkippedLinesMessage(0, 2), "数値として読めない値（範囲外の数値）を含む 2 行は解析から除きました。");
    EXPECT_EQ(SkippedLinesMessage(1, 2), "見出しと列数が合わない 1 行は解析から除きました。\n" +
                                             SkippedLinesMessage(0, 2));

    // The other analyses leave the same line out.
    HistogramResult h;
    ASSERT_TRUE(CountHistogram(path, 1, false, {}, {}, h));
    EXPECT_EQ(h.total, 3);
    EXPECT_EQ(h.unreadable, 1);
    XYScan xy;
    std::string error;
    ASSERT_TRUE(ScanXY(path, "a", "y", false, {}, xy, error));
    EXPECT_EQ(xy.points, 4);
    EXPECT_EQ(xy.x.hi, 0.1);
    EffectsTable t;
    ASSERT_TRUE(ReadEffectsTable(path, t, error));
    EXPECT_EQ(t.dataLines, 4u);
    EXPECT_EQ(t.unreadable, 2);
}

TEST(Histogram, TwentySixValuesOneValueAndNone) {
    TempDir dir;
    std::vector<std::string> lines{"Count,v,Validity(制限判定)", "-,[Output],[System]"};
    for (int i = 0; i <= 25; ++i) lines.push_back(std::to_string(i + 1) + "," + std::to_string(i) + ",True");
    HistogramResult r;
    std::vector<std::int64_t> steps;
    ASSERT_TRUE(CountHistogram(WriteDb(dir, "h.csv", lines), 1, false, {},
                               [&](const HistogramResult& h) {
                                   steps.push_back(h.counted);
                                   return true;
                               },
                               r));
    EXPECT_DOUBLE_EQ(r.width, 1);
    EXPECT_DOUBLE_EQ(r.mean, 12.5);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(r.bins[i], 1) << i;
    EXPECT_EQ(r.bins[24], 2);  // 24 and the maximum 25
    EXPECT_EQ(r.largest, 2);
    // After the range, after every fifth line, and once at the end.
    EXPECT_EQ(steps, (std::vector<std::int64_t>{0, 5, 10, 15, 20, 25, 26}));
    EXPECT_DOUBLE_EQ(HistogramFrame(r).top, 2.4);

    // One distinct value: no width, one bar in the middle.
    lines.resize(2);
    for (int i = 0; i < 7; ++i) lines.push_back(std::to_string(i) + ",4.5,True");
    lines.push_back("8,99,FALSE");
    ASSERT_TRUE(CountHistogram(WriteDb(dir, "one.csv", lines), 1, false, {}, {}, r));
    EXPECT_EQ(r.width, 0);
    EXPECT_EQ(r.bins[kSingleValueBin], 7);
    EXPECT_EQ(r.total, 7);
    EXPECT_DOUBLE_EQ(HistogramMeanX(r), kSingleValueBin + 1);

    // No used line: nothing counted, a frame the picture area can still use.
    lines.resize(2);
    ASSERT_TRUE(CountHistogram(WriteDb(dir, "none.csv", lines), 1, false, {}, {}, r));
    EXPECT_EQ(r.total, 0);
    EXPECT_EQ(r.largest, 0);
}

TEST(Sensitivity, SlopesOverTheInputRangeNormalisedPerOutput) {
    TempDir dir;
    // a and b are orthogonal (a: 1..4, b: 0,1,1,0), so the least-squares slope
    // of p = 3a - 2b is 3 over a and -2 over b: s = 3·3 = 9 and -2·1 = -2.
    // q is constant, c does not vary. The invalid line would spoil the slopes.
    const std::string path = WriteDb(
        dir, "s.csv",
        {"Count,a,b,c,p,q,Validity(制限判定)", "-,[Input],[Input],[Input],[Output],[Output],[System]",
         "1,1,0,7,3,5,True", "2,2,1,7,4,5,True", "3,3,1,7,7,5,True", "4,4,0,7,12,5,True",
         "5,100,9,1,-400,9,False"});
    SensitivityResult r;
    ASSERT_TRUE(ComputeSensitivity(path, false, {}, r));
    EXPECT_EQ(r.used, 4);
    EXPECT_DOUBLE_EQ(r.change[0][0], 9);
    EXPECT_DOUBLE_EQ(r.change[1][0], -2);
    EXPECT_EQ(r.change[2][0], 0);

    // The table as the window shows it (normalised per output, the largest
    // marked, an objective's total): the window's tests. Here: an input that
    // does not vary, and a total over an output that does not vary either.
    SensitivityTable t(r);
    t.fill(r);
    EXPECT_EQ(t.rows()[4], (std::vector<std::string>{"c", "0.00000", "-", ""}));
    EXPECT_FALSE(t.highlighted(3, 1));
    t.setObjective(2, kMaximise);
    EXPECT_EQ(t.text(2, 3), "0");
    EXPECT_FALSE(t.highlighted(2, 3));
    t.setObjective(2, kNoObjective);
    EXPECT_EQ(t.text(2, 3), "");

    // With the invalid line, a's range is 1..100 and p falls steeply.
    ASSERT_TRUE(ComputeSensitivity(path, true, {}, r));
    EXPECT_EQ(r.used, 5);
    EXPECT_LT(r.change[0][0], 0);
    SensitivityTable all(r);
    all.fill(r);
    // Both slopes are negative now; b's change is the larger (-47.04 * 9
    // against -4.1645 * 99), and the values stay positive.
    EXPECT_EQ(all.text(3, 1), "1.00000");
    EXPECT_EQ(all.text(2, 1), "0.97376");
}

TEST(Sensitivity, InputsFarFromZeroOutputsThatDoNotVaryAndTiesAtTheTop) {
    TempDir dir;
    // x = 1e9 + 1, 2, 3 and y = 2x - 2e9 (2, 4, 6): b = 2, s = 4, the same
    // figure as near zero; plain sums of x² would lose every digit of it. z
    // is the same value in every line, up to the last digit a formula gives.
    const std::string path =
        WriteDb(dir, "far.csv", {"Count,x,w,y,z,Validity(制限判定)", "-,[Input],[Input],[Output],[Output],[System]",
                                 "1,1000000001,1,2,0.30000000000000004,True", "2,1000000002,3,4,0.30000000000000004,True",
                                 "3,1000000003,2,6,0.30000000000000004,True", "4,1000000002,1e999,0,0,True"});
    SensitivityResult r;
    ASSERT_TRUE(ComputeSensitivity(path, false, {}, r));
    EXPECT_EQ(r.used, 3);
    EXPECT_EQ(r.unreadable, 1);
    EXPECT_DOUBLE_EQ(r.change[0][0], 4);
    EXPECT_DOUBLE_EQ(r.change[1][0], 2);  // w 1, 3, 2 against y: b 1, range 2
    EXPECT_EQ(r.change[0][1], 0);
    SensitivityTable t(r);
    t.fill(r);
    EXPECT_EQ(t.text(2, 1), "1.00000");
    EXPECT_EQ(t.text(3, 1), "0.50000");
    EXPECT_EQ(t.text(2, 2), "-");
    EXPECT_EQ(t.text(3, 2), "-");
    EXPECT_FALSE(t.highlighted(2, 2));
    EXPECT_EQ(SlopeChange(0, 0, 1, 1), 0);

    // Two inputs that both print as 1.00000 are both marked.
    r.inputs = {"a", "b"};
    r.outputs = {"p"};
    r.change = {{1.0}, {-0.999996}};
    SensitivityTable both(r);
    both.fill(r);
    EXPECT_EQ(both.text(3, 1), "1.00000");
    EXPECT_TRUE(both.highlighted(2, 1));
    EXPECT_TRUE(both.highlighted(3, 1));
}

TEST(FactorialEffects, LevelMeansInDecibels) {
    TempDir dir;
    // A: three levels (one written "2.0"); B: two levels (mid 20 never occurs).
    // y by level of A: H (3) mean 1 -> 0 dB; M (2) mean -10 -> 20 dB;
    // L (1) mean 10 -> 20 dB. z = A - 2 has mean 0 at M: no logarithm.
    const std::string path = WriteDb(
        dir, "oa.csv",
        {"Count,A,B,y,z,Validity(制限判定)", "-,[Input],[Input],[Output],[Output],[System]",
         "1,1,10,10,-1,True", "2,2.0,30,-10,0,False", "3,3,10,1,1,True", "4,1,30,10,-1,True",
         "5,2,10,-10,0,True", "6,3,30,1,1,True"});
    EffectsTable t;
    std::string error;
    ASSERT_TRUE(ReadEffectsTable(path, t, error)) << error;
    using Row = std::vector<std::string>;
    EXPECT_EQ(t.rows[0], (Row{"水準/変数名", "A", "B", "y", "z"}));
    EXPECT_EQ(t.rows[1], (Row{"水準(H)/Max値", "3", "30", "10", "1"}));
    EXPECT_EQ(t.rows[2], (Row{"水準(M)/Ave値", "2", "-", "0.333333333333333", "0"}));
    EXPECT_EQ(t.rows[3], (Row{"水準(L)/Min値", "1", "10", "-10", "-1"}));
    EXPECT_EQ(t.rows[5], (Row{"2", "2.0", "30", "-10", "0"}));  // every line, as text
    EXPECT_EQ(t.dataLines, 6u);

    const FactorLevels a = LevelValues(t, 0, "A");
    EXPECT_EQ(a.high, "0.000000");
    EXPECT_EQ(a.middle, "20.000000");
    EXPECT_EQ(a.low, "20.000000");
    // B: means 1/3 at both levels, 20 log10(1/3) dB; no M level.
    const FactorLevels b = LevelValues(t, 0, "B");
    EXPECT_EQ(b.middle, "-");
    EXPECT_EQ(b.high, "-9.542425");
    EXPECT_EQ(b.low, "-9.542425");
    const FactorLevels z = LevelValues(t, 1, "A");
    EXPECT_EQ(z.middle, "-");  // mean 0, not a value of another cell
    EXPECT_EQ(z.high, "0.000000");
    EXPECT_EQ(LevelValues(t, 0, "").high, "-");

    const RunningRange range = LevelRange({a, b, z});
    EXPECT_DOUBLE_EQ(range.lo, -9.542425);
    EXPECT_DOUBLE_EQ(range.hi, 20);

    // Plot groups: B has two points (L, H) and equal values put the marker on
    // H; A's largest is shared by M and L, and M wins over L.
    const EffectGroup gb = PlotGroup(2, b);
    EXPECT_TRUE(gb.present[0] && !gb.present[1] && gb.present[2]);
    EXPECT_EQ(gb.x[0], 4);
    EXPECT_EQ(gb.x[2], 6);
    EXPECT_EQ(gb.marker, 2);
    EXPECT_EQ(PlotGroup(1, a).marker, 1);
    EXPECT_DOUBLE_EQ(Decibels(-10), 20);
}

TEST(FactorialEffects, TooManyLinesAndFilesWithoutFactors) {
    TempDir dir;
    std::vector<std::string> lines{"Count,A,y,Validity(制限判定)", "-,[Input],[Output],[System]"};
    for (int i = 1; i <= 198; ++i) lines.push_back(std::to_string(i) + "," + std::to_string(i % 2) + ",1,True");
    EffectsTable t;
    std::string error;
    ASSERT_TRUE(ReadEffectsTable(WriteDb(dir, "long.csv", lines), t, error));
    EXPECT_TRUE(t.truncated);
    EXPECT_EQ(t.dataLines, kMaxEffectLines);
    EXPECT_EQ(t.rows.size(), kMaxEffectLines + 4);
    EXPECT_FALSE(ReadEffectsTable(WriteDb(dir, "flat.csv", {"Count,A,Validity(制限判定)", "-,[Input],[System]"}), t,
                                  error));
    EXPECT_NE(error.find("flat.csv"), std::string::npos);
}

TEST(XYGraph, RangesOverTheLinesTakenAndTheVerdictAsZeroOrOne) {
    TempDir dir;
    const std::string path = WriteDb(dir, "xy.csv",
                                     {kNames, kKinds, "1,1,0,2,True", "2,2,0,4,True", "3,100,0,-50,False"});
    XYScan s;
    std::string error;
    std::vector<XYPoint> points;
    ASSERT_TRUE(ScanXY(path, "a", "y", true, [&](const XYPoint& p) { points.push_back(p); }, s, error));
    EXPECT_EQ(points.size(), 2u);  // the invalid outlier neither drawn ...
    EXPECT_EQ(s.x.hi, 2);          // ... nor widening the axes
    EXPECT_EQ(XYFrame(s), XYFrame(1, 2, 2, 4));
    ASSERT_TRUE(ScanXY(path, "Count", "Validity(制限判定)", false, {}, s, error));
    EXPECT_EQ(s.points, 3);
    EXPECT_EQ(s.y.lo, 0);
    EXPECT_EQ(s.y.hi, 1);
    EXPECT_FALSE(ScanXY(path, "a", "nothing", false, {}, s, error));
    EXPECT_NE(error.find("nothing"), std::string::npos);
}

TEST(ResultTable, SavedAsDisplayedQuotingOnlyWhatWouldSplit) {
    TempDir dir;
    std::string error;
    ASSERT_TRUE(SaveResultTable(dir.file("out.csv"), {{"", "最小"}, {"荷重,縦", "1.000e+0"}, {"a\"b", ""}}, error));
    EXPECT_EQ(ReadBytes(dir.file("out.csv")), Cp932Lines({",最小", "\"荷重,縦\",1.000e+0", "\"a\"\"b\","}));
    EXPECT_FALSE(SaveResultTable(dir.file("no/such/folder/out.csv"), {{"x"}}, error));
    EXPECT_FALSE(error.empty());
}

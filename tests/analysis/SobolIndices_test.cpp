// Sobol' indices from DB files the tests write: a Saltelli design of a linear
// model (whose indices are the squared standardised coefficients) with the
// lines a real study leaves behind (initial values, an unfinished group, an
// unreadable value, a False line, a line that does not fit its header); the
// given-data estimator on a plain random sample of a function a regression
// cannot see; and the files that are refused.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "analysis/SobolIndices.h"
#include "project/NumberText.h"

using namespace korvane;
using namespace korvane::test;

namespace {

using Model = std::function<double(const std::vector<double>&)>;

std::string Line(long count, const std::vector<double>& x, const std::vector<std::string>& outputs,
                 const char* verdict = "True") {
    std::string line = std::to_string(count);
    for (double v : x) line += "," + GeneralNumber(v);
    for (const auto& y : outputs) line += "," + y;
    return line + "," + verdict;
}

std::vector<std::string> Header(std::size_t inputs, const std::vector<std::string>& outputs) {
    std::string names = "Count", kinds = "-";
    for (std::size_t i = 1; i <= inputs; ++i) names += ",x" + std::to_string(i), kinds += ",[Input]";
    for (const auto& o : outputs) names += "," + o, kinds += ",[Output]";
    return {names + ",Validity(制限判定)", kinds + ",[System]"};
}

// The lines of a Saltelli design of `groups` groups: initial values, then
// A, B, AB(1)..AB(k) per group, inputs uniform on (0, 1), outputs y = model
// and z = 5. The values are rounded to 15 digits as the DB file holds them.
std::vector<std::string> DesignLines(std::size_t k, std::size_t groups, const Model& model, unsigned seed = 1) {
    std::vector<std::string> lines = Header(k, {"y", "z"});
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    long count = 0;
    const auto add = [&](std::vector<double> x) {
        for (double& v : x) v = LeadingNumber(GeneralNumber(v));
        lines.push_back(Line(count++, x, {GeneralNumber(model(x)), "5"}));
    };
    add(std::vector<double>(k, 0.5));
    for (std::size_t j = 0; j < groups; ++j) {
        std::vector<double> a(k), b(k);
        for (std::size_t i = 0; i < k; ++i) a[i] = uniform(random), b[i] = uniform(random);
        add(a);
        add(b);
        for (std::size_t i = 0; i < k; ++i) {
            auto ab = a;
            ab[i] = b[i];
            add(ab);
        }
    }
    return lines;
}

bool Compute(const std::string& path, SobolResult& r, bool includeInvalid = false) {
    SobolOptions options;
    options.includeInvalid = includeInvalid;
    return ComputeSobolIndices(path, options, {}, r);
}

}  // namespace

TEST(SobolIndices, ALinearDesignGivesTheSquaredStandardisedCoefficientsFromWhatIsLeftOfAStudy) {
    // y = 3 x1 + 2 x2 + x3 on uniform inputs: S1 = ST = c^2 / 14.
    const Model linear = [](const std::vector<double>& x) { return 3 * x[0] + 2 * x[1] + x[2]; };
    auto lines = DesignLines(3, 1500, linear);
    // Line 2 + 1 + 5 * 10 + 1 is AB(2) of group 11: its y cannot be read;
    // group 21's B is False; group 31's A holds a value with a comma, so the
    // line does not fit its header and the group cannot be used, but the
    // groups after it keep their places. A study stopped early left three
    // lines of a further group.
    {
        auto& l = lines[2 + 1 + 10 * 5 + 3];
        const std::size_t z = l.rfind(",5,");
        const std::size_t y = l.rfind(',', z - 1);
        l = l.substr(0, y) + ",1e999" + l.substr(z);
    }
    {
        auto& l = lines[2 + 1 + 20 * 5 + 1];
        l = l.substr(0, l.rfind(',')) + ",False";
    }
    {
        auto& l = lines[2 + 1 + 30 * 5];
        l = l.substr(0, l.rfind(",5,")) + ",Copper, annealed,True";
    }
    const auto tail = DesignLines(3, 1, linear, 99);
    lines.insert(lines.end(), tail.begin() + 3, tail.begin() + 6);

    TempDir dir;
    WriteBytes(dir.file("design.csv"), Cp932Lines(lines));
    SobolResult r;
    ASSERT_TRUE(Compute(dir.file("design.csv"), r)) << r.error;
    EXPECT_EQ(r.estimate, SobolEstimate::Design);
    EXPECT_EQ(r.groups, 1500);
    EXPECT_EQ(r.groupSize, 5);
    EXPECT_EQ(r.unfinishedLines, 3);
    EXPECT_EQ(r.skipped, 1);
    ASSERT_EQ(r.outputs.size(), 2u);
    const SobolOutputIndices& y = r.outputs[0];
    // The unreadable y, the False line and the line that does not fit.
    EXPECT_EQ(y.used, 1497);
    EXPECT_EQ(y.leftOut, 3);
    const double c[] = {3, 2, 1};
    for (std::size_t i = 0; i < 3; ++i) {
        const double exact = c[i] * c[i] / 14;
        const SobolInputIndices& x = y.inputs[i];
        EXPECT_NEAR(x.first.value, exact, 0.04) << i;
        EXPECT_NEAR(x.total.value, exact, 0.03) << i;
        EXPECT_LE(x.first.interval.lower, x.first.value);
        EXPECT_GE(x.first.interval.upper, x.first.value);
        EXPECT_LT(x.first.interval.lower, exact);
        EXPECT_GT(x.first.interval.upper, exact);
        EXPECT_LT(x.total.interval.lower, exact);
        EXPECT_GT(x.total.interval.upper, exact);
    }
    EXPECT_NEAR(y.interactions, 0, 0.05);
    // z is 5 throughout: no indices at all, not rounding noise over zero.
    EXPECT_FALSE(r.outputs[1].varies);
    const auto table = SobolTable(r);
    ASSERT_EQ(table.size(), 1u + 2 * 4);
    EXPECT_EQ(table[0], (std::vector<std::string>{"出力", "入力", "S1", "S1 95%下限", "S1 95%上限", "ST",
                                                   "ST 95%下限", "ST 95%上限"}));
    EXPECT_EQ(table[5], (std::vector<std::string>{"z", "x1", "-", "-", "-", "-", "-", "-"}));
    EXPECT_EQ(table[8][1], "<交互作用>");
    EXPECT_EQ(table[8][2], "-");

    // Taking the False line in gives that group back; the same file gives
    // the very same intervals every time.
    SobolResult again, withInvalid;
    ASSERT_TRUE(Compute(dir.file("design.csv"), again));
    EXPECT_EQ(SobolTable(again), table);
    ASSERT_TRUE(Compute(dir.file("design.csv"), withInvalid, true));
    EXPECT_EQ(withInvalid.outputs[0].used, 1498);
}

TEST(SobolIndices, FromAPlainSampleOnlyFirstOrderIndicesThatARegressionWouldMiss) {
    // y = x1^2 + x2 on uniform (-1, 1), x3 does nothing, x4 is fixed:
    // S1 = 4/19, 15/19, 0. A straight-line fit sees nothing of x1, and the
    // share between bins without the correction would give x3 about 0.02.
    std::vector<std::string> lines = Header(4, {"y"});
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (long n = 0; n < 4000; ++n) {
        std::vector<double> x = {uniform(random), uniform(random), uniform(random), 7};
        for (double& v : x) v = LeadingNumber(GeneralNumber(v));
        lines.push_back(Line(n, x, {GeneralNumber(x[0] * x[0] + x[1])}));
    }
    TempDir dir;
    WriteBytes(dir.file("sample.csv"), Cp932Lines(lines));
    SobolResult r;
    ASSERT_TRUE(Compute(dir.file("sample.csv"), r)) << r.error;
    EXPECT_EQ(r.estimate, SobolEstimate::GivenData);
    const auto& y = r.outputs[0];
    EXPECT_EQ(y.used, 4000);
    EXPECT_NEAR(y.inputs[0].first.value, 4.0 / 19, 0.03);
    EXPECT_NEAR(y.inputs[1].first.value, 15.0 / 19, 0.03);
    EXPECT_NEAR(y.inputs[2].first.value, 0, 0.01);
    EXPECT_LT(y.inputs[2].first.interval.lower, 0.005);
    EXPECT_LT(y.inputs[0].first.interval.lower, 4.0 / 19);
    EXPECT_GT(y.inputs[0].first.interval.upper, 4.0 / 19);
    EXPECT_FALSE(r.inputVaries[3]);
    EXPECT_TRUE(std::isnan(y.inputs[3].first.value));
    for (const auto& x : y.inputs) EXPECT_TRUE(std::isnan(x.total.value));
    const auto table = SobolTable(r);
    EXPECT_EQ(table[1][5], "-");
    EXPECT_EQ(table.back(), std::vector<std::string>{kSobolTotalNeedsDesign});
    const auto notes = SobolNotes(r);
    EXPECT_NE(std::find(notes.begin(), notes.end(), std::string(kSobolTotalNeedsDesign)), notes.end());
}

TEST(SobolIndices, FilesThatCannotGiveIndicesAreRefusedWithTheirReason) {
    const Model linear = [](const std::vector<double>& x) { return x[0] + 2 * x[1]; };
    TempDir dir;
    SobolResult r;

    // The design breaks off in its fifth group (file line 2 + 1 + 5 * 4 + 3): an AB line
    // that takes both inputs from B.
    auto broken = DesignLines(2, 40, linear);
    const std::size_t bad = 2 + 1 + 5 * 4 + 2;
    broken[bad] = broken[2 + 1 + 5 * 4 + 1];
    WriteBytes(dir.file("broken.csv"), Cp932Lines(broken));
    EXPECT_FALSE(Compute(dir.file("broken.csv"), r));
    EXPECT_TRUE(r.brokenDesign);
    EXPECT_NE(r.error.find(std::to_string(bad + 1) + " 行目"), std::string::npos) << r.error;

    // Five groups are too few for a bootstrap; so are ten plain lines.
    WriteBytes(dir.file("few.csv"), Cp932Lines(DesignLines(2, 5, linear)));
    EXPECT_FALSE(Compute(dir.file("few.csv"), r));
    EXPECT_TRUE(r.tooFew);
    EXPECT_EQ(r.estimate, SobolEstimate::Design);
    EXPECT_NE(r.error.find("5 個"), std::string::npos) << r.error;

    // The columns of a large design do not fit a small memory: refused
    // before the file is read through.
    WriteBytes(dir.file("large.csv"), Cp932Lines(DesignLines(2, 2000, linear)));
    SobolOptions small;
    small.memoryLimit = 64 * 1024;
    EXPECT_FALSE(ComputeSobolIndices(dir.file("large.csv"), small, {}, r));
    EXPECT_TRUE(r.tooLarge);
    EXPECT_NE(r.error.find("メモリ"), std::string::npos);

    // Stopped while resampling.
    const ProgressFn stop = [](double done) { return done < 0.6; };
    EXPECT_FALSE(ComputeSobolIndices(dir.file("large.csv"), SobolOptions{}, stop, r));
    EXPECT_TRUE(r.stopped);

    EXPECT_FALSE(Compute(dir.file("missing.csv"), r));
    EXPECT_NE(r.error.find("missing.csv"), std::string::npos);
}

TEST(SobolIndices, FiguresHaveThreeDecimalsAndNeverANegativeZero) {
    EXPECT_EQ(SobolFigure(0.12345), "0.123");
    EXPECT_EQ(SobolFigure(-0.25), "-0.250");
    EXPECT_EQ(SobolFigure(-0.0004), "0.000");
    EXPECT_EQ(SobolFigure(-0.0), "0.000");
    EXPECT_EQ(SobolFigure(1.0), "1.000");
    EXPECT_EQ(SobolFigure(std::nan("")), "-");
}

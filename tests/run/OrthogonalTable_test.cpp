#include <gtest/gtest.h>

#include <filesystem>

#include "PlanTestSupport.h"
#include "project/NumberText.h"
#include "run/OrthogonalTable.h"
#include "run/PlanValues.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// Runs in a folder of its own holding copies of the shipped array files, so
// "OTtmp.dat" never lands in the build's application folder.
class OrthogonalTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const ArrayFile& a : {kTwoLevelArray, kThreeLevelArray})
            std::filesystem::copy_file(BuildAppFolder() + "/" + a.fileName, app.file(a.fileName));
    }

    // `factors` ticked inputs x1..xn (lower 1.25, upper 3.5) after an unticked one.
    void LoadFactors(const std::string& level, int factors) {
        Project p;
        p.taskPlan = plan::OrthogonalTable;
        p.orthogonalTable.level = level;
        p.inputTasks.push_back(Input("fixed", "", "7", ""));
        for (int f = 1; f <= factors; ++f) {
            const std::string name = "x" + std::to_string(f);
            p.inputTasks.push_back(Input(name, "", "0", ""));
            p.orthogonalTable.factors.push_back({name, "1.25", "2.375", "3.5"});
        }
        LoadForRun(p, work, state);
    }

    // Every calculation's values, as the run would assign them.
    std::vector<std::vector<std::string>> RunAll() {
        std::vector<std::vector<std::string>> values;
        PlanSources sources;
        sources.table = &run;
        const auto total = std::stoll(state.CalcTotal);
        for (state.CalcCount = 1; state.CalcCount <= total; ++state.CalcCount) {
            std::string error;
            EXPECT_TRUE(AssignPlanValues(state, sources, error)) << error;
            values.push_back(state.InputValues);
        }
        return values;
    }

    TempDir app, work;
    RunState state;
    OrthogonalRun run;
    std::string error;
};

std::string LevelValue(char c) { return c == 'L' ? "1.25" : c == 'M' ? "2.375" : "3.5"; }

}  // namespace

TEST_F(OrthogonalTableTest, RunsTheCutRowsWithTheirLevelValues) {
    struct Case {
        const char* level;
        int factors;
        std::size_t rows;
    };
    // The balance of every cut is proven on the array files; here a few cuts
    // at their edges: one factor, the first and the last cut of each size.
    for (const Case c : {Case{kTwoLevels, 1, 2}, {kTwoLevels, 4, 8}, {kTwoLevels, 127, 128},
                         {kThreeLevels, 1, 3}, {kThreeLevels, 4, 9}, {kThreeLevels, 10, 54},
                         {kThreeLevels, 49, 108}}) {
        SCOPED_TRACE(std::string(c.level) + " " + std::to_string(c.factors));
        LoadFactors(c.level, c.factors);
        ASSERT_TRUE(PrepareOrthogonalTable(state, app.path(), run, error)) << error;
        EXPECT_EQ(run.FactorCount, c.factors);
        ASSERT_EQ(run.TableRows.size(), c.rows);
        EXPECT_EQ(state.CalcTotal, std::to_string(c.rows));
        // The record holds exactly the rows to calculate, in order.
        EXPECT_EQ(ReadBytes(app.file("OTtmp.dat")), Cp932Lines(run.TableRows));

        const auto values = RunAll();
        ASSERT_EQ(values.size(), c.rows);
        for (std::size_t r = 0; r < c.rows; ++r) {
            EXPECT_EQ(values[r][1], "7");
            for (int f = 1; f <= c.factors; ++f)
                ASSERT_EQ(values[r][f + 1], LevelValue(run.TableRows[r][f - 1])) << "row " << r << " factor " << f;
        }
    }
}

// The middle level is the mean of the limits, whatever middle value was
// stored; the settings grid shows it as the limits are edited.
TEST_F(OrthogonalTableTest, ThreeLevelsUseTheMeanAsMiddle) {
    Project p;
    p.taskPlan = plan::OrthogonalTable;
    p.inputTasks = {Input("a", "", "0", "")};
    p.orthogonalTable.factors = {{"a", "1", "9", "2"}};  // the stored middle value is not used
    LoadForRun(p, work, state);
    ASSERT_TRUE(PrepareOrthogonalTable(state, app.path(), run, error)) << error;
    ASSERT_EQ(run.TableRows, (std::vector<std::string>{"L", "M", "H"}));
    const auto values = RunAll();
    EXPECT_EQ(values[0][1], "1");
    EXPECT_EQ(values[1][1], "1.5");
    EXPECT_EQ(values[2][1], "2");
    EXPECT_EQ(MiddleValueText("0.1", "0.2", "x"), "0.15");
    EXPECT_EQ(MiddleValueText("1", "", "x"), "");
    EXPECT_EQ(MiddleValueText("", "", "x"), "x");
}

TEST_F(OrthogonalTableTest, SharedFactorNameIsOneFactorWithOneValue) {
    Project p;
    p.taskPlan = plan::OrthogonalTable;
    p.orthogonalTable.level = kTwoLevels;
    p.inputTasks = {Input("a", "", "0", ""), Input("b", "", "0", ""), Input("a", "", "5", ""),
                    Input("c", "", "0", "")};
    p.orthogonalTable.factors = {{"a", "1", "1.5", "2"}, {"c", "10", "15", "20"}};
    LoadForRun(p, work, state);
    ASSERT_TRUE(PrepareOrthogonalTable(state, app.path(), run, error)) << error;
    EXPECT_EQ(run.FactorCount, 2);
    ASSERT_EQ(run.TableRows.size(), 4u);  // two factors, not three
    const auto values = RunAll();
    for (std::size_t r = 0; r < values.size(); ++r) {
        EXPECT_EQ(values[r][3], values[r][1]);
        EXPECT_EQ(values[r][2], "0");
        // "c" takes column 2: the repeated "a" did not use one up.
        EXPECT_EQ(values[r][4], run.TableRows[r][1] == 'L' ? "10" : "20");
    }
}

// A factor without a column would keep its initial value in every row: the
// run is refused naming those factors, before the record is written.
TEST_F(OrthogonalTableTest, FactorsBeyondTheArrayAreRefusedNamingThem) {
    LoadFactors(kThreeLevels, 51);
    EXPECT_FALSE(PrepareOrthogonalTable(state, app.path(), run, error));
    EXPECT_EQ(error, "3水準での因子数は最大49個までです。\n直交表の列に割り付けられない因子 (2個): x50, x51");
    EXPECT_FALSE(std::filesystem::exists(app.file("OTtmp.dat")));

    LoadFactors(kThreeLevels, 49);
    ASSERT_TRUE(PrepareOrthogonalTable(state, app.path(), run, error)) << error;
    ASSERT_EQ(run.TableRows.size(), 108u);
    for (const auto& v : RunAll()) EXPECT_NE(v[50], "0");  // the last column varies too
}

TEST_F(OrthogonalTableTest, MissingArrayFileOrUnknownLevelStopsWithAMessage) {
    LoadFactors(kThreeLevels, 2);
    std::filesystem::remove(app.file(kThreeLevelArray.fileName));
    EXPECT_FALSE(PrepareOrthogonalTable(state, app.path(), run, error));
    EXPECT_NE(error.find(kThreeLevelArray.fileName), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(app.file("OTtmp.dat")));

    state.LevelChoice = "4水準";
    EXPECT_FALSE(PrepareOrthogonalTable(state, app.path(), run, error));
    EXPECT_NE(error.find("4水準"), std::string::npos) << error;
}

TEST_F(OrthogonalTableTest, PreviewRefusesMoreFactorsThanColumns) {
    std::vector<std::string> rows;
    ASSERT_TRUE(MakeTablePreview(kTwoLevels, 127, app.path(), rows, error)) << error;
    EXPECT_EQ(rows.size(), 128u);
    EXPECT_EQ(TableCornerText(rows.size()), "<L128>");
    EXPECT_FALSE(MakeTablePreview(kTwoLevels, 128, app.path(), rows, error));
    EXPECT_EQ(error, kTwoLevelFactorMessage);
    ASSERT_TRUE(MakeTablePreview(kThreeLevels, 49, app.path(), rows, error)) << error;
    EXPECT_EQ(rows.size(), 108u);
    EXPECT_FALSE(MakeTablePreview(kThreeLevels, 50, app.path(), rows, error));
    EXPECT_EQ(error, kThreeLevelFactorMessage);
}

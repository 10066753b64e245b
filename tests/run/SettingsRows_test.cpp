// The rows of the settings windows and the lines their OK buttons write.
#include "run/SettingsRows.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "project/RunState.h"

namespace korvane {
namespace {

Project Sample() {
    Project p;
    p.inputTasks = {{"荷重", "B2", "モデル", "0", "1000", "2000", "Round", "3"},
                    {"長さ", "B3", "モデル", "0.5", "2", "", "Format", "#,##0.0"},
                    {"荷重", "C2", "モデル", "0", "1000", "2000", "Round", "3"}};
    p.outputTasks = {{"たわみ", "D2", "結果", "", "0.004", "0.01"}, {"長さ", "D3", "結果", "1", "0", "9"}};
    p.monteCarlo.sampledVariables = {{"荷重", "正規分布", "1000", "50"}};
    p.orthogonalTable.factors = {{"長さ", "1", "1.5", "2"}};
    return p;
}

std::vector<std::string> Rows(const std::vector<std::string>& lines, const char* key) {
    std::vector<std::string> rows;
    for (const auto& l : lines)
        if (HasKey(l, key)) rows.push_back(LineValue(l));
    return rows;
}

TEST(SettingsRows, ValuesAreShownOncePerNameAndStoredIntoEveryRowOfIt) {
    const Project p = Sample();
    auto rows = ValueRows(p, true);
    ASSERT_EQ(rows.size(), 3u);  // 荷重, 長さ (the input), たわみ
    EXPECT_EQ(rows[2].name, "たわみ");
    EXPECT_EQ(rows[2].initial, "0.004");
    EXPECT_FALSE(rows[2].input);
    EXPECT_EQ(ValueRows(p, false).size(), 2u);

    auto lines = ProjectLines(p);
    // A short row written by hand is filled up; the format's comma survives.
    lines[6] = " Input Pram.       :長さ,B3,モデル";
    std::string error;
    rows[0].initial = "2.50";
    rows[1].initial = "3";
    ASSERT_TRUE(StoreInitialValues(lines, rows, error));
    EXPECT_EQ(Rows(lines, key::InputPram), (std::vector<std::string>{"荷重,B2,モデル,0,2.50,2000,Round,3",
                                                                      "長さ,B3,モデル,,3,,,",
                                                                      "荷重,C2,モデル,0,2.50,2000,Round,3"}));
    lines = ProjectLines(p);
    rows[1].lower = "";
    rows[1].upper = "5";
    rows[2].upper = "";
    ASSERT_TRUE(StoreRestrictionValues(lines, rows, error));
    EXPECT_EQ(Rows(lines, key::InputPram)[1], "長さ,B3,モデル,,2,5,Format,#,##0.0");
    // An output named like an input takes the input's limits, as the grid shows one row.
    EXPECT_EQ(Rows(lines, key::OutputPram), (std::vector<std::string>{"たわみ,D2,結果,,0.004,", "長さ,D3,結果,,0,5"}));

    // A missing end marker refuses the whole edit.
    lines = ProjectLines(p);
    lines.erase(std::find(lines.begin(), lines.end(), "<<Output Task End>>"));
    const auto before = lines;
    EXPECT_FALSE(StoreRestrictionValues(lines, rows, error));
    EXPECT_NE(error.find("<<Output Task End>>"), std::string::npos);
    EXPECT_EQ(lines, before);
}

TEST(SettingsRows, CurrentValuesCaptionAndCounter) {
    RunState s;
    EXPECT_EQ(CurrentValueHeading(s).caption, "最終値");  // no run yet
    EXPECT_EQ(CurrentValueHeading(s).counter, 0);
    s.PlanName = "MonteCarlo";
    s.CalcTotal = "100";
    s.CalcCount = 101;  // the loop ran to its end
    EXPECT_EQ(CurrentValueHeading(s).counter, 100);
    s.CalcCount = 37;  // stopped after calculation 37
    EXPECT_EQ(CurrentValueHeading(s).counter, 37);
    s.PlanName = "Single";
    EXPECT_EQ(CurrentValueHeading(s).caption, "現在値");
    EXPECT_EQ(CurrentValueHeading(s).counter, 1);

    AddInputVariable(s, "荷重", "B2", "モデル", "0", 1000, "2000", "Round", "3");
    s.InputValues[1] = "1012.5";
    const auto rows = CurrentValueRows(Sample(), s);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].current, "1012.5");
    EXPECT_TRUE(rows[0].varied);
    EXPECT_TRUE(rows[1].varied);  // an orthogonal factor
    EXPECT_FALSE(rows[2].varied);
    EXPECT_EQ(rows[1].current, "");
}

TEST(SettingsRows, ADbLookUpReadsTheLastRunOfAnAppendedFile) {
    test::TempDir dir;
    const std::string db = dir.file("db.csv");
    test::WriteBytes(db, test::Cp932Lines({"Count,荷重,長さ,たわみ,Validity(制限判定)",
                                           "-,[Input],[Input],[Output],[System]",
                                           "1,1000,2,0.004,True",
                                           "37,1100,2,0.005,True",
                                           "Count,長さ,荷重,Validity(制限判定)",
                                           "-,[Input],[Input],[System]",
                                           " 37 ,2.5,990,True",
                                           "38,2.6,980,False"}));
    auto rows = CurrentValueRows(Sample(), RunState{});
    rows[2].current = "kept";
    std::string error;
    ASSERT_TRUE(LookUpCalculation(db, "37", rows, error)) << error;
    EXPECT_EQ(rows[0].current, "990");  // by name, in the last block's order
    EXPECT_EQ(rows[1].current, "2.5");
    EXPECT_EQ(rows[2].current, "kept");  // the last block has no たわみ
    ASSERT_TRUE(LookUpCalculation(db, "1", rows, error));  // only in the first block
    EXPECT_EQ(rows[0].current, "990");

    auto lines = ProjectLines(Sample());
    ASSERT_TRUE(StoreCurrentAsInitial(lines, rows, error));
    EXPECT_EQ(Rows(lines, key::InputPram)[2], "荷重,C2,モデル,0,990,2000,Round,3");
    EXPECT_EQ(Rows(lines, key::OutputPram)[0], "たわみ,D2,結果,,0.004,0.01");  // outputs keep their value
    EXPECT_FALSE(LookUpCalculation(dir.file("none.csv"), "1", rows, error));
}

TEST(SettingsRows, MonteCarloChecksInGridOrderAndItsSection) {
    const Project p = Sample();
    auto rows = SamplingRows(p);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[0].ticked);
    EXPECT_EQ(rows[1].distType, "-");
    EXPECT_EQ(CheckSamplingRows(rows), "");
    rows[1].ticked = true;
    rows[0].spread = "";
    EXPECT_EQ(CheckSamplingRows(rows), "変数[荷重]の標準偏差が選択されていません。");
    rows[0].center = "";
    EXPECT_EQ(CheckSamplingRows(rows), "変数[荷重]の中心値が選択されていません。");
    rows[0] = {"荷重", true, "一様分布", "0", "1"};
    EXPECT_EQ(CheckSamplingRows(rows), "変数[長さ]の分布型が選択されていません。");
    for (const char* bad : {"", "0", "0.5", "-3", "x"}) EXPECT_FALSE(NumOfCalcAccepted(bad)) << bad;
    EXPECT_TRUE(NumOfCalcAccepted("1"));
    rows[1].ticked = false;
    EXPECT_EQ(MonteCarloSectionLines("20", true, false, "42", rows),
              (std::vector<std::string>{" Num of Calc.      :20", " Restart Excel     :1", " Random Seed       :42",
                                        " Var. Param.       :荷重,一様分布,0,1"}));
    EXPECT_EQ(MonteCarloSectionLines("20", false, true, "42", {})[2], " Random Seed       :Random");
}

TEST(SettingsRows, OrthogonalAndDataFileSections) {
    auto factors = FactorRows(Sample());
    EXPECT_FALSE(factors[0].ticked);
    EXPECT_EQ(factors[1].middle, "1.5");
    EXPECT_EQ(OrthogonalSectionLines("2水準", false, factors),
              (std::vector<std::string>{" Level             :2水準", " Restart Excel     :0",
                                        " Var. Param.       :長さ,1,1.5,2"}));

    DataFileInputSettings saved;
    saved.readParams = {{"3", "長さ"}, {"0", "荷重"}, {"x", "壊れ"}};
    const auto assigned = AssignedColumns(saved);
    EXPECT_EQ(assigned, (std::vector<std::string>{"荷重", "", "", "長さ"}));
    EXPECT_EQ(DataFileSectionLines("\\data\\in.csv", "3", true, assigned),
              (std::vector<std::string>{" DataFile          :\\data\\in.csv", " Read Row          :3",
                                        " Restart Excel     :1", " Read. Param.      :0,荷重",
                                        " Read. Param.      :3,長さ"}));
    EXPECT_EQ(AutoAssignment({"a", "b", "c"}, 2), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(ReadRowShown(""), "2");
    EXPECT_EQ(ReadRowShown("0"), "2");
    EXPECT_EQ(ReadRowShown("5"), "5");
}

}  // namespace
}  // namespace korvane

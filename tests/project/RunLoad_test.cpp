#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/AppFolder.h"
#include "project/RunState.h"

using namespace korvane;
using namespace korvane::test;

namespace {

std::vector<std::string> ProjectText(const std::string& plan, const std::vector<std::string>& inputs,
                                 const std::vector<std::string>& planSections) {
    std::vector<std::string> l = {"Excel File Name    :ignored", "DataBase File Name :ignored",
                                  "DB Write Mode      :OverWrite", "Excel Visible      :0", "<<Input Task>>"};
    for (const auto& i : inputs) l.push_back(" Input Pram.       :" + i);
    l.insert(l.end(), {"<<Input Task End>>", "<<Input Replace>>", " Replace Pram.     :b,1=鋼,2=銅",
                       "<<Input Replace End>>", "<<Output Task>>", " Output Pram.      :応力,D5,S,0,999,250",
                       "<<Output Task End>>", "<<Shell Task>>", " App.              :/bin/echo,6,[a],x",
                       "<<Shell Task End>>", "Macro              :M1, M2", "Task Plan          :" + plan});
    l.insert(l.end(), planSections.begin(), planSections.end());
    return l;
}

const std::vector<std::string> kPlanSections = {
    "<<MonteCarlo>>", " Num of Calc.      :2.5", " Restart Excel     :1", " Random Seed       :42",
    " Var. Param.       :a,正規分布,10,0.5", "<<MonteCarlo End>>",
    "<<DataFileInput>>", " DataFile          :\\data.csv", " Read Row          :3", " Restart Excel     :0",
    " Read. Param.      :4,b", "<<DataFileInput End>>",
    "<<OrthogonalTable>>", " Level             :2水準", " Restart Excel     :1",
    " Var. Param.       :a,1.25,2,3.75", "<<OrthogonalTable End>>"};

class RunLoadTest : public ::testing::Test {
protected:
    void SetUp() override { SetAppFolder(dir.path()); }
    bool load(const std::vector<std::string>& lines) {
        WriteBytes(dir.file("tmp.tolv1"), Cp932Lines(lines));
        ResetRunArrays(state);
        return LoadProjectForRun(state, header, dir.file("tmp.tolv1"), error);
    }
    TempDir dir;
    RunState state;
    HeaderValues header;
    std::string error;
};

}  // namespace

TEST_F(RunLoadTest, MonteCarloProjectFillsEveryField) {
    header.workbookPath = "\\model.xlsx";
    header.dbPath = "/tmp/db.csv";
    header.optionOW = false;
    header.optionAP = true;
    header.plan = "Single";  // the working copy's line wins
    ASSERT_TRUE(load(ProjectText("MonteCarlo", {"a,B2,S,1,10,20,Round,2", "b,B3,S,,2.7,,Replace,Text",
                                            "a,C2,S,,10,,Format,#,##0.0"},
                             kPlanSections)))
        << error;
    EXPECT_EQ(state.WorkbookPath, dir.path() + "/model.xlsx");
    EXPECT_EQ(state.WriteMode, "Append");
    EXPECT_EQ(state.PlanName, "MonteCarlo");
    EXPECT_EQ(state.ShellTasks[1], "/bin/echo,6,[a],x");
    EXPECT_EQ(state.MonteCarloCount, 2);  // 2.5 rounds half to even
    EXPECT_EQ(state.RandomSeed, "42");

    ASSERT_EQ(state.inputCount(), 3u);
    EXPECT_EQ(state.InputValues[2], "2.7");
    EXPECT_EQ(state.InputLower[2], "");  // empty limit stays empty, not 0
    EXPECT_EQ(state.FormatArgs[3], "#,##0.0");
    EXPECT_EQ(state.ReplaceLists[2], "1=鋼,2=銅");
    // The shared name "a" is sampled in both of its rows.
    EXPECT_TRUE(state.PlanSelected[1]);
    EXPECT_FALSE(state.PlanSelected[2]);
    EXPECT_TRUE(state.PlanSelected[3]);
    EXPECT_EQ(state.DistCenter[3], 10.0);
    EXPECT_EQ(state.DistSpread[1], 0.5);
    // Other plans' sections are read past.
    EXPECT_EQ(state.DataFilePath, "");
    EXPECT_EQ(state.LevelHigh[1], 0.0);

    ASSERT_EQ(state.outputCount(), 1u);
    EXPECT_EQ(state.OutputNames[1], "応力");
    EXPECT_EQ(state.OutputValues[1], "0");  // the stored value is never read
}

TEST_F(RunLoadTest, DataFileAndOrthogonalSections) {
    header.plan = "DataFile Input";
    ASSERT_TRUE(load(ProjectText("DataFile Input", {"a,B2,S,,1,,x,y", "b,B3,S,,1,,x,y"}, kPlanSections))) << error;
    EXPECT_EQ(state.DataFilePath, "\\data.csv");  // as written
    EXPECT_EQ(state.DataReadRow, 3);
    EXPECT_EQ(state.RestartPerCalc, 0);
    EXPECT_FALSE(state.PlanSelected[1]);
    EXPECT_TRUE(state.PlanSelected[2]);
    EXPECT_EQ(state.DataColumn[2], 4);

    ASSERT_TRUE(load(ProjectText("Orthogonal Table", {"a,B2,S,,1,,x,y", "b,B3,S,,1,,x,y"}, kPlanSections))) << error;
    EXPECT_EQ(state.LevelChoice, "2水準");
    EXPECT_EQ(state.RestartPerCalc, 1);
    EXPECT_TRUE(state.PlanSelected[1]);
    EXPECT_EQ(state.LevelLow[1], 1.25);  // decimals are kept
    EXPECT_EQ(state.LevelHigh[1], 3.75);

    // The Single plan reads no restart flag: the earlier one stays.
    ASSERT_TRUE(load(ProjectText("Single", {}, kPlanSections))) << error;
    EXPECT_EQ(state.RestartPerCalc, 1);
    EXPECT_EQ(state.inputCount(), 0u);
}

// A working copy that cannot be run is refused naming its line, or for a
// value the run computes with, the variable and the window to mend it in;
// the state keeps what it held before: no partial load is ever used. Limits
// keep their leading-number reading (12abc is 12), but a limit with no
// number at all would be 0 unnoticed: refused. An input's limits count only
// where they bound the drawn values.
TEST_F(RunLoadTest, WhatCannotBeRunIsRefusedNamingTheLineOrTheVariableAndTheWindow) {
    struct Case {
        std::string plan;
        std::vector<std::string> inputs, section;
        std::string output;  // empty: the usual one
        std::vector<std::string> said;  // empty: loads
    };
    const std::vector<std::string> mc = {"<<MonteCarlo>>", " Num of Calc.      :10", " Restart Excel     :0",
                                         " Random Seed       :Random"};
    auto with = [](std::vector<std::string> head, std::vector<std::string> rows, const char* end = nullptr) {
        head.insert(head.end(), rows.begin(), rows.end());
        if (end) head.push_back(end);
        return head;
    };
    const std::vector<std::string> ot = {"<<OrthogonalTable>>", " Level             :3水準", " Restart Excel     :0"};
    const std::string initial = "「初期値設定」で数値を入力して下さい。";
    const std::vector<std::string> abc = {"a,B2,S,,1,,Round,2", "b,B3,S,,1,,Round,2", "c,B4,S,,1,,Round,2"};
    auto sampling = [&](const std::vector<std::string>& rows, bool closed = true, const char* calcs = "10",
                        std::vector<std::string> sampled = {" Var. Param.       :a,正規分布,1,2",
                                                            " Var. Param.       :c,一様分布,1,2"}) {
        auto head = mc;
        head[1] = std::string(" Num of Calc.      :") + calcs;
        auto l = with(head, sampled, "<<MonteCarlo End>>");
        l.push_back("<<Sampling>>");
        l = with(l, rows, closed ? "<<Sampling End>>" : nullptr);
        return l;
    };
    const std::vector<Case> cases = {
        {"Single", {"a,B2,S,,1,,Round"}, {}, "", {"(6行目)", "8個必要"}},
        {"MonteCarlo", {"a,B2,S,,1,,x,y"},
         {"<<MonteCarlo>>", " Num of Calc.      :many", " Restart Excel     :0", " Random Seed       :Random",
          "<<MonteCarlo End>>"}, "", {"(20行目)", "many"}},
        {"MonteCarlo", {"a,B2,S,,1,,x,y"},
         {"<<MonteCarlo>>", " Num of Calc.      :10", " Restart Excel     :70000", " Random Seed       :Random",
          "<<MonteCarlo End>>"}, "", {"(21行目)", "範囲外"}},
        {"MonteCarlo", {"a,B2,S,,1,,x,y"}, with(mc, {" Var. Param.       :a,正規分布,1,2"}), "",
         {"行目", "<<MonteCarlo End>>"}},
        {"MonteCarlo", {"a,B2,S,,1,,x,y"}, with(mc, {" Var. Param.       :a,正規分布"}, "<<MonteCarlo End>>"), "",
         {"(23行目)", "4個必要"}},
        {"Single", {"a,B2,S,,1.2.3,,Round,2"}, {}, "", {"変数[a]の初期値が数値ではありません: \"1.2.3\"\n" + initial}},
        {"Single", {"a,B2,S,,,,Round,2"}, {}, "", {"変数[a]の初期値が入力されていません。\n" + initial}},
        {"Single", {"a,B2,S,,1,,Round,2"}, {}, "応力,D5,S,.,1,250",
         {"変数[応力]の下限値が数値ではありません: \".\"\n「制限値設定」で数値を入力するか空欄にして下さい。"}},
        {"Single", {"a,B2,S,,1,,Round,2"}, {}, "応力,D5,S,0,1,-", {"変数[応力]の上限値が数値ではありません: \"-\""}},
        {"Single", {"a,B2,S,,1,,Round,2"}, {}, "応力,D5,S,12abc,1,", {}},
        // An input's limit is no matter to a plan that draws nothing ...
        {"Single", {"a,B2,S,.,1,,Round,2"}, {}, "応力,D5,S,,1,", {}},
        // ... but bounds a drawn one.
        {"MonteCarlo", {"a,B2,S,.,1,,Round,2"}, with(mc, {" Var. Param.       :a,一様分布,1,2"}, "<<MonteCarlo End>>"),
         "", {"変数[a]の下限値が数値ではありません: \".\"\n「制限値設定」"}},
        {"MonteCarlo", {"a,B2,S,,1,,Round,2"}, with(mc, {" Var. Param.       :a,正規分布,-,2"}, "<<MonteCarlo End>>"),
         "", {"変数[a]の中心値が数値ではありません: \"-\"\n「MonteCarlo設定」で数値を入力して下さい。"}},
        {"Orthogonal Table", {"a,B2,S,,1,,Round,2"}, with(ot, {" Var. Param.       :a,,,"}, "<<OrthogonalTable End>>"),
         "", {"変数[a]の下方値が入力されていません。\n「実験計画法 直交表設定」で数値を入力して下さい。"}},
        // The sampling section, the Monte Carlo plan's: a row it cannot use
        // is named (the sampled inputs are a and c; b is not ticked).
        {"MonteCarlo", abc, sampling({" Method            :Sobol", " Correlation       :a,c,0.3",
                                      " Precision         :応力,0.01"}), "", {}},
        {"MonteCarlo", abc, sampling({" Method            :LHS", " Correlation       :a,b,0.3"}), "",
         {"相関[a,b]の変数[b]はサンプリングする変数ではありません。\n「MonteCarlo設定」で直して下さい。"}},
        {"MonteCarlo", abc, sampling({" Method            :LHS", " Precision         :応力,0.01"}), "",
         {"精度目標[応力]はLHSでは使えません"}},
        {"MonteCarlo", abc, sampling({" Method            :MonteCarlo", " Precision         :応力,0.01,100"}), "",
         {"精度目標[応力]の信頼水準(%)は 0 より大きく 100 より小さい値にして下さい: \"100\""}},
        {"MonteCarlo", abc, sampling({" Method            :Halton"}), "", {"サンプリング方法[Halton]は使えません。"}},
        {"MonteCarlo", abc, sampling({" Method            :LHS", " Correlation       :a,c"}), "",
         {"(30行目)", "相関 の行の項目が足りません (3個必要, 2個)"}},
        {"MonteCarlo", abc, sampling({" Method            :LHS", " Method            :Sobol"}), "",
         {"(30行目)", "Method の行が2つあります (29行目と)"}},
        {"MonteCarlo", abc, sampling({" Method            :LHS"}, false), "", {"\"<<Sampling End>>\" の行がありません"}},
        // Saltelli's groups: independent inputs, no stop inside a group,
        // one whole group (1 + 2 + 2 calculations for a and c), an input.
        {"MonteCarlo", abc, sampling({" Method            :Saltelli"}, true, "5"), "", {}},
        {"MonteCarlo", abc, sampling({" Method            :Saltelli", " Correlation       :a,c,0.3"}), "",
         {"相関[a,c]はSaltelliでは使えません", "「MonteCarlo設定」で直して下さい。"}},
        {"MonteCarlo", abc, sampling({" Method            :Saltelli", " Precision         :応力,0.01"}), "",
         {"精度目標[応力]はSaltelliでは使えません"}},
        {"MonteCarlo", abc, sampling({" Method            :Saltelli"}, true, "4"), "",
         {"計算回数[4]はSaltelliには足りません。サンプリングする変数が2個のとき", "5回以上にして下さい。",
          "「MonteCarlo設定」で直して下さい。"}},
        {"MonteCarlo", abc, sampling({" Method            :Saltelli"}, true, "10", {}), "",
         {"サンプリング方法[Saltelli]にはサンプリングする変数が必要です。"}},
        // Other plans do not read it.
        {"Single", abc, sampling({" Method            :Halton"}, false), "", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = ProjectText(c.plan, c.inputs, c.section);
        for (std::string& l : lines)
            if (!c.output.empty() && l.rfind(" Output Pram.", 0) == 0) l = " Output Pram.      :" + c.output;
        SCOPED_TRACE(lines[5] + " " + c.output + " " + lines.back());
        ASSERT_TRUE(load(ProjectText("Single", {"keep,A1,S,,5,,x,y"}, {})));
        error.clear();
        WriteBytes(dir.file("tmp.tolv1"), Cp932Lines(lines));
        const bool loaded = LoadProjectForRun(state, header, dir.file("tmp.tolv1"), error);
        EXPECT_EQ(loaded, c.said.empty()) << error;
        for (const std::string& part : c.said) EXPECT_NE(error.find(part), std::string::npos) << error;
        if (!loaded) {
            ASSERT_EQ(state.inputCount(), 1u) << error;
            EXPECT_EQ(state.InputNames[1], "keep");
        }
    }
}

TEST_F(RunLoadTest, UnreadableWorkingCopyIsRefused) {
    WriteBytes(dir.file("tmp.tolv1"), "Excel File Name    :\r\n\x82\r\n");
    EXPECT_FALSE(LoadProjectForRun(state, header, dir.file("tmp.tolv1"), error));
    EXPECT_NE(error.find("2 行目"), std::string::npos) << error;
    EXPECT_FALSE(LoadProjectForRun(state, header, dir.file("none"), error));
    EXPECT_NE(error.find("none"), std::string::npos) << error;
}

// Unattended runs of every plan on real workbooks: the DB files they leave.
// (The example studies against their golden files, stops and programs with
// one worker or several, are in Workers_test.cpp.)
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "RunFixture.h"
#include "project/NumberText.h"

namespace korvane {
namespace {

using namespace test;
using PlanRunsTest = RunFixture;

class NoProcessLeftBehind : public ::testing::Environment {
public:
    void TearDown() override { EXPECT_TRUE(ChildProcesses().empty()) << "a child process outlived the tests"; }
};
[[maybe_unused]] auto* const kNoLeftovers = ::testing::AddGlobalTestEnvironment(new NoProcessLeftBehind);

TEST_F(PlanRunsTest, SingleRunWritesThreeLinesNumberedZeroAndAppendAddsABlock) {
    WriteWorkbook(app.file("model.fods"), 2, {"[$In.A1]+[$In.B1]"});
    Project p;
    p.inputTasks = {In("x", 1, "3"), In("y", 2, "4.5")};
    p.outputTasks = {Out("sum", 1, "", "7")};
    ASSERT_EQ(run(p), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")),
              Cp932Lines({"Count,x,y,sum,Validity(制限判定)", "-,[Input],[Input],[Output],[System]",
                          "0,3,4.5,7.5,False"}));
    p.dbWriteMode = "Append";
    p.inputTasks[0].initial = "1";
    ASSERT_EQ(run(p), 0);
    auto lines = dbFields();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3][0], "Count");
    EXPECT_EQ(lines[5], (std::vector<std::string>{"0", "1", "4.5", "5.5", "True"}));
    EXPECT_EQ(RunDriver::CountDbFile(app.file("db.csv")).all, 2);
}

TEST_F(PlanRunsTest, TheWindowAsksBeforeRunningAWorkbookThatDiffersFromExcelAndNoLeavesTheDbFileAlone) {
    // In!A1 is the input; Out!A1 (=In!A1*2) stored 5 where LibreOffice
    // computes 2 from the stored In!A1 = 1.
    WriteXlsx(app.file("model.xlsx"), {{"In", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"},
                                       {"Out", "<row r=\"1\"><c r=\"A1\"><f>In!A1*2</f><v>5</v></c></row>"}});
    Project p = MonteCarloStudy("2", "7");
    p.excelFileName = "\\model.xlsx";
    p.dataBaseFileName = "\\db.csv";
    p.inputTasks = {In("a", 1, "3")};
    std::string error;
    ASSERT_TRUE(WriteTextFileAtomic(app.file("p.tolv"), ProjectLines(p), error)) << error;
    WriteBytes(app.file("db.csv"), "Count,x,y,Judge\r\n1,3,6,True\r\n");
    ProjectDocument document(ui, app.path());
    document.ProjectPath = app.file("p.tolv");
    ASSERT_TRUE(document.LoadProjectToWindow());
    RunDriver driver(ui, observer, document, state, [] { return CreateWorkbookLink(); });

    ui.answerYes = true;  // save before the run
    ui.answerDefaultNo = false;
    EXPECT_EQ(driver.RunCommand(), RunOutcome::Refused);
    ASSERT_FALSE(ui.questions.empty());
    EXPECT_NE(ui.questions.back().find("Out!A1  Excel 5  LibreOffice 2"), std::string::npos) << ui.questions.back();
    EXPECT_NE(ui.questions.back().find("続行しますか"), std::string::npos) << ui.questions.back();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), "Count,x,y,Judge\r\n1,3,6,True\r\n");

    ui.answerDefaultNo = true;
    EXPECT_EQ(driver.RunCommand(), RunOutcome::Completed) << lastMessage();
    auto lines = dbFields();
    ASSERT_EQ(lines.size(), 4u);
    ASSERT_EQ(lines[3].size(), 4u);
    EXPECT_DOUBLE_EQ(std::stod(lines[3][2]), 2 * std::stod(lines[3][1]));
}

// (A fixed seed giving the same file again is proven by the golden files.)
TEST_F(PlanRunsTest, MonteCarloStaysInsideItsLimitsAndSharesANamesValue) {
    WriteWorkbook(app.file("model.fods"), 4, {"[$In.A1]", "[$In.C1]", "[$In.B1]+[$In.D1]"});
    Project p;
    p.taskPlan = "MonteCarlo";
    p.inputTasks = {In("a", 1, "10", "8", "12"), In("b", 2, "5"), In("a", 3, "10"), In("c", 4, "0", "-0.5", "0.5")};
    p.outputTasks = {Out("a1", 1), Out("a3", 2), Out("bc", 3)};
    p.monteCarlo.numOfCalc = "40";
    p.monteCarlo.randomSeed = "4321";
    p.monteCarlo.sampledVariables = {{"a", "正規分布", "10", "2"}, {"c", "一様分布", "0", "1"}};
    ASSERT_EQ(run(p), 0) << lastMessage();
    auto lines = dbFields();
    ASSERT_EQ(lines.size(), 42u);
    EXPECT_EQ(lines[2][1], "10");  // calculation 1 runs with the initial values
    std::set<std::string> seen;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const auto& f = lines[i];
        ASSERT_EQ(f.size(), 9u);
        EXPECT_EQ(f[0], std::to_string(i - 1));
        const double a = LeadingNumber(f[1]), c = LeadingNumber(f[4]);
        if (i > 2) {
            EXPECT_TRUE(a > 8 && a < 12) << f[1];
            EXPECT_TRUE(c > -0.5 && c < 0.5) << f[4];
        }
        EXPECT_EQ(f[2], "5");   // not ticked: constant
        EXPECT_EQ(f[3], f[1]);  // the shared name carries the same value
        EXPECT_EQ(f[5], f[1]);  // and the workbook got it in both cells
        EXPECT_EQ(f[6], f[3]);
        EXPECT_EQ(LeadingNumber(f[7]), LeadingNumber(GeneralNumber(5 + c)));
        seen.insert(f[1]);
    }
    EXPECT_GT(seen.size(), 30u);
}

// Each factor takes each level equally often, and the row record holds
// exactly the rows calculated: the smallest and largest cuts of three levels
// (the cuts between are proven on the array files), and two levels.
TEST_F(PlanRunsTest, OrthogonalRunsHaveTheArraysRowsAndLevelValues) {
    struct Case {
        const char* level;
        int factors;
        int rows;
    };
    WriteWorkbook(app.file("model.fods"), 49, {"SUM([$In.A1:.AW1])"});
    for (const Case c : {Case{"3水準", 1, 3}, {"3水準", 3, 9}, {"3水準", 13, 54}, {"3水準", 49, 108}, {"2水準", 3, 4}}) {
        SCOPED_TRACE(std::string(c.level) + " factors: " + std::to_string(c.factors));
        Project p;
        p.taskPlan = "Orthogonal Table";
        p.orthogonalTable.level = c.level;
        for (int i = 1; i <= c.factors; ++i) {
            p.inputTasks.push_back(In("f" + std::to_string(i), i, "0"));
            p.orthogonalTable.factors.push_back({"f" + std::to_string(i), "1.5", "", "3.5"});
        }
        p.outputTasks = {Out("sum", 1)};
        ASSERT_EQ(run(p), 0) << lastMessage();
        auto lines = dbFields();
        ASSERT_EQ(lines.size(), std::size_t(c.rows) + 2);
        const bool three = c.level == std::string("3水準");
        const int each = c.rows / (three ? 3 : 2);
        std::map<std::string, int> expected = {{"1.5", each}, {"3.5", each}};
        if (three) expected["2.5"] = each;
        for (int col = 1; col <= c.factors; ++col) {
            std::map<std::string, int> count;
            for (std::size_t r = 2; r < lines.size(); ++r) count[lines[r][static_cast<std::size_t>(col)]]++;
            EXPECT_EQ(count, expected) << "factor " << col;
        }
        EXPECT_EQ(FileLines(app.file("OTtmp.dat")).size(), std::size_t(c.rows));
    }
}

TEST_F(PlanRunsTest, DataFileRunStopsAtTheFirstEmptyLine) {
    WriteWorkbook(app.file("model.fods"), 2, {"[$In.A1]*[$In.B1]"});
    WriteBytes(app.file("data.csv"), Cp932Lines({"荷重,係数", "1,10", "2,20", "3,30", "4,40", "", "5,50"}));
    Project p;
    p.taskPlan = "DataFile Input";
    p.inputTasks = {In("load", 1, "0"), In("factor", 2, "0")};
    p.outputTasks = {Out("product", 1)};
    p.dataFileInput.dataFile = "\\data.csv";
    p.dataFileInput.readParams = {{"0", "load"}, {"1", "factor"}};
    ASSERT_EQ(run(p), 0) << lastMessage();
    auto lines = dbFields();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[5], (std::vector<std::string>{"4", "4", "40", "160", "True"}));
}

// With one worker, LibreOffice killed mid-run ends the run with status 1:
// calculations 1 to 3 are whole lines, nothing of the fourth was written.
// (With several workers the instance is replaced: Workers_test.cpp.)
TEST_F(PlanRunsTest, KillingLibreOfficeMidRunEndsInOrder) {
    WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]*2"});
    observer.killAllAt = 4;
    EXPECT_EQ(run(MonteCarloStudy("50")), 1);
    EXPECT_FALSE(lastMessage().empty());
    EXPECT_TRUE(ReadBytes(app.file("db.csv")).ends_with("\r\n"));
    auto lines = dbFields();
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t i = 2; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].size(), 4u);
        EXPECT_EQ(lines[i][0], std::to_string(i - 1));
    }
    EXPECT_TRUE(ChildProcesses().empty());
}

// Whatever stops a run before its first calculation (an address that is no
// cell, a sheet the workbook lacks, a plan name that is none of the plans, a
// missing data or array file, a workbook that cannot be opened) refuses it
// with a message naming the culprit, and the old results stay.
TEST_F(PlanRunsTest, RunsThatCannotStartAreRefusedAndKeepTheOldDbFile) {
    WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]"});
    const std::string kOld = "Count,x,Validity\r\n-,[Input],[System]\r\n1,earlier results,True\r\n";
    WriteBytes(app.file("db.csv"), kOld);
    struct Case {
        std::string address, sheet, plan, named;
    };
    for (const Case& c : {Case{"A0", "Out", "Single", "A0"}, Case{"ZZZZZZ99999999", "Out", "Single", "ZZZZZZ99999999"},
                          Case{"", "Out", "MonteCarlo", "「o」"}, Case{"A1", "Nope", "Single", "Nope"},
                          Case{"A1", "Out", "montecarlo", "montecarlo"}, Case{"A1", "Out", "", "\"\""}}) {
        SCOPED_TRACE(c.address + " " + c.sheet + " " + c.plan);
        Project p = MonteCarloStudy();
        p.taskPlan = c.plan;
        p.outputTasks[0].range = c.address;
        p.outputTasks[0].sheet = c.sheet;
        ui.messages.clear();
        EXPECT_EQ(run(p), 2);
        EXPECT_NE(lastMessage().find(c.named), std::string::npos) << lastMessage();
        EXPECT_EQ(ReadBytes(app.file("db.csv")), kOld);
    }

    Project p = MonteCarloStudy();
    p.taskPlan = "DataFile Input";
    p.dataFileInput.dataFile = "\\missing.csv";
    p.dataFileInput.readParams = {{"0", "a"}};
    EXPECT_EQ(run(p), 2);
    EXPECT_NE(lastMessage().find("missing.csv"), std::string::npos) << lastMessage();
    std::filesystem::remove(app.file("OT_L108-3-49.dat"));
    p.taskPlan = "Orthogonal Table";
    p.orthogonalTable.factors = {{"a", "1", "", "2"}};
    EXPECT_EQ(run(p), 2);
    EXPECT_NE(lastMessage().find("OT_L108-3-49.dat"), std::string::npos) << lastMessage();
    WriteBytes(app.file("model.fods"), "this is no spreadsheet");
    p.taskPlan = "Single";
    EXPECT_EQ(run(p), 2);
    EXPECT_EQ(ReadBytes(app.file("db.csv")), kOld);
}

// An output whose cell holds an error value is not a result: its field is
// empty, the verdict False, and the end says how many and why.
TEST_F(PlanRunsTest, UnreadableOutputsAreRecordedEmptyAndInvalid) {
    WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]", "1/[$In.A1]", "[$In.A1]*2"});
    Project p = MonteCarloStudy("2", "1");
    p.inputTasks = {In("a", 1, "0", "1", "2")};
    p.monteCarlo.sampledVariables = {{"a", "一様分布", "1.5", "0.5"}};
    p.outputTasks = {Out("o", 1), Out("inv", 2), Out("twice", 3)};
    EXPECT_EQ(run(p), 0);
    DbReader reader;
    DbReader::Line line;
    ASSERT_TRUE(reader.open(app.file("db.csv")));
    ASSERT_TRUE(reader.nextData(line));
    EXPECT_EQ(line.fields, (std::vector<std::string>{"1", "0", "0", "", "", "False"}));  // 1/0
    ASSERT_TRUE(reader.nextData(line));
    EXPECT_EQ(line.fields.back(), "True");  // a drawn value: every output read
    EXPECT_NE(line.fields[3], "");
    EXPECT_NE(lastMessage().find("1回"), std::string::npos) << lastMessage();
    EXPECT_NE(lastMessage().find("#DIV/0!"), std::string::npos) << lastMessage();
}

}  // namespace
}  // namespace korvane

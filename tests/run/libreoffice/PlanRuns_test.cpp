// Unattended runs of every plan on real workbooks: the DB files they leave.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>

#include "LoTestSupport.h"
#include "RunTestSupport.h"
#include "TestSupport.h"
#include "db/DbFile.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "project/NumberText.h"
#include "project/Paths.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "run/RunDriver.h"
#include "workbook/CellRef.h"
#include "workbook/WorkbookLink.h"

namespace korvane {
namespace {

using test::In;
using test::Out;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
using test::WriteWorkbook;

class NoProcessLeftBehind : public ::testing::Environment {
public:
    void TearDown() override { EXPECT_TRUE(test::ChildProcesses().empty()) << "a child process outlived the tests"; }
};
[[maybe_unused]] auto* const kNoLeftovers = ::testing::AddGlobalTestEnvironment(new NoProcessLeftBehind);

// Stops or kills at a chosen calculation, from the plan's event pass.
class Observer : public RunObserver {
public:
    explicit Observer(RunState& s) : state(s) {}
    void eventPass() override {
        ++passes;
        if (stopAt && state.CalcCount == stopAt) state.StopRequested = true;
        if (killAt && state.CalcCount == killAt)
            for (pid_t pid : test::ChildProcesses()) ::kill(pid, SIGKILL);
    }
    RunState& state;
    std::int64_t stopAt = 0, killAt = 0;
    int passes = 0;
};

class PlanRunsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetAppFolder(app.path());
        // The array files of the build's application folder.
        const auto exe = std::filesystem::read_symlink("/proc/self/exe").parent_path();
        for (const char* f : {"OT_L128-2-127.dat", "OT_L108-3-49.dat"})
            std::filesystem::copy_file(exe.parent_path() / "app" / f, app.file(f));
    }

    // Writes the project and runs it as the command line would.
    int run(Project p, Observer* observer = nullptr) {
        if (p.excelFileName.empty()) p.excelFileName = "\\model.fods";
        if (p.dataBaseFileName.empty()) p.dataBaseFileName = "\\db.csv";
        std::string error;
        EXPECT_TRUE(WriteTextFileAtomic(app.file("p.tolv"), ProjectLines(p), error)) << error;
        ProjectDocument document(ui, app.path());
        EXPECT_TRUE(document.NewProject());
        RunState state;
        ResetRunArrays(state);
        Observer own(state);
        RunObserver& obs = observer ? static_cast<RunObserver&>(*observer) : own;
        if (observer) observer->state.CalcCount = 0;
        RunDriver driver(ui, obs, document, observer ? observer->state : state, [] { return CreateWorkbookLink(); });
        return driver.CommandLineRun(app.file("p.tolv"));
    }

    std::vector<std::vector<std::string>> dbLines(const std::string& name = "db.csv") {
        std::vector<std::string> lines;
        std::string error;
        EXPECT_TRUE(ReadTextLines(app.file(name), lines, error)) << error;
        std::vector<std::vector<std::string>> fields;
        for (const auto& l : lines) fields.push_back(SplitDbFields(l));
        return fields;
    }

    TempDir app;
    test::RecordingUi ui;
};

TEST_F(PlanRunsTest, SingleRunWritesThreeLinesNumberedZeroAndAppendAddsABlock) {
    WriteWorkbook(app.file("model.fods"), 2, {"[$In.A1]+[$In.B1]"});
    Project p;
    p.inputTasks = {In("x", 1, "3"), In("y", 2, "4.5")};
    p.outputTasks = {Out("sum", 1, "", "7")};
    ASSERT_EQ(run(p), 0) << (ui.messages.empty() ? "" : ui.messages.back());
    EXPECT_EQ(ReadBytes(app.file("db.csv")),
              test::Cp932Lines({"Count,x,y,sum,Validity(制限判定)", "-,[Input],[Input],[Output],[System]",
                                "0,3,4.5,7.5,False"}));
    p.dbWriteMode = "Append";
    p.inputTasks[0].initial = "1";
    ASSERT_EQ(run(p), 0);
    auto lines = dbLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[3][0], "Count");
    EXPECT_EQ(lines[5], (std::vector<std::string>{"0", "1", "4.5", "5.5", "True"}));
    EXPECT_EQ(RunDriver::CountDbFile(app.file("db.csv")).all, 2);
}

TEST_F(PlanRunsTest, TheWindowAsksBeforeRunningAWorkbookThatDiffersFromExcelAndNoLeavesTheDbFileAlone) {
    // In!A1 is the input; Out!A1 (=In!A1*2) stored 5 where LibreOffice
    // computes 2 from the stored In!A1 = 1.
    test::WriteXlsx(app.file("model.xlsx"),
                    {{"In", "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"},
                     {"Out", "<row r=\"1\"><c r=\"A1\"><f>In!A1*2</f><v>5</v></c></row>"}});
    Project p;
    p.excelFileName = "\\model.xlsx";
    p.dataBaseFileName = "\\db.csv";
    p.taskPlan = "MonteCarlo";
    p.monteCarlo.numOfCalc = "2";
    p.monteCarlo.randomSeed = "7";
    p.monteCarlo.sampledVariables = {{"x", "一様分布", "3", "1"}};
    p.inputTasks = {In("x", 1, "3")};
    p.outputTasks = {Out("y", 1)};
    std::string error;
    ASSERT_TRUE(WriteTextFileAtomic(app.file("p.tolv"), ProjectLines(p), error)) << error;
    WriteBytes(app.file("db.csv"), "Count,x,y,Judge\r\n1,3,6,True\r\n");
    ProjectDocument document(ui, app.path());
    document.ProjectPath = app.file("p.tolv");
    ASSERT_TRUE(document.LoadProjectToWindow());
    RunState state;
    Observer observer(state);
    RunDriver driver(ui, observer, document, state, [] { return CreateWorkbookLink(); });

    ui.answerYes = true;  // save before the run
    ui.answerDefaultNo = false;
    EXPECT_EQ(driver.RunCommand(), RunOutcome::Refused);
    ASSERT_FALSE(ui.questions.empty());
    EXPECT_NE(ui.questions.back().find("Out!A1  Excel 5  LibreOffice 2"), std::string::npos) << ui.questions.back();
    EXPECT_NE(ui.questions.back().find("続行しますか"), std::string::npos) << ui.questions.back();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), "Count,x,y,Judge\r\n1,3,6,True\r\n");

    ui.answerDefaultNo = true;
    EXPECT_EQ(driver.RunCommand(), RunOutcome::Completed) << (ui.messages.empty() ? "" : ui.messages.back());
    auto lines = dbLines();
    ASSERT_EQ(lines.size(), 4u);
    ASSERT_EQ(lines[3].size(), 4u);
    EXPECT_DOUBLE_EQ(std::stod(lines[3][2]), 2 * std::stod(lines[3][1]));
}

TEST_F(PlanRunsTest, MonteCarloWithAFixedSeedIsReproducibleAndStaysInsideItsLimits) {
    WriteWorkbook(app.file("model.fods"), 4, {"[$In.A1]", "[$In.C1]", "[$In.B1]+[$In.D1]"});
    Project p;
    p.taskPlan = "MonteCarlo";
    p.inputTasks = {In("a", 1, "10", "8", "12"), In("b", 2, "5"), In("a", 3, "10"), In("c", 4, "0", "-0.5", "0.5")};
    p.outputTasks = {Out("a1", 1), Out("a3", 2), Out("bc", 3)};
    p.monteCarlo.numOfCalc = "40";
    p.monteCarlo.randomSeed = "4321";
    p.monteCarlo.sampledVariables = {{"a", "正規分布", "10", "2"}, {"c", "一様分布", "0", "1"}};
    ASSERT_EQ(run(p), 0) << (ui.messages.empty() ? "" : ui.messages.back());
    const std::string first = ReadBytes(app.file("db.csv"));
    ASSERT_EQ(run(p), 0);
    EXPECT_EQ(ReadBytes(app.file("db.csv")), first);

    auto lines = dbLines();
    ASSERT_EQ(lines.size(), 42u);
    std::set<std::string> seen;
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const auto& f = lines[i];
        ASSERT_EQ(f.size(), 9u);
        EXPECT_EQ(f[0], std::to_string(i - 1));
        const double a = LeadingNumber(f[1]), c = LeadingNumber(f[4]);
        if (i > 2) {  // calculation 1 runs with the initial values
            EXPECT_GT(a, 8);
            EXPECT_LT(a, 12);
            EXPECT_GT(c, -0.5);
            EXPECT_LT(c, 0.5);
        }
        EXPECT_EQ(f[2], "5");     // not ticked: constant
        EXPECT_EQ(f[3], f[1]);    // the shared name carries the same value
        EXPECT_EQ(f[5], f[1]);    // and the workbook got it in both cells
        EXPECT_EQ(f[6], f[3]);
        EXPECT_EQ(LeadingNumber(f[7]), LeadingNumber(GeneralNumber(5 + c)));
        seen.insert(f[1]);
    }
    EXPECT_GT(seen.size(), 30u);
    EXPECT_EQ(lines[2][1], "10");
}

TEST_F(PlanRunsTest, OrthogonalRunsHaveTheArraysRowsAndLevelValues) {
    // The factor counts the orthogonal runs are accepted on.
    const std::map<int, std::size_t> rowsFor = {{1, 3}, {2, 9}, {3, 9}, {13, 54}, {40, 108}, {49, 108}};
    WriteWorkbook(app.file("model.fods"), 49, {"SUM([$In.A1:.AW1])"});
    for (auto [k, rows] : rowsFor) {
        SCOPED_TRACE("factors: " + std::to_string(k));
        Project p;
        p.taskPlan = "Orthogonal Table";
        for (int i = 1; i <= k; ++i) {
            p.inputTasks.push_back(In("f" + std::to_string(i), i, "0"));
            p.orthogonalTable.factors.push_back({"f" + std::to_string(i), "1.5", "", "3.5"});
        }
        p.outputTasks = {Out("sum", 1)};
        ASSERT_EQ(run(p), 0) << (ui.messages.empty() ? "" : ui.messages.back());
        auto lines = dbLines();
        ASSERT_EQ(lines.size(), rows + 2);
        // Each factor takes each level equally often, and the row record
        // holds exactly the rows calculated.
        for (int col = 1; col <= k; ++col) {
            std::map<std::string, int> count;
            for (std::size_t r = 2; r < lines.size(); ++r) count[lines[r][static_cast<std::size_t>(col)]]++;
            EXPECT_EQ(count, (std::map<std::string, int>{{"1.5", int(rows / 3)}, {"2.5", int(rows / 3)},
                                                        {"3.5", int(rows / 3)}}));
        }
        std::vector<std::string> record;
        std::string error;
        ASSERT_TRUE(ReadTextLines(app.file("OTtmp.dat"), record, error)) << error;
        EXPECT_EQ(record.size(), rows);
    }
    // Two levels, three factors: four rows of lower and upper values.
    Project p;
    p.taskPlan = "Orthogonal Table";
    p.orthogonalTable.level = "2水準";
    for (int i = 1; i <= 3; ++i) {
        p.inputTasks.push_back(In("f" + std::to_string(i), i, "0"));
        p.orthogonalTable.factors.push_back({"f" + std::to_string(i), "-1", "", "1"});
    }
    p.outputTasks = {Out("sum", 1)};
    ASSERT_EQ(run(p), 0);
    EXPECT_EQ(dbLines().size(), 6u);
}

TEST_F(PlanRunsTest, DataFileRunStopsAtTheFirstEmptyLine) {
    WriteWorkbook(app.file("model.fods"), 2, {"[$In.A1]*[$In.B1]"});
    WriteBytes(app.file("data.csv"), test::Cp932Lines({"荷重,係数", "1,10", "2,20", "3,30", "4,40", "", "5,50"}));
    Project p;
    p.taskPlan = "DataFile Input";
    p.inputTasks = {In("load", 1, "0"), In("factor", 2, "0")};
    p.outputTasks = {Out("product", 1)};
    p.dataFileInput.dataFile = "\\data.csv";
    p.dataFileInput.readParams = {{"0", "load"}, {"1", "factor"}};
    ASSERT_EQ(run(p), 0) << (ui.messages.empty() ? "" : ui.messages.back());
    auto lines = dbLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[5], (std::vector<std::string>{"4", "4", "40", "160", "True"}));
}

TEST_F(PlanRunsTest, AStopAfterCalculationNLeavesWholeLines) {
    WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]"});
    Project p;
    p.taskPlan = "MonteCarlo";
    p.inputTasks = {In("a", 1, "0")};
    p.outputTasks = {Out("o", 1)};
    p.monteCarlo.numOfCalc = "100";
    p.monteCarlo.sampledVariables = {{"a", "一様分布", "0", "1"}};
    RunState state;
    Observer observer(state);
    observer.stopAt = 3;
    EXPECT_EQ(run(p, &observer), 3);
    auto lines = dbLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4][0], "3");
    EXPECT_TRUE(ReadBytes(app.file("db.csv")).ends_with("\r\n"));
}

TEST_F(PlanRunsTest, ProgramsOfTimingZeroRunOncePerRunOfTimingSixOncePerCalculation) {
    WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]"});
    for (int t : {0, 6}) {
        const std::string path = app.file("log" + std::to_string(t) + ".sh");
        WriteBytes(path, "#!/bin/sh\necho \"$1\" >> \"$(dirname \"$0\")/t" + std::to_string(t) + ".log\"\n");
        ::chmod(path.c_str(), 0755);
    }
    Project p;
    p.taskPlan = "MonteCarlo";
    p.inputTasks = {In("a", 1, "1")};
    p.outputTasks = {Out("o", 1)};
    p.shellTasks = {{"\\log0.sh", "0", "[a]"}, {"\\log6.sh", "6", "[o]"}};
    p.monteCarlo.numOfCalc = "5";
    p.monteCarlo.randomSeed = "1";
    p.monteCarlo.sampledVariables = {{"a", "一様分布", "0", "1"}};
    ASSERT_EQ(run(p), 0) << (ui.messages.empty() ? "" : ui.messages.back());
    EXPECT_EQ(ReadBytes(app.file("t0.log")), "1.00000e+0\n");
    std::vector<std::string> six;
    std::string error;
    ASSERT_TRUE(ReadTextLines(app.file("t6.log"), six, error));
    ASSERT_EQ(six.size(), 5u);
    EXPECT_EQ(six[0], "1.00000e+0");  // the first calculation's output, read back
    auto lines = dbLines();
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(six[i], FormatArgumentValue(lines[i + 2][2]));
}

TEST_F(PlanRunsTest, KillingLibreOfficeMidRunEndsInOrder) {
    WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]*2"});
    Project p;
    p.taskPlan = "MonteCarlo";
    p.inputTasks = {In("a", 1, "0")};
    p.outputTasks = {Out("o", 1)};
    p.monteCarlo.numOfCalc = "50";
    p.monteCarlo.sampledVariables = {{"a", "一様分布", "0", "1"}};
    RunState state;
    Observer observer(state);
    observer.killAt = 4;
    EXPECT_EQ(run(p, &observer), 1);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_FALSE(ui.messages.back().empty());
    // Calculations 1 to 3 are whole lines; nothing of the fourth was written.
    const std::string bytes = ReadBytes(app.file("db.csv"));
    EXPECT_TRUE(bytes.ends_with("\r\n"));
    auto lines = dbLines();
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t i = 2; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].size(), 4u);
        EXPECT_EQ(lines[i][0], std::to_string(i - 1));
    }
    EXPECT_TRUE(test::ChildProcesses().empty());
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
        Project p;
        p.taskPlan = c.plan;
        p.inputTasks = {In("a", 1, "0")};
        p.monteCarlo.sampledVariables = {{"a", "一様分布", "0", "1"}};
        OutputTask o = Out("o", 1);
        o.range = c.address;
        o.sheet = c.sheet;
        p.outputTasks = {o};
        ui.messages.clear();
        EXPECT_EQ(run(p), 2);
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_NE(ui.messages.back().find(c.named), std::string::npos) << ui.messages.back();
        EXPECT_EQ(ReadBytes(app.file("db.csv")), kOld);
    }

    Project p;
    p.taskPlan = "DataFile Input";
    p.inputTasks = {In("a", 1, "0")};
    p.outputTasks = {Out("o", 1)};
    p.dataFileInput.dataFile = "\\missing.csv";
    p.dataFileInput.readParams = {{"0", "a"}};
    EXPECT_EQ(run(p), 2);
    EXPECT_NE(ui.messages.back().find("missing.csv"), std::string::npos) << ui.messages.back();
    std::filesystem::remove(app.file("OT_L108-3-49.dat"));
    p.taskPlan = "Orthogonal Table";
    p.orthogonalTable.factors = {{"a", "1", "", "2"}};
    EXPECT_EQ(run(p), 2);
    EXPECT_NE(ui.messages.back().find("OT_L108-3-49.dat"), std::string::npos) << ui.messages.back();
    WriteBytes(app.file("model.fods"), "this is no spreadsheet");
    p.taskPlan = "Single";
    EXPECT_EQ(run(p), 2);
    EXPECT_EQ(ReadBytes(app.file("db.csv")), kOld);
}

// An output whose cell holds an error value is not a result: its field is
// empty, the verdict False, and the end says how many and why.
TEST_F(PlanRunsTest, UnreadableOutputsAreRecordedEmptyAndInvalid) {
    WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]", "1/[$In.A1]", "[$In.A1]*2"});
    Project p;
    p.taskPlan = "MonteCarlo";
    p.monteCarlo.numOfCalc = "2";
    p.monteCarlo.randomSeed = "1";
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
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_NE(ui.messages.back().find("1回"), std::string::npos) << ui.messages.back();
    EXPECT_NE(ui.messages.back().find("#DIV/0!"), std::string::npos) << ui.messages.back();
}

}  // namespace
}  // namespace korvane

// Studies calculated by several LibreOffice instances: the DB file is the same,
// byte for byte, whatever calculated it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "LoTestSupport.h"
#include "RunTestSupport.h"
#include "TestSupport.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "project/NumberText.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "run/RunDriver.h"
#include "run/RunOptions.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using test::Formatted;
using test::In;
using test::Out;
using test::ReadBytes;

fs::path BuildFolder() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

// The DB files the sequential run wrote for the projects below, kept with the
// tests: every way of calculating a plan must give these bytes.
fs::path GoldenFile(const std::string& name) { return fs::path(KORVANE_GOLDEN_DIR) / name; }

class WorkersTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetAppFolder(app.path());
        for (const char* f : {"OT_L128-2-127.dat", "OT_L108-3-49.dat"})
            fs::copy_file(BuildFolder() / "app" / f, app.file(f));
        fs::create_directories(app.file("examples"));
        for (const auto& entry : fs::directory_iterator(BuildFolder() / "app" / "examples"))
            fs::copy_file(entry.path(), app.file("examples/" + entry.path().filename().string()));
    }

    Project example(const std::string& name) {
        std::vector<std::string> lines;
        std::string error;
        EXPECT_TRUE(ReadTextLines(app.file("examples/" + name + ".tolv"), lines, error)) << error;
        Project p = ParseProject(lines);
        p.dataBaseFileName = "\\db.csv";
        return p;
    }

    // Runs the project as the command line does; the exit status.
    int run(const Project& p, RunOptions options = {}) {
        std::string error;
        EXPECT_TRUE(WriteTextFileAtomic(app.file("p.tolv"), ProjectLines(p), error)) << error;
        ProjectDocument document(ui, app.path());
        EXPECT_TRUE(document.NewProject());
        ResetRunArrays(state);
        RunDriver driver(ui, observer, document, state, [] { return CreateWorkbookLink(); });
        driver.setRunOptions(options);
        return driver.CommandLineRun(app.file("p.tolv"));
    }

    static RunOptions Workers(int n, double timeout = 0) {
        RunOptions o;
        o.workers = n;
        o.calcTimeoutSeconds = timeout;
        return o;
    }

    // Asks for a stop at the event pass of a chosen calculation; kills one
    // LibreOffice instance of this process (kill -9) at the first event pass
    // from another calculation on.
    struct StopAt : RunObserver {
        explicit StopAt(RunState& s) : state(s) {}
        void eventPass() override {
            if (count && state.CalcCount == count) state.StopRequested = true;
            if (killAt && state.CalcCount >= killAt && (killed = KillOneInstance()) > 0) killAt = 0;
        }
        static pid_t KillOneInstance() {
            for (const auto& entry : fs::directory_iterator("/proc")) {
                const std::string stat = ReadBytes(entry.path().string() + "/stat");
                const auto close = stat.rfind(')');
                if (close == std::string::npos || stat.find("(soffice.bin)") == std::string::npos) continue;
                if (std::atol(stat.c_str() + close + 4) != ::getpid()) continue;  // the parent, after the state
                const pid_t pid = static_cast<pid_t>(std::atol(stat.c_str()));
                if (::kill(pid, SIGKILL) == 0) return pid;
            }
            return 0;
        }
        RunState& state;
        std::int64_t count = 0;
        std::int64_t killAt = 0;
        pid_t killed = 0;
    };

    std::string lastMessage() const { return ui.messages.empty() ? std::string() : ui.messages.back(); }

    // The DB file against its golden copy; with KORVANE_UPDATE_GOLDEN set,
    // the golden copy is written instead.
    void expectGolden(const std::string& name) {
        const std::string bytes = ReadBytes(app.file("db.csv"));
        if (std::getenv("KORVANE_UPDATE_GOLDEN")) {
            test::WriteBytes(GoldenFile(name).string(), bytes);
            return;
        }
        EXPECT_EQ(bytes, ReadBytes(GoldenFile(name).string())) << name;
    }

    test::TempDir app;
    test::RecordingUi ui;
    RunState state;
    StopAt observer{state};
};

// Inputs whose texts carry from one calculation to the next: a formatted
// value that is never drawn again, a replaced one, a rounded one, a name
// written into two cells.
Project CarriedValuesStudy() {
    Project p;
    p.excelFileName = "\\model.fods";
    p.dataBaseFileName = "\\db.csv";
    p.taskPlan = "MonteCarlo";
    p.inputTasks = {Formatted(In("a", 1, "10", "8", "12"), "Round", "3"),
                    Formatted(In("b", 2, "1234.5678"), "Format", "0.00"), In("a", 3, "10"),
                    Formatted(In("c", 4, "1", "-1", "3"), "Replace", "Text"),
                    Formatted(In("d", 5, "0"), "Format", "0.000")};
    p.replaceTasks = {{"c", "0=zero,1=one,2=two"}};
    p.outputTasks = {Out("twice", 1), Out("text", 2), Out("sum", 3, "", "1240")};
    p.monteCarlo.numOfCalc = "30";
    p.monteCarlo.randomSeed = "777";
    p.monteCarlo.sampledVariables = {{"a", "正規分布", "10", "1.5"}, {"c", "一様分布", "1", "1.5"},
                                     {"d", "正規分布", "0", "2"}};
    return p;
}

void WriteCarriedValuesModel(const std::string& path) {
    test::WriteWorkbook(path, 5, {"[$In.A1]*2", "[$In.D1]", "[$In.B1]+[$In.C1]+[$In.E1]"});
}

TEST_F(WorkersTest, EveryPlanWritesItsGoldenBytes) {
    Project mc = example("beam-montecarlo");
    mc.monteCarlo.numOfCalc = "60";
    ASSERT_EQ(run(mc), 0) << lastMessage();
    expectGolden("beam-montecarlo.csv");
    ASSERT_EQ(run(example("beam-datafile")), 0) << lastMessage();
    expectGolden("beam-datafile.csv");
    ASSERT_EQ(run(example("beam-orthogonal")), 0) << lastMessage();
    expectGolden("beam-orthogonal.csv");
    WriteCarriedValuesModel(app.file("model.fods"));
    ASSERT_EQ(run(CarriedValuesStudy()), 0) << lastMessage();
    expectGolden("carried-values.csv");
}

// Three instances calculating at once write the bytes one instance writes,
// for every plan; so do two instances that restart for every calculation.
TEST_F(WorkersTest, ThreeWorkersWriteTheSameBytesAsOne) {
    Project mc = example("beam-montecarlo");
    mc.monteCarlo.numOfCalc = "60";
    ASSERT_EQ(run(mc, Workers(3)), 0) << lastMessage();
    expectGolden("beam-montecarlo.csv");
    ASSERT_EQ(run(example("beam-datafile"), Workers(3)), 0) << lastMessage();
    expectGolden("beam-datafile.csv");
    ASSERT_EQ(run(example("beam-orthogonal"), Workers(3)), 0) << lastMessage();
    expectGolden("beam-orthogonal.csv");
    WriteCarriedValuesModel(app.file("model.fods"));
    ASSERT_EQ(run(CarriedValuesStudy(), Workers(3)), 0) << lastMessage();
    expectGolden("carried-values.csv");

    Project restarting = CarriedValuesStudy();
    restarting.monteCarlo.numOfCalc = "5";
    restarting.monteCarlo.restartExcel = "1";
    ASSERT_EQ(run(restarting, Workers(2)), 0) << lastMessage();
    const std::string golden = ReadBytes(GoldenFile("carried-values.csv").string());
    std::size_t end = 0;
    for (int line = 0; line < 7; ++line) end = golden.find("\r\n", end) + 2;
    EXPECT_EQ(ReadBytes(app.file("db.csv")), golden.substr(0, end));
}

// Patterns with a literal digit ("05" writes 1 as "15"): the input the plan
// does not assign keeps its number, and the one it assigns takes the new
// number, also where that reads as the text formatted last (15 after "15"),
// with one worker and with two.
TEST_F(WorkersTest, PatternsWithDigitsOfTheirOwnDoNotDrift) {
    test::WriteWorkbook(app.file("model.fods"), 2, {"[$In.A1]+[$In.B1]"});
    test::WriteBytes(app.file("data.csv"), "x\r\n1\r\n15\r\n15\r\n");
    Project p;
    p.excelFileName = "\\model.fods";
    p.dataBaseFileName = "\\db.csv";
    p.taskPlan = "DataFile Input";
    p.inputTasks = {Formatted(In("x", 1, "0"), "Format", "05"), Formatted(In("y", 2, "3"), "Format", "09")};
    p.outputTasks = {Out("sum", 1)};
    p.dataFileInput.dataFile = "\\data.csv";
    p.dataFileInput.readRow = "2";
    p.dataFileInput.readParams = {{"0", "x"}};
    const std::vector<std::string> expected = {"Count,x,y,sum,Validity(制限判定)", "-,[Input],[Input],[Output],[System]",
                                               "1,15,39,54,True", "2,155,39,194,True", "3,155,39,194,True"};
    for (int workers : {1, 2}) {
        SCOPED_TRACE(workers);
        ASSERT_EQ(run(p, Workers(workers)), 0) << lastMessage();
        std::vector<std::string> lines;
        std::string error;
        ASSERT_TRUE(ReadTextLines(app.file("db.csv"), lines, error)) << error;
        EXPECT_EQ(lines, expected);
    }
}

// A stop with several workers lets the calculations under way finish: the
// file holds the first lines of the whole study, none missing, none cut.
TEST_F(WorkersTest, AStopWithThreeWorkersLeavesTheFirstLinesWhole) {
    Project mc = example("beam-montecarlo");
    mc.monteCarlo.numOfCalc = "60";
    observer.count = 10;
    EXPECT_EQ(run(mc, Workers(3)), 3) << lastMessage();
    const std::string bytes = ReadBytes(app.file("db.csv"));
    const std::string golden = ReadBytes(GoldenFile("beam-montecarlo.csv").string());
    ASSERT_TRUE(bytes.ends_with("\r\n"));
    EXPECT_EQ(golden.substr(0, bytes.size()), bytes);
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(ReadTextLines(app.file("db.csv"), lines, error)) << error;
    EXPECT_GE(lines.size(), 12u);  // calculation 10 finished
    EXPECT_LE(lines.size(), 15u);  // and no more than the three under way
}

// Programs of timing 0 run once per run; those of timing 6 after their own
// calculation's line and before the next one, so in calculation order even
// with several workers.
TEST_F(WorkersTest, ProgramsKeepTheirTimingsWithSeveralWorkers) {
    test::WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]*2"});
    for (int t : {0, 6}) {
        const std::string path = app.file("log" + std::to_string(t) + ".sh");
        test::WriteBytes(path, "#!/bin/sh\necho \"$1 $2\" >> \"$(dirname \"$0\")/t" + std::to_string(t) + ".log\"\n");
        ::chmod(path.c_str(), 0755);
    }
    Project p;
    p.excelFileName = "\\model.fods";
    p.dataBaseFileName = "\\db.csv";
    p.taskPlan = "MonteCarlo";
    p.inputTasks = {In("a", 1, "1")};
    p.outputTasks = {Out("o", 1)};
    p.shellTasks = {{"\\log0.sh", "0", "[a]"}, {"\\log6.sh", "6", "[a] [o]"}};
    p.monteCarlo.numOfCalc = "12";
    p.monteCarlo.randomSeed = "5";
    p.monteCarlo.sampledVariables = {{"a", "一様分布", "0", "1"}};
    ASSERT_EQ(run(p, Workers(3)), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("t0.log")), "1.00000e+0 \n");
    std::vector<std::string> six, lines;
    std::string error;
    ASSERT_TRUE(ReadTextLines(app.file("t6.log"), six, error)) << error;
    ASSERT_TRUE(ReadTextLines(app.file("db.csv"), lines, error)) << error;
    ASSERT_EQ(six.size(), 12u);
    for (std::size_t i = 0; i < six.size(); ++i) {
        const auto f = SplitFields(lines[i + 2]);
        EXPECT_EQ(six[i], FormatArgumentValue(f[1]) + " " + FormatArgumentValue(f[2])) << i;
    }
}

// A macro that never returns is abandoned at the time limit: its line has
// empty outputs and the verdict False, a fresh instance takes over, the run
// completes and says how many calculations timed out; with one worker or two.
TEST_F(WorkersTest, ACalculationThatNeverReturnsIsAbandonedAtTheTimeLimit) {
    test::WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]*2"},
                        "Sub HangOnThree\n"
                        "    If ThisComponent.Sheets.getByName(\"In\").getCellByPosition(0, 0).getValue() = 3 Then\n"
                        "        Do While True\n"
                        "        Loop\n"
                        "    End If\n"
                        "End Sub\n");
    test::WriteBytes(app.file("data.csv"), "x\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n");
    Project p;
    p.excelFileName = "\\model.fods";
    p.dataBaseFileName = "\\db.csv";
    p.taskPlan = "DataFile Input";
    p.inputTasks = {In("x", 1, "0")};
    p.outputTasks = {Out("twice", 1)};
    p.macro = "HangOnThree";
    p.dataFileInput.dataFile = "\\data.csv";
    p.dataFileInput.readParams = {{"0", "x"}};
    const std::string expected = test::Cp932Lines({"Count,x,twice,Validity(制限判定)", "-,[Input],[Output],[System]",
                                                   "1,1,2,True", "2,2,4,True", "3,3,,False", "4,4,8,True",
                                                   "5,5,10,True", "6,6,12,True"});
    for (int workers : {1, 2}) {
        SCOPED_TRACE("workers: " + std::to_string(workers));
        ui.messages.clear();
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(run(p, Workers(workers, 3)), 0) << lastMessage();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(40));
        EXPECT_EQ(ReadBytes(app.file("db.csv")), expected);
        EXPECT_EQ(state.TimedOutCalcs, 1);
        EXPECT_NE(lastMessage().find("時間切れで打ち切った計算: 1回"), std::string::npos) << lastMessage();
    }
    // A program that hangs in one calculation: only that worker's program is
    // ended, the other worker's calculations go on.
    p.macro.clear();
    p.shellTasks = {{"/bin/sh", "2", "-c \"echo $$ > " + app.file("hung.pid") +
                                         "; test $0 = 3.00000e+0 && exec sleep 1000; exit 0\" [x]"}};
    ui.messages.clear();
    ASSERT_EQ(run(p, Workers(2, 3)), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), expected);
    EXPECT_EQ(state.TimedOutCalcs, 1);
}

// An instance killed (kill -9) in the middle of a study with two workers is
// replaced and its calculation made again: the DB file is the undisturbed
// study's, and the end of the run says so.
TEST_F(WorkersTest, AKilledInstanceIsReplacedAndItsCalculationMadeAgain) {
    Project mc = example("beam-montecarlo");
    mc.monteCarlo.numOfCalc = "60";
    mc.shellTasks = {{"/bin/sleep", "3", "0.05"}};  // the instances are busy when the kill comes
    observer.killAt = 20;
    ASSERT_EQ(run(mc, Workers(2)), 0) << lastMessage();
    EXPECT_GT(observer.killed, 0);
    expectGolden("beam-montecarlo.csv");
    EXPECT_GE(state.ReplacedInstances, 1);
    EXPECT_EQ(state.CrashedCalcs, 0);
    EXPECT_NE(lastMessage().find("起動し直した回数"), std::string::npos) << lastMessage();
}

// A calculation that kills its instance every time is made once more on a
// fresh one and then given up: its line has empty outputs and the verdict
// False, the next calculations run on yet another instance, and the end of
// the run counts it.
TEST_F(WorkersTest, ACalculationThatKillsItsInstanceTwiceIsRecordedFalse) {
    const std::string crash = app.file("crash.sh");
    // Kills the soffice.bin above it, however the macro's Shell starts it.
    test::WriteBytes(crash,
                     "#!/bin/sh\np=$PPID\n"
                     "while [ \"$p\" -gt 1 ] && [ \"$(cat /proc/$p/comm)\" != soffice.bin ]; do\n"
                     "  p=$(cut -d' ' -f4 /proc/$p/stat)\ndone\n"
                     "[ \"$p\" -gt 1 ] && kill -9 $p\n");
    ::chmod(crash.c_str(), 0755);
    test::WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]*2"},
                        "Sub CrashOnThree\n"
                        "    If ThisComponent.Sheets.getByName(\"In\").getCellByPosition(0, 0).getValue() = 3 Then\n"
                        "        Shell(\"" + crash + "\", 0, \"\", True)\n"
                        "        Wait 10000\n"
                        "    End If\n"
                        "End Sub\n");
    test::WriteBytes(app.file("data.csv"), "x\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n");
    Project p;
    p.excelFileName = "\\model.fods";
    p.dataBaseFileName = "\\db.csv";
    p.taskPlan = "DataFile Input";
    p.inputTasks = {In("x", 1, "0")};
    p.outputTasks = {Out("twice", 1)};
    p.macro = "CrashOnThree";
    p.dataFileInput.dataFile = "\\data.csv";
    p.dataFileInput.readParams = {{"0", "x"}};
    ASSERT_EQ(run(p, Workers(2)), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")),
              test::Cp932Lines({"Count,x,twice,Validity(制限判定)", "-,[Input],[Output],[System]", "1,1,2,True",
                                "2,2,4,True", "3,3,,False", "4,4,8,True", "5,5,10,True", "6,6,12,True"}));
    EXPECT_EQ(state.ReplacedInstances, 2);
    EXPECT_EQ(state.CrashedCalcs, 1);
    EXPECT_EQ(state.UnreadableCalcs, 0);
    EXPECT_NE(lastMessage().find("2回続けて異常終了した計算: 1回"), std::string::npos) << lastMessage();
}

}  // namespace
}  // namespace korvane

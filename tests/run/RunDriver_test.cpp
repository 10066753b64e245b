// The run driver's checks and refusals: everything that happens before a
// workbook is touched. (Runs on real workbooks are in the LibreOffice suite.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>
#include <functional>

#include "TestSupport.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "project/Paths.h"
#include "project/ProjectDocument.h"
#include "project/RecentFiles.h"
#include "project/RunState.h"
#include "run/Plans.h"
#include "run/RunDriver.h"
#include "run/RunOptions.h"
#include "workbook/WorkbookLink.h"

using namespace korvane;
using namespace korvane::test;

namespace {

class RecordingObserver : public RunObserver {
public:
    void lockWindow(bool locked) override { locks.push_back(locked); }
    void showEndWindow(const EndCounts& c) override { ends.push_back(c); }
    std::vector<bool> locks;
    std::vector<EndCounts> ends;
};

class RunDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetAppFolder(dir.path());
        ASSERT_TRUE(document.NewProject());
        WriteBytes(dir.file("model.xlsx"), "not opened by these tests");
    }
    // Writes `p` as p.tolv on \\model.xlsx, with its own DB path when
    // `keepDb`, else db.csv; its path.
    std::string writeProject(Project p, bool keepDb = false) {
        p.excelFileName = "\\model.xlsx";
        if (!keepDb) p.dataBaseFileName = dir.file("db.csv");
        std::string error;
        EXPECT_TRUE(WriteTextFileAtomic(dir.file("p.tolv"), ProjectLines(p), error)) << error;
        return dir.file("p.tolv");
    }
    static std::unique_ptr<WorkbookLink> NoWorkbook() { return {}; }
    int runCommandLine(const std::string& text, const RunOptions& options = {}) {
        RunDriver driver(ui, observer, document, state, NoWorkbook);
        driver.setRunOptions(options);
        return driver.CommandLineRun(text);
    }

    TempDir dir;
    RecordingUi ui;
    RecordingObserver observer;
    ProjectDocument document{ui, dir.path()};
    RunState state;
};

InputTask In(const std::string& name) {
    InputTask t;
    t.name = name;
    t.range = "A1";
    t.sheet = "S";
    return t;
}
OutputTask Out(const std::string& name) {
    OutputTask t;
    t.name = name;
    t.range = "B1";
    t.sheet = "S";
    return t;
}

// A project with input a and output o.
Project InAndOut() {
    Project p;
    p.inputTasks = {In("a")};
    p.outputTasks = {Out("o")};
    return p;
}

}  // namespace

TEST_F(RunDriverTest, PreRunChecksInTheirOrder) {
    RunState s;
    ResetRunArrays(s);
    s.PlanName = "MonteCarlo";
    EXPECT_EQ(PreRunCheckMessage(s), "有効な入力変数がありません。");
    s.InputNames.push_back("a");
    s.PlanSelected.push_back(false);
    EXPECT_EQ(PreRunCheckMessage(s), "有効な読込変数がありません。");
    s.OutputNames.push_back("o");
    EXPECT_EQ(PreRunCheckMessage(s), "計算回数が不正な値です。");
    s.MonteCarloCount = 10;
    EXPECT_EQ(PreRunCheckMessage(s), "有効な変数がありません。");
    s.PlanSelected[1] = true;
    EXPECT_EQ(PreRunCheckMessage(s), "");
    s.PlanSelected[1] = false;
    s.PlanName = "Orthogonal Table";
    EXPECT_EQ(PreRunCheckMessage(s), "有効な割付変数がありません。");
    s.PlanName = "DataFile Input";
    EXPECT_EQ(PreRunCheckMessage(s), "有効な変数がありません。");
    s.PlanName = "Single";
    EXPECT_EQ(PreRunCheckMessage(s), "");
}

// What the command line names is refused, with status 2 and a message,
// before anything is written: no project file (a folder, a wildcard, a
// missing file, a FIFO that would block for ever, a device that never ends,
// a file over 64 MiB, refused unread), a malformed project (naming its
// line), and the checks of every run (their order is tested above). A
// quoted path with blanks and an app-relative path do find their project.
TEST_F(RunDriverTest, CommandLineRefusalsExitNonZeroBeforeAnythingIsWritten) {
    ASSERT_EQ(::mkfifo(dir.file("fifo.tolv").c_str(), 0600), 0);
    {
        std::FILE* big = std::fopen(dir.file("big.tolv").c_str(), "w");
        ASSERT_NE(big, nullptr);
        ASSERT_EQ(::ftruncate(::fileno(big), 65LL * 1024 * 1024), 0);
        std::fclose(big);
    }
    std::vector<std::string> lines = ProjectLines(Project{});
    lines[0] = "Excel File Name    :\\model.xlsx";
    lines.insert(lines.begin() + 5, " Input Pram.       :a,A1,S,,1,,Round");
    std::string error;
    ASSERT_TRUE(WriteTextFileAtomic(dir.file("bad.tolv"), lines, error));
    ASSERT_TRUE(WriteTextFileAtomic(dir.file("my project.tolv"), ProjectLines(Project{}), error));
    Project p;
    p.excelFileName = "\\model.xlsx";
    ASSERT_TRUE(WriteTextFileAtomic(dir.file("rel.tolv"), ProjectLines(p), error));
    p.inputTasks = {In("a")};
    const std::string noOutputs = writeProject(p);
    std::filesystem::copy_file(noOutputs, dir.file("no-outputs.tolv"));
    p.outputTasks = {Out("o")};
    p.taskPlan = "UserScroll Mode";
    const std::string scroll = writeProject(p);

    struct Case {
        std::string commandLine, message;
    };
    for (const Case& c : {Case{dir.path(), dir.path() + "\n【tolvファイルアドレスが不正です。】"},
                          Case{"\"" + dir.file("*.tolv") + "\"", "【tolvファイルアドレスが不正です。】"},
                          Case{dir.file("none.tolv"), "【tolvファイルアドレスが不正です。】"},
                          Case{dir.file("fifo.tolv"), ""}, Case{"/dev/zero", ""},
                          Case{dir.file("big.tolv"), "64 MiB"}, Case{dir.file("bad.tolv"), "6行目"},
                          Case{"\"" + dir.file("my project.tolv") + "\"", "エクセルファイルのアドレスを確認して下さい。"},
                          Case{"\\rel.tolv", "有効な入力変数がありません。"},
                          Case{dir.file("no-outputs.tolv"), "有効な読込変数がありません。"},
                          Case{scroll, "UserScroll Modeはコマンドライン実行では対応出来ません。"}}) {
        SCOPED_TRACE(c.commandLine);
        ui.messages.clear();
        EXPECT_EQ(runCommandLine(c.commandLine), 2);
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_NE(ui.messages.back().find(c.message), std::string::npos) << ui.messages.back();
    }
    // A path with a NUL inside names no file, not the file before the NUL.
    EXPECT_FALSE(FileExists(dir.file("model.xlsx") + std::string(1, '\0') + "rest"));
    // Nothing was written: no DB file exists.
    EXPECT_FALSE(FileExists(dir.file("db.csv")));
    EXPECT_TRUE(state.StopRequested);
}

TEST_F(RunDriverTest, RunCommandAsksToSaveAndUnlocksAfterAFailedCheck) {
    RunDriver driver(ui, observer, document, state, NoWorkbook);
    document.header.workbookPath = "\\model.xlsx";
    ui.answerYes = false;
    EXPECT_EQ(driver.RunCommand(), RunOutcome::Refused);
    EXPECT_EQ(ui.questions.back(), "計算実行前にプロジェクトを保存する必要があります。保存して実行しますか？");
    EXPECT_TRUE(observer.locks.empty());

    ui.answerYes = true;
    ui.nextFile = "";  // the save dialog is cancelled
    EXPECT_EQ(driver.RunCommand(), RunOutcome::Refused);
    EXPECT_TRUE(observer.locks.empty());

    ui.nextFile = dir.file("saved.tolv");
    EXPECT_EQ(driver.RunCommand(), RunOutcome::Refused);  // no inputs
    EXPECT_EQ(ui.messages.back(), "有効な入力変数がありません。");
    EXPECT_EQ(observer.locks, (std::vector<bool>{true, false}));
    EXPECT_TRUE(FileExists(dir.file("saved.tolv")));
    EXPECT_TRUE(observer.ends.empty());
}

// A project cannot make a run write any file but a DB file of its own. A DB
// path naming a file the study needs (through a link or not), an existing
// file that is not a DB file (neither empty nor beginning with "Count,"), a
// folder, or an app-relative path that climbs out of the application folder
// is refused, at the command line as in the window, naming the file; nothing
// is written. No DB path at all is refused too, without ending the program.
TEST_F(RunDriverTest, ARunWritesOnlyToADbFileOfItsOwn) {
    TempDir outside;  // beside the application folder
    const std::string rc = outside.file(".bashrc"), rcText = "alias ll='ls -l'\n";
    WriteBytes(rc, rcText);
    const std::string climbing = "\\..\\" + std::filesystem::path(outside.path()).filename().string() + "\\.bashrc";
    // Where it would lead: the two folders are side by side.
    ASSERT_EQ(std::filesystem::path(dir.path()).parent_path(), std::filesystem::path(outside.path()).parent_path());
    std::filesystem::create_directory(dir.file("folder.csv"));
    WriteBytes(dir.file("notes.txt"), "my notes\r\n");
    WriteBytes(dir.file("empty.csv"), "");
    WriteBytes(dir.file("old.csv"), "Count,a,o,Validity(制限判定)\r\n");
    WriteBytes(dir.file("loads.csv"), "1\r\n");
    std::filesystem::create_symlink(dir.file("model.xlsx"), dir.file("link-to-model.xlsx"));

    Project p;
    p.inputTasks = {In("a")};
    p.outputTasks = {Out("x;touch ~/PWNED;#")};
    p.dbWriteMode = "Append";
    p.taskPlan = "DataFile Input";
    p.dataFileInput.dataFile = "\\loads.csv";
    p.dataFileInput.readParams = {{"0", "a"}};
    auto useDb = [&](const std::string& db) {
        p.dataBaseFileName = db;
        return writeProject(p, true);
    };
    struct Case {
        std::string db, named, why;
    };
    const std::string same = "同じファイル", notDb = "DBファイルではありません";
    for (const Case& c : {Case{dir.file("link-to-model.xlsx"), "", same}, Case{dir.file("p.tolv"), "", same},
                          Case{dir.file("loads.csv"), "", same}, Case{dir.file("OT_L108-3-49.dat"), "", same},
                          Case{dir.path() + "/./tmp.tolv1", "", same},
                          Case{climbing, climbing, "アプリケーションフォルダの中だけ"}, Case{rc, rc, notDb},
                          Case{dir.file("notes.txt"), dir.file("notes.txt"), notDb},
                          Case{dir.file("folder.csv"), dir.file("folder.csv"), "フォルダ"}}) {
        SCOPED_TRACE(c.db);
        EXPECT_EQ(runCommandLine(useDb(c.db)), 2);
        EXPECT_NE(ui.messages.back().find(c.named), std::string::npos) << ui.messages.back();
        EXPECT_NE(ui.messages.back().find(c.why), std::string::npos) << ui.messages.back();
        // The window's Run: the same check, the same refusal.
        ui.messages.clear();
        RunDriver driver(ui, observer, document, state, NoWorkbook);
        EXPECT_EQ(driver.RunCommand(), RunOutcome::Refused);
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_NE(ui.messages.back().find(c.why), std::string::npos) << ui.messages.back();
    }
    EXPECT_EQ(ReadBytes(rc), rcText);
    EXPECT_EQ(ReadBytes(dir.file("notes.txt")), "my notes\r\n");
    EXPECT_EQ(ReadBytes(dir.file("loads.csv")), "1\r\n");
    EXPECT_EQ(ReadBytes(dir.file("model.xlsx")), "not opened by these tests");
    EXPECT_FALSE(FileExists(dir.file("x;touch ~")));

    // An empty file and a DB file pass this check (the run then fails on the
    // workbook, which these tests never open).
    for (const std::string& db : {dir.file("empty.csv"), dir.file("old.csv")}) {
        SCOPED_TRACE(db);
        const std::string before = ReadBytes(db);
        runCommandLine(useDb(db));
        EXPECT_EQ(ui.messages.back().find(notDb), std::string::npos) << ui.messages.back();
        EXPECT_EQ(ReadBytes(db), before);
    }
    EXPECT_EQ(runCommandLine(useDb("")), 2);  // never ends the program
    EXPECT_EQ(ui.exitStatus, 0);
}

// --resume needs the lines of an interrupted run: without a DB file, or with
// the empty file of a run killed before its header, it says to start afresh.
TEST_F(RunDriverTest, ResumingWithoutLinesSaysToStartWithoutResume) {
    const std::string project = writeProject(InAndOut());
    RunOptions resume;
    resume.resume = true;
    for (bool empty : {false, true}) {
        SCOPED_TRACE(empty);
        if (empty) WriteBytes(dir.file("db.csv"), "");
        EXPECT_EQ(runCommandLine(project, resume), 2);
        EXPECT_NE(ui.messages.back().find("--resume を付けずに"), std::string::npos) << ui.messages.back();
        EXPECT_NE(ui.messages.back().find(empty ? "空です" : "ありません"), std::string::npos) << ui.messages.back();
        EXPECT_EQ(FileExists(dir.file("db.csv")), empty);
    }
}

// A project that could not be saved is not run; a Save As that failed keeps
// the old project path and adds nothing to the recent list.
TEST_F(RunDriverTest, AFailedSaveDoesNotRun) {
    RunDriver driver(ui, observer, document, state, NoWorkbook);
    document.header.workbookPath = "\\model.xlsx";
    document.header.dbPath = dir.file("db.csv");
    document.ProjectPath = dir.file("gone/old.tolv");  // its folder was removed
    ui.answerYes = true;
    EXPECT_EQ(driver.RunCommand(), RunOutcome::Refused);
    EXPECT_NE(ui.messages.back().find("ファイルを保存できません。"), std::string::npos) << ui.messages.back();
    EXPECT_TRUE(observer.locks.empty());
    EXPECT_FALSE(FileExists(dir.file("db.csv")));

    WriteBytes(dir.file("Recent.dat"), "");
    RecentFiles recent(dir.path());
    document.ProjectPath = dir.file("old.tolv");
    ui.nextFile = dir.file("gone/new.tolv");
    EXPECT_FALSE(document.SaveFileAs(&recent));
    EXPECT_EQ(document.ProjectPath, dir.file("old.tolv"));
    EXPECT_EQ(ReadBytes(dir.file("Recent.dat")), "");
}

// The end window's counts and valid share (counting the lines of every
// block is proven on the DB reader); no share without a file.
TEST_F(RunDriverTest, EndWindowCountsAndShareOfAnAppendedFile) {
    WriteBytes(dir.file("db.csv"), Cp932Lines({"Count,a,Validity(制限判定)", "-,[Input],[System]", "1,1,True",
                                               "2,1,false", "3,1,True"}));
    auto c = RunDriver::CountDbFile(dir.file("db.csv"));
    EXPECT_EQ(c.all, 3);
    EXPECT_EQ(c.invalid, 1);
    EXPECT_TRUE(c.haveShare);
    EXPECT_NEAR(c.validShare, 2.0 / 3.0, 1e-12);
    EXPECT_FALSE(RunDriver::CountDbFile(dir.file("missing.csv")).haveShare);
}

// Factors beyond the array's columns would keep their initial values in every
// row: the run is refused naming them, before anything is written.
TEST_F(RunDriverTest, OrthogonalFactorsBeyondTheArrayRefuseTheRun) {
    Project p = InAndOut();
    p.inputTasks.clear();
    for (int i = 1; i <= 51; ++i) {
        const std::string name = "x" + std::to_string(i);
        p.inputTasks.push_back(In(name));
        p.orthogonalTable.factors.push_back({name, "1", "2", "3"});
    }
    p.taskPlan = "Orthogonal Table";
    p.orthogonalTable.level = "3水準";
    EXPECT_EQ(runCommandLine(writeProject(p)), 2);
    EXPECT_EQ(ui.messages.back(),
              "3水準での因子数は最大49個までです。\n直交表の列に割り付けられない因子 (2個): x50, x51\n"
              "「実験計画法 直交表設定」で因子を減らすか水準を変えて下さい。");
    EXPECT_FALSE(FileExists(dir.file("db.csv")));
    EXPECT_FALSE(FileExists(dir.file("OTtmp.dat")));

    // At two levels the array has 127 columns: all 51 fit (the run goes on
    // to the array file, which this folder lacks).
    p.orthogonalTable.level = "2水準";
    runCommandLine(writeProject(p));
    EXPECT_EQ(ui.messages.back().find("因子数"), std::string::npos) << ui.messages.back();
}

// Sampling settings the run cannot use are refused naming the row, before
// anything is written: the rows' own checks, then what only the numbers can
// tell (parameters, limits, the correlations together, the method's size).
TEST_F(RunDriverTest, ABadSamplingSectionRefusesTheRunBeforeAnythingIsWritten) {
    struct Case {
        const char* what;
        std::function<void(Project&)> change;
        std::string expected;  // the message up to the window's name
    };
    auto limited = [](const std::string& name, const std::string& lower, const std::string& upper) {
        InputTask t = In(name);
        t.initial = "1";
        t.lower = lower;
        t.upper = upper;
        return t;
    };
    const std::vector<Case> cases = {
        {"precision with LHS",
         [](Project& p) {
             p.sampling.method = method::LHS;
             p.sampling.hasPrecision = true;
             p.sampling.precision = {"o", "0.01", ""};
         },
         "精度目標[o]はLHSでは使えません (LHSは計算回数を初めに決めて層に分けるため、途中で止められません)。"},
        {"lognormal mean not above 0",
         [](Project& p) { p.monteCarlo.sampledVariables = {{"a", "対数正規分布", "-1", "0.1"}}; },
         "変数[a]の対数正規分布の中心値（平均）は0より大きくして下さい。"},
        {"fractional discrete uniform",
         [](Project& p) { p.monteCarlo.sampledVariables = {{"a", "離散一様分布", "1.5", "2"}}; },
         "変数[a]の離散一様分布の中心値と標準偏差は整数で指定して下さい。"},
        {"limits the distribution never reaches",
         [&](Project& p) {
             p.sampling.method = method::Sobol;
             p.inputTasks = {limited("a", "2", "3")};
             p.monteCarlo.sampledVariables = {{"a", "一様分布", "0", "1"}};
         },
         "変数[a]の"},
        {"correlations that contradict each other",
         [&](Project& p) {
             p.inputTasks = {limited("a", "", ""), limited("b", "", ""), limited("c", "", "")};
             p.monteCarlo.sampledVariables = {{"a", "正規分布", "1", "0.1"}, {"b", "正規分布", "1", "0.1"},
                                              {"c", "正規分布", "1", "0.1"}};
             p.sampling.correlations = {{"a", "b", "0.9"}, {"a", "c", "0.9"}, {"b", "c", "-0.9"}};
         },
         "相関[b,c]"},
        {"more correlated variables than drawn calculations",
         [&](Project& p) {
             p.inputTasks = {limited("a", "", ""), limited("b", "", "")};
             p.monteCarlo.numOfCalc = "3";
             p.monteCarlo.sampledVariables = {{"a", "正規分布", "1", "0.1"}, {"b", "正規分布", "1", "0.1"}};
             p.sampling.correlations = {{"a", "b", "0.5"}};
         },
         "相関を付けるには計算回数を4回以上にして下さい (相関を付ける変数: 2個)。"},
        {"a design too large to hold",
         [](Project& p) {
             p.sampling.method = method::LHS;
             p.monteCarlo.numOfCalc = "1000000000";
         },
         "計算回数×サンプリングする変数の数が多すぎてサンプルを作れません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ui.messages.clear();
        Project p = InAndOut();
        p.inputTasks[0].initial = "1";
        p.taskPlan = "MonteCarlo";
        p.monteCarlo.sampledVariables = {{"a", "正規分布", "1", "0.1"}};
        c.change(p);
        EXPECT_EQ(runCommandLine(writeProject(p)), 2);
        ASSERT_FALSE(ui.messages.empty());
        const std::string& m = ui.messages.back();
        EXPECT_EQ(m.substr(0, c.expected.size()), c.expected) << m;
        EXPECT_TRUE(m.ends_with("\n「MonteCarlo設定」で直して下さい。")) << m;
        EXPECT_FALSE(FileExists(dir.file("db.csv")));
    }
}

// The run driver's checks and refusals: everything that happens before a
// workbook is touched. (Runs on real workbooks are in the LibreOffice suite.)
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>

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
    // Writes a project file and returns its path.
    std::string writeProject(Project p) {
        p.excelFileName = "\\model.xlsx";
        p.dataBaseFileName = dir.file("db.csv");
        std::string error;
        EXPECT_TRUE(WriteTextFileAtomic(dir.file("p.tolv"), ProjectLines(p), error)) << error;
        return dir.file("p.tolv");
    }
    int runCommandLine(const std::string& text) {
        RunDriver driver(ui, observer, document, state, [] { return std::unique_ptr<WorkbookLink>(); });
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

TEST_F(RunDriverTest, CommandLineRefusalsExitNonZeroBeforeAnythingIsWritten) {
    // A folder, a wildcard and a missing file are not projects.
    EXPECT_EQ(runCommandLine(dir.path()), 2);
    EXPECT_EQ(ui.messages.back(), dir.path() + "\n【tolvファイルアドレスが不正です。】");
    EXPECT_EQ(runCommandLine("\"" + dir.file("*.tolv") + "\""), 2);
    EXPECT_EQ(runCommandLine(dir.file("none.tolv")), 2);
    // Nor are a FIFO (reading it would block for ever) and a device that
    // never ends; a project larger than 64 MiB is refused unread.
    ASSERT_EQ(::mkfifo(dir.file("fifo.tolv").c_str(), 0600), 0);
    EXPECT_EQ(runCommandLine(dir.file("fifo.tolv")), 2);
    EXPECT_EQ(runCommandLine("/dev/zero"), 2);
    {
        std::FILE* big = std::fopen(dir.file("big.tolv").c_str(), "w");
        ASSERT_NE(big, nullptr);
        ASSERT_EQ(::ftruncate(::fileno(big), 65LL * 1024 * 1024), 0);
        std::fclose(big);
    }
    EXPECT_EQ(runCommandLine(dir.file("big.tolv")), 2);
    EXPECT_NE(ui.messages.back().find("64 MiB"), std::string::npos) << ui.messages.back();
    // A path with a NUL inside names no file, not the file before the NUL.
    WriteBytes(dir.file("cut.xlsx"), "x");
    EXPECT_FALSE(FileExists(dir.file("cut.xlsx") + std::string(1, '\0') + "rest"));

    // The checks of every run (their order is tested above) end it too.
    Project p;
    p.inputTasks = {In("a")};
    EXPECT_EQ(runCommandLine(writeProject(p)), 2);
    EXPECT_EQ(ui.messages.back(), "有効な読込変数がありません。");

    p.outputTasks = {Out("o")};
    p.taskPlan = "UserScroll Mode";
    EXPECT_EQ(runCommandLine(writeProject(p)), 2);
    EXPECT_EQ(ui.messages.back(), "UserScroll Modeはコマンドライン実行では対応出来ません。");

    // Nothing was written: no DB file exists.
    EXPECT_FALSE(FileExists(dir.file("db.csv")));
    EXPECT_TRUE(state.StopRequested);
}

TEST_F(RunDriverTest, QuotedPathWithBlanksAndAppRelativePath) {
    Project p;
    std::string error;
    ASSERT_TRUE(WriteTextFileAtomic(dir.file("my project.tolv"), ProjectLines(p), error));
    // The project is found (it is refused later, for having no inputs).
    EXPECT_EQ(runCommandLine("\"" + dir.file("my project.tolv") + "\""), 2);
    EXPECT_EQ(ui.messages.back(), "エクセルファイルのアドレスを確認して下さい。");
    p.excelFileName = "\\model.xlsx";
    ASSERT_TRUE(WriteTextFileAtomic(dir.file("rel.tolv"), ProjectLines(p), error));
    EXPECT_EQ(runCommandLine("\\rel.tolv"), 2);
    EXPECT_EQ(ui.messages.back(), "有効な入力変数がありません。");
}

TEST_F(RunDriverTest, MalformedProjectIsRefusedWithItsLine) {
    std::vector<std::string> lines = ProjectLines(Project{});
    lines[0] = "Excel File Name    :\\model.xlsx";
    lines.insert(lines.begin() + 5, " Input Pram.       :a,A1,S,,1,,Round");
    std::string error;
    ASSERT_TRUE(WriteTextFileAtomic(dir.file("bad.tolv"), lines, error));
    EXPECT_EQ(runCommandLine(dir.file("bad.tolv")), 2);
    EXPECT_NE(ui.messages.back().find("6行目"), std::string::npos) << ui.messages.back();
}

TEST_F(RunDriverTest, RunCommandAsksToSaveAndUnlocksAfterAFailedCheck) {
    RunDriver driver(ui, observer, document, state, [] { return std::unique_ptr<WorkbookLink>(); });
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

// A DB path that names a file the study needs, through a link or not, or no
// DB path at all: refused before anything is written, the file untouched.
TEST_F(RunDriverTest, ADbPathNamingAFileTheStudyNeedsIsRefused) {
    Project p;
    p.inputTasks = {In("a")};
    p.outputTasks = {Out("o")};
    p.taskPlan = "DataFile Input";
    p.dataFileInput.dataFile = "\\loads.csv";
    p.dataFileInput.readParams = {{"0", "a"}};
    WriteBytes(dir.file("loads.csv"), "1\r\n");
    std::filesystem::create_symlink(dir.file("model.xlsx"), dir.file("link-to-model.xlsx"));
    const std::string project = writeProject(p);
    for (const std::string& db : {dir.file("link-to-model.xlsx"), project, dir.file("loads.csv"),
                                  dir.file("OT_L108-3-49.dat"), dir.path() + "/./tmp.tolv1"}) {
        SCOPED_TRACE(db);
        p.excelFileName = "\\model.xlsx";
        auto lines = ProjectLines(p);
        lines[1] = "DataBase File Name :" + db;
        std::string error;
        ASSERT_TRUE(WriteTextFileAtomic(project, lines, error));
        const std::string before = FileExists(db) ? ReadBytes(db) : "";
        EXPECT_EQ(runCommandLine(project), 2);
        EXPECT_NE(ui.messages.back().find("同じファイル"), std::string::npos) << ui.messages.back();
        if (db == dir.file("loads.csv") || db == dir.file("link-to-model.xlsx")) {
            EXPECT_EQ(ReadBytes(db), before);
        }
    }
    EXPECT_EQ(ReadBytes(dir.file("model.xlsx")), "not opened by these tests");

    auto lines = ProjectLines(p);
    lines[0] = "Excel File Name    :\\model.xlsx";
    lines[1] = "DataBase File Name :";
    std::string error;
    ASSERT_TRUE(WriteTextFileAtomic(project, lines, error));
    EXPECT_EQ(runCommandLine(project), 2);  // never ends the program
    EXPECT_EQ(ui.exitStatus, 0);
}

// A project cannot make a run write any file but a DB file. An existing file
// that is not one (neither empty nor beginning with "Count,"), a folder, or an
// app-relative path that climbs out of the application folder is refused, at
// the command line as in the window, naming the file; nothing is written.
TEST_F(RunDriverTest, ARunWritesOnlyToADbFile) {
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

    Project p;
    p.inputTasks = {In("a")};
    p.outputTasks = {Out("x;touch ~/PWNED;#")};
    p.dbWriteMode = "Append";
    const std::string project = writeProject(p);
    auto useDb = [&](const std::string& db) {
        auto lines = ProjectLines(p);
        lines[0] = "Excel File Name    :\\model.xlsx";
        lines[1] = "DataBase File Name :" + db;
        std::string error;
        ASSERT_TRUE(WriteTextFileAtomic(project, lines, error)) << error;
    };
    struct Case {
        std::string db, named, why;
    };
    for (const Case& c : {Case{climbing, climbing, "アプリケーションフォルダの中だけ"},
                          Case{rc, rc, "DBファイルではありません"},
                          Case{dir.file("notes.txt"), dir.file("notes.txt"), "DBファイルではありません"},
                          Case{dir.file("folder.csv"), dir.file("folder.csv"), "フォルダ"}}) {
        SCOPED_TRACE(c.db);
        useDb(c.db);
        EXPECT_EQ(runCommandLine(project), 2);
        EXPECT_NE(ui.messages.back().find(c.named), std::string::npos) << ui.messages.back();
        EXPECT_NE(ui.messages.back().find(c.why), std::string::npos) << ui.messages.back();
        // The window's Run: the same check, the same refusal.
        ui.messages.clear();
        RunDriver driver(ui, observer, document, state, [] { return std::unique_ptr<WorkbookLink>(); });
        ui.answerYes = true;
        EXPECT_EQ(driver.RunCommand(), RunOutcome::Refused);
        ASSERT_FALSE(ui.messages.empty());
        EXPECT_NE(ui.messages.back().find(c.why), std::string::npos) << ui.messages.back();
    }
    EXPECT_EQ(ReadBytes(rc), rcText);
    EXPECT_EQ(ReadBytes(dir.file("notes.txt")), "my notes\r\n");
    EXPECT_FALSE(FileExists(dir.file("x;touch ~")));

    // An empty file and a DB file pass this check (the run then fails on the
    // workbook, which these tests never open).
    for (const std::string& db : {dir.file("empty.csv"), dir.file("old.csv")}) {
        SCOPED_TRACE(db);
        useDb(db);
        const std::string before = ReadBytes(db);
        runCommandLine(project);
        EXPECT_EQ(ui.messages.back().find("DBファイルではありません"), std::string::npos) << ui.messages.back();
        EXPECT_EQ(ReadBytes(db), before);
    }
}

// --resume needs the lines of an interrupted run: without a DB file, or with
// the empty file of a run killed before its header, it says to start afresh.
TEST_F(RunDriverTest, ResumingWithoutLinesSaysToStartWithoutResume) {
    Project p;
    p.inputTasks = {In("a")};
    p.outputTasks = {Out("o")};
    const std::string project = writeProject(p);
    for (bool empty : {false, true}) {
        SCOPED_TRACE(empty);
        if (empty) WriteBytes(dir.file("db.csv"), "");
        RunDriver driver(ui, observer, document, state, [] { return std::unique_ptr<WorkbookLink>(); });
        RunOptions options;
        options.resume = true;
        driver.setRunOptions(options);
        EXPECT_EQ(driver.CommandLineRun(project), 2);
        EXPECT_NE(ui.messages.back().find("--resume を付けずに"), std::string::npos) << ui.messages.back();
        EXPECT_NE(ui.messages.back().find(empty ? "空です" : "ありません"), std::string::npos) << ui.messages.back();
        EXPECT_EQ(FileExists(dir.file("db.csv")), empty);
    }
}

// A project that could not be saved is not run; a Save As that failed keeps
// the old project path and adds nothing to the recent list.
TEST_F(RunDriverTest, AFailedSaveDoesNotRun) {
    RunDriver driver(ui, observer, document, state, [] { return std::unique_ptr<WorkbookLink>(); });
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

TEST_F(RunDriverTest, EndWindowCountsEveryBlockOfAnAppendedFile) {
    WriteBytes(dir.file("db.csv"), Cp932Lines({"Count,a,o,Validity(制限判定)", "-,[Input],[Output],[System]",
                                               "1,1,1,True", "2,1,1,False", "3,1,1,True",
                                               "Count,a,o,Validity(制限判定)", "-,[Input],[Output],[System]",
                                               "1,1,1,True", "2,1,1,false", "3,1,1,True"}));
    auto c = RunDriver::CountDbFile(dir.file("db.csv"));
    EXPECT_EQ(c.all, 6);
    EXPECT_EQ(c.valid, 4);
    EXPECT_EQ(c.invalid, 2);
    EXPECT_TRUE(c.haveShare);
    EXPECT_NEAR(c.validShare, 4.0 / 6.0, 1e-12);
    auto none = RunDriver::CountDbFile(dir.file("missing.csv"));
    EXPECT_EQ(none.all, 0);
    EXPECT_FALSE(none.haveShare);
}

// Factors beyond the array's columns would keep their initial values in every
// row: the run is refused naming them, before anything is written.
TEST_F(RunDriverTest, OrthogonalFactorsBeyondTheArrayRefuseTheRun) {
    Project p;
    for (int i = 1; i <= 51; ++i) {
        const std::string name = "x" + std::to_string(i);
        p.inputTasks.push_back(In(name));
        p.orthogonalTable.factors.push_back({name, "1", "2", "3"});
    }
    p.outputTasks = {Out("o")};
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

// The program itself, run unattended without a display: its exit status and
// what it prints on stderr.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>

#include "LoTestSupport.h"
#include "TestSupport.h"
#include "db/DbFile.h"
#include "platform/TextFile.h"
#include "project/Project.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string err, out;
};

// Runs build/app/korvane with the arguments, KORVANE_HOME set to `home` and
// no display; its exit status, standard error and standard output.
Result RunKorvane(const std::string& home, const std::string& args) {
    const fs::path exe = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "korvane";
    const std::string errFile = home + "/stderr.txt";
    const std::string outFile = home + "/stdout.txt";
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY KORVANE_HOME='" + home + "' '" + exe.string() + "' " +
                            args + " 2>'" + errFile + "' >'" + outFile + "'";
    Result r;
    int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = test::ReadBytes(errFile);
    r.out = test::ReadBytes(outFile);
    return r;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A Single project on \model.fods: input x in Model!A1 (initial 3), output
// y in Model!C1, the macros of `macro`, results in \db.csv.
void WriteProject(const std::string& path, const std::string& macro) {
    Project p;
    p.excelFileName = "\\model.fods";
    p.dataBaseFileName = "\\db.csv";
    p.macro = macro;
    InputTask x;
    x.name = "x";
    x.sheet = "Model";
    x.range = "A1";
    x.initial = "3";
    p.inputTasks = {x};
    OutputTask y;
    y.name = "y";
    y.sheet = "Model";
    y.range = "C1";
    p.outputTasks = {y};
    std::string error;
    ASSERT_TRUE(WriteTextFileAtomic(path, ProjectLines(p), error)) << error;
}

// Model!C1 = the macro's result for Model!A1.
void WriteModel(const std::string& path, const std::string& module) {
    test::WriteFods(path, {{"Model", {{"0", "", "0"}}}}, {{"Standard", "Module1", module}});
}

TEST(CommandLine, HelpVersionAndRefusals) {
    test::TempDir home;
    EXPECT_EQ(RunKorvane(home.path(), "--version").status, 0);
    EXPECT_EQ(RunKorvane(home.path(), "--help").status, 0);

    Result missing = RunKorvane(home.path(), "'" + home.file("none.tolv") + "'");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("【tolvファイルアドレスが不正です。】"), std::string::npos) << missing.err;
}

TEST(CommandLine, TheSingleExampleRunsToItsEndAndExitsZero) {
    test::TempDir home;
    const fs::path examples = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "examples";
    fs::create_directories(home.file("examples"));
    for (const char* f : {"beam.fods", "beam-single.tolv"}) fs::copy_file(examples / f, home.file("examples/") + f);
    Result r = RunKorvane(home.path(), "'\\examples\\beam-single.tolv'");
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(ReadTextLines(home.file("examples/beam-single.csv"), lines, error)) << error;
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "0,1000,500,20.,40.,206000,1,93.75,1.89623786407767,3.14,2.61333333333333,True");
}

TEST(CommandLine, ASecondInstanceOnTheSameFolderIsRefused) {
    test::TempDir home;
    // Hold the folder's lock from a first program that waits.
    const fs::path exe = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "korvane";
    std::string cmd = "flock -n '" + home.file("korvane.lock") + "' sleep 5 &";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::system("sleep 0.3");
    Result r = RunKorvane(home.path(), "'" + home.file("x.tolv") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("既に実行中"), std::string::npos) << r.err;
}

TEST(CommandLine, AMacroThatCannotRunFailsTheRunNamingModuleLineAndCause) {
    test::TempDir home;
    WriteProject(home.file("p.tolv"), "Calc");
    // A VBA module LibreOffice cannot compile: before, the run ended with 0
    // and recorded the workbook's stored values.
    WriteModel(home.file("model.fods"),
               "Option VBASupport 1\n"
               "Sub Calc\n"
               "  Dim c As Boolean\n"
               "  c = True\n"
               "  If c Then: ThisComponent.Sheets(0).getCellRangeByName(\"C1\").setValue(1)\n"
               "End Sub\n");
    Result r = RunKorvane(home.path(), "'\\p.tolv'");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "マクロ「Calc」(Standard.Module1) を実行できません")) << r.err;
    EXPECT_TRUE(Contains(r.err, "Module1 の 5 行目: If c Then: ThisComponent")) << r.err;
    EXPECT_TRUE(Contains(r.err, "「:」を消して")) << r.err;
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(ReadTextLines(home.file("db.csv"), lines, error)) << error;
    EXPECT_EQ(lines.size(), 2u);  // the header, and no line of made-up results

    // A runtime error: the line and LibreOffice's own text.
    WriteModel(home.file("model.fods"),
               "Sub Calc\n"
               "  Dim a(1) As Integer\n"
               "  a(5) = 1\n"
               "End Sub\n");
    r = RunKorvane(home.path(), "'\\p.tolv'");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "マクロ「Calc」(Standard.Module1) の実行中にエラーが発生しました (Module1 の 3 行目: "
                                "a(5) = 1): Error 9: Index out of defined range."))
        << r.err;

    // A macro the workbook does not have.
    WriteProject(home.file("p.tolv"), "Calc,Solve");
    WriteModel(home.file("model.fods"), "Sub Calc\nEnd Sub\n");
    r = RunKorvane(home.path(), "'\\p.tolv'");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "マクロ「Solve」が見つかりません")) << r.err;
    EXPECT_TRUE(Contains(r.err, "このブックのマクロ: Module1.Calc")) << r.err;
}

TEST(CommandLine, AWorkbookThatComputesDifferentlyIsWarnedAboutAndTheRunGoesOn) {
    test::TempDir home;
    WriteProject(home.file("p.tolv"), "Calc");
    WriteModel(home.file("model.fods"),
               "Sub Calc\n"
               "  Dim x As Double\n"
               "  x = ThisComponent.Sheets(0).getCellRangeByName(\"A1\").getValue()\n"
               "  ThisComponent.Sheets(0).getCellRangeByName(\"C1\").setValue(-x ^ 2)\n"
               "End Sub\n");
    Result r = RunKorvane(home.path(), "'\\p.tolv'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "Excel と同じに計算されない箇所があります (1 件)。計算は続けます。")) << r.err;
    EXPECT_TRUE(Contains(r.err, "Module1:4: -x ^ 2 は Excel (VBA) では -(x ^ 2)")) << r.err;
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(ReadTextLines(home.file("db.csv"), lines, error)) << error;
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "0,3,9,True");  // Excel would give -9: hence the warning
}

TEST(CommandLine, TheCheckPrintsOneLinePerFindingAndExitsByWhatItFound) {
    test::TempDir home;
    test::WriteFods(home.file("clean.fods"), {{"Model", {{"2", "=[.A1]*2"}}}}, {{"Standard", "Module1", "Sub A\nEnd Sub\n"}});
    test::WriteFods(home.file("excel.fods"), {{"Model", {{"a-b", "=TEXTBEFORE([.A1];\"-\")"}}}},
                    {{"Standard", "Module1", "Option VBASupport 1\nSub A\n  Debug.Print 1\nEnd Sub\n"}});
    Result clean = RunKorvane(home.path(), "--check '" + home.file("clean.fods") + "'");
    EXPECT_EQ(clean.status, 0) << clean.err;
    EXPECT_EQ(clean.out, "");
    Result found = RunKorvane(home.path(), "--check '" + home.file("excel.fods") + "'");
    EXPECT_EQ(found.status, 1) << found.err;
    std::vector<std::string> lines;
    for (std::size_t at = 0, nl; (nl = found.out.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(found.out.substr(at, nl - at));
    ASSERT_EQ(lines.size(), 2u) << found.out;
    EXPECT_EQ(lines[0].rfind("Model!B1: #NAME? 関数 TEXTBEFORE は LibreOffice にありません", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("Module1:3: Debug.Print は", 0), 0u) << lines[1];
    // A path relative to the application folder, as project files store them.
    EXPECT_EQ(RunKorvane(home.path(), "--check '\\excel.fods'").status, 1);

    Result missing = RunKorvane(home.path(), "--check '" + home.file("none.fods") + "'");
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(Contains(missing.err, "none.fods")) << missing.err;
    EXPECT_EQ(RunKorvane(home.path(), "--check").status, 2);
    EXPECT_TRUE(Contains(RunKorvane(home.path(), "--help").out, "--check WORKBOOK"));
}

// A long Monte Carlo study of the example, with the given extra programs, in
// `home`; its project path.
std::string LongStudy(const test::TempDir& home, const std::vector<ShellTask>& programs) {
    const fs::path examples = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "examples";
    fs::create_directories(home.file("examples"));
    for (const char* f : {"beam.fods", "beam-montecarlo.tolv"}) fs::copy_file(examples / f, home.file("examples/") + f);
    std::vector<std::string> lines;
    std::string error;
    EXPECT_TRUE(ReadTextLines(home.file("examples/beam-montecarlo.tolv"), lines, error)) << error;
    Project p = ParseProject(lines);
    p.monteCarlo.numOfCalc = "100000";
    p.shellTasks = programs;
    EXPECT_TRUE(WriteTextFileAtomic(home.file("long.tolv"), ProjectLines(p), error)) << error;
    return home.file("long.tolv");
}

// Starts the program on `project` without a display, its temporary folder
// inside `home`; stderr goes to home/stderr.txt.
pid_t StartKorvane(const test::TempDir& home, const std::string& project) {
    const fs::path exe = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "korvane";
    fs::create_directories(home.file("tmp"));
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("KORVANE_HOME", home.path().c_str(), 1);
        ::setenv("TMPDIR", home.file("tmp").c_str(), 1);
        const int err = ::open(home.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, 2);
        ::execl(exe.c_str(), exe.c_str(), project.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// Waits up to `seconds` for the condition, polling.
template <typename F>
bool WaitFor(F condition, double seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (condition()) return true;
        ::usleep(50000);
    }
    return condition();
}

int ExitStatus(pid_t pid, double seconds) {
    int status = 0;
    if (!WaitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, seconds)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A process that is gone (or only a zombie waiting for its reaper).
bool Gone(pid_t pid) {
    const std::string stat = test::ReadBytes("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && stat.substr(close + 2, 1) == "Z");
}

pid_t PidFrom(const std::string& file) {
    const std::string text = test::ReadBytes(file);
    return text.empty() ? 0 : static_cast<pid_t>(std::stol(text));
}

std::int64_t DataLines(const std::string& db) {
    DbCounts counts;
    std::string error;
    CountDbLines(db, counts, error);
    return counts.all();
}

// Ctrl-C stops an unattended run as Stop does: whole lines, the programs it
// started ended, LibreOffice's temporary files gone, status 3.
TEST(CommandLine, ASignalStopsTheRunInOrder) {
    test::TempDir home;
    const std::string bg = home.file("bg.pid");
    const std::string project =
        LongStudy(home, {{"/bin/sh", "0", "-c \"sleep 1000 & echo $! > " + bg + "\""}, {"/bin/sleep", "1", "0.1"}});
    const pid_t pid = StartKorvane(home, project);
    const std::string db = home.file("examples/beam-montecarlo.csv");
    ASSERT_TRUE(WaitFor([&] { return DataLines(db) >= 2; }, 90)) << test::ReadBytes(home.file("stderr.txt"));
    ::kill(pid, SIGINT);
    EXPECT_EQ(ExitStatus(pid, 60), 3);
    const std::string err = test::ReadBytes(home.file("stderr.txt"));
    EXPECT_NE(err.find("SIGINT"), std::string::npos) << err;
    const std::string bytes = test::ReadBytes(db);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_GE(DataLines(db), 2);
    ASSERT_NE(PidFrom(bg), 0);
    EXPECT_TRUE(WaitFor([&] { return Gone(PidFrom(bg)); }, 5)) << "the background program outlived the run";
    EXPECT_TRUE(fs::is_empty(home.file("tmp"))) << "temporary files left behind";
}

// A calculation that hangs in a program: the first SIGTERM waits for it, the
// second ends everything at once, still with whole lines only.
TEST(CommandLine, ASecondSignalEndsAHungCalculationAtOnce) {
    test::TempDir home;
    const std::string hang = home.file("hang.pid");
    const std::string project = LongStudy(home, {{"/bin/sh", "2", "-c \"echo $$ > " + hang + "; exec sleep 1000\""}});
    const pid_t pid = StartKorvane(home, project);
    ASSERT_TRUE(WaitFor([&] { return PidFrom(hang) != 0; }, 90)) << test::ReadBytes(home.file("stderr.txt"));
    ::kill(pid, SIGTERM);
    ::usleep(300000);
    EXPECT_FALSE(Gone(pid));  // still waiting for the calculation
    ::kill(pid, SIGTERM);
    EXPECT_EQ(ExitStatus(pid, 10), 3);
    EXPECT_TRUE(WaitFor([&] { return Gone(PidFrom(hang)); }, 5)) << "the hung program outlived Korvane";
    const std::string bytes = test::ReadBytes(home.file("examples/beam-montecarlo.csv"));
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(DataLines(home.file("examples/beam-montecarlo.csv")), 0);
}

// Started from a desktop launcher, a second Korvane says why it does not
// start in a message box, not only on stderr that nobody reads.
TEST(CommandLine, ASecondInstanceWithADisplaySaysSoInABox) {
    test::PrivateDisplay display;
    std::string reason;
    if (!display.start(reason)) GTEST_SKIP() << reason;
    test::TempDir home;
    const fs::path exe = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "korvane";
    ASSERT_EQ(std::system(("flock -n '" + home.file("korvane.lock") + "' sleep 20 &").c_str()), 0);
    std::system("sleep 0.3");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("KORVANE_HOME", home.path().c_str(), 1);
        ::unsetenv("QT_QPA_PLATFORM");
        ::unsetenv("KORVANE_NO_GUI");
        const int err = ::open(home.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, 2);
        ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // The box is there until someone presses OK.
    std::string window;
    EXPECT_TRUE(WaitFor([&] { return !(window = test::ShellOutput("xdotool search --name '^Korvane$' 2>/dev/null")).empty(); }, 30));
    EXPECT_FALSE(Gone(pid));
    test::Shell("xdotool key --window " + window + " Return 2>/dev/null");
    int status = ExitStatus(pid, 10);
    EXPECT_EQ(status, 1);
    const std::string err = test::ReadBytes(home.file("stderr.txt"));
    EXPECT_NE(err.find("KORVANE_HOME"), std::string::npos) << err;
}

}  // namespace
}  // namespace korvane

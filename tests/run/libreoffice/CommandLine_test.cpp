// The program itself, run unattended without a display: its exit status and
// what it prints on stderr. One file, for all of these tests start the built
// program (alone or under mpirun) as a process, signal or kill it, and share
// the helpers that start, watch and end it: the workbook check, macros that
// fail, signals, a second instance, resuming, and MPI jobs.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>

#include <filesystem>
#include <fstream>

#include "IshigamiStudy.h"
#include "RunFixture.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using namespace test;

struct Result {
    int status = -1;
    std::string err, out;
};

std::string KorvaneExe() { return BuildAppFolder() + "/korvane"; }

// Writes `p` as home/`file`; its path.
std::string WriteStudy(const TempDir& home, const Project& p, const std::string& file) {
    std::string error;
    EXPECT_TRUE(WriteTextFileAtomic(home.file(file), ProjectLines(p), error)) << error;
    return home.file(file);
}

// Runs build/app/korvane with the arguments, KORVANE_HOME set to `home` and
// no display; its exit status, standard error and standard output.
// With `prefixKorvane` false, `args` is the whole command (mpirun ...).
Result RunKorvane(const std::string& home, const std::string& args, bool prefixKorvane = true) {
    const std::string errFile = home + "/stderr.txt";
    const std::string outFile = home + "/stdout.txt";
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 "
                            "KORVANE_HOME='" + home + "' " +
                            (prefixKorvane ? "'" + KorvaneExe() + "' " : std::string()) + args + " 2>'" + errFile +
                            "' >'" + outFile + "'";
    Result r;
    int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = ReadBytes(errFile);
    r.out = ReadBytes(outFile);
    return r;
}

// Ranks that refuse or fail leave the job without MPI_Finalize; Open MPI then
// keeps allocations of its own (many in components it has already unloaded,
// whose stacks no suppression can name). A sanitized build checks those ranks
// for everything but leaks; the ranks that finish normally keep the leak check.
const std::string kRanksLeavingEarly = "ASAN_OPTIONS=detect_leaks=0 ";

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A Single project on `workbook`: input x in Model!A1 (initial 3), output
// y in Model!C1, the macros of `macro`, results in \db.csv.
Project SingleStudy(const std::string& workbook, const std::string& macro = "") {
    Project p;
    p.excelFileName = workbook;
    p.dataBaseFileName = "\\db.csv";
    p.macro = macro;
    p.inputTasks = {In("x", 1, "3")};
    p.inputTasks[0].sheet = "Model";
    p.outputTasks = {Out("y", 3)};
    p.outputTasks[0].sheet = "Model";
    return p;
}

// Model!C1 = the macro's result for Model!A1.
void WriteModel(const std::string& path, const std::string& module) {
    WriteFods(path, {{"Model", {{"0", "", "0"}}}}, {{"Standard", "Module1", module}});
}

// An Excel workbook whose Model!C1 (=A1+1) stored `c1` when Excel saved it
// with A1 = 0; Model!B1 (=A1*3) stored 0.
void WriteExcelModel(const std::string& path, const std::string& c1) {
    WriteXlsx(path, {{"Model", "<row r=\"1\"><c r=\"A1\"><v>0</v></c><c r=\"B1\"><f>A1*3</f><v>0</v></c>"
                               "<c r=\"C1\"><f>A1+1</f><v>" + c1 + "</v></c></row>"}});
}

TEST(CommandLine, AWorkbookThatDiffersFromWhatExcelStoredIsRefusedUnlessAccepted) {
    TempDir home;
    WriteExcelModel(home.file("model.xlsx"), "7");
    const std::string before = ReadBytes(home.file("model.xlsx"));
    const std::string study = WriteStudy(home, SingleStudy("\\model.xlsx"), "study.tolv");
    WriteBytes(home.file("db.csv"), "Count,x,y,Judge\r\n1,3,6,True\r\n");

    // The check names the cell with both values and its formula.
    Result check = RunKorvane(home.path(), "--check '" + home.file("model.xlsx") + "'");
    EXPECT_EQ(check.status, 1) << check.err;
    EXPECT_TRUE(Contains(check.out, "Model!C1  Excel 7  LibreOffice 1  =A1+1")) << check.out;
    EXPECT_FALSE(Contains(check.out, "Model!B1")) << check.out;

    // Refused before the first calculation: status 2, the DB file as it was.
    Result refused = RunKorvane(home.path(), "'" + study + "'");
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "Model!C1  Excel 7  LibreOffice 1")) << refused.err;
    EXPECT_TRUE(Contains(refused.err, "--accept-differences")) << refused.err;
    EXPECT_EQ(ReadBytes(home.file("db.csv")), "Count,x,y,Judge\r\n1,3,6,True\r\n");

    // Run anyway when told to, saying so.
    Result accepted = RunKorvane(home.path(), "--accept-differences '" + study + "'");
    EXPECT_EQ(accepted.status, 0) << accepted.err;
    EXPECT_TRUE(Contains(accepted.err, "--accept-differences の指定により")) << accepted.err;
    const auto lines = FileLines(home.file("db.csv"));
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(Contains(lines.back(), "4")) << lines.back();  // y = 3 + 1
    EXPECT_EQ(ReadBytes(home.file("model.xlsx")), before);

    // What Excel stored, LibreOffice computes: a clean check.
    WriteExcelModel(home.file("clean.xlsx"), "1");
    Result clean = RunKorvane(home.path(), "--check '" + home.file("clean.xlsx") + "'");
    EXPECT_EQ(clean.status, 0) << clean.out << clean.err;
    EXPECT_EQ(clean.out, "");

    // No workbook in the file at all: unreadable, not clean.
    WriteBytes(home.file("empty.xlsx"), "");
    Result empty = RunKorvane(home.path(), "--check '" + home.file("empty.xlsx") + "'");
    EXPECT_EQ(empty.status, 2);
    EXPECT_TRUE(Contains(empty.err, "0 バイト")) << empty.err;
}

TEST(CommandLine, TheCheckPrintsOneLinePerFindingAndExitsByWhatItFound) {
    TempDir home;
    WriteFods(home.file("clean.fods"), {{"Model", {{"2", "=[.A1]*2"}}}}, {{"Standard", "Module1", "Sub A\nEnd Sub\n"}});
    WriteFods(home.file("excel.fods"), {{"Model", {{"a-b", "=TEXTBEFORE([.A1];\"-\")"}}}},
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
}

TEST(CommandLine, HelpVersionAndRefusals) {
    TempDir home;
    EXPECT_EQ(RunKorvane(home.path(), "--version").status, 0);
    const Result help = RunKorvane(home.path(), "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(Contains(help.out, "--check WORKBOOK")) << help.out;

    Result missing = RunKorvane(home.path(), "'" + home.file("none.tolv") + "'");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("【tolvファイルアドレスが不正です。】"), std::string::npos) << missing.err;
    // Options after the project are options, not part of its path.
    missing = RunKorvane(home.path(), "'" + home.file("none.tolv") + "' --workers 2");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("none.tolv\n【"), std::string::npos) << missing.err;

    // The windows without a display: a message and status 2, not Qt's abort.
    const std::string exe = "env -u QT_QPA_PLATFORM '" + KorvaneExe() + "'";
    for (const std::string& args : {std::string(), " --open '" + home.file("none.tolv") + "'"}) {
        const Result noDisplay = RunKorvane(home.path(), exe + args, false);
        EXPECT_EQ(noDisplay.status, 2) << args;
        EXPECT_NE(noDisplay.err.find("ディスプレイ"), std::string::npos) << noDisplay.err;
    }
    // A KORVANE_HOME that names no folder is said so.
    const Result noHome =
        RunKorvane(home.path(), "env KORVANE_HOME='" + home.file("gone") + "' " + exe + " '" + home.file("p.tolv") + "'", false);
    EXPECT_EQ(noHome.status, 2);
    EXPECT_NE(noHome.err.find("KORVANE_HOME"), std::string::npos) << noHome.err;
    EXPECT_NE(noHome.err.find(home.file("gone")), std::string::npos) << noHome.err;
}

TEST(CommandLine, TheSingleExampleRunsToItsEndAndExitsZero) {
    TempDir home;
    CopyAppFiles(home);
    Result r = RunKorvane(home.path(), "'\\examples\\beam-single.tolv'");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = FileLines(home.file("examples/beam-single.csv"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "0,1000,500,20.,40.,206000,1,93.75,1.89623786407767,3.14,2.61333333333333,True");
}

// A macro that cannot run fails the run naming module, line and cause, and
// records no made-up results; one that LibreOffice computes otherwise than
// Excel would is warned about, and the run goes on.
TEST(CommandLine, MacrosThatCannotRunFailTheRunAndOnesThatComputeDifferentlyAreWarnedAbout) {
    TempDir home;
    WriteStudy(home, SingleStudy("\\model.fods", "Calc"), "p.tolv");
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
    EXPECT_EQ(FileLines(home.file("db.csv")).size(), 2u);  // the header, and no line of made-up results

    // A runtime error: the line and LibreOffice's own text.
    WriteModel(home.file("model.fods"), "Sub Calc\n  Dim a(1) As Integer\n  a(5) = 1\nEnd Sub\n");
    r = RunKorvane(home.path(), "'\\p.tolv'");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "マクロ「Calc」(Standard.Module1) の実行中にエラーが発生しました (Module1 の 3 行目: "
                                "a(5) = 1): Error 9: Index out of defined range."))
        << r.err;

    // Computed otherwise than by Excel: a warning, and the run goes on.
    WriteModel(home.file("model.fods"),
               "Sub Calc\n"
               "  Dim x As Double\n"
               "  x = ThisComponent.Sheets(0).getCellRangeByName(\"A1\").getValue()\n"
               "  ThisComponent.Sheets(0).getCellRangeByName(\"C1\").setValue(-x ^ 2)\n"
               "End Sub\n");
    r = RunKorvane(home.path(), "'\\p.tolv'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "Excel と同じに計算されない箇所があります (1 件)。計算は続けます。")) << r.err;
    EXPECT_TRUE(Contains(r.err, "Module1:4: -x ^ 2 は Excel (VBA) では -(x ^ 2)")) << r.err;
    const std::vector<std::string> lines = FileLines(home.file("db.csv"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "0,3,9,True");  // Excel would give -9: hence the warning

    // A macro the workbook does not have.
    WriteStudy(home, SingleStudy("\\model.fods", "Calc,Solve"), "p.tolv");
    WriteModel(home.file("model.fods"), "Sub Calc\nEnd Sub\n");
    r = RunKorvane(home.path(), "'\\p.tolv'");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err, "マクロ「Solve」が見つかりません")) << r.err;
    EXPECT_TRUE(Contains(r.err, "このブックのマクロ: Module1.Calc")) << r.err;
}

// A long Monte Carlo study of the example, with the given extra programs, in
// `home` (results in home/db.csv); its project path.
std::string LongStudy(const TempDir& home, const std::vector<ShellTask>& programs) {
    Project p = ExampleProject(home, "beam-montecarlo");
    p.monteCarlo.numOfCalc = "100000";
    p.shellTasks = programs;
    return WriteStudy(home, p, "long.tolv");
}

// Starts `argv` (the program searched in PATH), KORVANE_HOME=home, its
// temporary folder home/tmp, stderr into home/stderr.txt. Without a display
// unless `withDisplay`, which keeps the display the test set up and lets the
// program use it.
pid_t Start(const TempDir& home, std::vector<std::string> argv, bool withDisplay = false, bool sigintIgnored = false) {
    fs::create_directories(home.file("tmp"));
    const pid_t pid = ::fork();
    if (pid == 0) {
        // As a program started in the background by a shell inherits it.
        if (sigintIgnored) ::signal(SIGINT, SIG_IGN);
        if (withDisplay) {
            ::unsetenv("QT_QPA_PLATFORM");
            ::unsetenv("KORVANE_NO_GUI");
        } else {
            ::unsetenv("DISPLAY");
            ::unsetenv("WAYLAND_DISPLAY");
        }
        ::setenv("KORVANE_HOME", home.path().c_str(), 1);
        ::setenv("TMPDIR", home.file("tmp").c_str(), 1);
        const int err = ::open(home.file("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(err, 2);
        std::vector<char*> args;
        for (auto& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return pid;
}

// Starts korvane with `options` on `project` (none when empty).
pid_t StartKorvane(const TempDir& home, const std::string& project, std::vector<std::string> options = {},
                   bool withDisplay = false, bool sigintIgnored = false) {
    options.insert(options.begin(), KorvaneExe());
    if (!project.empty()) options.push_back(project);
    return Start(home, options, withDisplay, sigintIgnored);
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
    const std::string stat = ReadBytes("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    return stat.empty() || (close != std::string::npos && stat.substr(close + 2, 1) == "Z");
}

pid_t PidFrom(const std::string& file) {
    const std::string text = ReadBytes(file);
    return text.empty() ? 0 : static_cast<pid_t>(std::stol(text));
}

std::int64_t DataLines(const std::string& db) {
    DbCounts counts;
    std::string error;
    CountDbLines(db, counts, error);
    return counts.all();
}

// What Korvane's LibreOffice instances left in home/tmp.
std::vector<std::string> InstanceLeftovers(const TempDir& home) {
    std::vector<std::string> left;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(home.file("tmp"), ec))
        if (entry.path().filename().string().rfind("korvane-lo", 0) == 0) left.push_back(entry.path().string());
    return left;
}

// A signal stops a run as Stop does: status 3, whole lines, the programs it
// started ended, no LibreOffice folder left. Unattended on Ctrl-C; started
// from a desktop, with its window shown, on SIGTERM and on a SIGINT it
// inherited as ignored, with no message box waiting for a click.
TEST(CommandLine, ASignalStopsTheRunInOrder) {
    struct Case {
        int signo;
        bool window;
    };
    PrivateDisplay display;
    for (const Case c : {Case{SIGINT, false}, {SIGTERM, true}, {SIGINT, true}}) {
        SCOPED_TRACE(std::string(c.signo == SIGINT ? "SIGINT" : "SIGTERM") + (c.window ? " with the window" : ""));
        std::string reason;
        if (c.window && display.display().empty() && !display.start(reason)) GTEST_SKIP() << reason;
        TempDir home;
        const std::string bg = home.file("bg.pid");
        const std::string project =
            LongStudy(home, {{"/bin/sh", "0", "-c \"sleep 1000 & echo $! > " + bg + "\""}, {"/bin/sleep", "1", "0.1"}});
        const pid_t pid = StartKorvane(home, project, {}, c.window, c.window && c.signo == SIGINT);
        const std::string db = home.file("db.csv");
        ASSERT_TRUE(WaitFor([&] { return DataLines(db) >= 2; }, 90)) << ReadBytes(home.file("stderr.txt"));
        ::kill(pid, c.signo);
        EXPECT_EQ(ExitStatus(pid, 60), 3) << ReadBytes(home.file("stderr.txt"));
        if (!c.window) {
            EXPECT_TRUE(Contains(ReadBytes(home.file("stderr.txt")), "SIGINT"));
        }
        EXPECT_TRUE(ReadBytes(db).ends_with("\r\n"));
        EXPECT_GE(DataLines(db), 2);
        ASSERT_NE(PidFrom(bg), 0);
        EXPECT_TRUE(WaitFor([&] { return Gone(PidFrom(bg)); }, 5)) << "the background program outlived the run";
        if (c.window) {
            EXPECT_EQ(InstanceLeftovers(home), std::vector<std::string>{});
        } else {
            EXPECT_TRUE(fs::is_empty(home.file("tmp"))) << "temporary files left behind";
        }
    }
}

// A calculation that hangs in a program. With one worker the first SIGTERM
// waits for it and a second ends everything at once; with two workers a
// single signal ends it after the grace time. Either way no line of it is
// written, the hung program is ended, and the run ends with the stop status.
TEST(CommandLine, ASignalEndsAHungCalculationInOrder) {
    for (int workers : {1, 2}) {
        SCOPED_TRACE(workers);
        TempDir home;
        const std::string hang = home.file("hang.pid");
        const std::string project = LongStudy(home, {{"/bin/sh", "2", "-c \"echo $$ > " + hang + "; exec sleep 1000\""}});
        const pid_t pid = StartKorvane(home, project, workers == 1 ? std::vector<std::string>{}
                                                                   : std::vector<std::string>{"--workers", "2"});
        ASSERT_TRUE(WaitFor([&] { return PidFrom(hang) != 0; }, 90)) << ReadBytes(home.file("stderr.txt"));
        ::kill(pid, SIGTERM);
        if (workers == 1) {
            ::usleep(300000);
            EXPECT_FALSE(Gone(pid));  // still waiting for the calculation
            ::kill(pid, SIGTERM);
            EXPECT_EQ(ExitStatus(pid, 10), 3);
        } else {
            EXPECT_EQ(ExitStatus(pid, 30), 3);
            EXPECT_TRUE(Contains(ReadBytes(home.file("stderr.txt")), "打ち切りました"));
            EXPECT_TRUE(fs::is_empty(home.file("tmp"))) << "temporary files left behind";
        }
        EXPECT_TRUE(WaitFor([&] { return Gone(PidFrom(hang)); }, 5)) << "the hung program outlived the run";
        EXPECT_TRUE(ReadBytes(home.file("db.csv")).ends_with("\r\n"));
        EXPECT_EQ(DataLines(home.file("db.csv")), 0);
    }
}

// A second Korvane on the same folder is refused: unattended on stderr, and
// started from a desktop launcher in a message box too, which someone reads.
TEST(CommandLine, ASecondInstanceOnTheSameFolderIsRefused) {
    TempDir home;
    // Hold the folder's lock from a first program that waits.
    ASSERT_EQ(std::system(("flock -n '" + home.file("korvane.lock") + "' sleep 20 &").c_str()), 0);
    std::system("sleep 0.3");
    Result r = RunKorvane(home.path(), "'" + home.file("x.tolv") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("既に実行中"), std::string::npos) << r.err;

    PrivateDisplay display;
    std::string reason;
    if (!display.start(reason)) GTEST_SKIP() << reason;
    const pid_t pid = StartKorvane(home, "", {}, true);
    // The box is there until someone presses OK.
    std::string window;
    EXPECT_TRUE(WaitFor([&] { return !(window = ShellOutput("xdotool search --name '^Korvane$' 2>/dev/null")).empty(); }, 30));
    EXPECT_FALSE(Gone(pid));
    // Under load the box may not take keys yet: press OK until it is gone.
    int status = -1;
    for (int attempt = 0; attempt < 30 && status < 0; ++attempt) {
        Shell("xdotool key --window " + window + " Return 2>/dev/null");
        int raw = 0;
        if (WaitFor([&] { return ::waitpid(pid, &raw, WNOHANG) == pid; }, 1))
            status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    if (status < 0) status = ExitStatus(pid, 1);
    EXPECT_EQ(status, 1);
    const std::string err = ReadBytes(home.file("stderr.txt"));
    EXPECT_NE(err.find("KORVANE_HOME"), std::string::npos) << err;
}

// The example Monte Carlo study of 60 calculations (its golden file's) as
// home/p.tolv, results in home/db.csv, with the given programs.
Project SixtyCalculations(const TempDir& home, const std::vector<ShellTask>& programs = {}) {
    Project p = ExampleProject(home, "beam-montecarlo");
    p.monteCarlo.numOfCalc = "60";
    p.shellTasks = programs;
    WriteStudy(home, p, "p.tolv");
    return p;
}

// A study killed mid-run (kill -9, a line cut short by it) and resumed, with
// two workers, ends byte for byte as the uninterrupted study.
TEST(CommandLine, AKilledStudyResumesToTheBytesOfAnUninterruptedOne) {
    TempDir home;
    SixtyCalculations(home, {{"/bin/sleep", "2", "0.1"}});  // slow enough to be caught mid-run
    const std::string db = home.file("db.csv");
    const std::string golden = Golden("beam-montecarlo.csv");

    const pid_t pid = StartKorvane(home, home.file("p.tolv"), {"--workers", "2"});
    ASSERT_TRUE(WaitFor([&] { return DataLines(db) >= 8; }, 90)) << ReadBytes(home.file("stderr.txt"));
    ::kill(pid, SIGKILL);
    ExitStatus(pid, 10);
    const std::string killed = ReadBytes(db);
    ASSERT_LT(killed.size(), golden.size());
    EXPECT_EQ(golden.substr(0, killed.size()), killed);
    {
        // What a power cut can leave: a line without its end.
        std::ofstream out(db, std::ios::binary | std::ios::app);
        out << golden.substr(killed.size(), 9);
    }
    Result r = RunKorvane(home.path(), "--resume --workers=2 '" + home.file("p.tolv") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadBytes(db), golden);
    // Resuming a finished study changes nothing.
    r = RunKorvane(home.path(), "--resume '" + home.file("p.tolv") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("終わっています"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(db), golden);
}

// A DB file that is not this study's (another seed, other columns, no
// header at all) is refused with the reason and left as it was, and no
// program of the study has run.
TEST(CommandLine, ResumingAnotherStudysFileIsRefusedAndChangesNothing) {
    TempDir home;
    const std::string start = FirstLines(Golden("beam-montecarlo.csv"), 12);
    struct Case {
        std::string what, file, expected;
    };
    for (const Case& c : {Case{"seed", start, "一致しません"}, Case{"columns", start, "変数名が違います"},
                          Case{"no header", "Count,x", "見出し行"},  // a names line cut short
                          Case{"no DB file", "1,2,3\r\n", "DBファイルではありません"},
                          Case{"random seed", start, "Random"}}) {
        SCOPED_TRACE(c.what);
        Project p = ExampleProject(home, "beam-montecarlo");
        p.monteCarlo.numOfCalc = "60";
        if (c.what == "seed") p.monteCarlo.randomSeed = "4321";
        if (c.what == "columns") p.outputTasks.pop_back();
        if (c.what == "random seed") p.monteCarlo.randomSeed = "Random";
        p.shellTasks = {{"/bin/touch", "0", home.file("timing0.ran")}};
        WriteStudy(home, p, "p.tolv");
        WriteBytes(home.file("db.csv"), c.file);
        Result r = RunKorvane(home.path(), "--resume '" + home.file("p.tolv") + "'");
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_EQ(ReadBytes(home.file("db.csv")), c.file);
        EXPECT_FALSE(fs::exists(home.file("timing0.ran"))) << "a program ran before the refusal";
    }
}

// A hand-edited line with a stray quote is one line to resume as to every
// reader: a finished study stays finished and untouched, and a resume refused
// later (here: the workbook lacks the model's sheet) leaves the file byte for
// byte as it was, its line cut short included.
TEST(CommandLine, AStrayQuoteCostsAResumeNoLine) {
    TempDir home;
    Project p = SixtyCalculations(home);
    const std::string golden = Golden("beam-montecarlo.csv");
    // Line 6: a quote opened at its first output and never closed.
    std::size_t at = FirstLines(golden, 5).size();
    for (int comma = 0; comma < 7; ++comma) at = golden.find(',', at) + 1;
    const std::string edited = golden.substr(0, at) + "\"" + golden.substr(at);
    WriteBytes(home.file("db.csv"), edited);
    Result r = RunKorvane(home.path(), "--resume '" + home.file("p.tolv") + "'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("終わっています"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(home.file("db.csv")), edited);

    const std::string cut = FirstLines(edited, 30);
    const std::string interrupted = edited.substr(0, cut.size() + 9);  // and a line cut short
    WriteBytes(home.file("db.csv"), interrupted);
    WriteFods(home.file("other.fods"), {{"Other", {{"0"}}}});
    p.excelFileName = "\\other.fods";
    WriteStudy(home, p, "p.tolv");
    r = RunKorvane(home.path(), "--resume '" + home.file("p.tolv") + "'");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("Model"), std::string::npos) << r.err;  // the sheet it lacks
    EXPECT_EQ(ReadBytes(home.file("db.csv")), interrupted);
}

// ------------------------------------------------------------------ MPI

// The example study `name` as home/`name`.tolv.
std::string ExampleStudy(const TempDir& home, const std::string& name, const std::string& calcs = {},
                         const std::vector<ShellTask>& programs = {}) {
    Project p = ExampleProject(home, name);
    if (!calcs.empty()) p.monteCarlo.numOfCalc = calcs;
    p.shellTasks = programs;
    return WriteStudy(home, p, name + ".tolv");
}

// Skips the test when there is no mpirun or korvane was built without MPI.
#define SKIP_WITHOUT_MPI(home)                                                                             \
    do {                                                                                                   \
        if (std::system("command -v mpirun >/dev/null 2>&1") != 0) GTEST_SKIP() << "no mpirun";            \
        Result probe = RunKorvane((home).path(), "--mpi '" + (home).file("none.tolv") + "'");              \
        if (probe.err.find("MPI なし") != std::string::npos) GTEST_SKIP() << "korvane built without MPI"; \
    } while (0)

// Three ranks (rank 0 writing, two calculating) write the bytes one instance
// writes, for every plan (the Monte Carlo study's in ADyingMpiRankLosesNoLine,
// which ends with them too) and for the designs made whole at run start: a
// Sobol' study with a Gumbel input correlated to another, and a Saltelli one.
TEST(CommandLine, ThreeMpiRanksWriteTheSameBytesAsOneInstance) {
    TempDir home;
    SKIP_WITHOUT_MPI(home);
    auto underMpi = [&](const std::string& project) {
        Result r = RunKorvane(home.path(),
                              "mpirun --allow-run-as-root --oversubscribe --enable-recovery -n 3 '" + KorvaneExe() +
                                  "' --mpi '" + project + "'",
                              false);
        EXPECT_EQ(r.status, 0) << r.err;
        // Under --enable-recovery the job's status is 0 however rank 0 ended:
        // its last line says, and tells why a file came out short.
        EXPECT_TRUE(Contains(r.err, "korvane: 終了ステータス 0\n")) << r.err;
        return ReadBytes(home.file("db.csv"));
    };
    for (const std::string example : {"beam-datafile", "beam-orthogonal"}) {
        SCOPED_TRACE(example);
        EXPECT_EQ(underMpi(ExampleStudy(home, example)), Golden(example + ".csv"));
    }
    Project sobol = ExampleProject(home, "beam-montecarlo");
    sobol.monteCarlo.numOfCalc = "30";
    sobol.monteCarlo.sampledVariables[0] = {"荷重", "ガンベル分布", "1000", "150"};
    sobol.sampling.method = method::Sobol;
    sobol.sampling.correlations = {{"荷重", "長さ", "-0.5"}};
    WriteIshigamiWorkbook(home.file("ishigami.fods"));
    for (const auto& [name, study] : {std::pair{"sobol", sobol}, std::pair{"saltelli", IshigamiStudy(1 + 5 * 5, "99")}}) {
        SCOPED_TRACE(name);
        const std::string project = WriteStudy(home, study, std::string(name) + ".tolv");
        Result r = RunKorvane(home.path(), "'" + project + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string one = ReadBytes(home.file("db.csv"));
        ASSERT_EQ(DataLines(home.file("db.csv")), std::stoll(study.monteCarlo.numOfCalc));
        std::filesystem::remove(home.file("db.csv"));
        EXPECT_EQ(underMpi(project), one);
    }
}

// The pid of the korvane process of `rank` started with KORVANE_HOME=home.
pid_t RankProcess(const TempDir& home, int rank) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
        std::string env = ReadBytes((entry.path() / "environ").string());
        std::replace(env.begin(), env.end(), '\0', '\n');
        env = "\n" + env;
        if (env.find("\nKORVANE_HOME=" + home.path() + "\n") == std::string::npos) continue;
        if (env.find("\nOMPI_COMM_WORLD_RANK=" + std::to_string(rank) + "\n") == std::string::npos) continue;
        if (ReadBytes((entry.path() / "comm").string()).rfind("korvane", 0) != 0) continue;
        return static_cast<pid_t>(std::stol(name));
    }
    return 0;
}

// Starts mpirun with recovery on two or three ranks of korvane --mpi `project`.
pid_t StartMpiJob(const TempDir& home, int ranks, const std::string& project) {
    return Start(home, {"mpirun", "--allow-run-as-root", "--oversubscribe", "--enable-recovery", "-n",
                        std::to_string(ranks), KorvaneExe(), "--mpi", project});
}

// A rank killed mid-run loses no line: its calculation goes to the other.
TEST(CommandLine, ADyingMpiRankLosesNoLine) {
    TempDir home;
    SKIP_WITHOUT_MPI(home);
    const pid_t mpirun = StartMpiJob(home, 3, ExampleStudy(home, "beam-montecarlo", "60", {{"/bin/sleep", "2", "0.2"}}));
    const std::string db = home.file("db.csv");
    ASSERT_TRUE(WaitFor([&] { return DataLines(db) >= 5; }, 120)) << ReadBytes(home.file("stderr.txt"));
    const pid_t rank1 = RankProcess(home, 1);
    ASSERT_NE(rank1, 0);
    ::kill(rank1, SIGKILL);
    EXPECT_EQ(ExitStatus(mpirun, 240), 0) << ReadBytes(home.file("stderr.txt"));
    EXPECT_EQ(ReadBytes(db), Golden("beam-montecarlo.csv"));
    EXPECT_NE(ReadBytes(home.file("stderr.txt")).find("ランク 1"), std::string::npos);
}

// The job's exit status is Korvane's under mpirun, the command the README
// gives. Under --enable-recovery Open MPI 4.1 ends with 0 whatever the ranks
// return: the last line rank 0 writes says how the run ended.
TEST(CommandLine, AnMpiJobEndsWithKorvanesStatus) {
    TempDir home;
    SKIP_WITHOUT_MPI(home);
    Project p = ExampleProject(home, "beam-montecarlo");
    p.monteCarlo.numOfCalc = "4";
    Project refused = p;
    refused.outputTasks.clear();
    Project failed = p;
    failed.shellTasks = {{home.file("no-such-program"), "0", ""}};
    struct Case {
        std::string name;
        const Project& project;
        int status;
        std::string message;
    };
    for (const Case& c : {Case{"refused", refused, 2, "有効な読込変数がありません。"},
                          Case{"failed", failed, 1, "no-such-program"}}) {
        const std::string project = WriteStudy(home, c.project, c.name + ".tolv");
        for (const bool recovery : {false, true}) {
            SCOPED_TRACE(c.name + (recovery ? " --enable-recovery" : ""));
            const std::string mpirun = kRanksLeavingEarly + "mpirun --allow-run-as-root --oversubscribe " +
                                       (recovery ? "--enable-recovery " : "") + "-n 2 ";
            Result r = RunKorvane(home.path(), mpirun + "'" + KorvaneExe() + "' --mpi '" + project + "'", false);
            if (!recovery) {
                EXPECT_EQ(r.status, c.status) << r.err;
            }
            EXPECT_TRUE(Contains(r.err, c.message)) << r.err;
            EXPECT_TRUE(Contains(r.err, "korvane: 終了ステータス " + std::to_string(c.status) + "\n")) << r.err;
            EXPECT_FALSE(fs::exists(home.file("db.csv")));
        }
    }
}

// Rank 0 killed during a program of timing 0 (it has loaded the project and
// not yet handed anything out): the other rank gives up after a set time
// with a message and leaves nothing behind, and the job ends. Before, the
// rank waited for ever.
TEST(CommandLine, AnMpiRankLeavesWhenRank0DiesBeforeTheRun) {
    TempDir home;
    SKIP_WITHOUT_MPI(home);
    const std::string started = home.file("started.pid");
    const pid_t mpirun = StartMpiJob(
        home, 2, ExampleStudy(home, "beam-montecarlo", "4", {{"/bin/sh", "0", "-c \"echo $$ > " + started + "; exec sleep 1000\""}}));
    ASSERT_TRUE(WaitFor([&] { return PidFrom(started) != 0; }, 60)) << ReadBytes(home.file("stderr.txt"));
    const pid_t rank0 = RankProcess(home, 0);
    ASSERT_NE(rank0, 0);
    ::kill(rank0, SIGKILL);
    ::kill(PidFrom(started), SIGKILL);
    EXPECT_GE(ExitStatus(mpirun, 90), 0) << "the job did not end";
    const std::string err = ReadBytes(home.file("stderr.txt"));
    EXPECT_TRUE(Contains(err, "MPI ランク 1: ランク 0 から")) << err;
    EXPECT_EQ(InstanceLeftovers(home), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(home.file("db.csv")));
}

// A rank whose machine holds another copy of the workbook at the same path
// (here: the path goes through each process's working folder) refuses, and
// the run is refused before the DB file is touched. Before, it calculated
// with its own copy and the job ended with 0.
TEST(CommandLine, AnMpiRankWithAnotherCopyOfTheWorkbookRefusesTheRun) {
    TempDir home;
    SKIP_WITHOUT_MPI(home);
    Project p = ExampleProject(home, "beam-montecarlo");
    p.monteCarlo.numOfCalc = "4";
    p.excelFileName = "/proc/self/cwd/beam.fods";
    const std::string project = WriteStudy(home, p, "p.tolv");
    fs::create_directories(home.file("node0"));
    fs::create_directories(home.file("node1"));
    const std::string beam = ReadBytes(home.file("examples/beam.fods"));
    WriteBytes(home.file("node0/beam.fods"), beam);
    WriteBytes(home.file("node1/beam.fods"), beam + "\n");
    WriteBytes(home.file("db.csv"), "Count,P,L,Judge\r\n1,1,1,True\r\n");
    const std::string exe = "'" + KorvaneExe() + "' --mpi '" + project + "'";
    Result r = RunKorvane(home.path(),
                          kRanksLeavingEarly + "mpirun --allow-run-as-root --oversubscribe -n 1 -wdir '" +
                              home.file("node0") + "' " + exe + " : -n 1 -wdir '" + home.file("node1") + "' " + exe,
                          false);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(Contains(r.err, "MPI ランク 1 (ホスト ")) << r.err;
    EXPECT_TRUE(Contains(r.err, "のエクセルファイルがランク 0 のものと異なります: /proc/self/cwd/beam.fods")) << r.err;
    EXPECT_EQ(ReadBytes(home.file("db.csv")), "Count,P,L,Judge\r\n1,1,1,True\r\n");
}

}  // namespace
}  // namespace korvane

// The program itself, run unattended without a display: its exit status and
// what it prints on stderr.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "LoTestSupport.h"
#include "TestSupport.h"
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

}  // namespace
}  // namespace korvane

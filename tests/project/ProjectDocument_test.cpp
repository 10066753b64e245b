#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "project/Paths.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"

using namespace korvane;
using namespace korvane::test;

namespace {

const std::vector<std::string> kDefault = {
    "Excel File Name    :",      "DataBase File Name :",   "DB Write Mode      :OverWrite",
    "Excel Visible      :0",     "<<Input Task>>",         "<<Input Task End>>",
    "<<Input Replace>>",         "<<Input Replace End>>",  "<<Output Task>>",
    "<<Output Task End>>",       "<<Shell Task>>",         "<<Shell Task End>>",
    "Macro              :",      "Task Plan          :Single",
    "<<MonteCarlo>>",            " Num of Calc.      :100", " Restart Excel     :0",
    " Random Seed       :Random", "<<MonteCarlo End>>",    "<<DataFileInput>>",
    " DataFile          :",      " Read Row          :2",  " Restart Excel     :0",
    "<<DataFileInput End>>",     "<<OrthogonalTable>>",    " Level             :3水準",
    " Restart Excel     :0",     "<<OrthogonalTable End>>"};

class ProjectDocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetAppFolder(dir.path());
        ASSERT_TRUE(doc.NewProject());
    }
    std::vector<std::string> workingLines() {
        std::vector<std::string> lines;
        std::string error;
        EXPECT_TRUE(ReadTextLines(doc.WorkingCopy(), lines, error)) << error;
        return lines;
    }
    TempDir dir;
    RecordingUi ui;
    ProjectDocument doc{ui, dir.path()};
};

}  // namespace

TEST_F(ProjectDocumentTest, NewThenSaveWritesTheDefaultFileByteForByte) {
    ASSERT_EQ(kDefault.size(), 28u);
    EXPECT_EQ(ReadBytes(doc.WorkingCopy()), Cp932Lines(kDefault));
    EXPECT_EQ(doc.header.plan, "Single");
    EXPECT_TRUE(doc.header.optionOW);
    EXPECT_FALSE(doc.header.optionAP);
    EXPECT_TRUE(doc.ProjectPath.empty());

    ASSERT_TRUE(doc.SaveProject(dir.file("p.tolv")));
    EXPECT_EQ(ReadBytes(dir.file("p.tolv")), Cp932Lines(kDefault));
}

TEST_F(ProjectDocumentTest, OpenAndSaveKeepJapaneseNamesReplaceCommasAndUnknownLines) {
    std::vector<std::string> project = {
        "Excel File Name    :/m/モデル.xls",
        "DataBase File Name :\\db\\結果.csv",
        "DB Write Mode      :Append",
        "Excel Visible      :1",
        "<<Input Task>>",
        " Input Pram.       :長さ,B2,入力,1,2.5,10,Round,3",
        " Input Pram.       :材質,B3,入力,,1,,Replace,Text",
        " Input Pram.       :長さ,C2,入力,,2.5,,Format,#,##0.00",
        "<<Input Task End>>",
        "some line from a later version",
        "<<Input Replace>>",
        " Replace Pram.     :材質,1=鋼,2=銅,3==",
        "<<Input Replace End>>",
        "<<Output Task>>",
        " Output Pram.      :応力,D5,計算,0,123,250",
        "<<Output Task End>>",
        "<<Shell Task>>",
        " App.              :\\bin\\pre.sh,1,[長さ] -x",
        "<<Shell Task End>>",
        "Macro              :Calc1,Calc2",
        "Task Plan          :MonteCarlo",
        "<<MonteCarlo>>",
        " Num of Calc.      :5000",
        " Restart Excel     :0",
        " Random Seed       :12345",
        " Var. Param.       :長さ,正規分布,2.5,0.1",
        "# 未知の行",
        "<<MonteCarlo End>>",
        "<<DataFileInput>>",
        " DataFile          :",
        " Read Row          :2",
        " Restart Excel     :0",
        "<<DataFileInput End>>",
        "<<OrthogonalTable>>",
        " Level             :2水準",
        " Restart Excel     :1",
        "<<OrthogonalTable End>>",
        "trailing unknown"};
    WriteBytes(dir.file("in.tolv"), Cp932Lines(project));
    ui.nextFile = dir.file("in.tolv");
    ASSERT_TRUE(doc.OpenFile(nullptr));
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].startFolder, dir.path());
    EXPECT_EQ(doc.header.workbookPath, "/m/モデル.xls");
    EXPECT_EQ(doc.header.dbPath, "\\db\\結果.csv");
    EXPECT_TRUE(doc.header.optionAP);
    EXPECT_EQ(doc.header.plan, "MonteCarlo");
    // The workbook does not exist: its message, but the project stays loaded.
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "エクセルファイルのアドレスを確認して下さい。");

    ASSERT_TRUE(doc.SaveFile(nullptr));
    EXPECT_EQ(ReadBytes(dir.file("in.tolv")), Cp932Lines(project));

    // The model reads the commas of a format and a replace list back whole.
    Project p = ParseProject(project);
    EXPECT_EQ(p.inputTasks[2].formatArg, "#,##0.00");
    EXPECT_EQ(p.replaceTasks[0].replaceList, "1=鋼,2=銅,3==");
    EXPECT_EQ(ProjectLines(ParseProject(kDefault)), kDefault);
}

TEST_F(ProjectDocumentTest, HeaderIsPositionalAndOddValuesAreSafe) {
    WriteBytes(dir.file("odd.tolv"), Cp932Lines({"first", "second line is long enough", "DB Write Mode      :Sometimes",
                                                 "Excel Visible      :yes", "Task Plan          :Orthogonal Table"}));
    doc.header.optionOW = false;
    doc.header.optionAP = true;
    doc.ProjectPath = dir.file("odd.tolv");
    ASSERT_TRUE(doc.LoadProjectToWindow());
    EXPECT_EQ(doc.header.workbookPath, "");         // shorter than 20 characters: empty value
    EXPECT_EQ(doc.header.dbPath, "enough");         // the key is never looked at
    EXPECT_TRUE(doc.header.optionAP);               // unknown write mode leaves the options
    EXPECT_EQ(doc.header.visible, 0);               // non-numeric reads as 0
    EXPECT_EQ(doc.header.plan, "Orthogonal Table");
    // Save replaces the four header lines whatever they held.
    ASSERT_TRUE(doc.SaveProject(dir.file("odd2.tolv")));
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(ReadTextLines(dir.file("odd2.tolv"), lines, error));
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Excel File Name    :");
    EXPECT_EQ(lines[2], "DB Write Mode      :Append");
    EXPECT_EQ(lines[3], "Excel Visible      :0");
}

// A project that cannot be read, a section without its end marker and a
// save that cannot be done: each said, and nothing lost.
TEST_F(ProjectDocumentTest, WhatCannotBeReadRewrittenOrSavedChangesNothing) {
    const std::string before = ReadBytes(doc.WorkingCopy());
    doc.ProjectPath = dir.file("missing.tolv");
    EXPECT_FALSE(doc.LoadProjectToWindow());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0], "tolvファイルのアドレスを確認して下さい。");

    WriteBytes(dir.file("bad.tolv"), "Excel File Name    :\x81\x20\r\n");
    doc.ProjectPath = dir.file("bad.tolv");
    EXPECT_FALSE(doc.LoadProjectToWindow());
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_NE(ui.messages[1].find("1 行目"), std::string::npos) << ui.messages[1];
    EXPECT_EQ(ReadBytes(doc.WorkingCopy()), before);

    doc.ProjectPath = dir.path();  // a folder is not a project
    EXPECT_FALSE(doc.LoadProjectToWindow());
    EXPECT_EQ(ReadBytes(doc.WorkingCopy()), before);

    auto lines = kDefault;
    lines.erase(std::find(lines.begin(), lines.end(), "<<Shell Task End>>"));
    ASSERT_TRUE(doc.WriteWorkingCopy(lines));
    const std::string unended = ReadBytes(doc.WorkingCopy());
    ui.messages.clear();
    EXPECT_FALSE(doc.RewriteWorkingCopy(section::ShellTask, {ShellRowLine({"/bin/true", "3", ""})}));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("<<Shell Task End>>"), std::string::npos) << ui.messages[0];
    EXPECT_EQ(ReadBytes(doc.WorkingCopy()), unended);

    ASSERT_TRUE(doc.WriteWorkingCopy(kDefault));
    ASSERT_TRUE(doc.SaveProject(dir.file("keep.tolv")));
    const std::string saved = ReadBytes(dir.file("keep.tolv"));
    doc.header.workbookPath = "\xF0\x9F\x98\x80.xlsx";  // not representable in code page 932
    EXPECT_FALSE(doc.SaveProject(dir.file("keep.tolv")));
    EXPECT_EQ(ReadBytes(dir.file("keep.tolv")), saved);
    EXPECT_GT(ui.messages.size(), 1u);
}

TEST_F(ProjectDocumentTest, CancelledOpenLeavesProjectWithoutNameAndSaveAsksForOne) {
    doc.ProjectPath = dir.file("old.tolv");
    ui.nextFile = "";
    EXPECT_FALSE(doc.OpenFile(nullptr));
    EXPECT_TRUE(doc.ProjectPath.empty());
    ui.nextFile = dir.file("typed-without-extension");
    ASSERT_TRUE(doc.SaveFile(nullptr));
    EXPECT_EQ(ui.dialogs.back().title, "TOLVファイルを選択");
    EXPECT_TRUE(ui.dialogs.back().forSaving);
    EXPECT_EQ(ReadBytes(dir.file("typed-without-extension")), Cp932Lines(kDefault));
}

TEST_F(ProjectDocumentTest, SectionRewriteKeepsEverythingElse) {
    auto lines = kDefault;
    lines.insert(lines.begin() + 11, "unknown inside the shell section");
    lines.insert(lines.begin() + 5, "x-unknown");
    ASSERT_TRUE(doc.WriteWorkingCopy(lines));
    ASSERT_TRUE(doc.RewriteWorkingCopy(section::ShellTask, {ShellRowLine({"/bin/true", "3", "a b"})}));
    auto after = workingLines();
    auto shellStart = std::find(after.begin(), after.end(), "<<Shell Task>>");
    ASSERT_NE(shellStart, after.end());
    EXPECT_EQ(*(shellStart + 1), " App.              :/bin/true,3,a b");
    EXPECT_EQ(*(shellStart + 2), "unknown inside the shell section");
    EXPECT_EQ(*(shellStart + 3), "<<Shell Task End>>");
    EXPECT_EQ(after[5], "x-unknown");
    EXPECT_EQ(after.size(), kDefault.size() + 3);

    ASSERT_TRUE(doc.RewriteKeyedLine(key::Macro, "M1, M2"));
    EXPECT_EQ(ParseProject(workingLines()).macro, "M1, M2");
}

// A hand-edited file is read the same way by the window and by the run: what
// the window does not show, the run does not use, and refuses naming the
// line; rewrites never drop a line the file lacked.
TEST_F(ProjectDocumentTest, TheWindowAndTheRunReadTheSameRows) {
    auto lines = kDefault;
    lines.erase(lines.begin() + 3);  // no "Excel Visible" line
    auto at = [&](const std::string& l) { return std::find(lines.begin(), lines.end(), l); };
    lines.insert(at("<<Input Task End>>"), " Input Pram.       :a,A1,S,,1,,Format,#,##0");
    lines.insert(at("<<Input Task End>>") + 1, " Input Pram.       :stray,A2,S,,1,,,");  // outside its section
    lines.insert(at("<<Shell Task End>>"), " App.              :/bin/echo,1,a,b c");
    lines.erase(at("Macro              :"));
    lines.erase(std::find_if(lines.begin(), lines.end(), [](auto& l) { return HasKey(l, key::TaskPlan); }));
    WriteBytes(dir.file("hand.tolv"), Cp932Lines(lines));
    doc.ProjectPath = dir.file("hand.tolv");
    ASSERT_TRUE(doc.LoadProjectToWindow());

    const Project p = ParseProject(workingLines());
    ASSERT_EQ(p.inputTasks.size(), 1u);
    EXPECT_EQ(p.inputTasks[0].formatArg, "#,##0");
    ASSERT_EQ(p.shellTasks.size(), 1u);
    EXPECT_EQ(p.shellTasks[0].arguments, "a,b c");  // everything after the second comma
    RunState state;
    ResetRunArrays(state);
    std::string error;
    EXPECT_FALSE(LoadProjectForRun(state, doc.header, doc.WorkingCopy(), error));
    EXPECT_NE(error.find("(7行目)"), std::string::npos) << error;
    EXPECT_NE(error.find("stray"), std::string::npos) << error;

    // The macro and plan lines the file lacked are added where a new file
    // has them; Save keeps the input section although a header line was
    // missing.
    ASSERT_TRUE(doc.RewriteKeyedLine(key::Macro, "M1"));
    doc.header.plan = "MonteCarlo";
    ASSERT_TRUE(doc.SaveProject(dir.file("hand.tolv")));
    const auto saved = workingLines();
    const auto shellEnd = std::find(saved.begin(), saved.end(), "<<Shell Task End>>");
    ASSERT_NE(shellEnd, saved.end());
    EXPECT_EQ(*(shellEnd + 1), "Macro              :M1");
    EXPECT_EQ(*(shellEnd + 2), "Task Plan          :MonteCarlo");
    EXPECT_EQ(saved[3], "Excel Visible      :0");
    EXPECT_EQ(saved[4], "<<Input Task>>");
    EXPECT_EQ(ParseProject(saved).shellTasks[0].arguments, "a,b c");
}

TEST(Paths, ResolveStoreAndSplitBothWays) {
    EXPECT_EQ(ResolveAppRelative("\\models\\a.xls", "/opt/k"), "/opt/k/models/a.xls");
    EXPECT_EQ(ResolveAppRelative("\\\\server\\share\\a.xls", "/opt/k"), "\\\\server\\share\\a.xls");
    EXPECT_EQ(ResolveAppRelative("/home/u/a.xls", "/opt/k"), "/home/u/a.xls");
    EXPECT_EQ(ResolveAppRelative("", "/opt/k"), "");
    // A stored path never leads out of the folder.
    EXPECT_EQ(ResolveAppRelative("\\a\\..\\b.csv", "/opt/k"), "/opt/k/a/../b.csv");
    for (const char* out : {"\\..\\..\\..\\.bashrc", "\\a\\..\\..\\k2\\x", "\\.\\..\\x", "\\.."}) {
        EXPECT_EQ(ResolveAppRelative(out, "/opt/k"), "") << out;
        EXPECT_TRUE(ClimbsOutOfAppFolder(out)) << out;
    }
    EXPECT_FALSE(ClimbsOutOfAppFolder("/home/u/../a.xls"));
    EXPECT_EQ(StoreAppRelative("/opt/k/models/a.xls", "/opt/k"), "\\models\\a.xls");
    EXPECT_EQ(StoreAppRelative("/opt/kx/a.xls", "/opt/k"), "/opt/kx/a.xls");
    EXPECT_EQ(ResolveAppRelative(StoreAppRelative("/opt/k/a/b.tolv", "/opt/k"), "/opt/k"), "/opt/k/a/b.tolv");
    // Parts of a path split at both separators.
    EXPECT_EQ(PathPart("C:\\work\\model.xls", 1), "model.xls");
    EXPECT_EQ(PathPart("C:\\work\\model.xls", 3), "C:\\work\\");
    EXPECT_EQ(PathPart("/home/u/model.xls", 2), "/home/u");
    EXPECT_EQ(PathPart("model.xls", 2), "");
}

TEST(Paths, FileExistsAndChecks) {
    TempDir dir;
    SetAppFolder(dir.path());
    WriteBytes(dir.file("m.xls"), "x");
    EXPECT_TRUE(FileExists(dir.file("m.xls")));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(dir.path()));
    EXPECT_FALSE(FileExists(dir.file("*.xls")));
    EXPECT_FALSE(FileExists(dir.file("m.xl?")));
    EXPECT_TRUE(CheckPath("\\m.xls"));
    RecordingUi ui;
    EXPECT_TRUE(CheckExcelPath("\\m.xls", ui));
    EXPECT_FALSE(CheckExePath("\\none", ui));
    EXPECT_FALSE(CheckDbPath("", ui));
    EXPECT_FALSE(CheckProjectPath(dir.path(), ui));
    EXPECT_EQ(ui.messages, (std::vector<std::string>{"実行ファイルのアドレスを確認して下さい。",
                                                     "データベースファイルのアドレスを確認して下さい。",
                                                     "tolvファイルのアドレスを確認して下さい。"}));
}

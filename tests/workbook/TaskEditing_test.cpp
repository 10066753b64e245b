// The task editors' logic: which lines OK and Delete leave in the working
// copy, the checks before anything is stored, the replace list and the
// placement of a program in the calculation flow.
#include "workbook/TaskEditing.h"

#include <gtest/gtest.h>

#include "project/Project.h"

namespace korvane {
namespace {

std::vector<std::string> Sample() {
    Project p;
    p.inputTasks = {{"荷重", "B2", "モデル", "0", "1000", "2000", "Round", "3"},
                    {"材質", "B4", "モデル", "", "1", "", "Replace", "Text"},
                    {"長さ", "B3", "モデル", "0.5", "2", "", "Format", "#,##0.0"},
                    {"荷重", "C2", "モデル", "0", "1000", "2000", "Round", "3"}};
    p.replaceTasks = {{"材質", "0=鋼,1=アルミ"}};
    p.outputTasks = {{"たわみ", "D2", "結果", "", "0.004", "0.01"}};
    p.monteCarlo.sampledVariables = {{"荷重", "正規分布", "1000", "50"}, {"長さ", "一様分布", "2", "0.1"}};
    p.dataFileInput.readParams = {{"0", "荷重"}, {"1", "長さ"}};
    p.orthogonalTable.factors = {{"長さ", "1", "1.5", "2"}};
    return ProjectLines(p);
}

std::vector<std::string> Rows(const std::vector<std::string>& lines, const char* key) {
    std::vector<std::string> rows;
    for (const auto& l : lines)
        if (HasKey(l, key)) rows.push_back(LineValue(l));
    return rows;
}

TEST(TaskEditing, EditingARowKeepsItsLimitsAndNewRowsGoToTheEndOfTheirList) {
    auto lines = Sample();
    TaskEdit edit{true, "長さ", "c7", "寸法", {FormatOption::Format, "6", "#.###"}};
    std::string message;
    ASSERT_TRUE(CheckTaskEdit(edit, message)) << message;
    EXPECT_EQ(edit.range, "C7");
    const OpenedRow opened{"長さ", "B3", "モデル", 2};
    ASSERT_TRUE(StoreTask(lines, edit, &opened, message)) << message;
    EXPECT_EQ(Rows(lines, key::InputPram)[2], "長さ,C7,寸法,0.5,2,,Format,#.###");

    // New: limits empty, value 0; "Replace" stores "Replace,Text" whatever the combos hold.
    TaskEdit fresh{true, "幅", "E5", "寸法", {FormatOption::Replace, "2", "#.#"}};
    ASSERT_TRUE(StoreTask(lines, fresh, nullptr, message));
    TaskEdit out{false, "応力", "D3", "結果", {}};
    ASSERT_TRUE(StoreTask(lines, out, nullptr, message));
    EXPECT_EQ(Rows(lines, key::InputPram).back(), "幅,E5,寸法,,0,,Replace,Text");
    EXPECT_EQ(Rows(lines, key::OutputPram), (std::vector<std::string>{"たわみ,D2,結果,,0.004,0.01", "応力,D3,結果,,0,"}));
    // The rows stay inside their sections.
    EXPECT_EQ(lines, ProjectLines(ParseProject(lines)));

    // A row that is no longer there (changed behind the window) is refused.
    auto before = lines;
    const OpenedRow gone{"無い", "A1", "x", 0};
    EXPECT_FALSE(StoreTask(lines, edit, &gone, message));
    EXPECT_EQ(message, kTaskRowMissingMessage);
    EXPECT_EQ(lines, before);
}

TEST(TaskEditing, TheEditorRefusesEmptyFieldsCommasAndTextThatIsNoCell) {
    struct Case {
        TaskEdit edit;
        const char* message;
    };
    const Case cases[] = {
        {{true, "", "B2", "s", {}}, kTaskInputErrorMessage},
        {{true, "x", "", "s", {}}, kTaskInputErrorMessage},
        {{false, "x", "B2", "", {}}, kTaskInputErrorMessage},
        {{true, "x,y", "B2", "s", {}}, kTaskCommaMessage},
        {{true, "x", "B2", "a,b", {}}, kTaskCommaMessage},
        {{true, "x", "2B", "s", {}}, kTaskInputErrorMessage},
        {{true, "x", "B0", "s", {}}, kTaskInputErrorMessage},
        {{true, "x", "ABCD1", "s", {}}, kTaskInputErrorMessage},
        {{true, "x", "B2", "s", {FormatOption::Round, "abc", ""}}, kNotNumberMessage},
    };
    for (const Case& c : cases) {
        TaskEdit e = c.edit;
        std::string message;
        EXPECT_FALSE(CheckTaskEdit(e, message)) << e.name << " " << e.range;
        EXPECT_EQ(message, c.message) << e.name << " " << e.range;
    }
    TaskEdit dollars{false, "x", "$ab$12", "s", {FormatOption::Round, "abc", ""}};
    std::string message;
    EXPECT_TRUE(CheckTaskEdit(dollars, message));  // an output has no format
    EXPECT_EQ(dollars.range, "AB12");

    // The sheet ends at column XFD and row 1048576; the message names the field.
    for (const char* inside : {"XFD1", "A1048576", "xfd1048576"}) {
        TaskEdit e{true, "x", inside, "s", {}};
        EXPECT_TRUE(CheckTaskEdit(e, message)) << inside << ": " << message;
    }
    for (const char* beyond : {"XFE1", "ZZZ1", "A1048577"}) {
        TaskEdit e{true, "x", beyond, "s", {}};
        EXPECT_FALSE(CheckTaskEdit(e, message)) << beyond;
        EXPECT_EQ(message, std::string(kTaskInputErrorMessage) + "\nセル番地 " + beyond +
                               " はシートの範囲外です (A1 から XFD1048576 まで)。");
    }
    // A character the project file's Shift_JIS cannot store is refused naming
    // the field and the character, before any file is touched.
    const std::string tail = "があります。\nプロジェクトファイルは Shift_JIS で保存されるため、この文字は使えません。";
    const struct {
        TaskEdit edit;
        std::string message;
    } unstorable[] = {
        {{true, "荷重😀", "B2", "s", {}}, "変数名に Shift_JIS で保存できない文字「😀」" + tail},
        {{true, "x", "B2", "Ω시트", {}}, "シート名に Shift_JIS で保存できない文字「시」" + tail},
        {{true, "x", "B2", "s", {FormatOption::Format, "6", "0.0한"}}, "フォーマットに Shift_JIS で保存できない文字「한」" + tail},
    };
    for (const auto& c : unstorable) {
        TaskEdit e = c.edit;
        EXPECT_FALSE(CheckTaskEdit(e, message));
        EXPECT_EQ(message, c.message);
    }
    // A pattern that is not used is not stored: no matter what it holds.
    TaskEdit unused{true, "x", "B2", "s", {FormatOption::Round, "6", "0.0한"}};
    EXPECT_TRUE(CheckTaskEdit(unused, message)) << message;
    EXPECT_EQ(UnstorableTextMessage("置換文字列", "鋼①Ⅱ"), "");  // the NEC and IBM extensions are CP932
}

TEST(TaskEditing, DeletingAnInputTakesItsSettingsOnlyWithItsLastRow) {
    auto lines = Sample();
    std::string error;
    // "荷重" is written into two cells: deleting one keeps its plan rows.
    ASSERT_TRUE(DeleteTask(lines, true, {"荷重", "C2", "モデル", 3}, error));
    EXPECT_EQ(Rows(lines, key::InputPram).size(), 3u);
    EXPECT_EQ(Rows(lines, key::VarParam).size(), 3u);
    ASSERT_TRUE(DeleteTask(lines, true, {"荷重", "B2", "モデル", 0}, error));
    EXPECT_EQ(Rows(lines, key::VarParam), (std::vector<std::string>{"長さ,一様分布,2,0.1", "長さ,1,1.5,2"}));
    EXPECT_EQ(Rows(lines, key::ReadParam), (std::vector<std::string>{"1,長さ"}));

    ASSERT_TRUE(DeleteTask(lines, true, {"材質", "B4", "モデル", 0}, error));
    EXPECT_TRUE(Rows(lines, key::ReplacePram).empty());
    // Deleting an output touches no input settings.
    ASSERT_TRUE(DeleteTask(lines, false, {"たわみ", "D2", "結果", 0}, error));
    EXPECT_TRUE(Rows(lines, key::OutputPram).empty());
    EXPECT_EQ(Rows(lines, key::VarParam).size(), 2u);
    EXPECT_EQ(TaskNames(lines, true), (std::vector<std::string>{"長さ"}));
}

TEST(TaskEditing, FormatCells) {
    EXPECT_EQ(ParseFormatCell("Round,3").round, "3");
    const TaskFormat grouped = ParseFormatCell("Format,#,##0.0");
    EXPECT_EQ(grouped.option, FormatOption::Format);
    EXPECT_EQ(grouped.format, "#,##0.0");
    EXPECT_EQ(ParseFormatCell("Replace,Text").option, FormatOption::Replace);
    const TaskFormat unknown = ParseFormatCell("Other,1");
    EXPECT_EQ(unknown.option, FormatOption::Round);
    EXPECT_EQ(unknown.round, "6");
    EXPECT_EQ(unknown.format, "#.######");
    EXPECT_TRUE(RoundTextAccepted(""));
    EXPECT_FALSE(RoundTextAccepted("3a"));
}

// (A text emptied in a row stays an entry, asked about first: the editors' tests.)
TEST(TaskEditing, ReplaceListsByRowNumber) {
    // Steel and Copper in rows 1 and 2, a free row at the end.
    std::vector<ReplaceEntry> rows{{"0", "Steel"}, {"1", "Copper"}, {"", ""}};
    EXPECT_EQ(JoinReplaceList(ReplaceEntries(rows)), "0=Steel,1=Copper");
    // A row without a number takes its row's; "=" from older files is an empty row.
    EXPECT_EQ(ParseReplaceList("0=a,=,2=b=c,d"),
              (std::vector<ReplaceEntry>{{"0", "a"}, {"", ""}, {"2", "b=c"}, {"d", ""}}));
    EXPECT_EQ(JoinReplaceList(ReplaceEntries(ParseReplaceList("0=a,=,2=c,="))), "0=a,1=,2=c");
    // Keys the list has are kept; a row without one never takes a key in use.
    EXPECT_EQ(JoinReplaceList(ReplaceEntries(ParseReplaceList("1=鋼,2=アルミ,3=チタン"))), "1=鋼,2=アルミ,3=チタン");
    EXPECT_EQ(JoinReplaceList(ReplaceEntries({{"1", "鋼"}, {"", "銅"}, {"", "鉄"}, {"1", "x"}})), "1=鋼,2=銅,3=鉄,1=x");
    EXPECT_EQ(NewReplaceKey({"1", "2", "3", ""}, 3), "4");
    EXPECT_EQ(NewReplaceKey({"5", "", "x"}, 1), "1");
    EXPECT_EQ(NewReplaceKey({"0", "1", "7"}, 1), "8");
    EXPECT_TRUE(ParseReplaceList("").empty());

    // The section: one row per Replace input with a list, in input order.
    Project p = ParseProject(Sample());
    p.inputTasks.push_back({"色", "B9", "モデル", "", "0", "", "Replace", "Text"});
    EXPECT_EQ(ReplaceSectionLines(p, "色", "0=赤"),
              (std::vector<std::string>{" Replace Pram.     :材質,0=鋼,1=アルミ", " Replace Pram.     :色,0=赤"}));
    EXPECT_TRUE(ReplaceSectionLines(p, "材質", "").empty());
}

TEST(TaskEditing, ANewProgramTakesTheTimingOfTheMarkerAboveItsPlace) {
    ExeGrid grid = BuildExeGrid({});
    // Opened on the row of "<マクロ実行>" (index 3): placed above it, after
    // "<エクセル入力>": timing 3.
    ASSERT_TRUE(PlaceProgram(grid, 3, false, "/opt/mesh.sh", "[長さ]"));
    ASSERT_TRUE(PlaceProgram(grid, 0, false, "\\tools\\prep.sh", ""));
    ASSERT_TRUE(PlaceProgram(grid, 99, false, "/opt/last.sh", "x"));
    EXPECT_EQ(ExeGridShellLines(grid),
              (std::vector<std::string>{" App.              :\\tools\\prep.sh,0,", " App.              :/opt/mesh.sh,3,[長さ]",
                                        " App.              :/opt/last.sh,6,x"}));
    EXPECT_EQ(grid[4].name, "mesh.sh");
    EXPECT_FALSE(PlaceProgram(grid, 1, true, "/x", ""));  // a marker row is not a program
    ASSERT_TRUE(PlaceProgram(grid, 4, true, "/opt/mesh2.sh", "-v"));
    EXPECT_EQ(grid[4], (ExeRow{"mesh2.sh", "-v", "/opt/mesh2.sh"}));
    EXPECT_FALSE(RemoveProgram(grid, 1));
    ASSERT_TRUE(RemoveProgram(grid, 0));
    EXPECT_EQ(ExeGridShellLines(grid).size(), 2u);
}

}  // namespace
}  // namespace korvane

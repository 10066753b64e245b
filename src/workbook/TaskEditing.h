#pragma once
// The logic of the task editors: the input-task editor (one input or output
// row: name, cell, format), the replace editor (the list of texts written in
// place of the numbers 0, 1, 2, ...) and the exe settings window (one program
// in the calculation flow). The windows only show and collect; what is
// checked and which lines change is decided here.

#include <string>
#include <vector>

#include "project/ExeFlow.h"
#include "project/Project.h"

namespace korvane {

inline constexpr const char* kTaskInputErrorMessage = "入力に誤りがあります。";
inline constexpr const char* kNotNumberMessage = "数値以外の文字は入力できません。";
// Rows are comma-separated without quoting: a comma inside a text would
// split the row and shift every later field.
inline constexpr const char* kTaskCommaMessage =
    "変数名、シート名、セル番地には「,」(カンマ)を使えません。";
inline constexpr const char* kProgramCommaMessage =
    "アプリケーションのパスとコマンドライン引数には「,」(カンマ)を使えません。";
inline constexpr const char* kReplaceCommaMessage = "置換文字列には「,」(カンマ)を使えません。";
inline constexpr const char* kTaskRowMissingMessage =
    "編集中の行がプロジェクトに見つかりません。変更は保存されませんでした。";

// Project files are Shift_JIS: a text with a character that code page 932
// cannot store could not be saved. Empty when `text` can be stored; else a
// message naming the field (its caption) and the first such character.
std::string UnstorableTextMessage(const std::string& field, const std::string& text);

// ---------------------------------------------------------------- WriteForm

// The 26 patterns of Format_Combo: "#", "#.#", ... "#.##########", then
// "#e+##", "#.#e+##", ... "#." + 14 "#" + "e+##".
std::vector<std::string> FormatPatterns();

// The values of Round_Combo's list: 0 to 15 decimals.
std::vector<std::string> RoundDigitChoices();

enum class FormatOption { Round = 1, Format = 2, Replace = 3 };

struct TaskFormat {
    FormatOption option = FormatOption::Round;
    std::string round = "6";
    std::string format = "#.######";
};

// The option and combo texts for an input grid's "フォーマット" cell: a text
// beginning "Format" selects Format with the rest after "Format,"; "Round,"
// selects Round with the rest as digit count; "Replace,Text" selects Replace.
// Anything else keeps the defaults.
TaskFormat ParseFormatCell(const std::string& cell);

// The row's format kind and argument for the chosen option: "Round" and the
// digit count, "Format" and the pattern, or "Replace" and "Text" whatever
// the combos hold.
void FormatFields(const TaskFormat& format, std::string& kind, std::string& argument);

// While Round_Combo is typed in: a text that is not a number is refused
// (kNotNumberMessage, the text goes back to "6"). An empty box is a number
// being typed, not a refusal.
bool RoundTextAccepted(const std::string& text);

// The names already used in the list ("<<Input Task>>" or "<<Output Task>>"),
// each once, in the order of first appearance.
std::vector<std::string> TaskNames(const std::vector<std::string>& lines, bool inputs);

struct TaskEdit {
    bool input = true;
    std::string name, range, sheet;
    TaskFormat format;  // inputs only
};

// The editor's checks on OK: name, sheet and address must all be filled in,
// the address must be a cell inside a sheet (letters and digits from A1 to
// XFD1048576; dollar signs are dropped and the letters upper-cased), and no
// text may hold a comma, which would corrupt the row, nor a character that
// Shift_JIS cannot store. False with the message to show.
bool CheckTaskEdit(TaskEdit& edit, std::string& message);

// The row the editor was opened on: its name, address and sheet as the grid
// showed them and its place among the section's rows (from 0).
struct OpenedRow {
    std::string name, range, sheet;
    int index = -1;
};

// OK. With `opened` (edit mode) that row is written again with the edited
// name, address, sheet (and format), its limits and value kept; without it
// (new mode) a row is added at the end of the section with empty limits and
// the value 0. False with a message when the markers or the opened row are
// missing; the lines then stay as they were.
bool StoreTask(std::vector<std::string>& lines, const TaskEdit& edit, const OpenedRow* opened, std::string& error);

// Delete: the opened row goes. For an input, when no other input row keeps
// the name, the variable's replace row, its Monte Carlo and orthogonal-table
// rows and its data-file read rows go as well (a name still written into
// another cell keeps its settings).
bool DeleteTask(std::vector<std::string>& lines, bool input, const OpenedRow& opened, std::string& error);

// ---------------------------------------------------------------- Replace_Form

// One row of the replace grid: the number ("元値") and its text.
struct ReplaceEntry {
    std::string key, text;
    bool operator==(const ReplaceEntry&) const = default;
};

// The list text 0=Steel,1=Copper as rows. Each entry splits at its first
// "="; an entry without one is a key with no text; the lone "=" (an empty
// row stored by older versions) is an empty row.
std::vector<ReplaceEntry> ParseReplaceList(const std::string& list);

// The key a row without one takes when it gets a text: its row number (from
// 0), unless another row holds that key already; then one more than the
// largest whole-number key. Keys of other rows never change.
std::string NewReplaceKey(const std::vector<std::string>& keys, std::size_t row);

// The rows that count: every row up to the last one with a key or a text
// (the free row at the end and trailing empty rows are not entries). A row
// without a key takes one as NewReplaceKey gives it.
std::vector<ReplaceEntry> ReplaceEntries(const std::vector<ReplaceEntry>& rows);

// key=text joined by commas (a row with an empty text gives key=).
std::string JoinReplaceList(const std::vector<ReplaceEntry>& entries);

// The question asked on OK for an entry whose text is empty.
std::string EmptyReplacementQuestion(const std::string& key);

// The "<<Input Replace>>" rows after `name`'s list became `list`: one row per
// input variable of kind Replace, in input order, whose list is not empty.
std::vector<std::string> ReplaceSectionLines(const Project& project, const std::string& name,
                                             const std::string& list);

// ---------------------------------------------------------------- Exe_Setting_Form

// OK in edit mode: the program row at `at` takes the path and arguments.
// In new mode a program row is inserted at `at` (at the end when `at` lies
// beyond the last row), so it runs at the timing of the marker above it.
// False for a marker row or an index out of range in edit mode.
bool PlaceProgram(ExeGrid& grid, int at, bool editMode, const std::string& path, const std::string& arguments);

// Delete: removes the program row at `at`; false for a marker row.
bool RemoveProgram(ExeGrid& grid, int at);

}  // namespace korvane

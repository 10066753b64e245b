#pragma once
// The steps of one calculation: initial values, the formatting pass, writing
// the inputs, macros, external programs at their timings, reading the outputs,
// the restriction judgement. They work on RunState; the plans call them in the
// fixed order of a calculation.
//
// Failures the run cannot go on from (a program that cannot be started, a
// missing sheet, a failing macro, a dead spreadsheet instance) return false
// with a message in `error` that names the program, sheet or macro; the caller
// then ends the run in order. Reading the outputs is the one guarded step: it
// stops early and keeps the outputs not read, and the calculation goes on.

#include <string>
#include <vector>

namespace korvane {

struct RunState;
class WorkbookLink;
struct CellWrite;

// The number an input's current text stands for: the number the input step
// last formatted it from while the text is still that step's; else the text
// as a decimal number, or, for a "Format" input, the text read back through
// its pattern ("1,234" with "#,##0" is 1234), or else the leading-number rule.
double InputNumber(const RunState& state, std::size_t input);

// "<初期値代入>": every input's current text becomes its initial value in the
// general number form; every output's current text becomes "0".
void AssignInitialValues(RunState& state);

// The formatting pass of the input step: "Format" inputs are formatted with
// their pattern, "Round" inputs rounded (halves to even) to their decimals.
void FormatInputs(RunState& state);

// The text written into the cell of a "Replace" input: the replacement of the
// first entry of `replaceList` (key=text,key=text,...) whose key equals the
// integer part (towards minus infinity) of `value`; "=" alone gives an empty
// text; no match gives "NotFound:" + the integer part.
std::string ReplacementText(double value, const std::string& replaceList);

// The texts of the input step, without the workbook: the formatting pass,
// then for each input the text its cell gets. Afterwards InputValues hold
// what the DB line records (a "Replace" input its integer part), which is
// also what the next calculation starts from.
std::vector<CellWrite> InputWrites(RunState& state);

// "<エクセル入力>": InputWrites, manual calculation, every input written into
// its cell, automatic calculation (which recalculates).
bool WriteInputs(RunState& state, WorkbookLink& link, std::string& error);

// "<マクロ実行>": every macro of the list, in order, each to its end.
bool RunMacros(RunState& state, WorkbookLink& link, std::string& error);

// "<エクセル読込>": every output's text read from its cell. Stops at the first
// failure; the outputs not read are emptied and OutputsRead is false, so the
// verdict becomes false; the run counts such calculations (UnreadableCalcs)
// and keeps the first reason (FirstUnreadable). Returns false when it stopped
// early, with the reason in `error` (the calculation still goes on), and
// `instanceDead` is set when the spreadsheet application itself is gone.
// Afterwards the sheet of the last output looked up is the active sheet.
bool ReadOutputs(RunState& state, WorkbookLink& link, std::string& error, bool* instanceDead = nullptr);

// The first half of "<DB出力>": sets and returns RunValid (false also when
// the read step could not read every output).
bool JudgeRestrictions(RunState& state);

// The workbook part of one calculation, as every plan and the scroll window
// run it: write inputs, programs of timing 3, macros, programs of timing 4,
// read outputs, programs of timing 5. A read that stops early is not a
// failure (the outputs not read are empty, OutputsRead is false), unless the
// spreadsheet application itself is gone: then this calculation has no
// outputs, and the caller must not use stale ones.
bool CalculateWorkbook(RunState& state, WorkbookLink& link, std::string& error);

// Checks before the first calculation, each giving the message that refuses
// the run (naming the variable), or an empty text. Addresses: column letters
// and row digits of a cell inside a sheet (A1 to XFD1048576), as resolved in
// InputRows/InputColumns and OutputRows/OutputColumns. Sheets: every sheet an
// input or output names is in the open workbook.
std::string BadAddressMessage(const RunState& state);
std::string MissingSheetMessage(const RunState& state, WorkbookLink& link);

// One shell task line split into its parts: program path, timing, arguments.
// The arguments are everything after the second comma.
struct ShellLine {
    std::string program, timing, arguments;
};
ShellLine SplitShellLine(const std::string& line);

// The argument vector of one program: its words (blanks separate, double
// quotes group), then in each word every [name] of an input, then of an
// output, replaced by its current value in the "0.00000e+#" form.
std::vector<std::string> ProgramArguments(const RunState& state, const std::string& argumentText);

// Runs every shell task whose timing equals `timing`, in order, each to its
// end, started directly (never through a shell).
bool RunExternalPrograms(RunState& state, int timing, std::string& error);

}  // namespace korvane

#pragma once
// The check of a workbook written for Excel: what LibreOffice will not compute
// as Excel does. Formula cells whose value is an error after a full
// recalculation (grouped by cause, naming the functions LibreOffice does not
// know), modules LibreOffice cannot compile, and constructs of the module
// text that LibreOffice refuses or computes differently.
//
// A workbook saved by Excel also holds the answer key: the value Excel stored
// for every formula cell. Those are compared with LibreOffice's values after a
// full recalculation (made twice, so that cells whose value changes at each
// recalculation are told apart), and every cell that differs is a finding.
//
// Each finding is one line: where (Sheet!Cell or Module:Line), what it is, and
// what to write instead. The check reads the workbook through a workbook link
// and the file itself, and never changes the file.

#include <string>
#include <vector>

#include "workbook/WorkbookFile.h"
#include "workbook/WorkbookLink.h"

namespace korvane {

struct CheckFinding {
    std::string where;  // Sheet1!B2, Module1:6, a module name alone, or "" for a heading
    std::string text;   // what it is and what to write instead
    std::string separator = ": ";
    // The workbook cannot compute as Excel did: a run does not start on it
    // unless told to.
    bool blocking = false;
    // Only for information (cells that change at each recalculation, a
    // workbook without stored values): no finding for the exit status.
    bool note = false;
    std::string line() const { return where.empty() ? text : where + separator + text; }
};

// The findings on the workbook open in `link`, read from `workbookPath`,
// grouped by cause. False (with `error`) when the link or the file cannot
// give what the check needs.
bool CheckOpenWorkbook(WorkbookLink& link, const std::string& workbookPath, std::vector<CheckFinding>& findings,
                       std::string& error);

// What the check works from.
struct CheckInput {
    std::vector<FormulaErrorCell> errors;
    std::vector<MacroModule> modules;
    // Every formula cell after a full recalculation, and after a second one
    // (both empty when not read).
    std::vector<FormulaValueCell> values, again;
    StoredValues stored;
};

// The findings, in this order: cells whose value differs from the value
// Excel stored (grouped by cause; cells that change at each recalculation
// apart), functions LibreOffice lacks and the other error cells, CVErr in
// modules, modules that do not compile (with the cells calling them), and
// the other constructs of the module text.
std::vector<CheckFinding> CheckFindings(const CheckInput& input);

// The findings from what a link reported, grouped by cause: the part of the
// check that needs no application.
std::vector<CheckFinding> FindingsOf(const std::vector<FormulaErrorCell>& cells,
                                     const std::vector<MacroModule>& modules);

// How many findings count (notes left out), and whether any is blocking.
std::size_t CountedFindings(const std::vector<CheckFinding>& findings);
bool AnyBlocking(const std::vector<CheckFinding>& findings);

// The most cells of one cause listed; the rest are counted.
inline constexpr std::size_t kCellsPerCause = 50;

// True for the text LibreOffice gives a cell when a Basic/VBA function
// returns an error value made with CVErr ("Error 2042"): an error value, not
// a text.
bool IsBasicErrorText(const std::string& text);

// The functions a formula calls (upper case, Excel's _xlfn. prefixes
// removed), in order of appearance, each once.
std::vector<std::string> CalledFunctions(const std::string& formula);

// Exit status of `korvane --check`.
enum CheckStatus { kCheckClean = 0, kCheckFindings = 1, kCheckUnreadable = 2 };

// The whole command: starts `freshLink` hidden, opens the workbook at `path`
// read-only, checks it and quits. The findings' lines, or the reason the
// workbook could not be read in `error`.
CheckStatus CheckWorkbookFile(WorkbookLink& freshLink, const std::string& path, std::vector<std::string>& lines,
                              std::string& error);

// The warning a run shows before its first calculation: a heading, the first
// findings and how to see them all.
std::string CheckWarning(const std::vector<CheckFinding>& findings, std::size_t shown = 12);

// The blocking findings as a run's message lists them (the first `shown`),
// or "" when there is none.
std::string CheckDifferences(const std::vector<CheckFinding>& findings, std::size_t shown = 12);
// The message of a run that does not start because of them: `differences`
// and either the question whether to go on anyway (`question`) or how to
// run anyway from the command line.
std::string CheckRefusal(const std::string& differences, bool question);
// What an unattended run says when it runs anyway.
std::string CheckAccepted(const std::string& differences);

// What to write instead when line `line` of a module's text holds a construct
// LibreOffice takes differently ("" when none).
std::string ConstructAdviceAt(const std::string& source, int line);

// What a function that LibreOffice lacks can be written as instead.
std::string InsteadOfFunction(const std::string& function);

// The name a finding gives a module: Module1, or Library.Module1 outside the
// workbook's own library (Standard, VBAProject).
std::string ModuleLabel(const std::string& library, const std::string& module);

}  // namespace korvane

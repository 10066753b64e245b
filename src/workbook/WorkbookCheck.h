#pragma once
// The check of a workbook written for Excel: what LibreOffice will not compute
// as Excel does. Formula cells whose value is an error after a full
// recalculation (grouped by cause, naming the functions LibreOffice does not
// know), modules LibreOffice cannot compile, and constructs of the module
// text that LibreOffice refuses or computes differently.
//
// Each finding is one line: where (Sheet!Cell or Module:Line), what it is, and
// what to write instead. The check reads the workbook through a workbook link
// and never changes the file.

#include <string>
#include <vector>

#include "workbook/WorkbookLink.h"

namespace korvane {

struct CheckFinding {
    std::string where;  // Sheet1!B2, Module1:6, or a module name alone
    std::string text;   // what it is and what to write instead
    std::string line() const { return where + ": " + text; }
};

// The findings on the workbook open in `link`, grouped by cause. False (with
// `error`) when the link cannot give what the check needs.
bool CheckOpenWorkbook(WorkbookLink& link, std::vector<CheckFinding>& findings, std::string& error);

// The findings from what a link reported, grouped by cause: the part of the
// check that needs no application.
std::vector<CheckFinding> FindingsOf(const std::vector<FormulaErrorCell>& cells,
                                     const std::vector<MacroModule>& modules);

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

// What to write instead when line `line` of a module's text holds a construct
// LibreOffice takes differently ("" when none).
std::string ConstructAdviceAt(const std::string& source, int line);

// What a function that LibreOffice lacks can be written as instead.
std::string InsteadOfFunction(const std::string& function);

// The name a finding gives a module: Module1, or Library.Module1 outside the
// workbook's own library (Standard, VBAProject).
std::string ModuleLabel(const std::string& library, const std::string& module);

}  // namespace korvane

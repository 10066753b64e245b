#pragma once
// The check of a workbook written for Excel, from the command line:
//
//   korvane --check WORKBOOK
//
// prints what LibreOffice will not compute as Excel does, one finding per
// line on standard output (Sheet!Cell or Module:Line, what it is, what to
// write instead). The workbook is opened read-only in a private instance.

namespace korvane {

// True when argv names the check.
bool IsCheckCommand(int argc, char** argv);
// Runs it. Exit status 0 when nothing is found, 1 with findings, 2 when the
// workbook cannot be read (or none is named).
int RunCheckCommand(int argc, char** argv);
// The lines of --help that describe the check.
const char* CheckCommandHelp();

}  // namespace korvane

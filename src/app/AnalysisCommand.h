#pragma once
// The analyses from the command line, without any window:
//
//   korvane --stats DB.csv [--include-invalid] [-o OUT.csv]
//   korvane --sens DB.csv [--include-invalid] [--objective NAME=max|min]... [-o OUT.csv]
//   korvane --effects DB.csv [-o OUT.csv]
//   korvane --summary DB.csv [--include-invalid] [-o OUT.csv]
//   korvane --sobol DB.csv [--include-invalid] [-o OUT.csv]
//
// Each writes the table its window shows and saves (--summary, which has no
// window, a table of the same kind): with -o as the window's save writes it
// (Shift_JIS, CR LF), otherwise to standard output in UTF-8.

namespace korvane {

// True when argv names one of the analysis commands.
bool IsAnalysisCommand(int argc, char** argv);
// Runs it. Exit status 0 on success, 2 for a wrong command line or a missing
// or malformed DB file, 1 when the result cannot be written.
int RunAnalysisCommand(int argc, char** argv);
// The lines of --help that describe the analysis commands.
const char* AnalysisCommandHelp();

}  // namespace korvane

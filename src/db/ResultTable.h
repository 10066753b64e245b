#pragma once
// Result tables as CSV: the statistics and sensitivity windows save their
// grids this way, and the command line writes the same tables.

#include <string>
#include <vector>

#include "db/Csv.h"

namespace korvane {

using ResultRows = std::vector<std::vector<std::string>>;

// Writes the rows to `path` (Shift_JIS, CR LF), replacing the file: each
// row's cells as displayed, joined by CsvLine (a cell holding a comma, a
// quote or a line break quoted, so it stays one field). False with a
// message when it cannot be written.
bool SaveResultTable(const std::string& path, const ResultRows& rows, std::string& error);

// True when both paths name one existing file (links followed), so a save
// into `target` would write over `source`.
bool IsSameFile(const std::string& target, const std::string& source);

// The messages of a save that would write over a file.
std::string ReplaceFileQuestion(const std::string& path);
std::string AnalysedFileRefusal(const std::string& path);

}  // namespace korvane

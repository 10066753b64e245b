#pragma once
// Result tables as CSV: the statistics and sensitivity windows save their
// grids this way, and the command line writes the same tables.

#include <string>
#include <vector>

namespace korvane {

using ResultRows = std::vector<std::vector<std::string>>;

// The cells joined with ",", each as displayed. A cell holding a comma, a
// double quote or a line break is quoted (its quotes doubled), so it stays
// one field for any CSV reader; other cells are written as they are.
std::string CsvLine(const std::vector<std::string>& cells);

// Writes the rows to `path` (Shift_JIS, CR LF), replacing the file. False
// with a message when it cannot be written.
bool SaveResultTable(const std::string& path, const ResultRows& rows, std::string& error);

}  // namespace korvane

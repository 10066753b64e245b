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

}  // namespace korvane

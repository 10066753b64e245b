#include "analysis/ResultTable.h"

#include "platform/TextFile.h"

namespace korvane {

bool SaveResultTable(const std::string& path, const ResultRows& rows, std::string& error) {
    std::vector<std::string> lines;
    lines.reserve(rows.size());
    for (const auto& row : rows) lines.push_back(CsvLine(row));
    if (WriteTextFileAtomic(path, lines, error)) return true;
    error = "結果を保存できません。\n" + error;
    return false;
}

}  // namespace korvane

#include "analysis/ResultTable.h"

#include "platform/TextFile.h"

namespace korvane {

std::string CsvLine(const std::vector<std::string>& cells) {
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) line += ',';
        const std::string& c = cells[i];
        if (c.find_first_of(",\"\r\n") == std::string::npos) {
            line += c;
            continue;
        }
        line += '"';
        for (char ch : c) {
            if (ch == '"') line += '"';
            line += ch;
        }
        line += '"';
    }
    return line;
}

bool SaveResultTable(const std::string& path, const ResultRows& rows, std::string& error) {
    std::vector<std::string> lines;
    lines.reserve(rows.size());
    for (const auto& row : rows) lines.push_back(CsvLine(row));
    if (WriteTextFileAtomic(path, lines, error)) return true;
    error = "結果を保存できません。\n" + error;
    return false;
}

}  // namespace korvane

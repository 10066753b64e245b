#include "db/ResultTable.h"

#include <sys/stat.h>

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

bool IsSameFile(const std::string& target, const std::string& source) {
    struct stat a {}, b {};
    if (target.empty() || source.empty()) return false;
    if (::stat(target.c_str(), &a) != 0 || ::stat(source.c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string ReplaceFileQuestion(const std::string& path) { return path + " は既にあります。\n置き換えますか？"; }

std::string AnalysedFileRefusal(const std::string& path) {
    return "解析中のDBファイルには保存できません。\n" + path;
}

}  // namespace korvane

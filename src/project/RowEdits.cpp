#include "project/RowEdits.h"

namespace korvane {

bool LocateSection(const std::vector<std::string>& lines, const Section& s, std::size_t& start, std::size_t& end,
                   std::string& error) {
    for (start = 0; start < lines.size() && lines[start] != s.start; ++start) {
    }
    if (start == lines.size()) {
        error = std::string("プロジェクトに \"") + s.start + "\" の行がありません。変更は保存されませんでした。";
        return false;
    }
    for (end = start + 1; end < lines.size() && lines[end] != s.end; ++end) {
    }
    if (end == lines.size()) {
        error = std::string("プロジェクトの \"") + s.start + "\" (" + std::to_string(start + 1) + "行目) に対応する \"" +
                s.end + "\" の行がありません。変更は保存されませんでした。";
        return false;
    }
    return true;
}

std::vector<std::size_t> SectionRows(const std::vector<std::string>& lines, const Section& s) {
    std::vector<std::size_t> rows;
    std::size_t start, end;
    std::string ignored;
    if (!LocateSection(lines, s, start, end, ignored)) return rows;
    for (std::size_t i = start + 1 + static_cast<std::size_t>(s.settingsLines); i < end; ++i)
        if (HasKey(lines[i], s.rowKey)) rows.push_back(i);
    return rows;
}

bool EditNamedRows(std::vector<std::string>& lines, const Section& s, std::size_t width, const FieldEdits& edits,
                   std::string& error) {
    std::size_t start, end;
    if (!LocateSection(lines, s, start, end, error)) return false;
    for (std::size_t i : SectionRows(lines, s)) {
        std::vector<std::string> fields = SplitFields(LineValue(lines[i]));
        auto edit = edits.find(fields[0]);
        if (edit == edits.end()) continue;
        if (fields.size() < width) fields.resize(width);
        for (const auto& [index, text] : edit->second) {
            if (index >= fields.size()) fields.resize(index + 1);
            fields[index] = text;
        }
        lines[i] = std::string(s.rowKey) + JoinFields(fields);
    }
    return true;
}

}  // namespace korvane

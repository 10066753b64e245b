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
    // The rows as the one reading of the file finds them (line numbers from 1).
    const ParsedProject parsed = ReadProject(lines);
    const std::vector<std::size_t>* numbers = &parsed.inputLines;
    if (&s == &section::OutputTask) numbers = &parsed.outputLines;
    if (&s == &section::InputReplace) numbers = &parsed.replaceLines;
    if (&s == &section::ShellTask) numbers = &parsed.shellLines;
    if (&s == &section::MonteCarlo) numbers = &parsed.sampledLines;
    if (&s == &section::DataFileInput) numbers = &parsed.readParamLines;
    if (&s == &section::OrthogonalTable) numbers = &parsed.factorLines;
    std::vector<std::size_t> rows;
    for (std::size_t n : *numbers) rows.push_back(n - 1);
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

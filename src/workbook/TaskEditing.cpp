#include "workbook/TaskEditing.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "project/NumberText.h"
#include "project/Paths.h"
#include "project/RowEdits.h"
#include "platform/TextFile.h"

namespace korvane {

namespace {

constexpr const char* kFormatPrefix = "Format";
constexpr const char* kRoundPrefix = "Round,";
constexpr const char* kReplaceCell = "Replace,Text";

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

std::string Field(const std::vector<std::string>& f, std::size_t i) { return i < f.size() ? f[i] : std::string(); }

const Section& ListSection(bool inputs) { return inputs ? section::InputTask : section::OutputTask; }

// The line index of the opened row: the index-th row when it still holds the
// name, address and sheet shown, else the first row that does.
bool FindOpenedRow(const std::vector<std::string>& lines, const Section& s, const OpenedRow& opened,
                   std::size_t& line) {
    const std::vector<std::size_t> rows = SectionRows(lines, s);
    auto matches = [&](std::size_t i) {
        const auto f = SplitFields(LineValue(lines[i]));
        return Field(f, 0) == opened.name && Field(f, 1) == opened.range && Field(f, 2) == opened.sheet;
    };
    if (opened.index >= 0 && static_cast<std::size_t>(opened.index) < rows.size() &&
        matches(rows[static_cast<std::size_t>(opened.index)])) {
        line = rows[static_cast<std::size_t>(opened.index)];
        return true;
    }
    for (std::size_t i : rows) {
        if (matches(i)) {
            line = i;
            return true;
        }
    }
    return false;
}

// Removes the rows of `s` whose field `nameField` equals `name` (for a
// replace row, field 0 is the text before its first comma: the name).
void RemoveNamedRows(std::vector<std::string>& lines, const Section& s, std::size_t nameField,
                     const std::string& name) {
    std::vector<std::size_t> rows = SectionRows(lines, s);
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        if (Field(SplitFields(LineValue(lines[*it])), nameField) == name)
            lines.erase(lines.begin() + static_cast<long>(*it));
}

}  // namespace

// ---------------------------------------------------------------- WriteForm

std::vector<std::string> FormatPatterns() {
    std::vector<std::string> patterns{"#"};
    for (int d = 1; d <= 10; ++d) patterns.push_back("#." + std::string(static_cast<std::size_t>(d), '#'));
    patterns.push_back("#e+##");
    for (int d = 1; d <= 14; ++d) patterns.push_back("#." + std::string(static_cast<std::size_t>(d), '#') + "e+##");
    return patterns;
}

std::vector<std::string> RoundDigitChoices() {
    std::vector<std::string> digits;
    for (int d = 0; d <= 15; ++d) digits.push_back(std::to_string(d));
    return digits;
}

TaskFormat ParseFormatCell(const std::string& cell) {
    TaskFormat f;
    if (StartsWith(cell, kFormatPrefix)) {
        f.option = FormatOption::Format;
        const std::string rest = cell.substr(std::string(kFormatPrefix).size());
        f.format = StartsWith(rest, ",") ? rest.substr(1) : rest;
    } else if (StartsWith(cell, kRoundPrefix)) {
        f.option = FormatOption::Round;
        f.round = cell.substr(std::string(kRoundPrefix).size());
    } else if (cell == kReplaceCell) {
        f.option = FormatOption::Replace;
    }
    return f;
}

void FormatFields(const TaskFormat& format, std::string& kind, std::string& argument) {
    switch (format.option) {
    case FormatOption::Round:
        kind = "Round";
        argument = format.round;
        break;
    case FormatOption::Format:
        kind = "Format";
        argument = format.format;
        break;
    case FormatOption::Replace:
        kind = "Replace";
        argument = "Text";
        break;
    }
}

bool RoundTextAccepted(const std::string& text) { return text.empty() || IsNumericText(text); }

std::vector<std::string> TaskNames(const std::vector<std::string>& lines, bool inputs) {
    std::vector<std::string> names;
    for (std::size_t i : SectionRows(lines, ListSection(inputs))) {
        std::string name = Field(SplitFields(LineValue(lines[i])), 0);
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
    }
    return names;
}

std::string UnstorableTextMessage(const std::string& field, const std::string& text) {
    std::string bytes;
    if (EncodeCp932(text, bytes)) return {};
    std::string character;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8CharLength(text, i);
        if (!EncodeCp932(text.substr(i, length), bytes)) {
            character = text.substr(i, length);
            break;
        }
        i += length;
    }
    // A byte that is not UTF-8 cannot be shown as it is.
    std::string shown;
    if (!character.empty() && IsValidUtf8(character)) shown = "「" + character + "」";
    return field + "に Shift_JIS で保存できない文字" + shown +
           "があります。\nプロジェクトファイルは Shift_JIS で保存されるため、この文字は使えません。";
}

bool CheckTaskEdit(TaskEdit& edit, std::string& message) {
    std::string address;
    for (char c : edit.range)
        if (c != '$' && c != ' ') address += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (edit.name.empty() || edit.sheet.empty() || address.empty()) {
        message = kTaskInputErrorMessage;
        return false;
    }
    for (const std::string* text : {&edit.name, &edit.sheet, &edit.range}) {
        if (text->find(',') != std::string::npos) {
            message = kTaskCommaMessage;
            return false;
        }
    }
    const std::pair<const char*, const std::string*> fields[] = {
        {"変数名", &edit.name}, {"シート名", &edit.sheet}, {"セル番地", &edit.range}, {"フォーマット", &edit.format.format}};
    for (const auto& [field, text] : fields) {
        if (text == &edit.format.format && !(edit.input && edit.format.option == FormatOption::Format)) continue;
        message = UnstorableTextMessage(field, *text);
        if (!message.empty()) return false;
    }
    // Letters, then digits, and a row from 1.
    std::size_t letters = 0;
    while (letters < address.size() && address[letters] >= 'A' && address[letters] <= 'Z') ++letters;
    const std::string digits = address.substr(letters);
    const bool cell = letters >= 1 && letters <= 3 && !digits.empty() && digits.size() <= 7 &&
                      std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
                      std::stol(digits) >= 1;
    if (!cell) {
        message = kTaskInputErrorMessage;
        return false;
    }
    // A sheet has the columns A to XFD and the rows 1 to 1048576.
    if ((letters == 3 && address.compare(0, 3, "XFD") > 0) || std::stol(digits) > 1048576) {
        message = std::string(kTaskInputErrorMessage) + "\nセル番地 " + address +
                  " はシートの範囲外です (A1 から XFD1048576 まで)。";
        return false;
    }
    if (edit.input && edit.format.option == FormatOption::Round && !IsNumericText(edit.format.round)) {
        message = kNotNumberMessage;
        return false;
    }
    if (edit.input && edit.format.option == FormatOption::Format && edit.format.format.empty()) {
        message = kTaskInputErrorMessage;
        return false;
    }
    edit.range = address;
    return true;
}

bool StoreTask(std::vector<std::string>& lines, const TaskEdit& edit, const OpenedRow* opened, std::string& error) {
    const Section& s = ListSection(edit.input);
    std::size_t start, end;
    if (!LocateSection(lines, s, start, end, error)) return false;
    std::vector<std::string> fields = edit.input ? std::vector<std::string>{"", "", "", "", "0", "", "", ""}
                                                 : std::vector<std::string>{"", "", "", "", "0", ""};
    std::size_t line = end;
    if (opened) {
        if (!FindOpenedRow(lines, s, *opened, line)) {
            error = kTaskRowMissingMessage;
            return false;
        }
        // The limits and the value stay.
        const auto old = SplitFields(LineValue(lines[line]));
        for (std::size_t i = 3; i <= 5; ++i) fields[i] = Field(old, i);
    }
    fields[0] = edit.name;
    fields[1] = edit.range;
    fields[2] = edit.sheet;
    if (edit.input) FormatFields(edit.format, fields[6], fields[7]);
    const std::string row = std::string(s.rowKey) + JoinFields(fields);
    if (opened)
        lines[line] = row;
    else
        lines.insert(lines.begin() + static_cast<long>(end), row);
    return true;
}

bool DeleteTask(std::vector<std::string>& lines, bool input, const OpenedRow& opened, std::string& error) {
    const Section& s = ListSection(input);
    std::size_t start, end, line;
    if (!LocateSection(lines, s, start, end, error)) return false;
    if (!FindOpenedRow(lines, s, opened, line)) {
        error = kTaskRowMissingMessage;
        return false;
    }
    lines.erase(lines.begin() + static_cast<long>(line));
    if (!input) return true;
    const auto names = TaskNames(lines, true);
    if (std::find(names.begin(), names.end(), opened.name) != names.end()) return true;
    RemoveNamedRows(lines, section::InputReplace, 0, opened.name);
    RemoveNamedRows(lines, section::MonteCarlo, 0, opened.name);
    RemoveNamedRows(lines, section::OrthogonalTable, 0, opened.name);
    RemoveNamedRows(lines, section::DataFileInput, 1, opened.name);
    return true;
}

// ---------------------------------------------------------------- Replace_Form

std::vector<ReplaceEntry> ParseReplaceList(const std::string& list) {
    std::vector<ReplaceEntry> rows;
    if (list.empty()) return rows;
    for (const std::string& entry : SplitFields(list)) {
        const auto eq = entry.find('=');
        if (eq == std::string::npos)
            rows.push_back({entry, ""});
        else
            rows.push_back({entry.substr(0, eq), entry.substr(eq + 1)});
    }
    return rows;
}

std::string NewReplaceKey(const std::vector<std::string>& keys, std::size_t row) {
    const std::string own = std::to_string(row);
    if (std::find(keys.begin(), keys.end(), own) == keys.end()) return own;
    long long largest = -1;
    for (const std::string& k : keys) {
        double v;
        if (ParseDecimal(k, v) && v == std::floor(v) && v >= 0 && v < 1e15)
            largest = std::max(largest, static_cast<long long>(v));
    }
    return std::to_string(largest + 1);
}

std::vector<ReplaceEntry> ReplaceEntries(const std::vector<ReplaceEntry>& rows) {
    std::size_t count = rows.size();
    while (count > 0 && rows[count - 1].key.empty() && rows[count - 1].text.empty()) --count;
    std::vector<ReplaceEntry> entries(rows.begin(), rows.begin() + static_cast<long>(count));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].key.empty()) continue;
        std::vector<std::string> keys;
        for (const ReplaceEntry& e : entries) keys.push_back(e.key);
        entries[i].key = NewReplaceKey(keys, i);
    }
    return entries;
}

std::string JoinReplaceList(const std::vector<ReplaceEntry>& entries) {
    std::string list;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i) list += ',';
        list += entries[i].key + "=" + entries[i].text;
    }
    return list;
}

std::string EmptyReplacementQuestion(const std::string& key) {
    return key + "に対する置換文字列が空白です。ここまま保存しますか？";
}

std::vector<std::string> ReplaceSectionLines(const Project& project, const std::string& name,
                                             const std::string& list) {
    std::vector<std::string> lines;
    std::vector<std::string> listed;
    for (const InputTask& t : project.inputTasks) {
        if (t.formatKind != "Replace" || t.formatArg != "Text") continue;
        if (std::find(listed.begin(), listed.end(), t.name) != listed.end()) continue;
        listed.push_back(t.name);
        std::string text;
        if (t.name == name) {
            text = list;
        } else {
            for (const ReplaceTask& r : project.replaceTasks) {
                if (r.name == t.name) {
                    text = r.replaceList;
                    break;
                }
            }
        }
        if (!text.empty()) lines.push_back(ReplaceRowLine({t.name, text}));
    }
    return lines;
}

// ---------------------------------------------------------------- Exe_Setting_Form

bool PlaceProgram(ExeGrid& grid, int at, bool editMode, const std::string& path, const std::string& arguments) {
    const ExeRow row{PathPart(path, 1), arguments, path};
    if (editMode) {
        if (at < 0 || at >= static_cast<int>(grid.size()) || IsMarkerRow(grid[static_cast<std::size_t>(at)]))
            return false;
        grid[static_cast<std::size_t>(at)] = row;
        return true;
    }
    const std::size_t place = at < 0 ? 0 : std::min(static_cast<std::size_t>(at), grid.size());
    grid.insert(grid.begin() + static_cast<long>(place), row);
    return true;
}

bool RemoveProgram(ExeGrid& grid, int at) {
    if (at < 0 || at >= static_cast<int>(grid.size()) || IsMarkerRow(grid[static_cast<std::size_t>(at)])) return false;
    grid.erase(grid.begin() + at);
    return true;
}

}  // namespace korvane

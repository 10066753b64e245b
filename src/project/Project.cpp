#include "project/Project.h"

#include <cmath>

#include "platform/TextFile.h"
#include "project/NumberText.h"

namespace korvane {

namespace {

// Byte length of the first `n` UTF-8 characters of `s` (or of all of it).
std::size_t Utf8Prefix(const std::string& s, std::size_t n) {
    std::size_t i = 0;
    for (std::size_t k = 0; k < n && i < s.size(); ++k) i += Utf8CharLength(s, i);
    return i;
}

std::string Field(const std::vector<std::string>& f, std::size_t i) {
    return i < f.size() ? f[i] : std::string();
}

std::string Row(const char* k, const std::vector<std::string>& fields) {
    return std::string(k) + JoinFields(fields);
}

}  // namespace

std::string LineKey(const std::string& line) { return line.substr(0, Utf8Prefix(line, kKeyWidth)); }

std::string LineValue(const std::string& line) { return line.substr(Utf8Prefix(line, kKeyWidth)); }

bool HasKey(const std::string& line, const char* k) { return LineKey(line) == k; }

std::vector<std::string> SplitFields(const std::string& value) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = value.find(',', start);
        if (comma == std::string::npos) {
            fields.push_back(value.substr(start));
            return fields;
        }
        fields.push_back(value.substr(start, comma - start));
        start = comma + 1;
    }
}

std::string JoinFields(const std::vector<std::string>& fields) {
    std::string s;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) s += ',';
        s += fields[i];
    }
    return s;
}

std::vector<std::string> DefaultProjectLines() {
    return ProjectLines(Project{});
}

int ParseVisibleFlag(const std::string& value) {
    double v = LeadingNumber(value);
    if (!std::isfinite(v) || v > 2147483647.0 || v < -2147483648.0) return 0;
    return static_cast<int>(RoundToInteger(v));
}

std::string InputRowLine(const InputTask& t) {
    return Row(key::InputPram, {t.name, t.range, t.sheet, t.lower, t.initial, t.upper, t.formatKind, t.formatArg});
}
std::string OutputRowLine(const OutputTask& t) {
    return Row(key::OutputPram, {t.name, t.range, t.sheet, t.lower, t.value, t.upper});
}
std::string ReplaceRowLine(const ReplaceTask& t) {
    return std::string(key::ReplacePram) + t.name + "," + t.replaceList;
}
std::string ShellRowLine(const ShellTask& t) { return Row(key::App, {t.path, t.timing, t.arguments}); }
std::string SampledRowLine(const SampledVariable& v) {
    return Row(key::VarParam, {v.name, v.distType, v.center, v.spread});
}
std::string ReadParamRowLine(const ReadParam& p) { return Row(key::ReadParam, {p.column, p.name}); }
std::string FactorRowLine(const TableFactor& f) {
    return Row(key::VarParam, {f.name, f.lowerValue, f.middleValue, f.upperValue});
}

std::vector<std::string> ProjectLines(const Project& p) {
    std::vector<std::string> l;
    l.push_back(std::string(key::ExcelFileName) + p.excelFileName);
    l.push_back(std::string(key::DataBaseFileName) + p.dataBaseFileName);
    l.push_back(std::string(key::DbWriteMode) + p.dbWriteMode);
    l.push_back(std::string(key::ExcelVisible) + std::to_string(p.excelVisible));
    l.push_back(section::InputTask.start);
    for (const auto& t : p.inputTasks) l.push_back(InputRowLine(t));
    l.push_back(section::InputTask.end);
    l.push_back(section::InputReplace.start);
    for (const auto& t : p.replaceTasks)
        if (!t.replaceList.empty()) l.push_back(ReplaceRowLine(t));
    l.push_back(section::InputReplace.end);
    l.push_back(section::OutputTask.start);
    for (const auto& t : p.outputTasks) l.push_back(OutputRowLine(t));
    l.push_back(section::OutputTask.end);
    l.push_back(section::ShellTask.start);
    for (const auto& t : p.shellTasks) l.push_back(ShellRowLine(t));
    l.push_back(section::ShellTask.end);
    l.push_back(std::string(key::Macro) + p.macro);
    l.push_back(std::string(key::TaskPlan) + p.taskPlan);
    l.push_back(section::MonteCarlo.start);
    l.push_back(std::string(key::NumOfCalc) + p.monteCarlo.numOfCalc);
    l.push_back(std::string(key::RestartExcel) + p.monteCarlo.restartExcel);
    l.push_back(std::string(key::RandomSeed) + p.monteCarlo.randomSeed);
    for (const auto& v : p.monteCarlo.sampledVariables) l.push_back(SampledRowLine(v));
    l.push_back(section::MonteCarlo.end);
    l.push_back(section::DataFileInput.start);
    l.push_back(std::string(key::DataFile) + p.dataFileInput.dataFile);
    l.push_back(std::string(key::ReadRow) + p.dataFileInput.readRow);
    l.push_back(std::string(key::RestartExcel) + p.dataFileInput.restartExcel);
    for (const auto& r : p.dataFileInput.readParams) l.push_back(ReadParamRowLine(r));
    l.push_back(section::DataFileInput.end);
    l.push_back(section::OrthogonalTable.start);
    l.push_back(std::string(key::Level) + p.orthogonalTable.level);
    l.push_back(std::string(key::RestartExcel) + p.orthogonalTable.restartExcel);
    for (const auto& f : p.orthogonalTable.factors) l.push_back(FactorRowLine(f));
    l.push_back(section::OrthogonalTable.end);
    return l;
}

Project ParseProject(const std::vector<std::string>& lines) {
    Project p;
    auto header = [&](std::size_t i) { return i < lines.size() ? LineValue(lines[i]) : std::string(); };
    p.excelFileName = header(0);
    p.dataBaseFileName = header(1);
    p.dbWriteMode = header(2);
    p.excelVisible = ParseVisibleFlag(header(3));

    // Which section a line stands in, and how many of its positional
    // settings lines have been seen.
    const Section* current = nullptr;
    int settingIndex = 0;
    static const Section* const kSections[] = {&section::InputTask,   &section::InputReplace,
                                               &section::OutputTask,  &section::ShellTask,
                                               &section::MonteCarlo,  &section::DataFileInput,
                                               &section::OrthogonalTable};
    for (std::size_t i = 4; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        bool marker = false;
        for (const Section* s : kSections) {
            if (line == s->start) {
                current = s;
                settingIndex = 0;
                marker = true;
            } else if (line == s->end) {
                current = nullptr;
                marker = true;
            }
        }
        if (marker) continue;
        if (HasKey(line, key::Macro)) {
            p.macro = LineValue(line);
            continue;
        }
        if (HasKey(line, key::TaskPlan)) {
            p.taskPlan = LineValue(line);
            continue;
        }
        if (!current) continue;
        const std::string value = LineValue(line);
        const auto f = SplitFields(value);
        if (current->settingsLines > settingIndex) {
            int idx = settingIndex++;
            if (current == &section::MonteCarlo) {
                (idx == 0 ? p.monteCarlo.numOfCalc : idx == 1 ? p.monteCarlo.restartExcel : p.monteCarlo.randomSeed) =
                    value;
            } else if (current == &section::DataFileInput) {
                (idx == 0 ? p.dataFileInput.dataFile
                          : idx == 1 ? p.dataFileInput.readRow : p.dataFileInput.restartExcel) = value;
            } else {
                (idx == 0 ? p.orthogonalTable.level : p.orthogonalTable.restartExcel) = value;
            }
            continue;
        }
        if (current == &section::InputTask && HasKey(line, key::InputPram)) {
            // The format argument is the rest of the row: a "Format" pattern
            // may hold the grouping comma.
            std::string formatArg = Field(f, 7);
            for (std::size_t k = 8; k < f.size(); ++k) formatArg += "," + f[k];
            p.inputTasks.push_back({Field(f, 0), Field(f, 1), Field(f, 2), Field(f, 3), Field(f, 4), Field(f, 5),
                                    Field(f, 6), formatArg});
        } else if (current == &section::OutputTask && HasKey(line, key::OutputPram)) {
            p.outputTasks.push_back({Field(f, 0), Field(f, 1), Field(f, 2), Field(f, 3), Field(f, 4), Field(f, 5)});
        } else if (current == &section::InputReplace && HasKey(line, key::ReplacePram)) {
            auto comma = value.find(',');
            if (comma == std::string::npos)
                p.replaceTasks.push_back({value, ""});
            else
                p.replaceTasks.push_back({value.substr(0, comma), value.substr(comma + 1)});
        } else if (current == &section::ShellTask && HasKey(line, key::App)) {
            p.shellTasks.push_back({Field(f, 0), Field(f, 1), Field(f, 2)});
        } else if (current == &section::MonteCarlo && HasKey(line, key::VarParam)) {
            p.monteCarlo.sampledVariables.push_back({Field(f, 0), Field(f, 1), Field(f, 2), Field(f, 3)});
        } else if (current == &section::DataFileInput && HasKey(line, key::ReadParam)) {
            p.dataFileInput.readParams.push_back({Field(f, 0), Field(f, 1)});
        } else if (current == &section::OrthogonalTable && HasKey(line, key::VarParam)) {
            p.orthogonalTable.factors.push_back({Field(f, 0), Field(f, 1), Field(f, 2), Field(f, 3)});
        }
    }
    return p;
}

}  // namespace korvane

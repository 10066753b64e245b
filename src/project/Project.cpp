#include "project/Project.h"

#include <algorithm>
#include <cmath>

#include "platform/TextFile.h"
#include "project/NumberText.h"
#include "project/Sampling.h"

namespace korvane {

namespace {

// Byte length of the first `n` UTF-8 characters of `s` (or of all of it).
std::size_t Utf8Prefix(const std::string& s, std::size_t n) {
    std::size_t i = 0;
    for (std::size_t k = 0; k < n && i < s.size(); ++k) i += Utf8CharLength(s, i);
    return i;
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

std::string CorrelationRowLine(const RankCorrelation& c) {
    return Row(key::Correlation, {c.first, c.second, c.value});
}
std::string PrecisionRowLine(const PrecisionTarget& p) {
    if (p.percent.empty()) return Row(key::Precision, {p.output, p.fraction});
    return Row(key::Precision, {p.output, p.fraction, p.percent});
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
    if (!p.sampling.isDefault()) {
        l.push_back(section::Sampling.start);
        for (auto& line : SamplingContent(p.sampling)) l.push_back(std::move(line));
        l.push_back(section::Sampling.end);
    }
    return l;
}

namespace {

const Section* const kSections[] = {&section::InputTask,  &section::InputReplace, &section::OutputTask,
                                    &section::ShellTask,  &section::MonteCarlo,   &section::DataFileInput,
                                    &section::OrthogonalTable, &section::Sampling};

const char* const kHeaderKeys[] = {key::ExcelFileName, key::DataBaseFileName, key::DbWriteMode, key::ExcelVisible};

// The keys of each plan section's settings lines, in order.
std::vector<const char*> SettingKeys(const Section* s) {
    if (s == &section::MonteCarlo) return {key::NumOfCalc, key::RestartExcel, key::RandomSeed};
    if (s == &section::DataFileInput) return {key::DataFile, key::ReadRow, key::RestartExcel};
    if (s == &section::OrthogonalTable) return {key::Level, key::RestartExcel};
    return {};
}

}  // namespace

bool IsBodyLine(const std::string& line) {
    const std::string k = LineKey(line);
    if (k == key::Macro || k == key::TaskPlan || k == key::Method || k == key::Precision) return true;
    for (const Section* s : kSections) {
        if (line == s->start || line == s->end || k == s->rowKey) return true;
        for (const char* setting : SettingKeys(s))
            if (k == setting) return true;
    }
    return false;
}

namespace {

class ProjectReader {
public:
    explicit ProjectReader(ParsedProject& out) : out_(out), p_(out.project) {}

    void read(const std::vector<std::string>& lines) {
        // The header: the first four lines, by position, whatever their keys.
        // A file that lacks header lines has fewer: a section marker or a
        // line of the body is never taken for one (and so never lost when
        // Save writes the header).
        std::size_t first = 0;
        while (first < lines.size() && first < 4 && !IsBodyLine(lines[first])) ++first;
        std::string* header[] = {&p_.excelFileName, &p_.dataBaseFileName, &p_.dbWriteMode, nullptr};
        for (std::size_t h = 0; h < 4; ++h) {
            if (h >= first) {
                if (header[h]) header[h]->clear();
                problem(h + 1, std::string("\"") + kHeaderKeys[h] + "\" の行がありません。");
            } else if (header[h]) {
                *header[h] = LineValue(lines[h]);
            } else {
                p_.excelVisible = ParseVisibleFlag(LineValue(lines[h]));
            }
        }
        for (std::size_t i = first; i < lines.size(); ++i) line(i + 1, lines[i]);
        if (current_) problem(lines.size(), std::string("\"") + current_->end + "\" の行がありません。");
    }

private:

    void problem(std::size_t line, const std::string& reason) {
        out_.problems.push_back({line, current_, reason});
    }

    // The fields of a row: at least `minimum` (missing ones empty, and a
    // problem noted), and with `restFrom` > 0 the fields from there on joined
    // again into the last one (a format pattern or argument text may hold
    // commas).
    std::vector<std::string> fields(std::size_t n, const std::string& value, std::size_t minimum, const char* what,
                                    std::size_t restFrom = 0) {
        auto f = SplitFields(value);
        if (f.size() < minimum)
            problem(n, std::string(what) + " の行の項目が足りません (" + std::to_string(minimum) + "個必要, " +
                           std::to_string(f.size()) + "個)。");
        if (restFrom > 0 && f.size() > restFrom + 1) {
            std::string rest = f[restFrom];
            for (std::size_t k = restFrom + 1; k < f.size(); ++k) rest += "," + f[k];
            f.resize(restFrom + 1);
            f[restFrom] = rest;
        }
        f.resize(std::max(f.size(), minimum));
        return f;
    }

    void line(std::size_t n, const std::string& text) {
        for (const Section* s : kSections) {
            if (text == s->start) {
                if (current_) problem(n, std::string("\"") + current_->end + "\" の行がありません。");
                current_ = s;
                if (s == &section::Sampling) {
                    if (out_.samplingStart) problem(n, std::string("\"") + s->start + "\" が2つあります。");
                    out_.samplingStart = n;
                }
                settingIndex_ = 0;
                return;
            }
            if (text == s->end) {
                if (current_ != s) problem(n, std::string("\"") + s->start + "\" の行がありません。");
                current_ = nullptr;
                return;
            }
        }
        const std::string k = LineKey(text);
        if (k == key::Macro) {
            p_.macro = LineValue(text);
            return;
        }
        if (k == key::TaskPlan) {
            p_.taskPlan = LineValue(text);
            out_.hasTaskPlan = true;
            return;
        }
        const std::string value = LineValue(text);
        if (!current_) {
            // (The sampling section's keys outside it are lines no reader
            // knows, as they are to a program without the section.)
            for (const Section* s : kSections)
                if (k == s->rowKey && s != &section::Sampling)
                    problem(n, std::string("\"") + s->start + "\" の外にある行は使われません。");
            return;
        }
        if (settingIndex_ < current_->settingsLines) {
            setting(n, k, value);
            return;
        }
        if (current_ == &section::Sampling) {
            samplingLine(n, k, value);
            return;
        }
        if (k != current_->rowKey) return;  // a line no editor knows: kept, not read
        const Section* s = current_;
        if (s == &section::InputTask) {
            // The format argument is the rest of the row: a "Format" pattern
            // may hold the grouping comma.
            auto f = fields(n, value, 8, "入力変数", 7);
            p_.inputTasks.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]});
            out_.inputLines.push_back(n);
        } else if (s == &section::OutputTask) {
            auto f = fields(n, value, 6, "出力変数");
            p_.outputTasks.push_back({f[0], f[1], f[2], f[3], f[4], f[5]});
            out_.outputLines.push_back(n);
        } else if (s == &section::InputReplace) {
            const auto comma = value.find(',');
            if (comma == std::string::npos) {
                problem(n, "置換設定の行に \",\" がありません。");
                p_.replaceTasks.push_back({value, ""});
            } else {
                p_.replaceTasks.push_back({value.substr(0, comma), value.substr(comma + 1)});
            }
            out_.replaceLines.push_back(n);
        } else if (s == &section::ShellTask) {
            auto f = fields(n, value, 1, "外部プログラム", 2);
            f.resize(3);
            p_.shellTasks.push_back({f[0], f[1], f[2]});
            out_.shellLines.push_back(n);
        } else if (s == &section::MonteCarlo) {
            auto f = fields(n, value, 4, "サンプリング変数");
            p_.monteCarlo.sampledVariables.push_back({f[0], f[1], f[2], f[3]});
            out_.sampledLines.push_back(n);
        } else if (s == &section::DataFileInput) {
            auto f = fields(n, value, 2, "データファイルの読込列");
            p_.dataFileInput.readParams.push_back({f[0], f[1]});
            out_.readParamLines.push_back(n);
        } else if (s == &section::OrthogonalTable) {
            auto f = fields(n, value, 4, "直交表の因子");
            p_.orthogonalTable.factors.push_back({f[0], f[1], f[2], f[3]});
            out_.factorLines.push_back(n);
        }
    }

    // A line of the sampling section: keyed, in any order; a key it does not
    // know is kept, not read.
    void samplingLine(std::size_t n, const std::string& k, const std::string& value) {
        SamplingSettings& s = p_.sampling;
        auto tooMany = [&](std::size_t got, std::size_t most, const char* what) {
            if (got > most)
                problem(n, std::string(what) + " の行の項目が多すぎます (" + std::to_string(most) + "個まで, " +
                               std::to_string(got) + "個)。");
        };
        auto once = [&](std::size_t& at, const char* what) {
            if (at) problem(n, std::string(what) + " の行が2つあります (" + std::to_string(at) + "行目と)。");
            at = n;
        };
        if (k == key::Method) {
            once(out_.samplingMethod, "Method");
            s.method = value;
        } else if (k == key::Correlation) {
            auto f = fields(n, value, 3, "相関");
            tooMany(f.size(), 3, "相関");
            s.correlations.push_back({f[0], f[1], f[2]});
            out_.correlationLines.push_back(n);
        } else if (k == key::Precision) {
            once(out_.samplingPrecision, "Precision");
            auto f = fields(n, value, 2, "精度目標");
            tooMany(f.size(), 3, "精度目標");
            f.resize(3);
            s.hasPrecision = true;
            s.precision = {f[0], f[1], f[2]};
        }
    }

    // The positional settings lines of a plan section, each with its key.
    void setting(std::size_t n, const std::string& k, const std::string& value) {
        const int idx = settingIndex_++;
        const auto keys = SettingKeys(current_);
        if (k != keys[static_cast<std::size_t>(idx)]) {
            problem(n, std::string("\"") + current_->start + "\" の設定行 \"" + keys[static_cast<std::size_t>(idx)] +
                           "\" がありません。");
            return;
        }
        if (current_ == &section::MonteCarlo) {
            std::string* v[] = {&p_.monteCarlo.numOfCalc, &p_.monteCarlo.restartExcel, &p_.monteCarlo.randomSeed};
            *v[idx] = value;
            out_.monteCarloSettings[idx] = n;
        } else if (current_ == &section::DataFileInput) {
            std::string* v[] = {&p_.dataFileInput.dataFile, &p_.dataFileInput.readRow,
                                &p_.dataFileInput.restartExcel};
            *v[idx] = value;
            out_.dataFileSettings[idx] = n;
        } else {
            std::string* v[] = {&p_.orthogonalTable.level, &p_.orthogonalTable.restartExcel};
            *v[idx] = value;
            out_.orthogonalSettings[idx] = n;
        }
    }

    ParsedProject& out_;
    Project& p_;
    const Section* current_ = nullptr;
    int settingIndex_ = 0;
};

}  // namespace

ParsedProject ReadProject(const std::vector<std::string>& lines) {
    ParsedProject out;
    ProjectReader(out).read(lines);
    return out;
}

Project ParseProject(const std::vector<std::string>& lines) { return ReadProject(lines).project; }

void SetKeyedLine(std::vector<std::string>& lines, const std::string& k, const std::string& value) {
    bool found = false;
    for (auto& line : lines)
        if (LineKey(line) == k) {
            line = k + value;
            found = true;
        }
    if (found) return;
    auto after = [&](const std::string& text, bool byKey) {
        for (std::size_t i = lines.size(); i-- > 0;)
            if (byKey ? LineKey(lines[i]) == text : lines[i] == text) return lines.begin() + static_cast<long>(i) + 1;
        return lines.end();
    };
    auto at = lines.end();
    if (k == key::TaskPlan) at = after(key::Macro, true);
    if (at == lines.end() && (k == key::Macro || k == key::TaskPlan)) at = after(section::ShellTask.end, false);
    // The sampling section stays the last one.
    if (at == lines.end()) at = std::find(lines.begin(), lines.end(), std::string(section::Sampling.start));
    lines.insert(at, k + value);
}

}  // namespace korvane

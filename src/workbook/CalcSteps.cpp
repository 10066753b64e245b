#include "workbook/CalcSteps.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/Process.h"
#include "project/NumberText.h"
#include "project/Paths.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "workbook/CellRef.h"
#include "workbook/WorkbookLink.h"

namespace korvane {

namespace {

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    if (from.empty()) return text;
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::string::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

// The integer part towards minus infinity, as a decimal integer text.
std::string FloorText(double value) { return GeneralNumber(std::floor(value)); }

}  // namespace

double InputNumber(const RunState& s, std::size_t i) {
    const std::string& text = s.InputValues[i];
    // A value not assigned again since the input step formatted it stands
    // for the number it was formatted from, whatever its text reads as.
    if (i < s.FormatMarks.size() && !s.FormatMarks[i].text.empty() && s.FormatMarks[i].text == text)
        return s.FormatMarks[i].number;
    double v;
    if (ParseDecimal(text, v)) return v;
    // A formatted text without its mark ("1,234", "$12.50"; copied from
    // another input of the name, or set before the marks were kept): read
    // back through its pattern.
    if (s.FormatKinds[i] == "Format" && ParseFormattedNumber(text, s.FormatArgs[i], v)) return v;
    return LeadingNumber(text);
}

void AssignInitialValues(RunState& s) {
    for (std::size_t i = 1; i <= s.inputCount(); ++i) s.InputValues[i] = GeneralNumber(s.InputInitial[i]);
    s.FormatMarks.clear();
    for (std::size_t i = 1; i <= s.outputCount(); ++i) s.OutputValues[i] = "0";
}

void FormatInputs(RunState& s) {
    for (std::size_t i = 1; i <= s.inputCount(); ++i) {
        const std::string& kind = s.FormatKinds[i];
        if (kind == "Format") {
            const double number = InputNumber(s, i);
            s.InputValues[i] = FormatPattern(number, s.FormatArgs[i]);
            if (s.FormatMarks.size() <= s.inputCount()) s.FormatMarks.resize(s.inputCount() + 1);
            s.FormatMarks[i] = FormatMark{s.InputValues[i], number};
        } else if (kind == "Round") {
            double decimals = LeadingNumber(s.FormatArgs[i]);
            int n = static_cast<int>(std::fmax(-300.0, std::fmin(300.0, static_cast<double>(RoundToInteger(decimals)))));
            s.InputValues[i] = GeneralNumber(RoundHalfEven(LeadingNumber(s.InputValues[i]), n));
        }
    }
}

std::string ReplacementText(double value, const std::string& replaceList) {
    const double whole = std::floor(value);
    const std::string notFound = "NotFound:" + FloorText(value);
    for (const std::string& entry : SplitFields(replaceList)) {
        auto eq = entry.find('=');
        if (eq == std::string::npos) continue;  // only a comma inside a text makes these
        if (LeadingNumber(entry.substr(0, eq)) != whole) continue;
        std::string text = entry.substr(eq + 1);
        return text == "=" ? std::string() : text;
    }
    return notFound;
}

std::vector<CellWrite> InputWrites(RunState& s) {
    FormatInputs(s);
    std::vector<CellWrite> writes;
    writes.reserve(s.inputCount());
    for (std::size_t i = 1; i <= s.inputCount(); ++i) {
        CellWrite w;
        w.cell.sheet = s.InputSheets[i];
        w.cell.address = s.InputAddresses[i];
        w.cell.row = s.InputRows[i];
        w.cell.column = s.InputColumns[i];
        if (s.FormatKinds[i] == "Replace") {
            const double value = LeadingNumber(s.InputValues[i]);
            w.text = ReplacementText(value, s.ReplaceLists[i]);
            // The DB line records the number, not the text that went in.
            s.InputValues[i] = FloorText(value);
        } else {
            w.text = s.InputValues[i];
        }
        writes.push_back(std::move(w));
    }
    return writes;
}

bool WriteInputs(RunState& s, WorkbookLink& link, std::string& error) {
    const std::vector<CellWrite> writes = InputWrites(s);
    // Manual calculation while writing, so the model recalculates once. Each
    // input's sheet is made active in turn: what stays is the last one's,
    // which is the sheet a macro working on the active sheet sees.
    if (!link.setCalculation(CalculationMode::Manual) || !link.writeCells(writes) ||
        (!writes.empty() && !link.activateSheet(writes.back().cell.sheet)) ||
        !link.setCalculation(CalculationMode::Automatic)) {
        error = link.lastError();
        return false;
    }
    return true;
}

bool RunMacros(RunState& s, WorkbookLink& link, std::string& error) {
    if (s.MacroList.empty()) return true;
    for (const std::string& name : SplitFields(s.MacroList)) {
        if (!link.run(MacroReference(s.WorkbookPath, name))) {
            error = link.lastError();
            return false;
        }
    }
    return true;
}

bool ReadOutputs(RunState& s, WorkbookLink& link, std::string& error, bool* instanceDead) {
    if (instanceDead) *instanceDead = false;
    std::vector<CellRef> cells;
    cells.reserve(s.outputCount());
    for (std::size_t i = 1; i <= s.outputCount(); ++i)
        cells.push_back(CellRef{s.OutputSheets[i], s.OutputAddresses[i], s.OutputRows[i], s.OutputColumns[i]});
    std::vector<std::optional<std::string>> values;
    const bool all = link.readCells(cells, values) && values.size() == cells.size();
    const std::string readError = all ? std::string() : link.lastError();
    // The step ends at the first output it cannot read. The outputs not read
    // are emptied: the texts of the previous calculation are not this one's
    // results and must never be recorded as such.
    std::size_t reached = 0;
    for (; reached < cells.size(); ++reached) {
        if (reached >= values.size() || !values[reached]) break;
        s.OutputValues[reached + 1] = *values[reached];
    }
    for (std::size_t i = reached; i < cells.size(); ++i) s.OutputValues[i + 1].clear();
    s.OutputsRead = all;
    if (!all && !link.isRunning()) {
        if (instanceDead) *instanceDead = true;
        error = readError;
        return false;
    }
    // Each output's sheet was made active in turn: what stays is the sheet of
    // the last output looked up (a missing sheet is not).
    if (!cells.empty()) {
        const std::size_t last = all ? cells.size() - 1 : std::min(reached, cells.size() - 1);
        if (!link.activateSheet(cells[last].sheet) && last > 0) link.activateSheet(cells[last - 1].sheet);
    }
    if (all) return true;
    error = readError;
    if (s.UnreadableCalcs++ == 0) s.FirstUnreadable = readError;
    return false;
}

bool JudgeRestrictions(RunState& s) {
    bool valid = s.OutputsRead;
    for (std::size_t i = 1; i <= s.outputCount(); ++i) {
        const double v = LeadingNumber(s.OutputValues[i]);
        if (!s.OutputLower[i].empty() && v < LeadingNumber(s.OutputLower[i])) valid = false;
        if (!s.OutputUpper[i].empty() && v > LeadingNumber(s.OutputUpper[i])) valid = false;
    }
    s.RunValid = valid;
    return valid;
}

bool CalculateWorkbook(RunState& s, WorkbookLink& link, std::string& error) {
    if (!WriteInputs(s, link, error)) return false;
    if (!RunExternalPrograms(s, 3, error)) return false;
    if (!RunMacros(s, link, error)) return false;
    if (!RunExternalPrograms(s, 4, error)) return false;
    bool dead = false;
    std::string readError;
    if (!ReadOutputs(s, link, readError, &dead) && dead) {
        error = readError;
        return false;
    }
    return RunExternalPrograms(s, 5, error);
}

namespace {

bool IsCellAddress(const std::string& address, std::int64_t row, std::int32_t column) {
    std::size_t i = 0;
    while (i < address.size() && std::isalpha(static_cast<unsigned char>(address[i]))) ++i;
    const std::size_t letters = i;
    while (i < address.size() && std::isdigit(static_cast<unsigned char>(address[i]))) ++i;
    return letters >= 1 && letters <= 3 && i > letters && i == address.size() && row >= 1 && row <= 1048576 &&
           column >= 1 && column <= 16384;
}

}  // namespace

std::string BadAddressMessage(const RunState& s) {
    for (std::size_t i = 1; i <= s.inputCount(); ++i)
        if (!IsCellAddress(s.InputAddresses[i], s.InputRows[i], s.InputColumns[i]))
            return "入力変数「" + s.InputNames[i] + "」のセル番地「" + s.InputAddresses[i] +
                   "」が不正です。計算を開始できません。";
    for (std::size_t i = 1; i <= s.outputCount(); ++i)
        if (!IsCellAddress(s.OutputAddresses[i], s.OutputRows[i], s.OutputColumns[i]))
            return "読込変数「" + s.OutputNames[i] + "」のセル番地「" + s.OutputAddresses[i] +
                   "」が不正です。計算を開始できません。";
    return {};
}

std::string MissingSheetMessage(const RunState& s, WorkbookLink& link) {
    const auto names = link.sheetNames();
    if (!names) return link.lastError();
    auto has = [&](const std::string& sheet) { return std::find(names->begin(), names->end(), sheet) != names->end(); };
    for (std::size_t i = 1; i <= s.inputCount(); ++i)
        if (!has(s.InputSheets[i]))
            return "入力変数「" + s.InputNames[i] + "」のシート「" + s.InputSheets[i] +
                   "」がブックにありません。計算を開始できません。";
    for (std::size_t i = 1; i <= s.outputCount(); ++i)
        if (!has(s.OutputSheets[i]))
            return "読込変数「" + s.OutputNames[i] + "」のシート「" + s.OutputSheets[i] +
                   "」がブックにありません。計算を開始できません。";
    return {};
}

ShellLine SplitShellLine(const std::string& line) {
    ShellLine out;
    auto c1 = line.find(',');
    out.program = line.substr(0, c1);
    if (c1 == std::string::npos) return out;
    auto c2 = line.find(',', c1 + 1);
    out.timing = line.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    if (c2 != std::string::npos) out.arguments = line.substr(c2 + 1);
    return out;
}

namespace {

// An input's value in an argument: a formatted "1,234" is the number 1234.
std::string InputArgumentValue(const RunState& s, std::size_t i) {
    const std::string& text = s.InputValues[i];
    double v;
    if (!ParseDecimal(text, v) && s.FormatKinds[i] == "Format" && ParseFormattedNumber(text, s.FormatArgs[i], v))
        return FormatArgumentValue(GeneralNumber(v));
    return FormatArgumentValue(text);
}

}  // namespace

std::vector<std::string> ProgramArguments(const RunState& s, const std::string& argumentText) {
    std::vector<std::string> words = SplitWords(argumentText);
    for (std::string& w : words) {
        for (std::size_t i = 1; i <= s.inputCount(); ++i)
            w = ReplaceAll(w, "[" + s.InputNames[i] + "]", InputArgumentValue(s, i));
        for (std::size_t i = 1; i <= s.outputCount(); ++i)
            w = ReplaceAll(w, "[" + s.OutputNames[i] + "]", FormatArgumentValue(s.OutputValues[i]));
    }
    return words;
}

bool RunExternalPrograms(RunState& s, int timing, std::string& error) {
    for (std::size_t k = 1; k <= s.shellTaskCount(); ++k) {
        const ShellLine line = SplitShellLine(s.ShellTasks[k]);
        if (LeadingNumber(line.timing) != timing) continue;
        std::vector<std::string> argv{ResolveAppRelative(line.program)};
        for (auto& a : ProgramArguments(s, line.arguments)) argv.push_back(std::move(a));
        int status = 0;
        if (!RunProgramAndWait(argv, status, error)) return false;
    }
    return true;
}

}  // namespace korvane

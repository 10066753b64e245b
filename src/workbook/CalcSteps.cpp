#include "workbook/CalcSteps.h"

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

void AssignInitialValues(RunState& s) {
    for (std::size_t i = 1; i <= s.inputCount(); ++i) s.InputValues[i] = GeneralNumber(s.InputInitial[i]);
    for (std::size_t i = 1; i <= s.outputCount(); ++i) s.OutputValues[i] = "0";
}

void FormatInputs(RunState& s) {
    for (std::size_t i = 1; i <= s.inputCount(); ++i) {
        const std::string& kind = s.FormatKinds[i];
        if (kind == "Format") {
            double v;
            // A text that is not a number is formatted as the pattern's literal
            // characters around 0, as the spreadsheet's formatter would not see
            // a number in it; plans only produce numbers.
            if (!ParseDecimal(s.InputValues[i], v)) v = LeadingNumber(s.InputValues[i]);
            s.InputValues[i] = FormatPattern(v, s.FormatArgs[i]);
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

bool WriteInputs(RunState& s, WorkbookLink& link, std::string& error) {
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
    // Manual calculation while writing, so the model recalculates once.
    if (!link.setCalculation(CalculationMode::Manual) || !link.writeCells(writes) ||
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
    const bool all = link.readCells(cells, values);
    for (std::size_t i = 0; i < values.size() && i < cells.size(); ++i) {
        if (!values[i]) break;  // the step ends here; the rest keep their text
        s.OutputValues[i + 1] = *values[i];
    }
    if (all && values.size() == cells.size()) return true;
    error = link.lastError();
    if (instanceDead && !link.isRunning()) *instanceDead = true;
    return false;
}

bool JudgeRestrictions(RunState& s) {
    bool valid = true;
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

std::vector<std::string> ProgramArguments(const RunState& s, const std::string& argumentText) {
    std::vector<std::string> words = SplitWords(argumentText);
    for (std::string& w : words) {
        for (std::size_t i = 1; i <= s.inputCount(); ++i)
            w = ReplaceAll(w, "[" + s.InputNames[i] + "]", FormatArgumentValue(s.InputValues[i]));
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

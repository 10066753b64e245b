#include "run/OrthogonalTable.h"

#include <unordered_set>

#include "platform/TextFile.h"
#include "project/NumberText.h"
#include "project/Paths.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "run/PlanValues.h"

namespace korvane {

const ArrayFile* ArrayFileFor(const std::string& level) {
    if (level == kTwoLevels) return &kTwoLevelArray;
    if (level == kThreeLevels) return &kThreeLevelArray;
    return nullptr;
}

bool CutArray(const std::string& level, std::int64_t factors, const std::string& appFolder,
              std::vector<std::string>& rows, std::string& error) {
    rows.clear();
    const ArrayFile* array = ArrayFileFor(level);
    if (!array) {
        error = "直交表の水準が不正です：" + level;
        return false;
    }
    const std::string path = appFolder + "/" + array->fileName;
    if (!FileExists(path)) {
        error = "直交表ファイルが見つかりません。\n" + path;
        return false;
    }
    TextLineReader reader;
    if (!reader.open(path)) {
        error = "直交表ファイルを読み込めません。\n" + reader.error();
        return false;
    }
    if (factors < 1) return true;
    const auto width = static_cast<std::size_t>(factors);
    std::unordered_set<std::string> seen;
    std::string line;
    while (reader.next(line)) {
        std::string cut = line.substr(0, width);
        if (seen.insert(cut).second) rows.push_back(std::move(cut));
    }
    if (!reader.error().empty()) {
        error = "直交表ファイルを読み込めません。\n" + reader.error();
        rows.clear();
        return false;
    }
    return true;
}

std::int64_t CountFactors(const RunState& state) {
    std::int64_t count = 0;
    for (std::size_t i = 1; i <= state.inputCount(); ++i)
        if (state.PlanSelected[i] && EarlierSameName(state, i) == 0) ++count;
    return count;
}

std::vector<std::string> FactorNames(const RunState& state) {
    std::vector<std::string> names;
    for (std::size_t i = 1; i <= state.inputCount(); ++i)
        if (state.PlanSelected[i] && EarlierSameName(state, i) == 0) names.push_back(state.InputNames[i]);
    return names;
}

std::string FactorsBeyondArrayMessage(const std::string& level, const std::vector<std::string>& factors) {
    const ArrayFile* array = ArrayFileFor(level);
    if (!array || factors.size() <= static_cast<std::size_t>(array->columns)) return {};
    std::string message = array == &kTwoLevelArray ? kTwoLevelFactorMessage : kThreeLevelFactorMessage;
    message += "\n直交表の列に割り付けられない因子 (" + std::to_string(factors.size() - array->columns) + "個): ";
    for (std::size_t f = static_cast<std::size_t>(array->columns); f < factors.size(); ++f) {
        if (f > static_cast<std::size_t>(array->columns)) message += ", ";
        message += factors[f];
    }
    return message;
}

bool PrepareOrthogonalTable(RunState& state, const std::string& appFolder, OrthogonalRun& run,
                            std::string& error) {
    run = OrthogonalRun{};
    run.FactorCount = CountFactors(state);
    // Factors without a column would silently keep their initial values.
    if (std::string beyond = FactorsBeyondArrayMessage(state.LevelChoice, FactorNames(state)); !beyond.empty()) {
        error = beyond;
        return false;
    }
    if (!CutArray(state.LevelChoice, run.FactorCount, appFolder, run.TableRows, error)) return false;
    std::string writeError;
    if (!WriteTextFileAtomic(appFolder + "/" + kTableRecordFile, run.TableRows, writeError)) {
        error = std::string(kTableRecordFile) + "を書き込めません。\n" + writeError;
        return false;
    }
    state.CalcTotal = std::to_string(run.TableRows.size());
    return true;
}

void AssignLevels(RunState& state, const OrthogonalRun& run) {
    const std::int64_t rowIndex = state.CalcCount - 1;
    const std::string* row = rowIndex >= 0 && rowIndex < static_cast<std::int64_t>(run.TableRows.size())
                                 ? &run.TableRows[static_cast<std::size_t>(rowIndex)]
                                 : nullptr;
    std::size_t factor = 0;
    for (std::size_t i = 1; i <= state.inputCount(); ++i) {
        if (const std::size_t j = EarlierSameName(state, i)) {
            state.copyInput(j, i);
            continue;
        }
        if (!state.PlanSelected[i]) continue;
        ++factor;
        if (!row || factor > row->size()) continue;
        const double low = state.LevelLow[i];
        const double high = state.LevelHigh[i];
        switch ((*row)[factor - 1]) {
        case 'L': state.InputValues[i] = GeneralNumber(low); break;
        case 'M': state.InputValues[i] = GeneralNumber((low + high) / 2); break;
        case 'H': state.InputValues[i] = GeneralNumber(high); break;
        default: continue;
        }
        state.forgetFormat(i);
    }
}

bool MakeTablePreview(const std::string& level, std::int64_t factors, const std::string& appFolder,
                      std::vector<std::string>& rows, std::string& error) {
    rows.clear();
    if (level == kTwoLevels && factors > kTwoLevelArray.columns) {
        error = kTwoLevelFactorMessage;
        return false;
    }
    if (level == kThreeLevels && factors > kThreeLevelArray.columns) {
        error = kThreeLevelFactorMessage;
        return false;
    }
    return CutArray(level, factors, appFolder, rows, error);
}

std::string TableCornerText(std::size_t rows) { return "<L" + std::to_string(rows) + ">"; }

std::uint32_t LevelCellColour(char level) {
    switch (level) {
    case 'L': return 0xFFFFC0;
    case 'M': return 0xC0C0FF;
    case 'H': return 0xFFC0FF;
    default: return 0xFFFFFF;
    }
}

std::string MiddleValueText(const std::string& lower, const std::string& upper, const std::string& current) {
    if (!lower.empty() && !upper.empty()) return GeneralNumber((LeadingNumber(lower) + LeadingNumber(upper)) / 2);
    if (!lower.empty() || !upper.empty()) return "";
    return current;
}

}  // namespace korvane

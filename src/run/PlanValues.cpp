#include "run/PlanValues.h"

#include <vector>

#include "project/NumberText.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "run/DataFileInput.h"
#include "run/MonteCarlo.h"
#include "run/OrthogonalTable.h"
#include "run/SampledDraws.h"

namespace korvane {

std::size_t EarlierSameName(const RunState& state, std::size_t i) {
    for (std::size_t j = 1; j < i; ++j)
        if (state.InputNames[j] == state.InputNames[i]) return j;
    return 0;
}

bool AssignPlanValues(RunState& state, PlanSources& sources, std::string& error) {
    const bool monteCarlo = state.PlanName == plan::MonteCarlo;
    const bool dataFile = state.PlanName == plan::DataFileInput;
    if (state.PlanName == plan::OrthogonalTable) {
        if (!sources.table) {
            error = "直交表が準備されていません。";
            return false;
        }
        AssignLevels(state, *sources.table);
        return true;
    }
    if ((monteCarlo && !sources.random) || (dataFile && !sources.dataFile)) {
        error = "計算計画の準備ができていません：" + state.PlanName;
        return false;
    }
    // A failed calculation leaves the values as they were.
    const std::vector<std::string> before = state.InputValues;
    const std::vector<FormatMark> marksBefore = state.FormatMarks;
    auto fail = [&](std::string message) {
        state.InputValues = before;
        state.FormatMarks = marksBefore;
        error = std::move(message);
        return false;
    };
    for (std::size_t i = 1; i <= state.inputCount(); ++i) {
        if (const std::size_t j = EarlierSameName(state, i)) {
            state.copyInput(j, i);
        } else if (monteCarlo && state.PlanSelected[i] && sources.draws && sources.draws->active()) {
            double x = 0.0;
            if (!sources.draws->value(i, state.CalcCount, x))
                return fail("変数[" + state.InputNames[i] + "]の" + std::to_string(state.CalcCount) +
                            "回目の計算の値がサンプルにありません。");
            state.InputValues[i] = GeneralNumber(x);
            state.forgetFormat(i);
        } else if (monteCarlo && state.PlanSelected[i]) {
            double x = 0.0;
            if (!DrawSample(*sources.random, state.InputLower[i], state.InputUpper[i], state.DistType[i],
                            state.DistCenter[i], state.DistSpread[i], x)) {
                return fail(DrawFailureMessage(state.InputNames[i], state.InputLower[i], state.InputUpper[i]));
            }
            state.InputValues[i] = GeneralNumber(x);
            state.forgetFormat(i);
        } else if (dataFile && state.PlanSelected[i]) {
            double x = 0.0;
            std::string readError;
            if (!ReadDataValue(state, *sources.dataFile, state.DataColumn[i], x, readError)) return fail(readError);
            state.InputValues[i] = GeneralNumber(x);
            state.forgetFormat(i);
        }
    }
    return true;
}

}  // namespace korvane

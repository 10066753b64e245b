// The run load: a working copy on disk read by LoadProjectForRun with header
// values chosen by the first input byte (plan, write mode), the rest of the
// input being the file.
//
// Properties: a refused load says why and leaves the run state as it was; an
// accepted one leaves every per-variable array with one element per variable.

#include "FuzzSupport.h"
#include "project/RunState.h"

using namespace korvane;

namespace {

template <typename T>
void CheckSize(const std::vector<T>& v, std::size_t expected, const char* what) {
    FUZZ_CHECK(v.size() == expected, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const char* const kPlans[] = {plan::Single, plan::MonteCarlo, plan::DataFileInput, plan::OrthogonalTable,
                                         plan::UserScroll, "Unknown"};
    const std::uint8_t choice = data[0];
    HeaderValues header;
    header.workbookPath = "\\model.fods";
    header.dbPath = "\\result.csv";
    header.plan = kPlans[choice % 6];
    header.optionOW = (choice & 0x40) != 0;
    header.optionAP = (choice & 0x80) != 0;
    const std::string path = fuzz::WriteScratchFile(fuzz::AsText(data + 1, size - 1), "input.tolv");

    RunState state;
    state.CalcTotal = "untouched";
    std::string error;
    if (!LoadProjectForRun(state, header, path, error)) {
        FUZZ_CHECK(!error.empty(), "a refused load says why");
        FUZZ_CHECK(state.CalcTotal == "untouched" && state.inputCount() == 0 && state.outputCount() == 0 &&
                       state.WorkbookPath.empty(),
                   "a refused load leaves the state as it was");
        return 0;
    }
    const std::size_t inputs = state.InputNames.size();
    FUZZ_CHECK(inputs >= 1 && state.OutputNames.size() >= 1 && state.ShellTasks.size() >= 1, "element 0 kept");
    CheckSize(state.InputAddresses, inputs, "InputAddresses");
    CheckSize(state.InputSheets, inputs, "InputSheets");
    CheckSize(state.InputLower, inputs, "InputLower");
    CheckSize(state.InputInitial, inputs, "InputInitial");
    CheckSize(state.InputValues, inputs, "InputValues");
    CheckSize(state.InputUpper, inputs, "InputUpper");
    CheckSize(state.FormatKinds, inputs, "FormatKinds");
    CheckSize(state.FormatArgs, inputs, "FormatArgs");
    CheckSize(state.PlanSelected, inputs, "PlanSelected");
    CheckSize(state.ReplaceLists, inputs, "ReplaceLists");
    CheckSize(state.DistType, inputs, "DistType");
    CheckSize(state.DistCenter, inputs, "DistCenter");
    CheckSize(state.DistSpread, inputs, "DistSpread");
    CheckSize(state.DataColumn, inputs, "DataColumn");
    CheckSize(state.InputRows, inputs, "InputRows");
    CheckSize(state.InputColumns, inputs, "InputColumns");
    CheckSize(state.LevelLow, inputs, "LevelLow");
    CheckSize(state.LevelHigh, inputs, "LevelHigh");
    const std::size_t outputs = state.OutputNames.size();
    CheckSize(state.OutputAddresses, outputs, "OutputAddresses");
    CheckSize(state.OutputSheets, outputs, "OutputSheets");
    CheckSize(state.OutputLower, outputs, "OutputLower");
    CheckSize(state.OutputValues, outputs, "OutputValues");
    CheckSize(state.OutputUpper, outputs, "OutputUpper");
    CheckSize(state.OutputRows, outputs, "OutputRows");
    CheckSize(state.OutputColumns, outputs, "OutputColumns");
    FUZZ_CHECK(state.RestartPerCalc == 0 || state.RestartPerCalc == 1, "restart flag is 0 or 1");
    return 0;
}

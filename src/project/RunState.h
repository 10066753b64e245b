#pragma once
// The run-time record shared by the run driver, the plans, the calculation
// steps, the DB writer and the windows that show current values.
//
// Per-variable fields are arrays indexed from 1 in the order of the rows of
// the working copy; element 0 exists and is never used. An array holding only
// element 0 means there are no variables.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "project/Project.h"

namespace korvane {

class WorkbookLink;

// What an input's "Format" pattern wrote last and the number it stood for.
// While the input still holds that text, it stands for that number: the text
// is not read back, which would drift where the pattern adds digits of its
// own (`0"00"` writes 12 as "1200").
struct FormatMark {
    std::string text;  // empty: no mark
    double number = 0;
};

struct RunState {
    // ------------------------------------------------ set during a run
    std::shared_ptr<WorkbookLink> ExcelApp;  // the spreadsheet instance of the run
    std::string CalcTotal;                   // calculations of the run, "1" for Single
    std::int64_t CalcCount = 0;              // number of the current calculation
    bool RunValid = true;                    // verdict of the current calculation
    // The read step of the current calculation read every output. When it
    // did not, the outputs not read are empty and the verdict is false.
    bool OutputsRead = true;
    std::int64_t UnreadableCalcs = 0;        // calculations of the run with outputs not read
    std::string FirstUnreadable;             // the first such: which cell, what it held
    std::int64_t TimedOutCalcs = 0;          // calculations of the run abandoned at the time limit
    std::int64_t ReplacedInstances = 0;      // instances that died during a calculation and were started again
    std::int64_t CrashedCalcs = 0;           // calculations whose instance died twice: recorded without outputs
    std::string LeftRunning;                 // programs still running after the run's process groups were ended
    bool StopRequested = true;               // idle state is "stopped"
    bool KeepExcelOpen = false;              // Single plan: leave the workbook open
    std::string StartTime, EndTime;

    // ------------------------------------------------ filled by the load
    std::string WorkbookPath;  // resolved
    std::string DbPath;        // resolved
    std::string WriteMode = "OverWrite";
    std::string PlanName;
    std::string MacroList;
    std::vector<std::string> ShellTasks{""};  // " App." values, not split
    std::int64_t MonteCarloCount = 0;
    int RestartPerCalc = 0;  // 0 or 1
    std::string RandomSeed;
    // The Monte Carlo plan's "<<Sampling>>" settings (method, correlations,
    // precision target), checked row by row by the load; the default when
    // the project has none.
    SamplingSettings Sampling;
    std::string DataFilePath;  // as written
    std::int64_t DataReadRow = 0;
    std::string LevelChoice;

    // ------------------------------------------------ per input variable
    std::vector<std::string> InputNames{""};
    std::vector<std::string> InputAddresses{""};
    std::vector<std::string> InputSheets{""};
    std::vector<std::string> InputLower{""};
    std::vector<double> InputInitial{0.0};
    std::vector<std::string> InputValues{""};
    std::vector<std::string> InputUpper{""};
    std::vector<std::string> FormatKinds{""};
    std::vector<std::string> FormatArgs{""};
    std::vector<bool> PlanSelected{false};
    std::vector<std::string> ReplaceLists{""};
    std::vector<std::string> DistType{""};
    std::vector<double> DistCenter{0.0};
    std::vector<double> DistSpread{0.0};
    std::vector<std::int64_t> DataColumn{0};
    std::vector<std::int64_t> InputRows{0};
    std::vector<std::int32_t> InputColumns{0};
    std::vector<double> LevelLow{0.0};
    std::vector<double> LevelHigh{0.0};
    // Set by the input step; shorter than the inputs where none was set yet.
    std::vector<FormatMark> FormatMarks;

    // ------------------------------------------------ per output variable
    std::vector<std::string> OutputNames{""};
    std::vector<std::string> OutputAddresses{""};
    std::vector<std::string> OutputSheets{""};
    std::vector<std::string> OutputLower{""};
    std::vector<std::string> OutputValues{""};
    std::vector<std::string> OutputUpper{""};
    std::vector<std::int64_t> OutputRows{0};
    std::vector<std::int32_t> OutputColumns{0};

    std::size_t inputCount() const { return InputNames.size() - 1; }
    std::size_t outputCount() const { return OutputNames.size() - 1; }
    std::size_t shellTaskCount() const { return ShellTasks.size() - 1; }

    // Input `i` was given a new value: its text is a plain number again.
    void forgetFormat(std::size_t i) {
        if (i < FormatMarks.size()) FormatMarks[i] = FormatMark{};
    }
    // Input `i` takes the value of the earlier input `j` of its name.
    void copyInput(std::size_t j, std::size_t i) {
        InputValues[i] = InputValues[j];
        if (i < FormatMarks.size()) FormatMarks[i] = j < FormatMarks.size() ? FormatMarks[j] : FormatMark{};
    }
};

// Appends one input variable, with the initial values a load gives the plan
// fields (not selected, no replacement list, levels 1 and 0, row and column 1),
// and returns its index.
std::size_t AddInputVariable(RunState& state, const std::string& name, const std::string& address,
                             const std::string& sheet, const std::string& lower, double initial,
                             const std::string& upper, const std::string& formatKind, const std::string& formatArg);
// Appends one output variable, its current text "0"; returns its index.
std::size_t AddOutputVariable(RunState& state, const std::string& name, const std::string& address,
                              const std::string& sheet, const std::string& lower, const std::string& upper);

// Empties every per-variable array and the shell task list to element 0,
// sets CalcCount to 0 and StopRequested to true.
void ResetRunArrays(RunState& state);

// Fills `state` from the header values the main window holds and from the
// working copy. A malformed working copy (short rows, missing markers,
// non-numeric or out-of-range numbers, bytes that are not Shift_JIS) refuses
// the load: the message in `error` names the line, and `state` is left as it
// was, so no partial state is ever used. Shows no message itself.
bool LoadProjectForRun(RunState& state, const HeaderValues& header, const std::string& workingCopy,
                       std::string& error);

}  // namespace korvane

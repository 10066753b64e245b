#pragma once
// The project document: the model that a ".tolv" file stores, the keys and
// markers of its line format, and conversions between rows and lines.

#include <string>
#include <vector>

namespace korvane {

// ---------------------------------------------------------------- line format

inline constexpr std::size_t kKeyWidth = 20;

namespace key {
inline constexpr const char* ExcelFileName = "Excel File Name    :";
inline constexpr const char* DataBaseFileName = "DataBase File Name :";
inline constexpr const char* DbWriteMode = "DB Write Mode      :";
inline constexpr const char* ExcelVisible = "Excel Visible      :";
inline constexpr const char* InputPram = " Input Pram.       :";
inline constexpr const char* ReplacePram = " Replace Pram.     :";
inline constexpr const char* OutputPram = " Output Pram.      :";
inline constexpr const char* App = " App.              :";
inline constexpr const char* Macro = "Macro              :";
inline constexpr const char* TaskPlan = "Task Plan          :";
inline constexpr const char* NumOfCalc = " Num of Calc.      :";
inline constexpr const char* RestartExcel = " Restart Excel     :";
inline constexpr const char* RandomSeed = " Random Seed       :";
inline constexpr const char* VarParam = " Var. Param.       :";
inline constexpr const char* DataFile = " DataFile          :";
inline constexpr const char* ReadRow = " Read Row          :";
inline constexpr const char* ReadParam = " Read. Param.      :";
inline constexpr const char* Level = " Level             :";
inline constexpr const char* Method = " Method            :";
inline constexpr const char* Correlation = " Correlation       :";
inline constexpr const char* Precision = " Precision         :";
}  // namespace key

// A section of the file: its two marker lines, the number of positional
// settings lines that follow the start marker, and the key of its rows.
struct Section {
    const char* start;
    const char* end;
    int settingsLines;
    const char* rowKey;
};

namespace section {
inline constexpr Section InputTask{"<<Input Task>>", "<<Input Task End>>", 0, key::InputPram};
inline constexpr Section InputReplace{"<<Input Replace>>", "<<Input Replace End>>", 0, key::ReplacePram};
inline constexpr Section OutputTask{"<<Output Task>>", "<<Output Task End>>", 0, key::OutputPram};
inline constexpr Section ShellTask{"<<Shell Task>>", "<<Shell Task End>>", 0, key::App};
inline constexpr Section MonteCarlo{"<<MonteCarlo>>", "<<MonteCarlo End>>", 3, key::VarParam};
inline constexpr Section DataFileInput{"<<DataFileInput>>", "<<DataFileInput End>>", 3, key::ReadParam};
inline constexpr Section OrthogonalTable{"<<OrthogonalTable>>", "<<OrthogonalTable End>>", 2, key::VarParam};
// How the Monte Carlo plan draws. Written only when it differs from the
// plain draws, and always as the last section of the file, so that a file
// that does not use it stays as it was and older readers pass over it.
inline constexpr Section Sampling{"<<Sampling>>", "<<Sampling End>>", 0, key::Correlation};
}  // namespace section

// The sampling methods of the Monte Carlo plan.
namespace method {
inline constexpr const char* MonteCarlo = "MonteCarlo";
inline constexpr const char* LHS = "LHS";
inline constexpr const char* Sobol = "Sobol";
// Groups of calculations for Sobol' sensitivity indices: A, B, and A with
// each input in turn taken from B.
inline constexpr const char* Saltelli = "Saltelli";
}  // namespace method

// The plan names.
namespace plan {
inline constexpr const char* Single = "Single";
inline constexpr const char* MonteCarlo = "MonteCarlo";
inline constexpr const char* DataFileInput = "DataFile Input";
inline constexpr const char* OrthogonalTable = "Orthogonal Table";
inline constexpr const char* UserScroll = "UserScroll Mode";
}  // namespace plan

// The first 20 characters of a line (fewer when the line is shorter), and the
// rest. A line shorter than 20 characters has an empty value. Characters, not
// bytes: a key counts as the spreadsheet program's Left(line, 20) does.
std::string LineKey(const std::string& line);
std::string LineValue(const std::string& line);
bool HasKey(const std::string& line, const char* key);
// Splits at every ",". An empty text gives one empty field.
std::vector<std::string> SplitFields(const std::string& value);
std::string JoinFields(const std::vector<std::string>& fields);

// The 28 lines of a new project.
std::vector<std::string> DefaultProjectLines();

// ---------------------------------------------------------------- model

struct InputTask {
    std::string name, range, sheet, lower, initial = "0", upper, formatKind, formatArg;
};
struct OutputTask {
    std::string name, range, sheet, lower, value = "0", upper;
};
struct ReplaceTask {
    std::string name, replaceList;
};
struct ShellTask {
    std::string path, timing, arguments;  // arguments: everything after the second comma
};
struct SampledVariable {
    std::string name, distType, center, spread;
};
struct ReadParam {
    std::string column, name;
};
struct TableFactor {
    std::string name, lowerValue, middleValue, upperValue;
};
struct MonteCarloSettings {
    std::string numOfCalc = "100", restartExcel = "0", randomSeed = "Random";
    std::vector<SampledVariable> sampledVariables;
};
struct DataFileInputSettings {
    std::string dataFile, readRow = "2", restartExcel = "0";
    std::vector<ReadParam> readParams;
};
struct OrthogonalSettings {
    std::string level = "3水準", restartExcel = "0";
    std::vector<TableFactor> factors;
};
// A target rank correlation between two sampled inputs.
struct RankCorrelation {
    std::string first, second, value;
};
// Stop the run once the confidence half-width of the output's mean is at most
// `fraction` of |mean|. An empty `percent` is the row written without it: 95.
struct PrecisionTarget {
    std::string output, fraction, percent;
};
struct SamplingSettings {
    std::string method = method::MonteCarlo;  // kept as text: a method this program does not know is refused, not lost
    std::vector<RankCorrelation> correlations;
    bool hasPrecision = false;
    PrecisionTarget precision;
    // Plain draws, no correlations, no precision: the section is not written.
    bool isDefault() const { return method == method::MonteCarlo && correlations.empty() && !hasPrecision; }
};

struct Project {
    std::string excelFileName, dataBaseFileName, dbWriteMode = "OverWrite";
    int excelVisible = 0;
    std::vector<InputTask> inputTasks;
    std::vector<ReplaceTask> replaceTasks;
    std::vector<OutputTask> outputTasks;
    std::vector<ShellTask> shellTasks;
    std::string macro;
    std::string taskPlan = plan::Single;
    MonteCarloSettings monteCarlo;
    DataFileInputSettings dataFileInput;
    OrthogonalSettings orthogonalTable;
    SamplingSettings sampling;
};

// The one reading of a project file's lines. The windows, the header values
// and the run load all see the same rows; what the windows take leniently
// (a short row padded with empty fields, a section without its end marker)
// is listed in `problems`, and the run load refuses a project with a problem
// that concerns it.
struct ProjectProblem {
    std::size_t line = 0;          // from 1
    const Section* section = nullptr;  // where it stands; nullptr: the top level
    std::string reason;
};
struct ParsedProject {
    Project project;
    bool hasTaskPlan = false;  // a "Task Plan" line was found
    // Line numbers (from 1) of each row, in the order of the project's lists.
    std::vector<std::size_t> inputLines, replaceLines, outputLines, shellLines, sampledLines, readParamLines,
        factorLines;
    // Line numbers of each plan section's settings lines (0: missing).
    std::size_t monteCarloSettings[3] = {0, 0, 0};
    std::size_t dataFileSettings[3] = {0, 0, 0};
    std::size_t orthogonalSettings[2] = {0, 0};
    // The sampling section: its start marker, its method, correlation and
    // precision lines (0: none).
    std::size_t samplingStart = 0, samplingMethod = 0, samplingPrecision = 0;
    std::vector<std::size_t> correlationLines;
    std::vector<ProjectProblem> problems;
};
ParsedProject ReadProject(const std::vector<std::string>& lines);
// True for a line of the body: a section marker, or a line with the key of a
// row, a setting, the macro or the plan. The header is the first four lines
// up to the first such line.
bool IsBodyLine(const std::string& line);

// The project as the windows show it: ReadProject without its problems.
Project ParseProject(const std::vector<std::string>& lines);

// The keyed top-level line `key` + `value` put into `lines`: every line with
// that key is replaced; when there is none, the line is added where a new
// file has it (Macro after "<<Shell Task End>>", Task Plan after Macro), or
// at the end.
void SetKeyedLine(std::vector<std::string>& lines, const std::string& key, const std::string& value);
// Writes a project in the line order of a new file; the sampling section,
// when it is not the default, last.
std::vector<std::string> ProjectLines(const Project& project);

// Row lines, key included.
std::string InputRowLine(const InputTask& t);
std::string OutputRowLine(const OutputTask& t);
std::string ReplaceRowLine(const ReplaceTask& t);
std::string ShellRowLine(const ShellTask& t);
std::string SampledRowLine(const SampledVariable& v);
std::string ReadParamRowLine(const ReadParam& p);
std::string FactorRowLine(const TableFactor& f);
std::string CorrelationRowLine(const RankCorrelation& c);
std::string PrecisionRowLine(const PrecisionTarget& p);

// Reads an integer as the spreadsheet program's Val would, for "Excel Visible":
// the leading number rounded half to even; a non-numeric text reads as 0.
int ParseVisibleFlag(const std::string& value);

}  // namespace korvane

namespace korvane {

// The five header values that the main window holds in its own controls
// (workbook path, DB path, write mode, visibility, plan). The window binds to
// this; Save writes it into the working copy, a run reads it.
struct HeaderValues {
    std::string workbookPath;          // Exl_Brws_Text
    std::string dbPath;                // DB_Brws_Text
    bool optionOW = true;              // Option_OW
    bool optionAP = false;             // Option_AP
    int visible = 0;                   // Exl_Visbl_Check
    std::string plan = plan::Single;   // TaskCombo
};

}  // namespace korvane

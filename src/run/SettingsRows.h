#pragma once
// The rows of the settings windows and what their OK buttons write: the
// initial and restriction value windows, the current value window, and the
// settings of the Monte Carlo, orthogonal-table and data-file plans. Every
// grid lists each variable name once, in the order of the task rows; a name
// used by several task rows (one variable in several cells) is one row, and
// saving writes it into all of them.

#include <cstdint>
#include <string>
#include <vector>

#include "project/Project.h"
#include "run/MonteCarlo.h"

namespace korvane {

struct RunState;

inline constexpr const char* kRestartQuestion = "計算毎にエクセル再起動をすると計算に長時間を要します。よろしいですか？";

// The distinct input names, in input-task order.
std::vector<std::string> DistinctInputNames(const Project& project);

// ---------------------------------------------------------------- checks on OK

// A value cell that a window's OK refuses: the grid row, the caption of the
// cell's column, and the message naming the variable and the value.
struct ValueProblem {
    std::size_t row = 0;
    std::string column;
    std::string message;
};

// "変数[x]の下限値が数値ではありません: "1.2.3"" for a text that is not a
// number as a whole; "変数[x]の初期値が入力されていません。" for an empty one.
std::string NotNumberMessage(const std::string& name, const std::string& what, const std::string& text);
std::string MissingValueMessage(const std::string& name, const std::string& what);

// ---------------------------------------------------------------- initial and restriction values

struct ValueRow {
    std::string name;
    std::string lower, initial, upper;  // fields 3, 4 and 5 of the name's first row
    bool input = true;
};

// One row per distinct input name; with `withOutputs`, then one per output
// name not listed yet.
std::vector<ValueRow> ValueRows(const Project& project, bool withOutputs);

// The cells the window's OK refuses, in grid order: an initial value must be
// a number; a limit is empty (no limit) or a number.
std::vector<ValueProblem> CheckValueRows(const std::vector<ValueRow>& rows, bool restriction);

// Init_Value_Form's OK: field 4 of every input row of each listed name.
bool StoreInitialValues(std::vector<std::string>& lines, const std::vector<ValueRow>& rows, std::string& error);
// Restriction_Value_Form's OK: fields 3 and 5 of every input and output row
// of each listed name.
bool StoreRestrictionValues(std::vector<std::string>& lines, const std::vector<ValueRow>& rows, std::string& error);

// ---------------------------------------------------------------- current values

struct CurrentRow {
    std::string name;
    std::string lower, initial, current, upper;
    bool input = true;
    bool varied = false;  // named in a Monte Carlo or orthogonal-table row
};

// The inputs, then the outputs not listed yet, with their limits and field
// 4; the inputs' current values from the run state (by name).
std::vector<CurrentRow> CurrentValueRows(const Project& project, const RunState& state);

struct CurrentHeading {
    std::string caption;  // "現在値" after a Single run, else "最終値"
    std::int64_t counter = 0;
};
// After a repeating plan the counter names the last calculation whose values
// the run state holds: the last one of a finished run, the one in progress
// when the run was stopped; 0 before any run.
CurrentHeading CurrentValueHeading(const RunState& state);

// "データベース読込": the values of the data line whose first field (blanks
// trimmed) equals `counterText`, looked up in the last block of the DB file
// (the last run appended), column by name; a later matching line wins, and
// a name without a column keeps its value. False with a message when the
// file cannot be read.
bool LookUpCalculation(const std::string& dbPath, const std::string& counterText,
                       std::vector<CurrentRow>& rows, std::string& error);

// "現在値を初期値に設定": field 4 of every input row whose name has a
// non-empty current value.
bool StoreCurrentAsInitial(std::vector<std::string>& lines, const std::vector<CurrentRow>& rows,
                           std::string& error);

// ---------------------------------------------------------------- Monte Carlo settings

inline constexpr const char* kNoDistribution = "-";
inline constexpr const char* kNumOfCalcMessage = "計算回数は1以上を指定して下さい。";
inline constexpr const char* kSeedMissingMessage = "Seedが入力されていません。";

struct SamplingRow {
    std::string name;
    bool ticked = false;
    std::string distType = kNoDistribution, center, spread;
};

// One row per distinct input name, ticked and filled from the saved rows.
std::vector<SamplingRow> SamplingRows(const Project& project);

// The first incomplete ticked row, in grid order, as its message
// ("変数[x]の分布型が選択されていません。", ...); empty when all are complete.
std::string CheckSamplingRows(const std::vector<SamplingRow>& rows);

// After CheckSamplingRows: the ticked rows' centre and spread must be numbers.
std::vector<ValueProblem> CheckSamplingValues(const std::vector<SamplingRow>& rows);

// A number of calculations of at least 1.
bool NumOfCalcAccepted(const std::string& text);

// The section's settings lines and one row per ticked variable.
std::vector<std::string> MonteCarloSectionLines(const std::string& numOfCalc, bool restart, bool randomSeed,
                                                const std::string& seed, const std::vector<SamplingRow>& rows);

// The sampling settings under the rows: the method, the correlation rows and
// the precision target. OK checks them after the rows above.

// The output variables' names, each once, in output-task order.
std::vector<std::string> DistinctOutputNames(const Project& project);

// The names of the ticked rows, in grid order: the inputs a run samples.
std::vector<std::string> SampledNames(const std::vector<SamplingRow>& rows);

// Whether a run draws through a sample design: a method other than
// MonteCarlo, a distribution beyond "正規分布" and "一様分布", or a
// correlation. Plain draws take the older path, which accepts what it always
// accepted, so their parameters are not checked further.
bool UsesSampleDesign(const std::vector<SamplingRow>& rows, const SamplingSettings& settings);

// After CheckSamplingValues, for a run through a sample design: the first
// ticked row whose centre and spread make no distribution, with the reason
// after the variable's name; none when all do.
std::vector<ValueProblem> CheckDistributions(const std::vector<SamplingRow>& rows);

// The settings the window shows: correlation rows with every cell empty are
// left out, and so is a precision row with every cell empty.
SamplingSettings SettingsOfRows(const std::string& method, const std::vector<RankCorrelation>& correlations,
                                const PrecisionTarget& precision);

// The first problem of the settings, in the order the file checks them, then
// correlations that together are impossible (naming the pair that closes the
// contradiction); empty when there is none.
std::string CheckSamplingSettings(const SamplingSettings& settings, const std::vector<SamplingRow>& rows,
                                  const std::vector<std::string>& outputs);

// ---------------------------------------------------------------- orthogonal table settings

struct FactorRow {
    std::string name;
    bool ticked = false;
    std::string lower, middle, upper;
};

std::vector<FactorRow> FactorRows(const Project& project);

// A ticked factor needs a number in "下方値" and in "上方値".
std::vector<ValueProblem> CheckFactorRows(const std::vector<FactorRow>& rows);

std::vector<std::string> OrthogonalSectionLines(const std::string& level, bool restart,
                                                const std::vector<FactorRow>& rows);

// ---------------------------------------------------------------- data file settings

// The saved assignment: the variable name of each data column (from 0),
// empty for a column without one.
std::vector<std::string> AssignedColumns(const DataFileInputSettings& settings);

// "Auto": the input variables in order take data columns 0, 1, 2, ...;
// only as many as there are columns.
std::vector<std::string> AutoAssignment(const std::vector<std::string>& names, std::size_t columns);

// What ReadRow_Text shows for the saved text: its numeric value, "2" for 0
// or nothing.
std::string ReadRowShown(const std::string& saved);

std::vector<std::string> DataFileSectionLines(const std::string& path, const std::string& readRow, bool restart,
                                              const std::vector<std::string>& assigned);

}  // namespace korvane

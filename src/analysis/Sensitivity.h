#pragma once
// Sensitivity of every output to every input, from the calculations of a DB
// file: the least-squares slope b of the output over the input, times the
// input's full range, gives s, the change of the output that the first-order
// fit predicts across the input. Per output the |s| are normalised to the
// largest; the outputs marked as objectives add up to a total per input.
// One pass over the file for all pairs. The sums are taken about the running
// means, so inputs far from zero (a year, a part number) keep their digits;
// an output that does not vary has no sensitivities (shown as "-").

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/DataLineScan.h"

namespace korvane {

inline constexpr const char* kTotalTitle = "<総合感度>";
inline constexpr const char* kObjectiveTitle = "<Obj.>";
inline constexpr const char* kNoObjective = "-";
inline constexpr const char* kMaximise = "最大化";
inline constexpr const char* kMinimise = "最小化";

struct SensitivityResult {
    std::vector<std::string> inputs, outputs;   // names, in file order
    std::vector<std::size_t> inputFields;       // DB field of each input
    std::vector<int> outputFields;              // DB field of each output (-1: not found)
    std::vector<std::vector<double>> change;    // s per [input][output]
    std::int64_t used = 0;
    std::int64_t skipped = 0;
    bool complete = false;
    bool stopped = false;
    std::string error;
    std::vector<bool> constantOutput;           // the output has one value in every used line
    std::int64_t unreadable = 0;                // lines with a number that cannot be read
};

inline constexpr const char* kConstantOutput = "-";

// The inputs and outputs of a header, from its kind line.
void SensitivityColumns(const DbHeader& header, SensitivityResult& result);

// One pass over the file. False when it cannot be read or was stopped.
bool ComputeSensitivity(const std::string& path, bool includeInvalid, const ProgressFn& progress,
                        SensitivityResult& result);

// s from the sums of squared deviations of x (sxx) and of the products of
// the deviations of x and y (sxy), both about their means: the slope
// sxy / sxx times the input's range; 0 when the input does not vary.
double SlopeChange(double sxx, double sxy, double xmin, double xmax);

// The result table (the window's grid, saved as displayed): row 0 the output
// names and "<総合感度>", row 1 "<Obj.>" and each output's objective, then
// one row per input.
class SensitivityTable {
public:
    SensitivityTable() = default;
    explicit SensitivityTable(const SensitivityResult& columns);

    std::size_t rowCount() const { return cells_.size(); }
    std::size_t columnCount() const { return cells_.empty() ? 0 : cells_[0].size(); }
    std::size_t outputCount() const { return columnCount() >= 2 ? columnCount() - 2 : 0; }
    const std::string& text(std::size_t row, std::size_t column) const { return cells_[row][column]; }
    // Cells whose normalised value reads as exactly 1.
    bool highlighted(std::size_t row, std::size_t column) const { return marks_[row][column]; }
    const std::vector<std::vector<std::string>>& rows() const { return cells_; }

    // Writes |s| of every pair, then normalises each output column: each
    // value over the column's largest, "0.00000"; a column whose values are
    // all 0 keeps them as they are; an output that does not vary shows "-".
    void fill(const SensitivityResult& result);
    // Sets the objective text ("-", "最大化", "最小化") of output column
    // `column` (1 to outputCount()) and recomputes the total column.
    void setObjective(std::size_t column, const std::string& objective);
    // The total column: the sum of the normalised values of the outputs
    // marked "最大化" or "最小化", over its largest; empty with no objective,
    // and 0 for every input when all those sums are 0.
    void sumSensitivity();

    // The values of one column over rows `first` to the last, read as
    // numbers (the profile chart).
    std::vector<double> columnValues(std::size_t column, std::size_t first) const;

private:
    std::vector<std::vector<std::string>> cells_;
    std::vector<std::vector<bool>> marks_;
};

}  // namespace korvane

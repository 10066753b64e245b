#pragma once
// Factorial effects of an orthogonal-array run: for every output the mean of
// the output at each level (H, M, L) of each input factor, in decibels
// (10 log10 of the squared mean), for the main-effect plot.

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/ChartFrame.h"

namespace korvane {

inline constexpr const char* kTooManyLinesMessage = "不正なデータです。";
// The table holds at most this many data lines (the largest array has 128
// rows); more stop the reading with the message above.
inline constexpr std::size_t kMaxEffectLines = 197;
inline constexpr const char* kMissingLevel = "-";

// The data table (the window's TableGrid1): row 0 the names ("水準/変数名"
// and the columns without the verdict), rows 1-3 the levels H, M, L of the
// inputs (largest, middle when it occurs, smallest) and largest, average,
// smallest of the outputs, then one row per data line, all fields as text.
struct EffectsTable {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> inputs, outputs;
    std::vector<std::size_t> inputColumns, outputColumns;  // table columns
    std::size_t dataLines = 0;
    bool truncated = false;     // more lines than the table holds
    std::int64_t skipped = 0;   // lines that did not fit the header
    std::int64_t unreadable = 0;  // lines with a number that cannot be read
};

// Reads the file (every data line, valid or not). False with a message when
// it cannot be read or has no input or output column.
bool ReadEffectsTable(const std::string& path, EffectsTable& table, std::string& error);

// The level values of one factor for one output, as shown: the level mean in
// decibels with 6 decimals, or "-" for a level the factor does not have, a
// level that no data line matches, or a mean of 0 (no logarithm).
struct FactorLevels {
    std::string factor;
    std::string high, middle, low;
};
// `output` is an index into table.outputs; `factor` an input name (the last
// input of that name).
FactorLevels LevelValues(const EffectsTable& table, std::size_t output, const std::string& factor);
// The decibel value of a level mean: 10 log10(mean²).
double Decibels(double mean);

// The effects table of one output (the window's CellsGrid, and the
// command line's block): "水準/感度" and the factors, then the rows
// "水準(H)", "水準(M)", "水準(L)".
std::vector<std::vector<std::string>> EffectsGridRows(const std::vector<FactorLevels>& factors);

// The range over the shown level values ("-" left out); none when all are "-".
RunningRange LevelRange(const std::vector<FactorLevels>& factors);

// One factor's group on the plot, at x = 3(slot - 1) + 1, + 2, + 3 for L, M, H
// (slot 1 to 6). Points of levels shown as "-" are absent; the marker is at
// the level with the largest value (H before M before L on equal values).
struct EffectGroup {
    bool present[3] = {false, false, false};  // L, M, H
    double x[3] = {0, 0, 0};
    double y[3] = {0, 0, 0};
    int marker = -1;  // 0 L, 1 M, 2 H; -1 without any point
};
EffectGroup PlotGroup(int slot, const FactorLevels& levels);

}  // namespace korvane

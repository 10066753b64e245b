#pragma once
// The output table of the scroll window, transposed: eight columns, each
// showing one output by name with its upper limit, current value and lower
// limit ("0.000e+00" texts), and the scroll plot drawn from it: every output
// on a common scale where its lower limit lies at -1, the middle of its
// limits at 0 and its upper limit at +1, with the highest and lowest value
// each output reached since the last reset (peak hold).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct RunState;

struct ScrollOutputColumn {
    std::string name;     // row 0; empty: the column is unused
    std::string upper;    // row 1 "Uppr"
    std::string current;  // row 2 "Crnt"
    std::string lower;    // row 3 "Lwr"
    double value = 0;     // the current value as read, unrounded
    double peakHigh = 0, peakLow = 0;

    // The current value and both limits are shown: the column is plotted.
    bool plotted() const { return !upper.empty() && !current.empty() && !lower.empty(); }
};

// The chart texts of the table: a number in the "0.000e+00" form; a text that
// is not a number as it is (an empty text stays empty).
std::string OutputCellText(const std::string& text);
// A limit cell whose edit was given up (Escape): the text it had, a number
// written in the "0.000e+000" form; a text that is not a number as it is.
std::string RestoredLimitText(const std::string& backup);

class ScrollOutputs {
public:
    static constexpr int kColumns = 8;

    // Column c, 1 to 8.
    ScrollOutputColumn& column(int c) { return columns_.at(static_cast<std::size_t>(c - 1)); }
    const ScrollOutputColumn& column(int c) const { return columns_.at(static_cast<std::size_t>(c - 1)); }

    // The first eight outputs of `state` fill the columns with their names
    // and limits.
    void Param_NM_to_Grid(const RunState& state);

    // After a calculation: every named column shows the current value of the
    // first output of its name; an empty limit takes that output's limit.
    // With `updatePeaks` the peaks follow the new values.
    void Output_to_Grid(const RunState& state, bool updatePeaks);
    // Then every column with a value and a missing limit gets the range
    // [0, 2v] ([2v, 0] for v < 0), and keeps it afterwards.
    void UL_Calc();

    // The chooser of a column's output: an empty name empties the column; a
    // different name drops the limits of the previous output, so the next
    // calculation shows the new one's.
    void chooseOutput(int c, const std::string& name);

    // A typed limit for row 1 (upper) or 3 (lower) of column c. A limit that
    // would not stay above (below) the other one is refused: false, with the
    // message for the user in `message`, and the cell keeps its value.
    bool editLimit(int c, int row, const std::string& typed, std::string& message);

    // Both peaks of every column become its current value.
    void Clear_Peak();

    // Normalised height of a value in column c: -1 at its lower limit, +1 at
    // its upper limit, 0 when the limits are equal.
    double normalised(int c, double v) const;
    // The value of column c at a normalised height (the pointer read-out).
    double valueAtHeight(int c, double y) const;

private:
    std::array<ScrollOutputColumn, kColumns> columns_{};
};

// ---------------------------------------------------------------- the plot

// The world frame of the plot: column c is drawn at x = c - 0.5.
struct PlotFrame {
    static constexpr double left = -0.5, top = 1.2, right = 8.5, bottom = -1.2;
};

// One drawing of the plot: a circle (x1, y1, radius) or a line.
struct PlotMark {
    enum class Kind { Circle, Line } kind;
    double x1, y1, x2, y2;  // a circle's radius is in x2
    std::uint32_t rgb;      // 0xRRGGBB
};

namespace plotcolour {
inline constexpr std::uint32_t Middle = 0xFF8080;   // y = 0
inline constexpr std::uint32_t Limit = 0xC0C0FF;    // y = +1 and -1
inline constexpr std::uint32_t Peak = 0x8080FF;     // peak hold
inline constexpr std::uint32_t Current = 0xFF0000;  // the outputs
inline constexpr std::uint32_t Profile = 0xFF00FF;  // lines between them
}  // namespace plotcolour

// The reference lines at 0 (light red) and at +1 and -1 (light blue).
std::vector<PlotMark> ReferenceMarks();
// The profile of the current values: a circle per plotted column joined by
// lines to the previous column, and with `peakHold` the peaks joined alike.
std::vector<PlotMark> ProfileMarks(const ScrollOutputs& outputs, bool peakHold);

// The column whose position lies within 0.3 of the pointer's x, if any.
std::optional<int> PointerColumn(double x);
// The read-out of column c at a normalised height y: the value of its output
// there, "0.000e+00"; empty when the column shows no output.
std::string PointerReadout(const ScrollOutputs& outputs, int c, double y);

}  // namespace korvane

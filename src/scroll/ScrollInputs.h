#pragma once
// The input table of the scroll window: one row per distinct input name with
// the lower end, current value and upper end of its scroll bar, all number
// texts. The bar has 101 positions; position p stands for
// Lwr + (Upr - Lwr) * p / 100.

#include <optional>
#include <string>
#include <vector>

namespace korvane {

struct Project;
struct RunState;

struct ScrollInputRow {
    std::string name;
    std::string lower;    // "下方値"
    std::string current;  // "現在値"
    std::string upper;    // "上方値"
};

// The rows of a project, in the order of its input tasks, one per name (the
// first task of a name gives the row). A variable sampled in the MonteCarlo
// settings starts at the centre of its distribution, with the ends c -/+ s
// for "一様分布" and c -/+ 3.1 s for "正規分布". A missing end lies 1 below or
// above the current value. Ends that are crossed or leave the current value
// outside are widened, so that the bar can show the value it calculates with.
std::vector<ScrollInputRow> ScrollInputRows(const Project& project);

// The bar position of a row, 0 to 100 (nearest, halves to even); empty when
// a text is missing or the ends are equal (the bar is then disabled).
std::optional<int> BarPosition(const ScrollInputRow& row);

// The current value text of a bar position: Lwr + (Upr - Lwr) * p / 100.
std::string ValueAtPosition(const ScrollInputRow& row, int position);

// An edit of the table typed into a cell; `typed` is read as a number.
//  - the lower end: above the current value it becomes the current value;
//  - the upper end: below the current value it becomes the current value;
//  - the current value: kept exactly, or clamped to the nearer end.
enum class InputColumn { Lower = 1, Current = 2, Upper = 3 };
void ApplyInputEdit(ScrollInputRow& row, InputColumn column, const std::string& typed);

// Every input variable whose name is a row's name takes the row's current
// value (read as a number and printed back).
void Store_Fig_Scroll(const std::vector<ScrollInputRow>& rows, RunState& state);

// The working copy's lines with the initial value of every " Input Pram."
// row named like a table row replaced by that row's current value; every
// other field and line unchanged.
std::vector<std::string> LinesWithInitialValues(const std::vector<std::string>& lines,
                                                const std::vector<ScrollInputRow>& rows);

}  // namespace korvane

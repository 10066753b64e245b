#pragma once
// The calculation flow as the exe grid shows it: six marker rows, one per
// step of a calculation, with the external programs placed between them by
// timing. A program's timing is the step number of the nearest marker above
// it (0 above the first marker). Moving a row across a marker changes its
// timing; saving turns the rows back into " App." lines.

#include <array>
#include <string>
#include <vector>

#include "project/Project.h"

namespace korvane {

// The six steps of every calculation, in order (step k at index k - 1).
inline constexpr std::array<const char*, 6> kFlowMarkers = {
    "<初期値代入>", "<変数値代入>", "<エクセル入力>", "<マクロ実行>", "<エクセル読込>", "<DB出力>"};
// What a marker row holds in columns 0 and 2.
inline constexpr const char* kFlowDashes0 = "-------------";                                     // 13
inline constexpr const char* kFlowDashes2 = "------------------------------------------------";  // 48

// One grid row: a marker row or a program row.
struct ExeRow {
    std::string name;  // column 0: the program's file name, or the 13 hyphens
    std::string args;  // column 1: argument text, or the marker
    std::string path;  // column 2: the program's path, or the 48 hyphens
    bool operator==(const ExeRow&) const = default;
};

// The rows below the header, top to bottom (index 0 is grid row 1).
using ExeGrid = std::vector<ExeRow>;

ExeRow MarkerRow(int step);
// 1 to 6 when column 1 holds a marker, else 0.
int MarkerStep(const ExeRow& row);
inline bool IsMarkerRow(const ExeRow& row) { return MarkerStep(row) != 0; }
// True for a cell text that the grid draws in the marker style.
bool IsFlowCellText(const std::string& text);

// The grid for the shell tasks in file order: the six markers, each program
// directly above the marker of the step that follows its timing, after the
// programs already placed there. Timing 6 goes to the end. A timing that is
// not a digit from 0 to 6 (never written by the program) also goes to the
// end, so the row stays visible rather than being dropped.
ExeGrid BuildExeGrid(const std::vector<ShellTask>& tasks);

// The " App." lines of the grid (key included), in grid order, each with the
// timing of the marker above it. Marker rows and wholly empty rows are not
// written.
std::vector<std::string> ExeGridShellLines(const ExeGrid& grid);

// The timing each row would be saved with (marker rows: their own step).
std::vector<int> ExeGridTimings(const ExeGrid& grid);

// Up/Down: swaps the program row at `current` (0-based) with its neighbour and
// moves `current` with it. Refused (false, nothing changed) for a marker row,
// the first row going up, the last row going down, or an index out of range.
bool MoveExeRow(ExeGrid& grid, int& current, int direction);

}  // namespace korvane

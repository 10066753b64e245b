#pragma once
// The orthogonal-table plan's pure part: cutting the shipped array down to the
// number of factors, the record of a run's rows ("OTtmp.dat"), the level values
// of each calculation, and the settings window's table preview.
//
// An array file holds one array row per line; character j of a line is the
// level of column j: "L" (lower), "M" (middle) or "H" (upper).

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

struct RunState;

inline constexpr const char* kTwoLevels = "2水準";
inline constexpr const char* kThreeLevels = "3水準";
inline constexpr const char* kTwoLevelFactorMessage = "2水準での因子数は最大127個までです。";
inline constexpr const char* kThreeLevelFactorMessage = "3水準での因子数は最大49個までです。";
// The record of the rows a run calculates, in the application folder.
inline constexpr const char* kTableRecordFile = "OTtmp.dat";

struct ArrayFile {
    const char* fileName;  // in the application folder
    int rows;
    int columns;  // the most factors the array takes
    int levels;  // 2 or 3
};
inline constexpr ArrayFile kTwoLevelArray{"OT_L128-2-127.dat", 128, 127, 2};
inline constexpr ArrayFile kThreeLevelArray{"OT_L108-3-49.dat", 108, 49, 3};

// The array of a level setting; null for a text that is neither "2水準" nor "3水準".
const ArrayFile* ArrayFileFor(const std::string& level);

// The first `factors` characters of every line of the level's array file,
// repeats dropped, in file order: the rows of the design, one calculation
// each. No factor gives no rows. False with a message naming the file when it
// is missing or unreadable, or naming the level when it is unknown.
bool CutArray(const std::string& level, std::int64_t factors, const std::string& appFolder,
              std::vector<std::string>& rows, std::string& error);

// The plan's state during a run.
struct OrthogonalRun {
    std::int64_t FactorCount = 0;
    std::vector<std::string> TableRows;  // row r drives calculation r + 1
};

// Ticked variables, a name shared by several input tasks counted once (it is
// one factor, written into several cells).
std::int64_t CountFactors(const RunState& state);
// Their names, in input-task order: factor f takes column f of the array.
std::vector<std::string> FactorNames(const RunState& state);

// Empty when the level's array has a column for every factor (or the level is
// unknown, which CutArray reports); otherwise kTwoLevelFactorMessage or
// kThreeLevelFactorMessage followed by the names of the factors that find no
// column, which a run would leave at their initial values.
std::string FactorsBeyondArrayMessage(const std::string& level, const std::vector<std::string>& factors);

// Before the loop: FactorCount, TableRows = CutArray(LevelChoice, FactorCount),
// the rows written to "OTtmp.dat" in the application folder, CalcTotal = the
// number of rows as text.
bool PrepareOrthogonalTable(RunState& state, const std::string& appFolder, OrthogonalRun& run,
                            std::string& error);

// The level values of calculation CalcCount: the f-th distinct ticked name (in
// input-task order) takes column f of its row: "L" the lower value, "H" the
// upper, "M" their mean; any other character, or none, leaves the value as it
// is. A later input task with an earlier one's name copies that one's value.
void AssignLevels(RunState& state, const OrthogonalRun& run);

// ------------------------------------------------------------ settings window

// The preview rows for `factors` ticked rows at a level setting. Refuses with
// kTwoLevelFactorMessage / kThreeLevelFactorMessage when the array has too few
// columns; otherwise as CutArray.
bool MakeTablePreview(const std::string& level, std::int64_t factors, const std::string& appFolder,
                      std::vector<std::string>& rows, std::string& error);

// The preview's corner cell: "<L8>" for 8 rows.
std::string TableCornerText(std::size_t rows);

// Background of a level cell as 0xRRGGBB: "L" FFFFC0, "M" C0C0FF, "H" FFC0FF;
// white for anything else.
std::uint32_t LevelCellColour(char level);

// "中間値" after "下方値" or "上方値" was edited: the mean of the two as a number
// text when both are filled, empty when only one is, `current` when neither is.
std::string MiddleValueText(const std::string& lower, const std::string& upper, const std::string& current);

}  // namespace korvane

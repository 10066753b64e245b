#pragma once
// Cell references: a task's cell is stored as a sheet name and an address in
// letters-and-digits form (B12); before the first calculation of a run the
// address is turned into a numeric row and column, by which the steps address
// the cell. Macros are run by a reference built from the workbook path.

#include <cstdint>
#include <string>

namespace korvane {

struct RunState;

struct CellRef {
    std::string sheet, address;
    std::int64_t row = 0;
    std::int32_t column = 0;
};

// Digits of the address, wherever they stand, give the row; every other
// character goes to the column letters (B1C2 -> letters BC, digits 12).
// Nothing is refused: no digits give row 0, no letters give column 0.
void SplitAddress(const std::string& address, std::int64_t& row, std::int32_t& column);

// A = 1, Z = 26, AA = 27, XFD = 16384; lower case as upper case. A character
// that is not a letter adds its code minus 64 like a letter ("$" adds -28), so
// addresses must be stored without dollar signs.
std::int32_t ColumnFromLetters(const std::string& letters);

// 'C:\work\model.xls'!Calc1 for the path C:\work\model.xls and the macro Calc1.
std::string MacroReference(const std::string& workbookPath, const std::string& macroName);

// A CellRef with its row and column worked out from the address.
CellRef MakeCellRef(const std::string& sheet, const std::string& address);

// Fills InputRows/InputColumns and OutputRows/OutputColumns of the run state
// from InputAddresses/OutputAddresses (indexed from 1, element 0 unused).
// Called once per run by the plans before the first calculation.
void ResolveAllReferences(RunState& state);

}  // namespace korvane

#pragma once
// What the two halves of the workbook check share: WorkbookCheck.cpp (error
// cells and modules) and StoredValueCheck.cpp (the values Excel stored).
// Private to those two files.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "workbook/WorkbookCheck.h"

namespace korvane::check {

std::string Join(const std::vector<std::string>& parts, const std::string& separator);

// Sheet!B2.
std::string CellLabel(const CellRef& c);

// The functions each module defines (upper case), by module label.
std::map<std::string, std::set<std::string>> ModuleFunctions(const std::vector<MacroModule>& modules);

// A cell as a map key.
std::string Key(const CellRef& c);

// The findings of the comparison with the values Excel stored; `differing`
// gets the cells listed as differing (StoredValueCheck.cpp).
std::vector<CheckFinding> StoredValueFindings(const CheckInput& in, std::set<std::string>& differing);

}  // namespace korvane::check

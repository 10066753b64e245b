#pragma once
// X/Y graphs: any column of a DB file against any other. The verdict column
// reads as 1 (valid) or 0 ("False"); every other field by CsvNumber.

#include <functional>
#include <string>

#include "analysis/ChartFrame.h"
#include "analysis/DataLineScan.h"

namespace korvane {

struct XYPoint {
    double x, y;
    bool valid;
};

struct XYScan {
    int xField = -1, yField = -1;  // by name in the names line, the last match wins
    RunningRange x, y;             // over the lines taken
    std::int64_t points = 0;
    std::int64_t skipped = 0;
    std::int64_t unreadable = 0;  // lines with a value that cannot be read
};

// Reads the file once: finds the two columns by name and calls `point` (when
// given) for every data line, leaving out invalid lines when `hideInvalid`.
// The ranges cover the lines taken. False with a message when the file
// cannot be read or a name is not a column.
bool ScanXY(const std::string& path, const std::string& xName, const std::string& yName, bool hideInvalid,
            const std::function<void(const XYPoint&)>& point, XYScan& scan, std::string& error);

// The graph's frame: both ranges widened by their margins.
inline ChartFrame XYFrame(const XYScan& s) { return XYFrame(s.x.lo, s.x.hi, s.y.lo, s.y.hi); }

}  // namespace korvane

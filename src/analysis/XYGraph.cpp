#include "analysis/XYGraph.h"

#include <vector>

namespace korvane {

bool ScanXY(const std::string& path, const std::string& xName, const std::string& yName, bool hideInvalid,
            const std::function<void(const XYPoint&)>& point, XYScan& result, std::string& error) {
    result = XYScan{};
    DataLineScan scan;
    if (!scan.open(path, true, error)) return false;
    const DbHeader& header = scan.header();
    result.xField = header.findLastColumn(xName);
    result.yField = header.findLastColumn(yName);
    for (const auto* name : {&xName, &yName}) {
        if (header.findLastColumn(*name) < 0) {
            error = "DBファイルに列「" + *name + "」がありません: " + path;
            return false;
        }
    }
    const std::size_t last = header.names.size() - 1;
    const auto xf = static_cast<std::size_t>(result.xField);
    const auto yf = static_cast<std::size_t>(result.yField);
    std::vector<std::size_t> numbers;
    for (std::size_t f : {xf, yf})
        if (f != last) numbers.push_back(f);
    scan.readNumbers(numbers);
    auto value = [last, &scan](const DbReader::Line& line, std::size_t field) {
        if (field == last) return line.valid ? 1.0 : 0.0;
        return scan.value(field);
    };
    DbReader::Line line;
    while (scan.next(line)) {
        if (hideInvalid && !line.valid) continue;
        const XYPoint p{value(line, xf), value(line, yf), line.valid};
        result.x.take(p.x);
        result.y.take(p.y);
        ++result.points;
        if (point) point(p);
    }
    result.skipped = scan.skipped();
    result.unreadable = scan.unreadable();
    if (!scan.error().empty()) {
        error = scan.error();
        return false;
    }
    return true;
}

}  // namespace korvane

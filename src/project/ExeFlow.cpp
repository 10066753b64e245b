#include "project/ExeFlow.h"

#include "project/Paths.h"

namespace korvane {

ExeRow MarkerRow(int step) { return {kFlowDashes0, kFlowMarkers.at(static_cast<std::size_t>(step - 1)), kFlowDashes2}; }

int MarkerStep(const ExeRow& row) {
    for (std::size_t k = 0; k < kFlowMarkers.size(); ++k)
        if (row.args == kFlowMarkers[k]) return static_cast<int>(k) + 1;
    return 0;
}

bool IsFlowCellText(const std::string& text) {
    if (text == kFlowDashes0 || text == kFlowDashes2) return true;
    for (const char* m : kFlowMarkers)
        if (text == m) return true;
    return false;
}

ExeGrid BuildExeGrid(const std::vector<ShellTask>& tasks) {
    ExeGrid grid;
    for (int step = 1; step <= 6; ++step) grid.push_back(MarkerRow(step));
    for (const ShellTask& t : tasks) {
        // The anchor is the marker of the step after the timing; timing 6
        // (and anything that is not a timing) anchors at the end.
        int anchor = 0;
        if (t.timing.size() == 1 && t.timing[0] >= '0' && t.timing[0] <= '5') anchor = t.timing[0] - '0' + 1;
        grid.push_back({});
        std::size_t r = grid.size() - 1;
        if (anchor != 0) {
            // Walk up from the new last row, shifting rows down, until the
            // anchor marker is reached; the program takes its place.
            while (r > 0 && grid[r].args != kFlowMarkers[static_cast<std::size_t>(anchor - 1)]) {
                grid[r] = grid[r - 1];
                --r;
            }
        }
        grid[r] = {PathPart(t.path, 1), t.arguments, t.path};
    }
    return grid;
}

std::vector<int> ExeGridTimings(const ExeGrid& grid) {
    std::vector<int> timings;
    int timing = 0;
    for (const ExeRow& row : grid) {
        if (int step = MarkerStep(row)) timing = step;
        timings.push_back(timing);
    }
    return timings;
}

std::vector<std::string> ExeGridShellLines(const ExeGrid& grid) {
    std::vector<std::string> lines;
    const std::vector<int> timings = ExeGridTimings(grid);
    for (std::size_t i = 0; i < grid.size(); ++i) {
        const ExeRow& row = grid[i];
        if (row.name == kFlowDashes0 || IsMarkerRow(row)) continue;
        if (row.name.empty() && row.args.empty() && row.path.empty()) continue;
        lines.push_back(std::string(key::App) + row.path + "," + std::to_string(timings[i]) + "," + row.args);
    }
    return lines;
}

bool MoveExeRow(ExeGrid& grid, int& current, int direction) {
    if (current < 0 || current >= static_cast<int>(grid.size())) return false;
    if (IsMarkerRow(grid[static_cast<std::size_t>(current)])) return false;
    int other = current + (direction < 0 ? -1 : 1);
    if (other < 0 || other >= static_cast<int>(grid.size())) return false;
    std::swap(grid[static_cast<std::size_t>(current)], grid[static_cast<std::size_t>(other)]);
    current = other;
    return true;
}

}  // namespace korvane

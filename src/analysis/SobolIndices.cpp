#include "analysis/SobolIndices.h"

namespace korvane {

bool ComputeSobolIndices(const std::string& path, const SobolOptions& options, const ProgressFn& progress,
                         SobolResult& result) {
    (void)path;
    (void)options;
    (void)progress;
    result = SobolResult{};
    result.error = "not yet";
    return false;
}

std::string SobolFigure(double value) {
    (void)value;
    return "-";
}

std::vector<std::string> SobolNotes(const SobolResult&) { return {}; }

std::vector<std::vector<std::string>> SobolTable(const SobolResult&) { return {}; }

}  // namespace korvane

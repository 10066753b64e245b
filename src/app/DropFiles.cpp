#include "DropFiles.h"

namespace korvane {

namespace {
bool EndsWith(const std::string& s, const char* ending) {
    const std::string e(ending);
    return s.size() >= e.size() && s.compare(s.size() - e.size(), e.size(), e) == 0;
}
}  // namespace

DroppedFileKind ClassifyDroppedFile(const std::string& path) {
    if (EndsWith(path, ".tolv")) return DroppedFileKind::Project;
    for (const char* e : {".xls", ".xlsx", ".xlsm", ".xlsb"})
        if (EndsWith(path, e)) return DroppedFileKind::Workbook;
    if (EndsWith(path, ".csv")) return DroppedFileKind::Database;
    return DroppedFileKind::Ignored;
}

}  // namespace korvane

#pragma once
// What the main window does with a file dropped on it, decided by the file's
// ending alone (compared exactly: ".XLS" is not a workbook). Plain C++, so the
// rule is testable without widgets.

#include <string>

namespace korvane {

enum class DroppedFileKind { Project, Workbook, Database, Ignored };

DroppedFileKind ClassifyDroppedFile(const std::string& path);

inline constexpr const char* kReplaceWorkbookQuestion = "現在のエクセルファイルを置き換えますか？";
inline constexpr const char* kReplaceDatabaseQuestion = "現在のデータベースファイルを置き換えますか？";

}  // namespace korvane

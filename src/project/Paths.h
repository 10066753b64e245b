#pragma once
// Path helpers shared by the whole program. Stored paths may be relative to
// the application folder: a first character "\" (but not "\\") means so.

#include <string>

namespace korvane {

class UserInterface;

// A path whose first character is "\" and whose first two are not "\\" is
// taken relative to the application folder, with "\" read as "/". Any other
// path is returned unchanged. A relative path that climbs out of the folder
// ("\..\x", "\a\..\..\x") names no file: the result is empty.
std::string ResolveAppRelative(const std::string& path);
std::string ResolveAppRelative(const std::string& path, const std::string& appFolder);
// True for such a path (its message can then say why it names nothing).
bool ClimbsOutOfAppFolder(const std::string& path);
inline constexpr const char* kClimbsOutMessage =
    "\\ で始まるアドレスはアプリケーションフォルダの中だけを指せます (\\..\\ で外に出ることはできません)。";

// The inverse, for storing a chosen path: a path inside the application folder
// becomes "\" + the rest with "\" separators; any other path is unchanged.
std::string StoreAppRelative(const std::string& path, const std::string& appFolder);

// False for an empty path or one holding "*", "?" or a NUL character;
// otherwise true exactly when the path names an existing plain file (not a
// folder, FIFO or device).
bool FileExists(const std::string& path);

// The same file on disk: one path names the other through links, or both
// name one inode (hard links). A path that does not exist yet is compared by
// its canonical form.
bool SameFile(const std::string& a, const std::string& b);

// The plain check: FileExists after ResolveAppRelative, no message.
bool CheckPath(const std::string& path);
// The named checks: as CheckPath, and on false they show their message.
bool CheckProjectPath(const std::string& path, UserInterface& ui);
bool CheckExcelPath(const std::string& path, UserInterface& ui);
bool CheckExePath(const std::string& path, UserInterface& ui);
bool CheckDbPath(const std::string& path, UserInterface& ui);

inline constexpr const char* kProjectPathMessage = "tolvファイルのアドレスを確認して下さい。";
inline constexpr const char* kExcelPathMessage = "エクセルファイルのアドレスを確認して下さい。";
inline constexpr const char* kExePathMessage = "実行ファイルのアドレスを確認して下さい。";
inline constexpr const char* kDbPathMessage = "データベースファイルのアドレスを確認して下さい。";

// Splits a path at every "\" or "/". Mode 1: the last piece (the file name);
// mode 2: everything before the last separator; mode 3: the same with the
// separator; any other mode: empty text.
std::string PathPart(const std::string& path, int mode);

}  // namespace korvane

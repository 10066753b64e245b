#include "project/Paths.h"

#include <sys/stat.h>

#include <filesystem>
#include <string_view>

#include "platform/AppFolder.h"
#include "platform/UserInterface.h"

namespace korvane {

std::string ResolveAppRelative(const std::string& path) {
    return ResolveAppRelative(path, AppFolder());
}

std::string ResolveAppRelative(const std::string& path, const std::string& appFolder) {
    if (path.empty() || path[0] != '\\' || (path.size() > 1 && path[1] == '\\')) return path;
    std::string rest = path;
    for (char& c : rest)
        if (c == '\\') c = '/';
    // A stored path stays inside the folder: "\..\..\.bashrc" in a project
    // must not reach the user's files.
    int depth = 0;
    for (std::size_t begin = 1; begin <= rest.size();) {
        std::size_t end = rest.find('/', begin);
        if (end == std::string::npos) end = rest.size();
        const std::string_view part(rest.data() + begin, end - begin);
        if (part == "..") {
            if (--depth < 0) return {};
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
        begin = end + 1;
    }
    return appFolder + rest;
}

bool ClimbsOutOfAppFolder(const std::string& path) {
    return !path.empty() && ResolveAppRelative(path, "/").empty();
}

std::string StoreAppRelative(const std::string& path, const std::string& appFolder) {
    std::string prefix = appFolder + "/";
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) return path;
    std::string rest = path.substr(prefix.size() - 1);
    for (char& c : rest)
        if (c == '/') c = '\\';
    return rest;
}

bool FileExists(const std::string& path) {
    // A NUL would cut the path short at the system call: another file.
    if (path.empty() || path.find('\0') != std::string::npos || path.find_first_of("*?") != std::string::npos)
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    // Only plain files: a folder is none, and reading a FIFO or a device
    // (/dev/zero) would block or never end.
    return S_ISREG(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    struct stat sa {}, sb {};
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    const auto ca = std::filesystem::weakly_canonical(a, ec);
    if (ec) return false;
    const auto cb = std::filesystem::weakly_canonical(b, ec);
    return !ec && ca == cb;
}

bool CheckPath(const std::string& path) { return FileExists(ResolveAppRelative(path)); }

namespace {
bool CheckWithMessage(const std::string& path, UserInterface& ui, const char* message) {
    if (CheckPath(path)) return true;
    ui.showMessage(message);
    return false;
}
}  // namespace

bool CheckProjectPath(const std::string& path, UserInterface& ui) {
    return CheckWithMessage(path, ui, kProjectPathMessage);
}
bool CheckExcelPath(const std::string& path, UserInterface& ui) {
    return CheckWithMessage(path, ui, kExcelPathMessage);
}
bool CheckExePath(const std::string& path, UserInterface& ui) {
    return CheckWithMessage(path, ui, kExePathMessage);
}
bool CheckDbPath(const std::string& path, UserInterface& ui) {
    return CheckWithMessage(path, ui, kDbPathMessage);
}

std::string PathPart(const std::string& path, int mode) {
    auto sep = path.find_last_of("\\/");
    switch (mode) {
    case 1:
        return sep == std::string::npos ? path : path.substr(sep + 1);
    case 2:
        return sep == std::string::npos ? std::string() : path.substr(0, sep);
    case 3:
        return sep == std::string::npos ? std::string() : path.substr(0, sep + 1);
    default:
        return {};
    }
}

}  // namespace korvane

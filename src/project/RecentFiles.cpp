#include "project/RecentFiles.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/TextFile.h"
#include "platform/UserInterface.h"
#include "project/Paths.h"

namespace korvane {

namespace {

// Reads the list. False when the file is missing or cannot be read whole;
// `lines` then holds what was read before the failure.
bool ReadList(const std::string& path, std::vector<std::string>& lines) {
    lines.clear();
    TextLineReader reader;
    if (!reader.open(path)) return false;
    std::string line;
    while (reader.next(line)) lines.push_back(line);
    return reader.error().empty();
}

// The short date and time of a Japanese desktop, "yyyy/MM/dd H:mm" in local
// time (hour without a leading zero, as the system's short time form shows it).
std::string ShortDateTime(std::int64_t seconds) {
    std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm {};
    if (!::localtime_r(&t, &tm)) return {};
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %d:%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min);
    return buf;
}

}  // namespace

RecentFiles::RecentFiles(std::string appFolder) : appFolder_(std::move(appFolder)) {
    while (appFolder_.size() > 1 && appFolder_.back() == '/') appFolder_.pop_back();
}

std::string RecentFiles::listPath() const { return appFolder_ + "/" + kRecentFileName; }

std::string RecentFiles::resolve(const std::string& entry) const {
    return ResolveAppRelative(entry, appFolder_);
}

bool RecentFiles::exists(const std::string& entry) const { return FileExists(resolve(entry)); }

void RecentFiles::AddRecent(const std::string& path) {
    std::string entry = StoreAppRelative(path, appFolder_);
    std::vector<std::string> lines;
    // Until the list exists (or while it cannot be read) nothing is recorded.
    if (!ReadList(listPath(), lines)) return;
    for (const auto& line : lines)
        if (line == entry) return;  // a reopened project keeps its place
    lines.insert(lines.begin(), entry);
    if (lines.size() > kRecentMaxEntries) lines.resize(kRecentMaxEntries);
    // Written aside and renamed over the list, so a crash keeps the old list.
    std::string error;
    WriteTextFileAtomic(listPath(), lines, error);
}

std::vector<std::string> RecentFiles::List(bool includeMissing) {
    std::vector<std::string> lines;
    std::vector<std::string> shown;
    ReadList(listPath(), lines);  // on a read error, show what was read before it
    for (const auto& line : lines)
        if (includeMissing || exists(line)) shown.push_back(line);
    struct stat st {};
    if (::stat(listPath().c_str(), &st) != 0 && errno == ENOENT) {
        std::string error;
        WriteTextFileAtomic(listPath(), {}, error);
    }
    return shown;
}

template <class Keep>
void RecentFiles::Rewrite(Keep keep) {
    std::vector<std::string> lines;
    if (!ReadList(listPath(), lines)) return;
    std::vector<std::string> kept;
    for (const auto& line : lines)
        if (keep(line)) kept.push_back(line);
    if (kept.size() == lines.size()) return;
    std::string error;
    WriteTextFileAtomic(listPath(), kept, error);
}

void RecentFiles::DeleteSelection(const std::string& entry) {
    Rewrite([&](const std::string& line) { return line != entry; });
}

void RecentFiles::DeleteMissing() {
    Rewrite([&](const std::string& line) { return exists(line); });
}

bool RecentFiles::DeleteAll(UserInterface& ui) {
    if (!ui.askYesNo(kRecentDeleteAllQuestion)) return false;
    return ::unlink(listPath().c_str()) == 0 || errno == ENOENT;
}

std::string RecentFiles::StatusText(const std::string& entry) const {
    std::string path = resolve(entry);
    if (!FileExists(path)) return kRecentMissingStatus;
    struct statx stx {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME | STATX_CTIME, &stx) != 0)
        return kRecentMissingStatus;
    // Not every file system records a creation time; then the last status
    // change is the nearest thing, and it is labelled as what it is.
    std::string first = (stx.stx_mask & STATX_BTIME)
                            ? "作成日時 : " + ShortDateTime(stx.stx_btime.tv_sec)
                            : "状態変更日時 : " + ShortDateTime(stx.stx_ctime.tv_sec);
    return first + "   " + "更新日時 : " + ShortDateTime(stx.stx_mtime.tv_sec);
}

}  // namespace korvane

#pragma once
// The list of the last ten projects, "Recent.dat" in the application folder.

#include <string>
#include <vector>

namespace korvane {

class UserInterface;

inline constexpr const char* kRecentFileName = "Recent.dat";
inline constexpr std::size_t kRecentMaxEntries = 10;
inline constexpr const char* kRecentDeleteAllQuestion = "全てのリンクを削除します。よろしいですか？";
inline constexpr const char* kRecentMissingStatus = "ファイルが存在しません。";

class RecentFiles {
public:
    explicit RecentFiles(std::string appFolder);

    // Records `path` at the top of the list (see the recent-files rules: an
    // entry already present stays where it is; at most 10 lines; a missing
    // "Recent.dat" records nothing; file errors end silently).
    void AddRecent(const std::string& path);

    // The entries to list: every line when `includeMissing`, otherwise only
    // lines naming an existing file. Creates an empty "Recent.dat" when it is
    // missing.
    std::vector<std::string> List(bool includeMissing);

    // Removes every line equal to `entry`.
    void DeleteSelection(const std::string& entry);
    // Removes every line that does not name an existing file.
    void DeleteMissing();
    // Asks "全てのリンクを削除します。よろしいですか？"; on Yes deletes the list
    // (List then creates it again, empty). Returns true when deleted.
    bool DeleteAll(UserInterface& ui);

    // The entry as a path to open: relative entries resolved against the
    // application folder.
    std::string resolve(const std::string& entry) const;
    // True when the entry names an existing file.
    bool exists(const std::string& entry) const;
    // The status-bar text for an entry: "ファイルが存在しません。", or its
    // creation and modification times.
    std::string StatusText(const std::string& entry) const;

    std::string listPath() const;

private:
    // Rewrites the list keeping the lines `keep` accepts. A list that cannot
    // be read whole is left alone, so no entry is ever lost.
    template <class Keep>
    void Rewrite(Keep keep);

    std::string appFolder_;
};

}  // namespace korvane

#pragma once
// The list of the last ten projects, "Recent.dat" in the application folder.

#include <string>
#include <vector>

namespace korvane {

class UserInterface;

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

    std::string listPath() const;

private:
    std::string appFolder_;
};

}  // namespace korvane

#pragma once
// The application folder: it holds the working copy, the recent list, the
// scratch files and the program's data files (array files, help, legend
// pictures, examples). Which folder it is:
//  1. the folder named by the environment variable KORVANE_HOME;
//  2. else the executable's folder, when it can be written and the program is
//     not installed (a build tree, a program unpacked into a folder of one's own);
//  3. else the user's own folder $XDG_DATA_HOME/korvane (by default
//     ~/.local/share/korvane), so that two users never share a working copy.
// An installed program keeps its read-only data files in <prefix>/share/korvane,
// found beside its bin folder (<exe>/../share/korvane); they are copied into
// the application folder when it lacks them.

#include <memory>
#include <string>

namespace korvane {

// The application folder without a trailing "/". Computed once.
const std::string& AppFolder();
// Overrides the application folder (tests; the command line).
void SetAppFolder(const std::string& folder);

// What decides the application folder, read from the process and its
// environment; separate so that the rule is testable.
struct AppFolderEnvironment {
    std::string executableFolder;
    std::string korvaneHome;  // KORVANE_HOME
    std::string xdgDataHome;  // XDG_DATA_HOME
    std::string home;         // HOME, or the password file's home folder
};
AppFolderEnvironment CurrentAppFolderEnvironment();

struct AppFolderChoice {
    std::string folder;
    // The folder the data files are copied from; empty when nothing is copied.
    std::string dataSource;
    // True for the per-user folder, which is created when missing.
    bool perUser = false;
};
AppFolderChoice ChooseAppFolder(const AppFolderEnvironment& env);

// The read-only data files of an installed program: <exe folder>/../share/korvane.
std::string ShareFolder(const std::string& executableFolder);

// Copies the data files that `folder` lacks from `source`: the array files
// "OT_*.dat", and the folders "Help", "legend_files" and "examples". A program
// file (array file, help, legend picture) is also copied again when the
// source's differs in size or time, so that an upgrade reaches it; the
// examples are the user's to change and are copied only while the folder has
// no "examples" folder at all. Each file is written beside its target and
// renamed over it, so an interrupted copy leaves no half file. False with
// `error` on the first file that cannot be copied.
bool CopyDataFiles(const std::string& source, const std::string& folder, std::string& error);

// A lock on the application folder, held while the program runs, so that two
// instances never share the working copy.
class InstanceLock {
public:
    ~InstanceLock();
    // Takes the lock; returns null with a message when another instance holds it
    // or the folder cannot be written.
    static std::unique_ptr<InstanceLock> acquire(const std::string& folder, std::string& error);

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_;
};

// KORVANE_HOME names the application folder, which must exist (it is never
// created: a mistyped name would start an empty installation). The message
// for a value that names no folder; empty when it is unset or a folder.
std::string MissingHomeMessage(const std::string& korvaneHome);

// Makes the application folder ready for this process: creates the per-user
// folder when missing, takes the instance lock, then copies in the data files
// it lacks. Null with a message when any of that fails.
std::unique_ptr<InstanceLock> OpenAppFolder(std::string& error);

}  // namespace korvane

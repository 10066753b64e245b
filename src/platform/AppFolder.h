#pragma once
// The application folder: the folder of the executable, or the folder named by
// the environment variable KORVANE_HOME. It holds the working copy, the recent
// list, the scratch files and the program's data files.

#include <memory>
#include <string>

namespace korvane {

// The application folder without a trailing "/". Computed once.
const std::string& AppFolder();
// Overrides the application folder (tests; the command line).
void SetAppFolder(const std::string& folder);

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

}  // namespace korvane

#pragma once
// One private soffice process: its own profile folder, its own pipe name, its
// own process group. The process dies with its parent (PR_SET_PDEATHSIG) and
// is killed with its whole group when this object quits or goes.
//
// POSIX only; what the instance keeps on disk is in InstanceFiles.cpp, the
// UNO side in LibreOfficeLink.cpp and its parts.

#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>

namespace korvane::lo {

class OfficeProcess {
public:
    // `programDir` holds soffice.bin; `tempBase` is where the profile folder
    // is made (empty: $TMPDIR or /tmp).
    OfficeProcess(std::string programDir, std::string tempBase);
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess&) = delete;
    OfficeProcess& operator=(const OfficeProcess&) = delete;

    // Makes and seeds a fresh profile folder and starts soffice.bin, with a
    // window or headless. False with `error` when the process cannot start.
    bool start(bool withWindow, std::string& error);

    // The UNO connection string of this instance.
    std::string connectString() const;

    // Checks the process without blocking. soffice.bin ends with code 81 on
    // the first start of a new profile and asks to be started again: that is
    // done here. False once the process has ended for good; `error` then says
    // how, in a few words ("シグナル 9 で強制終了").
    bool poll(std::string& error);

    // Waits up to `milliseconds` for the process to end by itself.
    bool waitExit(int milliseconds);

    // Kills the process group, reaps the process and removes the profile.
    // Safe to call more than once.
    void stop();

    // Kills the process group at once, from any thread, and leaves the rest
    // (reaping, the profile) to the owner's next call. Never touches a
    // process id that has been reaped and may have been reused.
    void kill();

    pid_t pid() const { return pid_.load(); }
    bool withWindow() const { return withWindow_; }
    const std::string& profileDir() const { return profileDir_; }

    // The last lines the process wrote to its standard error, for messages.
    std::string logTail() const;

private:
    bool launch(std::string& error);
    bool seedProfile(std::string& error);

    std::string programDir_;
    std::string tempBase_;
    std::string workDir_;     // temp folder holding profile and log
    std::string profileDir_;  // the UserInstallation folder
    std::string pipeName_;
    // Written by the owner's thread; read by kill() from any thread. A reap
    // and the reset of pid_ happen under reapMutex_, as does kill().
    std::atomic<pid_t> pid_{-1};
    std::mutex reapMutex_;
    bool withWindow_ = false;
    int restarts_ = 0;
};

// True when a window can be shown: DISPLAY (or WAYLAND_DISPLAY) is set.
bool DisplayAvailable();

}  // namespace korvane::lo

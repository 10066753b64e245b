// Starting soffice.bin in a process group of its own that dies with this
// process, watching it, and ending it: a template profile made once per
// process, the restart soffice asks for on a fresh profile, and a kill that
// never touches a reaped process id. What the instance keeps on disk is in
// InstanceFiles.cpp.
#include "platform/libreoffice/LibreOfficeProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/libreoffice/InstanceFiles.h"

extern char** environ;

namespace korvane::lo {

namespace {

// soffice.bin asks to be started again with this code (first start of a new
// profile, some configuration changes).
constexpr int kRestartExitCode = 81;

// Runs `forkChild` (a fork and what the parent does right after it) on a
// thread that lasts as long as this process. PR_SET_PDEATHSIG fires when the
// thread that forked ends, not the process: an instance started from a
// worker thread would die with the worker, and an instance kept open after a
// run must outlive the thread that calculated. Forked from here, it dies with
// the process only.
pid_t ForkOnLastingThread(const std::function<pid_t()>& forkChild) {
    struct Forker {
        std::mutex mutex;
        std::condition_variable changed;
        const std::function<pid_t()>* job = nullptr;
        pid_t result = -1;
        int error = 0;
        bool done = false;
    };
    // Never freed: its thread waits for work until the process ends.
    static Forker* const forker = [] {
        auto* f = new Forker;
        std::thread([f] {
            std::unique_lock<std::mutex> lock(f->mutex);
            for (;;) {
                f->changed.wait(lock, [f] { return f->job != nullptr; });
                f->result = (*f->job)();
                f->error = errno;
                f->job = nullptr;
                f->done = true;
                f->changed.notify_all();
            }
        }).detach();
        return f;
    }();
    static std::mutex oneAtATime;
    std::lock_guard<std::mutex> serial(oneAtATime);
    std::unique_lock<std::mutex> lock(forker->mutex);
    forker->done = false;
    forker->job = &forkChild;
    forker->changed.notify_all();
    forker->changed.wait(lock, [] { return forker->done; });
    errno = forker->error;
    return forker->result;
}

// Starts soffice.bin in a group of its own that dies with this process.
// Everything the child needs is prepared before fork: after fork only
// async-signal-safe calls are allowed (the parent may run UNO threads).
pid_t Spawn(const std::string& programDir, const std::string& profileDir,
            const std::vector<std::string>& extraArgs, const std::string& logPath,
            std::string& error) {
    const std::string bin = programDir + "/soffice.bin";
    std::vector<std::string> args = {
        bin,
        "-env:UserInstallation=" + FileUrl(profileDir),
        "--norestore",
        "--nologo",
        "--nodefault",
        "--nolockcheck",
    };
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        std::string entry = *e;
        // The soffice script would set this; a private instance never locks.
        if (entry.rfind("SAL_ENABLE_FILE_LOCKING=", 0) == 0) continue;
        if (entry.rfind("TMPDIR=", 0) == 0) continue;
        env.push_back(entry);
    }
    // The instance's temporary files (its lu*.tmp folder) live beside its
    // profile and go with it when the instance's folder is removed.
    {
        std::error_code ec;
        const std::string tmp = std::filesystem::path(profileDir).parent_path().string() + "/tmp";
        std::filesystem::create_directories(tmp, ec);
        if (!ec) env.push_back("TMPDIR=" + tmp);
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int logFd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (logFd < 0 || nullFd < 0) {
        error = "LibreOffice を起動できません: " + logPath + " (" + std::strerror(errno) + ")";
        if (logFd >= 0) ::close(logFd);
        if (nullFd >= 0) ::close(nullFd);
        return -1;
    }
    const pid_t parent = getpid();
    const pid_t child = ForkOnLastingThread([&]() -> pid_t {
        const pid_t pid = fork();
        if (pid == 0) {
            setsid();
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(127);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            signal(SIGPIPE, SIG_DFL);
            dup2(nullFd, 0);
            dup2(logFd, 1);
            dup2(logFd, 2);
            ::close_range(3, ~0U, 0);
            execve(bin.c_str(), argv.data(), envp.data());
            _exit(127);
        }
        return pid;
    });
    const int forkErrno = errno;
    ::close(logFd);
    ::close(nullFd);
    if (child < 0) {
        error = std::string("LibreOffice を起動できません: ") + std::strerror(forkErrno);
        return -1;
    }
    return child;
}

// Waits for a child with a time limit; kills its group when it is over.
// Returns the wait status, or -1 when the time ran out.
int WaitChild(pid_t pid, int milliseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return status;
        if (r < 0 && errno != EINTR) return 0;
        if (std::chrono::steady_clock::now() >= until) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// A profile that has been through one start of soffice.bin: copying it makes
// a new instance start at once, where a bare seeded profile first ends with
// the restart code and must be started twice. Made once per process, removed
// at exit. Empty when it could not be made (each instance then seeds its own).
class ProfileTemplate {
public:
    const std::string& get(const std::string& programDir, const std::string& tempBase) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::error_code ec;
        // Made afresh when its folder has gone (a caller's temp folder removed).
        if (!profile_.empty() && !std::filesystem::is_directory(profile_, ec)) {
            remove();
            tried_ = false;
        }
        if (tried_) return profile_;
        tried_ = true;
        std::string error, dir;
        if (!MakeTempDir(TempBase(tempBase), "korvane-lo-template-" + std::to_string(getpid()) + "-", dir, error))
            return profile_;
        MarkOwner(dir);
        dir_ = dir;
        const std::string profile = dir + "/profile";
        if (!WriteSeed(profile)) return profile_;
        for (int attempt = 0; attempt < 3; ++attempt) {
            pid_t pid = Spawn(programDir, profile, {"--headless", "--invisible", "--terminate_after_init"},
                              dir + "/soffice.log", error);
            if (pid < 0) return profile_;
            int status = WaitChild(pid, 60000);
            if (status < 0 || !WIFEXITED(status)) return profile_;
            if (WEXITSTATUS(status) == 0) {
                std::filesystem::remove(profile + "/.lock", ec);
                profile_ = profile;
                return profile_;
            }
            if (WEXITSTATUS(status) != kRestartExitCode) return profile_;
        }
        return profile_;
    }
    ~ProfileTemplate() { remove(); }

private:
    void remove() {
        RemoveInstanceFiles(dir_, "");
        dir_.clear();
        profile_.clear();
    }

    std::mutex mutex_;
    bool tried_ = false;
    std::string dir_;
    std::string profile_;
};

ProfileTemplate& Template() {
    static ProfileTemplate t;
    return t;
}

}  // namespace

bool DisplayAvailable() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

OfficeProcess::OfficeProcess(std::string programDir, std::string tempBase)
    : programDir_(std::move(programDir)), tempBase_(std::move(tempBase)) {}

OfficeProcess::~OfficeProcess() { stop(); }

std::string OfficeProcess::connectString() const {
    return "uno:pipe,name=" + pipeName_ + ";urp;StarOffice.ComponentContext";
}

bool OfficeProcess::seedProfile(std::string& error) {
    RemoveLeftovers(TempBase(tempBase_));
    const std::string& templ = Template().get(programDir_, tempBase_);
    if (!MakeTempDir(TempBase(tempBase_), "korvane-lo-" + std::to_string(getpid()) + "-", workDir_, error))
        return false;
    MarkOwner(workDir_);
    profileDir_ = workDir_ + "/profile";
    if (!templ.empty()) {
        std::error_code ec;
        std::filesystem::copy(templ, profileDir_, std::filesystem::copy_options::recursive, ec);
        if (!ec) return true;
        std::filesystem::remove_all(profileDir_, ec);
    }
    if (!WriteSeed(profileDir_)) {
        error = "LibreOffice のプロファイルを作れません: " + profileDir_;
        return false;
    }
    return true;
}

bool OfficeProcess::start(bool withWindow, std::string& error) {
    stop();
    withWindow_ = withWindow;
    restarts_ = 0;
    pipeName_ = "korvane_" + UniqueToken();
    if (!seedProfile(error)) return false;
    return launch(error);
}

bool OfficeProcess::launch(std::string& error) {
    std::vector<std::string> extra = {"--accept=pipe,name=" + pipeName_ +
                                      ";urp;StarOffice.ComponentContext"};
    if (!withWindow_) {
        extra.push_back("--headless");
        extra.push_back("--invisible");
    }
    pid_ = Spawn(programDir_, profileDir_, extra, workDir_ + "/soffice.log", error);
    return pid_ > 0;
}

bool OfficeProcess::poll(std::string& error) {
    if (pid_ <= 0) {
        error = "起動していません";
        return false;
    }
    int status = 0;
    pid_t r = 0;
    pid_t ended = -1;
    {
        std::lock_guard<std::mutex> lock(reapMutex_);
        r = waitpid(pid_, &status, WNOHANG);
        if (r == 0) return true;
        if (r < 0 && errno == EINTR) return true;
        ended = pid_;
        pid_ = -1;
        ::kill(-ended, SIGKILL);  // whatever it left in its group
    }
    if (r > 0 && WIFEXITED(status) && WEXITSTATUS(status) == kRestartExitCode && restarts_ < 3) {
        ++restarts_;
        return launch(error);
    }
    if (r > 0 && WIFEXITED(status)) {
        if (WEXITSTATUS(status) == 127)
            error = programDir_ + "/soffice.bin を実行できません";
        else
            error = "終了コード " + std::to_string(WEXITSTATUS(status));
    } else if (r > 0 && WIFSIGNALED(status)) {
        error = "シグナル " + std::to_string(WTERMSIG(status)) + " で強制終了";
    } else {
        error = "プロセスが終了";
    }
    return false;
}

bool OfficeProcess::waitExit(int milliseconds) {
    if (pid_ <= 0) return true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(reapMutex_);
            int status = 0;
            const pid_t pid = pid_;
            pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid || (r < 0 && errno != EINTR)) {
                ::kill(-pid, SIGKILL);
                pid_ = -1;
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void OfficeProcess::kill() {
    std::lock_guard<std::mutex> lock(reapMutex_);
    const pid_t pid = pid_;
    if (pid > 0) {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
    }
}

void OfficeProcess::stop() {
    {
        std::lock_guard<std::mutex> lock(reapMutex_);
        const pid_t pid = pid_;
        if (pid > 0) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            pid_ = -1;
        }
    }
    RemoveInstanceFiles(workDir_, pipeName_);
    workDir_.clear();
    profileDir_.clear();
}

std::string OfficeProcess::logTail() const {
    if (workDir_.empty()) return {};
    std::ifstream in(workDir_ + "/soffice.log", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.size() > 400) text = text.substr(text.size() - 400);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace korvane::lo

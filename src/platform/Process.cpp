#include "platform/Process.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace korvane {

namespace {

// PATH search for a bare program name, as a shell would do it, but without one.
std::string FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    for (;;) {
        std::size_t colon = dirs.find(':', start);
        std::string dir = dirs.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string::npos) return {};
        start = colon + 1;
    }
}

// The process groups of the programs being waited for, one slot per waiting
// thread; 0 in a free slot.
constexpr std::size_t kRunningSlots = 64;
std::atomic<pid_t> gRunningGroups[kRunningSlots];

std::atomic<pid_t>* ClaimRunningSlot(pid_t group) {
    for (auto& slot : gRunningGroups) {
        pid_t free = 0;
        if (slot.compare_exchange_strong(free, group)) return &slot;
    }
    return nullptr;  // more waiting threads than slots: only the run's end kills it
}

thread_local ProgramWatch* tWatch = nullptr;
// The groups of the programs started since the last EndStartedPrograms (the
// most recent ones, when there were more).
constexpr std::size_t kGroupSlots = 256;
std::atomic<pid_t> gStartedGroups[kGroupSlots];
std::atomic<std::size_t> gNextGroup{0};

}  // namespace

void KillRunningPrograms() {
    for (auto& slot : gRunningGroups) {
        const pid_t group = slot.load();
        if (group > 0) ::killpg(group, SIGKILL);
    }
}

void ProgramWatch::killRunning() {
    const pid_t group = running_.load();
    if (group > 0) ::killpg(group, SIGKILL);
}

void ProgramWatch::endStarted() {
    for (auto& slot : groups_) {
        const pid_t group = slot.exchange(0);
        if (group > 0) ::killpg(group, SIGKILL);
    }
}

void ProgramWatch::started(int group) {
    running_.store(group);
    groups_[next_.fetch_add(1) % kSlots].store(group);
}

void ProgramWatch::ended() { running_.store(0); }

void WatchProgramsOf(ProgramWatch* watch) { tWatch = watch; }

void EndStartedPrograms() {
    for (auto& slot : gStartedGroups) {
        const pid_t group = slot.exchange(0);
        if (group > 0) ::killpg(group, SIGKILL);
    }
}

bool RunProgramAndWait(const std::vector<std::string>& argv, int& exitStatus, std::string& error) {
    exitStatus = -1;
    if (argv.empty() || argv[0].empty()) {
        error = "外部プログラムが指定されていません。";
        return false;
    }
    std::string program = argv[0];
    if (program.find('/') == std::string::npos) {
        std::string found = FindInPath(program);
        if (found.empty()) {
            error = "外部プログラムを起動できません: " + program + " (見つかりません)";
            return false;
        }
        program = found;
    }
    struct stat st {};
    if (::stat(program.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        error = "外部プログラムを起動できません: " + program + " (" +
                (S_ISDIR(st.st_mode) ? std::string("フォルダです") : std::strerror(errno)) + ")";
        return false;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    // The program gets a process group of its own, which dies with Korvane:
    // a stop or signal can end it with everything it started, and a killed
    // Korvane leaves no program running on. (Only async-signal-safe calls
    // between fork and exec.)
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::execve(program.c_str(), args.data(), environ);
        ::_exit(127);
    }
    if (pid < 0) {
        error = "外部プログラムを起動できません: " + program + " (" + std::strerror(errno) + ")";
        return false;
    }
    ::setpgid(pid, pid);  // no race with a signal that arrives before the child's own call
    std::atomic<pid_t>* running = ClaimRunningSlot(pid);
    gStartedGroups[gNextGroup.fetch_add(1) % kGroupSlots].store(pid);
    ProgramWatch* const watch = tWatch;
    if (watch) watch->started(pid);
    auto done = [&] {
        if (running) running->store(0);
        if (watch) watch->ended();
    };
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            done();
            error = "外部プログラムの終了を待てません: " + program + " (" + std::strerror(errno) + ")";
            return false;
        }
    }
    done();
    // posix_spawn reports an exec failure as exit status 127 from the child.
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && ::access(program.c_str(), X_OK) != 0) {
        error = "外部プログラムを起動できません: " + program + " (実行権限がありません)";
        return false;
    }
    exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '[' && !quoted) {
            // A bracketed name is one piece, blanks included, so that
            // "[my var]" can still be replaced after the split.
            const std::size_t close = text.find(']', i + 1);
            if (close != std::string::npos) {
                word.append(text, i, close - i + 1);
                inWord = true;
                i = close;
                continue;
            }
        }
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t')) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

}  // namespace korvane

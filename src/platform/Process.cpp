#include "platform/Process.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
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
// The groups that the programs started since the last end of a run left
// running.
ProcessGroups gLingering;

// The environment entry that marks every program of this process and what
// it starts, so that what outlives its process group can be found: this
// process's id and the number of the run.
std::atomic<unsigned> gRunNumber{0};
std::string ProgramMark() {
    return "KORVANE_PROGRAM_OF=" + std::to_string(::getpid()) + "." + std::to_string(gRunNumber.load());
}

// Whether `group` may still be signalled as one of ours: it has processes,
// and its leader, when it is still there, is in this process's session (a
// group of ours that has emptied can have its number taken by a new process
// elsewhere).
bool OurGroup(pid_t group) {
    if (::killpg(group, 0) != 0) return false;
    const pid_t sid = ::getsid(group);
    return sid < 0 || sid == ::getsid(0);
}

std::string ReadProcFile(const std::string& path) {
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > (1u << 20)) break;
    }
    ::close(fd);
    return text;
}

// The processes carrying `mark` in their environment that are still
// running, besides the groups in `skip` (programs running now): one still in
// this process's session changed its group and is ended here; one that made
// a session of its own is listed, "command (PID n)".
std::vector<std::string> EndMarkedProcesses(const std::string& mark, const std::vector<int>& skip) {
    std::vector<std::string> found;
    DIR* proc = ::opendir("/proc");
    if (!proc) return found;
    const std::string entry = mark + std::string(1, '\0');
    const pid_t ownSession = ::getsid(0);
    while (dirent* d = ::readdir(proc)) {
        const char* name = d->d_name;
        if (*name < '0' || *name > '9') continue;
        const pid_t pid = static_cast<pid_t>(std::atol(name));
        if (pid == ::getpid()) continue;
        const std::string dir = std::string("/proc/") + name;
        const std::string environ = ReadProcFile(dir + "/environ");
        if (environ.rfind(entry, 0) != 0 && environ.find(std::string(1, '\0') + entry) == std::string::npos)
            continue;
        // The fields after the command's closing parenthesis: state, parent,
        // group, session.
        const std::string stat = ReadProcFile(dir + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        long parent = 0, group = 0, session = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %ld %ld %ld", &state, &parent, &group, &session) != 4)
            continue;
        if (state == 'Z' || state == 'X') continue;
        if (std::find(skip.begin(), skip.end(), static_cast<int>(group)) != skip.end()) continue;
        if (session == ownSession) {
            ::kill(pid, SIGKILL);
            continue;
        }
        std::string command = ReadProcFile(dir + "/cmdline");
        while (!command.empty() && command.back() == '\0') command.pop_back();
        std::replace(command.begin(), command.end(), '\0', ' ');
        if (command.empty()) command = stat.substr(stat.find('(') + 1, close - stat.find('(') - 1);
        if (command.size() > 80) command = command.substr(0, 77) + "...";
        found.push_back(command + " (PID " + std::to_string(pid) + ")");
    }
    ::closedir(proc);
    return found;
}

}  // namespace

ProcessGroups::~ProcessGroups() {
    Chunk* c = head_.next.load();
    while (c) {
        Chunk* next = c->next.load();
        delete c;
        c = next;
    }
}

bool ProcessGroups::place(int group) {
    for (Chunk* c = &head_; c; c = c->next.load())
        for (auto& slot : c->slots) {
            int free = 0;
            if (slot.load() == 0 && slot.compare_exchange_strong(free, group)) return true;
        }
    return false;
}

void ProcessGroups::forgetEmpty() {
    for (Chunk* c = &head_; c; c = c->next.load())
        for (auto& slot : c->slots) {
            int group = slot.load();
            if (group > 0 && ::killpg(group, 0) != 0 && errno == ESRCH) slot.compare_exchange_strong(group, 0);
        }
}

void ProcessGroups::add(int group) {
    if (group <= 0 || place(group)) return;
    forgetEmpty();
    if (place(group)) return;
    auto* fresh = new Chunk;
    fresh->slots[0].store(group);
    Chunk* c = &head_;
    for (;;) {
        Chunk* expected = nullptr;
        if (c->next.compare_exchange_strong(expected, fresh)) return;
        c = expected;
    }
}

void ProcessGroups::endAll() {
    for (Chunk* c = &head_; c; c = c->next.load())
        for (auto& slot : c->slots) {
            const int group = slot.exchange(0);
            if (group > 0 && OurGroup(group)) ::killpg(group, SIGKILL);
        }
}

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

void ProgramWatch::endStarted() { groups_.endAll(); }

void ProgramWatch::started(int group) { running_.store(group); }

void ProgramWatch::ended(int group, bool lingering) {
    if (lingering) groups_.add(group);
    running_.store(0);
}

void WatchProgramsOf(ProgramWatch* watch) { tWatch = watch; }

void EndStartedPrograms() { gLingering.endAll(); }

std::vector<std::string> EndRunPrograms() {
    gLingering.endAll();
    // Programs still running on other threads are no leftovers.
    std::vector<int> running;
    for (auto& slot : gRunningGroups)
        if (const pid_t group = slot.load(); group > 0) running.push_back(group);
    const std::string mark = ProgramMark();
    ++gRunNumber;
    return EndMarkedProcesses(mark, running);
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
    // The environment as it is, with this process's mark (replacing a mark
    // inherited from a Korvane that started this one).
    std::string mark = ProgramMark();
    std::vector<char*> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "KORVANE_PROGRAM_OF=", 19) != 0) env.push_back(*e);
    env.push_back(mark.data());
    env.push_back(nullptr);
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
        ::execve(program.c_str(), args.data(), env.data());
        ::_exit(127);
    }
    if (pid < 0) {
        error = "外部プログラムを起動できません: " + program + " (" + std::strerror(errno) + ")";
        return false;
    }
    ::setpgid(pid, pid);  // no race with a signal that arrives before the child's own call
    std::atomic<pid_t>* running = ClaimRunningSlot(pid);
    ProgramWatch* const watch = tWatch;
    if (watch) watch->started(pid);
    int status = 0;
    int waitError = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            waitError = errno;
            break;
        }
    }
    // What the program left running in its group is ended with the run (or
    // the worker's next fresh start); an emptied group is forgotten now.
    const bool lingering = ::killpg(pid, 0) == 0;
    if (lingering) gLingering.add(pid);
    if (running) running->store(0);
    if (watch) watch->ended(pid, lingering);
    if (waitError != 0) {
        error = "外部プログラムの終了を待てません: " + program + " (" + std::strerror(waitError) + ")";
        return false;
    }
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

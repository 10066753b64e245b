#include "platform/Process.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
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

}  // namespace

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
    pid_t pid = 0;
    int rc = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, args.data(), environ);
    if (rc != 0) {
        error = "外部プログラムを起動できません: " + program + " (" + std::strerror(rc) + ")";
        return false;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = "外部プログラムの終了を待てません: " + program + " (" + std::strerror(errno) + ")";
            return false;
        }
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

#include "platform/AppFolder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <unistd.h>

namespace korvane {

namespace {

std::string StripTrailingSlash(std::string s) {
    while (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}

std::string ExecutableFolder() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    std::string exe(buf, static_cast<std::size_t>(n));
    auto slash = exe.find_last_of('/');
    return slash == 0 ? "/" : exe.substr(0, slash);
}

std::string& Folder() {
    static std::string folder;
    return folder;
}

}  // namespace

const std::string& AppFolder() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (!Folder().empty()) return;
        const char* home = std::getenv("KORVANE_HOME");
        Folder() = StripTrailingSlash(home && *home ? home : ExecutableFolder());
    });
    return Folder();
}

void SetAppFolder(const std::string& folder) {
    AppFolder();  // settle the once-flag first
    Folder() = StripTrailingSlash(folder);
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

std::unique_ptr<InstanceLock> InstanceLock::acquire(const std::string& folder, std::string& error) {
    std::string path = folder + "/korvane.lock";
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = "アプリケーションフォルダに書き込めません: " + folder + " (" + std::strerror(errno) + ")";
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        error = "Korvane は既に実行中です。同じアプリケーションフォルダ (" + folder +
                ") を使う2つ目のKorvaneは起動できません。";
        return nullptr;
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

}  // namespace korvane

#include "platform/AppFolder.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace korvane {

namespace fs = std::filesystem;

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

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::is_directory(path, ec);
}

const AppFolderChoice& CurrentChoice() {
    static const AppFolderChoice choice = ChooseAppFolder(CurrentAppFolderEnvironment());
    return choice;
}

std::string& Folder() {
    static std::string folder;
    return folder;
}

std::string Describe(const std::error_code& ec) { return ec.message(); }

// Copies one file by way of a scratch file beside the target, keeping the
// source's modification time so that a later start can tell it is current.
bool CopyOne(const fs::path& from, const fs::path& to, std::string& error) {
    std::error_code ec;
    fs::create_directories(to.parent_path(), ec);
    const fs::path part = to.string() + ".part";
    if (!ec) fs::copy_file(from, part, fs::copy_options::overwrite_existing, ec);
    // A read-only source gives a read-only copy: the copy is the user's.
    if (!ec) fs::permissions(part, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    if (!ec) {
        const auto time = fs::last_write_time(from, ec);
        if (!ec) fs::last_write_time(part, time, ec);
    }
    if (!ec) fs::rename(part, to, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(part, ignored);
        error = "アプリケーションフォルダにファイルをコピーできません: " + from.string() + " -> " + to.string() +
                " (" + Describe(ec) + ")";
        return false;
    }
    return true;
}

bool IsCurrent(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::is_regular_file(to, ec)) return false;
    const auto size = fs::file_size(to, ec);
    if (ec || size != fs::file_size(from, ec) || ec) return false;
    const auto time = fs::last_write_time(to, ec);
    return !ec && time == fs::last_write_time(from, ec) && !ec;
}

// Every regular file under `from`, copied to the same place under `to`;
// with `refresh`, a file already there is replaced when it is not current.
bool CopyTree(const fs::path& from, const fs::path& to, bool refresh, std::string& error) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(from, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const fs::path target = to / it->path().lexically_relative(from);
        std::error_code exists;
        if (fs::exists(target, exists) && (!refresh || IsCurrent(it->path(), target))) continue;
        if (!CopyOne(it->path(), target, error)) return false;
    }
    if (ec) {
        error = "データファイルを読めません: " + from.string() + " (" + Describe(ec) + ")";
        return false;
    }
    return true;
}

}  // namespace

const std::string& AppFolder() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (Folder().empty()) Folder() = CurrentChoice().folder;
    });
    return Folder();
}

void SetAppFolder(const std::string& folder) {
    AppFolder();  // settle the once-flag first
    Folder() = StripTrailingSlash(folder);
}

AppFolderEnvironment CurrentAppFolderEnvironment() {
    AppFolderEnvironment env;
    env.executableFolder = ExecutableFolder();
    env.korvaneHome = Env("KORVANE_HOME");
    env.xdgDataHome = Env("XDG_DATA_HOME");
    env.home = Env("HOME");
    if (env.home.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) env.home = pw->pw_dir;
    }
    return env;
}

std::string ShareFolder(const std::string& executableFolder) {
    return fs::path(executableFolder).parent_path().append("share/korvane").string();
}

AppFolderChoice ChooseAppFolder(const AppFolderEnvironment& env) {
    const std::string exe = StripTrailingSlash(env.executableFolder);
    const std::string share = ShareFolder(exe);
    const bool installed = IsFolder(share);
    AppFolderChoice choice;
    if (!env.korvaneHome.empty()) {
        choice.folder = StripTrailingSlash(env.korvaneHome);
        if (installed) choice.dataSource = share;
        return choice;
    }
    if (!installed && ::access(exe.c_str(), W_OK) == 0) {
        choice.folder = exe;
        return choice;
    }
    // A relative XDG_DATA_HOME is invalid and is ignored, as the base
    // directory rules say.
    std::string data = env.xdgDataHome;
    if (data.empty() || data.front() != '/') data = env.home.empty() ? "" : StripTrailingSlash(env.home) + "/.local/share";
    choice.folder = data.empty() ? "" : StripTrailingSlash(data) + "/korvane";
    choice.dataSource = installed ? share : exe;
    choice.perUser = true;
    return choice;
}

bool CopyDataFiles(const std::string& source, const std::string& folder, std::string& error) {
    std::error_code ec;
    if (source.empty() || !IsFolder(source) || fs::equivalent(source, folder, ec)) return true;
    const fs::path from(source), to(folder);
    for (auto it = fs::directory_iterator(from, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            const bool arrayFile = name.size() > 7 && name.compare(0, 3, "OT_") == 0 &&
                                   name.compare(name.size() - 4, 4, ".dat") == 0;
            if (arrayFile && !IsCurrent(it->path(), to / name) && !CopyOne(it->path(), to / name, error))
                return false;
        } else if (it->is_directory(typeError)) {
            if (name == "Help" || name == "legend_files") {
                if (!CopyTree(it->path(), to / name, true, error)) return false;
            } else if (name == "examples") {
                // Copied whole or not at all: a half copy would never be completed.
                std::error_code exists;
                if (fs::exists(to / name, exists)) continue;
                const fs::path part = to / "examples.part";
                std::error_code renamed;
                fs::remove_all(part, renamed);
                if (!CopyTree(it->path(), part, false, error)) return false;
                fs::rename(part, to / name, renamed);
                if (renamed) {
                    error = "アプリケーションフォルダにファイルをコピーできません: " + (to / name).string() + " (" +
                            Describe(renamed) + ")";
                    return false;
                }
            }
        }
    }
    if (ec) {
        error = "データファイルを読めません: " + source + " (" + Describe(ec) + ")";
        return false;
    }
    return true;
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

std::string MissingHomeMessage(const std::string& korvaneHome) {
    if (korvaneHome.empty() || IsFolder(korvaneHome)) return {};
    return "環境変数 KORVANE_HOME のフォルダがありません: " + korvaneHome +
           "\nフォルダを作成するか、KORVANE_HOME に既にあるフォルダを指定して下さい。";
}

std::unique_ptr<InstanceLock> OpenAppFolder(std::string& error) {
    const std::string& folder = AppFolder();
    const AppFolderChoice& choice = CurrentChoice();
    const bool chosen = folder == choice.folder;  // not overridden by SetAppFolder
    if (folder.empty()) {
        error = "アプリケーションフォルダが決まりません: 環境変数 HOME も XDG_DATA_HOME もありません。";
        return nullptr;
    }
    bool created = false;
    if (chosen && choice.perUser) {
        std::error_code ec;
        created = fs::create_directories(folder, ec);
        if (ec) {
            error = "アプリケーションフォルダを作成できません: " + folder + " (" + Describe(ec) + ")";
            return nullptr;
        }
    }
    auto lock = InstanceLock::acquire(folder, error);
    if (!lock) return nullptr;
    // Copied under the lock, so two starts never write the same file.
    if (chosen && !CopyDataFiles(choice.dataSource, folder, error)) return nullptr;
    // A new folder is a new installation for its user, and an installation
    // starts with an empty recent list, so that the projects opened from the
    // first start on are listed.
    if (created) std::ofstream(folder + "/Recent.dat", std::ios::app);
    return lock;
}

}  // namespace korvane

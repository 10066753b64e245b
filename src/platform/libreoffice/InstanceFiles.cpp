// What a private LibreOffice instance keeps on disk: its folder in the
// temporary folder (the profile, seeded with the settings every instance
// needs, its log and temporary files) marked with the process that owns it,
// the pipe files soffice makes, and the tidying of folders and pipes that a
// Korvane which died left behind. Which folders are provably left behind is
// told by the host, boot and PID namespace each names.
#include "platform/libreoffice/InstanceFiles.h"

#include <signal.h>
#include <unistd.h>

#include <rtl/digest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace korvane::lo {

namespace {

// The profile settings every private instance needs: macros run without a
// question, no lock files next to the workbook (a killed instance would leave
// one behind), formulas recalculated on load (files written by other tools
// carry stale cached results), no dialogs that wait for a click. The last
// version is set high so that a fresh profile skips the graphics self-test
// of a first start (3-4 s).
const char* kRegistryModifications = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="MacroSecurityLevel" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Security/Scripting"><prop oor:name="DisableMacrosExecution" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentOOoLockFile" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentSystemFileLocking" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="OOXMLRecalcMode" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Formula/Load"><prop oor:name="ODFRecalcMode" oor:op="fuse"><value>0</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Filter/Import/VBA"><prop oor:name="Load" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Filter/Import/VBA"><prop oor:name="Executable" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Calc/Filter/Import/VBA"><prop oor:name="Save" oor:op="fuse"><value>true</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/AutoSave"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/RecoveryInfo"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>99.9</value></prop></item>
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="LastTimeDonateShown" oor:op="fuse"><value>9999999999</value></prop></item>
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="LastTimeGetInvolvedShown" oor:op="fuse"><value>9999999999</value></prop></item>
</oor:items>
)";

std::string ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text;
    std::getline(in, text, '\0');
    if (text.size() > 4096) text.resize(4096);
    return text;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// Whether /proc shows this process's own PID namespace (a process that
// entered a new namespace without mounting /proc sees the old one there).
bool ProcMatchesNamespace() {
    char link[32] = {};
    const ssize_t n = ::readlink("/proc/self", link, sizeof link - 1);
    return n > 0 && std::string(link, static_cast<std::size_t>(n)) == std::to_string(getpid());
}

// The start time of a process in clock ticks since boot (field 22 of its
// stat file; "self" for this process); empty when it is not known.
std::string StartTimeOf(const std::string& pid) {
    if (pid != "self" && !ProcMatchesNamespace()) return {};
    const std::string stat = ReadSmallFile("/proc/" + pid + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return {};
    std::size_t at = close + 1;
    for (int field = 3; field <= 22; ++field) {
        while (at < stat.size() && stat[at] == ' ') ++at;
        const std::size_t end = std::min(stat.find(' ', at), stat.size());
        if (field == 22) return stat.substr(at, end - at);
        at = end;
    }
    return {};
}

// Where a process lives: its host, the kernel's boot and its PID namespace.
// Folders in a shared temporary folder are told apart by these: a process
// id means something only within one such place.
struct Place {
    std::string host, boot, pidNamespace;
    bool operator==(const Place&) const = default;
};

const Place& ThisPlace() {
    static const Place place = [] {
        Place p;
        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) == 0) p.host = host;
        p.boot = Trimmed(ReadSmallFile("/proc/sys/kernel/random/boot_id"));
        char link[128] = {};
        const ssize_t n = ::readlink("/proc/self/ns/pid", link, sizeof link - 1);
        if (n > 0) p.pidNamespace.assign(link, static_cast<std::size_t>(n));
        return p;
    }();
    return place;
}

// A short key of this place, for names that cannot carry a file.
std::string PlaceKey() {
    const Place& p = ThisPlace();
    std::uint32_t h = 2166136261u;
    for (const std::string* part : {&p.host, &p.boot, &p.pidNamespace})
        for (unsigned char c : *part + '\n') h = (h ^ c) * 16777619u;
    static const char* hex = "0123456789abcdef";
    std::string key;
    for (int i = 7; i >= 0; --i) key += hex[(h >> (4 * i)) & 15];
    return key;
}

// The file in an instance's folder that names its owner: host, boot,
// PID namespace, process id and the process's start time, one a line.
constexpr const char* kOwnerFile = "owner";

// The socket files soffice makes for its pipes: the UNO pipe of our own name,
// and the single-instance pipe named after the profile URL. A killed soffice
// leaves both behind.
std::string PipeFile(const std::string& name) {
    return "/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + name;
}

std::string SingleInstancePipe(const std::string& profileDir) {
    // The MD5 of the URL's UTF-16 code units, bytes in hex without padding.
    const std::string url = FileUrl(profileDir);
    std::vector<unsigned char> utf16;
    for (unsigned char c : url) {
        utf16.push_back(c);
        utf16.push_back(0);
    }
    sal_uInt8 digest[RTL_DIGEST_LENGTH_MD5];
    rtl_digest_MD5(utf16.data(), static_cast<sal_uInt32>(utf16.size()), digest, sizeof digest);
    static const char* hex = "0123456789abcdef";
    std::string name = "SingleOfficeIPC_";
    for (sal_uInt8 b : digest) {
        if (b >= 16) name += hex[b >> 4];
        name += hex[b & 15];
    }
    return name;
}

bool ProcessAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

// The folder's owner is gone for certain: the folder was made on this host,
// in this boot and PID namespace, and its process is no longer there (or
// its number now belongs to a process started later). A folder of another
// place (a container or another machine sharing the temporary folder), or
// one without a readable mark, may belong to a live Korvane: it stays.
bool OwnerProvablyGone(const std::string& dir) {
    std::ifstream in(dir + "/" + kOwnerFile, std::ios::binary);
    Place place;
    std::string pid, started;
    if (!std::getline(in, place.host) || !std::getline(in, place.boot) || !std::getline(in, place.pidNamespace) ||
        !std::getline(in, pid) || !std::getline(in, started))
        return false;
    const Place& here = ThisPlace();
    if (!(place == here) || here.boot.empty() || here.pidNamespace.empty()) return false;
    const pid_t owner = static_cast<pid_t>(std::atol(pid.c_str()));
    if (owner <= 0 || owner == getpid()) return false;
    if (!ProcessAlive(owner)) return true;
    const std::string now = StartTimeOf(std::to_string(owner));
    return !now.empty() && !started.empty() && now != started;
}

}  // namespace

std::string FileUrl(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~')
            url += static_cast<char>(c);
        else {
            url += '%';
            url += hex[c >> 4];
            url += hex[c & 15];
        }
    }
    return url;
}

std::string UniqueToken() {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    return std::to_string(getpid()) + "_" + PlaceKey() + "_" + std::to_string(counter++) + "_" +
           std::to_string(rd() % 1000000);
}

void MarkOwner(const std::string& dir) {
    const Place& p = ThisPlace();
    std::ofstream out(dir + "/" + kOwnerFile, std::ios::binary);
    out << p.host << '\n' << p.boot << '\n' << p.pidNamespace << '\n' << getpid() << '\n' << StartTimeOf("self") << '\n';
}

std::string TempBase(const std::string& wanted) {
    if (!wanted.empty()) return wanted;
    const char* t = std::getenv("TMPDIR");
    return (t && *t) ? t : "/tmp";
}

bool MakeTempDir(const std::string& base, const std::string& prefix, std::string& dir,
                 std::string& error) {
    std::string templ = base + "/" + prefix + "XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        error = "一時フォルダを作れません: " + base + " (" + std::strerror(errno) + ")";
        return false;
    }
    dir = buf.data();
    return true;
}

// Removes what an instance leaves on disk: its folder and its pipe files.
void RemoveInstanceFiles(const std::string& workDir, const std::string& pipeName) {
    if (workDir.empty()) return;
    std::error_code ec;
    std::filesystem::remove(PipeFile(SingleInstancePipe(workDir + "/profile")), ec);
    if (!pipeName.empty()) std::filesystem::remove(PipeFile(pipeName), ec);
    std::filesystem::remove_all(workDir, ec);
}

// Folders and pipes left by a Korvane that died without tidying up (its
// soffice died with it): recognised by the owner each names.
void RemoveLeftovers(const std::string& base) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("korvane-lo-", 0) != 0) continue;
        if (OwnerProvablyGone(entry.path().string())) RemoveInstanceFiles(entry.path().string(), "");
    }
    const std::string prefix = "OSL_PIPE_" + std::to_string(getuid()) + "_korvane_";
    const std::string key = "_" + PlaceKey() + "_";
    for (const auto& entry : std::filesystem::directory_iterator("/tmp", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string rest = name.substr(prefix.size());
        const auto sep = rest.find('_');
        if (sep == std::string::npos || rest.compare(sep, key.size(), key) != 0) continue;
        const pid_t owner = static_cast<pid_t>(std::atol(rest.c_str()));
        if (owner > 0 && owner != getpid() && !ProcessAlive(owner)) std::filesystem::remove(entry.path(), ec);
    }
}

bool WriteSeed(const std::string& profileDir) {
    std::error_code ec;
    std::filesystem::create_directories(profileDir + "/user", ec);
    if (ec) return false;
    std::ofstream out(profileDir + "/user/registrymodifications.xcu", std::ios::binary);
    out << kRegistryModifications;
    out.close();
    return static_cast<bool>(out);
}

}  // namespace korvane::lo

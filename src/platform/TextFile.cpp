#include "platform/TextFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <mutex>
#include <unistd.h>

namespace korvane {

namespace {

// iconv descriptors are costly to open; one per direction, reused under a lock.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    }
    bool convert(const std::string& in, std::string& out) {
        std::lock_guard<std::mutex> lock(mutex_);
        out.clear();
        if (cd_ == reinterpret_cast<iconv_t>(-1)) return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        if (in.empty()) return true;
        std::string result(in.size() * 3 + 8, '\0');
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char* dst = result.data();
        std::size_t dstLeft = result.size();
        while (srcLeft > 0) {
            std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            if (rc == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) {
                    std::size_t used = result.size() - dstLeft;
                    result.resize(result.size() * 2);
                    dst = result.data() + used;
                    dstLeft = result.size() - used;
                    continue;
                }
                return false;  // EILSEQ or EINVAL: invalid or incomplete input
            }
            // glibc counts irreversible conversions in rc; CP932 tables are
            // exact, but a non-zero count means something was substituted.
            if (rc != 0) return false;
        }
        std::size_t flushRc = iconv(cd_, nullptr, nullptr, &dst, &dstLeft);
        if (flushRc == static_cast<std::size_t>(-1)) return false;
        result.resize(result.size() - dstLeft);
        out.swap(result);
        return true;
    }

private:
    iconv_t cd_;
    std::mutex mutex_;
};

bool IsAscii(const std::string& s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

// The reason of a failed file operation, in the words of the other messages.
std::string Errno(int e) {
    switch (e) {
    case ENOENT: return "ファイルがありません";
    case EACCES:
    case EPERM: return "権限がありません";
    case EISDIR: return "ファイルではなくフォルダです";
    case ENOTDIR: return "途中の名前がフォルダではありません";
    case ENOSPC: return "ディスクに空きがありません";
    case EROFS: return "読み取り専用の場所です";
    case EIO: return "入出力エラー";
    default: return std::strerror(e);
    }
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

mode_t ProcessUmask() {
    // Read once: umask can only be read by setting it.
    static const mode_t mask = [] {
        mode_t m = ::umask(022);
        ::umask(m);
        return m;
    }();
    return mask;
}

std::string DirOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

std::size_t Utf8CharLength(const std::string& s, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (pos + length > s.size()) return 1;
    for (std::size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(s[pos + i]) & 0xC0) != 0x80) return 1;
    return length;
}

bool DecodeCp932(const std::string& bytes, std::string& utf8) {
    if (IsAscii(bytes)) {
        utf8 = bytes;
        return true;
    }
    static Converter conv("UTF-8", "CP932");
    return conv.convert(bytes, utf8);
}

bool EncodeCp932(const std::string& utf8, std::string& bytes) {
    if (IsAscii(utf8)) {
        bytes = utf8;
        return true;
    }
    static Converter conv("CP932", "UTF-8");
    return conv.convert(utf8, bytes);
}

// ---------------------------------------------------------------- reader

TextLineReader::~TextLineReader() { close(); }

bool IsValidUtf8(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t len;
        unsigned lo = 0x80, hi = 0xBF;  // bounds of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0) lo = 0xA0;
            if (c == 0xED) hi = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0) lo = 0x90;
            if (c == 0xF4) hi = 0x8F;
        } else {
            return false;
        }
        if (i + len > n) return false;
        if (p[i + 1] < lo || p[i + 1] > hi) return false;
        for (std::size_t k = 2; k < len; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF) return false;
        i += len;
    }
    return true;
}

namespace {

// Reads the whole file once to see whether it is UTF-8, then rewinds. A
// sequence cut by the chunk border is carried into the next chunk.
bool FileIsUtf8(int fd) {
    std::string carry;
    char chunk[65536];
    bool valid = true;
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::string bytes = carry + std::string(chunk, static_cast<std::size_t>(n));
        // Keep an incomplete sequence at the end for the next chunk.
        std::size_t cut = bytes.size();
        for (std::size_t back = 0; back < 3 && back < bytes.size(); ++back) {
            const auto c = static_cast<unsigned char>(bytes[bytes.size() - 1 - back]);
            if ((c & 0xC0) == 0x80) continue;
            if (c >= 0xC0) cut = bytes.size() - 1 - back;
            break;
        }
        carry = bytes.substr(cut);
        bytes.resize(cut);
        if (!IsValidUtf8(bytes)) {
            valid = false;
            break;
        }
    }
    if (valid && !carry.empty()) valid = IsValidUtf8(carry);
    ::lseek(fd, 0, SEEK_SET);
    return valid;
}

}  // namespace

bool TextLineReader::open(const std::string& path, Encoding encoding) {
    close();
    encoding_ = encoding;
    path_ = path;
    error_.clear();
    buf_.clear();
    pos_ = 0;
    eof_ = false;
    lineNo_ = 0;
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        error_ = "ファイルを開けません: " + path + " (" + Errno(errno) + ")";
        return false;
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        error_ = "ファイルを読めません: " + path + " (" + Errno(EISDIR) + ")";
        close();
        return false;
    }
    if (encoding_ == Encoding::Detect) encoding_ = FileIsUtf8(fd_) ? Encoding::Utf8 : Encoding::Cp932;
    return true;
}

bool TextLineReader::fill() {
    if (eof_) return false;
    if (pos_ > 0) {
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            error_ = "ファイルを読めません: " + path_ + " (" + Errno(errno) + ")";
            eof_ = true;
            return false;
        }
        if (n == 0) {
            eof_ = true;
            return false;
        }
        buf_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
}

bool TextLineReader::next(std::string& line) {
    if (fd_ < 0 || !error_.empty()) return false;
    std::size_t nl;
    while ((nl = buf_.find('\n', pos_)) == std::string::npos) {
        if (!fill()) break;
    }
    if (!error_.empty()) return false;
    std::string raw;
    if (nl == std::string::npos) {
        if (pos_ >= buf_.size()) return false;  // end of file
        raw = buf_.substr(pos_);
        pos_ = buf_.size();
    } else {
        raw = buf_.substr(pos_, nl - pos_);
        pos_ = nl + 1;
    }
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    ++lineNo_;
    if (encoding_ == Encoding::Utf8) {
        if (lineNo_ == 1 && raw.compare(0, 3, "\xEF\xBB\xBF") == 0) raw.erase(0, 3);
        if (!IsValidUtf8(raw)) {
            error_ = path_ + " の " + std::to_string(lineNo_) + " 行目は UTF-8 の文字として読めません。";
            return false;
        }
        line = std::move(raw);
        return true;
    }
    if (!DecodeCp932(raw, line)) {
        error_ = path_ + " の " + std::to_string(lineNo_) +
                 " 行目は Shift_JIS (コードページ 932) の文字として読めません。";
        return false;
    }
    return true;
}

void TextLineReader::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool ReadTextLines(const std::string& path, std::vector<std::string>& lines, std::string& error) {
    lines.clear();
    TextLineReader reader;
    if (!reader.open(path)) {
        error = reader.error();
        return false;
    }
    std::string line;
    while (reader.next(line)) lines.push_back(line);
    if (!reader.error().empty()) {
        error = reader.error();
        lines.clear();
        return false;
    }
    return true;
}

bool WriteTextFileAtomic(const std::string& path, const std::vector<std::string>& lines,
                         std::string& error) {
    std::string content;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string bytes;
        if (!EncodeCp932(lines[i], bytes)) {
            error = path + ", line " + std::to_string(i + 1) +
                    ": the text holds a character that Shift_JIS (code page 932) cannot store";
            return false;
        }
        content += bytes;
        content += "\r\n";
    }
    std::string tmpl = DirOf(path) + "/.korvane-save-XXXXXX";
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        error = "Cannot write " + path + ": " + Errno(errno);
        return false;
    }
    bool ok = WriteAll(fd, content.data(), content.size()) && ::fsync(fd) == 0;
    int savedErrno = errno;
    // mkstemp creates the file 0600: keep the target's permissions, or give a
    // new file the usual ones.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        ::fchmod(fd, st.st_mode & 07777);
    else
        ::fchmod(fd, 0666 & ~ProcessUmask());
    if (::close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && ::rename(tmpl.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        ::unlink(tmpl.c_str());
        error = "Cannot write " + path + ": " + Errno(savedErrno);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- line writer

TextLineWriter::~TextLineWriter() { close(); }

bool TextLineWriter::open(const std::string& path, Mode mode) {
    close();
    path_ = path;
    error_.clear();
    lines_ = 0;
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_APPEND;
    if (mode == Mode::Truncate) flags |= O_TRUNC;
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0) {
        error_ = "Cannot open " + path + ": " + Errno(errno);
        return false;
    }
    return true;
}

bool TextLineWriter::truncate(std::uint64_t size) {
    if (fd_ < 0) {
        error_ = "File not open: " + path_;
        return false;
    }
    struct stat st {};
    if (size > 0 && ::fstat(fd_, &st) == 0 && static_cast<std::uint64_t>(st.st_size) <= size) return true;
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
        error_ = "Cannot write " + path_ + ": " + Errno(errno);
        return false;
    }
    return true;
}

bool TextLineWriter::writeLine(const std::string& utf8) {
    if (fd_ < 0) {
        error_ = "File not open: " + path_;
        return false;
    }
    std::string bytes;
    if (!EncodeCp932(utf8, bytes)) {
        error_ = path_ + ", line " + std::to_string(lines_ + 1) +
                 ": the text holds a character that Shift_JIS (code page 932) cannot store";
        return false;
    }
    bytes += "\r\n";
    // One write call per line: with O_APPEND the line lands whole. When the
    // disk fills up part way, the part that got out is cut off again, so the
    // file always ends with a whole line.
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    if (!WriteAll(fd_, bytes.data(), bytes.size())) {
        const int e = errno;
        error_ = "Cannot write " + path_ + ": " + Errno(e);
        if (end >= 0 && ::ftruncate(fd_, end) == 0)
            error_ += " (the part of the line written was removed; the file ends with its last whole line)";
        else
            error_ += " (the file may end with a partial line)";
        return false;
    }
    ++lines_;
    return true;
}

bool TextLineWriter::close() {
    if (fd_ < 0) return true;
    bool ok = ::fsync(fd_) == 0;
    if (!ok) error_ = "Cannot write " + path_ + ": " + Errno(errno);
    if (::close(fd_) != 0 && ok) {
        ok = false;
        error_ = "Cannot write " + path_ + ": " + Errno(errno);
    }
    fd_ = -1;
    return ok;
}

}  // namespace korvane

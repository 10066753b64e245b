#pragma once
// The system's text files: Shift_JIS (code page 932) with CR LF line ends on
// disk, UTF-8 inside the program. Conversion happens here and nowhere else.
// Invalid bytes on reading, or characters that code page 932 cannot hold on
// writing, are errors that name the file and line; nothing is substituted.

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// Converts one line of code page 932 bytes to UTF-8. Returns false when the
// bytes are not valid code page 932.
bool DecodeCp932(const std::string& bytes, std::string& utf8);
// Converts UTF-8 text to code page 932 bytes. Returns false when the text holds
// a character that code page 932 cannot represent (or is not valid UTF-8).
bool EncodeCp932(const std::string& utf8, std::string& bytes);

// Length in bytes of the UTF-8 character that starts at `pos`: a well-formed
// sequence as a whole, anything else one byte at a time.
std::size_t Utf8CharLength(const std::string& text, std::size_t pos);

// Reads a text file line by line. CR LF and LF alone both end a line; a final
// line without an end is still a line. An empty file has no lines.
class TextLineReader {
public:
    TextLineReader() = default;
    ~TextLineReader();
    TextLineReader(const TextLineReader&) = delete;
    TextLineReader& operator=(const TextLineReader&) = delete;

    // How the bytes are read: code page 932 (the system's files), UTF-8, or
    // decided once at open: a file that is valid UTF-8 as a whole (with or
    // without a byte-order mark) is UTF-8, anything else code page 932.
    enum class Encoding { Cp932, Utf8, Detect };

    bool open(const std::string& path, Encoding encoding = Encoding::Cp932);
    // The encoding in use (after detection).
    Encoding encoding() const { return encoding_; }
    // Next line as UTF-8 in `line`. Returns false at the end of the file or on
    // an error; then error() is non-empty for an error.
    bool next(std::string& line);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    // Number of the line last returned (1 for the first line).
    std::int64_t lineNumber() const { return lineNo_; }

private:
    bool fill();
    int fd_ = -1;
    std::string path_;
    std::string buf_;
    std::size_t pos_ = 0;
    bool eof_ = false;
    std::int64_t lineNo_ = 0;
    std::string error_;
    Encoding encoding_ = Encoding::Cp932;
};

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool IsValidUtf8(const std::string& bytes);

// Reads a whole file into lines. Returns false with a message on failure.
bool ReadTextLines(const std::string& path, std::vector<std::string>& lines, std::string& error);

// Writes a whole file: encodes every line first, writes a temporary file in the
// target's folder, flushes it to disk and renames it over the target, so a
// crash never leaves a half-written file. Returns false with a message on
// failure; the target then is unchanged.
bool WriteTextFileAtomic(const std::string& path, const std::vector<std::string>& lines,
                         std::string& error);

// Appends lines one at a time. Every line reaches the operating system as soon
// as it is written; close() also syncs it to disk.
class TextLineWriter {
public:
    // Truncate empties the file at open; Append and Keep write after its end
    // (Keep: the caller may empty it later with truncate()).
    enum class Mode { Truncate, Append, Keep };
    TextLineWriter() = default;
    ~TextLineWriter();
    TextLineWriter(const TextLineWriter&) = delete;
    TextLineWriter& operator=(const TextLineWriter&) = delete;

    bool open(const std::string& path, Mode mode);
    // Encodes and writes the line followed by CR LF. The line is either written
    // whole or not at all as far as encoding goes.
    bool writeLine(const std::string& utf8);
    // Cuts the open file to its first `size` bytes (nothing when it is not
    // longer); later lines go after them.
    bool truncate(std::uint64_t size = 0);
    bool close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    std::int64_t linesWritten() const { return lines_; }

private:
    int fd_ = -1;
    std::string path_;
    std::string error_;
    std::int64_t lines_ = 0;
};

}  // namespace korvane

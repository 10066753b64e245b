// The file boundary: Shift_JIS (code page 932) to UTF-8 and back, the UTF-8
// checks, and TextLineReader over the input as a file in each encoding. The
// first input byte may put plain lines before the input in the file, so that
// lines and characters also straddle the reader's 64 KiB chunks.
//
// Properties: decoded text is valid UTF-8 and encodes back to bytes that
// decode to the same text; IsValidUtf8 agrees with a plain decoder written
// here; the reader's lines are the file's lines as a plain split gives them.

#include "FuzzSupport.h"
#include "platform/TextFile.h"

using namespace korvane;

namespace {

// Well-formed UTF-8, decoded the long way: shortest form, no surrogates,
// nothing above U+10FFFF.
bool PlainValidUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        std::uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4, code = c & 0x07;
        } else {
            return false;
        }
        if (i + len > s.size()) return false;
        for (std::size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            code = (code << 6) | (b & 0x3F);
        }
        static const std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[len] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += len;
    }
    return true;
}

// The lines of a file: split at LF, one CR before it taken off, a last line
// without an end still a line.
std::vector<std::string> PlainLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t nl = bytes.find('\n', start);
        std::string line = bytes.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

void CheckReader(const std::string& path, const std::string& bytes, TextLineReader::Encoding encoding) {
    std::vector<std::string> expected = PlainLines(bytes);
    const bool utf8 = encoding == TextLineReader::Encoding::Utf8;
    if (utf8 && !expected.empty() && expected[0].compare(0, 3, "\xEF\xBB\xBF") == 0) expected[0].erase(0, 3);
    TextLineReader reader;
    FUZZ_CHECK(reader.open(path, encoding), "the file opens");
    std::string line;
    std::size_t k = 0;
    for (; k < expected.size(); ++k) {
        std::string decoded;
        const bool good = utf8 ? IsValidUtf8(expected[k]) : DecodeCp932(expected[k], decoded);
        if (utf8) decoded = expected[k];
        const bool read = reader.next(line);
        if (!good) {
            FUZZ_CHECK(!read && !reader.error().empty(), "a bad line is an error");
            return;
        }
        FUZZ_CHECK(read, "a good line is read");
        FUZZ_CHECK(line == decoded, "the line as split and decoded");
        FUZZ_CHECK(reader.lineNumber() == static_cast<std::int64_t>(k + 1), "line numbers count the lines");
    }
    FUZZ_CHECK(!reader.next(line) && reader.error().empty(), "the end after the last line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t choice = data[0];
    const std::string input(fuzz::AsText(data + 1, size - 1));

    std::string utf8;
    if (DecodeCp932(input, utf8)) {
        FUZZ_CHECK(IsValidUtf8(utf8), "decoded text is UTF-8");
        std::string bytes;
        FUZZ_CHECK(EncodeCp932(utf8, bytes), "decoded text encodes again");
        std::string back;
        FUZZ_CHECK(DecodeCp932(bytes, back) && back == utf8, "encoded text decodes to the same text");
    }
    const bool valid = IsValidUtf8(input);
    FUZZ_CHECK(valid == PlainValidUtf8(input), "IsValidUtf8 agrees with a plain decoder");
    std::string bytes;
    if (EncodeCp932(input, bytes)) {
        FUZZ_CHECK(valid, "only UTF-8 encodes");
        std::string back;
        FUZZ_CHECK(DecodeCp932(bytes, back) && back == input, "encoded text decodes to the same text");
    }
    for (std::size_t pos = 0; pos < input.size();) {
        const std::size_t n = Utf8CharLength(input, pos);
        FUZZ_CHECK(n >= 1 && n <= 4 && pos + n <= input.size(), "a character inside the text");
        if (valid) FUZZ_CHECK(IsValidUtf8(input.substr(pos, n)), "characters of valid text are valid");
        pos += n;
    }

    // In a file; one time in sixteen after 0 to 7 bytes less than one chunk
    // of plain lines.
    std::string file;
    if ((choice & 0xF0) == 0xF0) {
        const std::string line(62, 'a');
        while (file.size() < 65536) file += line + "\r\n";
        file.resize(65536 - (choice & 7));
    }
    file += input;
    const std::string path = fuzz::WriteScratchFile(file);
    // Lines are cut from the chunks the same way in either encoding: a long
    // file is read in one of them only, to keep the runs quick.
    if (file.size() <= input.size() || (choice & 8) == 0) CheckReader(path, file, TextLineReader::Encoding::Cp932);
    if (file.size() <= input.size() || (choice & 8) != 0) CheckReader(path, file, TextLineReader::Encoding::Utf8);
    TextLineReader detect;
    FUZZ_CHECK(detect.open(path, TextLineReader::Encoding::Detect), "the file opens");
    FUZZ_CHECK((detect.encoding() == TextLineReader::Encoding::Utf8) == IsValidUtf8(file),
               "UTF-8 exactly when the whole file is valid UTF-8");
    return 0;
}

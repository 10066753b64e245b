// The workbook file read as a zip package: its directory and entries (never
// more than their declared sizes), what makes a file unfit to be opened, and
// the walk through the package's parts to the values Excel stored. Reading
// the parts' XML is in SheetXml.cpp.
#include "workbook/WorkbookFile.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <map>

#include <zlib.h>

#include "workbook/SheetXml.h"

namespace korvane {

namespace {

std::uint32_t U16(const unsigned char* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }
std::uint32_t U32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool ReadAt(std::ifstream& in, std::uint64_t offset, std::size_t count, std::string& out) {
    out.assign(count, '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(out.data(), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(in.gcount()) == count;
}

std::string Megabytes(std::uint64_t bytes) {
    const std::uint64_t tenths = (bytes * 10 + 512 * 1024) / (1024 * 1024);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

const ZipEntry* Find(const std::vector<ZipEntry>& entries, const std::string& name) {
    for (const auto& e : entries)
        if (e.name == name) return &e;
    return nullptr;
}

}  // namespace

using xml::Attribute;
using xml::FolderOf;
using xml::NextTag;
using xml::Relationships;
using xml::ResolvedTarget;
using xml::Tag;
using xml::TextUntilClose;

bool ReadZipDirectory(const std::string& path, std::vector<ZipEntry>& entries, std::string& error) {
    entries.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "ファイルを読めません: " + path;
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::uint64_t size = static_cast<std::uint64_t>(in.tellg());
    // The end record: 22 bytes plus a comment of up to 65535.
    const std::uint64_t tail = std::min<std::uint64_t>(size, 22 + 65535);
    std::string buf;
    if (size < 22 || !ReadAt(in, size - tail, static_cast<std::size_t>(tail), buf)) {
        error = "zip 形式のファイルではありません: " + path;
        return false;
    }
    std::size_t eocd = std::string::npos;
    for (std::size_t i = buf.size() - 22 + 1; i-- > 0;)
        if (std::memcmp(buf.data() + i, "PK\x05\x06", 4) == 0) {
            eocd = i;
            break;
        }
    if (eocd == std::string::npos) {
        error = "zip 形式のファイルではありません: " + path;
        return false;
    }
    const auto* e = reinterpret_cast<const unsigned char*>(buf.data() + eocd);
    const std::uint32_t count = U16(e + 10);
    const std::uint64_t dirSize = U32(e + 12), dirOffset = U32(e + 16);
    std::string dir;
    if (dirOffset + dirSize > size || !ReadAt(in, dirOffset, static_cast<std::size_t>(dirSize), dir)) {
        error = "zip の目次が壊れています: " + path;
        return false;
    }
    std::size_t p = 0;
    for (std::uint32_t n = 0; n < count; ++n) {
        if (p + 46 > dir.size() || std::memcmp(dir.data() + p, "PK\x01\x02", 4) != 0) {
            error = "zip の目次が壊れています: " + path;
            return false;
        }
        const auto* h = reinterpret_cast<const unsigned char*>(dir.data() + p);
        ZipEntry entry;
        entry.method = static_cast<std::uint16_t>(U16(h + 10));
        entry.compressedSize = U32(h + 20);
        entry.size = U32(h + 24);
        const std::size_t nameLength = U16(h + 28), extraLength = U16(h + 30), commentLength = U16(h + 32);
        entry.localOffset = U32(h + 42);
        if (p + 46 + nameLength + extraLength + commentLength > dir.size()) {
            error = "zip の目次が壊れています: " + path;
            return false;
        }
        entry.name = dir.substr(p + 46, nameLength);
        // Zip64 sizes in the extra field.
        std::size_t x = p + 46 + nameLength;
        const std::size_t xEnd = x + extraLength;
        while (x + 4 <= xEnd) {
            const auto* f = reinterpret_cast<const unsigned char*>(dir.data() + x);
            const std::size_t len = U16(f + 2);
            if (U16(f) == 0x0001) {
                std::size_t q = x + 4;
                auto u64 = [&](std::uint64_t& v) {
                    if (q + 8 > x + 4 + len) return;
                    const auto* b = reinterpret_cast<const unsigned char*>(dir.data() + q);
                    v = U32(b) | (static_cast<std::uint64_t>(U32(b + 4)) << 32);
                    q += 8;
                };
                if (entry.size == 0xFFFFFFFFu) u64(entry.size);
                if (entry.compressedSize == 0xFFFFFFFFu) u64(entry.compressedSize);
                if (entry.localOffset == 0xFFFFFFFFu) u64(entry.localOffset);
            }
            x += 4 + len;
        }
        entries.push_back(std::move(entry));
        p += 46 + nameLength + extraLength + commentLength;
    }
    return true;
}

bool ReadZipEntry(const std::string& path, const ZipEntry& entry, std::string& bytes, std::string& error) {
    bytes.clear();
    std::ifstream in(path, std::ios::binary);
    std::string header;
    if (!in || !ReadAt(in, entry.localOffset, 30, header) || header.compare(0, 4, "PK\x03\x04") != 0) {
        error = "zip の中の " + entry.name + " を読めません: " + path;
        return false;
    }
    const auto* h = reinterpret_cast<const unsigned char*>(header.data());
    const std::uint64_t dataOffset = entry.localOffset + 30 + U16(h + 26) + U16(h + 28);
    std::string data;
    if (entry.compressedSize > kMaxExpandedBytes ||
        !ReadAt(in, dataOffset, static_cast<std::size_t>(entry.compressedSize), data)) {
        error = "zip の中の " + entry.name + " を読めません: " + path;
        return false;
    }
    if (entry.method == 0) {
        bytes = data.substr(0, static_cast<std::size_t>(entry.size));
        return true;
    }
    if (entry.method != 8) {
        error = "zip の中の " + entry.name + " は読めない圧縮方式です: " + path;
        return false;
    }
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        error = "zip を展開できません: " + path;
        return false;
    }
    // Never more than the declared size: a package that lies about its sizes
    // is cut there, not allowed to fill the memory.
    bytes.resize(static_cast<std::size_t>(entry.size));
    z.next_in = reinterpret_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(bytes.data());
    z.avail_out = static_cast<uInt>(bytes.size());
    const int rc = bytes.empty() ? Z_STREAM_END : inflate(&z, Z_FINISH);
    const std::size_t produced = bytes.size() - z.avail_out;
    inflateEnd(&z);
    if (rc != Z_STREAM_END || produced != bytes.size()) {
        error = "zip の中の " + entry.name + " が壊れています: " + path;
        bytes.clear();
        return false;
    }
    return true;
}

std::string WorkbookFileProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};  // a missing file has its own message
    if (S_ISDIR(st.st_mode)) return "ブックのパスがフォルダーを指しています。ブックのファイルを指定してください: " + path;
    if (!S_ISREG(st.st_mode))
        return "ブックのパスが通常のファイルではありません (名前付きパイプやデバイスなど)。ブックのファイルを指定してください: " +
               path;
    if (st.st_size == 0) return "ブックのファイルが空です (0 バイト)。表計算のブックではありません: " + path;
    std::ifstream in(path, std::ios::binary);
    char magic[8] = {};
    in.read(magic, 8);
    const std::string protectedText =
        "ブックがパスワードで保護されているため開けません。パスワードを外して保存したブックを指定してください: " + path;
    if (std::memcmp(magic, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0) {
        // An encrypted OOXML package is a compound file with an
        // "EncryptedPackage" stream; the stream's name stands in UTF-16 in
        // the directory.
        const std::uint64_t limit = std::min<std::uint64_t>(static_cast<std::uint64_t>(st.st_size), 64ull << 20);
        std::string bytes;
        if (ReadAt(in, 0, static_cast<std::size_t>(limit), bytes)) {
            const char name[] = "E\0n\0c\0r\0y\0p\0t\0e\0d\0P\0a\0c\0k\0a\0g\0e\0";
            if (bytes.find(std::string(name, sizeof name - 1)) != std::string::npos) return protectedText;
        }
        return {};
    }
    if (std::memcmp(magic, "PK\x03\x04", 4) != 0) return {};
    std::vector<ZipEntry> entries;
    std::string error;
    if (!ReadZipDirectory(path, entries, error)) return {};  // the application says what is wrong
    std::uint64_t expanded = 0;
    for (const auto& e : entries) expanded += e.size;
    const std::uint64_t fileSize = static_cast<std::uint64_t>(st.st_size);
    if (expanded > kMaxExpandedBytes ||
        (expanded > kRatioCheckedBytes && expanded / std::max<std::uint64_t>(fileSize, 1) > kMaxExpansionRatio))
        return "ブックのファイルは展開すると " + Megabytes(expanded) + " になります (ファイルは " + Megabytes(fileSize) +
               ")。大きすぎて開くと時間とメモリーを使い尽くすため、開きません: " + path;
    if (const ZipEntry* manifest = Find(entries, "META-INF/manifest.xml")) {
        std::string xml;
        if (manifest->size < (16u << 20) && ReadZipEntry(path, *manifest, xml, error) &&
            xml.find("encryption-data") != std::string::npos)
            return protectedText;
    }
    return {};
}

bool ReadStoredValues(const std::string& path, StoredValues& values, std::string& error) {
    values = StoredValues{};
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    in.read(magic, 4);
    if (std::memcmp(magic, "PK\x03\x04", 4) != 0) return true;
    std::vector<ZipEntry> entries;
    if (!ReadZipDirectory(path, entries, error)) return false;
    auto part = [&](const std::string& name, std::string& bytes) {
        const ZipEntry* e = Find(entries, name);
        return e && ReadZipEntry(path, *e, bytes, error);
    };
    std::string rootRels, workbookPart = "xl/workbook.xml";
    if (part("_rels/.rels", rootRels)) Relationships(rootRels, "", &workbookPart);
    std::string workbook;
    if (!Find(entries, workbookPart)) return true;  // not a spreadsheet package (.ods, .docx ...)
    if (!part(workbookPart, workbook)) return false;
    std::string rels;
    const std::string folder = FolderOf(workbookPart);
    const std::string relsName = folder + "_rels/" + workbookPart.substr(folder.size()) + ".rels";
    if (!part(relsName, rels)) {
        if (error.empty()) error = "ブックの " + relsName + " がありません: " + path;
        return false;
    }
    std::string sharedPart;
    const auto targets = Relationships(rels, folder);
    {
        Tag tag;
        std::size_t start = 0;
        for (std::size_t p = 0; NextTag(rels, p, start, tag); p = tag.end) {
            const std::string type = Attribute(tag.attributes, "Type");
            if (tag.name == "Relationship" && type.size() >= 14 &&
                type.compare(type.size() - 14, 14, "/sharedStrings") == 0)
                sharedPart = ResolvedTarget(folder, Attribute(tag.attributes, "Target"));
        }
    }
    std::vector<std::string> shared;
    std::string sharedXml;
    if (!sharedPart.empty() && part(sharedPart, sharedXml)) {
        Tag tag;
        std::size_t start = 0;
        for (std::size_t p = 0; NextTag(sharedXml, p, start, tag);) {
            p = tag.end;
            if (tag.name == "si" && !tag.closing) {
                if (tag.selfClosing) {
                    shared.emplace_back();
                    continue;
                }
                // Only the <t> texts count (phonetic runs <rPh> are left out).
                std::size_t end = 0;
                std::string text;
                Tag inner;
                std::size_t q = p, innerStart = 0;
                bool phonetic = false;
                while (NextTag(sharedXml, q, innerStart, inner)) {
                    q = inner.end;
                    if (inner.name == "si" && inner.closing) break;
                    if (inner.name == "rPh") phonetic = !inner.closing && !inner.selfClosing;
                    if (inner.name == "t" && !inner.closing && !inner.selfClosing) {
                        const std::string t = TextUntilClose(sharedXml, q, "t", end);
                        q = end;
                        if (!phonetic) text += t;
                    }
                }
                shared.push_back(text);
                p = q;
            }
        }
    }
    std::string app;
    if (part("docProps/app.xml", app)) {
        const auto at = app.find("Application>");
        if (at != std::string::npos) {
            const auto end = app.find('<', at);
            if (end != std::string::npos) values.application = XmlUnescape(app.substr(at + 12, end - at - 12));
        }
    }
    error.clear();
    Tag tag;
    std::size_t start = 0;
    for (std::size_t p = 0; NextTag(workbook, p, start, tag); p = tag.end) {
        if (tag.closing || tag.name != "sheet") continue;
        const std::string name = Attribute(tag.attributes, "name");
        const auto target = targets.find(Attribute(tag.attributes, "id", true));
        if (target == targets.end()) continue;
        std::string xml;
        if (!Find(entries, target->second)) continue;  // a chart sheet or a missing part: nothing stored
        if (!part(target->second, xml)) return false;
        ParseSheetCells(xml, name, shared, values.cells, values.withoutValue);
    }
    values.readable = true;
    return true;
}

}  // namespace korvane

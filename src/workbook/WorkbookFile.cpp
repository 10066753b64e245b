#include "workbook/WorkbookFile.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <map>

#include <zlib.h>

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

// ---------------------------------------------------------------- XML

// One tag of an XML text: its local name (without prefix), whether it is a
// closing tag or closes itself, and its attributes' text.
struct Tag {
    std::string name;
    bool closing = false;
    bool selfClosing = false;
    std::string attributes;
    std::size_t end = 0;  // just after '>'
};

// The next element tag from `from` (comments, declarations and processing
// instructions are skipped). False at the end.
bool NextTag(const std::string& xml, std::size_t from, std::size_t& start, Tag& tag) {
    for (std::size_t at = xml.find('<', from); at != std::string::npos; at = xml.find('<', at + 1)) {
        if (at + 1 >= xml.size()) return false;
        const char c = xml[at + 1];
        if (c == '?' || c == '!') {
            const char* close = xml.compare(at, 4, "<!--") == 0 ? "-->" : ">";
            const std::size_t e = xml.find(close, at + 2);
            if (e == std::string::npos) return false;
            at = e;
            continue;
        }
        const std::size_t gt = xml.find('>', at);
        if (gt == std::string::npos) return false;
        std::size_t p = at + 1;
        tag = Tag{};
        if (xml[p] == '/') {
            tag.closing = true;
            ++p;
        }
        std::size_t nameEnd = p;
        while (nameEnd < gt && xml[nameEnd] != ' ' && xml[nameEnd] != '/' && xml[nameEnd] != '\t' &&
               xml[nameEnd] != '\r' && xml[nameEnd] != '\n')
            ++nameEnd;
        std::string name = xml.substr(p, nameEnd - p);
        if (const auto colon = name.find(':'); colon != std::string::npos) name.erase(0, colon + 1);
        tag.name = name;
        tag.selfClosing = gt > at && xml[gt - 1] == '/';
        tag.attributes = xml.substr(nameEnd, gt - nameEnd - (tag.selfClosing ? 1 : 0));
        tag.end = gt + 1;
        start = at;
        return true;
    }
    return false;
}

// The value of attribute `name` (matched on its local name when `local`).
std::string Attribute(const std::string& attributes, const std::string& name, bool local = false) {
    std::size_t p = 0;
    while (p < attributes.size()) {
        while (p < attributes.size() && (attributes[p] == ' ' || attributes[p] == '\t' || attributes[p] == '\r' ||
                                         attributes[p] == '\n'))
            ++p;
        const std::size_t eq = attributes.find('=', p);
        if (eq == std::string::npos) return {};
        std::string key = attributes.substr(p, eq - p);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        std::size_t q = eq + 1;
        while (q < attributes.size() && attributes[q] == ' ') ++q;
        if (q >= attributes.size()) return {};
        const char quote = attributes[q];
        const std::size_t close = attributes.find(quote, q + 1);
        if (close == std::string::npos) return {};
        std::string k = key;
        if (local)
            if (const auto colon = k.find(':'); colon != std::string::npos) k.erase(0, colon + 1);
        if (k == name) return XmlUnescape(attributes.substr(q + 1, close - q - 1));
        p = close + 1;
    }
    return {};
}

// The character data up to the closing tag of `name`, from `from`; `next`
// is set after that closing tag.
std::string TextUntilClose(const std::string& xml, std::size_t from, const std::string& name, std::size_t& next) {
    std::string text;
    std::size_t p = from;
    Tag tag;
    std::size_t start = 0;
    int depth = 0;
    while (NextTag(xml, p, start, tag)) {
        if (depth == 0 || tag.name != name) text += xml.substr(p, start - p);
        p = tag.end;
        if (tag.name == name && tag.closing) {
            if (depth == 0) {
                next = p;
                return XmlUnescape(text);
            }
            --depth;
        } else if (tag.name == name && !tag.selfClosing) {
            ++depth;
        }
    }
    next = xml.size();
    return XmlUnescape(text + xml.substr(std::min(p, xml.size())));
}

bool ParseAddress(const std::string& address, std::int64_t& row, std::int32_t& column) {
    std::size_t i = 0;
    column = 0;
    row = 0;
    while (i < address.size() && address[i] >= 'A' && address[i] <= 'Z') {
        column = column * 26 + (address[i] - 'A' + 1);
        if (column > 16384) return false;
        ++i;
    }
    if (i == 0 || i == address.size()) return false;
    for (; i < address.size(); ++i) {
        if (address[i] < '0' || address[i] > '9') return false;
        row = row * 10 + (address[i] - '0');
        if (row > 1048576) return false;
    }
    return row > 0;
}

std::string ColumnLetters(std::int32_t column) {
    std::string s;
    while (column > 0) {
        const int r = (column - 1) % 26;
        s.insert(s.begin(), static_cast<char>('A' + r));
        column = (column - 1) / 26;
    }
    return s;
}

std::string FolderOf(const std::string& part) {
    const auto slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// A relationship target resolved against the folder of its source part.
std::string ResolvedTarget(const std::string& folder, const std::string& target) {
    std::string path = target.rfind('/', 0) == 0 ? target.substr(1) : folder + target;
    // "../x" steps
    std::vector<std::string> parts;
    std::size_t p = 0;
    while (p <= path.size()) {
        const auto slash = path.find('/', p);
        const std::string piece = path.substr(p, slash == std::string::npos ? std::string::npos : slash - p);
        if (piece == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!piece.empty() && piece != ".") {
            parts.push_back(piece);
        }
        if (slash == std::string::npos) break;
        p = slash + 1;
    }
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
    return out;
}

// Id -> target of a .rels part.
std::map<std::string, std::string> Relationships(const std::string& xml, const std::string& folder,
                                                 std::string* officeDocument = nullptr) {
    std::map<std::string, std::string> out;
    Tag tag;
    std::size_t start = 0;
    for (std::size_t p = 0; NextTag(xml, p, start, tag); p = tag.end) {
        if (tag.closing || tag.name != "Relationship") continue;
        if (Attribute(tag.attributes, "TargetMode") == "External") continue;
        const std::string target = ResolvedTarget(folder, Attribute(tag.attributes, "Target"));
        out[Attribute(tag.attributes, "Id")] = target;
        const std::string type = Attribute(tag.attributes, "Type");
        if (officeDocument && type.size() >= 15 && type.compare(type.size() - 15, 15, "/officeDocument") == 0)
            *officeDocument = target;
    }
    return out;
}

const ZipEntry* Find(const std::vector<ZipEntry>& entries, const std::string& name) {
    for (const auto& e : entries)
        if (e.name == name) return &e;
    return nullptr;
}

}  // namespace

std::string XmlUnescape(const std::string& text) {
    if (text.find('&') == std::string::npos) return text;
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        const auto semi = text.find(';', i);
        if (semi == std::string::npos) {
            out += text.substr(i);
            break;
        }
        const std::string entity = text.substr(i + 1, semi - i - 1);
        std::uint32_t code = 0;
        bool ok = true;
        if (entity == "lt") code = '<';
        else if (entity == "gt") code = '>';
        else if (entity == "amp") code = '&';
        else if (entity == "quot") code = '"';
        else if (entity == "apos") code = '\'';
        else if (entity.size() > 1 && entity[0] == '#') {
            char* end = nullptr;
            const bool hex = entity[1] == 'x' || entity[1] == 'X';
            code = static_cast<std::uint32_t>(std::strtoul(entity.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10));
            ok = end && *end == '\0' && code > 0 && code < 0x110000;
        } else {
            ok = false;
        }
        if (!ok) {
            out += '&';
            continue;
        }
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
        i = semi;
    }
    return out;
}

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

void ParseSheetCells(const std::string& xml, const std::string& sheet, const std::vector<std::string>& sharedStrings,
                     std::vector<StoredCell>& cells, std::size_t& withoutValue) {
    Tag tag;
    std::size_t start = 0;
    std::size_t p = 0;
    bool inCell = false, hasFormula = false, hasValue = false;
    StoredCell cell;
    std::string type;
    std::int64_t nextRow = 1;
    std::int32_t nextColumn = 1;
    while (NextTag(xml, p, start, tag)) {
        p = tag.end;
        if (tag.name == "row" && !tag.closing) {
            const std::string r = Attribute(tag.attributes, "r");
            if (!r.empty()) nextRow = std::strtoll(r.c_str(), nullptr, 10);
            nextColumn = 1;
            continue;
        }
        if (tag.name == "c") {
            if (tag.closing) {
                if (inCell && hasFormula) {
                    if (hasValue) {
                        if (type == "str" || type == "inlineStr") {
                            cell.kind = StoredCell::Kind::Text;
                        } else if (type == "s") {
                            cell.kind = StoredCell::Kind::Text;
                            const auto index = static_cast<std::size_t>(std::strtoull(cell.value.c_str(), nullptr, 10));
                            cell.value = index < sharedStrings.size() ? sharedStrings[index] : std::string();
                        } else if (type == "b") {
                            cell.kind = StoredCell::Kind::Logical;
                        } else if (type == "e") {
                            cell.kind = StoredCell::Kind::Error;
                        } else {
                            cell.kind = StoredCell::Kind::Number;
                        }
                        cells.push_back(cell);
                    } else {
                        ++withoutValue;
                    }
                }
                inCell = false;
                continue;
            }
            cell = StoredCell{};
            cell.sheet = sheet;
            type = Attribute(tag.attributes, "t");
            const std::string r = Attribute(tag.attributes, "r");
            if (r.empty() || !ParseAddress(r, cell.row, cell.column)) {
                cell.row = nextRow;
                cell.column = nextColumn;
            }
            cell.address = ColumnLetters(cell.column) + std::to_string(cell.row);
            nextRow = cell.row;
            nextColumn = cell.column + 1;
            inCell = !tag.selfClosing;
            hasFormula = hasValue = false;
            continue;
        }
        if (!inCell || tag.closing) continue;
        if (tag.name == "f") {
            hasFormula = true;
            if (!tag.selfClosing) cell.formula = TextUntilClose(xml, p, "f", p);
        } else if (tag.name == "v") {
            hasValue = true;
            if (!tag.selfClosing) cell.value = TextUntilClose(xml, p, "v", p);
        } else if (tag.name == "is") {
            hasValue = true;
            cell.value = TextUntilClose(xml, p, "is", p);
        }
    }
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

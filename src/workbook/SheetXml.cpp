// The XML of an OOXML spreadsheet package, read without an XML library: a
// scanner for element tags, their attributes and character data (enough for
// the parts Excel writes), the package's relationships from a .rels part to
// the parts they name, and the formula cells of one sheet with their stored
// values. The package itself (the zip reader) is in WorkbookFile.cpp.
#include "workbook/SheetXml.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "workbook/WorkbookFile.h"

namespace korvane {

namespace {

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

}  // namespace

namespace xml {

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
std::string Attribute(const std::string& attributes, const std::string& name, bool local) {
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
                                                 std::string* officeDocument) {
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

}  // namespace xml

using xml::Attribute;
using xml::NextTag;
using xml::Tag;
using xml::TextUntilClose;

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

}  // namespace korvane

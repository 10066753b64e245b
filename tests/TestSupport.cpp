#include "TestSupport.h"

#include <zlib.h>

#include "workbook/WorkbookFile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/TextFile.h"

namespace korvane::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "korvane-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string Cp932Lines(const std::vector<std::string>& utf8Lines) {
    std::string all;
    for (const auto& l : utf8Lines) {
        std::string b;
        if (!EncodeCp932(l, b)) throw std::runtime_error("not CP932: " + l);
        all += b + "\r\n";
    }
    return all;
}

namespace {

void Put16(std::string& out, unsigned v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& out, unsigned long v) {
    Put16(out, static_cast<unsigned>(v & 0xFFFF));
    Put16(out, static_cast<unsigned>((v >> 16) & 0xFFFF));
}

}  // namespace

std::string ZipBytes(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string out, directory;
    for (const auto& [name, bytes] : entries) {
        const unsigned long crc =
            crc32(0L, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
        // Version needed, flags, method (stored), time, date, CRC, sizes, name length.
        std::string common;
        for (unsigned v : {20u, 0u, 0u, 0u, 0x21u}) Put16(common, v);
        Put32(common, crc);
        Put32(common, bytes.size());
        Put32(common, bytes.size());
        Put16(common, static_cast<unsigned>(name.size()));
        const unsigned long offset = out.size();
        out += "PK\x03\x04" + common;
        Put16(out, 0);  // extra field length
        out += name + bytes;
        directory += "PK\x01\x02";
        Put16(directory, 20);  // version made by
        directory += common;
        for (int i = 0; i < 4; ++i) Put16(directory, 0);  // extra, comment, disk, internal attributes
        Put32(directory, 0);
        Put32(directory, offset);
        directory += name;
    }
    const unsigned long directoryOffset = out.size();
    out += directory + "PK\x05\x06";
    for (unsigned v : {0u, 0u, static_cast<unsigned>(entries.size()), static_cast<unsigned>(entries.size())})
        Put16(out, v);
    Put32(out, directory.size());
    Put32(out, directoryOffset);
    Put16(out, 0);
    return out;
}

void WriteXlsx(const std::string& path, const std::vector<std::pair<std::string, std::string>>& sheets,
               const std::string& application) {
    const std::string ns = "http://schemas.openxmlformats.org/";
    std::string types = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                        "<Types xmlns=\"" + ns + "package/2006/content-types\">"
                        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                        "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                        "<Override PartName=\"/docProps/app.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>";
    std::string workbook = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                           "<workbook xmlns=\"" + ns + "spreadsheetml/2006/main\" xmlns:r=\"" + ns +
                           "officeDocument/2006/relationships\"><sheets>";
    std::string rels = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                       "<Relationships xmlns=\"" + ns + "package/2006/relationships\">";
    std::vector<std::pair<std::string, std::string>> parts;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        types += "<Override PartName=\"/xl/worksheets/sheet" + n +
                 ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
        workbook += "<sheet name=\"" + sheets[i].first + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
        rels += "<Relationship Id=\"rId" + n + "\" Type=\"" + ns +
                "officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        parts.push_back({"xl/worksheets/sheet" + n + ".xml",
                         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet xmlns=\"" + ns +
                             "spreadsheetml/2006/main\"><sheetData>" + sheets[i].second + "</sheetData></worksheet>"});
    }
    types += "</Types>";
    workbook += "</sheets><calcPr calcId=\"191029\"/></workbook>";
    rels += "</Relationships>";
    std::vector<std::pair<std::string, std::string>> entries{
        {"[Content_Types].xml", types},
        {"_rels/.rels", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships xmlns=\"" + ns +
                            "package/2006/relationships\"><Relationship Id=\"rId1\" Type=\"" + ns +
                            "officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/>"
                            "<Relationship Id=\"rId2\" Type=\"" + ns +
                            "officeDocument/2006/relationships/extended-properties\" Target=\"docProps/app.xml\"/>"
                            "</Relationships>"},
        {"docProps/app.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Properties xmlns=\"" + ns +
                                 "officeDocument/2006/extended-properties\"><Application>" + application +
                                 "</Application></Properties>"},
        {"xl/workbook.xml", workbook},
        {"xl/_rels/workbook.xml.rels", rels}};
    entries.insert(entries.end(), parts.begin(), parts.end());
    WriteBytes(path, ZipBytes(entries));
}

bool ReplaceZipEntry(const std::string& path, const std::string& name, const std::string& bytes) {
    std::vector<ZipEntry> directory;
    std::string error;
    if (!ReadZipDirectory(path, directory, error)) return false;
    std::vector<std::pair<std::string, std::string>> entries;
    bool found = false;
    for (const ZipEntry& e : directory) {
        std::string content;
        if (e.name == name) {
            content = bytes;
            found = true;
        } else if (!ReadZipEntry(path, e, content, error)) {
            return false;
        }
        entries.push_back({e.name, content});
    }
    if (found) WriteBytes(path, ZipBytes(entries));
    return found;
}

}  // namespace korvane::test

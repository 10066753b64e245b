#pragma once
// Helpers of the whole-run tests: workbooks written as flat OpenDocument
// files, input and output tasks on their sheets.

#include <string>
#include <vector>

#include "TestSupport.h"
#include "project/Project.h"
#include "workbook/WorkbookLink.h"

namespace korvane::test {

// Column letters of a 1-based column.
inline std::string Letters(int column) {
    const std::string a = CellAddress(1, column);
    return a.substr(0, a.size() - 1);
}

// A flat OpenDocument workbook: sheet "In" holds `inputs` zeros in row 1,
// sheet "Out" the given formulas in row 1 (ODF syntax, e.g. "[$In.A1]*2").
// `basic` is the body of a Basic module "Module1" of library "Standard"
// (empty: no macros).
inline void WriteWorkbook(const std::string& path, int inputs, const std::vector<std::string>& formulas,
                          const std::string& basic = {}) {
    auto escape = [](const std::string& text) {
        std::string out;
        for (char c : text) {
            if (c == '<') out += "&lt;";
            else if (c == '>') out += "&gt;";
            else if (c == '&') out += "&amp;";
            else if (c == '"') out += "&quot;";
            else out += c;
        }
        return out;
    };
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" "
        "xmlns:ooo=\"http://openoffice.org/2004/office\" "
        "xmlns:script=\"urn:oasis:names:tc:opendocument:xmlns:script:1.0\" "
        "xmlns:xlink=\"http://www.w3.org/1999/xlink\" office:version=\"1.2\" "
        "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\">";
    if (!basic.empty())
        x += "<office:scripts><office:script script:language=\"ooo:Basic\">"
             "<ooo:libraries xmlns:ooo=\"http://openoffice.org/2004/office\">"
             "<ooo:library-embedded ooo:name=\"Standard\"><ooo:module ooo:name=\"Module1\">"
             "<ooo:source-code>" +
             escape(basic) +
             "</ooo:source-code></ooo:module></ooo:library-embedded></ooo:libraries>"
             "</office:script></office:scripts>";
    x += "<office:body><office:spreadsheet><table:table table:name=\"In\"><table:table-row>";
    for (int i = 0; i < inputs; ++i) x += "<table:table-cell office:value-type=\"float\" office:value=\"0\"/>";
    x += "</table:table-row></table:table><table:table table:name=\"Out\"><table:table-row>";
    for (const auto& f : formulas) x += "<table:table-cell table:formula=\"of:=" + escape(f) + "\"/>";
    x += "</table:table-row></table:table></office:spreadsheet></office:body></office:document>\n";
    WriteBytes(path, x);
}

inline InputTask In(const std::string& name, int column, const std::string& initial, const std::string& lower = "",
                    const std::string& upper = "") {
    InputTask t;
    t.name = name;
    t.range = Letters(column) + "1";
    t.sheet = "In";
    t.lower = lower;
    t.initial = initial;
    t.upper = upper;
    return t;
}

// `t` with the input step's kind ("Round", "Format", "Replace") and argument.
inline InputTask Formatted(InputTask t, const std::string& kind, const std::string& argument) {
    t.formatKind = kind;
    t.formatArg = argument;
    return t;
}

inline OutputTask Out(const std::string& name, int column, const std::string& lower = "",
                      const std::string& upper = "") {
    OutputTask t;
    t.name = name;
    t.range = Letters(column) + "1";
    t.sheet = "Out";
    t.lower = lower;
    t.upper = upper;
    return t;
}

}  // namespace korvane::test

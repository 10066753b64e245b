#pragma once
// The workbook file itself, read without the spreadsheet application: what
// makes a file unfit to be opened at all (a folder, a pipe, an empty file, a
// password, a package that would expand beyond reason), and the values a
// workbook saved by Excel stores for its formula cells.
//
// An .xlsx / .xlsm is a zip package: xl/workbook.xml names the sheets,
// xl/_rels/workbook.xml.rels where each sheet's XML lies, and each formula
// cell of a sheet is <c r="B2" t="..."><f>...</f><v>stored value</v></c>.

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// Why the file at `path` cannot be a workbook to open, or "" when nothing
// is known against it. Reads at most the package's directory (and an
// OpenDocument manifest); never changes the file.
std::string WorkbookFileProblem(const std::string& path);

// The most a package may expand to, in all, before it is refused unopened.
inline constexpr std::uint64_t kMaxExpandedBytes = 1024ull * 1024 * 1024;
// Above this expanded size a package must not expand more than
// kMaxExpansionRatio times its file size.
inline constexpr std::uint64_t kRatioCheckedBytes = 100ull * 1024 * 1024;
inline constexpr std::uint64_t kMaxExpansionRatio = 100;

// One entry of a zip package.
struct ZipEntry {
    std::string name;
    std::uint16_t method = 0;  // 0 stored, 8 deflated
    std::uint64_t compressedSize = 0, size = 0;
    std::uint64_t localOffset = 0;
};

// The entries a zip file's central directory lists. False (with `error`)
// when the file is no zip package or its directory is damaged.
bool ReadZipDirectory(const std::string& path, std::vector<ZipEntry>& entries, std::string& error);
// One entry's bytes, never more than its declared size. False with `error`.
bool ReadZipEntry(const std::string& path, const ZipEntry& entry, std::string& bytes, std::string& error);

// A value Excel stored for a formula cell.
struct StoredCell {
    enum class Kind { Number, Text, Logical, Error };
    std::string sheet;
    std::string address;  // B2
    std::int64_t row = 0;
    std::int32_t column = 0;
    Kind kind = Kind::Number;
    std::string value;    // as stored: 368422.39999999997, the text, 1/0, #N/A
    std::string formula;  // as stored (may be empty for a shared formula's copies)
};

struct StoredValues {
    // The file is an OOXML package whose formula cells could be read.
    bool readable = false;
    // The program that saved it (docProps/app.xml), "" when not named.
    std::string application;
    // Formula cells, in sheet order, then row by row.
    std::vector<StoredCell> cells;
    // Formula cells without a stored value.
    std::size_t withoutValue = 0;
};

// Reads the stored values of an .xlsx / .xlsm (any OOXML spreadsheet
// package). For other files `values.readable` stays false and the result is
// true. False (with `error`) for a package that cannot be read.
bool ReadStoredValues(const std::string& path, StoredValues& values, std::string& error);

// Parses one sheet's XML (for tests and the reader): the formula cells with
// their stored values. `sharedStrings` resolves t="s" values.
void ParseSheetCells(const std::string& xml, const std::string& sheet, const std::vector<std::string>& sharedStrings,
                     std::vector<StoredCell>& cells, std::size_t& withoutValue);

// The text of XML character data with its entities resolved.
std::string XmlUnescape(const std::string& text);

}  // namespace korvane

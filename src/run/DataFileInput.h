#pragma once
// The data-file plan's pure part: counting the data lines, the open data file
// of a run with its current line, reading one column of that line, and the
// settings window's preview. Data files are comma-separated text, Shift_JIS
// or UTF-8 (a file that is valid UTF-8 as a whole, as spreadsheet programs
// save it), with CSV quotes; they may be large: they are streamed, never held
// whole. A "line" is one record: a quoted field may hold a line break.

#include <cstdint>
#include <string>
#include <vector>

#include "db/Csv.h"

namespace korvane {

struct RunState;

inline constexpr const char* kDataFilePathMessage = "データファイルのアドレスを確認して下さい。";
inline constexpr const char* kDataPreviewLimitMessage = "25行以上のデータは高速化のため、表示されません。";
// Lines the preview shows at most.
inline constexpr int kDataPreviewLines = 26;

// The data file of a run, open from OpenDataFile to CloseDataFile.
struct DataFileCursor {
    CsvRecordReader reader;
    std::string path;
    std::string DataLine;                  // the line of calculation DataLineCount
    std::vector<std::string> DataFields;   // its fields
    std::int64_t DataLineCount = 0;    // 0 until the first line is read
};

// The first data line to use: a "Read Row" below 1 means the file's first line.
std::int64_t EffectiveReadRow(std::int64_t readRow);

// Resolves RunState::DataFilePath against the application folder (a path with
// a single leading "\"), keeps the result in DataFilePath, counts the file's
// lines up to its first empty line and gives that count - Read Row + 1 in
// `rows` (zero or negative: no calculations). A missing or unreadable file
// gives false with a message naming it.
bool CountDataRows(RunState& state, const std::string& appFolder, std::int64_t& rows, std::string& error);

// Opens the (resolved) data file, skips the lines before the Read Row and sets
// DataLineCount to 0.
bool OpenDataFile(const RunState& state, DataFileCursor& cursor, std::string& error);
void CloseDataFile(DataFileCursor& cursor);

// The value of the 0-based column of the current calculation's line. The first
// call for a calculation (CalcCount differs from DataLineCount) reads the next
// line; later calls of the same calculation share it. A field is read by the
// leading-number rule, grouping commas of a quoted "1,234" left out; a column beyond the line's fields reads 0. False with a
// message when the file cannot be read or has no line left.
bool ReadDataValue(const RunState& state, DataFileCursor& cursor, std::int64_t column, double& value,
                   std::string& error);

// The set-up before the loop: CountDataRows, CalcTotal as text, OpenDataFile.
bool PrepareDataFileInput(RunState& state, const std::string& appFolder, DataFileCursor& cursor,
                          std::string& error);

// ------------------------------------------------------------ settings window

struct DataPreview {
    std::vector<std::vector<std::string>> lines;  // line r + 1 of the file, split at ","
    bool truncated = false;  // kDataPreviewLines lines were read: show kDataPreviewLimitMessage
};

// The preview of the file at `path` (a single leading "\" is relative to the
// application folder). False with kDataFilePathMessage when it does not exist,
// or with a message naming it when it cannot be read. An empty path gives an
// empty preview and true: nothing to show.
bool LoadDataPreview(const std::string& path, const std::string& appFolder, DataPreview& preview,
                     std::string& error);

// The "Read Row" that "Auto" proposes: the number (from 1) of the first
// preview line whose first field is a number; 0 when there is none.
int FirstNumericLine(const DataPreview& preview);

}  // namespace korvane

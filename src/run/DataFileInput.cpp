#include "run/DataFileInput.h"

#include <algorithm>

#include "project/NumberText.h"
#include "project/Paths.h"
#include "project/Project.h"
#include "project/RunState.h"

namespace korvane {

namespace {

std::string ReadFailure(const std::string& path, const std::string& detail) {
    return "データファイルを読み込めません。\n" + path + "\n" + detail;
}

bool OpenExisting(TextLineReader& reader, const std::string& path, std::string& error) {
    if (!FileExists(path)) {
        error = std::string(kDataFilePathMessage) + "\n" + path;
        return false;
    }
    if (!reader.open(path)) {
        error = ReadFailure(path, reader.error());
        return false;
    }
    return true;
}

// The field at `column` of a comma-separated line, without splitting the
// whole line: data lines may be long and only a few columns are read.
bool FieldAt(const std::string& line, std::int64_t column, std::string& field) {
    std::size_t start = 0;
    for (std::int64_t c = 0; c < column; ++c) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string::npos) return false;
        start = comma + 1;
    }
    const std::size_t end = line.find(',', start);
    field = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    return true;
}

}  // namespace

std::int64_t EffectiveReadRow(std::int64_t readRow) { return std::max<std::int64_t>(readRow, 1); }

bool CountDataRows(RunState& state, const std::string& appFolder, std::int64_t& rows, std::string& error) {
    state.DataFilePath = ResolveAppRelative(state.DataFilePath, appFolder);
    TextLineReader reader;
    if (!OpenExisting(reader, state.DataFilePath, error)) return false;
    std::int64_t n = 0;
    std::string line;
    while (reader.next(line) && !line.empty()) ++n;
    if (!reader.error().empty()) {
        error = ReadFailure(state.DataFilePath, reader.error());
        return false;
    }
    rows = n - EffectiveReadRow(state.DataReadRow) + 1;
    return true;
}

bool OpenDataFile(const RunState& state, DataFileCursor& cursor, std::string& error) {
    CloseDataFile(cursor);
    cursor.path = state.DataFilePath;
    if (!OpenExisting(cursor.reader, cursor.path, error)) return false;
    std::string line;
    for (std::int64_t skip = EffectiveReadRow(state.DataReadRow) - 1; skip > 0; --skip) {
        if (!cursor.reader.next(line)) break;  // beyond the data: no calculation reads
    }
    if (!cursor.reader.error().empty()) {
        error = ReadFailure(cursor.path, cursor.reader.error());
        CloseDataFile(cursor);
        return false;
    }
    return true;
}

void CloseDataFile(DataFileCursor& cursor) {
    cursor.reader.close();
    cursor.DataLine.clear();
    cursor.DataLineCount = 0;
}

bool ReadDataValue(const RunState& state, DataFileCursor& cursor, std::int64_t column, double& value,
                   std::string& error) {
    if (cursor.DataLineCount != state.CalcCount) {
        if (!cursor.reader.next(cursor.DataLine)) {
            error = cursor.reader.error().empty()
                        ? ReadFailure(cursor.path, "計算" + std::to_string(state.CalcCount) +
                                                       "回目のデータ行がありません。")
                        : ReadFailure(cursor.path, cursor.reader.error());
            return false;
        }
        cursor.DataLineCount = state.CalcCount;
    }
    std::string field;
    value = column >= 0 && FieldAt(cursor.DataLine, column, field) ? LeadingNumber(field) : 0.0;
    return true;
}

bool PrepareDataFileInput(RunState& state, const std::string& appFolder, DataFileCursor& cursor,
                          std::string& error) {
    std::int64_t rows = 0;
    if (!CountDataRows(state, appFolder, rows, error)) return false;
    state.CalcTotal = std::to_string(rows);
    return OpenDataFile(state, cursor, error);
}

bool LoadDataPreview(const std::string& path, const std::string& appFolder, DataPreview& preview,
                     std::string& error) {
    preview = DataPreview{};
    if (path.empty()) return true;
    const std::string resolved = ResolveAppRelative(path, appFolder);
    TextLineReader reader;
    if (!FileExists(resolved)) {
        error = kDataFilePathMessage;
        return false;
    }
    if (!reader.open(resolved)) {
        error = ReadFailure(resolved, reader.error());
        return false;
    }
    std::string line;
    while (static_cast<int>(preview.lines.size()) < kDataPreviewLines && reader.next(line))
        preview.lines.push_back(SplitFields(line));
    if (!reader.error().empty()) {
        error = ReadFailure(resolved, reader.error());
        preview = DataPreview{};
        return false;
    }
    preview.truncated = static_cast<int>(preview.lines.size()) == kDataPreviewLines;
    return true;
}

int FirstNumericLine(const DataPreview& preview) {
    for (std::size_t r = 0; r < preview.lines.size(); ++r) {
        const auto& fields = preview.lines[r];
        if (!fields.empty() && IsNumericText(fields[0])) return static_cast<int>(r + 1);
    }
    return 0;
}

}  // namespace korvane

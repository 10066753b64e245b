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

bool OpenExisting(CsvRecordReader& reader, const std::string& path, std::string& error) {
    if (!FileExists(path)) {
        error = std::string(kDataFilePathMessage) + "\n" + path;
        return false;
    }
    if (!reader.open(path, TextLineReader::Encoding::Detect)) {
        error = ReadFailure(path, reader.error());
        return false;
    }
    return true;
}

}  // namespace

std::int64_t EffectiveReadRow(std::int64_t readRow) { return std::max<std::int64_t>(readRow, 1); }

bool CountDataRows(RunState& state, const std::string& appFolder, std::int64_t& rows, std::string& error) {
    state.DataFilePath = ResolveAppRelative(state.DataFilePath, appFolder);
    CsvRecordReader reader;
    if (!OpenExisting(reader, state.DataFilePath, error)) return false;
    std::int64_t n = 0;
    std::vector<std::string> fields;
    std::string line;
    while (reader.next(fields, &line) && !line.empty()) ++n;
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
    std::vector<std::string> fields;
    for (std::int64_t skip = EffectiveReadRow(state.DataReadRow) - 1; skip > 0; --skip) {
        if (!cursor.reader.next(fields)) break;  // beyond the data: no calculation reads
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
    cursor.DataFields.clear();
    cursor.DataLineCount = 0;
}

bool ReadDataValue(const RunState& state, DataFileCursor& cursor, std::int64_t column, double& value,
                   std::string& error) {
    if (cursor.DataLineCount != state.CalcCount) {
        if (!cursor.reader.next(cursor.DataFields, &cursor.DataLine)) {
            error = cursor.reader.error().empty()
                        ? ReadFailure(cursor.path, "計算" + std::to_string(state.CalcCount) +
                                                       "回目のデータ行がありません。")
                        : ReadFailure(cursor.path, cursor.reader.error());
            return false;
        }
        cursor.DataLineCount = state.CalcCount;
    }
    const auto& f = cursor.DataFields;
    value = column >= 0 && static_cast<std::uint64_t>(column) < f.size() ? CsvNumber(f[static_cast<std::size_t>(column)])
                                                                          : 0.0;
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
    CsvRecordReader reader;
    if (!FileExists(resolved)) {
        error = kDataFilePathMessage;
        return false;
    }
    if (!reader.open(resolved, TextLineReader::Encoding::Detect)) {
        error = ReadFailure(resolved, reader.error());
        return false;
    }
    std::vector<std::string> fields;
    while (static_cast<int>(preview.lines.size()) < kDataPreviewLines && reader.next(fields))
        preview.lines.push_back(fields);
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

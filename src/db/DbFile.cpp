#include "db/DbFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "db/Csv.h"
#include "platform/UserInterface.h"
#include "project/Paths.h"
#include "project/RunState.h"

namespace korvane {

namespace {

// An Append run must start its header on a line of its own. When the file's
// last line has no line end (edited by hand, or cut short by a crash of
// another program), finish that line first. A missing file is fine: the
// writer creates it. Returns false with a message for any other failure.
bool TerminateLastLine(const std::string& path, std::string& error) {
    int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return true;
        error = "Cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ok = false;
    } else if (st.st_size > 0) {
        char last = 0;
        if (::pread(fd, &last, 1, st.st_size - 1) != 1) {
            ok = false;
        } else if (last != '\n') {
            // A lone CR only lacks its LF.
            const char* end = last == '\r' ? "\n" : "\r\n";
            std::size_t len = std::strlen(end);
            ok = ::write(fd, end, len) == static_cast<ssize_t>(len);
        }
    }
    if (!ok) error = "Cannot write " + path + ": " + std::strerror(errno);
    ::close(fd);
    return ok;
}

// The first piece of `line` that Shift_JIS cannot hold, with its column title,
// so the message can say exactly what to fix.
std::string DescribeUnencodable(const std::vector<std::string>& titles,
                                const std::vector<std::string>& values) {
    std::string bytes;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (EncodeCp932(values[i], bytes)) continue;
        std::string title = i < titles.size() ? titles[i] : std::string();
        return "列「" + title + "」の「" + values[i] + "」";
    }
    return {};
}

}  // namespace

// ------------------------------------------------------------------ writer

DbWriter::~DbWriter() { close(); }

bool DbWriter::open(const RunState& state) {
    error_.clear();
    begun_ = false;
    continuing_ = false;
    // The load resolves the path already; a path set by other means may still
    // be relative to the application folder.
    path_ = ResolveAppRelative(state.DbPath);
    append_ = state.WriteMode == kDbAppend;
    bool ok = !path_.empty();
    if (!ok) error_ = "No DB file path";
    if (ok) {
        struct stat st {};
        created_ = ::stat(path_.c_str(), &st) != 0;
        // Opened without emptying it: an OverWrite file keeps its results
        // until the header is written, which happens only once the workbook
        // is open and the run can really start.
        ok = writer_.open(path_, TextLineWriter::Mode::Keep);
        if (!ok) error_ = writer_.error();
    }
    if (!ok) {
        ui_.showMessage(kDbOpenErrorMessage);
        // Nothing has been written: a refusal.
        ui_.endApplication(2);
        return false;
    }
    return true;
}

std::string DbWriter::NamesLine(const RunState& state) {
    std::string line = kDbCountTitle;
    for (std::size_t i = 1; i <= state.inputCount(); ++i) (line += ",") += CsvField(state.InputNames[i]);
    for (std::size_t i = 1; i <= state.outputCount(); ++i) (line += ",") += CsvField(state.OutputNames[i]);
    line += ",";
    line += kDbValidityTitle;
    return line;
}

std::string DbWriter::KindLine(const RunState& state) {
    std::string line = kDbCountKind;
    for (std::size_t i = 1; i <= state.inputCount(); ++i) (line += ",") += kDbInputKind;
    for (std::size_t i = 1; i <= state.outputCount(); ++i) (line += ",") += kDbOutputKind;
    (line += ",") += kDbSystemKind;
    return line;
}

// A value holding a comma ("1,234" from a "#,##0" pattern, "Copper, annealed"
// read from a cell), a quote or a line break is quoted, so that every line
// keeps its columns; other values are written as they are.
std::string DbWriter::DataLine(const RunState& state) {
    std::string line = std::to_string(state.CalcCount);
    for (std::size_t i = 1; i <= state.inputCount(); ++i) (line += ",") += CsvField(state.InputValues[i]);
    for (std::size_t i = 1; i <= state.outputCount(); ++i) (line += ",") += CsvField(state.OutputValues[i]);
    line += state.RunValid ? ",True" : ",False";
    return line;
}

bool DbWriter::writeHeader(const RunState& state) {
    if (!begun_) {
        // OverWrite empties the file now; Append first finishes a last line
        // that lacks its line end, so the header starts a line of its own.
        error_.clear();
        const bool ok = continuing_ ? writer_.truncate(keepBytes_)
                        : append_   ? TerminateLastLine(path_, error_)
                                    : writer_.truncate();
        if (!ok) {
            if (error_.empty()) error_ = writer_.error();
            ui_.showMessage("エラー！DBファイルに書き込めません。計算を中止します。\n" + path_ + "\n" + error_);
            return false;
        }
        begun_ = true;
        if (continuing_) return true;
    }
    if (continuing_) return true;
    return writeChecked(NamesLine(state), state, true) &&
           writeChecked(KindLine(state), state, false);
}

bool DbWriter::writeRow(const RunState& state) { return writeChecked(DataLine(state), state, false); }

bool DbWriter::writeChecked(const std::string& line, const RunState& state, bool isHeader) {
    error_.clear();
    if (writer_.writeLine(line)) return true;
    error_ = writer_.error();
    std::string text = "エラー！DBファイルに書き込めません。計算を中止します。\n" + path_;
    std::string bytes;
    if (writer_.isOpen() && !EncodeCp932(line, bytes)) {
        // Name the culprit: a variable name in the header, a value in a row.
        std::vector<std::string> titles{kDbCountTitle};
        std::vector<std::string> values{isHeader ? kDbCountTitle : std::to_string(state.CalcCount)};
        for (std::size_t i = 1; i <= state.inputCount(); ++i) {
            titles.push_back(state.InputNames[i]);
            values.push_back(isHeader ? state.InputNames[i] : state.InputValues[i]);
        }
        for (std::size_t i = 1; i <= state.outputCount(); ++i) {
            titles.push_back(state.OutputNames[i]);
            values.push_back(isHeader ? state.OutputNames[i] : state.OutputValues[i]);
        }
        std::string where = isHeader ? "見出し行" : "計算 " + std::to_string(state.CalcCount);
        text += "\n" + where + " の" + DescribeUnencodable(titles, values) +
                "に Shift_JIS で保存できない文字が含まれています。";
    } else {
        text += "\n" + error_;
    }
    ui_.showMessage(text);
    return false;
}

bool DbWriter::close() {
    if (!writer_.isOpen()) return true;
    if (!begun_ && created_) {
        // The run ended before its header: leave no empty file it made.
        writer_.close();
        ::unlink(path_.c_str());
        return true;
    }
    if (writer_.close()) return true;
    error_ = writer_.error();
    ui_.showMessage("エラー！DBファイルを保存できません。\n" + error_);
    return false;
}

bool CheckDbFileTarget(const std::string& path, std::string& error) {
    const std::string where = "\nDBファイル: " + path;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return true;  // made by the run
        error = "DBファイルを確認できません (" + std::string(std::strerror(errno)) + ")。" + where;
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = "DBファイルに指定されたアドレスはフォルダです。別のファイルを指定して下さい。" + where;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "DBファイルに指定されたアドレスは通常のファイルではありません。別のファイルを指定して下さい。" + where;
        return false;
    }
    if (st.st_size == 0) return true;
    static constexpr char kStart[] = "Count,";
    char head[sizeof kStart - 1] = {};
    ssize_t got = -1;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        got = ::pread(fd, head, sizeof head, 0);
        ::close(fd);
    }
    if (got < 0) {
        error = "DBファイルを読めません (" + std::string(std::strerror(errno)) + ")。" + where;
        return false;
    }
    if (static_cast<std::size_t>(got) != sizeof head || std::memcmp(head, kStart, sizeof head) != 0) {
        error = "DBファイルに指定されたファイルはDBファイルではありません (空でなく、1行目が \"Count,\" で始まっていません)。"
                "このファイルには上書きも追記もしません。別のファイルを指定して下さい。" + where;
        return false;
    }
    return true;
}

// ------------------------------------------------------------------ reading

std::vector<std::string> SplitDbFields(const std::string& line) {
    std::vector<std::string> fields;
    SplitCsvRecord(line, fields);
    return fields;
}

bool IsInvalidVerdict(const std::string& lastField) {
    static constexpr char kFalse[] = "FALSE";
    if (lastField.size() != sizeof kFalse - 1) return false;
    for (std::size_t i = 0; i < lastField.size(); ++i) {
        char c = lastField[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kFalse[i]) return false;
    }
    return true;
}

bool IsValidDataLine(const std::vector<std::string>& fields) {
    return fields.empty() || !IsInvalidVerdict(fields.back());
}

std::vector<std::size_t> DbHeader::inputColumns() const {
    std::vector<std::size_t> cols;
    for (std::size_t i = 0; i < kinds.size(); ++i)
        if (kinds[i] == kDbInputKind) cols.push_back(i);
    return cols;
}

std::vector<std::size_t> DbHeader::outputColumns() const {
    std::vector<std::size_t> cols;
    for (std::size_t i = 0; i < kinds.size(); ++i)
        if (kinds[i] == kDbOutputKind) cols.push_back(i);
    return cols;
}

int DbHeader::findColumn(const std::string& name, const std::string& kind) const {
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] != name) continue;
        if (!kind.empty() && (i >= kinds.size() || kinds[i] != kind)) continue;
        return static_cast<int>(i);
    }
    return -1;
}

int DbHeader::findLastColumn(const std::string& name) const {
    for (std::size_t i = names.size(); i-- > 0;)
        if (names[i] == name) return static_cast<int>(i);
    return -1;
}

bool DbReader::open(const std::string& path) {
    path_ = path;
    header_ = DbHeader{};
    first_ = DbHeader{};
    block_ = -1;
    expectKinds_ = false;
    return reader_.open(path);
}

bool DbReader::next(Line& line) {
    // A value may hold a line break (in CSV quotes), and then its record has
    // the header's field count; a stray quote never joins lines. The names
    // line itself is always one line.
    reader_.setFieldCount(block_ < 0 ? kOneLineRecords : header_.names.size());
    if (!reader_.next(line.fields)) return false;
    line.lineNumber = reader_.lineNumber();
    line.valid = true;
    const std::int64_t record = reader_.recordNumber();
    const std::string& first = line.fields.front();

    if (record == 1 || (record > 2 && first == kDbCountTitle)) {
        ++block_;
        header_ = DbHeader{line.fields, {}};
        if (block_ == 0) first_ = header_;
        expectKinds_ = true;
        line.kind = LineKind::Names;
    } else if (record == 2 || (expectKinds_ && first == kDbCountKind)) {
        header_.kinds = line.fields;
        if (block_ == 0) first_.kinds = line.fields;
        expectKinds_ = false;
        line.kind = LineKind::Kinds;
    } else if (first == kDbCountKind) {
        // A kind line out of place: not a calculation.
        expectKinds_ = false;
        line.kind = LineKind::Kinds;
    } else {
        expectKinds_ = false;
        line.kind = LineKind::Data;
        line.valid = IsValidDataLine(line.fields);
    }
    line.block = block_;
    return true;
}

bool DbReader::nextData(Line& line) {
    while (next(line))
        if (line.kind == LineKind::Data) return true;
    return false;
}

bool ReadDbHeader(const std::string& path, DbHeader& header, std::string& error) {
    header = DbHeader{};
    DbReader reader;
    if (!reader.open(path)) {
        error = reader.error();
        return false;
    }
    DbReader::Line line;
    for (int i = 0; i < 2 && reader.next(line); ++i) {
    }
    if (!reader.error().empty()) {
        error = reader.error();
        return false;
    }
    header = reader.firstHeader();
    return true;
}

bool CountDbLines(const std::string& path, DbCounts& counts, std::string& error) {
    counts = DbCounts{};
    DbReader reader;
    if (!reader.open(path)) {
        error = reader.error();
        return false;
    }
    DbReader::Line line;
    while (reader.nextData(line)) ++(line.valid ? counts.valid : counts.invalid);
    if (!reader.error().empty()) {
        error = reader.error();
        return false;
    }
    return true;
}

}  // namespace korvane

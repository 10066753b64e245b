#pragma once
// The DB file: the comma-separated result database that every run writes and
// every analysis reads. One pair of header lines per run (names, then kinds),
// then one line per calculation:
//
//   Count,<inputs...>,<outputs...>,Validity(制限判定)
//   -,[Input]...,[Output]...,[System]
//   <calc number>,<input values...>,<output values...>,True|False
//
// Shift_JIS with CR LF on disk. A value that holds a comma, a double quote or
// a line break is written in CSV quotes; every other value as it is.

#include <cstdint>
#include <string>
#include <vector>

#include "db/Csv.h"
#include "platform/TextFile.h"

namespace korvane {

class UserInterface;
struct RunState;

inline constexpr const char* kDbOpenErrorMessage =
    "エラー！(Databaseファイルが開かれている、又は不正アドレス入力の可能性があります。)";
inline constexpr const char* kDbCountTitle = "Count";
inline constexpr const char* kDbValidityTitle = "Validity(制限判定)";
inline constexpr const char* kDbCountKind = "-";
inline constexpr const char* kDbInputKind = "[Input]";
inline constexpr const char* kDbOutputKind = "[Output]";
inline constexpr const char* kDbSystemKind = "[System]";
inline constexpr const char* kDbOverWrite = "OverWrite";
inline constexpr const char* kDbAppend = "Append";

// ------------------------------------------------------------------ writing

// Writes the DB file of one run. Everything it writes comes from RunState:
// DbPath and WriteMode on open, the names on the header, CalcCount, the
// current values and RunValid on each row. Every line reaches the operating
// system as soon as it is written, so a crash loses at most the calculation in
// progress; close() syncs the file to disk.
//
// Failures show their message themselves and return false; the caller stops.
// An open failure also ends the application, as the run cannot record anything.
class DbWriter {
public:
    explicit DbWriter(UserInterface& ui) : ui_(ui) {}
    ~DbWriter();
    DbWriter(const DbWriter&) = delete;
    DbWriter& operator=(const DbWriter&) = delete;

    // Opens state.DbPath (resolved again if it still starts with a single "\"),
    // creating it when missing, but changes nothing in it yet: a run that is
    // refused or fails before its header keeps the old results whole.
    bool open(const RunState& state);
    // The names line and the kind line for the current variable lists. The
    // first call starts the run's part of the file: in "Append" mode after
    // the last line, in any other mode by emptying the file (a continued
    // block: see continueBlock).
    bool writeHeader(const RunState& state);
    // A resumed run: its block is the file's last one, header and lines
    // written already; rows go after its first `keepBytes` bytes. Nothing
    // changes yet: writeHeader() then cuts off what lies beyond (a line the
    // interruption cut short) and writes no header.
    void continueBlock(std::uint64_t keepBytes) {
        continuing_ = true;
        keepBytes_ = keepBytes;
    }
    // One data line for the current calculation. A value that Shift_JIS cannot
    // hold (an emoji read from a cell, say) writes nothing, shows which column
    // of which calculation it was, and returns false so the run stops rather
    // than record a wrong line.
    bool writeRow(const RunState& state);
    bool close();

    bool isOpen() const { return writer_.isOpen(); }
    // The path actually opened (after resolving).
    const std::string& path() const { return path_; }
    // Detail of the last failure (also part of the message shown).
    const std::string& error() const { return error_; }

    // The three lines, without line ends; exposed for callers that preview.
    static std::string NamesLine(const RunState& state);
    static std::string KindLine(const RunState& state);
    static std::string DataLine(const RunState& state);

private:
    bool writeChecked(const std::string& line, const RunState& state, bool isHeader);

    UserInterface& ui_;
    TextLineWriter writer_;
    std::string path_;
    std::string error_;
    bool append_ = false;
    bool created_ = false;  // open() made the file
    bool begun_ = false;    // the header has been written
    bool continuing_ = false;
    std::uint64_t keepBytes_ = 0;
};

// A run writes only to a DB file: a path that does not exist yet, an empty
// file, or a file whose first line begins with "Count,". Anything else (a
// folder, a device, a file of the user's) is refused: false with a message
// naming the path, and nothing is written.
bool CheckDbFileTarget(const std::string& path, std::string& error);

// ------------------------------------------------------------------ reading

// Splits a DB line into its fields (CSV quotes read); "" gives one empty
// field, "a," gives two.
std::vector<std::string> SplitDbFields(const std::string& line);

// A calculation is invalid when its last field, upper-cased, is "FALSE";
// every other text (also an empty one) counts as valid.
bool IsInvalidVerdict(const std::string& lastField);
bool IsValidDataLine(const std::vector<std::string>& fields);

// The header pair of one block.
struct DbHeader {
    std::vector<std::string> names;  // the names line split at ","
    std::vector<std::string> kinds;  // the kind line split at ","; empty if the block has none

    // Field indexes whose kind is "[Input]" / "[Output]", in file order.
    std::vector<std::size_t> inputColumns() const;
    std::vector<std::size_t> outputColumns() const;
    // First field with this name (and this kind, when `kind` is not empty);
    // -1 when there is none.
    int findColumn(const std::string& name, const std::string& kind = {}) const;
    // Last field with this name, -1 when there is none (the X/Y graphs'
    // lookup, where the last match wins).
    int findLastColumn(const std::string& name) const;
};

// Reads a DB file line by line, never holding more than one line, and tells
// header lines from data lines:
// - the first two lines of the file are the names and kind lines of block 0,
//   whatever they hold;
// - later, a line whose first field is "Count" starts a new block; the line
//   right after it is that block's kind line when its first field is "-";
// - any other line whose first field is "-" is a stray kind line and is not
//   data (the end window's rule);
// - every remaining line is a data line of the current block.
// So a file appended over several runs, even with different columns per run,
// yields each calculation once, with the header of its own block.
// A record runs across line breaks only as a quoted value with a line break
// whose record has its block's field count; a line with a stray quote is read
// by itself (see ReadCsvRecord).
class DbReader {
public:
    enum class LineKind { Names, Kinds, Data };
    struct Line {
        LineKind kind = LineKind::Data;
        std::vector<std::string> fields;
        std::int64_t lineNumber = 0;  // in the file, from 1 (where the line starts)
        int block = 0;                // 0 for the first block
        // Data lines only: false when the verdict is "FALSE".
        bool valid = true;
    };

    bool open(const std::string& path);
    // The next line. False at the end of the file, or on an error (a read
    // failure, bytes that are not Shift_JIS); then error() names the file and
    // the line.
    bool next(Line& line);
    // Like next() but returns data lines only.
    bool nextData(Line& line);
    void close() { reader_.close(); }

    // The header of the block the last line returned belongs to.
    const DbHeader& header() const { return header_; }
    // The header of the first block (what the analysis windows build their
    // tables from); complete once two lines have been read.
    const DbHeader& firstHeader() const { return first_; }
    const std::string& error() const { return reader_.error(); }
    const std::string& path() const { return path_; }

private:
    CsvRecordReader reader_;
    std::string path_;
    DbHeader header_;
    DbHeader first_;
    int block_ = -1;
    bool expectKinds_ = false;
};

// Reads the first block's header pair only. A file of one line gives names
// and no kinds; an empty file gives both empty. False with a message when the
// file cannot be read.
bool ReadDbHeader(const std::string& path, DbHeader& header, std::string& error);

// The end window's counts, over every block of the file.
struct DbCounts {
    std::int64_t valid = 0;
    std::int64_t invalid = 0;
    std::int64_t all() const { return valid + invalid; }
};
// Counts the data lines of the file (DbReader's rules). False with a message
// naming the file and line when it cannot be read; `counts` then holds the
// lines counted before the error.
bool CountDbLines(const std::string& path, DbCounts& counts, std::string& error);

}  // namespace korvane

#pragma once
// One pass of an analysis over a DB file: the data lines it uses, in order,
// with the first block's header. Every analysis reads through this, so they
// agree on which lines count:
// - header lines of appended blocks are not data;
// - a data line whose field count differs from its header's (a value with a
//   comma in it shifted the columns, or the line was cut short), and every
//   line of an appended block whose columns differ from the first block's,
//   is skipped and counted: its values would land in the wrong columns;
// - a line whose verdict is "False" is left out unless invalid lines are
//   included;
// - a line with a number that no double can hold ("1e999") in a field the
//   analysis computes with is left out and counted: it has no value to take.
// Only the current line is held, so memory does not grow with the file.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "db/DbFile.h"

namespace korvane {

// Told the share of the work done (0 to 1) now and then during a long pass;
// returning false stops the analysis.
using ProgressFn = std::function<bool(double done)>;

class DataLineScan {
public:
    // Opens the file and reads its first header. False with a message when
    // the file cannot be read or has no names line.
    bool open(const std::string& path, bool includeInvalid, std::string& error);
    // Every few thousand lines, `progress` is told `base + share * done()`;
    // when it returns false the pass stops (stopped()).
    void setProgress(const ProgressFn* progress, double base, double share);
    // The fields the analysis computes with: each line's are read as numbers
    // (value()), and a line where one cannot be read is left out. Set after
    // open(); kept by a later open() of the same analysis.
    void readNumbers(std::vector<std::size_t> fields);
    // A field of the current line, as read (one of the readNumbers fields).
    double value(std::size_t field) const { return values_[field]; }
    // The next line to use. False at the end, on a read error (error()) or
    // when stopped.
    bool next(DbReader::Line& line);
    bool stopped() const { return stopped_; }
    const DbHeader& header() const { return header_; }
    // Lines that did not fit their header, so far.
    std::int64_t skipped() const { return skipped_; }
    // Lines left out as invalid, so far.
    std::int64_t excluded() const { return excluded_; }
    // Lines left out for a number that cannot be read, so far.
    std::int64_t unreadable() const { return unreadable_; }
    // Share of the file read so far, 0 to 1.
    double done() const;
    const std::string& error() const { return reader_.error(); }

private:
    DbReader reader_;
    DbHeader header_;
    bool includeInvalid_ = false;
    int block_ = 0;
    bool blockFits_ = true;
    std::int64_t skipped_ = 0;
    std::int64_t excluded_ = 0;
    std::int64_t unreadable_ = 0;
    std::vector<std::size_t> numberFields_;
    std::vector<double> values_;
    std::uint64_t bytes_ = 0;
    std::uint64_t size_ = 0;
    std::uint32_t sinceTick_ = 0;
    const ProgressFn* progress_ = nullptr;
    double base_ = 0, share_ = 1;
    bool stopped_ = false;
};

// Said when no line is left to analyse (every value then shows as "-").
inline constexpr const char* kNoUsedRowMessage = "解析に使えるデータ行がありません。";

// The message for lines that did not fit the header and for lines with a
// number that cannot be read (empty when there are none).
std::string SkippedLinesMessage(std::int64_t skipped, std::int64_t unreadable = 0);

}  // namespace korvane

#pragma once
// Comma-separated fields as the DB file and the data files hold them: a field
// that holds a comma, a double quote, CR or LF is written between double
// quotes with its quotes doubled (RFC 4180); every other field is written as
// it is, so a file without such fields is the plain comma-joined text.
//
// Reading is lenient: only a field that starts with a double quote is a
// quoted field; a quote anywhere else is an ordinary character, as in files
// written before quoting.

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/TextFile.h"

namespace korvane {

// The field as written: quoted when it must be.
std::string CsvField(const std::string& text);
// The fields joined by commas, each written by CsvField.
std::string CsvLine(const std::vector<std::string>& fields);

// Splits one record into its fields. "" gives one empty field, "a," two.
// Returns false when the text ends inside a quoted field (the record goes on
// on the next line); `fields` then holds the record read leniently, the open
// field running to the end of the text.
bool SplitCsvRecord(const std::string& text, std::vector<std::string>& fields);

// Splits one line that is a record by itself: as SplitCsvRecord, except that
// a quote that does not close on the line is an ordinary character and its
// field ends at the next comma, as every later field does.
void SplitCsvLine(const std::string& text, std::vector<std::string>& fields);

// How many fields a record must have for a quoted field to run across line
// breaks: any number, or none (a record is always one line).
inline constexpr std::size_t kAnyFieldCount = 0;
inline constexpr std::size_t kOneLineRecords = static_cast<std::size_t>(-1);
inline constexpr int kMaxRecordLines = 1000;

// The record that starts with the line `first`. A quoted field is read across
// line breaks only when its quote closes within kMaxRecordLines lines, right
// before a comma or the record's end, and the record then has `fieldCount`
// fields (any count for kAnyFieldCount);
// otherwise the record is `first` alone, split by SplitCsvLine. So a line
// with a stray quote (edited by hand) never swallows the lines after it.
// `following(k)` gives the k-th line after `first` (from 0), or null when
// there is none. Returns how many lines the record takes (1: `first` alone);
// `text` (when given) gets the record's lines joined with LF.
std::size_t ReadCsvRecord(const std::string& first, std::size_t fieldCount,
                          const std::function<const std::string*(std::size_t)>& following,
                          std::vector<std::string>& fields, std::string* text = nullptr);

// A number read from a field: the leading-number rule (blanks skipped, the
// longest leading decimal number is the value, a text without one is 0,
// "12abc" is 12), except that grouping commas inside the integer digits are
// ignored: a field written as the quoted "1,234.5" reads as 1234.5. A comma
// counts as a grouping comma only between a digit and exactly three digits,
// so "1,2" still reads as 1 and "Copper, annealed" as 0.
double CsvNumber(const std::string& field);
// The same for a value an analysis computes with: false when the number lies
// beyond the range of a double ("1e999") and cannot be read as any value.
bool CsvValue(const std::string& field, double& value);

// Reads records from a text file: a record is one line, or several when a
// quoted field holds line breaks (joined with LF), by ReadCsvRecord's rule.
class CsvRecordReader {
public:
    bool open(const std::string& path, TextLineReader::Encoding encoding = TextLineReader::Encoding::Cp932) {
        record_ = 0;
        ahead_.clear();
        return reader_.open(path, encoding);
    }
    // The field count a record spanning lines must have (ReadCsvRecord); it
    // applies from the next record on. kAnyFieldCount at open.
    void setFieldCount(std::size_t count) { fieldCount_ = count; }
    // The next record's fields; `text` (when given) gets the record's text.
    // False at the end of the file or on an error (error() then says which).
    bool next(std::vector<std::string>& fields, std::string* text = nullptr);
    void close() {
        reader_.close();
        ahead_.clear();
    }
    const std::string& error() const { return reader_.error(); }
    // The file line on which the last record started (from 1), and the
    // record's number (from 1).
    std::int64_t lineNumber() const { return firstLine_; }
    std::int64_t recordNumber() const { return record_; }
    TextLineReader::Encoding encoding() const { return reader_.encoding(); }

private:
    struct Line {
        std::string text;
        std::int64_t number = 0;
    };
    // The k-th line not yet taken (from 0), read ahead as needed; null at the
    // end of the file or on an error.
    const Line* peek(std::size_t k);

    TextLineReader reader_;
    std::deque<Line> ahead_;  // lines read ahead to see where a quote closes
    std::size_t fieldCount_ = kAnyFieldCount;
    std::int64_t firstLine_ = 0;
    std::int64_t record_ = 0;
};

}  // namespace korvane

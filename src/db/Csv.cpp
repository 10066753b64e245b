#include "db/Csv.h"

#include <cctype>

#include "project/NumberText.h"

namespace korvane {

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i) line += ',';
        line += CsvField(fields[i]);
    }
    return line;
}

namespace {

// `plainOpen`: a quoted field that does not close is read as a plain field
// (its quote a character) instead of running to the end of the text.
// `clean` (when given) is cleared when a quoted field has characters between
// its closing quote and the next comma, which the writer never makes.
bool SplitFields(const std::string& text, std::vector<std::string>& fields, bool plainOpen, bool* clean = nullptr) {
    fields.clear();
    if (clean) *clean = true;
    std::size_t i = 0;
    const std::size_t n = text.size();
    for (;;) {
        std::string field;
        const std::size_t start = i;
        bool plain = !(i < n && text[i] == '"');
        if (!plain) {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                field += text[i++];
            }
            if (!closed) {
                if (!plainOpen) {
                    fields.push_back(std::move(field));
                    return false;
                }
                field.clear();
                i = start;
                plain = true;
            } else {
                // Characters between the closing quote and the comma are
                // kept, as a spreadsheet program does.
                if (clean && i < n && text[i] != ',') *clean = false;
                while (i < n && text[i] != ',') field += text[i++];
            }
        }
        if (plain) {
            const std::size_t comma = text.find(',', i);
            const std::size_t end = comma == std::string::npos ? n : comma;
            field.assign(text, i, end - i);
            i = end;
        }
        fields.push_back(std::move(field));
        if (i >= n) return true;
        ++i;  // the comma
        if (i == n) {
            fields.emplace_back();
            return true;
        }
    }
}

}  // namespace

bool SplitCsvRecord(const std::string& text, std::vector<std::string>& fields) {
    return SplitFields(text, fields, false);
}

void SplitCsvLine(const std::string& text, std::vector<std::string>& fields) { SplitFields(text, fields, true); }

std::size_t ReadCsvRecord(const std::string& first, std::size_t fieldCount,
                          const std::function<const std::string*(std::size_t)>& following,
                          std::vector<std::string>& fields, std::string* text) {
    if (SplitCsvRecord(first, fields)) {
        if (text) *text = first;
        return 1;
    }
    if (fieldCount != kOneLineRecords) {
        std::string joined = first;
        std::vector<std::string> joinedFields;
        for (std::size_t k = 0; k + 1 < static_cast<std::size_t>(kMaxRecordLines); ++k) {
            const std::string* more = following(k);
            if (!more) break;
            joined += '\n';
            joined += *more;
            // The open quote can only close on a line that holds a quote.
            if (more->find('"') == std::string::npos) continue;
            bool clean = true;
            if (!SplitFields(joined, joinedFields, false, &clean)) continue;
            // The quote closed: the record is whole when it is as the writer
            // makes it, each quoted value closed right before a comma.
            if (!clean || (fieldCount != kAnyFieldCount && joinedFields.size() != fieldCount)) break;
            fields = std::move(joinedFields);
            if (text) *text = std::move(joined);
            return k + 2;
        }
    }
    SplitCsvLine(first, fields);
    if (text) *text = first;
    return 1;
}

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Exactly three digits at `pos`, not followed by a fourth.
bool GroupFollows(const std::string& text, std::size_t pos) {
    if (pos + 3 > text.size()) return false;
    for (std::size_t k = pos; k < pos + 3; ++k)
        if (!IsDigit(text[k])) return false;
    return pos + 3 == text.size() || !IsDigit(text[pos + 3]);
}
}  // namespace


namespace {
// The field's text with the grouping commas of its integer digits left out.
std::string WithoutGrouping(const std::string& text) {
    // Copy the integer part without its grouping commas, then the rest as is.
    std::string plain;
    plain.reserve(text.size());
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) plain.push_back(text[i++]);
    while (i < n) {
        if (IsDigit(text[i])) {
            plain.push_back(text[i++]);
        } else if (text[i] == ',' && !plain.empty() && IsDigit(plain.back()) && GroupFollows(text, i + 1)) {
            ++i;  // a grouping comma: three digits follow, then no fourth
        } else {
            break;
        }
    }
    plain.append(text, i, std::string::npos);
    return plain;
}
}  // namespace

double CsvNumber(const std::string& text) {
    if (text.find(',') == std::string::npos) return LeadingNumber(text);
    return LeadingNumber(WithoutGrouping(text));
}

bool CsvValue(const std::string& text, double& value) {
    if (text.find(',') == std::string::npos) return ReadLeadingNumber(text, value);
    return ReadLeadingNumber(WithoutGrouping(text), value);
}


const CsvRecordReader::Line* CsvRecordReader::peek(std::size_t k) {
    while (ahead_.size() <= k) {
        Line line;
        if (!reader_.next(line.text)) return nullptr;
        line.number = reader_.lineNumber();
        ahead_.push_back(std::move(line));
    }
    return &ahead_[k];
}

bool CsvRecordReader::next(std::vector<std::string>& fields, std::string* text) {
    if (!peek(0)) return false;
    const Line first = std::move(ahead_.front());
    ahead_.pop_front();
    firstLine_ = first.number;
    ++record_;
    const std::size_t lines = ReadCsvRecord(first.text, fieldCount_, [this](std::size_t k) -> const std::string* {
        const Line* line = peek(k);
        return line ? &line->text : nullptr;
    }, fields, text);
    ahead_.erase(ahead_.begin(), ahead_.begin() + static_cast<std::ptrdiff_t>(lines - 1));
    return true;
}

}  // namespace korvane

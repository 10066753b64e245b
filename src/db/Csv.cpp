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

bool SplitCsvRecord(const std::string& text, std::vector<std::string>& fields) {
    fields.clear();
    std::size_t i = 0;
    const std::size_t n = text.size();
    for (;;) {
        std::string field;
        if (i < n && text[i] == '"') {
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
                fields.push_back(std::move(field));
                return false;
            }
            // Characters between the closing quote and the comma are kept,
            // as a spreadsheet program does.
            while (i < n && text[i] != ',') field += text[i++];
        } else {
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


bool CsvRecordReader::next(std::vector<std::string>& fields, std::string* text) {
    std::string record;
    if (!reader_.next(record)) return false;
    firstLine_ = reader_.lineNumber();
    ++record_;
    int lines = 1;
    while (!SplitCsvRecord(record, fields) && lines < kMaxRecordLines) {
        std::string more;
        if (!reader_.next(more)) {
            if (!reader_.error().empty()) return false;
            break;
        }
        record += '\n';
        record += more;
        ++lines;
    }
    if (text) *text = std::move(record);
    return true;
}

}  // namespace korvane

#include "analysis/FieldNumber.h"

#include "project/NumberText.h"

namespace korvane {

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

double FieldNumber(const std::string& text) {
    if (text.find(',') == std::string::npos) return LeadingNumber(text);
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
    return LeadingNumber(plain);
}

}  // namespace korvane

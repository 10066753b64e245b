#include "project/NumericFilter.h"

#include <algorithm>

#include "platform/TextFile.h"

namespace korvane {

namespace {

// Accepted: control characters below the blank, "-" only as the first
// character, ".", and the digits. Everything from the blank to the comma, the
// slash, and every code above "9" (letters, the exponent letters among them,
// and every non-ASCII character such as full-width digits) is rejected.
bool IsRejected(const std::string& s, std::size_t pos, std::size_t length, bool first) {
    if (length > 1) return true;
    const auto c = static_cast<unsigned char>(s[pos]);
    if (c == '-') return !first;
    if (c >= 32 && c <= 44) return true;
    if (c == '/') return true;
    return c > '9';
}

}  // namespace

std::size_t CharacterCount(const std::string& utf8Text) {
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < utf8Text.size(); pos += Utf8CharLength(utf8Text, pos)) ++count;
    return count;
}

FilterResult FilterNumericText(const std::string& utf8Text) {
    for (std::size_t pos = 0; pos < utf8Text.size();) {
        const std::size_t length = Utf8CharLength(utf8Text, pos);
        if (IsRejected(utf8Text, pos, length, pos == 0)) {
            std::string text = utf8Text.substr(0, pos) + utf8Text.substr(pos + length);
            const std::size_t caret = CharacterCount(text);
            return {std::move(text), true, caret};
        }
        pos += length;
    }
    return {utf8Text, false, CharacterCount(utf8Text)};
}

std::string RemoveDots(const std::string& text) {
    std::string out = text;
    out.erase(std::remove(out.begin(), out.end(), '.'), out.end());
    return out;
}

FilterOutcome FilterUntilAccepted(const std::string& utf8Text, bool removeDots) {
    // One pass gives what the repeated events give: each event removes the
    // first rejected character, so a character is judged with everything
    // before it already cleaned; a "-" survives exactly when nothing is kept
    // before it. (A paste of thousands of characters stays linear.)
    std::string kept;
    kept.reserve(utf8Text.size());
    int beeps = 0;
    for (std::size_t pos = 0; pos < utf8Text.size();) {
        const std::size_t length = Utf8CharLength(utf8Text, pos);
        if (IsRejected(utf8Text, pos, length, kept.empty())) {
            ++beeps;
        } else {
            kept.append(utf8Text, pos, length);
        }
        pos += length;
    }
    if (removeDots) kept = RemoveDots(kept);
    const std::size_t caret = CharacterCount(kept);
    return {std::move(kept), beeps, caret};
}

}  // namespace korvane

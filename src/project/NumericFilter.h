#pragma once
// The filter that every numeric text box runs on each change of its text, so
// that only characters of a plain decimal number remain: digits, ".", a "-" in
// the first position and control characters. The number's form is not
// checked ("1.2.3" passes).

#include <cstddef>
#include <string>

namespace korvane {

struct FilterResult {
    std::string text;    // the text after the filter
    bool removed;        // true when a character was removed (the box beeps)
    std::size_t caret;   // end of `text` in characters (code points); the box
                         // moves its caret there only when `removed` is true
};

// One change event: the first rejected character, and only that one, is
// removed. A non-ASCII character (several bytes in UTF-8) is removed whole.
FilterResult FilterNumericText(const std::string& utf8Text);

// Every "." removed; the count and seed boxes run this after the filter.
std::string RemoveDots(const std::string& text);

// What a box ends with after a paste: setting the text fires the change event
// again, so the filter runs until the text is acceptable, one beep per removed
// character. With `removeDots` the dots go afterwards, as in the count boxes.
struct FilterOutcome {
    std::string text;
    int beeps;           // characters removed by the filter (not the dots)
    std::size_t caret;   // end of `text` in characters
};
FilterOutcome FilterUntilAccepted(const std::string& utf8Text, bool removeDots = false);

// Number of characters (code points) of a UTF-8 text; a byte that does not
// belong to a valid sequence counts as one character.
std::size_t CharacterCount(const std::string& utf8Text);

}  // namespace korvane

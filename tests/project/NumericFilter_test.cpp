// The filter of the numeric text boxes: digits, dots and a leading minus
// stay; anything else goes, one character per change event.
#include "project/NumericFilter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvane {
namespace {

// What a text box goes through: every removal sets the text, which fires the
// change event, which runs the filter again.
FilterOutcome ByChangeEvents(const std::string& text) {
    FilterOutcome out{text, 0, 0};
    for (FilterResult r = FilterNumericText(text); r.removed; r = FilterNumericText(out.text)) {
        out.text = r.text;
        out.caret = r.caret;
        ++out.beeps;
    }
    return out;
}

// One pass removes only the first rejected character: blank to comma,
// slash, everything above "9", a minus not first; a non-ASCII character goes
// whole, a stray byte alone. The caret counts characters, not bytes.
TEST(NumericFilter, OnePassRemovesTheFirstRejectedCharacterOnly) {
    struct Row {
        std::string text, after;
        std::size_t caret;
    };
    for (const Row& r : std::vector<Row>{
             {"1a2b", "12b", 3}, {"12a", "12", 2}, {" ", "", 0}, {"!", "", 0}, {"+", "", 0}, {",", "", 0},
             {"/", "", 0}, {":", "", 0}, {"e", "", 0}, {"E", "", 0}, {"\x7f", "", 0}, {"5-", "5", 1},
             {"--", "-", 1}, {"1e5", "15", 2},
             {"1\xEF\xBC\x92" "3", "13", 2},           // full-width 2 (3 bytes)
             {"\xF0\x9F\x98\x80" "7", "7", 1},         // an emoji (4 bytes)
             {"a12\xEF\xBD\x82", "12\xEF\xBD\x82", 3},  // the full-width b waits for the next pass
             {"\xFF" "1", "1", 1}}) {
        const FilterResult f = FilterNumericText(r.text);
        EXPECT_TRUE(f.removed) << r.text;
        EXPECT_EQ(f.text, r.after) << r.text;
        EXPECT_EQ(f.caret, r.caret) << r.text;
    }
    for (const std::string text : {"", "-5", "1.2.3", "0123456789", "..", "-", "1\t2", "-.5"}) {
        const FilterResult f = FilterNumericText(text);
        EXPECT_FALSE(f.removed) << text;
        EXPECT_EQ(f.text, text);
    }
}

// A paste is cleaned a character per beep (a cut-off sequence a byte per
// beep); once what stood before it is gone, a minus is first and stays. The
// count boxes drop the dots too, without a beep.
TEST(NumericFilter, PasteIsCleanedOneBeepPerCharacter) {
    struct Row {
        std::string text;
        bool count;
        std::string after;
        int beeps;
    };
    for (const Row& r : std::vector<Row>{{"1,2 3", false, "123", 2}, {"a-5", false, "-5", 1}, {"--5", false, "-5", 1},
                                         {"1\xE3\x81", false, "1", 2}, {"10.5", true, "105", 0},
                                         {".-5a", true, "5", 2}}) {
        const FilterOutcome out = FilterUntilAccepted(r.text, r.count);
        EXPECT_EQ(out.text, r.after) << r.text;
        EXPECT_EQ(out.beeps, r.beeps) << r.text;
    }
    EXPECT_EQ(FilterUntilAccepted("1,2 3").caret, 3u);
    EXPECT_EQ(RemoveDots("1.2."), "12");
}

TEST(NumericFilter, RepeatedFilterMatchesChangeEvents) {
    const std::vector<std::string> texts = {
        "1,2 3", "a-5", "--5", "x-y-1", "-a-", "1e-5", "\xEF\xBC\x8D" "-3", "abc", "12.5kg", "\t-1", "-\xE3\x81\x82-",
        std::string(200, 'z') + "-9",
    };
    for (const auto& text : texts) {
        const FilterOutcome expected = ByChangeEvents(text);
        const FilterOutcome actual = FilterUntilAccepted(text);
        EXPECT_EQ(actual.text, expected.text) << text;
        EXPECT_EQ(actual.beeps, expected.beeps) << text;
        if (expected.beeps > 0) {
            EXPECT_EQ(actual.caret, expected.caret) << text;
        }
    }
}

}  // namespace
}  // namespace korvane

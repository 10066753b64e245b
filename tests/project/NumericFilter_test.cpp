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

TEST(NumericFilter, RemovesOnlyTheFirstRejectedCharacter) {
    const FilterResult r = FilterNumericText("1a2b");
    EXPECT_TRUE(r.removed);
    EXPECT_EQ(r.text, "12b");
    EXPECT_EQ(r.caret, 3u);

    const FilterResult typed = FilterNumericText("12a");
    EXPECT_TRUE(typed.removed);
    EXPECT_EQ(typed.text, "12");
}

TEST(NumericFilter, AcceptedTextIsLeftAlone) {
    for (const std::string text : {"", "-5", "1.2.3", "0123456789", "..", "-", "1\t2", "-.5"}) {
        const FilterResult r = FilterNumericText(text);
        EXPECT_FALSE(r.removed) << text;
        EXPECT_EQ(r.text, text);
    }
}

TEST(NumericFilter, RejectedCodesAroundTheAcceptedOnes) {
    // blank .. comma, slash, and everything above "9"
    for (const std::string text : {" ", "!", "+", ",", "/", ":", "e", "E", "\x7f", "5-", "--"}) {
        EXPECT_TRUE(FilterNumericText(text).removed) << text;
    }
    EXPECT_EQ(FilterNumericText("5-").text, "5");
    EXPECT_EQ(FilterNumericText("1e5").text, "15");
}

TEST(NumericFilter, NonAsciiCharactersGoWhole) {
    // full-width 2 (3 bytes), then an emoji (4 bytes)
    const FilterResult r = FilterNumericText("1\xEF\xBC\x92" "3");
    EXPECT_EQ(r.text, "13");
    EXPECT_EQ(r.caret, 2u);
    EXPECT_EQ(FilterNumericText("\xF0\x9F\x98\x80" "7").text, "7");
    // The caret counts characters, not bytes.
    const FilterResult left = FilterNumericText("a12\xEF\xBD\x82");
    EXPECT_EQ(left.text, "12\xEF\xBD\x82");
    EXPECT_EQ(left.caret, 3u);
    // A stray byte, or a cut-off sequence, goes one byte per event.
    EXPECT_EQ(FilterNumericText("\xFF" "1").text, "1");
    EXPECT_EQ(FilterUntilAccepted("1\xE3\x81").beeps, 2);
}

TEST(NumericFilter, PasteIsCleanedOneBeepPerCharacter) {
    const FilterOutcome paste = FilterUntilAccepted("1,2 3");
    EXPECT_EQ(paste.text, "123");
    EXPECT_EQ(paste.beeps, 2);
    EXPECT_EQ(paste.caret, 3u);
    // Once what stood before it is gone, a minus is first and stays.
    EXPECT_EQ(FilterUntilAccepted("a-5").text, "-5");
    EXPECT_EQ(FilterUntilAccepted("--5").text, "-5");
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

TEST(NumericFilter, CountBoxesDropTheDots) {
    EXPECT_EQ(RemoveDots("1.2."), "12");
    const FilterOutcome typed = FilterUntilAccepted("10.5", true);
    EXPECT_EQ(typed.text, "105");
    EXPECT_EQ(typed.beeps, 0);
    const FilterOutcome pasted = FilterUntilAccepted(".-5a", true);
    EXPECT_EQ(pasted.text, "5");
    EXPECT_EQ(pasted.beeps, 2);
}

}  // namespace
}  // namespace korvane

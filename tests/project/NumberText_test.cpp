#include "project/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace korvane {
namespace {

constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(LeadingNumber, TakesTheLongestLeadingNumber) {
    const std::vector<std::pair<std::string, double>> cases = {
        {"12abc", 12}, {"abc", 0},   {"  7", 7},      {"1e+", 1},     {"1E+05", 1e5},  {"1.5E3x", 1500},
        {"-", 0},      {"-.5", -0.5}, {"1.2.3", 1.2}, {"", 0},        {"- 5", 0},      {"0x10", 0},
        {"FALSE", 0},  {"1e999", kMax}, {"-1e999", -kMax}, {"1e-999", 0},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(LeadingNumber(text), expected) << text;
    EXPECT_FALSE(std::signbit(LeadingNumber("-0")));
}

TEST(ParseDecimal, WholeTextMustBeOneNumber) {
    for (const std::string text : {" 12 ", "5.", ".5", "+3", "1E-05", "1.79769313486232E+308"}) {
        double v = -99;
        EXPECT_TRUE(ParseDecimal(text, v)) << text;
        EXPECT_EQ(v, LeadingNumber(text)) << text;
    }
    for (const std::string text : {"", "12abc", "1e", "-", ".", "1e999", "1,000", "e5"}) {
        double v = -99;
        EXPECT_FALSE(ParseDecimal(text, v)) << text;
        EXPECT_EQ(v, -99) << "value untouched for " << text;
        EXPECT_FALSE(IsNumericText(text)) << text;
    }
}

TEST(GeneralNumber, FifteenDigitsPlainOrExponent) {
    const std::vector<std::pair<double, std::string>> cases = {
        {-0.0, "0"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {0.1 + 0.2, "0.3"},
        {1e-4, "0.0001"},
        {0.000099999, "9.9999E-05"},
        {1e-5, "1E-05"},
        {999999999999999, "999999999999999"},
        {999999999999999.9, "1E+15"},  // rounding to 15 digits reaches 1E15
        {1234567890123456, "1.23456789012346E+15"},
        {1e100, "1E+100"},
        {kMax, "1.79769313486232E+308"},
        {5e-324, "4.94065645841247E-324"},
        {std::nan(""), "NaN"},
        {-kInf, "-Inf"},
    };
    for (const auto& [x, expected] : cases) EXPECT_EQ(GeneralNumber(x), expected) << x;
    // What is written reads back to the same text.
    for (double x : {1.0 / 3, -123.456, 1e-5, 6.02214076e23, kMax, 5e-324})
        EXPECT_EQ(GeneralNumber(LeadingNumber(GeneralNumber(x))), GeneralNumber(x));
}

TEST(Rounding, HalvesGoToEven) {
    const std::vector<std::pair<double, std::int64_t>> integers = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-0.5, 0}, {2.6, 3},
        {1e30, std::numeric_limits<std::int64_t>::max()}, {std::nan(""), 0},
    };
    for (const auto& [x, expected] : integers) EXPECT_EQ(RoundToInteger(x), expected) << x;

    // Halves are judged on the decimal text, not on the binary value.
    struct Case {
        double x;
        int decimals;
        double expected;
    };
    const std::vector<Case> cases = {
        {0.125, 2, 0.12}, {0.375, 2, 0.38}, {-0.125, 2, -0.12}, {0.1251, 2, 0.13}, {1.005, 2, 1.0}, {2.5, 0, 2},
        {2.675, 2, 2.68}, {9.995, 2, 10},   {1e300, 2, 1e300},  {25, -1, 20},      {35, -1, 40},
    };
    for (const auto& c : cases) EXPECT_EQ(RoundHalfEven(c.x, c.decimals), c.expected) << c.x << " " << c.decimals;
    EXPECT_EQ(GeneralNumber(RoundHalfEven(-0.001, 2)), "0");
    EXPECT_TRUE(std::isnan(RoundHalfEven(std::nan(""), 2)));
}

struct FormatCase {
    double x;
    const char* pattern;
    const char* expected;
};

TEST(FormatPattern, PlaceholdersPointGroupingExponent) {
    const std::vector<FormatCase> cases = {
        {0.5, "#.##", ".5"},
        {2, "#.##", "2."},
        {123.45, "#e+##", "1e+2"},
        {1.005, "0.00", "1.01"},  // the decimal text 1.005 rounds away from zero
        {1234567, "#,##0", "1,234,567"},
        {-1234.5, "#,##0.0", "-1,234.5"},
        {999.9996, "#,##0.000", "1,000.000"},
        {0, "#", ""},
        {9.995, "#.##", "10."},         // carry through every digit
        {0.99999, "#.##e+##", "1.e+0"},  // carry rolls the exponent over
        {-1e-7, "#.##e+##", "-1.e-7"},
        {2.0 / 3, "#.##########", ".6666666667"},
        {-0.001, "0.00", "0.00"},        // rounds to zero: no sign
        {12, "0000", "0012"},
        {-1.5, "$0.00", "-$1.50"},
        {1.25, "0.0#", "1.25"},
        {1234.5, "0.00E-00", "1.23E03"},  // "E-" shows only a minus
        {0.00012, "0.00E-00", "1.20E-04"},
        {1e20, "0", "100000000000000000000"},
        {5e-324, "0.00e+000", "4.94e-324"},
        {std::nan(""), "0.00", "NaN"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatPattern(c.x, c.pattern), c.expected) << c.x << " " << c.pattern;
    // Huge values and long patterns stay bounded.
    EXPECT_EQ(FormatPattern(kMax, "#,##0").size(), 309u + 102u);
    EXPECT_EQ(FormatPattern(1.0 / 3, "0." + std::string(40, '0')), "0.333333333333333" + std::string(25, '0'));
}

// What a pattern writes reads back as a value that writes the same text again
// (inputs kept as formatted text never drift). Found by fuzzing: the general
// form of an empty pattern, a grouped value longer than 400 characters, and
// literal digits beside placeholders, where more than one reading matches.
TEST(ParseFormattedNumber, ReadsBackWhatThePatternWrote) {
    const std::vector<FormatCase> cases = {
        {1234.5, "", "1234.5"},
        {-kMax, "#,0", nullptr},
        {6.319205452870551e268, "000000e+0300", "631921e+2363"},  // exponent 263, not 236
        {5.2846989541780817e-308, "######4######e+3", "5284694895418e-3193"},
        {-25013, "#1W0 # #,# #0 #", "-1W0  25, 01 3"},
        {12345, "#,0x000", "12,x345"},
        // many "#" that may each be empty, zeros shown in grouped placeholders
        {6714919972670.6836, "\x08#,*################,##00#000#0\x97#0000 66#,#*####", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        const std::string text = FormatPattern(c.x, c.pattern);
        if (c.expected) {
            EXPECT_EQ(text, c.expected);
        }
        double back = 0;
        ASSERT_TRUE(ParseFormattedNumber(text, c.pattern, back)) << text;
        EXPECT_EQ(FormatPattern(back, c.pattern), text);
    }
}

TEST(FormatArgumentValue, MantissaWithFiveDecimals) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"123.45", "1.23450e+2"}, {"0.00012", "1.20000e-4"}, {"0", "0.00000e+0"}, {"-5", "-5.00000e+0"},
        {"9.999999", "1.00000e+1"}, {"1.5E+20", "1.50000e+20"}, {"12abc", "12abc"}, {"1e999", "1e999"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(FormatArgumentValue(text), expected) << text;
}

TEST(FormatChart, ChartPatterns) {
    const std::vector<FormatCase> cases = {
        {123.456, "0.000e+0", "1.235e+2"},     {-0.00012, "0.000e+0", "-1.200e-4"},  {0, "0.000e+0", "0.000e+0"},
        {123.456, "0.00e+0", "1.23e+2"},       {-0.00012, "0.00e+0", "-1.20e-4"},    {0, "0.00e+0", "0.00e+0"},
        {123.456, "0.0000e+0", "1.2346e+2"},   {-0.00012, "0.0000e+0", "-1.2000e-4"}, {0, "0.0000e+0", "0.0000e+0"},
        {123.456, "0.000e+00", "1.235e+02"},   {-0.00012, "0.000e+00", "-1.200e-04"}, {0, "0.000e+00", "0.000e+00"},
        {123.456, "0.000e+000", "1.235e+002"}, {-0.00012, "0.000e+000", "-1.200e-004"},
        {0, "0.000e+000", "0.000e+000"},       {123.456, "0.00000", "123.45600"},   {-0.00012, "0.00000", "-0.00012"},
        {0, "0.00000", "0.00000"},             {1e10, "0.000e+0", "1.000e+10"},     {1e-10, "0.000e+0", "1.000e-10"},
        {0, "#", ""},                          {3.6, "#", "4"},                     {-0.4, "#", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatChart(c.x, c.pattern), c.expected) << c.x << " " << c.pattern;
}

TEST(ChartRange, MinMaxCompareNumbersAndTheMarginIsAFifth) {
    EXPECT_EQ(Min_Val("3", "12"), 3);
    EXPECT_EQ(Max_Val("3", "12"), 12);
    EXPECT_EQ(Max_Val("-", "2"), 2);
    EXPECT_EQ(Min_Val("-", "2"), 0);
    EXPECT_EQ(Max_Val("12abc", "9"), 12);
    // A number takes part as its 15-digit text.
    EXPECT_EQ(Max_Val(1.0 / 3, "0"), 0.333333333333333);
    EXPECT_EQ(Max_Val(kInf, 1.0), 1.0);

    // Equal ends: a fifth of the value (a fifth of the width: the chart frames).
    EXPECT_DOUBLE_EQ(Margin(2, 2), 0.4);
    EXPECT_EQ(Margin(0, 0), 0);
}

}  // namespace
}  // namespace korvane

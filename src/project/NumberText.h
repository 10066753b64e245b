#pragma once
// Number texts: how the system reads a text as a number and writes a number as
// text. Values travel between the steps as text, so every module reads and
// writes numbers through these functions.

#include <cstdint>
#include <string>

namespace korvane {

// Leading-number rule: leading blanks are skipped; the longest leading part
// that forms a decimal number (optional sign, digits, optional point and
// digits, optional exponent with "E" or "e") is the value; a text without such
// a part reads as 0; trailing characters are ignored ("12abc" reads as 12).
double LeadingNumber(const std::string& text);
// True when the text has such a leading part (a text without one reads as 0).
bool HasLeadingNumber(const std::string& text);
// The same reading for a value that is to be computed with (the analyses):
// false when the leading number lies beyond the range of a double ("1e999"),
// which cannot be held as any value. Numbers up to the largest double's own
// 15-digit text are held at it; texts without a number read as 0.
bool ReadLeadingNumber(const std::string& text, double& value);

// Strict reading: true when the whole text (blanks around it allowed) is one
// decimal number in the leading-number grammar; the value goes to `value`.
bool ParseDecimal(const std::string& text, double& value);

// True when the text reads as a number as a whole (as ParseDecimal).
bool IsNumericText(const std::string& text);

// General number form: up to 15 significant digits, no grouping, a point;
// plain notation for 1E-4 <= |x| < 1E15, otherwise mantissa + "E+"/"E-" + at
// least two exponent digits (1E-05, 1.5E+20, 1.23456789012346E+15); no "-0".
std::string GeneralNumber(double x);

// Integer conversion, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
std::int64_t RoundToInteger(double x);
// Round to `decimals` decimals, halves to even on the decimal value as written
// (0.125 -> 0.12, 0.375 -> 0.38). Negative decimals round to tens, hundreds
// and so on (25 with -1 -> 20).
double RoundHalfEven(double x, int decimals);

// The "Format" kind: a spreadsheet number-format pattern with "0" and "#"
// placeholders, ".", the grouping ",", and exponents "E+", "E-", "e+", "e-".
// Any other pattern character is copied as a literal. The shown digits are
// rounded with halves away from zero; a value that rounds to zero has no sign.
// 0.5 with "#.##" -> ".5"; 2 with "#.##" -> "2."; 123.45 with "#e+##" -> "1e+2".
std::string FormatPattern(double x, const std::string& pattern);

// Reads back a text that FormatPattern wrote with `pattern`: grouping commas,
// literal characters before, between and after the digits, a missing leading
// zero (".5") and the exponent are all understood, so that formatting the
// value read gives the same text again. False when the text cannot have come
// from the pattern.
bool ParseFormattedNumber(const std::string& text, const std::string& pattern, double& value);

// The argument pattern "0.00000e+#" used when values are substituted into an
// external program's arguments: 123.45 -> "1.23450e+2", 0.00012 -> "1.20000e-4".
// A text that is not a number is returned unchanged.
std::string FormatArgumentValue(const std::string& text);

// The chart patterns: "0.000e+0", "0.00e+0", "0.0000e+0", "0.000e+00",
// "0.000e+000", "0.00000", "#".
std::string FormatChart(double x, const std::string& pattern);

// Running range helpers of the charts. Both arguments are read by the
// leading-number rule; a number argument is printed with 15 significant
// digits and read back.
double Min_Val(const std::string& a, const std::string& b);
double Max_Val(const std::string& a, const std::string& b);
double Min_Val(double a, const std::string& b);
double Max_Val(double a, const std::string& b);
double Min_Val(double a, double b);
double Max_Val(double a, double b);

// Margin rule: m = the larger of |1.2*lo - lo| and |1.2*hi - hi|; the plotting
// range is (lo - m, hi + m).
double Margin(double lo, double hi);

}  // namespace korvane

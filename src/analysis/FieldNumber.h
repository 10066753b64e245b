#pragma once
// How the analyses read a DB field as a number.

#include <string>

namespace korvane {

// The leading-number rule (blanks skipped, the longest leading decimal number
// is the value, a text without one is 0, "12abc" is 12), except that grouping
// commas inside the integer digits are ignored: a field that a spreadsheet
// exported as the quoted "1,234.5" reads as 1234.5. A comma counts as a
// grouping comma only between a digit and exactly three digits, so "1,2"
// still reads as 1.
double FieldNumber(const std::string& text);

}  // namespace korvane

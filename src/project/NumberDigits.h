#pragma once
// The decimal digits of a double as the number texts see them, shared by the
// reading and general form (NumberText.cpp) and the patterns
// (NumberPattern.cpp). Private to those two files.

#include <string>

namespace korvane {

// A finite double as 15 significant decimal digits: |x| = d0.d1...d14 x 10^exponent.
struct Digits15 {
    bool negative = false;
    std::string digits;  // exactly 15 characters; digits[0] is non-zero unless x is 0
    int exponent = 0;
};

Digits15 ToDigits15(double x);

// Adds one to a decimal digit string; may grow it by one digit ("999" -> "1000").
void IncrementDigits(std::string& digits);

// "NaN", "Inf" or "-Inf".
std::string NonFiniteText(double x);

}  // namespace korvane

// Reading a text as a number (the leading-number rule and strict reading),
// the general number form, and rounding. Number-format patterns are in
// NumberPattern.cpp.
#include "project/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "project/NumberDigits.h"

namespace korvane {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Length of the longest decimal number at the start of `s` (optional sign,
// digits, optional point and digits, optional exponent); 0 when there is none.
// An exponent letter without digits after it is not part of the number, so
// "1e" is the number 1 followed by the letter e.
std::size_t ScanNumber(std::string_view s) {
    const std::size_t n = s.size();
    std::size_t i = 0;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    const std::size_t intStart = i;
    while (i < n && IsDigit(s[i])) ++i;
    const std::size_t intDigits = i - intStart;
    std::size_t fracDigits = 0;
    if (i < n && s[i] == '.') {
        std::size_t j = i + 1;
        while (j < n && IsDigit(s[j])) ++j;
        fracDigits = j - i - 1;
        if (intDigits + fracDigits > 0) i = j;
    }
    if (intDigits + fracDigits == 0) return 0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (s[j] == '+' || s[j] == '-')) ++j;
        const std::size_t expStart = j;
        while (j < n && IsDigit(s[j])) ++j;
        if (j > expStart) i = j;
    }
    return i;
}

// Decimal exponent of the first non-zero mantissa digit of a scanned number,
// with its exponent part added; used only to tell overflow from underflow.
long long MagnitudeOf(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    long long intLen = 0;
    while (i + intLen < s.size() && IsDigit(s[i + intLen])) ++intLen;
    long long place = 0;
    bool found = false;
    for (long long j = 0; j < intLen && !found; ++j) {
        if (s[i + j] != '0') {
            place = intLen - 1 - j;
            found = true;
        }
    }
    std::size_t k = i + intLen;
    if (k < s.size() && s[k] == '.') {
        ++k;
        for (long long j = 0; k < s.size() && IsDigit(s[k]); ++k, ++j) {
            if (!found && s[k] != '0') {
                place = -(j + 1);
                found = true;
            }
        }
    }
    if (!found) return 0;
    long long exponent = 0;
    if (k < s.size() && (s[k] == 'e' || s[k] == 'E')) {
        ++k;
        bool negative = false;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) negative = s[k++] == '-';
        // Saturate: anything beyond a few thousand is out of range either way.
        for (; k < s.size() && IsDigit(s[k]); ++k) exponent = std::min(exponent * 10 + (s[k] - '0'), 100000LL);
        if (negative) exponent = -exponent;
    }
    return place + exponent;
}

// Value of a text that ScanNumber accepted as a whole. Values beyond the range
// of a double are held at the largest finite double (with their sign), so a
// typed "1e999" stays an ordinary, comparable number; values too small for a
// double read as 0.
double ConvertScanned(std::string_view s) {
    std::string_view body = s;
    if (!body.empty() && body.front() == '+') body.remove_prefix(1);
    const bool negative = !body.empty() && body.front() == '-';
    double value = 0.0;
    const auto result = std::from_chars(body.data(), body.data() + body.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        if (MagnitudeOf(s) > 0) {
            value = std::numeric_limits<double>::max();
            return negative ? -value : value;
        }
        return 0.0;
    }
    if (result.ec != std::errc()) return 0.0;
    return value == 0.0 ? 0.0 : value;  // never hand out -0
}

}  // namespace

Digits15 ToDigits15(double x) {
    Digits15 d;
    if (x == 0.0) {
        d.digits.assign(15, '0');
        return d;
    }
    d.negative = x < 0;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(x),
                                      std::chars_format::scientific, 14);
    // "d.dddddddddddddde+XX"
    const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
    d.digits.reserve(15);
    d.digits.push_back(text[0]);
    d.digits.append(text.substr(2, 14));
    std::size_t e = text.find('e') + 1;
    const bool negativeExponent = text[e] == '-';
    ++e;  // to_chars always writes the exponent's sign
    int exponent = 0;
    std::from_chars(text.data() + e, text.data() + text.size(), exponent);
    d.exponent = negativeExponent ? -exponent : exponent;
    return d;
}

// Adds one to a decimal digit string; may grow it by one digit ("999" -> "1000").
void IncrementDigits(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] != '9') {
            ++digits[i];
            return;
        }
        digits[i] = '0';
    }
    digits.insert(digits.begin(), '1');
}

std::string NonFiniteText(double x) {
    if (std::isnan(x)) return "NaN";
    return x < 0 ? "-Inf" : "Inf";
}

double LeadingNumber(const std::string& text) {
    std::string_view s(text);
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    const std::size_t length = ScanNumber(s);
    if (length == 0) return 0.0;
    return ConvertScanned(s.substr(0, length));
}

bool HasLeadingNumber(const std::string& text) {
    std::string_view s(text);
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return ScanNumber(s) > 0;
}

bool ReadLeadingNumber(const std::string& text, double& value) {
    std::string_view s(text);
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    const std::size_t length = ScanNumber(s);
    if (length > 0 && MagnitudeOf(s.substr(0, length)) > 308) return false;
    value = length == 0 ? 0.0 : ConvertScanned(s.substr(0, length));
    return true;
}

bool ParseDecimal(const std::string& text, double& value) {
    std::string_view s(text);
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    const std::size_t length = ScanNumber(s);
    if (length == 0 || length != s.size()) return false;
    // A number of 1E309 or more is refused rather than held at the largest
    // double: strict reading is for checking what was typed. Texts just above
    // the largest double, such as its own 15-digit form 1.79769313486232E+308,
    // are still accepted (and held at it).
    if (MagnitudeOf(s) > 308) return false;
    value = ConvertScanned(s);
    return true;
}

bool IsNumericText(const std::string& text) {
    double ignored = 0.0;
    return ParseDecimal(text, ignored);
}

std::string GeneralNumber(double x) {
    if (!std::isfinite(x)) return NonFiniteText(x);
    if (x == 0.0) return "0";
    const Digits15 d = ToDigits15(x);
    std::string significant = d.digits;
    while (significant.size() > 1 && significant.back() == '0') significant.pop_back();
    std::string out = d.negative ? "-" : "";
    const int e = d.exponent;
    if (e >= -4 && e <= 14) {
        if (e >= 0) {
            const auto intLen = static_cast<std::size_t>(e) + 1;
            if (significant.size() <= intLen) {
                out += significant + std::string(intLen - significant.size(), '0');
            } else {
                out += significant.substr(0, intLen) + "." + significant.substr(intLen);
            }
        } else {
            out += "0." + std::string(static_cast<std::size_t>(-e - 1), '0') + significant;
        }
        return out;
    }
    out.push_back(significant[0]);
    if (significant.size() > 1) out += "." + significant.substr(1);
    out += e < 0 ? "E-" : "E+";
    std::string exponent = std::to_string(e < 0 ? -e : e);
    if (exponent.size() < 2) exponent.insert(exponent.begin(), '0');
    return out + exponent;
}

std::int64_t RoundToInteger(double x) {
    // Works on the binary value; every half (n + 0.5) below 2^52 is exact in
    // binary, so "halves" are seen exactly as typed.
    if (std::isnan(x)) return 0;
    constexpr double kLimit = 9223372036854775808.0;  // 2^63
    if (x >= kLimit) return std::numeric_limits<std::int64_t>::max();
    if (x < -kLimit) return std::numeric_limits<std::int64_t>::min();
    const double below = std::floor(x);
    const double fraction = x - below;  // exact
    double rounded = below;
    if (fraction > 0.5) {
        rounded = below + 1.0;
    } else if (fraction == 0.5) {
        rounded = std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
    }
    if (rounded >= kLimit) return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(rounded);
}

double RoundHalfEven(double x, int decimals) {
    // Judged on the 15-significant-digit decimal form, so 0.125 (binary
    // 0.1250000000000000) is an exact half and 1.005 is seen as 1.005.
    // Negative decimals round to tens, hundreds, ... (25 with -1 gives 20).
    if (!std::isfinite(x) || x == 0.0) return x == 0.0 ? 0.0 : x;
    const Digits15 d = ToDigits15(x);
    const long long keep = static_cast<long long>(d.exponent) + decimals + 1;
    if (keep >= 15) return x;  // no digit below the last decimal
    if (keep < 0) return 0.0;  // less than half a unit of the last decimal
    std::string kept = d.digits.substr(0, static_cast<std::size_t>(keep));
    const char next = d.digits[static_cast<std::size_t>(keep)];
    const bool restZero =
        std::all_of(d.digits.begin() + keep + 1, d.digits.end(), [](char c) { return c == '0'; });
    const bool lastOdd = !kept.empty() && (kept.back() - '0') % 2 == 1;
    if (next > '5' || (next == '5' && (!restZero || lastOdd))) IncrementDigits(kept);
    if (kept.empty() || std::all_of(kept.begin(), kept.end(), [](char c) { return c == '0'; })) return 0.0;
    const std::string text = (d.negative ? "-" : "") + kept + "e" + std::to_string(-decimals);
    return ConvertScanned(text);
}

// A number argument takes part as its 15-digit text read back, so a value that
// came from a grid compares exactly as its text would. Non-finite numbers
// print as words and so take part as 0.
double Min_Val(const std::string& a, const std::string& b) {
    const double x = LeadingNumber(a);
    const double y = LeadingNumber(b);
    return y < x ? y : x;
}

double Max_Val(const std::string& a, const std::string& b) {
    const double x = LeadingNumber(a);
    const double y = LeadingNumber(b);
    return y > x ? y : x;
}

double Min_Val(double a, const std::string& b) { return Min_Val(GeneralNumber(a), b); }
double Max_Val(double a, const std::string& b) { return Max_Val(GeneralNumber(a), b); }
double Min_Val(double a, double b) { return Min_Val(GeneralNumber(a), GeneralNumber(b)); }
double Max_Val(double a, double b) { return Max_Val(GeneralNumber(a), GeneralNumber(b)); }

double Margin(double lo, double hi) {
    return std::max(std::fabs(1.2 * lo - lo), std::fabs(1.2 * hi - hi));
}

}  // namespace korvane

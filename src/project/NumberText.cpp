#include "project/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <string_view>
#include <vector>

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

// A finite double as 15 significant decimal digits: |x| = d0.d1...d14 x 10^exponent.
struct Digits15 {
    bool negative = false;
    std::string digits;  // exactly 15 characters; digits[0] is non-zero unless x is 0
    int exponent = 0;
};

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

// The first `keep` digits of `digits`, rounded by the digits after them with
// halves going away from zero; zeros are appended when `keep` exceeds the
// digits held. Empty when nothing remains (the value rounds to zero).
std::string RoundDigitsHalfUp(const std::string& digits, long long keep) {
    if (keep < 0) return {};
    const auto held = static_cast<long long>(digits.size());
    if (keep >= held) return digits + std::string(static_cast<std::size_t>(keep - held), '0');
    std::string kept = digits.substr(0, static_cast<std::size_t>(keep));
    if (digits[static_cast<std::size_t>(keep)] >= '5') IncrementDigits(kept);
    return kept;
}

// -------------------------------------------------------------- patterns

struct PatternToken {
    bool placeholder = false;  // "0" or "#"; otherwise a literal character
    char ch = 0;
};

struct ParsedPattern {
    std::vector<PatternToken> integer, fraction, exponent;
    bool hasPoint = false;
    bool grouping = false;
    bool hasExponent = false;
    char exponentLetter = 'e';
    bool exponentSignAlways = true;  // "E+" shows "+", "E-" shows only "-"
};

long long CountPlaceholders(const std::vector<PatternToken>& tokens) {
    return std::count_if(tokens.begin(), tokens.end(), [](const PatternToken& t) { return t.placeholder; });
}

// Only the first point (before any exponent) is the decimal point and only the
// first "E+"/"E-"/"e+"/"e-" is the exponent; a comma after the first integer
// placeholder asks for grouping; everything else is a literal and is copied.
ParsedPattern ParsePattern(const std::string& pattern) {
    ParsedPattern p;
    std::vector<PatternToken>* section = &p.integer;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '0' || c == '#') {
            section->push_back({true, c});
        } else if (c == '.' && section == &p.integer) {
            p.hasPoint = true;
            section = &p.fraction;
        } else if (c == ',' && section == &p.integer && CountPlaceholders(p.integer) > 0) {
            p.grouping = true;
        } else if ((c == 'e' || c == 'E') && !p.hasExponent && i + 1 < pattern.size() &&
                   (pattern[i + 1] == '+' || pattern[i + 1] == '-')) {
            p.hasExponent = true;
            p.exponentLetter = c;
            p.exponentSignAlways = pattern[i + 1] == '+';
            ++i;
            section = &p.exponent;
        } else {
            section->push_back({false, c});
        }
    }
    return p;
}

// Places a digit string into a run of placeholders, right-aligned: digits
// beyond the placeholders all go into the leftmost one, "0" placeholders
// without a digit show 0, "#" placeholders without a digit show nothing.
// Without any placeholder the digits go at the end of the section
// (`digitsAtEnd`) or at its start.
std::string FillPlaceholders(const std::vector<PatternToken>& tokens, const std::string& digits, bool grouping,
                             bool digitsAtEnd) {
    std::string reversed;
    std::size_t remaining = digits.size();
    int emitted = 0;
    auto emit = [&](char c) {
        if (grouping && emitted > 0 && emitted % 3 == 0) reversed.push_back(',');
        reversed.push_back(c);
        ++emitted;
    };
    const auto first = std::find_if(tokens.begin(), tokens.end(), [](const PatternToken& t) { return t.placeholder; });
    const bool anyPlaceholder = first != tokens.end();
    if (!anyPlaceholder && digitsAtEnd) {
        while (remaining > 0) emit(digits[--remaining]);
    }
    for (auto it = tokens.rbegin(); it != tokens.rend(); ++it) {
        if (!it->placeholder) {
            reversed.push_back(it->ch);
            continue;
        }
        const bool leftmost = it.base() - 1 == first;
        if (remaining > 0) {
            emit(digits[--remaining]);
            if (leftmost) {
                while (remaining > 0) emit(digits[--remaining]);
            }
        } else if (it->ch == '0') {
            emit('0');
        }
    }
    if (!anyPlaceholder && !digitsAtEnd) {
        std::string tail;
        for (std::size_t i = digits.size(); i-- > 0;) tail.push_back(digits[i]);
        reversed += tail;
    }
    std::reverse(reversed.begin(), reversed.end());
    return reversed;
}

// Fraction digits, one per placeholder from the left; trailing zeros that sit
// in "#" placeholders after the last "0" placeholder are left out.
std::string FillFraction(const std::vector<PatternToken>& tokens, const std::string& digits) {
    long long last = -1;
    long long index = 0;
    for (const auto& t : tokens) {
        if (!t.placeholder) continue;
        if (t.ch == '0' || digits[static_cast<std::size_t>(index)] != '0') last = index;
        ++index;
    }
    std::string out;
    index = 0;
    for (const auto& t : tokens) {
        if (!t.placeholder) {
            out.push_back(t.ch);
            continue;
        }
        if (index <= last) out.push_back(digits[static_cast<std::size_t>(index)]);
        ++index;
    }
    return out;
}

std::string NonFiniteText(double x) {
    if (std::isnan(x)) return "NaN";
    return x < 0 ? "-Inf" : "Inf";
}

}  // namespace

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

// Shown digits are rounded with halves away from zero, as spreadsheet number
// formats do, judged on the 15-significant-digit decimal form of the value
// (1.005 with "0.00" gives 1.01). A value that rounds to zero shows no sign.
// Multiple sections (";") and quoted literals are not supported: such
// characters are literals. An empty pattern gives the general number form.
std::string FormatPattern(double x, const std::string& pattern) {
    if (!std::isfinite(x)) return NonFiniteText(x);
    if (pattern.empty()) return GeneralNumber(x);
    const ParsedPattern p = ParsePattern(pattern);
    const long long integerPlaces = CountPlaceholders(p.integer);
    const long long fractionPlaces = CountPlaceholders(p.fraction);
    const Digits15 d = ToDigits15(x);

    std::string integerDigits;   // no leading zeros; empty for a zero integer part
    std::string fractionDigits;  // exactly fractionPlaces digits
    std::string exponentText;
    bool isZero = x == 0.0;

    if (!p.hasExponent) {
        // value * 10^fractionPlaces, rounded to an integer digit string
        std::string scaled;
        if (!isZero) scaled = RoundDigitsHalfUp(d.digits, d.exponent + fractionPlaces + 1);
        isZero = scaled.empty();
        const auto places = static_cast<std::size_t>(fractionPlaces);
        if (scaled.size() > places) {
            integerDigits = scaled.substr(0, scaled.size() - places);
            fractionDigits = scaled.substr(scaled.size() - places);
        } else {
            fractionDigits = std::string(places - scaled.size(), '0') + scaled;
        }
    } else {
        // The mantissa has as many integer digits as the pattern has integer
        // placeholders (one when the pattern has no placeholder at all).
        long long mantissaInteger = integerPlaces;
        if (integerPlaces == 0 && fractionPlaces == 0) mantissaInteger = 1;
        const long long significant = mantissaInteger + fractionPlaces;
        long long exponent = 0;
        std::string mantissa;
        if (isZero) {
            mantissa.assign(static_cast<std::size_t>(significant), '0');
        } else {
            exponent = d.exponent - (mantissaInteger - 1);
            mantissa = RoundDigitsHalfUp(d.digits, significant);
            if (static_cast<long long>(mantissa.size()) > significant) {
                // 9.99 -> 10.0: the carry moves into the exponent
                mantissa.pop_back();
                ++exponent;
            }
        }
        const auto split = static_cast<std::size_t>(mantissaInteger);
        integerDigits = mantissa.substr(0, split);
        fractionDigits = mantissa.substr(split);
        if (isZero) integerDigits = mantissaInteger > 0 ? "0" : "";
        exponentText.push_back(p.exponentLetter);
        if (exponent < 0) {
            exponentText.push_back('-');
        } else if (p.exponentSignAlways) {
            exponentText.push_back('+');
        }
        exponentText += FillPlaceholders(p.exponent, std::to_string(exponent < 0 ? -exponent : exponent), false,
                                         false);
    }

    std::string out = d.negative && !isZero ? "-" : "";
    out += FillPlaceholders(p.integer, integerDigits, p.grouping, true);
    if (p.hasPoint) out.push_back('.');
    out += FillFraction(p.fraction, fractionDigits);
    out += exponentText;
    return out;
}

namespace {

// One element of a pattern seen as what the formatter can have written for
// it: a literal character; a run of digits (the leftmost integer or exponent
// placeholder, which takes every digit the value needs beyond the other
// placeholders, with grouping commas); exactly one digit ("0") or at most one
// digit ("#": left out as a leading zero, or in the fraction as a trailing
// zero), which in a grouped integer part may have a grouping comma after it.
struct ShapeElement {
    enum Kind { Literal, Run, OneDigit, OptionalDigit, ExponentSign } kind;
    char ch = 0;
    int part = 0;  // 0 integer, 1 fraction, 2 exponent
    bool commas = false;
};

struct Shape {
    std::vector<ShapeElement> elements;
    std::vector<std::size_t> needs;  // characters that elements[k..] take at least
};

struct ShapeMatch {
    std::string digits[3];
    bool negativeExponent = false;
    bool fractionEnded = false;  // a "#" of the fraction was left out: so are the ones after it
    bool filled[3] = {false, false, false};  // a "#" of the part shows a digit: so do the ones after it
};

bool IsDigitChar(char c) { return c >= '0' && c <= '9'; }

using AcceptMatch = std::function<bool(const ShapeMatch&)>;

// Matches text[pos..] against shape[k..] to the end of both, trying longer
// digit runs first; a whole match counts when `accept` takes it, otherwise
// the search goes on. A failed match leaves `m` as it found it.
bool MatchShape(const Shape& shape, std::size_t k, const std::string& text, std::size_t pos, ShapeMatch& m,
                long& budget, const AcceptMatch& accept) {
    if (--budget < 0) return false;
    if (text.size() - pos < shape.needs[k]) return false;
    if (k == shape.elements.size()) return pos == text.size() && accept(m);
    const ShapeElement& e = shape.elements[k];
    switch (e.kind) {
    case ShapeElement::Literal:
        return text[pos] == e.ch && MatchShape(shape, k + 1, text, pos + 1, m, budget, accept);
    case ShapeElement::ExponentSign: {
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            m.negativeExponent = text[pos] == '-';
            if (MatchShape(shape, k + 1, text, pos + 1, m, budget, accept)) return true;
        }
        m.negativeExponent = false;
        return MatchShape(shape, k + 1, text, pos, m, budget, accept);
    }
    case ShapeElement::OneDigit:
    case ShapeElement::OptionalDigit: {
        std::string& digits = m.digits[e.part];
        if (pos < text.size() && IsDigitChar(text[pos]) && !(e.part == 1 && m.fractionEnded)) {
            digits.push_back(text[pos]);
            const bool filled = m.filled[e.part];
            if (e.kind == ShapeElement::OptionalDigit) m.filled[e.part] = true;
            if (e.commas && pos + 1 < text.size() && text[pos + 1] == ',' &&
                MatchShape(shape, k + 1, text, pos + 2, m, budget, accept))
                return true;
            if (MatchShape(shape, k + 1, text, pos + 1, m, budget, accept)) return true;
            m.filled[e.part] = filled;
            digits.pop_back();
        }
        if (e.kind != ShapeElement::OptionalDigit) return false;
        if (e.part != 1) {
            // Digits fill the placeholders from the right: once a "#" shows
            // a digit, every placeholder after it does.
            if (m.filled[e.part]) return false;
            return MatchShape(shape, k + 1, text, pos, m, budget, accept);
        }
        const bool ended = m.fractionEnded;
        m.fractionEnded = true;
        if (MatchShape(shape, k + 1, text, pos, m, budget, accept)) return true;
        m.fractionEnded = ended;
        return false;
    }
    case ShapeElement::Run: {
        // The run leaves room for what the rest of the shape needs.
        const std::size_t limit = text.size() - shape.needs[k + 1];
        std::size_t end = pos;
        while (end < limit && (IsDigitChar(text[end]) || (e.commas && text[end] == ','))) ++end;
        // The run is shortened one character at a time.
        std::string& digits = m.digits[e.part];
        const std::size_t saved = digits.size();
        for (std::size_t i = pos; i < end; ++i)
            if (text[i] != ',') digits.push_back(text[i]);
        const bool filled = m.filled[e.part];
        for (std::size_t stop = end;; --stop) {
            m.filled[e.part] = filled || (e.ch == '#' && digits.size() > saved);
            if (MatchShape(shape, k + 1, text, stop, m, budget, accept)) return true;
            if (stop == pos) break;
            if (text[stop - 1] != ',') digits.pop_back();
        }
        m.filled[e.part] = filled;
        digits.resize(saved);
        return false;
    }
    }
    return false;
}

}  // namespace

bool ParseFormattedNumber(const std::string& text, const std::string& pattern, double& value) {
    // An empty pattern writes the general number form.
    if (pattern.empty()) return ParseDecimal(text, value);
    // Nothing the pattern writes is longer than its own characters plus the
    // digits, grouping commas and exponent of the largest double.
    if (text.size() > pattern.size() + 450) return false;
    const ParsedPattern p = ParsePattern(pattern);
    Shape shape;
    std::vector<ShapeElement>& elements = shape.elements;
    auto section = [&](const std::vector<PatternToken>& tokens, int part, bool digitsAtEnd, bool commas) {
        const bool any = CountPlaceholders(tokens) > 0;
        if (!any && !digitsAtEnd) elements.push_back({ShapeElement::Run, 0, part, commas});
        bool leftmost = true;
        for (const auto& t : tokens) {
            const auto digit = t.ch == '0' ? ShapeElement::OneDigit : ShapeElement::OptionalDigit;
            if (!t.placeholder) {
                elements.push_back({ShapeElement::Literal, t.ch, part, false});
            } else if (part == 1) {
                elements.push_back({digit, t.ch, part, false});
            } else {
                elements.push_back({leftmost ? ShapeElement::Run : digit, t.ch, part, commas});
                leftmost = false;
            }
        }
        if (!any && digitsAtEnd) elements.push_back({ShapeElement::Run, 0, part, commas});
    };
    section(p.integer, 0, true, p.grouping);
    if (p.hasPoint) elements.push_back({ShapeElement::Literal, '.', 1, false});
    section(p.fraction, 1, true, false);
    if (p.hasExponent) {
        elements.push_back({ShapeElement::Literal, p.exponentLetter, 2, false});
        elements.push_back({ShapeElement::ExponentSign, 0, 2, false});
        section(p.exponent, 2, false, false);
    }
    shape.needs.assign(elements.size() + 1, 0);
    for (std::size_t k = elements.size(); k-- > 0;) {
        const auto kind = elements[k].kind;
        shape.needs[k] = shape.needs[k + 1] + (kind == ShapeElement::Literal || kind == ShapeElement::OneDigit);
    }
    // A text may match the pattern in more than one way when literal digits
    // stand beside placeholders ("0e+0300" writes the exponent 263 as
    // "2363", which also reads as 236). The reading taken is the one whose
    // value the pattern writes as this very text; the first reading stands
    // when no such one turns up among the first few (a text typed by hand).
    bool haveFirst = false;
    double first = 0.0;
    bool exact = false;
    int tries = 0;
    // The sign stands before everything the pattern writes.
    for (const bool negative : {true, false}) {
        if (negative && (text.empty() || text[0] != '-')) continue;
        const AcceptMatch accept = [&](const ShapeMatch& m) {
            double v = 0.0;
            if (m.digits[0].empty() && m.digits[1].empty()) {
                v = 0.0;
            } else {
                std::string number = negative ? "-" : "";
                number += m.digits[0].empty() ? "0" : m.digits[0];
                if (!m.digits[1].empty()) number += "." + m.digits[1];
                if (p.hasExponent && !m.digits[2].empty())
                    number += (m.negativeExponent ? "E-" : "E+") + m.digits[2];
                if (!ParseDecimal(number, v) || !std::isfinite(v)) return false;
            }
            if (!haveFirst) {
                haveFirst = true;
                first = v;
            }
            if (FormatPattern(v, pattern) == text) {
                exact = true;
                value = v;
                return true;
            }
            return ++tries >= 64;
        };
        ShapeMatch m;
        long budget = 100000;
        if (MatchShape(shape, 0, text, negative ? 1 : 0, m, budget, accept)) break;
    }
    if (exact) return true;
    if (haveFirst) value = first;
    return haveFirst;
}

std::string FormatArgumentValue(const std::string& text) {
    double value = 0.0;
    if (!ParseDecimal(text, value)) return text;
    return FormatPattern(value, "0.00000e+#");
}

std::string FormatChart(double x, const std::string& pattern) { return FormatPattern(x, pattern); }

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

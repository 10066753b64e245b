// Numbers written with a spreadsheet number-format pattern ("0.00",
// "#,##0", "0.000e+00" ...) and such texts read back: the pattern is cut into
// its integer, fraction and exponent parts, the digits are rounded and placed
// into its placeholders; reading matches a text against the shapes the
// pattern can write and takes the value that the pattern writes as that very
// text. Also the argument and chart patterns built on it.
#include "project/NumberText.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string_view>
#include <vector>

#include "project/NumberDigits.h"

namespace korvane {

namespace {

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

}  // namespace

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

}  // namespace korvane

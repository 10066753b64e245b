// Number texts: the leading-number rule, strict reading, the general number
// form, rounding, and "Format" patterns written and read back.
//
// Properties: strict and leading reading agree where strict reading accepts;
// the general form of a finite value reads back as a value of the same
// general form; for a finite value v and a pattern P, the text
// FormatPattern(v, P) is read back by ParseFormattedNumber with P, and the
// value read formats to the same text again (an input written with a format
// and read back never drifts).

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstring>

#include "FuzzSupport.h"
#include "project/NumberText.h"

using namespace korvane;

namespace {

double ConsumeValue(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: {
        const auto bits = in.ConsumeIntegral<std::uint64_t>();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    case 1:  // a value as typed: an integer with a decimal point somewhere
        return static_cast<double>(in.ConsumeIntegral<std::int64_t>()) /
               std::pow(10.0, in.ConsumeIntegralInRange(0, 20));
    case 2:
        return static_cast<double>(in.ConsumeIntegralInRange<std::int32_t>(-100000, 100000)) /
               std::pow(10.0, in.ConsumeIntegralInRange(0, 6));
    default:
        return in.ConsumeFloatingPoint<double>();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const double v = ConsumeValue(in);
    const int decimals = in.ConsumeIntegralInRange(-20, 20);
    const std::string pattern = in.ConsumeRandomLengthString(48);
    const std::string text = in.ConsumeRemainingBytesAsString();

    // Reading.
    const double leading = LeadingNumber(text);
    FUZZ_CHECK(!std::isnan(leading), "the leading number is a number");
    double strict = 0.0;
    if (ParseDecimal(text, strict)) {
        FUZZ_CHECK(IsNumericText(text), "IsNumericText as ParseDecimal");
        FUZZ_CHECK(std::isfinite(strict), "a strict number is finite");
        FUZZ_CHECK(strict == leading, "strict and leading reading agree");
    }
    (void)FormatArgumentValue(text);
    double formatted = 0.0;
    if (ParseFormattedNumber(text, pattern, formatted))
        FUZZ_CHECK(std::isfinite(formatted), "a formatted text reads as a finite number");

    // Writing.
    (void)RoundToInteger(v);
    const double rounded = RoundHalfEven(v, decimals);
    FUZZ_CHECK(std::isnan(v) == std::isnan(rounded), "rounding keeps a number a number");
    if (!std::isfinite(v)) return 0;

    const std::string general = GeneralNumber(v);
    double back = 0.0;
    FUZZ_CHECK(ParseDecimal(general, back), "the general form reads strictly");
    FUZZ_CHECK(GeneralNumber(back) == general, "the general form reads back to itself");

    const std::string shown = FormatPattern(v, pattern);
    double read = 0.0;
    if (!ParseFormattedNumber(shown, pattern, read)) {
        std::fprintf(stderr, "value %.17g pattern [%s] text [%s]\n", v, fuzz::Escaped(pattern).c_str(), fuzz::Escaped(shown).c_str());
        FUZZ_CHECK(false, "a formatted value reads back");
    }
    const std::string again = FormatPattern(read, pattern);
    if (again != shown) {
        std::fprintf(stderr, "value %.17g pattern [%s] text [%s] read %.17g gives [%s]\n", v, fuzz::Escaped(pattern).c_str(),
                     fuzz::Escaped(shown).c_str(), read, fuzz::Escaped(again).c_str());
        FUZZ_CHECK(false, "a formatted value reads back to the same text");
    }
    return 0;
}

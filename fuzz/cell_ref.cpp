// Cell references: SplitAddress, ColumnFromLetters and MakeCellRef on any
// text, and on addresses built here from a column and a row.
//
// Properties: an address in letters-and-digits form gives back its column and
// row; a column is never out of the 32-bit range by wrap-around (a letter
// part too long for it gives 0); the digits alone give the row.

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzSupport.h"
#include "workbook/CellRef.h"

using namespace korvane;

namespace {

std::string LettersOf(std::int64_t column) {
    std::string letters;
    while (column > 0) {
        --column;
        letters.insert(letters.begin(), static_cast<char>('A' + column % 26));
        column /= 26;
    }
    return letters;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const auto column = in.ConsumeIntegralInRange<std::int64_t>(1, 2147483647);
    const auto row = in.ConsumeIntegralInRange<std::int64_t>(0, INT64_MAX);
    const bool lower = in.ConsumeBool();
    std::string letters = LettersOf(column);
    if (lower)
        for (char& c : letters) c = static_cast<char>(c - 'A' + 'a');
    FUZZ_CHECK(ColumnFromLetters(letters) == column, "letters give their column");
    const CellRef built = MakeCellRef("Sheet1", letters + std::to_string(row));
    FUZZ_CHECK(built.column == column && built.row == row, "an address gives its column and row");

    const std::string text = in.ConsumeRemainingBytesAsString();
    std::int64_t r = -1;
    std::int32_t c = -1;
    SplitAddress(text, r, c);
    std::string digits, rest;
    for (char ch : text) (ch >= '0' && ch <= '9' ? digits : rest).push_back(ch);
    FUZZ_CHECK(c == ColumnFromLetters(rest), "the non-digits give the column");
    FUZZ_CHECK(r >= 0, "a row is never negative");
    if (digits.size() <= 18) FUZZ_CHECK(r == (digits.empty() ? 0 : std::stoll(digits)), "the digits give the row");
    const CellRef ref = MakeCellRef(text, text);
    FUZZ_CHECK(ref.row == r && ref.column == c && ref.sheet == text, "MakeCellRef splits as SplitAddress");
    const std::string macro = MacroReference(text, rest);
    FUZZ_CHECK(macro.size() == text.size() + rest.size() + 3, "a macro reference quotes the path");
    return 0;
}

#include "workbook/CellRef.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "project/RunState.h"

namespace korvane {

namespace {

// Code point of the UTF-8 character at `pos`, advancing `pos` past it; a byte
// that starts no valid sequence is taken as its own code.
std::int64_t NextCodePoint(const std::string& s, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    std::size_t length = 1;
    std::int64_t code = lead;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    }
    if (length > 1 && pos + length <= s.size()) {
        bool valid = true;
        for (std::size_t i = 1; i < length && valid; ++i) {
            const auto next = static_cast<unsigned char>(s[pos + i]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (valid) {
            pos += length;
            return code;
        }
    }
    ++pos;
    return lead;
}

}  // namespace

std::int32_t ColumnFromLetters(const std::string& letters) {
    // Junk such as a long run of letters would leave the 32-bit range; such a
    // letter part gives column 0, which names no cell, so the spreadsheet
    // application refuses it instead of some far-away cell being used.
    std::vector<std::int64_t> codes;
    for (std::size_t pos = 0; pos < letters.size();) {
        std::int64_t code = NextCodePoint(letters, pos);
        if (code >= 'a' && code <= 'z') code -= 'a' - 'A';
        codes.push_back(code);
    }
    std::int64_t sum = 0;
    std::int64_t weight = 1;
    for (std::size_t i = codes.size(); i-- > 0;) {
        std::int64_t term = 0;
        if (__builtin_mul_overflow(codes[i] - 64, weight, &term) || __builtin_add_overflow(sum, term, &sum)) {
            return 0;
        }
        if (i > 0 && __builtin_mul_overflow(weight, std::int64_t{26}, &weight)) return 0;
    }
    if (sum < std::numeric_limits<std::int32_t>::min() || sum > std::numeric_limits<std::int32_t>::max()) return 0;
    return static_cast<std::int32_t>(sum);
}

void SplitAddress(const std::string& address, std::int64_t& row, std::int32_t& column) {
    std::string letters;
    std::int64_t value = 0;
    bool tooLong = false;
    for (char c : address) {
        if (c >= '0' && c <= '9') {
            // A digit part beyond 64 bits gives row 0 (no such row) rather
            // than a wrapped-around number that might name a real cell.
            if (!tooLong && (__builtin_mul_overflow(value, std::int64_t{10}, &value) ||
                             __builtin_add_overflow(value, std::int64_t{c - '0'}, &value))) {
                tooLong = true;
            }
        } else {
            letters.push_back(c);
        }
    }
    row = tooLong ? 0 : value;
    column = ColumnFromLetters(letters);
}

std::string MacroReference(const std::string& workbookPath, const std::string& macroName) {
    return "'" + workbookPath + "'!" + macroName;
}

CellRef MakeCellRef(const std::string& sheet, const std::string& address) {
    CellRef ref{sheet, address, 0, 0};
    SplitAddress(address, ref.row, ref.column);
    return ref;
}

void ResolveAllReferences(RunState& state) {
    auto resolve = [](const std::vector<std::string>& addresses, std::vector<std::int64_t>& rows,
                      std::vector<std::int32_t>& columns) {
        rows.assign(std::max<std::size_t>(addresses.size(), 1), 0);
        columns.assign(rows.size(), 0);
        for (std::size_t i = 1; i < addresses.size(); ++i) SplitAddress(addresses[i], rows[i], columns[i]);
    };
    resolve(state.InputAddresses, state.InputRows, state.InputColumns);
    resolve(state.OutputAddresses, state.OutputRows, state.OutputColumns);
}

}  // namespace korvane

#include "workbook/CellRef.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "project/RunState.h"

namespace korvane {
namespace {

struct AddressCase {
    std::string address;
    std::int64_t row;
    std::int32_t column;
};

TEST(CellRef, SplitAddress) {
    const std::vector<AddressCase> cases = {
        {"b12", 12, 2},
        {"Z9", 9, 26},
        {"AA1", 1, 27},
        {"IV65536", 65536, 256},
        {"XFD1048576", 1048576, 16384},
        {"B1C2", 12, 55},       // letters BC, digits 12
        {"B", 0, 2},            // no digits
        {"12", 12, 0},          // no letters
        {"$B$3", 3, -18904},    // "$" adds -28 times its weight
        {"A9223372036854775807", std::numeric_limits<std::int64_t>::max(), 1},
        {"A9223372036854775808", 0, 1},  // digits beyond 64 bits: no row
    };
    for (const auto& c : cases) {
        std::int64_t row = -1;
        std::int32_t column = -1;
        SplitAddress(c.address, row, column);
        EXPECT_EQ(row, c.row) << c.address;
        EXPECT_EQ(column, c.column) << c.address;
    }
    // Columns that leave the 32-bit range give 0.
    for (const auto& [letters, column] : std::vector<std::pair<std::string, std::int32_t>>{
             {"AAAAAAA", 321272407}, {"ZZZZZZZ", 0}, {std::string(30, '@') + "A", 0}, {"xfd", 16384}})
        EXPECT_EQ(ColumnFromLetters(letters), column) << letters;
}

TEST(CellRef, ResolveAllReferencesFillsRowsAndColumns) {
    RunState state;
    state.InputAddresses = {"", "B12", "AA1"};
    state.OutputAddresses = {"", "C3"};
    state.InputRows = {0, 9, 9, 9, 9};  // left over from an earlier run
    state.InputColumns = {0, 9, 9, 9, 9};
    ResolveAllReferences(state);
    EXPECT_EQ(state.InputRows, (std::vector<std::int64_t>{0, 12, 1}));
    EXPECT_EQ(state.InputColumns, (std::vector<std::int32_t>{0, 2, 27}));
    EXPECT_EQ(state.OutputRows, (std::vector<std::int64_t>{0, 3}));
    EXPECT_EQ(state.OutputColumns, (std::vector<std::int32_t>{0, 3}));
}

}  // namespace
}  // namespace korvane

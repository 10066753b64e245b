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
        {"B12", 12, 2},
        {"b12", 12, 2},
        {"A1", 1, 1},
        {"Z9", 9, 26},
        {"AA1", 1, 27},
        {"AZ1", 1, 52},
        {"BA1", 1, 53},
        {"IV65536", 65536, 256},
        {"XFD1048576", 1048576, 16384},
        {"B1C2", 12, 55},       // letters BC, digits 12
        {"B", 0, 2},            // no digits
        {"12", 12, 0},          // no letters
        {"", 0, 0},
        {"$B$3", 3, -18904},    // "$" adds -28 times its weight
        {"A0007", 7, 1},
        {"A9223372036854775807", std::numeric_limits<std::int64_t>::max(), 1},
        {"A9223372036854775808", 0, 1},  // digits beyond 64 bits: no row
        {"A" + std::string(40, '9'), 0, 1},
    };
    for (const auto& c : cases) {
        std::int64_t row = -1;
        std::int32_t column = -1;
        SplitAddress(c.address, row, column);
        EXPECT_EQ(row, c.row) << c.address;
        EXPECT_EQ(column, c.column) << c.address;
    }
}

TEST(CellRef, ColumnsThatLeaveThe32BitRangeGiveZero) {
    EXPECT_EQ(ColumnFromLetters("AAAAAAA"), 321272407);
    EXPECT_EQ(ColumnFromLetters("ZZZZZZZ"), 0);
    EXPECT_EQ(ColumnFromLetters(std::string(5000, 'Q')), 0);
    EXPECT_EQ(ColumnFromLetters(std::string(30, '@') + "A"), 0);
    EXPECT_EQ(ColumnFromLetters("xfd"), 16384);
}

TEST(CellRef, MacroReference) {
    EXPECT_EQ(MacroReference("C:\\work\\model.xls", "Calc1"), "'C:\\work\\model.xls'!Calc1");
    EXPECT_EQ(MacroReference("C:\\work\\model.xls", " Calc2"), "'C:\\work\\model.xls'! Calc2");
}

TEST(CellRef, MakeCellRefKeepsSheetAndAddress) {
    const CellRef ref = MakeCellRef("入力", "C5");
    EXPECT_EQ(ref.sheet, "入力");
    EXPECT_EQ(ref.address, "C5");
    EXPECT_EQ(ref.row, 5);
    EXPECT_EQ(ref.column, 3);
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

    RunState empty;
    ResolveAllReferences(empty);
    EXPECT_EQ(empty.InputRows, (std::vector<std::int64_t>{0}));
    EXPECT_EQ(empty.OutputColumns, (std::vector<std::int32_t>{0}));
}

}  // namespace
}  // namespace korvane

#include "platform/libreoffice/CellBlocks.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace korvane::lo {
namespace {

std::set<std::pair<int, int>> Covered(const std::vector<Block>& blocks) {
    std::set<std::pair<int, int>> cells;
    for (const auto& b : blocks)
        for (int r = b.top; r <= b.bottom; ++r)
            for (int c = b.left; c <= b.right; ++c) EXPECT_TRUE(cells.insert({r, c}).second) << "overlap";
    return cells;
}

TEST(CellBlocks, WriteBlocksCoverExactlyTheWrittenCellsEvenRandomOnes) {
    // A 3x2 block, a run of three in one row, two lone cells, and a gap that
    // must not be written (row 0, column 4).
    std::vector<Position> cells = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1},
                                   {0, 3}, {0, 5}, {0, 6}, {0, 7}, {9, 9}, {5, 2}};
    auto blocks = ExactBlocks(cells);
    std::set<std::pair<int, int>> wanted;
    for (auto& p : cells) wanted.insert({p.row, p.column});
    EXPECT_EQ(Covered(blocks), wanted);
    EXPECT_EQ(blocks.size(), 5u);  // the 3x2 block, D1, F1:H1, C6, J10

    // Random cells: never a cell too many.
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::set<std::pair<int, int>> drawn;
        const int n = 1 + random() % 30;
        while (static_cast<int>(drawn.size()) < n) drawn.insert({int(random() % 8), int(random() % 8)});
        std::vector<Position> positions;
        for (auto& [r, c] : drawn) positions.push_back({r, c});
        EXPECT_EQ(Covered(ExactBlocks(positions)), drawn);
    }
}

TEST(CellBlocks, ReadBlocksServeEveryCellAndStaySmall) {
    // Ten outputs in a row and ten far away in a column: two reads, not one
    // huge one and not twenty small ones.
    std::vector<Position> cells;
    for (int c = 0; c < 10; ++c) cells.push_back({0, c});
    for (int r = 0; r < 10; ++r) cells.push_back({5000 + r, 100});
    std::vector<std::size_t> blockOf;
    auto blocks = CoveringBlocks(cells, blockOf);
    ASSERT_EQ(blockOf.size(), cells.size());
    EXPECT_EQ(blocks.size(), 2u);
    for (std::size_t i = 0; i < cells.size(); ++i) EXPECT_TRUE(blocks[blockOf[i]].contains(cells[i]));
    for (const auto& b : blocks) EXPECT_LE(b.area(), 10);

    // Scattered cells in a small area share one read; repeated cells too.
    std::vector<Position> scattered = {{0, 0}, {3, 4}, {1, 2}, {3, 4}, {2, 0}};
    EXPECT_EQ(CoveringBlocks(scattered, blockOf).size(), 1u);
}

}  // namespace
}  // namespace korvane::lo

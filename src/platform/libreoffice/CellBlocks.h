#pragma once
// How a batch of cell writes or reads on one sheet is cut into rectangular
// ranges, so that each range costs one round trip to the application.
// Positions here count from 0, as the application does.

#include <cstdint>
#include <string>
#include <vector>

namespace korvane::lo {

struct Position {
    std::int32_t row = 0;
    std::int32_t column = 0;
};

struct Block {
    std::int32_t top = 0, left = 0, bottom = 0, right = 0;  // inclusive
    std::int32_t rows() const { return bottom - top + 1; }
    std::int32_t columns() const { return right - left + 1; }
    std::int64_t area() const { return std::int64_t(rows()) * columns(); }
    bool contains(const Position& p) const {
        return p.row >= top && p.row <= bottom && p.column >= left && p.column <= right;
    }
};

// Writes: blocks that cover exactly the given cells and nothing else (a range
// write replaces every cell of the range). The positions must be distinct.
// Cells next to each other in a row are joined, then runs of the same columns
// in consecutive rows.
std::vector<Block> ExactBlocks(std::vector<Position> cells);

// Reads: blocks that cover the given cells and may cover others, as long as a
// block stays small next to the cells it serves (reading a few spare cells is
// cheaper than another round trip). Each cell lies in exactly one block;
// `blockOf[i]` gets the block index of cells[i].
std::vector<Block> CoveringBlocks(const std::vector<Position>& cells, std::vector<std::size_t>& blockOf);

}  // namespace korvane::lo

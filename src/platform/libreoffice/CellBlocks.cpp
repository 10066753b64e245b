#include "platform/libreoffice/CellBlocks.h"

#include <algorithm>
#include <map>

namespace korvane::lo {

std::vector<Block> ExactBlocks(std::vector<Position> cells) {
    std::sort(cells.begin(), cells.end(), [](const Position& a, const Position& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    // Runs of adjacent columns within each row.
    std::vector<Block> runs;
    for (const auto& p : cells) {
        if (!runs.empty() && runs.back().top == p.row && runs.back().right + 1 == p.column)
            runs.back().right = p.column;
        else
            runs.push_back(Block{p.row, p.column, p.row, p.column});
    }
    // A run extends the block that ends on the row above with the same columns.
    std::vector<Block> blocks;
    std::map<std::pair<std::int32_t, std::int32_t>, std::size_t> openByColumns;
    for (const auto& run : runs) {
        auto key = std::make_pair(run.left, run.right);
        auto it = openByColumns.find(key);
        if (it != openByColumns.end() && blocks[it->second].bottom + 1 == run.top) {
            blocks[it->second].bottom = run.top;
        } else {
            blocks.push_back(run);
            openByColumns[key] = blocks.size() - 1;
        }
    }
    return blocks;
}

namespace {

Block Joined(const Block& a, const Block& b) {
    return Block{std::min(a.top, b.top), std::min(a.left, b.left), std::max(a.bottom, b.bottom),
                 std::max(a.right, b.right)};
}

// A block may hold this many cells in all for the n cells it serves.
bool SmallEnough(const Block& b, std::size_t served) {
    return b.area() <= static_cast<std::int64_t>(4 * served + 32);
}

}  // namespace

std::vector<Block> CoveringBlocks(const std::vector<Position>& cells, std::vector<std::size_t>& blockOf) {
    std::vector<std::size_t> order(cells.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return cells[a].row != cells[b].row ? cells[a].row < cells[b].row
                                            : cells[a].column < cells[b].column;
    });
    std::vector<Block> blocks;
    std::vector<std::size_t> served;
    blockOf.assign(cells.size(), 0);
    for (std::size_t i : order) {
        const Position& p = cells[i];
        const Block single{p.row, p.column, p.row, p.column};
        // Join the block that grows least, if it stays small enough.
        std::size_t best = blocks.size();
        std::int64_t bestArea = 0;
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            Block joined = Joined(blocks[b], single);
            if (!SmallEnough(joined, served[b] + 1)) continue;
            if (best == blocks.size() || joined.area() < bestArea) {
                best = b;
                bestArea = joined.area();
            }
        }
        if (best == blocks.size()) {
            blocks.push_back(single);
            served.push_back(0);
        } else {
            blocks[best] = Joined(blocks[best], single);
        }
        ++served[best];
        blockOf[i] = best;
    }
    // A grown block may now cover cells of later blocks that were made before
    // it grew; that is harmless, each cell is read from its own block.
    return blocks;
}

}  // namespace korvane::lo

#pragma once
// The lines of a DB file as the Sobol' indices read them, and the Saltelli
// design recognised in them (see SobolIndices.h for the rules). Only
// SobolIndices.cpp uses this: the reading and the recognition are apart from
// the estimates so that each reads on its own.

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "analysis/SobolIndices.h"

namespace korvane::sobol {

inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The rows of the file as read: every input of every line, every output (NaN
// where it cannot be read) and what is known of the line.
struct Rows {
    std::size_t nIn = 0, nOut = 0;
    std::vector<double> in;              // nIn per row
    std::vector<double> out;             // nOut per row
    std::vector<std::uint8_t> flags;     // kValid, kPlaceholder, kBlockStart
    std::vector<std::int64_t> lineNumber;
    std::size_t count() const { return flags.size(); }
    const double* input(std::size_t r) const { return &in[r * nIn]; }
    double output(std::size_t r, std::size_t o) const { return out[r * nOut + o]; }
    bool real(std::size_t r) const { return (flags[r] & kPlaceholder) == 0; }
    bool valid(std::size_t r) const { return (flags[r] & kValid) != 0; }
    static constexpr std::uint8_t kValid = 1, kPlaceholder = 2, kBlockStart = 4;

    void reserve(std::size_t rows) {
        in.reserve(rows * nIn);
        out.reserve(rows * nOut);
        flags.reserve(rows);
        lineNumber.reserve(rows);
    }
    void addPlaceholder(std::int64_t line) {
        in.insert(in.end(), nIn, kNaN);
        out.insert(out.end(), nOut, kNaN);
        flags.push_back(kPlaceholder);
        lineNumber.push_back(line);
    }
    static std::uint64_t bytesPerRow(std::size_t nIn, std::size_t nOut) {
        // The columns and, while the indices are computed, a copy of the
        // outputs per output.
        return 8 * (nIn + 2 * nOut) + 1 + 8;
    }
};

// Reads every line once. False with result.error / result.stopped; a file
// whose columns would take more memory than there is (or than
// options.memoryLimit) is refused with result.tooLarge.
bool ReadRows(const std::string& path, const SobolOptions& options, const ProgressFn& progress, Rows& rows,
              SobolResult& result);

enum class Layout { GivenData, Design, Broken };

struct Recognition {
    Layout layout = Layout::GivenData;
    std::vector<std::size_t> varying;     // inputs that vary over the design lines
    std::vector<std::size_t> changed;     // per AB line of a group: the input it takes from B
    std::vector<std::size_t> groups;      // first row of every whole group that matches
    std::int64_t wholeGroups = 0;         // whole groups, matching or not placeable
    std::int64_t unfinished = 0;          // rows after the last whole group of each block
    std::int64_t brokenLine = 0;          // the first line that breaks the layout
};

// Finds the design in the rows: the inputs that vary, the input each AB line
// takes from B, the groups that match; or that the rows are given data, or a
// design broken off at `brokenLine`.
Recognition Recognise(const Rows& rows);

}  // namespace korvane::sobol

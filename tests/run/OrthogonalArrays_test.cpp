// The shipped array files, as the build wrote them into the application
// folder: format, and the balance of the design cut from them for every
// number of factors.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "PlanTestSupport.h"
#include "run/OrthogonalTable.h"

using namespace korvane;
using namespace korvane::test;

namespace {

struct ArrayCase {
    ArrayFile file;
    const char* level;
    std::string letters;
};

void PrintTo(const ArrayCase& c, std::ostream* os) { *os << c.file.fileName; }

// Distinct rows the cut keeps for k factors.
std::size_t ExpectedRows(const ArrayFile& file, int k) {
    if (file.levels == 2) {
        std::size_t n = 2;
        while (n <= static_cast<std::size_t>(k)) n *= 2;
        return n;
    }
    if (k == 1) return 3;
    if (k <= 4) return 9;
    if (k <= 9) return 27;
    if (k <= 17) return 54;
    return 108;
}

class OrthogonalArraysTest : public ::testing::TestWithParam<ArrayCase> {
protected:
    void SetUp() override {
        path = BuildAppFolder() + "/" + GetParam().file.fileName;
        bytes = ReadBytes(path);
        ASSERT_FALSE(bytes.empty()) << "missing " << path;
        std::string error;
        ASSERT_TRUE(ReadTextLines(path, lines, error)) << error;
    }
    std::string path, bytes;
    std::vector<std::string> lines;
};

}  // namespace

TEST_P(OrthogonalArraysTest, FileHasOneLineOfLevelLettersPerRowWithCrLf) {
    const ArrayCase& c = GetParam();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(c.file.rows));
    for (const auto& line : lines) {
        ASSERT_EQ(line.size(), static_cast<std::size_t>(c.file.columns)) << line;
        ASSERT_EQ(line.find_first_not_of(c.letters), std::string::npos) << line;
    }
    // Every line end is CR LF, and nothing else is in the file.
    ASSERT_EQ(bytes, Cp932Lines(lines));
    // The full array has no repeated row.
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()).size(), lines.size());
}

TEST_P(OrthogonalArraysTest, CutIsBalancedForEveryFactorCount) {
    const ArrayCase& c = GetParam();
    const int levels = c.file.levels;
    for (int k = 1; k <= c.file.columns; ++k) {
        SCOPED_TRACE("k = " + std::to_string(k));
        std::vector<std::string> rows;
        std::string error;
        ASSERT_TRUE(CutArray(c.level, k, BuildAppFolder(), rows, error)) << error;

        // The cut keeps the first rows of the file, in file order.
        const std::size_t n = ExpectedRows(c.file, k);
        ASSERT_EQ(rows.size(), n);
        for (std::size_t r = 0; r < n; ++r) ASSERT_EQ(rows[r], lines[r].substr(0, k)) << "row " << r;
        ASSERT_EQ(std::set<std::string>(rows.begin(), rows.end()).size(), n);

        for (int a = 0; a < k; ++a) {
            std::map<char, std::size_t> single;
            for (const auto& row : rows) ++single[row[a]];
            ASSERT_EQ(single.size(), static_cast<std::size_t>(levels)) << "column " << a + 1;
            for (const auto& [level, count] : single) ASSERT_EQ(count, n / levels) << "column " << a + 1;
            for (int b = a + 1; b < k; ++b) {
                std::map<std::pair<char, char>, std::size_t> pairs;
                for (const auto& row : rows) ++pairs[{row[a], row[b]}];
                ASSERT_EQ(pairs.size(), static_cast<std::size_t>(levels * levels))
                    << "columns " << a + 1 << ", " << b + 1;
                for (const auto& [pair, count] : pairs)
                    ASSERT_EQ(count, n / (levels * levels)) << "columns " << a + 1 << ", " << b + 1;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Shipped, OrthogonalArraysTest,
                         ::testing::Values(ArrayCase{kTwoLevelArray, kTwoLevels, "LH"},
                                           ArrayCase{kThreeLevelArray, kThreeLevels, "LMH"}),
                         [](const auto& info) { return info.param.file.levels == 2 ? "TwoLevels" : "ThreeLevels"; });

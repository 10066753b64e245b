// Writes the two orthogonal-array files that ship beside the program:
//   OT_L128-2-127.dat  128 rows, 127 two-level columns ("L", "H")
//   OT_L108-3-49.dat   108 rows,  49 three-level columns ("L", "M", "H")
// One array row per line, one character per column, CR LF line ends.
//
// Both are built so that, for every k, the first k columns with repeated rows
// dropped form a balanced design: each level equally often in each column and
// each pair of levels equally often in each pair of columns. The plan relies
// on this when it cuts the array down to the number of factors.
//
// Usage: korvane_make_arrays <folder>

#include <array>
#include <bit>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/TextFile.h"

namespace {

// Row r, column c (from 1): level "H" when r AND c has an odd number of set
// bits, else "L". Column 2^m is bit m of the row number, so the first k
// columns (2^(m-1) <= k < 2^m) involve bits 0..m-1 only and the cut keeps
// exactly the first 2^m rows: a full two-level factorial in its first
// columns, and every further column a parity of them.
std::vector<std::string> TwoLevelArray() {
    std::vector<std::string> rows;
    for (unsigned r = 0; r < 128; ++r) {
        std::string line;
        for (unsigned c = 1; c <= 127; ++c) line.push_back(std::popcount(r & c) % 2 ? 'H' : 'L');
        rows.push_back(line);
    }
    return rows;
}

// A 12 x 12 generalized Hadamard matrix over Z3: any two rows (and any two
// columns) differ by 0, 1 and 2 four times each.
constexpr std::array<const char*, 12> kHadamard12 = {
    "000000000000", "012200011122", "021200102211", "020101220112",
    "002110221201", "011012202102", "020112012021", "012212120010",
    "011021020221", "002121102120", "021221211000", "000022111212"};

// Row r = 9a + 3 x2 + x1 (a block of the Hadamard matrix, x1 and x2 an L9
// inside it). The four linear forms x1, x2, x1 + x2, x1 + 2 x2 each get a
// Hadamard column added; with column 0 (all zeros) the first four columns are
// an L9, column 1 adds four more and, alone, column 9; columns 2 to 11 add
// forty. So the design grows 3, 9, 27, 54, 108 rows and stays balanced at
// every width, always keeping the first rows of the file.
std::vector<std::string> ThreeLevelArray() {
    static const char kLevel[] = {'L', 'M', 'H'};
    std::vector<std::string> rows;
    for (int r = 0; r < 108; ++r) {
        const int a = r / 9, x1 = r % 3, x2 = (r / 3) % 3;
        const int forms[4] = {x1, x2, (x1 + x2) % 3, (x1 + 2 * x2) % 3};
        auto h = [&](int c) { return kHadamard12[a][c] - '0'; };
        std::string line;
        auto block = [&](int c) {
            for (int f : forms) line.push_back(kLevel[(h(c) + f) % 3]);
        };
        block(0);
        block(1);
        line.push_back(kLevel[h(1)]);
        for (int c = 2; c < 12; ++c) block(c);
        rows.push_back(line);
    }
    return rows;
}

bool Write(const std::string& path, const std::vector<std::string>& rows) {
    std::string error;
    if (korvane::WriteTextFileAtomic(path, rows, error)) return true;
    std::fprintf(stderr, "korvane_make_arrays: %s\n", error.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane_make_arrays <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok = Write(folder + "/OT_L128-2-127.dat", TwoLevelArray()) &&
                    Write(folder + "/OT_L108-3-49.dat", ThreeLevelArray());
    return ok ? 0 : 1;
}

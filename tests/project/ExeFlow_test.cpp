#include "project/ExeFlow.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

// Column 1 of every row: the markers and the programs' argument texts, which
// the tests use as the programs' names.
std::vector<std::string> Column1(const ExeGrid& grid) {
    std::vector<std::string> out;
    for (const ExeRow& r : grid) out.push_back(r.args);
    return out;
}

ShellTask Task(const std::string& timing, const std::string& tag) {
    return {"/opt/tools/" + tag + ".sh", timing, tag};
}

TEST(ExeFlow, ProgramsStandAboveTheMarkerAfterTheirTimingInFileOrder) {
    ExeGrid grid = BuildExeGrid({Task("6", "last"), Task("2", "a"), Task("0", "first"), Task("2", "b"),
                                 Task("5", "e"), Task("6", "final")});
    EXPECT_EQ(Column1(grid), (std::vector<std::string>{"first", "<初期値代入>", "<変数値代入>", "a", "b",
                                                       "<エクセル入力>", "<マクロ実行>", "<エクセル読込>", "e",
                                                       "<DB出力>", "last", "final"}));
    // A program row: file name, arguments, full path.
    EXPECT_EQ(grid[3], (ExeRow{"a.sh", "a", "/opt/tools/a.sh"}));
    // A marker row.
    EXPECT_EQ(grid[1], (ExeRow{"-------------", "<初期値代入>", "------------------------------------------------"}));
    EXPECT_EQ(ExeGridTimings(grid), (std::vector<int>{0, 1, 2, 2, 2, 3, 4, 5, 5, 6, 6, 6}));
    // A Windows path shows its file name too; an unknown timing stays visible at the end.
    EXPECT_EQ(BuildExeGrid({{"\\bin\\post.bat", "3", "x [a]"}})[3], (ExeRow{"post.bat", "x [a]", "\\bin\\post.bat"}));
    grid = BuildExeGrid({Task("x", "odd"), Task("1", "a")});
    EXPECT_EQ(grid.size(), 8u);
    EXPECT_EQ(grid.back().args, "odd");
}

TEST(ExeFlow, SavingWritesEachProgramWithTheMarkerAboveAndRoundTrips) {
    std::vector<ShellTask> tasks = {Task("0", "z"), Task("1", "p"), Task("4", "q"), Task("6", "r")};
    ExeGrid grid = BuildExeGrid(tasks);
    EXPECT_EQ(ExeGridShellLines(grid),
              (std::vector<std::string>{" App.              :/opt/tools/z.sh,0,z",
                                        " App.              :/opt/tools/p.sh,1,p",
                                        " App.              :/opt/tools/q.sh,4,q",
                                        " App.              :/opt/tools/r.sh,6,r"}));
    // Reading the saved lines back gives the same grid.
    std::vector<ShellTask> again;
    for (const std::string& line : ExeGridShellLines(grid)) {
        auto f = SplitFields(LineValue(line));
        again.push_back({f[0], f[1], f[2]});
    }
    EXPECT_EQ(BuildExeGrid(again), grid);
}

// A program moved across a marker takes the timing of the marker above it;
// markers, the first row and the last row do not move further.
TEST(ExeFlow, MovingAcrossAMarkerChangesTheTimingAndMarkersStay) {
    ExeGrid grid = BuildExeGrid({Task("2", "a")});
    int current = 2;  // the first row under "<変数値代入>"
    ASSERT_EQ(grid[2].args, "a");
    ASSERT_TRUE(MoveExeRow(grid, current, -1));
    EXPECT_EQ(current, 1);
    EXPECT_EQ(Column1(grid)[1], "a");
    EXPECT_EQ(Column1(grid)[2], "<変数値代入>");
    EXPECT_EQ(ExeGridShellLines(grid)[0], " App.              :/opt/tools/a.sh,1,a");
    // Up again, above the first marker: once per run.
    ASSERT_TRUE(MoveExeRow(grid, current, -1));
    EXPECT_EQ(ExeGridShellLines(grid)[0], " App.              :/opt/tools/a.sh,0,a");
    EXPECT_FALSE(MoveExeRow(grid, current, -1));
    EXPECT_EQ(current, 0);

    grid = BuildExeGrid({Task("5", "a")});
    current = 5;
    ASSERT_EQ(grid[5].args, "a");
    ASSERT_TRUE(MoveExeRow(grid, current, +1));  // to the end: after the DB line
    EXPECT_EQ(ExeGridShellLines(grid)[0], " App.              :/opt/tools/a.sh,6,a");
    EXPECT_FALSE(MoveExeRow(grid, current, +1));
    EXPECT_EQ(current, 6);
    const ExeGrid before = grid;
    current = 0;  // "<初期値代入>"
    EXPECT_FALSE(MoveExeRow(grid, current, +1));
    current = 99;
    EXPECT_FALSE(MoveExeRow(grid, current, -1));
    EXPECT_EQ(grid, before);
}

}  // namespace
}  // namespace korvane

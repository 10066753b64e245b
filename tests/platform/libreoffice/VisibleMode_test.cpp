// The shown window and the cell pick, on a private X server. Keys are typed
// with xdotool into the focused window, as a user would.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "LoTestSupport.h"
#include "TestSupport.h"
#include "platform/libreoffice/LibreOfficeLink.h"
#include "workbook/CellRef.h"

namespace korvane {
namespace {

using test::ProcessExists;
using test::Shell;
using test::ShellOutput;

CellRef Cell(const std::string& sheet, const std::string& address) { return MakeCellRef(sheet, address); }

class VisibleModeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        display_ = new test::PrivateDisplay;
        if (!display_->start(skipReason_)) {
            skipReason_ = "no X server for the shown window: " + skipReason_;
            return;
        }
        if (Shell("command -v xdotool >/dev/null 2>&1") != 0) {
            skipReason_ = "xdotool is not installed";
            return;
        }
        folder_ = new test::TempDir;
        LibreOfficeLink maker;
        if (!maker.start(false) || !test::MakeTestWorkbooks(maker, folder_->path(), books_, setupError_))
            setupError_ = "making the workbooks: " + maker.lastError() + setupError_;
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
        delete display_;
        display_ = nullptr;
    }
    void SetUp() override {
        if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
        ASSERT_TRUE(setupError_.empty()) << setupError_;
    }

    // Window ids of the process that are shown.
    static std::string ShownWindow(pid_t pid) {
        return ShellOutput("xdotool search --onlyvisible --pid " + std::to_string(pid) + " 2>/dev/null");
    }
    static void Key(const std::string& keys) {
        Shell("xdotool key " + keys);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    // The active cell after the window has had time to follow.
    static std::string ActiveCellAfter(LibreOfficeLink& link, const std::string& keys) {
        Key(keys);
        for (int i = 0; i < 20; ++i) {
            auto address = link.activeCellAddress();
            if (address && *address != "$A$1") return *address;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return link.activeCellAddress().value_or("");
    }

    static inline test::PrivateDisplay* display_ = nullptr;
    static inline test::TempDir* folder_ = nullptr;
    static inline test::TestWorkbooks books_;
    static inline std::string skipReason_;
    static inline std::string setupError_;
};

TEST_F(VisibleModeTest, AHiddenInstanceShownLaterKeepsItsWorkbookStateAndTakesKeys) {
    LibreOfficeLink link;
    ASSERT_TRUE(StartAndOpen(link, books_.ods, false)) << link.lastError();
    const pid_t headless = link.processId();
    ASSERT_TRUE(link.setCalculation(CalculationMode::Manual));
    ASSERT_TRUE(link.writeCells({{Cell("Inputs", "A1"), "4"}, {Cell("Inputs", "B1"), "text"}}));
    ASSERT_TRUE(link.activateSheet("Outputs"));

    // A restart per calculation keeps the instance hidden.
    EXPECT_TRUE(FollowVisibility(link, true, true));
    EXPECT_FALSE(link.visible());
    ASSERT_TRUE(FollowVisibility(link, true, false)) << link.lastError();
    EXPECT_TRUE(link.visible());
    EXPECT_FALSE(ProcessExists(headless));
    EXPECT_FALSE(ShownWindow(link.processId()).empty());

    // What was written is still there, and the calculation mode and the
    // active sheet too.
    EXPECT_EQ(link.activeSheetName(), "Outputs");
    EXPECT_EQ(link.readCell(Cell("Inputs", "A1")), "4");
    EXPECT_EQ(link.readCell(Cell("Inputs", "B1")), "text");
    EXPECT_EQ(link.readCell(Cell("Outputs", "A1")), "2");
    ASSERT_TRUE(link.setCalculation(CalculationMode::Automatic));
    EXPECT_EQ(link.readCell(Cell("Outputs", "A1")), "8");

    ASSERT_TRUE(link.activateSheet("Inputs"));
    ASSERT_TRUE(link.selectCell(1, 1));
    EXPECT_EQ(ActiveCellAfter(link, "Down"), "$A$2");
    EXPECT_EQ(link.activeSheetName(), "Inputs");

    // Hidden again: no window left on the screen.
    EXPECT_TRUE(FollowVisibility(link, false, false)) << link.lastError();
    EXPECT_FALSE(link.visible());
    EXPECT_TRUE(ShownWindow(link.processId()).empty());
    CloseAndQuit(link);
}

// A sheet switch does not end a pick; the first move on a sheet does.
TEST_F(VisibleModeTest, SwitchingSheetsOnlyMovesTheStartingPoint) {
    LibreOfficeLink link;
    int rounds = 0;
    auto picked = PickCell(link, books_.ods, [&](int ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        ++rounds;
        if (rounds == 8) Shell("xdotool key ctrl+Next");
        if (rounds == 14) Shell("xdotool key Right");
    });
    ASSERT_TRUE(picked.has_value()) << link.lastError();
    EXPECT_EQ(picked->sheet, "Outputs");
    EXPECT_EQ(picked->address, "B1");
    EXPECT_FALSE(link.isRunning());
}

TEST_F(VisibleModeTest, ClosingTheApplicationEndsThePickWithoutAResult) {
    LibreOfficeLink link;
    pid_t pid = -1;
    int rounds = 0;
    auto picked = PickCell(link, books_.ods, [&](int ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        if (++rounds == 8) {
            pid = link.processId();
            Shell("xdotool key ctrl+q");
        }
        if (rounds == 200) {
            ADD_FAILURE() << "the pick did not notice the application's end";
            ::kill(link.processId(), SIGKILL);
        }
    });
    EXPECT_FALSE(picked.has_value());
    EXPECT_FALSE(link.isRunning());
    EXPECT_FALSE(ProcessExists(pid));
}

}  // namespace
}  // namespace korvane

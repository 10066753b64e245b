// The lines a run passes on for its live figures: the DB file's own, in its
// order, with several workers; a resumed run passes the lines already in the
// file first, so that its figures are those of the whole study, the ones the
// summary computes from the finished file.
#include <gtest/gtest.h>

#include <cmath>

#include "RunFixture.h"
#include "analysis/LiveSummary.h"
#include "analysis/Summary.h"

namespace korvane {
namespace {

using namespace test;

// Records the lines passed on and feeds live figures with them.
class LineFeed : public RunObserver {
public:
    void linesBegin(const std::vector<std::string>& names) override {
        ++begun;
        live.begin(names);
    }
    void lineWritten(std::span<const std::string> outputs, bool valid) override {
        lines.push_back(std::vector<std::string>(outputs.begin(), outputs.end()));
        lines.back().push_back(valid ? "True" : "False");
        live.addLine(outputs, valid);
    }
    int begun = 0;
    std::vector<std::vector<std::string>> lines;  // outputs, then the verdict
    LiveSummary live;
};

class LiveFiguresTest : public RunFixture {
protected:
    int runWith(Project p, RunObserver& feed, const RunOptions& options) {
        p.excelFileName = "\\examples\\beam.fods";
        std::string error;
        EXPECT_TRUE(WriteTextFileAtomic(app.file("p.tolv"), ProjectLines(p), error)) << error;
        ProjectDocument document(ui, app.path());
        EXPECT_TRUE(document.NewProject());
        ResetRunArrays(state);
        RunDriver driver(ui, feed, document, state, [] { return CreateWorkbookLink(); });
        driver.setRunOptions(options);
        return driver.CommandLineRun(app.file("p.tolv"));
    }

    // The output fields and verdict of each data line of the DB file.
    std::vector<std::vector<std::string>> fileLines(std::size_t inputs) {
        std::vector<std::vector<std::string>> out;
        const auto all = dbFields();
        for (std::size_t i = 2; i < all.size(); ++i)
            out.push_back(std::vector<std::string>(all[i].begin() + 1 + static_cast<std::ptrdiff_t>(inputs), all[i].end()));
        return out;
    }
};

void ExpectFiguresOfFile(const LiveSummary& live, const std::string& db) {
    SummaryResult summary;
    ASSERT_TRUE(ComputeSummary(db, false, {}, summary)) << summary.error;
    const LiveSummary::Snapshot s = live.snapshot();
    ASSERT_EQ(s.outputs.size(), summary.outputs.size());
    for (std::size_t k = 0; k < s.outputs.size(); ++k) {
        SCOPED_TRACE(s.outputs[k].name);
        const RunningSummary &a = s.outputs[k].summary, &b = summary.outputs[k].running;
        EXPECT_EQ(s.outputs[k].name, summary.outputs[k].name);
        EXPECT_EQ(a.count(), b.count());
        EXPECT_EQ(a.invalid(), b.invalid());
        EXPECT_EQ(a.mean(), b.mean());
        EXPECT_EQ(a.halfWidth(95), b.halfWidth(95));
    }
}

TEST_F(LiveFiguresTest, AResumedRunPassesTheLinesInItsFileFirst) {
    Project p = example("beam-montecarlo");
    p.monteCarlo.numOfCalc = "60";
    const std::size_t inputs = p.inputTasks.size();
    LineFeed whole;
    ASSERT_EQ(runWith(p, whole, Workers(2)), 0) << lastMessage();
    const std::string bytes = ReadBytes(app.file("db.csv"));
    EXPECT_EQ(whole.begun, 1);
    // Line for line what the file holds, in its order, both verdicts among them.
    const auto inFile = fileLines(inputs);
    ASSERT_EQ(inFile.size(), 60u);
    EXPECT_EQ(whole.lines, inFile);
    EXPECT_GT(whole.live.snapshot().outputs[0].summary.invalid(), 0);
    ExpectFiguresOfFile(whole.live, app.file("db.csv"));

    // Cut after 25 lines, with a line cut short; resumed, it passes the 25
    // from the file and then the 35 it writes.
    const std::string cut = FirstLines(bytes, 2 + 25);
    WriteBytes(app.file("db.csv"), cut + bytes.substr(cut.size(), 9));
    LineFeed resumed;
    RunOptions resume = Workers(2);
    resume.resume = true;
    ASSERT_EQ(runWith(p, resumed, resume), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), bytes);
    EXPECT_EQ(resumed.begun, 1);
    EXPECT_EQ(resumed.lines, inFile);
    ExpectFiguresOfFile(resumed.live, app.file("db.csv"));
}

}  // namespace
}  // namespace korvane

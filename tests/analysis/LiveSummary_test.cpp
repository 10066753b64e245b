// The figures a run shows while it goes on: after the lines of a DB file they
// are the summary's figures of that file, the mean's history stays bounded
// and evenly spread however long the run, and a window reading them while
// the writer feeds them never sees a half-fed line.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "analysis/LiveSummary.h"
#include "analysis/Summary.h"
#include "db/DbFile.h"
#include "project/RunState.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// Both NaN, or equal to the last bit.
void ExpectSame(double a, double b, const char* what) {
    if (std::isnan(a) || std::isnan(b))
        EXPECT_TRUE(std::isnan(a) && std::isnan(b)) << what << ": " << a << " / " << b;
    else
        EXPECT_EQ(a, b) << what;
}

}  // namespace

TEST(LiveSummary, AfterTheLinesOfADbFileShowsTheFiguresTheSummaryComputesFromIt) {
    // Outputs: a varying one, one that never varies, one with values no
    // double holds or no number at all, and one read only on invalid lines.
    TempDir dir;
    RecordingUi ui;
    RunState s;
    s.DbPath = dir.file("db.csv");
    AddInputVariable(s, "x", "A1", "In", "", 0, "", "", "");
    for (const char* name : {"y", "const", "odd", "onlyFalse"}) AddOutputVariable(s, name, "A1", "Out", "", "");
    DbWriter db(ui);
    ASSERT_TRUE(db.open(s));
    ASSERT_TRUE(db.writeHeader(s));
    LiveSummary live;
    live.begin({"y", "const", "odd", "onlyFalse"});
    for (int i = 1; i <= 57; ++i) {
        s.CalcCount = i;
        s.InputValues[1] = std::to_string(i);
        const bool valid = i % 7 != 3;
        s.OutputValues[1] = std::to_string(1e6 + std::sin(i) * 3);
        s.OutputValues[2] = "2.5";
        s.OutputValues[3] = i % 5 == 0 ? "1e999" : i % 11 == 0 ? "" : std::to_string(i * i);
        s.OutputValues[4] = valid ? "1e999" : "4";
        s.RunValid = valid;
        ASSERT_TRUE(db.writeRow(s));
        live.addLine(std::span<const std::string>(s.OutputValues).subspan(1), valid);
    }
    ASSERT_TRUE(db.close());

    SummaryResult summary;
    ASSERT_TRUE(ComputeSummary(s.DbPath, false, {}, summary)) << summary.error;
    const LiveSummary::Snapshot shown = live.snapshot();
    EXPECT_EQ(shown.lines, 57);
    ASSERT_EQ(shown.outputs.size(), summary.outputs.size());
    for (std::size_t k = 0; k < shown.outputs.size(); ++k) {
        SCOPED_TRACE(shown.outputs[k].name);
        const RunningSummary& a = shown.outputs[k].summary;
        const RunningSummary& b = summary.outputs[k].running;
        EXPECT_EQ(shown.outputs[k].name, summary.outputs[k].name);
        EXPECT_EQ(a.count(), b.count());
        EXPECT_EQ(a.lines(), b.lines());
        EXPECT_EQ(a.invalid(), b.invalid());
        ExpectSame(a.mean(), b.mean(), "mean");
        ExpectSame(a.halfWidth(95), b.halfWidth(95), "half-width");
        ExpectSame(a.invalidInterval().lower, b.invalidInterval().lower, "share lower");
        ExpectSame(a.invalidInterval().upper, b.invalidInterval().upper, "share upper");
    }
    // The constant output's interval is exactly 0; the one never valid has
    // no value at all, but its share.
    EXPECT_EQ(shown.outputs[1].summary.halfWidth(95), 0.0);
    EXPECT_EQ(shown.outputs[3].summary.count(), 0);
    EXPECT_EQ(shown.outputs[3].summary.invalid(), 8);

    // A line shorter than the outputs: the missing ones are unreadable, and
    // a new run forgets everything.
    live.addLine(std::vector<std::string>{"7"}, true);
    EXPECT_EQ(live.snapshot().outputs[2].summary.lines(), 58);
    EXPECT_EQ(live.snapshot().outputs[2].summary.count(), shown.outputs[2].summary.count());
    live.begin({"z"});
    EXPECT_EQ(live.snapshot().lines, 0);
    EXPECT_TRUE(live.history(0).empty());
    EXPECT_TRUE(live.history(1).empty());
}

TEST(LiveSummary, TheMeansHistoryStaysBoundedEvenAndTrueToTheLinesItStandsFor) {
    LiveSummary live;
    live.begin({"v"});
    RunningSummary upToPoint;
    const std::int64_t total = 100003;
    for (std::int64_t i = 1; i <= total; ++i) {
        const std::string v = std::to_string(static_cast<double>((i * 7919) % 1000) / 10.0);
        live.addLine(std::span<const std::string>(&v, 1), i % 13 != 0);
        if (i <= 300 * 256 && i % 13 != 0) upToPoint.add(std::stod(v));
        if (i == 500) {
            // Before the history is first thinned, every line is a point.
            const auto early = live.history(0);
            ASSERT_EQ(early.size(), 500u);
            EXPECT_EQ(early[0].line, 1);
            EXPECT_TRUE(std::isnan(early[0].halfWidth));  // one value: no interval
        }
    }
    const auto h = live.history(0);
    ASSERT_LE(h.size(), LiveSummary::kHistoryPoints);
    ASSERT_GT(h.size(), LiveSummary::kHistoryPoints / 2);
    // Evenly apart, from the start to the last line.
    const std::int64_t step = h[1].line - h[0].line;
    EXPECT_EQ(h[0].line, step);
    for (std::size_t i = 1; i + 1 < h.size(); ++i) EXPECT_EQ(h[i].line - h[i - 1].line, step) << i;
    EXPECT_EQ(h.back().line, total);
    const RunningSummary last = live.snapshot().outputs[0].summary;
    EXPECT_EQ(h.back().mean, last.mean());
    EXPECT_DOUBLE_EQ(h.back().halfWidth, last.halfWidth(95));
    // A point in the middle holds the figures of the lines up to it.
    ASSERT_EQ(step, 256);
    const auto at = std::find_if(h.begin(), h.end(), [](const MeanPoint& p) { return p.line == 300 * 256; });
    ASSERT_NE(at, h.end());
    EXPECT_EQ(at->mean, upToPoint.mean());
    EXPECT_DOUBLE_EQ(at->halfWidth, upToPoint.halfWidth(95));
}

TEST(LiveSummary, AReaderNeverSeesAHalfFedLine) {
    LiveSummary live;
    live.begin({"a", "b", "c"});
    const std::vector<std::string> line{"1", "2", "1e999"};
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 200000; ++i) live.addLine(line, i % 4 != 0);
        done = true;
    });
    std::int64_t looks = 0, lastLines = 0;
    bool consistent = true, monotonic = true;
    while (!done) {
        const LiveSummary::Snapshot s = live.snapshot();
        for (const auto& o : s.outputs) consistent = consistent && o.summary.lines() == s.lines;
        monotonic = monotonic && s.lines >= lastLines;
        lastLines = s.lines;
        if (live.history(1).size() > LiveSummary::kHistoryPoints) consistent = false;
        ++looks;
    }
    writer.join();
    EXPECT_TRUE(consistent);
    EXPECT_TRUE(monotonic);
    EXPECT_GT(looks, 0);
    const LiveSummary::Snapshot s = live.snapshot();
    EXPECT_EQ(s.lines, 200000);
    EXPECT_EQ(s.outputs[0].summary.count(), 150000);
    EXPECT_EQ(s.outputs[2].summary.count(), 0);  // beyond any double
    EXPECT_EQ(s.outputs[1].summary.invalid(), 50000);
}

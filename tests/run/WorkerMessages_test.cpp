// What travels to and from the ranks of an MPI job: every field survives the
// trip, and a damaged message is refused instead of read as something else.
#include <gtest/gtest.h>

#include "run/WorkerMessages.h"

namespace korvane {
namespace {

TEST(WorkerMessages, StateValuesAndEventsSurviveTheTripAndDamageIsRefused) {
    RunState s;
    s.WorkbookPath = "/data/モデル.ods";
    s.PlanName = "MonteCarlo";
    s.MacroList = "Calc1,Calc2";
    s.ShellTasks = {"", "/bin/true,6,[x] \"a b\""};
    s.RestartPerCalc = 1;
    s.CalcTotal = "100";
    AddInputVariable(s, "x", "B2", "入力", "0", 1.5, "10", "Format", "0.00");
    AddInputVariable(s, "y", "C2", "入力", "", -2, "", "Replace", "");
    s.ReplaceLists[2] = "1=鋼,2=アルミ";
    s.InputValues = {"", "1.5", "-2"};
    AddOutputVariable(s, "z", "D9", "出力", "", "3");
    RunState back;
    ASSERT_TRUE(DecodeWorkerState(EncodeWorkerState(s), back));
    // Every field the message carries comes back: encoded again, the same bytes.
    EXPECT_EQ(EncodeWorkerState(back), EncodeWorkerState(s));
    EXPECT_EQ(back.WorkbookPath, s.WorkbookPath);
    EXPECT_EQ(back.ShellTasks, s.ShellTasks);
    EXPECT_EQ(back.RestartPerCalc, 1);
    EXPECT_EQ(back.FormatArgs, s.FormatArgs);
    EXPECT_EQ(back.ReplaceLists, s.ReplaceLists);
    EXPECT_EQ(back.InputValues, s.InputValues);
    EXPECT_EQ(back.OutputAddresses, s.OutputAddresses);
    EXPECT_EQ(back.PlanSelected.size(), back.InputNames.size());

    CalcValues v{7, {"", "1"}, {"", "2.5"}, {"", "2.50"}, {{}, {"1200", 12.000000000000002}}};
    CalcValues vb;
    ASSERT_TRUE(DecodeCalcValues(EncodeCalcValues(v), vb));
    EXPECT_EQ(vb.count, 7);
    EXPECT_EQ(vb.recorded, v.recorded);
    ASSERT_EQ(vb.marks.size(), 2u);
    EXPECT_EQ(vb.marks[1].text, "1200");
    EXPECT_EQ(vb.marks[1].number, 12.000000000000002);  // to the bit

    WorkerEvent e;
    e.kind = WorkerEvent::Kind::Result;
    e.count = 7;
    e.result = {7, {"", "2.50"}, {"", ""}, false, false, "出力!D9: #DIV/0!"};
    e.done = true;
    WorkerEvent eb;
    ASSERT_TRUE(DecodeWorkerEvent(EncodeWorkerEvent(e), eb));
    EXPECT_EQ(eb.kind, WorkerEvent::Kind::Result);
    EXPECT_EQ(eb.result.outputs, e.result.outputs);
    EXPECT_EQ(eb.result.unreadable, e.result.unreadable);
    EXPECT_FALSE(eb.result.outputsRead);
    EXPECT_TRUE(eb.done);

    // Cut short, lengthened, or a list length no message could hold.
    const std::string state = EncodeWorkerState(s);
    EXPECT_FALSE(DecodeWorkerState(state.substr(0, state.size() - 1), back));
    EXPECT_FALSE(DecodeWorkerState(state + "x", back));
    EXPECT_FALSE(DecodeWorkerState("garbage", back));
    std::string huge = EncodeCalcValues(v);
    huge[8] = '\x7f';  // the first list's length
    EXPECT_FALSE(DecodeCalcValues(huge, vb));
    std::string badKind = EncodeWorkerEvent(e);
    badKind[0] = 9;
    EXPECT_FALSE(DecodeWorkerEvent(badKind, eb));
}

}  // namespace
}  // namespace korvane

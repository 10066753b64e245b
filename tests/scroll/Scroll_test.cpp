// The scroll window's logic without a workbook: its input rows and bar
// positions, typed edits, the values handed to the inputs and back to the
// project, the output table's limits, the plot's marks and peaks, and the
// merging of notifications. (Calculations, typed output limits and the
// output chooser on a real workbook: the window's tests.)
#include <gtest/gtest.h>

#include "project/Project.h"
#include "project/RunState.h"
#include "scroll/CalculationQueue.h"
#include "scroll/ScrollInputs.h"
#include "scroll/ScrollOutputs.h"

using namespace korvane;

namespace {

InputTask Input(const std::string& name, const std::string& lower, const std::string& initial,
                const std::string& upper) {
    return {name, "A1", "S", lower, initial, upper, "", ""};
}

ScrollInputRow Row(const std::string& lower, const std::string& current, const std::string& upper) {
    return {"x", lower, current, upper};
}

// Outputs "a" (limits 0 and 10), "b" (none), "c" (lower 5 only).
RunState ThreeOutputs() {
    RunState s;
    AddOutputVariable(s, "a", "A1", "S", "0", "10");
    AddOutputVariable(s, "b", "B1", "S", "", "");
    AddOutputVariable(s, "c", "C1", "S", "5", "");
    return s;
}

}  // namespace

TEST(ScrollInputs, RowsFromTheProjectAndTheirBars) {
    Project p;
    p.inputTasks = {Input("a", "0", "5", "10"),     Input("free", "", "2", ""),
                    Input("normal", "0", "3", "4"), Input("uniform", "", "0", ""),
                    Input("a", "-50", "7", "50"),   Input("outside", "0", "15", "10"),
                    Input("crossed", "10", "5", "0")};
    p.monteCarlo.sampledVariables = {{"normal", "正規分布", "10", "1"},
                                     {"uniform", "一様分布", "2", "0.5"},
                                     {"normal", "一様分布", "99", "1"}};
    const auto rows = ScrollInputRows(p);
    ASSERT_EQ(rows.size(), 6u);  // the second "a" shares the first one's row
    auto expect = [&](std::size_t i, const char* name, const char* lower, const char* current, const char* upper,
                      std::optional<int> position) {
        SCOPED_TRACE(name);
        EXPECT_EQ(rows[i].name, name);
        EXPECT_EQ(rows[i].lower, lower);
        EXPECT_EQ(rows[i].current, current);
        EXPECT_EQ(rows[i].upper, upper);
        EXPECT_EQ(BarPosition(rows[i]), position);
    };
    expect(0, "a", "0", "5", "10", 50);
    expect(1, "free", "1", "2", "3", 50);
    expect(2, "normal", "6.9", "10", "13.1", 50);  // whatever its initial value and limits
    expect(3, "uniform", "1.5", "2", "2.5", 50);
    // A value the bar could not show widens the range instead.
    expect(4, "outside", "0", "15", "15", 100);
    expect(5, "crossed", "0", "5", "10", 50);

    // (A bar moved to 73 gives 7.3, 7.35 stands at 74, equal ends leave no
    // position: the window's tests.) Decimal steps stay decimal:
    EXPECT_EQ(ValueAtPosition(Row("0.1", "0.1", "0.3"), 70), "0.24");
}

TEST(ScrollInputs, TypedEndsNeverCrossTheCurrentValue) {
    ScrollInputRow r = Row("0", "7", "10");
    ApplyInputEdit(r, InputColumn::Lower, "12");
    EXPECT_EQ(r.lower, "7");
    ApplyInputEdit(r, InputColumn::Lower, "-2.50");
    EXPECT_EQ(r.lower, "-2.5");
    ApplyInputEdit(r, InputColumn::Upper, "3");
    EXPECT_EQ(r.upper, "7");
    ApplyInputEdit(r, InputColumn::Upper, "20");
    ApplyInputEdit(r, InputColumn::Current, "7.35");  // kept exactly
    EXPECT_EQ(r.current, "7.35");
    ApplyInputEdit(r, InputColumn::Current, "-9");
    EXPECT_EQ(r.current, "-2.5");
    ApplyInputEdit(r, InputColumn::Current, "1e3");
    EXPECT_EQ(r.current, "20");
}

TEST(ScrollInputs, RowValuesReachEveryTaskOfTheirNameAndTheProject) {
    RunState s;
    AddInputVariable(s, "a", "A1", "S", "", 0, "", "", "");
    AddInputVariable(s, "b", "B1", "S", "", 0, "", "", "");
    AddInputVariable(s, "a", "C1", "S", "", 0, "", "", "");
    Store_Fig_Scroll({{"a", "0", "7.30", "10"}, {"b", "0", "2", "3"}}, s);
    EXPECT_EQ(s.InputValues, (std::vector<std::string>{"", "7.3", "2", "7.3"}));

    const std::vector<std::string> lines = {
        "<<Input Task>>",
        " Input Pram.       :a,A1,S,0,5,10,Format,#,##0.0",
        " Input Pram.       :other,B1,S,0,5,10,,",
        " Input Pram.       :a,C1,S,,5,,Round,2",
        "<<Input Task End>>",
        " Output Pram.      :a,D1,S,,0,"};
    EXPECT_EQ(LinesWithInitialValues(lines, {{"a", "0", "7.3", "10"}}),
              (std::vector<std::string>{"<<Input Task>>", " Input Pram.       :a,A1,S,0,7.3,10,Format,#,##0.0",
                                        lines[2], " Input Pram.       :a,C1,S,,7.3,,Round,2", lines[4], lines[5]}));
}

TEST(ScrollOutputs, LimitsFromTheTasksOrTheFirstValue) {
    RunState s = ThreeOutputs();
    ScrollOutputs t;
    t.Param_NM_to_Grid(s);
    EXPECT_EQ(t.column(1).upper, "1.000e+01");
    EXPECT_EQ(t.column(3).lower, "5.000e+00");
    EXPECT_EQ(t.column(3).upper, "");
    EXPECT_EQ(t.column(4).name, "");

    s.OutputValues = {"", "2.5", "-4", "8"};
    t.Output_to_Grid(s, false);
    t.UL_Calc();
    EXPECT_EQ(t.column(1).current, "2.500e+00");
    EXPECT_EQ(t.column(2).upper, "0.000e+00");
    EXPECT_EQ(t.column(2).lower, "-8.000e+00");
    EXPECT_EQ(t.column(3).upper, "1.600e+01");
    EXPECT_EQ(t.column(3).lower, "5.000e+00");
    // The derived range stays when the value moves on; a text stays a text.
    s.OutputValues = {"", "hello", "-20", ""};
    t.Output_to_Grid(s, false);
    t.UL_Calc();
    EXPECT_EQ(t.column(1).current, "hello");
    EXPECT_EQ(t.column(2).current, "-2.000e+01");
    EXPECT_EQ(t.column(2).lower, "-8.000e+00");
    EXPECT_EQ(t.column(3).current, "");
    EXPECT_FALSE(t.column(3).plotted());
}

TEST(ScrollPlot, NormalisedProfilePeaksAndReadout) {
    RunState s = ThreeOutputs();
    AddOutputVariable(s, "flat", "D1", "S", "3", "3");
    ScrollOutputs t;
    t.Param_NM_to_Grid(s);
    t.chooseOutput(3, "");  // a gap between "b" and "flat"
    s.OutputValues = {"", "0", "-4", "0", "3"};
    t.Output_to_Grid(s, false);
    t.UL_Calc();
    EXPECT_EQ(t.normalised(1, 0), -1);
    EXPECT_EQ(t.normalised(1, 10), 1);
    EXPECT_EQ(t.normalised(1, 5), 0);
    EXPECT_DOUBLE_EQ(t.normalised(1, 11), 1.2);
    EXPECT_EQ(t.normalised(4, 3), 0);  // equal limits

    // Columns 1, 2 and 4: three circles, one line (the gap breaks the profile).
    auto marks = ProfileMarks(t, false);
    ASSERT_EQ(marks.size(), 4u);
    EXPECT_EQ(marks[0].kind, PlotMark::Kind::Circle);
    EXPECT_EQ(marks[0].x1, 0.5);
    EXPECT_EQ(marks[0].y1, -1);
    EXPECT_EQ(marks[0].rgb, plotcolour::Current);
    EXPECT_EQ(marks[2].kind, PlotMark::Kind::Line);
    EXPECT_EQ(marks[2].rgb, plotcolour::Profile);
    EXPECT_EQ(marks[2].x1, 0.5);
    EXPECT_EQ(marks[2].y2, 0);  // -4 is the middle of [-8, 0]
    EXPECT_EQ(marks[3].x1, 3.5);

    // Peaks follow the values once ready, and reset to the current value.
    t.Clear_Peak();
    for (const char* v : {"6", "9", "-1", "2"}) {
        s.OutputValues[1] = v;
        t.Output_to_Grid(s, true);
    }
    EXPECT_EQ(t.column(1).peakHigh, 9);
    EXPECT_EQ(t.column(1).peakLow, -1);
    marks = ProfileMarks(t, true);
    EXPECT_EQ(marks.size(), 4u + 6u + 2u);  // a circle for each peak, and lines for column 2's
    EXPECT_EQ(marks[0].rgb, plotcolour::Peak);
    EXPECT_DOUBLE_EQ(marks[0].y1, 0.8);
    t.Clear_Peak();
    EXPECT_EQ(t.column(1).peakHigh, 2);
    EXPECT_EQ(t.column(1).peakLow, 2);

    EXPECT_EQ(PointerColumn(0.75), 1);
    EXPECT_EQ(PointerColumn(1.0), std::nullopt);
    EXPECT_EQ(PointerColumn(7.2), 8);
    EXPECT_EQ(PointerReadout(t, 1, 0), "5.000e+00");
    EXPECT_EQ(PointerReadout(t, 2, -1), "-8.000e+00");
    EXPECT_EQ(PointerReadout(t, 3, 0), "");
}

TEST(CalculationQueue, NotificationsDuringACalculationBecomeOneMore) {
    CalculationQueue q;
    EXPECT_TRUE(q.request());
    EXPECT_FALSE(q.request());  // already asked for
    int calculations = 0, passes = 0;
    auto calculate = [&] {
        ++calculations;
        if (calculations == 1) {
            // Arriving while the first one runs: merged, and no nested run.
            EXPECT_FALSE(q.request());
            EXPECT_FALSE(q.request());
            EXPECT_EQ(q.run([&] { ++calculations; }, nullptr), 0);
        }
    };
    auto between = [&] {
        // The queued notifications come in after the calculation.
        if (++passes == 2) {
            EXPECT_FALSE(q.request());
            EXPECT_FALSE(q.request());
        }
    };
    EXPECT_EQ(q.run(calculate, between), 3);
    EXPECT_FALSE(q.running());
    EXPECT_TRUE(q.request());
    q.drop();
    EXPECT_EQ(q.run(calculate, between), 0);
}

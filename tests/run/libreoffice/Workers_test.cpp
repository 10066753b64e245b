// Studies calculated by one LibreOffice instance or several: the DB file is
// the same, byte for byte, whatever calculated it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "IshigamiStudy.h"
#include "RunFixture.h"
#include "analysis/RunningSummary.h"
#include "analysis/SobolIndices.h"
#include "db/Csv.h"
#include "project/NumberText.h"
#include "run/Distributions.h"
#include "run/SampleDesign.h"

namespace korvane {
namespace {

using namespace test;
using WorkersTest = RunFixture;

// Inputs whose texts carry from one calculation to the next: a formatted
// value that is never drawn again, a replaced one, a rounded one, a name
// written into two cells.
Project CarriedValuesStudy() {
    Project p;
    p.taskPlan = "MonteCarlo";
    p.inputTasks = {Formatted(In("a", 1, "10", "8", "12"), "Round", "3"),
                    Formatted(In("b", 2, "1234.5678"), "Format", "0.00"), In("a", 3, "10"),
                    Formatted(In("c", 4, "1", "-1", "3"), "Replace", "Text"),
                    Formatted(In("d", 5, "0"), "Format", "0.000")};
    p.replaceTasks = {{"c", "0=zero,1=one,2=two"}};
    p.outputTasks = {Out("twice", 1), Out("text", 2), Out("sum", 3, "", "1240")};
    p.monteCarlo.numOfCalc = "30";
    p.monteCarlo.randomSeed = "777";
    p.monteCarlo.sampledVariables = {{"a", "正規分布", "10", "1.5"}, {"c", "一様分布", "1", "1.5"},
                                     {"d", "正規分布", "0", "2"}};
    return p;
}

// Every plan gives its golden bytes calculated by one instance and by three
// at once; so do two instances that restart for every calculation.
TEST_F(WorkersTest, EveryPlanWritesItsGoldenBytesWithOneWorkerOrThree) {
    WriteWorkbook(app.file("model.fods"), 5, {"[$In.A1]*2", "[$In.D1]", "[$In.B1]+[$In.C1]+[$In.E1]"});
    Project mc = example("beam-montecarlo");
    mc.monteCarlo.numOfCalc = "60";
    const std::vector<std::pair<Project, std::string>> studies = {{mc, "beam-montecarlo.csv"},
                                                                  {example("beam-datafile"), "beam-datafile.csv"},
                                                                  {example("beam-orthogonal"), "beam-orthogonal.csv"},
                                                                  {CarriedValuesStudy(), "carried-values.csv"}};
    for (int workers : {1, 3}) {
        for (const auto& [study, golden] : studies) {
            SCOPED_TRACE(golden + " workers: " + std::to_string(workers));
            ASSERT_EQ(run(study, Workers(workers)), 0) << lastMessage();
            expectGolden(golden);
        }
    }
    Project restarting = CarriedValuesStudy();
    restarting.monteCarlo.numOfCalc = "5";
    restarting.monteCarlo.restartExcel = "1";
    ASSERT_EQ(run(restarting, Workers(2)), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), FirstLines(Golden("carried-values.csv"), 7));
}

// The example beam study drawn as a Latin hypercube, with a lognormal load
// correlated to the length: the same bytes with one worker, with three, and
// resumed after its first lines; each drawn input uses each of its strata
// once, within its limits, and the pair comes near its rank correlation.
TEST_F(WorkersTest, ALatinHypercubeStudyIsTheSameHoweverItIsCalculated) {
    Project p = example("beam-montecarlo");
    const int drawn = 40;
    p.monteCarlo.numOfCalc = std::to_string(drawn + 1);
    p.monteCarlo.sampledVariables = {{"荷重", "対数正規分布", "1000", "150"},
                                     {"長さ", "一様分布", "500", "80"},
                                     {"高さ", "正規分布", "40", "3"}};
    // The DB lines hold the drawn texts themselves, not rounded ones.
    for (InputTask& t : p.inputTasks) t.formatKind = t.formatArg = "";
    p.sampling.method = method::LHS;
    p.sampling.correlations = {{"荷重", "長さ", "0.6"}};

    ASSERT_EQ(run(p, Workers(1)), 0) << lastMessage();
    const std::string one = ReadBytes(app.file("db.csv"));
    ASSERT_EQ(run(p, Workers(3)), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), one);
    RunOptions resume = Workers(2);
    resume.resume = true;
    WriteBytes(app.file("db.csv"), FirstLines(one, 2 + 12));
    ASSERT_EQ(run(p, resume), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), one);

    const auto lines = dbFields();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(2 + 1 + drawn));
    struct Column {
        std::size_t field;
        std::string distribution;
        double center, spread, lower, upper;
    };
    std::vector<std::vector<double>> drawnValues;
    for (const Column& c : {Column{1, "対数正規分布", 1000, 150, 500, 1500}, Column{2, "一様分布", 500, 80, 400, 600},
                            Column{4, "正規分布", 40, 3, 30, 50}}) {
        SCOPED_TRACE(c.distribution);
        std::string error;
        const auto d = MakeDistribution(c.distribution, c.center, c.spread, error);
        ASSERT_TRUE(d) << error;
        const double from = d->cdf(c.lower), width = d->cdf(c.upper) - from;
        std::vector<int> hits(drawn, 0);
        std::vector<double> values;
        for (int row = 0; row < drawn; ++row) {
            const double x = LeadingNumber(lines[3 + row][c.field]);
            EXPECT_TRUE(x >= c.lower && x <= c.upper) << x;
            const double u = (d->cdf(x) - from) / width;
            ++hits[std::clamp(static_cast<int>(u * drawn), 0, drawn - 1)];
            values.push_back(x);
        }
        EXPECT_EQ(std::count(hits.begin(), hits.end(), 1), drawn);
        drawnValues.push_back(values);
    }
    auto ranks = [](const std::vector<double>& v) {
        std::vector<double> r(v.size());
        for (std::size_t i = 0; i < v.size(); ++i)
            r[i] = static_cast<double>(std::count_if(v.begin(), v.end(), [&](double y) { return y < v[i]; }));
        return r;
    };
    const auto ra = ranks(drawnValues[0]), rb = ranks(drawnValues[1]);
    double d2 = 0;
    for (std::size_t i = 0; i < ra.size(); ++i) d2 += (ra[i] - rb[i]) * (ra[i] - rb[i]);
    const double spearman = 1.0 - 6.0 * d2 / (drawn * (static_cast<double>(drawn) * drawn - 1.0));
    EXPECT_NEAR(spearman, 0.6, 0.1);
    // The first calculation keeps the initial values.
    EXPECT_EQ(lines[2][1], "1000");
}

// A Saltelli study of the Ishigami function, four whole groups of five and
// a fifth begun: the same bytes with one worker, with two, and resumed inside
// a group, and the lines form the groups. In each, A and B differ in every
// input, and each AB line is A's line with one input's text taken from B's;
// every value lies in [-pi, pi] and the workbook computed the function of the
// values written.
TEST_F(WorkersTest, ASaltelliStudyWritesItsGroupsHoweverItIsCalculated) {
    WriteIshigamiWorkbook(app.file("ishigami.fods"));
    const int calculations = 1 + 4 * 5 + 3;
    const Project p = IshigamiStudy(calculations, "2026");
    ASSERT_EQ(run(p, Workers(1)), 0) << lastMessage();
    const std::string one = ReadBytes(app.file("db.csv"));
    ASSERT_EQ(run(p, Workers(2)), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), one);
    // Resumed in the middle of the second group.
    RunOptions resume = Workers(2);
    resume.resume = true;
    WriteBytes(app.file("db.csv"), FirstLines(one, 2 + 9));
    ASSERT_EQ(run(p, resume), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), one);

    const auto lines = dbFields();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(2 + calculations));
    EXPECT_EQ(lines[0], (std::vector<std::string>{"Count", "x1", "x2", "x3", "f", "Validity(制限判定)"}));
    EXPECT_EQ(lines[2], (std::vector<std::string>{"1", "0", "0", "0", "0", "True"}));
    auto line = [&](std::int64_t calculation) -> const std::vector<std::string>& {
        return lines[static_cast<std::size_t>(calculation + 1)];
    };
    for (std::int64_t c = 2; c <= calculations; ++c) {
        SCOPED_TRACE("calculation " + std::to_string(c));
        const auto place = SaltelliPlaceOf(c, 3);
        ASSERT_TRUE(place);
        const std::int64_t a = 2 + (place->group - 1) * 5;
        const auto& A = line(a);
        const auto& B = line(a + 1);
        const auto& here = line(c);
        for (std::size_t i = 1; i <= 3; ++i) {
            const bool fromB = place->role == kSaltelliB || place->role == i + 1;
            if (c == a) {
                EXPECT_NE(A[i], B[i]) << i;
            }
            EXPECT_EQ(here[i], fromB ? B[i] : A[i]) << i;
            EXPECT_LE(std::fabs(LeadingNumber(here[i])), 3.14159265358979);
        }
        const double f = Ishigami(LeadingNumber(here[1]), LeadingNumber(here[2]), LeadingNumber(here[3]));
        EXPECT_NEAR(LeadingNumber(here[4]), f, 1e-9 * (1 + std::fabs(f)));
        EXPECT_EQ(here[5], "True");
    }
    // The fifth group begun: its A, B and AB(1).
    EXPECT_EQ(SaltelliPlaceOf(calculations, 3), (SaltelliPlace{5, 2}));
}

// The indices of the Ishigami function, known in closed form, come out of
// a real study: a Saltelli design of 2000 groups calculated by two workers
// gives S1 and ST within 0.03 of them, inside their intervals, and a plain
// Monte Carlo study of the same model gives S1 within 0.05 from the data.
TEST_F(WorkersTest, TheIndicesOfIshigamiComeOutOfARealStudy) {
    WriteIshigamiWorkbook(app.file("ishigami.fods"));
    const double s1[] = {0.3139, 0.4424, 0.0}, st[] = {0.5576, 0.4424, 0.2437};
    auto near = [](const SobolFigures& f, double exact, double tolerance, bool covered) {
        EXPECT_NEAR(f.value, exact, tolerance);
        if (covered) {
            EXPECT_LE(f.interval.lower, exact);
            EXPECT_GE(f.interval.upper, exact);
        }
    };
    ASSERT_EQ(run(IshigamiStudy(1 + 2000 * 5, "31"), Workers(2)), 0) << lastMessage();
    SobolResult design;
    ASSERT_TRUE(ComputeSobolIndices(app.file("db.csv"), {}, {}, design)) << design.error;
    ASSERT_EQ(design.estimate, SobolEstimate::Design);
    EXPECT_EQ(design.groups, 2000);
    ASSERT_EQ(design.outputs.size(), 1u);
    ASSERT_EQ(design.outputs[0].inputs.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("x" + std::to_string(i + 1));
        near(design.outputs[0].inputs[i].first, s1[i], 0.03, true);
        near(design.outputs[0].inputs[i].total, st[i], 0.03, true);
    }

    ASSERT_EQ(run(IshigamiStudy(3001, "31", method::MonteCarlo), Workers(2)), 0) << lastMessage();
    SobolResult given;
    ASSERT_TRUE(ComputeSobolIndices(app.file("db.csv"), {}, {}, given)) << given.error;
    ASSERT_EQ(given.estimate, SobolEstimate::GivenData);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE("x" + std::to_string(i + 1));
        near(given.outputs[0].inputs[i].first, s1[i], 0.05, false);
        EXPECT_TRUE(std::isnan(given.outputs[0].inputs[i].total.value));
    }
}

// Patterns with a literal digit ("05" writes 1 as "15"): the input the plan
// does not assign keeps its number, and the one it assigns takes the new
// number, also where that reads as the text formatted last (15 after "15"),
// with one worker and with two.
TEST_F(WorkersTest, PatternsWithDigitsOfTheirOwnDoNotDrift) {
    WriteWorkbook(app.file("model.fods"), 2, {"[$In.A1]+[$In.B1]"});
    WriteBytes(app.file("data.csv"), "x\r\n1\r\n15\r\n15\r\n");
    Project p;
    p.taskPlan = "DataFile Input";
    p.inputTasks = {Formatted(In("x", 1, "0"), "Format", "05"), Formatted(In("y", 2, "3"), "Format", "09")};
    p.outputTasks = {Out("sum", 1)};
    p.dataFileInput.dataFile = "\\data.csv";
    p.dataFileInput.readRow = "2";
    p.dataFileInput.readParams = {{"0", "x"}};
    for (int workers : {1, 2}) {
        SCOPED_TRACE(workers);
        ASSERT_EQ(run(p, Workers(workers)), 0) << lastMessage();
        EXPECT_EQ(FileLines(app.file("db.csv")),
                  (std::vector<std::string>{"Count,x,y,sum,Validity(制限判定)", "-,[Input],[Input],[Output],[System]",
                                            "1,15,39,54,True", "2,155,39,194,True", "3,155,39,194,True"}));
    }
}

// A stop after calculation 10 lets the calculations under way finish: the
// file holds the first lines of the whole study, none missing, none cut;
// with one worker exactly ten, with three no more than the three under way.
TEST_F(WorkersTest, AStopLeavesTheFirstLinesWhole) {
    Project mc = example("beam-montecarlo");
    mc.monteCarlo.numOfCalc = "60";
    observer.stopAt = 10;
    for (int workers : {1, 3}) {
        SCOPED_TRACE(workers);
        EXPECT_EQ(run(mc, Workers(workers)), 3) << lastMessage();
        const std::string bytes = ReadBytes(app.file("db.csv"));
        ASSERT_TRUE(bytes.ends_with("\r\n"));
        EXPECT_EQ(Golden("beam-montecarlo.csv").substr(0, bytes.size()), bytes);
        const auto lines = FileLines(app.file("db.csv"));
        EXPECT_GE(lines.size(), 12u);  // calculation 10 finished
        EXPECT_LE(lines.size(), workers == 1 ? 12u : 15u);
    }
}

// Programs of timing 0 run once per run; those of timing 6 after their own
// calculation's line and before the next one, so in calculation order, with
// the values read back from the workbook, with one worker or several.
TEST_F(WorkersTest, ProgramsKeepTheirTimings) {
    WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]*2"});
    for (int t : {0, 6}) {
        const std::string path = app.file("log" + std::to_string(t) + ".sh");
        WriteBytes(path, "#!/bin/sh\necho \"$1 $2\" >> \"$(dirname \"$0\")/t" + std::to_string(t) + ".log\"\n");
        ::chmod(path.c_str(), 0755);
    }
    Project p = MonteCarloStudy("12", "5");
    p.inputTasks[0].initial = "1";
    p.shellTasks = {{"\\log0.sh", "0", "[a]"}, {"\\log6.sh", "6", "[a] [o]"}};
    for (int workers : {1, 3}) {
        SCOPED_TRACE(workers);
        std::filesystem::remove(app.file("t0.log"));
        std::filesystem::remove(app.file("t6.log"));
        ASSERT_EQ(run(p, Workers(workers)), 0) << lastMessage();
        EXPECT_EQ(ReadBytes(app.file("t0.log")), "1.00000e+0 \n");
        const auto six = FileLines(app.file("t6.log"));
        const auto lines = dbFields();
        ASSERT_EQ(six.size(), 12u);
        EXPECT_EQ(six[0], "1.00000e+0 2.00000e+0");  // the first calculation's output, read back
        for (std::size_t i = 0; i < six.size(); ++i)
            EXPECT_EQ(six[i], FormatArgumentValue(lines[i + 2][1]) + " " + FormatArgumentValue(lines[i + 2][2])) << i;
    }
}

// A calculation that never returns (a macro looping, a program hanging) is
// abandoned at the time limit, and one that kills its instance every time is
// made once more on a fresh instance and then given up: either way its line
// has empty outputs and the verdict False, the calculations after it go on
// on a fresh instance (only the hung worker's program is ended), and the end
// of the run counts it.
TEST_F(WorkersTest, ACalculationThatHangsOrKillsItsInstanceIsRecordedFalse) {
    const std::string crash = app.file("crash.sh");
    // Kills the soffice.bin above it, however the macro's Shell starts it.
    WriteBytes(crash,
               "#!/bin/sh\np=$PPID\n"
               "while [ \"$p\" -gt 1 ] && [ \"$(cat /proc/$p/comm)\" != soffice.bin ]; do\n"
               "  p=$(cut -d' ' -f4 /proc/$p/stat)\ndone\n"
               "[ \"$p\" -gt 1 ] && kill -9 $p\n");
    ::chmod(crash.c_str(), 0755);
    const std::string onThree =
        "    If ThisComponent.Sheets.getByName(\"In\").getCellByPosition(0, 0).getValue() = 3 Then\n";
    WriteWorkbook(app.file("model.fods"), 1, {"[$In.A1]*2"},
                  "Sub HangOnThree\n" + onThree + "        Do While True\n        Loop\n    End If\nEnd Sub\n" +
                      "Sub CrashOnThree\n" + onThree + "        Shell(\"" + crash +
                      "\", 0, \"\", True)\n        Wait 10000\n    End If\nEnd Sub\n");
    WriteBytes(app.file("data.csv"), "x\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n");
    Project p;
    p.taskPlan = "DataFile Input";
    p.inputTasks = {In("x", 1, "0")};
    p.outputTasks = {Out("twice", 1)};
    p.dataFileInput.dataFile = "\\data.csv";
    p.dataFileInput.readParams = {{"0", "x"}};
    const std::string expected = Cp932Lines({"Count,x,twice,Validity(制限判定)", "-,[Input],[Output],[System]",
                                             "1,1,2,True", "2,2,4,True", "3,3,,False", "4,4,8,True", "5,5,10,True",
                                             "6,6,12,True"});

    p.macro = "CrashOnThree";
    ASSERT_EQ(run(p, Workers(2)), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), expected);
    EXPECT_EQ(state.ReplacedInstances, 2);
    EXPECT_EQ(state.CrashedCalcs, 1);
    EXPECT_EQ(state.UnreadableCalcs, 0);
    EXPECT_NE(lastMessage().find("2回続けて異常終了した計算: 1回"), std::string::npos) << lastMessage();

    p.macro = "HangOnThree";
    for (int workers : {1, 2}) {
        SCOPED_TRACE("workers: " + std::to_string(workers));
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(run(p, Workers(workers, 3)), 0) << lastMessage();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(40));
        EXPECT_EQ(ReadBytes(app.file("db.csv")), expected);
        EXPECT_EQ(state.TimedOutCalcs, 1);
        EXPECT_NE(lastMessage().find("時間切れで打ち切った計算: 1回"), std::string::npos) << lastMessage();
    }
    p.macro.clear();
    p.shellTasks = {{"/bin/sh", "2", "-c \"echo $$ > " + app.file("hung.pid") +
                                         "; test $0 = 3.00000e+0 && exec sleep 1000; exit 0\" [x]"}};
    ASSERT_EQ(run(p, Workers(2, 3)), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), expected);
    EXPECT_EQ(state.TimedOutCalcs, 1);
}

// An instance killed (kill -9) in the middle of a study with two workers is
// replaced and its calculation made again: the DB file is the undisturbed
// study's, and the end of the run says so.
TEST_F(WorkersTest, AKilledInstanceIsReplacedAndItsCalculationMadeAgain) {
    Project mc = example("beam-montecarlo");
    mc.monteCarlo.numOfCalc = "60";
    mc.shellTasks = {{"/bin/sleep", "3", "0.05"}};  // the instances are busy when the kill comes
    observer.killOneFrom = 20;
    ASSERT_EQ(run(mc, Workers(2)), 0) << lastMessage();
    EXPECT_GT(observer.killed, 0);
    expectGolden("beam-montecarlo.csv");
    EXPECT_GE(state.ReplacedInstances, 1);
    EXPECT_EQ(state.CrashedCalcs, 0);
    EXPECT_NE(lastMessage().find("起動し直した回数"), std::string::npos) << lastMessage();
}

// A study with a precision target on the stress ends as completed at the
// first line, from the 100th on, where the 95 % half-width of the mean over
// the valid lines is at most 2 % of the mean, as recomputed here from the file
// itself. Three workers write the same bytes (the calculations handed out
// beyond that line are dropped), and a run cut short before that line is
// resumed to the same line: the lines already in the file count.
TEST_F(WorkersTest, APrecisionTargetEndsTheRunAtTheLineTheFileSaysMeetsIt) {
    Project p = example("beam-montecarlo");
    p.monteCarlo.numOfCalc = "2000";
    p.sampling.hasPrecision = true;
    p.sampling.precision = {"応力", "0.02", ""};
    ASSERT_EQ(run(p, Workers(1)), 0) << lastMessage();
    const std::string bytes = ReadBytes(app.file("db.csv"));
    const std::vector<std::vector<std::string>> lines = dbFields();
    ASSERT_GT(lines.size(), 2u);
    const std::size_t stress = 7;  // after Count and the six inputs
    ASSERT_EQ(lines[0][stress], "応力");
    RunningSummary summary;
    std::int64_t stopAt = 0;
    for (std::size_t i = 2; i < lines.size() && stopAt == 0; ++i) {
        const bool valid = lines[i].back() != "False";
        double v = 0;
        if (valid && CsvValue(lines[i][stress], v))
            summary.add(v);
        else
            summary.leaveOut(valid);
        const auto line = static_cast<std::int64_t>(i) - 1;
        if (line >= 100 && summary.mean() != 0 && summary.halfWidth(95) <= 0.02 * std::fabs(summary.mean()))
            stopAt = line;
    }
    // Beyond the 100th line, so that the running check itself is proved.
    ASSERT_GT(stopAt, 100) << "lines: " << lines.size() - 2;
    EXPECT_EQ(static_cast<std::int64_t>(lines.size()) - 2, stopAt);
    ASSERT_FALSE(ui.notices.empty());
    EXPECT_NE(ui.notices.back().find("精度目標に達したため計算 " + std::to_string(stopAt) + " で終了しました"),
              std::string::npos)
        << ui.notices.back();

    ASSERT_EQ(run(p, Workers(3)), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), bytes);

    // Cut 20 lines before the end, with a line cut short: without the lines
    // in the file the resumed run would go on for 100 more.
    const std::string cut = FirstLines(bytes, static_cast<int>(stopAt) - 20 + 2);
    WriteBytes(app.file("db.csv"), cut + bytes.substr(cut.size(), 12));
    RunOptions resume = Workers(2);
    resume.resume = true;
    ASSERT_EQ(run(p, resume), 0) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), bytes);
    // The finished study resumed again: nothing to calculate, nothing changed.
    ASSERT_EQ(run(p, resume), 0) << lastMessage();
    EXPECT_NE(lastMessage().find("精度目標に達して終わっています"), std::string::npos) << lastMessage();
    EXPECT_EQ(ReadBytes(app.file("db.csv")), bytes);
}

}  // namespace
}  // namespace korvane

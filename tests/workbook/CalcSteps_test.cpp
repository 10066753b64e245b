// The steps that need no workbook: initial values, formatting, replacement,
// the restriction verdict, program arguments and programs that cannot start.
// (Programs at their timings with literal arguments: the calculation on a
// real workbook.)
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "TestSupport.h"
#include "platform/AppFolder.h"
#include "platform/Process.h"
#include "project/RunState.h"
#include "project/NumberText.h"
#include "workbook/CalcSteps.h"

using namespace korvane;
using namespace korvane::test;

namespace {

void AddInput(RunState& s, const std::string& name, const std::string& value, const std::string& kind = "",
              const std::string& arg = "") {
    s.InputValues[AddInputVariable(s, name, "A1", "S", "", 0, "", kind, arg)] = value;
}

void AddOutput(RunState& s, const std::string& name, const std::string& value, const std::string& lower = "",
               const std::string& upper = "") {
    s.OutputValues[AddOutputVariable(s, name, "A1", "S", lower, upper)] = value;
}

}  // namespace

TEST(CalcSteps, InitialValuesAndFormattingPass) {
    RunState s;
    AddInput(s, "r", "", "Round", "2");
    AddInput(s, "r0", "", "Round", "0");
    AddInput(s, "f", "", "Format", "#.##");
    AddInput(s, "e", "", "Format", "#e+##");
    AddInput(s, "plain", "", "Text", "");
    s.InputInitial = {0, 0.125, 2.5, 0.5, 123.45, 1e-5};
    AddOutput(s, "o", "42");
    AssignInitialValues(s);
    EXPECT_EQ(s.InputValues[5], "1E-05");
    EXPECT_EQ(s.OutputValues[1], "0");
    FormatInputs(s);
    EXPECT_EQ(s.InputValues[1], "0.12");
    EXPECT_EQ(s.InputValues[2], "2");
    EXPECT_EQ(s.InputValues[3], ".5");
    EXPECT_EQ(s.InputValues[4], "1e+2");
    EXPECT_EQ(s.InputValues[5], "1E-05");
}

// An input the plan does not assign again keeps its value from one
// calculation to the next, whatever its pattern wrote the first time.
TEST(CalcSteps, FormattedValuesDoNotDrift) {
    const std::vector<std::pair<std::string, double>> cases = {
        {"#,##0", 1234567.4}, {"$#,##0.00", -1234.5}, {"0.0 mm", 12.25},  {"#.##", 0.5},
        {"00-00", 1234},      {"#e+##", 123.45},      {"0.000E+00", 1e-7}, {"No.0", 17},
        {"0 1", 5},           {"#,##0.0#", 0.05},     {"[0]", 3},          {"#", 0},
    };
    for (const auto& [pattern, value] : cases) {
        SCOPED_TRACE(pattern);
        RunState s;
        AddInput(s, "x", GeneralNumber(value), "Format", pattern);
        FormatInputs(s);
        const std::string first = s.InputValues[1];
        EXPECT_EQ(first, FormatPattern(value, pattern));
        for (int calc = 2; calc <= 3; ++calc) {
            FormatInputs(s);
            EXPECT_EQ(s.InputValues[1], first);
        }
        // A program argument gets the number, not the formatted text.
        double back = 0;
        ASSERT_TRUE(ParseFormattedNumber(first, pattern, back));
        EXPECT_EQ(ProgramArguments(s, "[x]"), std::vector<std::string>{FormatArgumentValue(GeneralNumber(back))});
    }
    // A literal digit of the pattern makes a text that reads as another
    // number ("125" for 12): the input stands for 12 calculation after
    // calculation, until it is given a new value, which may look the same.
    RunState s;
    AddInput(s, "x", "12", "Format", "05");
    for (int calc = 1; calc <= 3; ++calc) {
        FormatInputs(s);
        EXPECT_EQ(s.InputValues[1], "125");
    }
    s.InputValues[1] = "125";
    s.forgetFormat(1);
    FormatInputs(s);
    EXPECT_EQ(s.InputValues[1], "1255");
    AssignInitialValues(s);  // a new run starts from the plain initial value
    EXPECT_EQ(s.InputValues[1], "0");

    double v = 0;
    EXPECT_FALSE(ParseFormattedNumber("abc", "#,##0", v));
    EXPECT_FALSE(ParseFormattedNumber("1,234", "0.00", v));
}

TEST(CalcSteps, ReplacementTexts) {
    EXPECT_EQ(ReplacementText(2.9, "1=Steel,2=Copper"), "Copper");
    EXPECT_EQ(ReplacementText(7, "1=Steel,2=Copper"), "NotFound:7");
    EXPECT_EQ(ReplacementText(1, "1=,2=x"), "");
    EXPECT_EQ(ReplacementText(-0.5, "-1=minus,0=zero"), "minus");
    EXPECT_EQ(ReplacementText(-0.5, ""), "NotFound:-1");
    EXPECT_EQ(ReplacementText(2, "2=a=b"), "a=b");         // only the first "=" splits
    EXPECT_EQ(ReplacementText(2, "x,2=after"), "after");   // an entry without "=" is skipped
    EXPECT_EQ(ReplacementText(1, "1=鋼,1=銅"), "鋼");       // the first match wins
}

TEST(CalcSteps, RestrictionVerdict) {
    RunState s;
    AddOutput(s, "a", "-0.1", "0", "");
    EXPECT_FALSE(JudgeRestrictions(s));
    s.OutputValues[1] = "0";
    EXPECT_TRUE(JudgeRestrictions(s));
    AddOutput(s, "b", "text", "", "-1");  // a text reads as 0, above the upper limit -1
    EXPECT_FALSE(JudgeRestrictions(s));
    EXPECT_FALSE(s.RunValid);
    s.OutputUpper[2] = "0";  // equal to a limit passes
    EXPECT_TRUE(JudgeRestrictions(s));
    RunState none;
    EXPECT_TRUE(JudgeRestrictions(none));
}

TEST(CalcSteps, ShellLinesAndWords) {
    auto l = SplitShellLine("\\bin\\run.sh,3,a,b c");
    EXPECT_EQ(l.program, "\\bin\\run.sh");
    EXPECT_EQ(l.timing, "3");
    EXPECT_EQ(l.arguments, "a,b c");
    EXPECT_EQ(SplitShellLine("/bin/x,1").arguments, "");
    EXPECT_EQ(SplitWords("  a \"b c\"  d\"e f\"g \"\" "),
              (std::vector<std::string>{"a", "b c", "de fg", ""}));

    RunState s;
    AddInput(s, "a", "10");
    AddInput(s, "b", "0.00012");
    AddInput(s, "my var", "2");
    AddOutput(s, "o", "$(touch pwned); `id` | rm -rf / & \"x\"");
    EXPECT_EQ(ProgramArguments(s, "[a] [a] -v=[b] [o] [A] --in=[my var].csv \"[my var] x\" [open"),
              (std::vector<std::string>{"1.00000e+1", "1.00000e+1", "-v=1.20000e-4",
                                        "$(touch pwned); `id` | rm -rf / & \"x\"", "[A]", "--in=2.00000e+0.csv",
                                        "2.00000e+0 x", "[open"}));
}

TEST(CalcSteps, ProgramThatCannotStartIsNamed) {
    TempDir dir;
    SetAppFolder(dir.path());
    RunState s;
    s.ShellTasks.push_back("\\missing-tool,1,");
    std::string error;
    EXPECT_FALSE(RunExternalPrograms(s, 1, error));
    EXPECT_NE(error.find("missing-tool"), std::string::npos) << error;

    WriteBytes(dir.file("noexec.sh"), "#!/bin/sh\n");  // not executable
    s.ShellTasks[1] = "\\noexec.sh,1,";
    EXPECT_FALSE(RunExternalPrograms(s, 1, error));
    EXPECT_NE(error.find("noexec.sh"), std::string::npos) << error;

    s.ShellTasks[1] = "/bin/sh,1,-c \"exit 3\"";  // the program's own failure is not ours
    EXPECT_TRUE(RunExternalPrograms(s, 1, error)) << error;
}

namespace {

// The processes whose command line is `command`, zombies left out.
std::vector<pid_t> ProcessesRunning(const std::string& command) {
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name[0] < '0' || name[0] > '9') continue;
        std::string line = ReadBytes(entry.path().string() + "/cmdline");
        std::replace(line.begin(), line.end(), '\0', ' ');
        const std::string stat = ReadBytes(entry.path().string() + "/stat");
        const auto close = stat.rfind(')');
        if (line == command + " " && close != std::string::npos && stat.substr(close + 2, 1) != "Z")
            found.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return found;
}

}  // namespace

// However many programs leave something running in their process groups
// (or in a group of its own), the end of the run ends all of it; a program
// that left its session is named with its process id (and keeps running).
TEST(CalcSteps, EverythingProgramsLeftRunningEndsWithTheRun) {
    const std::string tag = std::to_string(::getpid());
    const std::string background = "sleep 3002." + tag, moved = "sleep 3004." + tag, daemon = "sleep 3003." + tag;
    RunState s;
    s.ShellTasks.push_back("/bin/sh,1,-c \"" + background + " &\"");
    std::string error;
    for (int i = 0; i < 300; ++i) ASSERT_TRUE(RunExternalPrograms(s, 1, error)) << error;
    s.ShellTasks[1] = "/bin/sh,1,-c \"set -m; " + moved + " &\"";  // job control: a group of its own
    ASSERT_TRUE(RunExternalPrograms(s, 1, error)) << error;
    s.ShellTasks[1] = "/bin/sh,1,-c \"setsid " + daemon + " &\"";
    ASSERT_TRUE(RunExternalPrograms(s, 1, error)) << error;
    EXPECT_EQ(ProcessesRunning(background).size(), 300u);
    EXPECT_EQ(ProcessesRunning(moved).size(), 1u);

    const std::vector<std::string> left = EndRunPrograms();
    for (int i = 0; i < 100 && !ProcessesRunning(background).empty(); ++i) ::usleep(20000);
    EXPECT_EQ(ProcessesRunning(background).size(), 0u);
    EXPECT_EQ(ProcessesRunning(moved).size(), 0u);
    const std::vector<pid_t> daemons = ProcessesRunning(daemon);
    ASSERT_EQ(daemons.size(), 1u);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0], daemon + " (PID " + std::to_string(daemons[0]) + ")");
    // Named by the run that started it only.
    EXPECT_TRUE(EndRunPrograms().empty());
    ::kill(daemons[0], SIGKILL);
}

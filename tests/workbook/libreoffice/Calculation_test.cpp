// One calculation through every step on a real workbook: inputs of every
// format kind, a macro, external programs at all six timings
// with substituted arguments, outputs of every kind, limits, the DB line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "LoTestSupport.h"
#include "TestSupport.h"
#include "db/DbFile.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "platform/libreoffice/LibreOfficeLink.h"
#include "project/Paths.h"
#include "project/RunState.h"
#include "workbook/CalcSteps.h"
#include "workbook/CellRef.h"

namespace korvane {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

class CalculationTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new TempDir;
        link_ = new LibreOfficeLink;
        if (!link_->start(false))
            setupError_ = "start: " + link_->lastError();
        else if (!test::MakeTestWorkbooks(*link_, folder_->path(), books_, setupError_))
            setupError_ = "making the workbooks: " + setupError_;
    }
    static void TearDownTestSuite() {
        delete link_;
        delete folder_;
        link_ = nullptr;
        folder_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(setupError_.empty()) << setupError_;
        SetAppFolder(dir.path());
        ResetRunArrays(s);
    }
    void TearDown() override { link_->closeWorkbooks(); }

    void input(const std::string& name, const std::string& address, const std::string& value,
               const std::string& kind, const std::string& arg, const std::string& replace = "") {
        std::size_t i = AddInputVariable(s, name, address, "Inputs", "", 0, "", kind, arg);
        s.InputValues[i] = value;
        s.ReplaceLists[i] = replace;
    }
    void output(const std::string& name, const std::string& sheet, const std::string& address,
                const std::string& lower = "", const std::string& upper = "") {
        AddOutputVariable(s, name, address, sheet, lower, upper);
    }
    // A program that logs its timing and arguments, one per line.
    void program(int timing) {
        const std::string path = dir.file("prog" + std::to_string(timing) + ".sh");
        WriteBytes(path, "#!/bin/sh\nlog=\"$(dirname \"$0\")/calls.log\"\nfor a in \"$@\"; do printf '%s|' \"$a\" >> "
                         "\"$log\"; done\nprintf '\\n' >> \"$log\"\n");
        ::chmod(path.c_str(), 0755);
        s.ShellTasks.push_back("\\prog" + std::to_string(timing) + ".sh," + std::to_string(timing) + ",t" +
                               std::to_string(timing) + " [a] \"[meta]\" [hello]");
    }

    // The steps of one calculation in their fixed order, as the Single plan
    // runs them; false stops at the first failing step.
    bool calculate(std::string& error) {
        AssignInitialValues(s);
        for (std::size_t i = 1; i <= s.inputCount(); ++i) s.InputValues[i] = values_[i - 1];
        if (!RunExternalPrograms(s, 1, error) || !RunExternalPrograms(s, 2, error)) return false;
        ResolveAllReferences(s);
        if (!link_->open(s.WorkbookPath)) {
            error = link_->lastError();
            return false;
        }
        if (!WriteInputs(s, *link_, error) || !RunExternalPrograms(s, 3, error) || !RunMacros(s, *link_, error) ||
            !RunExternalPrograms(s, 4, error))
            return false;
        std::string readError;
        ReadOutputs(s, *link_, readError);
        if (!RunExternalPrograms(s, 5, error)) return false;
        JudgeRestrictions(s);
        return true;
    }

    static inline TempDir* folder_ = nullptr;
    static inline LibreOfficeLink* link_ = nullptr;
    static inline test::TestWorkbooks books_;
    static inline std::string setupError_;
    TempDir dir;
    RunState s;
    std::vector<std::string> values_;
    test::RecordingUi ui_;
};

const char* const kMeta = "$(touch pwned); `id` | rm -rf / & \"q\" * ~ > x";
// In the DB file the text holds quotes, so it is quoted (its quotes doubled).
const char* const kMetaQuoted = "\"$(touch pwned); `id` | rm -rf / & \"\"q\"\" * ~ > x\"";

TEST_F(CalculationTest, OneWholeCalculationOnABasicWorkbook) {
    s.WorkbookPath = books_.ods;
    s.MacroList = "Calc1";
    input("a", "A1", "", "Round", "2");
    input("b", "B1", "", "Format", "#.##");
    input("c", "C1", "", "Format", "0.000E+00");
    input("d", "D1", "", "Replace", "Text", "1=Steel,2=Copper");
    input("e", "E1", "", "Other", "");
    input("meta", "F1", "", "", "");
    values_ = {"2.675", "0.5", "12345", "2.9", "7", kMeta};
    output("double_a", "Outputs", "A1", "", "5");   // 5.36: above its upper limit
    output("double_b", "Outputs", "B1", "1", "");   // 1: equal to its lower limit passes
    output("double_c", "Outputs", "C1");
    output("logical", "Outputs", "A2");
    output("hello", "Outputs", "C2");
    output("empty", "Outputs", "D2");
    output("macro", "Outputs", "C3");
    output("meta_back", "Inputs", "F1");
    for (int t = 0; t <= 6; ++t) program(t);

    std::string error;
    ASSERT_TRUE(RunExternalPrograms(s, 0, error)) << error;
    ASSERT_TRUE(calculate(error)) << error;
    EXPECT_EQ(s.InputValues[1], "2.68");
    EXPECT_EQ(s.InputValues[2], ".5");
    EXPECT_EQ(s.InputValues[3], "1.235E+04");
    EXPECT_EQ(s.InputValues[4], "2");  // the cell got "Copper"
    EXPECT_EQ(link_->readCell(MakeCellRef("Inputs", "D1")).value_or("?"), "Copper");
    EXPECT_FALSE(s.RunValid);

    DbWriter db(ui_);
    s.DbPath = dir.file("db.csv");
    s.WriteMode = "OverWrite";
    ASSERT_TRUE(db.open(s) && db.writeHeader(s) && db.writeRow(s)) << db.error();
    ASSERT_TRUE(RunExternalPrograms(s, 6, error)) << error;
    ASSERT_TRUE(db.close());
    EXPECT_EQ(ReadBytes(dir.file("db.csv")),
              test::Cp932Lines({"Count,a,b,c,d,e,meta,double_a,double_b,double_c,logical,hello,empty,macro,meta_back,"
                                "Validity(制限判定)",
                                "-,[Input],[Input],[Input],[Input],[Input],[Input],[Output],[Output],[Output],"
                                "[Output],[Output],[Output],[Output],[Output],[System]",
                                std::string("0,2.68,.5,1.235E+04,2,7,") + kMetaQuoted +
                                    ",5.36,1,24700,True,hello,,26.8," + kMetaQuoted + ",False"}));

    // Every timing ran once, in order, each seeing the values of its moment:
    // "a" is 2.675 before the input step and 2.68 after it; the cell text full
    // of shell characters reaches the program as one literal argument.
    // An output not yet read is "0", which takes the number form too.
    const std::string before = std::string("2.67500e+0|") + kMeta + "|0.00000e+0|";
    const std::string wrote = std::string("2.68000e+0|") + kMeta + "|0.00000e+0|";
    const std::string read = std::string("2.68000e+0|") + kMeta + "|hello|";
    EXPECT_EQ(ReadBytes(dir.file("calls.log")),
              "t0|||0.00000e+0|\n"  // before the initial values: empty texts stay empty
              "t1|" + before + "\nt2|" + before + "\nt3|" + wrote + "\nt4|" + wrote + "\nt5|" + read + "\nt6|" +
                  read + "\n");
    EXPECT_FALSE(FileExists(dir.file("pwned")));
    EXPECT_FALSE(FileExists("pwned"));
}

// Outputs not read are emptied and make the calculation invalid; a missing
// sheet or macro stops it, named.
TEST_F(CalculationTest, OutputsNotReadAreEmptiedAndAMissingSheetOrMacroIsNamed) {
    s.WorkbookPath = books_.ods;
    input("a", "A1", "", "", "");
    values_ = {"1"};
    output("first", "Outputs", "A1");
    output("div0", "Outputs", "E2");
    output("after", "Outputs", "C2");
    std::string error;
    ASSERT_TRUE(calculate(error)) << error;
    // The previous calculation's texts are not this one's results.
    s.OutputValues = {"", "stale", "stale", "stale"};
    std::string readError;
    EXPECT_FALSE(ReadOutputs(s, *link_, readError));
    EXPECT_EQ(s.OutputValues[1], "2");
    EXPECT_EQ(s.OutputValues[2], "");  // the error value
    EXPECT_EQ(s.OutputValues[3], "");  // the step ended before it
    EXPECT_FALSE(JudgeRestrictions(s));  // no limits, yet invalid
    EXPECT_EQ(s.UnreadableCalcs, 2);     // once in calculate(), once here
    EXPECT_NE(s.FirstUnreadable.find("E2"), std::string::npos) << s.FirstUnreadable;
    EXPECT_NE(s.FirstUnreadable.find("#DIV/0!"), std::string::npos) << s.FirstUnreadable;

    s.InputSheets[1] = "NoSuchSheet";
    EXPECT_FALSE(calculate(error));
    EXPECT_NE(error.find("NoSuchSheet"), std::string::npos) << error;
    s.InputSheets[1] = "Inputs";
    s.MacroList = "Calc1,NoSuchMacro";
    error.clear();
    EXPECT_FALSE(calculate(error));
    EXPECT_NE(error.find("NoSuchMacro"), std::string::npos) << error;
}

// A macro recorded on the active sheet works on the last input's sheet; after
// the read step the last output's sheet is active. What the link last set is
// not trusted after a macro that changed sheets itself.
TEST_F(CalculationTest, TheLastInputsSheetIsActiveForTheMacros) {
    s.WorkbookPath = books_.ods;
    s.MacroList = "MarkActive,GoInputs";
    input("a", "A1", "", "", "");
    AddInputVariable(s, "b", "B5", "Outputs", "", 0, "", "", "");
    values_ = {"1", "2"};
    output("o1", "Inputs", "A1");
    output("o2", "Outputs", "A1");
    std::string error;
    ASSERT_TRUE(calculate(error)) << error;
    EXPECT_EQ(link_->readCell(MakeCellRef("Outputs", "Z1")), "here");
    EXPECT_EQ(link_->readCell(MakeCellRef("Inputs", "Z1")), "");

    // Again: GoInputs left Inputs active behind the link's back.
    ASSERT_TRUE(link_->writeCells({{MakeCellRef("Outputs", "Z1"), ""}}));
    ASSERT_TRUE(WriteInputs(s, *link_, error) && RunMacros(s, *link_, error)) << error;
    EXPECT_EQ(link_->readCell(MakeCellRef("Outputs", "Z1")), "here");
    EXPECT_EQ(link_->readCell(MakeCellRef("Inputs", "Z1")), "");
    std::string readError;
    ASSERT_TRUE(ReadOutputs(s, *link_, readError)) << readError;
    EXPECT_EQ(link_->activeSheetName(), "Outputs");  // the last output's sheet
}

}  // namespace
}  // namespace korvane

// Macros that cannot run, and the check of a workbook written for Excel, on
// real LibreOffice instances with workbooks written as .fods text (Basic
// modules and VBA-support modules, "Option VBASupport 1").
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "LoTestSupport.h"
#include "TestSupport.h"
#include "platform/libreoffice/LibreOfficeLink.h"
#include "workbook/CellRef.h"
#include "workbook/WorkbookCheck.h"

namespace korvane {
namespace {

using test::FodsModule;
using test::TempDir;
using test::WriteFods;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const char* kGood =
    "Sub Good\n"
    "  ThisComponent.Sheets.getByName(\"Model\").getCellRangeByName(\"B1\").setValue(11)\n"
    "End Sub\n";

// One hidden instance for the suite, as a run has.
class MacroFailuresTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        link_ = new LibreOfficeLink;
        if (!link_->start(false)) setupError_ = link_->lastError();
    }
    static void TearDownTestSuite() {
        delete link_;
        link_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(setupError_.empty()) << setupError_; }
    void TearDown() override { link_->closeWorkbooks(); }

    LibreOfficeLink& link() { return *link_; }
    std::string cell(const std::string& address) {
        auto v = link().readCell(MakeCellRef("Model", address));
        return v ? *v : "<" + link().lastError() + ">";
    }

    TempDir folder;
    static LibreOfficeLink* link_;
    static std::string setupError_;
};
LibreOfficeLink* MacroFailuresTest::link_ = nullptr;
std::string MacroFailuresTest::setupError_;

TEST_F(MacroFailuresTest, ALibraryThatDoesNotCompileStopsEveryMacroNamingModuleLineAndCause) {
    struct Case {
        bool vba;
        std::string solver;  // the module that does not compile
        int line;
        std::string lineText, advice;
    };
    const std::vector<Case> cases{
        {false, "Sub Solve\n  Dim x\n  x = (1 +\nEnd Sub\n", 3, "x = (1 +", ""},
        {true, "Sub Solve\n  Dim c, a\n  If c Then: a = 1\nEnd Sub\n", 4, "If c Then: a = 1", "1 行の If"},
        {true, "Sub Solve\n  Dim output As Double\n  output = 2\nEnd Sub\n", 3, "Dim output As Double",
         "名前 output は LibreOffice Basic のキーワード"},
    };
    for (const Case& c : cases) {
        const std::string head = c.vba ? "Option VBASupport 1\n" : "";
        const std::string path = folder.file(c.vba ? "vba.fods" : "basic.fods");
        WriteFods(path, {{"Model", {{"1"}}}},
                  {{"Standard", "Module1", head + kGood}, {"Standard", "Solver", head + c.solver}});
        ASSERT_TRUE(link().open(path)) << link().lastError();
        // Not only the broken module's macros: LibreOffice runs nothing of
        // the library, and said nothing about it.
        for (const char* macro : {"Good", "Solve"}) {
            EXPECT_FALSE(link().run(MacroReference(path, macro))) << macro;
            const std::string& e = link().lastError();
            EXPECT_TRUE(Contains(e, std::string("マクロ「") + macro + "」")) << e;
            EXPECT_TRUE(Contains(e, "モジュール Solver を LibreOffice がコンパイルできない")) << e;
            EXPECT_TRUE(Contains(e, "Solver の " + std::to_string(c.line) + " 行目: " + c.lineText)) << e;
            if (!c.advice.empty()) EXPECT_TRUE(Contains(e, c.advice)) << e;
        }
        EXPECT_EQ(cell("B1"), "");
        EXPECT_FALSE(link().run(MacroReference(path, "Nothing")));
        EXPECT_TRUE(Contains(link().lastError(), "このブックのマクロ: ")) << link().lastError();
        EXPECT_TRUE(Contains(link().lastError(), "Module1.Good") && Contains(link().lastError(), "Solver.Solve"))
            << link().lastError();
        link().closeWorkbooks();
    }
}

TEST_F(MacroFailuresTest, ARuntimeErrorNamesItsLineAndLibreOfficesTextAndCallersStillSeeIt) {
    const std::string body =
        "Sub Boom\n"
        "  Dim a(1) As Integer\n"
        "  a(5) = 1\n"
        "End Sub\n"
        "Sub Printer\n"
        "  Dim k\n"
        "  k = 2\n"
        "  Debug.Print \"k=\" & k\n"
        "End Sub\n"
        "Sub Outer\n"
        "  On Error GoTo Handled\n"
        "  Boom\n"
        "  Exit Sub\n"
        "Handled:\n"
        "  ThisComponent.Sheets.getByName(\"Model\").getCellRangeByName(\"B2\").setValue(99)\n"
        "End Sub\n"
        "Sub Ender\n"
        "  ThisComponent.Sheets.getByName(\"Model\").getCellRangeByName(\"B3\").setValue(5)\n"
        "  End\n"
        "  ThisComponent.Sheets.getByName(\"Model\").getCellRangeByName(\"B3\").setValue(6)\n"
        "End Sub\n";
    for (bool vba : {false, true}) {
        const int offset = vba ? 1 : 0;
        const std::string path = folder.file(vba ? "vba-runtime.fods" : "basic-runtime.fods");
        WriteFods(path, {{"Model", {{"1", "0", "0"}}}},
                  {{"Standard", "Module1", (vba ? "Option VBASupport 1\n" : "") + body}});
        ASSERT_TRUE(link().open(path)) << link().lastError();
        for (int round = 0; round < 2; ++round) {  // the second time through the same runner
            EXPECT_FALSE(link().run(MacroReference(path, "Boom")));
            EXPECT_TRUE(Contains(link().lastError(), "マクロ「Boom」(Standard.Module1) の実行中にエラーが発生しました (Module1 の " +
                                                         std::to_string(3 + offset) + " 行目: a(5) = 1): Error 9: Index out of defined range."))
                << link().lastError();
        }
        EXPECT_FALSE(link().run(MacroReference(path, "Printer")));
        EXPECT_TRUE(Contains(link().lastError(), "(Module1 の " + std::to_string(8 + offset) +
                                                     " 行目: Debug.Print \"k=\" & k): Error 91: Object variable not set."))
            << link().lastError();
        EXPECT_TRUE(Contains(link().lastError(), "実行時エラー 91")) << link().lastError();
        // Boom's error still reaches the handler of the macro that calls it,
        // and a macro that ends itself with End has run.
        EXPECT_TRUE(link().run(MacroReference(path, "Outer"))) << link().lastError();
        EXPECT_EQ(cell("B2"), "99");
        EXPECT_TRUE(link().run(MacroReference(path, "Ender"))) << link().lastError();
        EXPECT_EQ(cell("B3"), "5");
        link().closeWorkbooks();
    }
}

TEST_F(MacroFailuresTest, TheCheckFindsEveryConstructAndUnknownFunctionAndNothingOnACleanWorkbook) {
    const std::string excel = folder.file("excel-model.fods");
    WriteFods(excel,
              {{"Model",
                {{"a-b", "=TEXTBEFORE([.A1];\"-\")"},
                 {"", "=SUM(SEQUENCE(3))"},
                 {"", "=[.B1]&\"x\""},
                 {"0", "=1/[.A4]"},
                 {"", "=[.A4]+1"}}}},  // fine
              {{"Standard", "Constructs",
                "Option VBASupport 1\n"
                "Function Solve(x As Double) As Double\n"
                "  Dim output As Double, c As Boolean\n"
                "  c = True\n"
                "  If c Then: output = 1\n"
                "  Debug.Print \"x = \" & x\n"
                "  Solve = -x ^ 2 + output\n"
                "End Function\n"},
               {"Standard", "Broken", "Option VBASupport 1\nSub B\n  x = (1 +\nEnd Sub\n"}});
    const std::string clean = folder.file("clean.fods");
    WriteFods(clean, {{"Model", {{"a-b", "=LEFT([.A1];SEARCH(\"-\";[.A1])-1)"}, {"2", "=[.A2]^2"}}}},
              {{"Standard", "Fine",
                "Option VBASupport 1\n"
                "Function Solve(x As Double) As Double\n"
                "  Dim result As Double, c As Boolean\n"
                "  If c Then result = 1 Else: result = 2\n"
                "  If c Then\n"
                "  ElseIf x > 0 Then: result = 3\n"
                "  End If\n"
                "  Solve = -(x ^ 2) + (-x) ^ 2 + result\n"
                "End Function\n"}});
    struct stat before {};
    ASSERT_EQ(stat(excel.c_str(), &before), 0);
    const std::string bytes = test::ReadBytes(excel);

    std::vector<std::string> lines;
    std::string error;
    LibreOfficeLink fresh;
    ASSERT_EQ(CheckWorkbookFile(fresh, excel, lines, error), kCheckFindings) << error;
    std::vector<std::string> wheres;
    for (const auto& l : lines) wheres.push_back(l.substr(0, l.find(": ")));
    // The cells grouped by cause: unknown functions, other errors, and last
    // the cell that only shows the error of another.
    ASSERT_GE(wheres.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(wheres.begin(), wheres.begin() + 4),
              (std::vector<std::string>{"Model!B1", "Model!B2", "Model!B4", "Model!B3"}))
        << lines[0];
    EXPECT_TRUE(Contains(lines[0], "関数 TEXTBEFORE は LibreOffice にありません")) << lines[0];
    EXPECT_TRUE(Contains(lines[1], "関数 SEQUENCE は LibreOffice にありません")) << lines[1];
    EXPECT_TRUE(Contains(lines[2], "#DIV/0!")) << lines[2];
    EXPECT_TRUE(Contains(lines[3], "エラーのセル Model!B1")) << lines[3];
    std::vector<std::string> modules(wheres.begin() + 4, wheres.end());
    std::sort(modules.begin(), modules.end());
    EXPECT_EQ(modules, (std::vector<std::string>{"Broken:3", "Constructs:3", "Constructs:3", "Constructs:5",
                                                 "Constructs:5", "Constructs:6", "Constructs:7", "Constructs:7"}));
    auto has = [&](const std::string& part) {
        return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return Contains(l, part); });
    };
    EXPECT_TRUE(has("Broken:3: モジュール Broken は LibreOffice でコンパイルできません (この行: x = (1 +)"));
    EXPECT_TRUE(has("Constructs:3: モジュール Constructs は LibreOffice でコンパイルできません"));
    EXPECT_TRUE(has("Constructs:5: If ... Then の直後の「:」"));
    EXPECT_TRUE(has("Constructs:3: 名前 output は LibreOffice Basic のキーワード"));
    EXPECT_TRUE(has("Constructs:6: Debug.Print は LibreOffice では実行時エラー 91"));
    EXPECT_TRUE(has("Constructs:7: -x ^ 2 は Excel (VBA) では -(x ^ 2)"));

    // Read-only, through a private instance: the file is as it was.
    struct stat after {};
    ASSERT_EQ(stat(excel.c_str(), &after), 0);
    EXPECT_EQ(test::ReadBytes(excel), bytes);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    LibreOfficeLink second;
    EXPECT_EQ(CheckWorkbookFile(second, clean, lines, error), kCheckClean) << error;
    EXPECT_TRUE(lines.empty()) << lines.front();
    LibreOfficeLink third;
    EXPECT_EQ(CheckWorkbookFile(third, folder.file("missing.fods"), lines, error), kCheckUnreadable);
    EXPECT_TRUE(Contains(error, "missing.fods")) << error;
}

TEST_F(MacroFailuresTest, AnExcelWorkbookWithVbaIsRunAndCheckedTheSameWay) {
    const std::string path = folder.file("solver.xlsm");
    std::string error;
    ASSERT_TRUE(test::MakeVbaWorkbook(link(), path, {"3", "=SEQUENCE(2)"},
                                      "Public Sub Solve()\n"
                                      "  Dim c As Boolean\n"
                                      "  c = True\n"
                                      "  If c Then: Worksheets(\"Model\").Range(\"C1\").Value = 1\n"
                                      "End Sub\n",
                                      error))
        << error;
    ASSERT_TRUE(link().open(path)) << link().lastError();
    EXPECT_FALSE(link().run(MacroReference(path, "Solve")));
    EXPECT_TRUE(Contains(link().lastError(), "マクロ「Solve」(VBAProject.Module1) を実行できません")) << link().lastError();
    // Line 4 as Excel's VBA editor counts it (LibreOffice put two lines in
    // front of the imported module).
    EXPECT_TRUE(Contains(link().lastError(), "Module1 の 4 行目: If c Then: Worksheets")) << link().lastError();
    std::vector<CheckFinding> findings;
    ASSERT_TRUE(CheckOpenWorkbook(link(), findings, error)) << error;
    ASSERT_EQ(findings.size(), 3u);
    EXPECT_EQ(findings[0].where, "Model!B1");
    EXPECT_TRUE(Contains(findings[0].text, "SEQUENCE")) << findings[0].text;
    EXPECT_TRUE(Contains(findings[1].text, "コンパイルできません")) << findings[1].text;
    EXPECT_EQ(findings[1].where, "Module1:4");
    EXPECT_EQ(findings[2].where, "Module1:4");
    EXPECT_TRUE(Contains(findings[2].text, "Then の直後")) << findings[2].text;
}

}  // namespace
}  // namespace korvane

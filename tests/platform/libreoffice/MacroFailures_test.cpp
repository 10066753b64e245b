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
#include "workbook/WorkbookFile.h"

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
            if (!c.advice.empty()) {
                EXPECT_TRUE(Contains(e, c.advice)) << e;
            }
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
    ASSERT_TRUE(CheckOpenWorkbook(link(), path, findings, error)) << error;
    ASSERT_EQ(findings.size(), 3u);
    EXPECT_EQ(findings[0].where, "Model!B1");
    EXPECT_TRUE(Contains(findings[0].text, "SEQUENCE")) << findings[0].text;
    EXPECT_TRUE(Contains(findings[1].text, "コンパイルできません")) << findings[1].text;
    EXPECT_EQ(findings[1].where, "Module1:4");
    EXPECT_EQ(findings[2].where, "Module1:4");
    EXPECT_TRUE(Contains(findings[2].text, "Then の直後")) << findings[2].text;
}

// The stored value of cell `address` in a sheet's XML set to `value` (with
// the cell type `type`, "" for a number); a cell not there is added to the
// end of row 1 with `formula`.
std::string WithStored(std::string xml, const std::string& address, const std::string& type,
                       const std::string& value, const std::string& formula = "") {
    const std::string typeAttr = type.empty() ? "" : " t=\"" + type + "\"";
    const auto start = xml.find("<c r=\"" + address + "\"");
    if (start == std::string::npos) {
        const auto rowEnd = xml.find("</row>");
        if (rowEnd == std::string::npos) return xml;
        xml.insert(rowEnd, "<c r=\"" + address + "\"" + typeAttr + "><f" + formula + "</f><v>" + value + "</v></c>");
        return xml;
    }
    const auto end = xml.find("</c>", start);
    const auto tagEnd = xml.find('>', start);
    std::string tag = xml.substr(start, tagEnd - start);
    if (const auto t = tag.find(" t=\""); t != std::string::npos) tag.erase(t, tag.find('"', t + 4) + 1 - t);
    std::string inner = xml.substr(tagEnd + 1, end - tagEnd - 1);
    const auto v = inner.find("<v>");
    if (v != std::string::npos) inner.erase(v, inner.find("</v>", v) + 4 - v);
    inner += "<v>" + value + "</v>";
    return xml.replace(start, end - start, tag + typeAttr + ">" + inner);
}

// The XML of the first sheet of the package at `path`, "" when unreadable.
std::string FirstSheetXml(const std::string& path) {
    std::vector<ZipEntry> entries;
    std::string error, sheet;
    if (ReadZipDirectory(path, entries, error))
        for (const auto& e : entries)
            if (e.name == "xl/worksheets/sheet1.xml") ReadZipEntry(path, e, sheet, error);
    return sheet;
}

TEST_F(MacroFailuresTest, ValuesExcelStoredAreComparedWithLibreOfficesAndDifferencesNamed) {
    // An Excel workbook as Excel saved it: LibreOffice writes the package
    // and its VBA project, the values "Excel" stored are put in after.
    const std::string path = folder.file("tax.xlsm");
    std::string error;
    ASSERT_TRUE(test::MakeVbaWorkbook(link(), path, {"2", "=RATIO(A1)", "=MISSING(A1)", "=RAND()", "=A1*3"},
                                      "Function Ratio(x)\n"
                                      "  Dim o As Object\n"
                                      "  Ratio = o.Count / 7 + x\n"
                                      "End Function\n"
                                      "Function Missing(x)\n"
                                      "  Missing = CVErr(xlErrNA)\n"
                                      "End Function\n",
                                      error))
        << error;
    std::string sheet = FirstSheetXml(path);
    ASSERT_FALSE(sheet.empty());
    sheet = WithStored(sheet, "B1", "", "0.19017");
    sheet = WithStored(sheet, "C1", "e", "#N/A");
    sheet = WithStored(sheet, "F1", "", "3", " t=\"array\" ref=\"F1\" ca=\"1\">IFERROR(SUM(_xlfn.SEQUENCE(A1)),\"\")");
    ASSERT_TRUE(test::ReplaceZipEntry(path, "xl/worksheets/sheet1.xml", sheet));
    const std::string bytes = test::ReadBytes(path);

    ASSERT_TRUE(link().open(path)) << link().lastError();
    std::vector<CheckFinding> findings;
    ASSERT_TRUE(CheckOpenWorkbook(link(), path, findings, error)) << error;
    std::vector<std::string> lines;
    for (const auto& f : findings) lines.push_back(f.line());
    std::string all;
    for (const auto& l : lines) all += l + "\n";
    auto at = [&](const std::string& part) {
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (Contains(lines[i], part)) return static_cast<int>(i);
        return -1;
    };
    // The VBA function stopped by a runtime error, the CVErr text, the
    // unknown function hidden by IFERROR: each a difference with its cause.
    const int ratio = at("Model!B1  Excel 0.19017  LibreOffice ");
    const int missing = at("Model!C1  Excel #N/A  LibreOffice \"Error 2042\"");
    const int hidden = at("Model!F1  Excel 3  LibreOffice \"\"");
    EXPECT_TRUE(ratio >= 1 && Contains(lines[ratio - 1], "マクロの関数 RATIO")) << all;
    EXPECT_TRUE(missing >= 1 && Contains(lines[missing - 1], "CVErr")) << all;
    EXPECT_TRUE(hidden >= 1 && Contains(lines[hidden - 1], "関数 SEQUENCE は LibreOffice にありません")) << all;
    EXPECT_TRUE(Contains(lines[hidden], "_xlfn.SEQUENCE") || Contains(lines[hidden], "SEQUENCE")) << all;
    // RAND() changes at each recalculation: listed apart, never a difference.
    const int rand = at("Model!D1  LibreOffice ");
    EXPECT_TRUE(rand >= 1 && findings[rand].note && Contains(lines[rand - 1], "再計算のたびに")) << all;
    EXPECT_EQ(at("Model!E1"), -1) << all;
    EXPECT_TRUE(findings[ratio].blocking && findings[missing].blocking && findings[hidden].blocking);
    // And in the order of the causes: differences, names, CVErr in the module.
    const int name = at("Model!F1: 関数 SEQUENCE");
    const int cverr = at("Module1:6: CVErr");
    EXPECT_TRUE(rand < name && name < cverr) << all;

    // At run time the CVErr text is an error value: unreadable.
    EXPECT_FALSE(link().readCell(MakeCellRef("Model", "C1")));
    EXPECT_TRUE(Contains(link().lastError(), "Error 2042")) << link().lastError();
    link().closeWorkbooks();
    EXPECT_EQ(test::ReadBytes(path), bytes);

    // Cells calling a function of a module that does not compile.
    const std::string broken = folder.file("broken.xlsm");
    ASSERT_TRUE(test::MakeVbaWorkbook(link(), broken, {"2", "=TWICE(A1)"},
                                      "Function Twice(x)\n  Twice = (x +\nEnd Function\n", error))
        << error;
    ASSERT_TRUE(test::ReplaceZipEntry(broken, "xl/worksheets/sheet1.xml", WithStored(FirstSheetXml(broken), "B1", "", "4")));
    ASSERT_TRUE(link().open(broken)) << link().lastError();
    ASSERT_TRUE(CheckOpenWorkbook(link(), broken, findings, error)) << error;
    all.clear();
    bool moduleBlocks = false;
    for (const auto& f : findings) {
        all += f.line() + "\n";
        if (Contains(f.text, "呼ぶセル (1 件) は計算されません: Model!B1")) moduleBlocks = f.blocking;
    }
    EXPECT_TRUE(moduleBlocks) << all;
    EXPECT_TRUE(Contains(all, "Model!B1  Excel 4  LibreOffice ")) << all;
    link().closeWorkbooks();

    // A clean workbook written as Excel writes one: nothing to say.
    const std::string clean = folder.file("clean.xlsx");
    test::WriteXlsx(clean, {{"Model", "<row r=\"1\"><c r=\"A1\"><v>2</v></c><c r=\"B1\"><f>A1*3</f><v>6</v></c>"
                                      "<c r=\"C1\" t=\"str\"><f>\"x\"&amp;A1</f><v>x2</v></c>"
                                      "<c r=\"D1\" t=\"b\"><f>A1&gt;1</f><v>1</v></c>"
                                      "<c r=\"E1\"><f>A1/3</f><v>0.66666666666666663</v></c></row>"}});
    ASSERT_TRUE(link().open(clean)) << link().lastError();
    ASSERT_TRUE(CheckOpenWorkbook(link(), clean, findings, error)) << error;
    EXPECT_TRUE(findings.empty()) << findings.front().line();
    link().closeWorkbooks();
}

}  // namespace
}  // namespace korvane

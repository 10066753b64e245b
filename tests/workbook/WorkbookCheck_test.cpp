// The check's findings from what a workbook link reports: one line each,
// grouped by cause. (The same on real workbooks: the LibreOffice tests.)
#include <gtest/gtest.h>

#include "workbook/WorkbookCheck.h"

using namespace korvane;

namespace {

FormulaErrorCell Cell(const std::string& sheet, const std::string& address, const std::string& formula,
                      const std::string& error, std::vector<std::string> unknown = {},
                      std::vector<std::string> precedents = {}) {
    FormulaErrorCell c;
    c.cell = MakeCellRef(sheet, address);
    c.formula = formula;
    c.error = error;
    c.unknownFunctions = std::move(unknown);
    c.errorPrecedents = std::move(precedents);
    return c;
}

std::vector<std::string> Wheres(const std::vector<CheckFinding>& findings) {
    std::vector<std::string> out;
    for (const auto& f : findings) out.push_back(f.where);
    return out;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(WorkbookCheck, ErrorCellsAreGroupedByCauseUnknownFunctionsFirst) {
    const std::vector<FormulaErrorCell> cells{
        Cell("Model", "B2", "=B1/0", "#DIV/0!"),
        Cell("Model", "B3", "=TEXTBEFORE(A1;\"-\")", "#NAME?", {"TEXTBEFORE"}),
        Cell("Model", "B4", "=B3&\"x\"", "#NAME?", {}, {"Model!B3"}),
        Cell("Model", "B5", "=SUM(SEQUENCE(3))", "#NAME?", {"SEQUENCE"}),
        Cell("計算", "C1", "=TEXTBEFORE(A2;\" \")", "#NAME?", {"TEXTBEFORE"}),
        Cell("計算", "C2", "=C2+1", "Err:522"),
    };
    const auto findings = FindingsOf(cells, {});
    EXPECT_EQ(Wheres(findings),
              (std::vector<std::string>{"Model!B3", "計算!C1", "Model!B5", "Model!B2", "計算!C2", "Model!B4"}));
    EXPECT_TRUE(Has(findings[0].text, "#NAME? 関数 TEXTBEFORE は LibreOffice にありません (=TEXTBEFORE(A1;\"-\"))"))
        << findings[0].text;
    EXPECT_TRUE(Has(findings[0].text, "LEFT と SEARCH")) << findings[0].text;
    EXPECT_TRUE(Has(findings[2].text, "SEQUENCE") && Has(findings[2].text, "ROW")) << findings[2].text;
    EXPECT_TRUE(Has(findings[3].text, "#DIV/0!") && Has(findings[3].text, "(式: =B1/0)")) << findings[3].text;
    EXPECT_TRUE(Has(findings[4].text, "循環参照")) << findings[4].text;
    EXPECT_TRUE(Has(findings[5].text, "エラーのセル Model!B3 を参照しています")) << findings[5].text;
    EXPECT_EQ(findings[0].line().rfind("Model!B3: #NAME? ", 0), 0u);
    EXPECT_TRUE(FindingsOf({}, {}).empty());
}

TEST(WorkbookCheck, ModulesThatDoNotCompileComeWithTheirLineThenTheConstructs) {
    MacroModule solver;
    solver.library = "VBAProject";
    solver.name = "Solver";
    solver.source = "Option VBASupport 1\nSub Solve\n  If c Then: a = 1\n  y = -x ^ 2\nEnd Sub\n";
    solver.compileTried = true;
    solver.compiles = false;
    solver.failingLine = 3;
    MacroModule helper;
    helper.library = "Tools";
    helper.name = "Helper";
    helper.source = "Sub H\n  Debug.Print 1\nEnd Sub\n";
    helper.compileTried = true;
    MacroModule unlocated = solver;
    unlocated.name = "Other";
    unlocated.source = "Sub O\nEnd Sub\n";
    unlocated.failingLine = 0;
    MacroModule untried = solver;  // a shown window: compiling was not tried
    untried.name = "Shown";
    untried.compileTried = false;
    untried.source = "Sub S\nEnd Sub\n";

    const auto findings = FindingsOf({}, {solver, helper, unlocated, untried});
    EXPECT_EQ(Wheres(findings),
              (std::vector<std::string>{"Solver:3", "Other", "Solver:3", "Solver:4", "Tools.Helper:2"}));
    EXPECT_TRUE(Has(findings[0].text, "Solver は LibreOffice でコンパイルできません (この行: If c Then: a = 1)"))
        << findings[0].text;
    EXPECT_TRUE(Has(findings[0].text, "ライブラリ VBAProject のマクロは 1 つも実行されません")) << findings[0].text;
    EXPECT_TRUE(Has(findings[1].text, "行は特定できませんでした")) << findings[1].text;
    EXPECT_TRUE(Has(findings[2].text, "1 行の If (If c Then a = 1)")) << findings[2].text;
    EXPECT_TRUE(Has(findings[3].text, "-(x ^ 2)") && Has(findings[3].text, "(-x) ^ 2")) << findings[3].text;
    EXPECT_TRUE(Has(findings[4].text, "実行時エラー 91")) << findings[4].text;
    EXPECT_EQ(ConstructAdviceAt(solver.source, 4), findings[3].text);
    EXPECT_EQ(ConstructAdviceAt(solver.source, 2), "");
}

TEST(WorkbookCheck, TheRunsWarningShowsTheFirstFindingsAndHowToSeeAll) {
    std::vector<CheckFinding> findings;
    for (int i = 1; i <= 5; ++i) findings.push_back({"Module1:" + std::to_string(i), "x"});
    const std::string warning = CheckWarning(findings, 3);
    EXPECT_TRUE(Has(warning, "(5 件)")) << warning;
    EXPECT_TRUE(Has(warning, "\nModule1:3: x\nほか 2 件。")) << warning;
    EXPECT_FALSE(Has(warning, "Module1:4")) << warning;
    EXPECT_TRUE(Has(warning, "korvane --check")) << warning;
    EXPECT_EQ(InsteadOfFunction("xlookup"), InsteadOfFunction("XLOOKUP"));
    EXPECT_TRUE(Has(InsteadOfFunction("NOSUCHTHING"), "LibreOffice にある関数"));
}

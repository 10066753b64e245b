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
    // Library, name, source, compiling tried, compiles, failing line.
    const MacroModule solver{"VBAProject", "Solver",
                             "Option VBASupport 1\nSub Solve\n  If c Then: a = 1\n  y = -x ^ 2\nEnd Sub\n", true, false, 3};
    const MacroModule helper{"Tools", "Helper", "Sub H\n  Debug.Print 1\nEnd Sub\n", true, true, 0};
    const MacroModule unlocated{"VBAProject", "Other", "Sub O\nEnd Sub\n", true, false, 0};
    // A shown window: compiling was not tried.
    const MacroModule untried{"VBAProject", "Shown", "Sub S\nEnd Sub\n", false, false, 3};

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

namespace {

FormulaValueCell Value(const std::string& address, const std::string& formula, double number,
                       std::vector<std::string> unknown = {}) {
    FormulaValueCell c;
    c.cell = MakeCellRef("Model", address);
    c.formula = formula;
    c.number = number;
    c.unknownFunctions = std::move(unknown);
    return c;
}

FormulaValueCell TextValue(const std::string& address, const std::string& formula, const std::string& text,
                           std::vector<std::string> unknown = {}) {
    FormulaValueCell c = Value(address, formula, 0, std::move(unknown));
    c.kind = FormulaValueCell::Kind::Text;
    c.text = text;
    return c;
}

StoredCell Stored(const std::string& address, const std::string& value,
                  StoredCell::Kind kind = StoredCell::Kind::Number) {
    StoredCell c;
    c.sheet = "Model";
    c.address = address;
    const CellRef r = MakeCellRef("Model", address);
    c.row = r.row;
    c.column = r.column;
    c.value = value;
    c.kind = kind;
    return c;
}

}  // namespace

TEST(WorkbookCheck, CellsWhoseValueDiffersFromExcelsAreGroupedByCauseAndBlockTheRun) {
    CheckInput in;
    in.stored.readable = true;
    in.modules = {{"VBAProject", "Module1",
                   "Function Ratio(x)\n  Ratio = x.Count\nEnd Function\n"
                   "Function Missing(x)\n  Missing = CVErr(xlErrNA)\nEnd Function\n",
                   true, true, 0},
                  {"VBAProject", "Broken", "Function Twice(x)\n  Twice = (x +\nEnd Function\n", true, false, 2}};
    in.values = {
        Value("A1", "=A9*2", 4),                                                      // same as stored
        Value("A2", "=A9/3", 0.1 + 1e-12),                                             // within 1e-9 relative
        TextValue("B1", "=IFERROR(SUM(_xlfn.SEQUENCE(3));\"\")", "", {"SEQUENCE"}),    // hidden unknown function
        Value("B2", "=RATIO(A1)", 0),                                                  // VBA runtime error
        TextValue("B3", "=MISSING(A1)", "Error 2042"),                                 // CVErr
        Value("B4", "=TWICE(A1)", 0),                                                  // module does not compile
        Value("B5", "=A1+1", 6),                                                       // plainly different
        Value("C1", "=RAND()", 0.25),                                                  // changes at each recalculation
    };
    in.again = in.values;
    in.again[7].number = 0.75;
    in.stored.cells = {Stored("A1", "4"), Stored("A2", "0.1"), Stored("B1", "368422.39999999997"),
                       Stored("B2", "0.19017"), Stored("B3", "#N/A", StoredCell::Kind::Error),
                       Stored("B4", "8"), Stored("B5", "5"), Stored("C1", "0.5")};
    const auto findings = CheckFindings(in);
    std::vector<std::string> lines;
    for (const auto& f : findings) lines.push_back(f.line());
    auto at = [&](const std::string& part) {
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (Has(lines[i], part)) return static_cast<int>(i);
        return -1;
    };
    // Differences first, in the order of their causes' first cells, each
    // under its heading; the cells that change apart; then what the
    // formulas and modules show.
    EXPECT_EQ(lines[1], "Model!B1  Excel 368422.4  LibreOffice \"\"  =IFERROR(SUM(_xlfn.SEQUENCE(3));\"\")");
    EXPECT_TRUE(Has(lines[0], "関数 SEQUENCE は LibreOffice にありません") && Has(lines[0], "(1 件):")) << lines[0];
    EXPECT_TRUE(Has(lines[2], "マクロの関数 RATIO の値が違います")) << lines[2];
    EXPECT_EQ(lines[3], "Model!B2  Excel 0.19017  LibreOffice 0  =RATIO(A1)");
    EXPECT_TRUE(Has(lines[4], "CVErr")) << lines[4];
    EXPECT_EQ(lines[5], "Model!B3  Excel #N/A  LibreOffice \"Error 2042\"  =MISSING(A1)");
    EXPECT_TRUE(Has(lines[6], "TWICE のモジュールが LibreOffice でコンパイルできず")) << lines[6];
    EXPECT_EQ(lines[9], "Model!B5  Excel 5  LibreOffice 6  =A1+1");
    EXPECT_TRUE(Has(lines[10], "再計算のたびに値の変わるセル")) << lines[10];
    EXPECT_EQ(lines[11], "Model!C1  LibreOffice 0.25 → 0.75  =RAND()");
    EXPECT_EQ(at("Model!A1 "), -1);
    EXPECT_EQ(at("Model!A2 "), -1);
    for (int i = 0; i <= 9; ++i) EXPECT_TRUE(findings[i].blocking) << lines[i];
    EXPECT_TRUE(findings[11].note && !findings[11].blocking);
    // Then the unknown function where no error shows, CVErr in the module,
    // and the module that does not compile with the cells calling it.
    const int names = at("Model!B1: 関数 SEQUENCE は LibreOffice にありません");
    const int cverr = at("Module1:5: CVErr");
    const int module = at("Broken:2: モジュール Broken は LibreOffice でコンパイルできません");
    EXPECT_TRUE(names > 11 && cverr > names && module > cverr) << names << " " << cverr << " " << module;
    EXPECT_TRUE(Has(lines[module], "呼ぶセル (1 件) は計算されません: Model!B4")) << lines[module];
    EXPECT_TRUE(findings[module].blocking);
    EXPECT_FALSE(findings[cverr].blocking);
    EXPECT_TRUE(AnyBlocking(findings));

    const std::string refusal = CheckRefusal(CheckDifferences(findings), false);
    EXPECT_TRUE(Has(refusal, "Model!B2  Excel 0.19017") && Has(refusal, "--accept-differences")) << refusal;
    EXPECT_FALSE(Has(refusal, "Model!C1")) << refusal;
    EXPECT_TRUE(Has(CheckRefusal(CheckDifferences(findings), true), "続行しますか"));

    // Only cells that change, and a module nobody calls: nothing blocks.
    CheckInput calm = in;
    calm.values = {in.values[0], in.values[7]};
    calm.again = {in.again[0], in.again[7]};
    const auto quiet = CheckFindings(calm);
    EXPECT_FALSE(AnyBlocking(quiet));
    EXPECT_EQ(CheckDifferences(quiet), "");
}

TEST(WorkbookCheck, AtMostFiftyCellsOfACauseAndAWorkbookWithoutStoredValuesSaysSo) {
    CheckInput in;
    in.stored.readable = true;
    for (int row = 1; row <= 60; ++row) {
        const std::string address = "A" + std::to_string(row);
        in.values.push_back(Value(address, "=B" + std::to_string(row), 1));
        in.stored.cells.push_back(Stored(address, "2"));
    }
    in.again = in.values;
    const auto findings = CheckFindings(in);
    ASSERT_EQ(findings.size(), 52u);
    EXPECT_TRUE(Has(findings[0].text, "(60 件):")) << findings[0].text;
    EXPECT_EQ(findings[50].where, "Model!A50");
    EXPECT_EQ(findings[51].line(), "  ほか 10 セル");
    EXPECT_EQ(CountedFindings(findings), 50u);

    CheckInput none;
    none.stored.readable = true;
    none.stored.withoutValue = 3;
    none.stored.application = "SheetWriter";
    none.values = {Value("A1", "=1+1", 2)};
    const auto said = CheckFindings(none);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_TRUE(said[0].note && Has(said[0].text, "式の値が保存されていません (保存したプログラム: SheetWriter)"))
        << said[0].text;
    EXPECT_EQ(CountedFindings(said), 0u);
    EXPECT_TRUE(IsBasicErrorText("Error 2042") && IsBasicErrorText("Error 2007"));
    EXPECT_FALSE(IsBasicErrorText("Error 42") || IsBasicErrorText("Error 20420") || IsBasicErrorText("error 2042"));
}

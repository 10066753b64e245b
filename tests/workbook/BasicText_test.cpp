// Reading Basic module text: lines, procedures, the constructs LibreOffice
// takes differently from VBA, and the trap that tells where a macro stopped.
// (What LibreOffice itself does with them: the LibreOffice tests.)
#include <gtest/gtest.h>

#include "workbook/BasicText.h"

using namespace korvane;

namespace {

std::vector<std::string> Texts(const BasicLine& line) {
    std::vector<std::string> out;
    for (const auto& t : line.tokens) out.push_back(t.text);
    return out;
}

std::string Kinds(const std::vector<BasicConstruct>& found) {
    std::string out;
    for (const auto& c : found) {
        const char* kind = c.kind == BasicConstruct::Kind::ColonAfterThen    ? "then:"
                           : c.kind == BasicConstruct::Kind::KeywordName     ? "name"
                           : c.kind == BasicConstruct::Kind::DebugObject     ? "debug"
                                                                              : "minus";
        out += std::to_string(c.line) + " " + kind + " " + c.text + "\n";
    }
    return out;
}

}  // namespace

TEST(BasicText, LogicalLinesJoinContinuationsAndDropCommentsAndStrings) {
    const std::string source =
        "Rem a comment line\r\n"
        "Sub Calc(a, _\r\n"
        "         b) ' the header goes on\r\n"
        "  s = \"It's \"\"quoted\"\": not a colon\" : t = 1 ' x = -y ^ 2\r\n"
        "  ' Debug.Print in a comment _\r\n"
        "    and its continuation\r\n"
        "  Open f For Output As #1\r\n"
        "End Sub";
    const auto lines = ScanBasic(source);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].first, 2);
    EXPECT_EQ(lines[0].last, 3);
    EXPECT_EQ(Texts(lines[0]), (std::vector<std::string>{"Sub", "Calc", "(", "a", ",", "b", ")"}));
    EXPECT_EQ(Texts(lines[1]),
              (std::vector<std::string>{"s", "=", "\"It's \"\"quoted\"\": not a colon\"", ":", "t", "=", "1"}));
    EXPECT_EQ(SplitStatements(lines[1]).size(), 2u);
    EXPECT_EQ(lines[2].first, 7);  // the commented lines give nothing
    EXPECT_EQ(lines[2].tokens[5].kind, BasicToken::Kind::Hash);

    const auto procedures = FindProcedures(lines);
    ASSERT_EQ(procedures.size(), 1u);
    EXPECT_EQ(procedures[0].name, "Calc");
    EXPECT_EQ(procedures[0].first, 2);
    EXPECT_EQ(procedures[0].headerLast, 3);
    EXPECT_EQ(procedures[0].end, 8);
    EXPECT_FALSE(HasVbaSupport(lines));
    EXPECT_TRUE(HasVbaSupport(ScanBasic("Option VBASupport 1\nSub A\nEnd Sub\n")));

    // A class module imported from an Excel file: Excel's editor shows
    // none of the three lines LibreOffice put in front.
    const std::string imported =
        "Rem Attribute VBA_ModuleType=VBAClassModule\nOption VBASupport 1\nOption ClassModule\nSub A\nEnd Sub\n";
    EXPECT_EQ(ImportedHeaderLines(imported), 3);
    EXPECT_EQ(ShownLine(imported, 4), 1);
    EXPECT_EQ(ShownLine(source, 4), 4);
}

TEST(BasicText, FindsEachConstructWhereVbaAndLibreOfficeDiffer) {
    const std::string source =
        "Option VBASupport 1\n"                          // 1
        "Option Explicit\n"                              // 2
        "Public Function Solve(x As Double) As Double\n" // 3
        "  Dim output As Double, c As Boolean\n"         // 4
        "  If c Then: output = 1\n"                      // 5
        "  output = -x ^ 2 + Exp(-x^2 / 2)\n"            // 6
        "  Debug.Print \"x = \" & x\n"                   // 7
        "  Solve = a * -2 ^ 2\n"                         // 8
        "End Function\n";
    EXPECT_EQ(Kinds(FindConstructs(source)),
              "4 name output\n"
              "5 then: Then:\n"
              "5 name output\n"
              "6 name output\n"
              "6 minus -x ^ 2\n"
              "6 minus -x ^ 2\n"
              "7 debug Debug.Print\n"
              "8 minus -2 ^ 2\n");

    // What looks alike and is fine in LibreOffice (measured on 7.4).
    const std::string fine =
        "Option Explicit\n"
        "Option Compare Text\n"
        "Private Declare Function f Lib \"x\" Alias \"y\" () As Long\n"
        "Sub Fine\n"
        "  Open p For Output As #1\n"
        "  Print #1, -(x ^ 2), (-x) ^ 2, a - x ^ 2, a-x^2\n"
        "  If a Then\n"
        "  ElseIf b Then: c = 1\n"
        "  Else: c = 2\n"
        "  End If\n"
        "  If a Then b = 1 Else: b = 2\n"
        "  y = ws.Output + ws.Range(\"A1\").Text\n"
        "  Workbooks.Open Filename:=p, ReadOnly:=True\n"
        "  s = \"Debug.Print -x ^ 2 \" ' Debug.Print -x ^ 2\n"
        "End Sub\n";
    EXPECT_EQ(Kinds(FindConstructs(fine)), "");
}

TEST(BasicText, TheTrapNotesTheLineAndMapsItBack) {
    const std::string source =
        "Option VBASupport 1\n"         // 1
        "Sub First\n"                   // 2
        "End Sub\n"                     // 3
        "Public Sub Calc(a, _\n"        // 4
        "                b)\n"          // 5
        "  x = 1\n"                     // 6
        "  y = 2\n"                     // 7
        "End Sub\n"                     // 8
        "Function Later()\n"            // 9
        "  Later = 3\n"                 // 10
        "End Function\n";               // 11
    const TrappedModule t = TrapProcedure(source, "calc", "Notes.Note", "Module1", true);
    const auto lines = PhysicalLines(t.text);
    ASSERT_EQ(lines.size(), 16u);
    EXPECT_EQ(lines[5], "On Error GoTo Korvane_Trap_Calc");
    EXPECT_EQ(lines[6], "  x = 1");
    EXPECT_EQ(lines[8], "Exit Sub");
    EXPECT_EQ(lines[9], "Korvane_Trap_Calc:");
    EXPECT_EQ(lines[10], "Notes.Note \"Module1\", Erl, Err.Number, Err.Description");
    EXPECT_EQ(lines[11], "Err.Raise Err.Number, Err.Source, Err.Description");
    EXPECT_EQ(lines[12], "End Sub");
    // Lines of the trapped text back to the module's own.
    for (auto [trapped, original] : std::vector<std::pair<int, int>>{{3, 3}, {6, 5}, {7, 6}, {8, 7}, {10, 8}, {13, 8}, {15, 10}})
        EXPECT_EQ(SourceLineOf(t, trapped), original) << trapped;

    // Plain Basic raises with Error; a Function leaves with Exit Function.
    const TrappedModule f = TrapProcedure(source, "Later", "Notes.Note", "Module1", false);
    EXPECT_NE(f.text.find("Exit Function\nKorvane_Trap_Later:\nNotes.Note \"Module1\", Erl, Err, Error$\nError Err\nEnd Function"),
              std::string::npos)
        << f.text;
    EXPECT_TRUE(TrapProcedure(source, "Missing", "Notes.Note", "Module1", false).text.empty());
    EXPECT_TRUE(TrapProcedure("Sub One: End Sub\n", "One", "Notes.Note", "Module1", false).text.empty());
}

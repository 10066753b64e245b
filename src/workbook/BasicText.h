#pragma once
// The text of a Basic or VBA module read as the LibreOffice Basic compiler
// reads it: logical lines (physical lines joined at " _" continuations) of
// tokens, without comments; the procedures in it; the constructs that Excel's
// VBA takes and LibreOffice 7.4 does not, or takes with another meaning; and
// the small rewrite that lets a run learn where a macro failed.
//
// Plain text work: nothing here talks to LibreOffice.

#include <string>
#include <vector>

namespace korvane {

struct BasicToken {
    enum class Kind {
        Word,      // a name or a keyword (type suffix included: s$)
        Number,    // 12, 1.5E3, &HFF, 2#
        String,    // "text" (the text keeps its quotes)
        Date,      // #1/2/2003#
        Operator,  // + - * / \ ^ & = < > <= >= <> . , ( ) ; ! and :=
        Colon,     // the statement separator
        Hash,      // the # of a file number (#1)
    };
    Kind kind = Kind::Word;
    std::string text;
    int line = 0;  // physical line, from 1
};

// Basic names and keywords compare without regard to ASCII case; other
// bytes (Japanese names among them) are left as they are.
std::string AsciiLower(std::string s);
std::string AsciiUpper(std::string s);

// Physical lines `first` to `last` (from 1) read as one line.
struct BasicLine {
    int first = 0, last = 0;
    std::vector<BasicToken> tokens;
};

// The module's logical lines. Comments (' and Rem) are dropped; lines that
// hold only a comment or nothing give no entry.
std::vector<BasicLine> ScanBasic(const std::string& source);

// The statements of a logical line: split at the statement colons. A label
// ("Again:") at the start of a line stays a statement of its own.
std::vector<std::vector<BasicToken>> SplitStatements(const BasicLine& line);

// Case-insensitive comparison of a word with an ASCII keyword.
bool IsWord(const BasicToken& token, const char* keyword);

struct BasicProcedure {
    std::string kind;  // "Sub", "Function" or "Property"
    std::string name;
    int first = 0;       // physical line of the header's first line
    int headerLast = 0;  // physical line where the header ends
    int end = 0;         // physical line of its End Sub / End Function ...
};

// The procedures of the module, in order. A procedure without its End line
// is left out.
std::vector<BasicProcedure> FindProcedures(const std::vector<BasicLine>& lines);

// True when the module runs in VBA support mode ("Option VBASupport 1").
bool HasVbaSupport(const std::vector<BasicLine>& lines);

// A construct of the module text that LibreOffice 7.4 refuses or computes
// differently from Excel.
struct BasicConstruct {
    enum class Kind {
        ColonAfterThen,     // If c Then: a = 1 (a syntax error in LibreOffice)
        KeywordName,        // a name that is a keyword of LibreOffice Basic (output)
        DebugObject,        // Debug.Print (runtime error 91 in LibreOffice)
        UnaryMinusPower,    // -x ^ 2: -(x^2) in VBA, (-x)^2 in LibreOffice
    };
    Kind kind;
    int line = 0;      // physical line, from 1
    std::string text;  // the name, or the expression as written (-x ^ 2)
};

// The constructs of the module text, in line order.
std::vector<BasicConstruct> FindConstructs(const std::string& source);

// The keywords of LibreOffice Basic that VBA lets a program use as a name
// (LibreOffice 7.4 cannot compile a module using one of them as a name).
const std::vector<std::string>& LibreOfficeOnlyKeywords();

// The module text with an error trap in procedure `procedure`: when a
// runtime error reaches that procedure, the trap calls
// `noteSub "<moduleName>", Erl, <error number>, <error text>` and raises the
// same error again, so that callers see it as before. One line is added right
// after the header and four right before the End line (see SourceLineOf).
// Empty text when the procedure is not a Sub or Function of this module with
// an End line of its own.
struct TrappedModule {
    std::string text;
    int headerLast = 0;  // the header's last line in the original text
    int end = 0;         // the End line in the original text
};
TrappedModule TrapProcedure(const std::string& source, const std::string& procedure, const std::string& noteSub,
                            const std::string& moduleName, bool vbaSupport);

// The line of the original module for a line of the trapped one (a line of
// the trap itself gives the header's or the End line).
int SourceLineOf(const TrappedModule& trapped, int trappedLine);

// The lines LibreOffice puts in front of a module it imports from an Excel
// file ("Rem Attribute VBA_ModuleType=...", "Option VBASupport 1", and
// "Option ClassModule" for a class): 0 for any other module.
int ImportedHeaderLines(const std::string& source);

// A line of the module as its author counts it: in a module from an Excel
// file, as Excel's VBA editor numbers it (without LibreOffice's header).
int ShownLine(const std::string& source, int line);

// Splits a text into its physical lines (LF, CR LF or CR), without the line
// ends.
std::vector<std::string> PhysicalLines(const std::string& text);

}  // namespace korvane

#include "workbook/BasicText.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

namespace korvane {

namespace {

bool IsAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0 || static_cast<unsigned char>(c) >= 0x80; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool IsNameChar(char c) { return IsAlpha(c) || IsDigit(c) || c == '_'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A physical line ends in a continuation when its last non-blank character
// is an underscore standing after a blank (or alone).
bool Continues(const std::string& line) {
    auto last = line.find_last_not_of(" \t");
    if (last == std::string::npos || line[last] != '_') return false;
    return last == 0 || IsBlank(line[last - 1]);
}

bool LooksLikeDate(const std::string& inner) {
    bool digit = false;
    for (char c : inner) {
        if (IsDigit(c)) {
            digit = true;
            continue;
        }
        if (c == '/' || c == '-' || c == ':' || c == '.' || c == ' ' || c == ',') continue;
        const char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (u == 'A' || u == 'P' || u == 'M') continue;
        return false;
    }
    return digit;
}

// Tokens of one physical line appended to `out`. Returns true when the line
// ended inside a comment (a comment continues over " _" too).
bool TokenizeLine(const std::string& s, int lineNo, std::vector<BasicToken>& out, bool& statementStart) {
    using K = BasicToken::Kind;
    std::size_t i = 0;
    const std::size_t n = s.size();
    auto push = [&](K kind, std::string text) {
        out.push_back(BasicToken{kind, std::move(text), lineNo});
        statementStart = kind == K::Colon;
    };
    while (i < n) {
        const char c = s[i];
        if (IsBlank(c) || c == '\r') {
            ++i;
            continue;
        }
        if (c == '\'') return true;
        if (c == '_' && (i + 1 == n || s.find_first_not_of(" \t\r", i + 1) == std::string::npos) &&
            (i == 0 || IsBlank(s[i - 1])))
            break;  // the continuation mark
        if (c == '"') {
            std::size_t j = i + 1;
            for (;;) {
                if (j >= n) break;
                if (s[j] == '"') {
                    if (j + 1 < n && s[j + 1] == '"') {
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                ++j;
            }
            push(K::String, s.substr(i, j - i));
            i = j;
            continue;
        }
        if (c == '#') {
            const auto close = s.find('#', i + 1);
            if (close != std::string::npos && LooksLikeDate(s.substr(i + 1, close - i - 1))) {
                push(K::Date, s.substr(i, close - i + 1));
                i = close + 1;
            } else {
                push(K::Hash, "#");
                ++i;
            }
            continue;
        }
        if (c == '&' && i + 1 < n && std::strchr("HhOoBb", s[i + 1]) != nullptr && i + 2 < n &&
            std::isxdigit(static_cast<unsigned char>(s[i + 2]))) {
            std::size_t j = i + 2;
            while (j < n && std::isxdigit(static_cast<unsigned char>(s[j]))) ++j;
            if (j < n && (s[j] == '&' || s[j] == '%')) ++j;
            push(K::Number, s.substr(i, j - i));
            i = j;
            continue;
        }
        if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(s[i + 1]))) {
            std::size_t j = i;
            while (j < n && IsDigit(s[j])) ++j;
            if (j < n && s[j] == '.') {
                ++j;
                while (j < n && IsDigit(s[j])) ++j;
            }
            if (j < n && std::strchr("eEdD", s[j]) != nullptr) {
                std::size_t k = j + 1;
                if (k < n && (s[k] == '+' || s[k] == '-')) ++k;
                if (k < n && IsDigit(s[k])) {
                    j = k;
                    while (j < n && IsDigit(s[j])) ++j;
                }
            }
            if (j < n && std::strchr("%&!#@", s[j]) != nullptr && (j + 1 >= n || !IsNameChar(s[j + 1]))) ++j;
            push(K::Number, s.substr(i, j - i));
            i = j;
            continue;
        }
        if (IsAlpha(c) || c == '_') {
            std::size_t j = i;
            while (j < n && IsNameChar(s[j])) ++j;
            if (j < n && std::strchr("$%&!#@", s[j]) != nullptr && (j + 1 >= n || !IsNameChar(s[j + 1]))) ++j;
            std::string word = s.substr(i, j - i);
            if (statementStart && AsciiLower(word) == "rem") return true;
            push(K::Word, word);
            i = j;
            continue;
        }
        if (c == '[') {
            const auto close = s.find(']', i);
            const std::size_t j = close == std::string::npos ? n : close + 1;
            push(K::Word, s.substr(i, j - i));
            i = j;
            continue;
        }
        if (c == ':') {
            if (i + 1 < n && s[i + 1] == '=') {
                push(K::Operator, ":=");
                i += 2;
            } else {
                push(K::Colon, ":");
                ++i;
            }
            continue;
        }
        if ((c == '<' || c == '>') && i + 1 < n && (s[i + 1] == '=' || (c == '<' && s[i + 1] == '>'))) {
            push(K::Operator, s.substr(i, 2));
            i += 2;
            continue;
        }
        if (std::strchr("+-*/\\^&=<>.,();!", c) != nullptr) {
            push(K::Operator, std::string(1, c));
            ++i;
            continue;
        }
        ++i;  // anything else (a stray character) is skipped
    }
    return false;
}

const std::set<std::string>& Modifiers() {
    static const std::set<std::string> words{"public", "private", "friend", "static", "global"};
    return words;
}

// Words after which a minus sign starts an operand instead of subtracting.
const std::set<std::string>& OperatorWords() {
    static const std::set<std::string> words{
        "if",    "elseif", "then", "else",  "case",  "to",    "step", "return", "and",   "or",
        "not",   "xor",    "eqv",  "imp",   "mod",   "is",    "like", "while",  "until", "print",
        "call",  "let",    "set",  "const", "redim", "error", "lset", "rset",   "each",  "in"};
    return words;
}

bool IsOperator(const BasicToken& t, const char* op) { return t.kind == BasicToken::Kind::Operator && t.text == op; }

// The name without its type suffix, in lower case.
std::string BareName(const std::string& word) {
    std::string name = word;
    if (!name.empty() && std::strchr("$%&!#@", name.back()) != nullptr) name.pop_back();
    return AsciiLower(name);
}

// The end of the operand that starts at `j`, or `j` when none starts there.
std::size_t OperandEnd(const std::vector<BasicToken>& t, std::size_t j) {
    using K = BasicToken::Kind;
    auto skipParens = [&](std::size_t k) {
        int depth = 0;
        for (; k < t.size(); ++k) {
            if (IsOperator(t[k], "(")) ++depth;
            if (IsOperator(t[k], ")") && --depth == 0) return k + 1;
        }
        return k;
    };
    if (j >= t.size()) return j;
    std::size_t k = j;
    if (t[k].kind == K::Number || t[k].kind == K::Date || t[k].kind == K::String) return k + 1;
    if (IsOperator(t[k], "(")) {
        k = skipParens(k);
    } else if (t[k].kind == K::Word && OperatorWords().count(AsciiLower(t[k].text)) == 0) {
        ++k;
    } else {
        return j;
    }
    while (k < t.size()) {
        if (IsOperator(t[k], "(")) {
            k = skipParens(k);
        } else if ((IsOperator(t[k], ".") || IsOperator(t[k], "!")) && k + 1 < t.size() && t[k + 1].kind == K::Word) {
            k += 2;
        } else {
            break;
        }
    }
    return k;
}

std::string JoinTokens(const std::vector<BasicToken>& t, std::size_t from, std::size_t to) {
    std::string out;
    for (std::size_t k = from; k < to && k < t.size(); ++k) out += t[k].text;
    return out;
}

}  // namespace

std::string AsciiLower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string AsciiUpper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::vector<std::string> PhysicalLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(current);
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            current += c;
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

int ImportedHeaderLines(const std::string& source) {
    const std::vector<std::string> lines = PhysicalLines(source);
    if (lines.empty() || lines[0].rfind("Rem Attribute VBA_ModuleType=", 0) != 0) return 0;
    int n = 1;
    while (n < static_cast<int>(lines.size()) &&
           (lines[static_cast<std::size_t>(n)] == "Option VBASupport 1" ||
            lines[static_cast<std::size_t>(n)] == "Option ClassModule"))
        ++n;
    return n;
}

int ShownLine(const std::string& source, int line) {
    const int header = ImportedHeaderLines(source);
    return line > header ? line - header : line;
}

bool IsWord(const BasicToken& token, const char* keyword) {
    return token.kind == BasicToken::Kind::Word && AsciiLower(token.text) == AsciiLower(keyword);
}

std::vector<BasicLine> ScanBasic(const std::string& source) {
    std::vector<BasicLine> lines;
    const std::vector<std::string> physical = PhysicalLines(source);
    BasicLine current;
    bool open = false;
    bool inComment = false;
    bool statementStart = true;
    for (std::size_t i = 0; i < physical.size(); ++i) {
        const int lineNo = static_cast<int>(i + 1);
        const std::string& text = physical[i];
        if (!open) {
            current = BasicLine{};
            current.first = lineNo;
            open = true;
            statementStart = true;
        }
        current.last = lineNo;
        if (!inComment) inComment = TokenizeLine(text, lineNo, current.tokens, statementStart);
        if (Continues(text)) continue;
        inComment = false;
        open = false;
        if (!current.tokens.empty()) lines.push_back(std::move(current));
    }
    if (open && !current.tokens.empty()) lines.push_back(std::move(current));
    return lines;
}

std::vector<std::vector<BasicToken>> SplitStatements(const BasicLine& line) {
    std::vector<std::vector<BasicToken>> statements(1);
    for (const BasicToken& t : line.tokens) {
        if (t.kind == BasicToken::Kind::Colon) {
            if (!statements.back().empty()) statements.emplace_back();
            continue;
        }
        statements.back().push_back(t);
    }
    if (statements.back().empty()) statements.pop_back();
    return statements;
}

std::vector<BasicProcedure> FindProcedures(const std::vector<BasicLine>& lines) {
    std::vector<BasicProcedure> procedures;
    BasicProcedure open;
    bool inside = false;
    for (const BasicLine& line : lines) {
        for (const auto& st : SplitStatements(line)) {
            std::size_t k = 0;
            while (k < st.size() && st[k].kind == BasicToken::Kind::Word && Modifiers().count(AsciiLower(st[k].text))) ++k;
            if (k >= st.size()) continue;
            if (!inside && (IsWord(st[k], "Sub") || IsWord(st[k], "Function") || IsWord(st[k], "Property"))) {
                std::size_t nameAt = k + 1;
                if (IsWord(st[k], "Property") && nameAt < st.size() &&
                    (IsWord(st[nameAt], "Get") || IsWord(st[nameAt], "Let") || IsWord(st[nameAt], "Set")))
                    ++nameAt;
                if (nameAt >= st.size() || st[nameAt].kind != BasicToken::Kind::Word) continue;
                open = BasicProcedure{};
                open.kind = IsWord(st[k], "Sub") ? "Sub" : IsWord(st[k], "Function") ? "Function" : "Property";
                open.name = st[nameAt].text;
                open.first = line.first;
                open.headerLast = line.last;
                inside = true;
            } else if (inside && k == 0 && IsWord(st[0], "End") && st.size() >= 2 &&
                       (IsWord(st[1], "Sub") || IsWord(st[1], "Function") || IsWord(st[1], "Property"))) {
                open.end = st[0].line;
                procedures.push_back(open);
                inside = false;
            }
        }
    }
    return procedures;
}

bool HasVbaSupport(const std::vector<BasicLine>& lines) {
    for (const BasicLine& line : lines)
        for (const auto& st : SplitStatements(line))
            if (st.size() >= 3 && IsWord(st[0], "Option") && IsWord(st[1], "VBASupport") && st[2].text != "0")
                return true;
    return false;
}

const std::vector<std::string>& LibreOfficeOnlyKeywords() {
    // Measured on LibreOffice 7.4: each of these, used as a variable name in
    // a module, stops the module from compiling. VBA takes them as names.
    static const std::vector<std::string> words{
        "access", "alias", "base", "binary", "cdecl", "classmodule", "compare", "compatible",
        "explicit", "lib", "local", "output", "random", "read", "vbasupport"};
    return words;
}

std::vector<BasicConstruct> FindConstructs(const std::string& source) {
    using K = BasicToken::Kind;
    std::vector<BasicConstruct> found;
    const std::set<std::string> keywords(LibreOfficeOnlyKeywords().begin(), LibreOfficeOnlyKeywords().end());
    // Statements in which those words are keywords of the statement itself.
    static const std::set<std::string> keywordStatements{"open", "option", "declare", "line", "input", "write", "lock",
                                                         "unlock", "print", "close", "get", "put", "seek", "width"};
    for (const BasicLine& line : ScanBasic(source)) {
        // If ... Then: a colon right after Then.
        bool statementIsIf = false;
        bool atStart = true;
        for (std::size_t i = 0; i < line.tokens.size(); ++i) {
            const BasicToken& t = line.tokens[i];
            if (atStart) statementIsIf = IsWord(t, "If");
            atStart = t.kind == K::Colon;
            if (statementIsIf && IsWord(t, "Then") && i + 1 < line.tokens.size() && line.tokens[i + 1].kind == K::Colon)
                found.push_back({BasicConstruct::Kind::ColonAfterThen, t.line, "Then:"});
        }
        for (const auto& st : SplitStatements(line)) {
            std::size_t first = 0;
            while (first < st.size() && st[first].kind == K::Word && Modifiers().count(AsciiLower(st[first].text))) ++first;
            const bool keywordStatement = first < st.size() && st[first].kind == K::Word &&
                                          keywordStatements.count(AsciiLower(st[first].text)) != 0;
            std::set<std::string> namedHere;
            for (std::size_t i = 0; i < st.size(); ++i) {
                const BasicToken& t = st[i];
                const bool afterDot = i > 0 && (IsOperator(st[i - 1], ".") || IsOperator(st[i - 1], "!"));
                if (t.kind == K::Word && !afterDot) {
                    const std::string name = BareName(t.text);
                    const bool namedArgument = i + 1 < st.size() && IsOperator(st[i + 1], ":=");
                    if (!keywordStatement && !namedArgument && keywords.count(name) && namedHere.insert(name).second)
                        found.push_back({BasicConstruct::Kind::KeywordName, t.line, t.text});
                    if (IsWord(t, "Debug") && i + 2 < st.size() && IsOperator(st[i + 1], ".") &&
                        st[i + 2].kind == K::Word)
                        found.push_back({BasicConstruct::Kind::DebugObject, t.line, t.text + "." + st[i + 2].text});
                }
                if (IsOperator(t, "-")) {
                    bool unary = i == 0;
                    if (!unary) {
                        const BasicToken& p = st[i - 1];
                        unary = (p.kind == K::Operator && p.text != ")") || p.kind == K::Hash ||
                                (p.kind == K::Word && OperatorWords().count(AsciiLower(p.text)) != 0);
                    }
                    const std::size_t end = unary ? OperandEnd(st, i + 1) : i + 1;
                    if (unary && end > i + 1 && end < st.size() && IsOperator(st[end], "^")) {
                        const std::size_t exponentEnd = std::max(OperandEnd(st, end + 1), end + 1);
                        found.push_back({BasicConstruct::Kind::UnaryMinusPower, t.line,
                                         "-" + JoinTokens(st, i + 1, end) + " ^ " + JoinTokens(st, end + 1, exponentEnd)});
                    }
                }
            }
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const BasicConstruct& a, const BasicConstruct& b) { return a.line < b.line; });
    return found;
}

TrappedModule TrapProcedure(const std::string& source, const std::string& procedure, const std::string& noteSub,
                            const std::string& moduleName, bool vbaSupport) {
    TrappedModule trapped;
    const std::vector<BasicLine> lines = ScanBasic(source);
    for (const BasicProcedure& p : FindProcedures(lines)) {
        if (AsciiLower(p.name) != AsciiLower(procedure) || p.kind == "Property" || p.end <= p.headerLast) continue;
        std::vector<std::string> text = PhysicalLines(source);
        if (p.end > static_cast<int>(text.size())) return {};
        const std::string label = "Korvane_Trap_" + p.name;
        text.insert(text.begin() + (p.end - 1),
                    {"Exit " + p.kind, label + ":",
                     noteSub + " \"" + moduleName + "\", Erl, " +
                         (vbaSupport ? "Err.Number, Err.Description" : "Err, Error$"),
                     vbaSupport ? "Err.Raise Err.Number, Err.Source, Err.Description" : "Error Err"});
        text.insert(text.begin() + p.headerLast, "On Error GoTo " + label);
        for (const std::string& l : text) trapped.text += l + "\n";
        trapped.headerLast = p.headerLast;
        trapped.end = p.end;
        return trapped;
    }
    return {};
}

int SourceLineOf(const TrappedModule& trapped, int trappedLine) {
    const int h = trapped.headerLast, e = trapped.end;
    if (trappedLine <= h) return trappedLine;
    if (trappedLine == h + 1) return h;
    if (trappedLine <= e) return trappedLine - 1;
    if (trappedLine <= e + 4) return e;
    return trappedLine - 5;
}

}  // namespace korvane

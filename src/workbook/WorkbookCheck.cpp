// The check of a workbook against what LibreOffice computes differently from
// Excel: error cells grouped by cause, modules that do not compile and the
// constructs of their text, and the command and run messages built on the
// findings. The comparison with the values Excel stored is in
// StoredValueCheck.cpp.
#include "workbook/WorkbookCheck.h"

#include <algorithm>
#include <map>
#include <set>

#include "workbook/BasicText.h"
#include "workbook/CheckParts.h"

namespace korvane {

namespace check {

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
    return out;
}

std::string CellLabel(const CellRef& c) {
    return c.sheet + "!" + (c.address.empty() ? CellAddress(c.row, c.column) : c.address);
}

// The functions each module defines (upper case), by module label.
std::map<std::string, std::set<std::string>> ModuleFunctions(const std::vector<MacroModule>& modules) {
    std::map<std::string, std::set<std::string>> out;
    for (const MacroModule& m : modules) {
        auto& names = out[ModuleLabel(m.library, m.name)];
        for (const BasicProcedure& p : FindProcedures(ScanBasic(m.source)))
            if (p.kind == "Function") names.insert(AsciiUpper(p.name));
    }
    return out;
}

std::string Key(const CellRef& c) { return c.sheet + "\n" + std::to_string(c.row) + "\n" + std::to_string(c.column); }

}  // namespace check

using check::CellLabel;
using check::Join;
using check::Key;
using check::ModuleFunctions;
using check::StoredValueFindings;

namespace {

// A long formula shortened for a message (UTF-8 safe: cut at a lead byte).
std::string Shortened(const std::string& text, std::size_t limit = 60) {
    if (text.size() <= limit) return text;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut) + "…";
}

std::string Trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// What an error value means and what to do about it.
std::string ErrorValueAdvice(const std::string& error) {
    if (error == "#DIV/0!")
        return "0 で割っています。割る数が 0 にならないよう入力を見直すか、IF で 0 の場合を分けてください。";
    if (error == "#VALUE!")
        return "値の種類が合いません (数値の位置に文字があるなど)。参照先の値と関数の引数を確かめてください。";
    if (error == "#REF!")
        return "無効なセル参照です (消えた行や列、ほかのブックへの参照など)。参照を直してください。";
    if (error == "#N/A")
        return "値が見つかりません (検索関数で見つからないなど)。検索値と範囲を確かめるか、IFERROR で扱いを決めてください。";
    if (error == "#NUM!") return "計算できる数値の範囲を外れています。引数の値を確かめてください。";
    if (error == "#NAME?")
        return "LibreOffice の知らない名前を使っています (定義されていない名前、ほかのブックの名前など)。名前の定義を確かめてください。";
    if (error == "Err:522")
        return "循環参照です。LibreOffice では反復計算が有効でないと計算されません。循環しない式に書き直してください。";
    if (error == "Err:523")
        return "反復計算が収束しません。反復の回数と最小変化量の設定か、式を見直してください。";
    if (error == "Err:504")
        return "関数の引数の並びが LibreOffice の関数と合いません (引数の数や種類が Excel と違う関数)。引数を確かめてください。";
    return "LibreOffice のエラー値です。LibreOffice でこの式が何を計算できないのか確かめ、式を書き直してください。";
}

// The text of a module's line (trimmed), or empty.
std::string LineText(const MacroModule& m, int line) {
    const std::vector<std::string> lines = PhysicalLines(m.source);
    if (line < 1 || line > static_cast<int>(lines.size())) return {};
    return Trimmed(lines[static_cast<std::size_t>(line - 1)]);
}

std::string ConstructText(const BasicConstruct& c) {
    switch (c.kind) {
        case BasicConstruct::Kind::ColonAfterThen:
            return "If ... Then の直後の「:」は LibreOffice では文法エラーで、モジュール全体がコンパイルできません。"
                   "「:」を消して 1 行の If (If c Then a = 1) にするか、Then の後で改行して End If で閉じてください。";
        case BasicConstruct::Kind::KeywordName:
            return "名前 " + c.text +
                   " は LibreOffice Basic のキーワードで、このモジュールはコンパイルできません。" + c.text +
                   "Value のような別の名前に変えてください。";
        case BasicConstruct::Kind::DebugObject:
            return c.text +
                   " は LibreOffice では実行時エラー 91 (Object variable not set) になり、マクロがそこで止まります"
                   " (「;」で区切って書くとモジュールがコンパイルもできません)。"
                   "その行を消すか、先頭に ' を付けてコメントにしてください。";
        case BasicConstruct::Kind::UnaryMinusPower: {
            std::string inner = c.text.substr(1);
            return c.text + " は Excel (VBA) では -(" + inner + ")、LibreOffice Basic では (-" +
                   inner.substr(0, inner.find(" ^ ")) + ")" + inner.substr(inner.find(" ^ ")) +
                   " と計算され、結果が黙って変わります。-(" + inner + ") と括弧を付けて書いてください。";
        }
    }
    return {};
}

bool NameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool NameChar(char c) { return NameStart(c) || (c >= '0' && c <= '9') || c == '.'; }

// CVErr in a module: LibreOffice gives the cell a text, not an error value.
std::vector<CheckFinding> ErrorValueFindings(const std::vector<MacroModule>& modules) {
    std::vector<CheckFinding> out;
    for (const MacroModule& m : modules) {
        const std::string label = ModuleLabel(m.library, m.name);
        for (const BasicLine& line : ScanBasic(m.source))
            for (std::size_t i = 0; i + 1 < line.tokens.size(); ++i) {
                const BasicToken& t = line.tokens[i];
                if (t.kind != BasicToken::Kind::Word || !IsWord(t, "CVErr") || line.tokens[i + 1].text != "(") continue;
                out.push_back({label + ":" + std::to_string(ShownLine(m.source, t.line)),
                               "CVErr で返すエラー値は、LibreOffice ではセルにエラー値でなく文字 \"Error 2042\" などとして入り、"
                               "計算結果として読まれてしまいます。エラーを返す代わりに、空の値か数値で結果がないことを"
                               "表すように書き直してください。"});
                break;
            }
    }
    return out;
}

}  // namespace

std::vector<std::string> CalledFunctions(const std::string& formula) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < formula.size();) {
        const char c = formula[i];
        if (c == '"') {  // a text constant ("" inside is a quote)
            for (++i; i < formula.size(); ++i)
                if (formula[i] == '"') {
                    if (i + 1 < formula.size() && formula[i + 1] == '"') {
                        ++i;
                        continue;
                    }
                    break;
                }
            ++i;
            continue;
        }
        if (c == '\'') {  // a quoted sheet name
            const auto close = formula.find('\'', i + 1);
            i = close == std::string::npos ? formula.size() : close + 1;
            continue;
        }
        if (NameStart(c) && (i == 0 || (!NameChar(formula[i - 1]) && formula[i - 1] != '$'))) {
            std::size_t j = i;
            while (j < formula.size() && NameChar(formula[j])) ++j;
            std::size_t k = j;
            while (k < formula.size() && formula[k] == ' ') ++k;
            if (k < formula.size() && formula[k] == '(') {
                std::string name = AsciiUpper(formula.substr(i, j - i));
                for (const char* prefix : {"_XLFN._XLWS.", "_XLFN.", "_XLWS."})
                    if (name.rfind(prefix, 0) == 0) name.erase(0, std::string(prefix).size());
                if (!name.empty() && seen.insert(name).second) names.push_back(name);
            }
            i = j;
            continue;
        }
        ++i;
    }
    return names;
}


bool IsBasicErrorText(const std::string& text) {
    if (text.size() != 10 || text.compare(0, 6, "Error ") != 0) return false;
    for (std::size_t i = 6; i < 10; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return text.compare(6, 2, "20") == 0;
}

std::size_t CountedFindings(const std::vector<CheckFinding>& findings) {
    std::size_t n = 0;
    for (const auto& f : findings)
        if (!f.note && !f.where.empty()) ++n;
    return n;
}

bool AnyBlocking(const std::vector<CheckFinding>& findings) {
    for (const auto& f : findings)
        if (f.blocking) return true;
    return false;
}

std::string ConstructAdviceAt(const std::string& source, int line) {
    for (const BasicConstruct& c : FindConstructs(source))
        if (c.line == line) return ConstructText(c);
    return {};
}

std::string ModuleLabel(const std::string& library, const std::string& module) {
    if (library.empty() || library == "Standard" || library == "VBAProject") return module;
    return library + "." + module;
}

std::string InsteadOfFunction(const std::string& function) {
    static const std::map<std::string, std::string> instead{
        {"TEXTBEFORE", "LEFT と SEARCH で書いてください (例: =LEFT(A1;SEARCH(\"-\";A1)-1))。"},
        {"TEXTAFTER", "MID と SEARCH で書いてください (例: =MID(A1;SEARCH(\"-\";A1)+1;LEN(A1)))。"},
        {"TEXTSPLIT", "MID と SEARCH で区切りごとに 1 つずつ取り出す式を並べてください。"},
        {"SEQUENCE", "ROW を使った式か、数値を並べたセルで書いてください (例: 1 から並べるなら =ROW()-ROW($A$1)+1)。"},
        {"XLOOKUP", "INDEX と MATCH で書いてください (例: =INDEX(C1:C10;MATCH(x;A1:A10;0)))。"},
        {"XMATCH", "MATCH で書いてください (例: =MATCH(x;A1:A10;0))。"},
        {"FILTER", "補助列で条件に合う行に番号を付け、INDEX と MATCH (または SMALL) で取り出す式にしてください。"},
        {"SORT", "SMALL (LARGE) と INDEX/MATCH で順に取り出す式にしてください。"},
        {"SORTBY", "SMALL (LARGE) と INDEX/MATCH で順に取り出す式にしてください。"},
        {"UNIQUE", "COUNTIF の補助列で初めて現れた値に印を付け、INDEX と MATCH で取り出す式にしてください。"},
        {"LET", "LET を使わず、途中の値を別のセルに置いてそのセルを参照してください。"},
        {"LAMBDA", "同じ計算を別のセルの式で書くか、Basic の関数マクロにしてください。"},
        {"RANDARRAY", "RAND() を必要なセルの数だけ並べてください。"},
        {"VSTACK", "元の範囲を参照するセルを縦に並べてください。"},
        {"HSTACK", "元の範囲を参照するセルを横に並べてください。"},
        {"TAKE", "INDEX か OFFSET で必要な部分を参照してください。"},
        {"DROP", "INDEX か OFFSET で必要な部分を参照してください。"},
        {"CHOOSECOLS", "INDEX で列を選んでください。"},
        {"CHOOSEROWS", "INDEX で行を選んでください。"},
        {"TOCOL", "INDEX と ROW/COLUMN で 1 列に並べる式にしてください。"},
        {"TOROW", "INDEX と ROW/COLUMN で 1 行に並べる式にしてください。"},
        {"WRAPROWS", "INDEX と ROW/COLUMN で並べ替える式にしてください。"},
        {"WRAPCOLS", "INDEX と ROW/COLUMN で並べ替える式にしてください。"},
        {"EXPAND", "必要な大きさの範囲を直接参照してください。"},
        {"ARRAYTOTEXT", "TEXT と & でつなぐ式にしてください。"},
        {"VALUETOTEXT", "TEXT か & \"\" で文字にしてください。"},
    };
    auto it = instead.find(AsciiUpper(function));
    if (it != instead.end()) return it->second;
    return "LibreOffice にある関数で同じ値を求める式に書き換えてください。";
}

std::vector<CheckFinding> CheckFindings(const CheckInput& input) {
    // A function of the workbook's own modules is no function LibreOffice
    // lacks, though the spreadsheet's function list does not know it.
    CheckInput in = input;
    std::set<std::string> own;
    for (const auto& [label, names] : ModuleFunctions(in.modules)) own.insert(names.begin(), names.end());
    auto drop = [&](std::vector<std::string>& names) {
        std::erase_if(names, [&](const std::string& n) { return own.count(AsciiUpper(n)) > 0; });
    };
    for (auto& c : in.errors) drop(c.unknownFunctions);
    for (auto& c : in.values) drop(c.unknownFunctions);
    for (auto& c : in.again) drop(c.unknownFunctions);
    const std::vector<FormulaErrorCell>& cells = in.errors;
    const std::vector<MacroModule>& modules = in.modules;
    std::set<std::string> differing;
    std::vector<CheckFinding> findings = StoredValueFindings(in, differing);

    // Formula cells, grouped by cause: functions LibreOffice does not know
    // first (also where no error shows), then the other error values, and
    // last the cells that only show the error of a cell they refer to.
    struct Entry {
        int rank;
        std::size_t group;  // order of the cause's first appearance
        std::size_t order;
        CheckFinding finding;
    };
    std::vector<Entry> entries;
    std::map<std::string, std::size_t> groups;
    std::set<std::string> errorCells;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const FormulaErrorCell& c = cells[i];
        errorCells.insert(Key(c.cell));
        const std::string where = CellLabel(c.cell);
        const std::string formula = c.formula.empty() ? std::string() : " (" + Shortened(c.formula) + ")";
        int rank;
        std::string key, text;
        if (!c.unknownFunctions.empty()) {
            std::vector<std::string> names;
            for (const auto& f : c.unknownFunctions) names.push_back(AsciiUpper(f));
            rank = 0;
            key = Join(names, ",");
            text = c.error + " 関数 " + Join(names, "、") + " は LibreOffice にありません" + formula + "。";
            for (const auto& f : names) text += (names.size() > 1 ? f + ": " : "") + InsteadOfFunction(f);
        } else if (differing.count(Key(c.cell))) {
            continue;  // listed with the cells whose value differs
        } else if (!c.errorPrecedents.empty()) {
            rank = 2;
            key = "";
            text = c.error + " エラーのセル " + Join(c.errorPrecedents, "、") + " を参照しています" + formula +
                   "。参照先のセルを直せばこのセルも直ります。";
        } else {
            rank = 1;
            key = c.error;
            text = c.error + " " + ErrorValueAdvice(c.error) +
                   (c.formula.empty() ? "" : " (式: " + Shortened(c.formula) + ")");
        }
        const std::string groupKey = std::to_string(rank) + key;
        auto [it, added] = groups.emplace(groupKey, groups.size());
        entries.push_back(Entry{rank, it->second, i, CheckFinding{where, text}});
    }
    for (std::size_t i = 0; i < in.values.size(); ++i) {
        const FormulaValueCell& c = in.values[i];
        if (c.unknownFunctions.empty() || errorCells.count(Key(c.cell))) continue;
        std::vector<std::string> names;
        for (const auto& f : c.unknownFunctions) names.push_back(AsciiUpper(f));
        std::string text = "関数 " + Join(names, "、") + " は LibreOffice にありません (" + Shortened(c.formula) +
                           ")。エラーは出ていませんが (IFERROR などで隠れています)、この式は Excel と同じ値になりません。";
        for (const auto& f : names) text += (names.size() > 1 ? f + ": " : "") + InsteadOfFunction(f);
        auto [it, added] = groups.emplace("0" + Join(names, ","), groups.size());
        entries.push_back(Entry{0, it->second, cells.size() + i, CheckFinding{CellLabel(c.cell), text}});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.rank != b.rank) return a.rank < b.rank;
        if (a.group != b.group) return a.group < b.group;
        return a.order < b.order;
    });
    for (auto& e : entries) findings.push_back(std::move(e.finding));

    // Modules: error values made with CVErr, those LibreOffice cannot
    // compile (blocking when cells call their functions), then what their
    // text shows.
    for (auto& f : ErrorValueFindings(modules)) findings.push_back(std::move(f));
    const auto functions = ModuleFunctions(modules);
    for (const MacroModule& m : modules) {
        if (!m.compileTried || m.compiles) continue;
        const std::string label = ModuleLabel(m.library, m.name);
        const std::string library = m.library.empty() ? std::string() : "ライブラリ " + m.library + " の";
        // The cells whose formulas call a function of this module.
        const auto& defined = functions.at(label);
        std::vector<std::string> callers;
        std::size_t callerCount = 0;
        for (const FormulaValueCell& c : in.values)
            for (const std::string& name : CalledFunctions(c.formula))
                if (defined.count(name)) {
                    if (callers.size() < 10) callers.push_back(CellLabel(c.cell));
                    ++callerCount;
                    break;
                }
        std::string calls;
        if (callerCount > 0)
            calls = " このモジュールの関数を呼ぶセル (" + std::to_string(callerCount) + " 件) は計算されません: " +
                    Join(callers, "、") + (callerCount > callers.size() ? " ほか" : "") + "。";
        CheckFinding f;
        if (m.failingLine > 0) {
            f = {label + ":" + std::to_string(ShownLine(m.source, m.failingLine)),
                 "モジュール " + m.name + " は LibreOffice でコンパイルできません (この行: " +
                     Shortened(LineText(m, m.failingLine), 80) + ")。直すまで" + library +
                     "マクロは 1 つも実行されません。LibreOffice Basic の書き方に直してください。" + calls};
        } else {
            f = {label, "モジュール " + m.name + " は LibreOffice でコンパイルできません (行は特定できませんでした)。直すまで" +
                            library + "マクロは 1 つも実行されません。" + calls};
        }
        f.blocking = callerCount > 0;
        findings.push_back(std::move(f));
    }
    for (const MacroModule& m : modules) {
        const std::string label = ModuleLabel(m.library, m.name);
        for (const BasicConstruct& c : FindConstructs(m.source))
            findings.push_back({label + ":" + std::to_string(ShownLine(m.source, c.line)), ConstructText(c)});
    }
    return findings;
}

std::vector<CheckFinding> FindingsOf(const std::vector<FormulaErrorCell>& cells,
                                     const std::vector<MacroModule>& modules) {
    CheckInput in;
    in.errors = cells;
    in.modules = modules;
    return CheckFindings(in);
}

bool CheckOpenWorkbook(WorkbookLink& link, const std::string& workbookPath, std::vector<CheckFinding>& findings,
                       std::string& error) {
    CheckInput in;
    auto cells = link.formulaErrors();
    if (!cells) {
        error = link.lastError();
        return false;
    }
    in.errors = std::move(*cells);
    auto modules = link.macroModules();
    if (!modules) {
        error = link.lastError();
        return false;
    }
    in.modules = std::move(*modules);
    // A package LibreOffice opens but whose values cannot be read here is
    // checked without them, and says so.
    std::string storedError;
    const bool storedRead = ReadStoredValues(workbookPath, in.stored, storedError);
    if (!storedRead) in.stored = StoredValues{};
    auto values = link.formulaValues();
    if (!values) {
        error = link.lastError();
        return false;
    }
    in.values = std::move(*values);
    // A second full recalculation only where there is something to compare.
    if (!in.stored.cells.empty()) {
        auto again = link.formulaValues();
        if (!again) {
            error = link.lastError();
            return false;
        }
        in.again = std::move(*again);
    }
    findings = CheckFindings(in);
    if (!storedRead) {
        CheckFinding note{"", "Excel の保存した値を読めないため、LibreOffice の値とは比べていません (" + storedError + ")。"};
        note.note = true;
        findings.insert(findings.begin(), note);
    }
    return true;
}

CheckStatus CheckWorkbookFile(WorkbookLink& freshLink, const std::string& path, std::vector<std::string>& lines,
                              std::string& error) {
    lines.clear();
    CheckStatus status = kCheckUnreadable;
    std::vector<CheckFinding> findings;
    if (const std::string problem = WorkbookFileProblem(path); !problem.empty()) {
        error = problem;  // not even worth an instance
    } else if (!freshLink.start(false) || !freshLink.open(path)) {
        error = freshLink.lastError();
    } else if (!CheckOpenWorkbook(freshLink, path, findings, error)) {
        // Already in `error`.
    } else {
        for (const auto& f : findings) lines.push_back(f.line());
        status = CountedFindings(findings) == 0 ? kCheckClean : kCheckFindings;
    }
    CloseAndQuit(freshLink);
    return status;
}

std::string CheckWarning(const std::vector<CheckFinding>& findings, std::size_t shown) {
    std::string text = "このブックには LibreOffice で Excel と同じに計算されない箇所があります (" +
                       std::to_string(CountedFindings(findings)) + " 件)。計算は続けます。\n";
    for (std::size_t i = 0; i < findings.size() && i < shown; ++i) text += "\n" + findings[i].line();
    if (findings.size() > shown) text += "\nほか " + std::to_string(findings.size() - shown) + " 件。";
    text += "\n\nすべては korvane --check <ブック> で一覧できます。";
    return text;
}

std::string CheckDifferences(const std::vector<CheckFinding>& findings, std::size_t shown) {
    std::vector<const CheckFinding*> blocking;
    for (const auto& f : findings)
        if (f.blocking) blocking.push_back(&f);
    if (blocking.empty()) return {};
    std::string text = "このブックは LibreOffice では Excel と同じに計算できません。"
                       "Excel の保存した値と違う値になるセルか、計算されないマクロの関数を呼ぶセルがあります。\n";
    for (std::size_t i = 0; i < blocking.size() && i < shown; ++i) text += "\n" + blocking[i]->line();
    if (blocking.size() > shown) text += "\nほか " + std::to_string(blocking.size() - shown) + " 行。";
    text += "\n\nすべては korvane --check <ブック> で一覧できます。";
    return text;
}

std::string CheckRefusal(const std::string& differences, bool question) {
    if (question) return differences + "\n\nこのまま計算すると、違う値が正しい結果として記録されます。続行しますか？";
    return differences +
           "\n計算は始めていません (DBファイルは変わっていません)。違いを承知で計算するには "
           "--accept-differences を付けて実行してください。";
}

std::string CheckAccepted(const std::string& differences) {
    return "--accept-differences の指定により、このまま計算します。\n" + differences;
}

}  // namespace korvane

#include "workbook/WorkbookCheck.h"

#include <algorithm>
#include <map>

#include "workbook/BasicText.h"

namespace korvane {

namespace {

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) out += (i ? separator : "") + parts[i];
    return out;
}

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

}  // namespace

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

std::vector<CheckFinding> FindingsOf(const std::vector<FormulaErrorCell>& cells,
                                     const std::vector<MacroModule>& modules) {
    std::vector<CheckFinding> findings;

    // Formula cells, grouped by cause: functions LibreOffice does not know
    // first, then the other error values, and last the cells that only show
    // the error of a cell they refer to.
    struct Entry {
        int rank;
        std::size_t group;  // order of the cause's first appearance
        std::size_t order;
        CheckFinding finding;
    };
    std::vector<Entry> entries;
    std::map<std::string, std::size_t> groups;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const FormulaErrorCell& c = cells[i];
        const std::string where = c.cell.sheet + "!" + (c.cell.address.empty() ? CellAddress(c.cell.row, c.cell.column)
                                                                                : c.cell.address);
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
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.rank != b.rank) return a.rank < b.rank;
        if (a.group != b.group) return a.group < b.group;
        return a.order < b.order;
    });
    for (auto& e : entries) findings.push_back(std::move(e.finding));

    // Modules: those LibreOffice cannot compile, then what their text shows.
    for (const MacroModule& m : modules) {
        if (!m.compileTried || m.compiles) continue;
        const std::string label = ModuleLabel(m.library, m.name);
        const std::string library = m.library.empty() ? std::string() : "ライブラリ " + m.library + " の";
        if (m.failingLine > 0) {
            findings.push_back({label + ":" + std::to_string(ShownLine(m.source, m.failingLine)),
                                "モジュール " + m.name + " は LibreOffice でコンパイルできません (この行: " +
                                    Shortened(LineText(m, m.failingLine), 80) + ")。直すまで" + library +
                                    "マクロは 1 つも実行されません。LibreOffice Basic の書き方に直してください。"});
        } else {
            findings.push_back({label, "モジュール " + m.name +
                                           " は LibreOffice でコンパイルできません (行は特定できませんでした)。直すまで" +
                                           library + "マクロは 1 つも実行されません。"});
        }
    }
    for (const MacroModule& m : modules) {
        const std::string label = ModuleLabel(m.library, m.name);
        for (const BasicConstruct& c : FindConstructs(m.source))
            findings.push_back({label + ":" + std::to_string(ShownLine(m.source, c.line)), ConstructText(c)});
    }
    return findings;
}

bool CheckOpenWorkbook(WorkbookLink& link, std::vector<CheckFinding>& findings, std::string& error) {
    auto cells = link.formulaErrors();
    if (!cells) {
        error = link.lastError();
        return false;
    }
    auto modules = link.macroModules();
    if (!modules) {
        error = link.lastError();
        return false;
    }
    findings = FindingsOf(*cells, *modules);
    return true;
}

CheckStatus CheckWorkbookFile(WorkbookLink& freshLink, const std::string& path, std::vector<std::string>& lines,
                              std::string& error) {
    lines.clear();
    CheckStatus status = kCheckUnreadable;
    std::vector<CheckFinding> findings;
    if (!freshLink.start(false) || !freshLink.open(path)) {
        error = freshLink.lastError();
    } else if (!CheckOpenWorkbook(freshLink, findings, error)) {
        // Already in `error`.
    } else {
        for (const auto& f : findings) lines.push_back(f.line());
        status = findings.empty() ? kCheckClean : kCheckFindings;
    }
    CloseAndQuit(freshLink);
    return status;
}

std::string CheckWarning(const std::vector<CheckFinding>& findings, std::size_t shown) {
    std::string text = "このブックには LibreOffice で Excel と同じに計算されない箇所があります (" +
                       std::to_string(findings.size()) + " 件)。計算は続けます。\n";
    for (std::size_t i = 0; i < findings.size() && i < shown; ++i) text += "\n" + findings[i].line();
    if (findings.size() > shown) text += "\nほか " + std::to_string(findings.size() - shown) + " 件。";
    text += "\n\nすべては korvane --check <ブック> で一覧できます。";
    return text;
}

}  // namespace korvane

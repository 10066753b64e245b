// The comparison of the values Excel stored in a workbook with the values
// LibreOffice computes after a full recalculation, made twice: the cells that
// differ, grouped by cause (a function LibreOffice lacks, an error value a
// macro function made with CVErr, a module that does not compile, a macro
// function, anything else), and the cells whose value changes at each
// recalculation, listed apart as a note.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "workbook/BasicText.h"
#include "workbook/CheckParts.h"

namespace korvane {

namespace {

std::string NumberText(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A stored value as a finding shows it.
std::string StoredText(const StoredCell& c) {
    switch (c.kind) {
        case StoredCell::Kind::Number: {
            char* end = nullptr;
            const double v = std::strtod(c.value.c_str(), &end);
            return end && *end == '\0' && !c.value.empty() ? NumberText(v) : c.value;
        }
        case StoredCell::Kind::Text: return Quoted(c.value);
        case StoredCell::Kind::Logical: return c.value == "1" || c.value == "true" ? "TRUE" : "FALSE";
        case StoredCell::Kind::Error: return c.value;
    }
    return c.value;
}

std::string ValueText(const FormulaValueCell& c) {
    switch (c.kind) {
        case FormulaValueCell::Kind::Number: return NumberText(c.number);
        case FormulaValueCell::Kind::Text: return Quoted(c.text);
        case FormulaValueCell::Kind::Error: return c.text;
    }
    return {};
}

bool SameNumber(double a, double b) {
    const double d = std::fabs(a - b);
    return d <= 1e-12 || d <= 1e-9 * std::max(std::fabs(a), std::fabs(b));
}

// Whether LibreOffice's value is the value Excel stored.
bool SameValue(const StoredCell& s, const FormulaValueCell& v) {
    switch (s.kind) {
        case StoredCell::Kind::Number:
        case StoredCell::Kind::Logical: {
            if (v.kind != FormulaValueCell::Kind::Number) return false;
            double stored = 0;
            if (s.kind == StoredCell::Kind::Logical) {
                stored = (s.value == "1" || s.value == "true") ? 1 : 0;
            } else {
                char* end = nullptr;
                stored = std::strtod(s.value.c_str(), &end);
                if (!end || *end != '\0' || s.value.empty()) return false;
            }
            return SameNumber(stored, v.number);
        }
        case StoredCell::Kind::Text: return v.kind == FormulaValueCell::Kind::Text && v.text == s.value;
        case StoredCell::Kind::Error: return v.kind == FormulaValueCell::Kind::Error && v.text == s.value;
    }
    return false;
}

bool SameResult(const FormulaValueCell& a, const FormulaValueCell& b) {
    if (a.kind != b.kind) return false;
    if (a.kind == FormulaValueCell::Kind::Number) return a.number == b.number || (std::isnan(a.number) && std::isnan(b.number));
    return a.text == b.text;
}

// The lines of one cause: a heading, at most kCellsPerCause cells, the count
// of the rest.
void AddGroup(std::vector<CheckFinding>& out, const std::string& heading, const std::vector<CheckFinding>& cells,
              bool blocking, bool note) {
    CheckFinding head{"", heading + " (" + std::to_string(cells.size()) + " 件):"};
    head.blocking = blocking;
    head.note = note;
    out.push_back(head);
    for (std::size_t i = 0; i < cells.size() && i < kCellsPerCause; ++i) {
        CheckFinding f = cells[i];
        f.blocking = blocking;
        f.note = note;
        out.push_back(f);
    }
    if (cells.size() > kCellsPerCause) {
        CheckFinding rest{"", "  ほか " + std::to_string(cells.size() - kCellsPerCause) + " セル"};
        rest.blocking = blocking;
        rest.note = note;
        out.push_back(rest);
    }
}

}  // namespace

namespace check {

// The comparison of the stored values with LibreOffice's: the differing
// cells grouped by cause, the cells that change at each recalculation apart.
// `differing` gets the cells listed as differing.
std::vector<CheckFinding> StoredValueFindings(const CheckInput& in, std::set<std::string>& differing) {
    std::vector<CheckFinding> out;
    if (!in.stored.readable || in.values.empty()) return out;
    if (in.stored.cells.empty()) {
        if (in.stored.withoutValue > 0) {
            CheckFinding f{"", "このブックには式の値が保存されていません" +
                                   (in.stored.application.empty() ? std::string()
                                                                  : " (保存したプログラム: " + in.stored.application + ")") +
                                   "。Excel の計算した値と LibreOffice の値は比べていません。"};
            f.note = true;
            out.push_back(f);
        }
        return out;
    }
    std::map<std::string, const StoredCell*> stored;
    for (const StoredCell& c : in.stored.cells) {
        CellRef r;
        r.sheet = c.sheet;
        r.row = c.row;
        r.column = c.column;
        stored[Key(r)] = &c;
    }
    std::map<std::string, const FormulaValueCell*> again;
    for (const FormulaValueCell& c : in.again) again[Key(c.cell)] = &c;

    std::set<std::string> brokenFunctions;  // defined in modules that do not compile
    std::set<std::string> userFunctions;
    const auto functions = ModuleFunctions(in.modules);
    for (const MacroModule& m : in.modules) {
        const auto& names = functions.at(ModuleLabel(m.library, m.name));
        userFunctions.insert(names.begin(), names.end());
        if (m.compileTried && !m.compiles) brokenFunctions.insert(names.begin(), names.end());
    }

    struct Group {
        std::string heading;
        std::vector<CheckFinding> cells;
    };
    std::vector<Group> groups;
    std::map<std::string, std::size_t> groupOf;
    std::vector<CheckFinding> changing;
    auto add = [&](const std::string& key, const std::string& heading, CheckFinding f) {
        auto [it, added] = groupOf.emplace(key, groups.size());
        if (added) groups.push_back(Group{heading, {}});
        groups[it->second].cells.push_back(std::move(f));
    };
    for (const FormulaValueCell& v : in.values) {
        const std::string key = Key(v.cell);
        auto s = stored.find(key);
        if (s == stored.end()) continue;
        const std::string where = CellLabel(v.cell);
        // As the application shows it: =A1+1, or {=...} for an array formula.
        const std::string formula = v.formula.empty() || v.formula[0] == '=' || v.formula.rfind("{=", 0) == 0
                                        ? v.formula
                                        : "=" + v.formula;
        auto second = again.find(key);
        if (second != again.end() && !SameResult(v, *second->second)) {
            changing.push_back(CheckFinding{where, "LibreOffice " + ValueText(v) + " → " + ValueText(*second->second) +
                                                       "  " + formula,
                                            "  "});
            continue;
        }
        if (SameValue(*s->second, v)) continue;
        differing.insert(key);
        CheckFinding f{where, "Excel " + StoredText(*s->second) + "  LibreOffice " + ValueText(v) + "  " + formula, "  "};
        const std::vector<std::string> called = CalledFunctions(v.formula);
        std::string broken, user;
        for (const std::string& name : called) {
            if (broken.empty() && brokenFunctions.count(name)) broken = name;
            if (user.empty() && userFunctions.count(name)) user = name;
        }
        if (!v.unknownFunctions.empty()) {
            std::vector<std::string> names;
            for (const auto& n : v.unknownFunctions) names.push_back(AsciiUpper(n));
            add("names:" + Join(names, ","),
                "Excel と値が違うセル: 関数 " + Join(names, "、") +
                    " は LibreOffice にありません (IFERROR などでエラーが隠れていても値は違います)",
                std::move(f));
        } else if (v.kind == FormulaValueCell::Kind::Text && IsBasicErrorText(v.text)) {
            add("cverr", "Excel と値が違うセル: マクロの関数が CVErr で返したエラー値が、LibreOffice では文字 (" +
                             v.text + " など) になります",
                std::move(f));
        } else if (!broken.empty()) {
            add("broken:" + broken, "Excel と値が違うセル: 関数 " + broken +
                                        " のモジュールが LibreOffice でコンパイルできず、関数が計算されません",
                std::move(f));
        } else if (!user.empty()) {
            add("user:" + user, "Excel と値が違うセル: マクロの関数 " + user +
                                    " の値が違います (LibreOffice では実行時エラーで止まっても 0 や空の値になります)",
                std::move(f));
        } else {
            add("other", "Excel と値が違うセル: LibreOffice の計算した値が Excel の保存した値と違います", std::move(f));
        }
    }
    for (const Group& g : groups) AddGroup(out, g.heading, g.cells, true, false);
    if (!changing.empty())
        AddGroup(out,
                 "再計算のたびに値の変わるセル (RAND、NOW、Rnd を使うマクロの関数など)。Excel の値とは比べていません",
                 changing, false, true);
    return out;
}

}  // namespace check

}  // namespace korvane

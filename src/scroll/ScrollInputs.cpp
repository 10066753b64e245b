#include "scroll/ScrollInputs.h"

#include <algorithm>
#include <cmath>

#include "project/NumberText.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "run/MonteCarlo.h"

namespace korvane {

namespace {

double Num(const std::string& text) { return LeadingNumber(text); }

// The sampled distribution of the row's name, when there is one.
void Get_Var_val(ScrollInputRow& row, const Project& project) {
    for (const SampledVariable& v : project.monteCarlo.sampledVariables) {
        if (v.name != row.name) continue;
        const double c = Num(v.center);
        const double s = Num(v.spread);
        row.current = GeneralNumber(c);
        if (v.distType == kUniformDistribution) {
            row.lower = GeneralNumber(c - s);
            row.upper = GeneralNumber(c + s);
        } else if (v.distType == kNormalDistribution) {
            row.lower = GeneralNumber(c - 3.1 * s);
            row.upper = GeneralNumber(c + 3.1 * s);
        }
        return;  // the first sampled variable of the name counts
    }
}

// Missing ends lie 1 below and above the current value.
void UL_Create(ScrollInputRow& row) {
    if (row.lower.empty()) row.lower = GeneralNumber(Num(row.current) - 1);
    if (row.upper.empty()) row.upper = GeneralNumber(Num(row.current) + 1);
}

}  // namespace

std::vector<ScrollInputRow> ScrollInputRows(const Project& project) {
    std::vector<ScrollInputRow> rows;
    for (const InputTask& t : project.inputTasks) {
        if (std::any_of(rows.begin(), rows.end(), [&](const ScrollInputRow& r) { return r.name == t.name; }))
            continue;
        ScrollInputRow row{t.name, t.lower, t.initial, t.upper};
        Get_Var_val(row, project);
        UL_Create(row);
        // Crossed ends, or a current value outside them, would put the bar
        // somewhere other than the value calculated with: widen the range.
        const double lo = Num(row.lower), cur = Num(row.current), hi = Num(row.upper);
        if (lo > hi || cur < std::min(lo, hi) || cur > std::max(lo, hi)) {
            row.lower = GeneralNumber(std::min({lo, hi, cur}));
            row.upper = GeneralNumber(std::max({lo, hi, cur}));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<int> BarPosition(const ScrollInputRow& row) {
    if (row.lower.empty() || row.current.empty() || row.upper.empty()) return std::nullopt;
    const double lo = Num(row.lower), hi = Num(row.upper);
    if (hi == lo) return std::nullopt;
    const double p = 100.0 * (Num(row.current) - lo) / (hi - lo);
    if (!std::isfinite(p)) return std::nullopt;
    return static_cast<int>(std::clamp<std::int64_t>(RoundToInteger(p), 0, 100));
}

std::string ValueAtPosition(const ScrollInputRow& row, int position) {
    const double lo = Num(row.lower), hi = Num(row.upper);
    return GeneralNumber(lo + (hi - lo) * position / 100.0);
}

void ApplyInputEdit(ScrollInputRow& row, InputColumn column, const std::string& typed) {
    const double t = Num(typed);
    const double current = Num(row.current);
    switch (column) {
        case InputColumn::Lower:
            row.lower = t > current ? row.current : GeneralNumber(t);
            break;
        case InputColumn::Upper:
            row.upper = t < current ? row.current : GeneralNumber(t);
            break;
        case InputColumn::Current:
            if (t < Num(row.lower))
                row.current = row.lower;
            else if (t > Num(row.upper))
                row.current = row.upper;
            else
                row.current = GeneralNumber(t);
            break;
    }
}

void Store_Fig_Scroll(const std::vector<ScrollInputRow>& rows, RunState& s) {
    for (const ScrollInputRow& row : rows) {
        const std::string value = GeneralNumber(Num(row.current));
        for (std::size_t i = 1; i <= s.inputCount(); ++i)
            if (s.InputNames[i] == row.name) {
                s.InputValues[i] = value;
                s.forgetFormat(i);
            }
    }
}

std::vector<std::string> LinesWithInitialValues(const std::vector<std::string>& lines,
                                                const std::vector<ScrollInputRow>& rows) {
    std::vector<std::string> out;
    out.reserve(lines.size());
    for (const std::string& line : lines) {
        if (!HasKey(line, key::InputPram)) {
            out.push_back(line);
            continue;
        }
        std::vector<std::string> f = SplitFields(LineValue(line));
        auto row = std::find_if(rows.begin(), rows.end(), [&](const ScrollInputRow& r) { return r.name == f[0]; });
        if (row == rows.end() || f.size() < 5) {
            out.push_back(line);
            continue;
        }
        f[4] = row->current;
        out.push_back(LineKey(line) + JoinFields(f));
    }
    return out;
}

}  // namespace korvane

#include "run/SettingsRows.h"

#include <algorithm>
#include <map>
#include <set>

#include "db/DbFile.h"
#include "project/NumberText.h"
#include "project/RowEdits.h"
#include "project/RunState.h"
#include "project/Sampling.h"
#include "run/Distributions.h"
#include "run/SampleDesign.h"

namespace korvane {

namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::vector<std::string> DistinctInputNames(const Project& project) {
    std::vector<std::string> names;
    for (const InputTask& t : project.inputTasks)
        if (!Contains(names, t.name)) names.push_back(t.name);
    return names;
}

// ---------------------------------------------------------------- checks on OK

std::string NotNumberMessage(const std::string& name, const std::string& what, const std::string& text) {
    return "変数[" + name + "]の" + what + "が数値ではありません: \"" + text + "\"";
}

std::string MissingValueMessage(const std::string& name, const std::string& what) {
    return "変数[" + name + "]の" + what + "が入力されていません。";
}

namespace {

// Adds a problem for `text` unless it is a number (or empty where allowed).
void CheckNumber(std::vector<ValueProblem>& problems, std::size_t row, const std::string& name,
                 const char* what, const std::string& text, bool emptyAllowed) {
    if (text.empty()) {
        if (!emptyAllowed) problems.push_back({row, what, MissingValueMessage(name, what)});
        return;
    }
    if (!IsNumericText(text)) problems.push_back({row, what, NotNumberMessage(name, what, text)});
}

}  // namespace

std::vector<ValueProblem> CheckValueRows(const std::vector<ValueRow>& rows, bool restriction) {
    std::vector<ValueProblem> problems;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const ValueRow& v = rows[r];
        if (!restriction) {
            CheckNumber(problems, r, v.name, "初期値", v.initial, false);
        } else {
            CheckNumber(problems, r, v.name, "下限値", v.lower, true);
            CheckNumber(problems, r, v.name, "上限値", v.upper, true);
        }
    }
    return problems;
}

std::vector<ValueProblem> CheckSamplingValues(const std::vector<SamplingRow>& rows) {
    std::vector<ValueProblem> problems;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (!rows[r].ticked) continue;
        CheckNumber(problems, r, rows[r].name, "中心値", rows[r].center, false);
        CheckNumber(problems, r, rows[r].name, "標準偏差", rows[r].spread, false);
    }
    return problems;
}

std::vector<ValueProblem> CheckFactorRows(const std::vector<FactorRow>& rows) {
    std::vector<ValueProblem> problems;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (!rows[r].ticked) continue;
        CheckNumber(problems, r, rows[r].name, "下方値", rows[r].lower, false);
        CheckNumber(problems, r, rows[r].name, "上方値", rows[r].upper, false);
    }
    return problems;
}

// ---------------------------------------------------------------- initial and restriction values

std::vector<ValueRow> ValueRows(const Project& project, bool withOutputs) {
    std::vector<ValueRow> rows;
    std::vector<std::string> listed;
    for (const InputTask& t : project.inputTasks) {
        if (Contains(listed, t.name)) continue;
        listed.push_back(t.name);
        rows.push_back({t.name, t.lower, t.initial, t.upper, true});
    }
    if (!withOutputs) return rows;
    for (const OutputTask& t : project.outputTasks) {
        if (Contains(listed, t.name)) continue;
        listed.push_back(t.name);
        rows.push_back({t.name, t.lower, t.value, t.upper, false});
    }
    return rows;
}

bool StoreInitialValues(std::vector<std::string>& lines, const std::vector<ValueRow>& rows, std::string& error) {
    FieldEdits edits;
    for (const ValueRow& r : rows) edits[r.name] = {{4, r.initial}};
    return EditNamedRows(lines, section::InputTask, 8, edits, error);
}

bool StoreRestrictionValues(std::vector<std::string>& lines, const std::vector<ValueRow>& rows,
                            std::string& error) {
    FieldEdits edits;
    for (const ValueRow& r : rows) edits[r.name] = {{3, r.lower}, {5, r.upper}};
    std::vector<std::string> edited = lines;
    if (!EditNamedRows(edited, section::InputTask, 8, edits, error)) return false;
    if (!EditNamedRows(edited, section::OutputTask, 6, edits, error)) return false;
    lines = std::move(edited);
    return true;
}

// ---------------------------------------------------------------- current values

std::vector<CurrentRow> CurrentValueRows(const Project& project, const RunState& state) {
    std::set<std::string> varied;
    for (const SampledVariable& v : project.monteCarlo.sampledVariables) varied.insert(v.name);
    for (const TableFactor& f : project.orthogonalTable.factors) varied.insert(f.name);
    std::vector<CurrentRow> rows;
    for (const ValueRow& v : ValueRows(project, true)) {
        CurrentRow r{v.name, v.lower, v.initial, "", v.upper, v.input, varied.count(v.name) != 0};
        if (r.input) {
            for (std::size_t i = 1; i < state.InputNames.size() && i < state.InputValues.size(); ++i) {
                if (state.InputNames[i] == r.name) {
                    r.current = state.InputValues[i];
                    break;
                }
            }
        }
        rows.push_back(std::move(r));
    }
    return rows;
}

CurrentHeading CurrentValueHeading(const RunState& state) {
    if (state.PlanName == plan::Single) return {"現在値", 1};
    // A finished loop stands one past its last calculation; a stopped one at
    // the calculation it completed.
    const double total = LeadingNumber(state.CalcTotal);
    std::int64_t counter = static_cast<double>(state.CalcCount) > total ? state.CalcCount - 1 : state.CalcCount;
    return {"最終値", std::max<std::int64_t>(counter, 0)};
}

bool LookUpCalculation(const std::string& dbPath, const std::string& counterText, std::vector<CurrentRow>& rows,
                       std::string& error) {
    DbReader reader;
    if (!reader.open(dbPath)) {
        error = reader.error();
        return false;
    }
    const std::vector<CurrentRow> before = rows;
    const std::string wanted = Trim(counterText);
    DbReader::Line line;
    int block = -1;
    while (reader.next(line)) {
        if (line.block != block) {
            // Only the last block counts: a new one starts from scratch.
            block = line.block;
            rows = before;
        }
        if (line.kind != DbReader::LineKind::Data || line.fields.empty() || Trim(line.fields[0]) != wanted) continue;
        for (CurrentRow& r : rows) {
            const int column = reader.header().findLastColumn(r.name);
            if (column >= 0 && static_cast<std::size_t>(column) < line.fields.size())
                r.current = line.fields[static_cast<std::size_t>(column)];
        }
    }
    if (!reader.error().empty()) {
        error = reader.error();
        rows = before;
        reader.close();
        return false;
    }
    reader.close();
    return true;
}

bool StoreCurrentAsInitial(std::vector<std::string>& lines, const std::vector<CurrentRow>& rows,
                           std::string& error) {
    std::vector<ValueRow> values;
    for (const CurrentRow& r : rows)
        if (r.input && !r.current.empty()) values.push_back({r.name, "", r.current, "", true});
    return StoreInitialValues(lines, values, error);
}

// ---------------------------------------------------------------- Monte Carlo settings

std::vector<SamplingRow> SamplingRows(const Project& project) {
    std::vector<SamplingRow> rows;
    for (const std::string& name : DistinctInputNames(project)) rows.emplace_back().name = name;
    for (const SampledVariable& v : project.monteCarlo.sampledVariables) {
        for (SamplingRow& r : rows) {
            if (r.name != v.name) continue;
            r.ticked = true;
            r.distType = v.distType;
            r.center = v.center;
            r.spread = v.spread;
        }
    }
    return rows;
}

std::string CheckSamplingRows(const std::vector<SamplingRow>& rows) {
    for (const SamplingRow& r : rows) {
        if (!r.ticked) continue;
        if (r.distType == kNoDistribution) return "変数[" + r.name + "]の分布型が選択されていません。";
        if (r.center.empty()) return "変数[" + r.name + "]の中心値が選択されていません。";
        if (r.spread.empty()) return "変数[" + r.name + "]の標準偏差が選択されていません。";
    }
    return {};
}

bool NumOfCalcAccepted(const std::string& text) { return !text.empty() && LeadingNumber(text) >= 1; }

std::vector<std::string> MonteCarloSectionLines(const std::string& numOfCalc, bool restart, bool randomSeed,
                                                const std::string& seed, const std::vector<SamplingRow>& rows) {
    std::vector<std::string> lines{std::string(key::NumOfCalc) + numOfCalc,
                                   std::string(key::RestartExcel) + (restart ? "1" : "0"),
                                   std::string(key::RandomSeed) + (randomSeed ? "Random" : seed)};
    for (const SamplingRow& r : rows)
        if (r.ticked) lines.push_back(SampledRowLine({r.name, r.distType, r.center, r.spread}));
    return lines;
}

std::vector<std::string> DistinctOutputNames(const Project& project) {
    std::vector<std::string> names;
    for (const OutputTask& t : project.outputTasks)
        if (!Contains(names, t.name)) names.push_back(t.name);
    return names;
}

std::vector<std::string> SampledNames(const std::vector<SamplingRow>& rows) {
    std::vector<std::string> names;
    for (const SamplingRow& r : rows)
        if (r.ticked) names.push_back(r.name);
    return names;
}

bool UsesSampleDesign(const std::vector<SamplingRow>& rows, const SamplingSettings& settings) {
    if (settings.method != method::MonteCarlo || !settings.correlations.empty()) return true;
    return std::any_of(rows.begin(), rows.end(), [](const SamplingRow& r) {
        return r.ticked && r.distType != kNormalDistribution && r.distType != kUniformDistribution;
    });
}

std::vector<ValueProblem> CheckDistributions(const std::vector<SamplingRow>& rows) {
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const SamplingRow& row = rows[r];
        if (!row.ticked) continue;
        double center = 0, spread = 0;
        ParseDecimal(row.center, center);
        ParseDecimal(row.spread, spread);
        std::string error;
        if (MakeDistribution(row.distType, center, spread, error)) continue;
        // The cell to correct: the centre when only the centre is named.
        const bool centre = error.find("中心値") != std::string::npos && error.find("標準偏差") == std::string::npos;
        return {{r, centre ? "中心値" : "標準偏差", "変数[" + row.name + "]の" + error}};
    }
    return {};
}

SamplingSettings SettingsOfRows(const std::string& method, const std::vector<RankCorrelation>& correlations,
                                const PrecisionTarget& precision) {
    SamplingSettings s;
    s.method = method;
    for (const RankCorrelation& c : correlations)
        if (!c.first.empty() || !c.second.empty() || !c.value.empty()) s.correlations.push_back(c);
    s.hasPrecision = !precision.output.empty() || !precision.fraction.empty() || !precision.percent.empty();
    if (s.hasPrecision) s.precision = precision;
    return s;
}

std::string CheckSamplingSettings(const SamplingSettings& settings, const std::vector<SamplingRow>& rows,
                                  const std::vector<std::string>& outputs) {
    const std::vector<std::string> sampled = SampledNames(rows);
    if (std::string problem = CheckSampling(settings, sampled, outputs); !problem.empty()) return problem;
    auto column = [&sampled](const std::string& name) {
        return static_cast<std::size_t>(std::find(sampled.begin(), sampled.end(), name) - sampled.begin());
    };
    std::vector<RankCorrelationTarget> targets;
    for (const RankCorrelation& c : settings.correlations) {
        RankCorrelationTarget t{column(c.first), column(c.second), 0.0};
        ParseDecimal(c.value, t.value);
        targets.push_back(t);
    }
    if (const auto fault = CheckRankCorrelations(sampled.size(), targets))
        return "相関[" + sampled[fault->first] + "," + sampled[fault->second] + "]で" + fault->reason;
    return {};
}

// ---------------------------------------------------------------- orthogonal table settings

std::vector<FactorRow> FactorRows(const Project& project) {
    std::vector<FactorRow> rows;
    for (const std::string& name : DistinctInputNames(project)) rows.emplace_back().name = name;
    for (const TableFactor& f : project.orthogonalTable.factors) {
        for (FactorRow& r : rows) {
            if (r.name != f.name) continue;
            r.ticked = true;
            r.lower = f.lowerValue;
            r.middle = f.middleValue;
            r.upper = f.upperValue;
        }
    }
    return rows;
}

std::vector<std::string> OrthogonalSectionLines(const std::string& level, bool restart,
                                                const std::vector<FactorRow>& rows) {
    std::vector<std::string> lines{std::string(key::Level) + level,
                                   std::string(key::RestartExcel) + (restart ? "1" : "0")};
    for (const FactorRow& r : rows)
        if (r.ticked) lines.push_back(FactorRowLine({r.name, r.lower, r.middle, r.upper}));
    return lines;
}

// ---------------------------------------------------------------- data file settings

std::vector<std::string> AssignedColumns(const DataFileInputSettings& settings) {
    std::vector<std::string> assigned;
    for (const ReadParam& p : settings.readParams) {
        double column;
        // A column that is not a small whole number cannot be shown.
        if (!ParseDecimal(p.column, column) || column < 0 || column > 16383 || column != static_cast<int>(column))
            continue;
        const auto c = static_cast<std::size_t>(column);
        if (assigned.size() <= c) assigned.resize(c + 1);
        assigned[c] = p.name;
    }
    return assigned;
}

std::vector<std::string> AutoAssignment(const std::vector<std::string>& names, std::size_t columns) {
    return {names.begin(), names.begin() + static_cast<long>(std::min(names.size(), columns))};
}

std::string ReadRowShown(const std::string& saved) {
    const double v = LeadingNumber(saved);
    if (v == 0) return "2";
    return GeneralNumber(v);
}

std::vector<std::string> DataFileSectionLines(const std::string& path, const std::string& readRow, bool restart,
                                              const std::vector<std::string>& assigned) {
    std::vector<std::string> lines{std::string(key::DataFile) + path, std::string(key::ReadRow) + readRow,
                                   std::string(key::RestartExcel) + (restart ? "1" : "0")};
    for (std::size_t c = 0; c < assigned.size(); ++c)
        if (!assigned[c].empty()) lines.push_back(ReadParamRowLine({std::to_string(c), assigned[c]}));
    return lines;
}

}  // namespace korvane

#include "analysis/FactorialEffects.h"

#include <cmath>

#include "analysis/DataLineScan.h"
#include "analysis/RunningMean.h"
#include "db/Csv.h"
#include "project/NumberText.h"

namespace korvane {

namespace {

constexpr const char* kDecibelFormat = "0.000000";

// Level values are matched as the 15-digit numbers the table shows, so "2",
// "2." and "2.0" are one level, and a middle level computed as (H + L) / 2
// matches the data text it stands for.
std::string LevelKey(double v) { return GeneralNumber(v); }

bool Shown(const std::string& text) { return !text.empty() && text != kMissingLevel; }

}  // namespace

double Decibels(double mean) { return 20.0 * std::log10(std::fabs(mean)); }

bool ReadEffectsTable(const std::string& path, EffectsTable& table, std::string& error) {
    table = EffectsTable{};
    DataLineScan scan;
    if (!scan.open(path, true, error)) return false;
    const DbHeader& header = scan.header();

    // Table columns: the DB fields without the verdict.
    std::vector<std::size_t> fields;
    std::vector<std::string> names{"水準/変数名"};
    for (std::size_t i = 1; i < header.names.size(); ++i) {
        if (header.names[i] == kDbValidityTitle) continue;
        const std::size_t column = names.size();
        fields.push_back(i);
        names.push_back(header.names[i]);
        const std::string kind = i < header.kinds.size() ? header.kinds[i] : std::string();
        if (kind == kDbInputKind) {
            table.inputs.push_back(header.names[i]);
            table.inputColumns.push_back(column);
        } else if (kind == kDbOutputKind) {
            table.outputs.push_back(header.names[i]);
            table.outputColumns.push_back(column);
        }
    }
    if (table.inputs.empty() || table.outputs.empty()) {
        error = "DBファイルの種別行に入力または出力の列がありません: " + path;
        return false;
    }
    const std::size_t width = names.size();
    table.rows.push_back(names);
    table.rows.push_back({"水準(H)/Max値"});
    table.rows.push_back({"水準(M)/Ave値"});
    table.rows.push_back({"水準(L)/Min値"});
    for (std::size_t r = 1; r <= 3; ++r) table.rows[r].resize(width, kMissingLevel);
    scan.readNumbers(fields);

    DbReader::Line line;
    while (scan.next(line)) {
        if (table.dataLines == kMaxEffectLines) {
            table.truncated = true;
            break;
        }
        std::vector<std::string> row{line.fields[0]};
        for (std::size_t f : fields) row.push_back(line.fields[f]);
        table.rows.push_back(std::move(row));
        ++table.dataLines;
    }
    if (!scan.error().empty()) {
        error = scan.error();
        return false;
    }
    table.skipped = scan.skipped();
    table.unreadable = scan.unreadable();
    if (table.dataLines == 0) return true;

    // Levels and ranges of every column.
    for (std::size_t c = 1; c < width; ++c) {
        RunningRange range;
        RunningMean mean;
        for (std::size_t r = 4; r < table.rows.size(); ++r) {
            const double v = CsvNumber(table.rows[r][c]);
            range.take(v);
            mean.add(v);
        }
        table.rows[1][c] = GeneralNumber(range.hi);
        table.rows[3][c] = GeneralNumber(range.lo);
        bool isInput = false;
        for (std::size_t ic : table.inputColumns) isInput = isInput || ic == c;
        if (isInput) {
            const std::string mid = LevelKey((range.hi + range.lo) / 2);
            bool three = false;
            for (std::size_t r = 4; r < table.rows.size() && !three; ++r)
                three = LevelKey(CsvNumber(table.rows[r][c])) == mid;
            table.rows[2][c] = three ? mid : kMissingLevel;
        } else {
            table.rows[2][c] = GeneralNumber(mean.mean());
        }
    }
    return true;
}

FactorLevels LevelValues(const EffectsTable& table, std::size_t output, const std::string& factor) {
    FactorLevels levels;
    levels.factor = factor;
    levels.high = levels.middle = levels.low = kMissingLevel;
    if (factor.empty() || output >= table.outputColumns.size() || table.dataLines == 0) return levels;
    std::size_t column = 0;
    for (std::size_t i = 0; i < table.inputs.size(); ++i)
        if (table.inputs[i] == factor) column = table.inputColumns[i];
    if (column == 0) return levels;
    const std::size_t k = table.outputColumns[output];
    std::string* cells[3] = {&levels.high, &levels.middle, &levels.low};
    for (std::size_t level = 1; level <= 3; ++level) {
        const std::string& levelText = table.rows[level][column];
        if (!Shown(levelText)) continue;
        const std::string key = LevelKey(LeadingNumber(levelText));
        RunningMean levelMean;
        for (std::size_t r = 4; r < table.rows.size(); ++r) {
            if (LevelKey(CsvNumber(table.rows[r][column])) != key) continue;
            levelMean.add(CsvNumber(table.rows[r][k]));
        }
        if (levelMean.count() == 0) continue;
        const double mean = levelMean.mean();
        if (mean == 0) continue;
        *cells[level - 1] = FormatChart(Decibels(mean), kDecibelFormat);
    }
    return levels;
}

std::vector<std::vector<std::string>> EffectsGridRows(const std::vector<FactorLevels>& factors) {
    std::vector<std::vector<std::string>> rows{{"水準/感度"}, {"水準(H)"}, {"水準(M)"}, {"水準(L)"}};
    for (const auto& f : factors) {
        rows[0].push_back(f.factor);
        rows[1].push_back(f.factor.empty() ? std::string() : f.high);
        rows[2].push_back(f.factor.empty() ? std::string() : f.middle);
        rows[3].push_back(f.factor.empty() ? std::string() : f.low);
    }
    return rows;
}

RunningRange LevelRange(const std::vector<FactorLevels>& factors) {
    RunningRange range;
    for (const auto& f : factors) {
        if (f.factor.empty()) continue;
        for (const std::string* t : {&f.high, &f.middle, &f.low})
            if (Shown(*t)) range.take(LeadingNumber(*t));
    }
    return range;
}

EffectGroup PlotGroup(int slot, const FactorLevels& levels) {
    EffectGroup g;
    const std::string* texts[3] = {&levels.low, &levels.middle, &levels.high};
    for (int i = 0; i < 3; ++i) {
        g.x[i] = 3.0 * (slot - 1) + 1 + i;
        g.present[i] = !levels.factor.empty() && Shown(*texts[i]);
        if (g.present[i]) g.y[i] = LeadingNumber(*texts[i]);
    }
    // H first, then M, then L: a later level takes the marker only when larger.
    for (int i : {2, 1, 0})
        if (g.present[i] && (g.marker < 0 || g.y[i] > g.y[g.marker])) g.marker = i;
    return g;
}

}  // namespace korvane

#include "analysis/Statistics.h"

#include <cmath>

#include "analysis/RunningMean.h"
#include "project/NumberText.h"

namespace korvane {

std::vector<ColumnStatistics> StatisticsColumns(const DbHeader& header) {
    std::vector<ColumnStatistics> columns;
    for (std::size_t i = 1; i + 1 < header.names.size(); ++i) {
        ColumnStatistics c;
        c.name = header.names[i];
        c.field = i;
        columns.push_back(c);
    }
    return columns;
}

bool ComputeStatistics(const std::string& path, bool includeInvalid, const ProgressFn& progress,
                       StatisticsResult& result) {
    result = StatisticsResult{};
    DataLineScan scan;
    if (!scan.open(path, includeInvalid, result.error)) return false;
    result.columns = StatisticsColumns(scan.header());
    auto& columns = result.columns;
    std::vector<std::size_t> fields;
    for (const auto& c : columns) fields.push_back(c.field);
    scan.readNumbers(fields);
    std::vector<RunningMean> means(columns.size());
    DbReader::Line line;

    // First pass: count, range, mean.
    scan.setProgress(&progress, 0.0, 0.5);
    std::int64_t used = 0;
    while (scan.next(line)) {
        for (std::size_t i = 0; i < columns.size(); ++i) {
            auto& c = columns[i];
            const double v = scan.value(c.field);
            if (used == 0) {
                c.minimum = c.maximum = v;
            } else if (v < c.minimum) {
                c.minimum = v;
            } else if (v > c.maximum) {
                c.maximum = v;
            }
            c.sum += v;
            means[i].add(v);
        }
        ++used;
    }
    if (scan.stopped()) {
        result = {StatisticsColumns(scan.header()), 0, scan.skipped(), false, true, {}};
        return false;
    }
    if (!scan.error().empty()) {
        result = {StatisticsColumns(scan.header()), 0, 0, false, false, scan.error()};
        return false;
    }
    result.used = used;
    result.skipped = scan.skipped();
    result.unreadable = scan.unreadable();
    for (std::size_t i = 0; i < columns.size(); ++i) columns[i].mean = means[i].mean();

    // Second pass: squared deviations from the mean.
    if (!scan.open(path, includeInvalid, result.error)) return false;
    scan.setProgress(&progress, 0.5, 0.5);
    while (scan.next(line)) {
        for (auto& c : columns) {
            const double d = scan.value(c.field) - c.mean;
            c.squares += d * d;
        }
    }
    if (scan.stopped() || !scan.error().empty()) {
        const bool stopped = scan.stopped();
        result = {StatisticsColumns(scan.header()), 0, result.skipped, false, stopped, scan.error()};
        return false;
    }
    for (auto& c : columns) {
        c.variance = used > 0 ? c.squares / static_cast<double>(used) : 0.0;
        c.deviation = std::sqrt(c.variance);
    }
    result.complete = true;
    if (progress) progress(1.0);
    return true;
}

std::vector<std::vector<std::string>> StatisticsTable(const StatisticsResult& result) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"", "最小", "平均", "最大", "分散", "標準偏差"});
    for (const auto& c : result.columns) {
        std::vector<std::string> row{c.name};
        if (!result.complete) {
            row.resize(6);
        } else if (result.used == 0) {
            row.resize(6, "-");
            row[0] = c.name;
        } else {
            for (double v : {c.minimum, c.mean, c.maximum, c.variance, c.deviation})
                row.push_back(FormatChart(v, "0.000e+0"));
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace korvane

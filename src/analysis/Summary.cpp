#include "analysis/Summary.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "db/Csv.h"
#include "project/NumberText.h"

namespace korvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<OutputSummary> SummaryOutputs(const DbHeader& header) {
    std::vector<OutputSummary> outputs;
    for (std::size_t field : header.outputColumns()) {
        if (field >= header.names.size()) continue;
        OutputSummary o;
        o.name = header.names[field];
        o.field = field;
        outputs.push_back(std::move(o));
    }
    return outputs;
}

std::string Figure(double v, const char* pattern) { return std::isnan(v) ? "-" : FormatChart(v, pattern); }

}  // namespace

double SortedQuantile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return kNaN;
    const double h = static_cast<double>(sorted.size() - 1) * std::clamp(p, 0.0, 1.0);
    const std::size_t low = static_cast<std::size_t>(std::floor(h));
    if (low + 1 >= sorted.size()) return sorted.back();
    const double a = sorted[low], b = sorted[low + 1];
    // Equal neighbours give the value itself, not a rounded blend of it.
    return a == b ? a : a + (h - static_cast<double>(low)) * (b - a);
}

bool ComputeSummary(const std::string& path, bool includeInvalid, const ProgressFn& progress,
                    SummaryResult& result) {
    result = SummaryResult{};
    DataLineScan scan;
    // Every line that fits comes through, invalid or not, so the share sees
    // them all; which values are taken is decided here.
    if (!scan.open(path, true, result.error)) return false;
    result.outputs = SummaryOutputs(scan.header());
    auto& outputs = result.outputs;
    std::vector<std::vector<double>> values(outputs.size());
    scan.setProgress(&progress, 0.0, 1.0);
    DbReader::Line line;
    while (scan.next(line)) {
        ++result.lines;
        const bool take = line.valid || includeInvalid;
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            double v = 0;
            if (take && CsvValue(line.fields[outputs[i].field], v)) {
                outputs[i].running.add(v, line.valid);
                values[i].push_back(v);
            } else {
                if (take) ++result.unreadable;
                outputs[i].running.leaveOut(line.valid);
            }
        }
    }
    if (scan.stopped() || !scan.error().empty()) {
        const bool stopped = scan.stopped();
        const std::int64_t skipped = scan.skipped();
        result = SummaryResult{SummaryOutputs(scan.header()), 0, skipped, 0, stopped, scan.error()};
        return false;
    }
    result.skipped = scan.skipped();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        auto& o = outputs[i];
        const double half = o.running.halfWidth(kSummaryPercent);
        o.meanInterval = {o.running.mean() - half, o.running.mean() + half};
        auto& v = values[i];
        std::sort(v.begin(), v.end());
        o.q05 = SortedQuantile(v, 0.05);
        o.q50 = SortedQuantile(v, 0.50);
        o.q95 = SortedQuantile(v, 0.95);
        std::vector<double>().swap(v);
    }
    if (progress) progress(1.0);
    return true;
}

std::string UnreadableValuesMessage(std::int64_t unreadable) {
    if (unreadable == 0) return {};
    return "数値として読めない値（範囲外の数値） " + std::to_string(unreadable) + " 個は集計から除きました。";
}

std::vector<std::vector<std::string>> SummaryTable(const SummaryResult& result) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"", "データ数", "平均", "平均95%下限", "平均95%上限", "標準偏差(n-1)", "5%点", "50%点", "95%点",
                    "False率", "False率95%下限", "False率95%上限"});
    constexpr const char* kValue = "0.000e+0";
    constexpr const char* kShare = "0.00000";
    for (const auto& o : result.outputs) {
        const RunningSummary& r = o.running;
        const double mean = r.count() > 0 ? r.mean() : kNaN;
        const Interval share = r.invalidInterval(kSummaryPercent);
        rows.push_back({o.name, std::to_string(r.count()), Figure(mean, kValue), Figure(o.meanInterval.lower, kValue),
                        Figure(o.meanInterval.upper, kValue), Figure(r.deviation(), kValue), Figure(o.q05, kValue),
                        Figure(o.q50, kValue), Figure(o.q95, kValue), Figure(r.invalidShare(), kShare),
                        Figure(share.lower, kShare), Figure(share.upper, kShare)});
    }
    return rows;
}

}  // namespace korvane

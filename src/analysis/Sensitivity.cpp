#include "analysis/Sensitivity.h"

#include <cmath>

#include "db/Csv.h"
#include "project/NumberText.h"

namespace korvane {

namespace {
constexpr const char* kNormalFormat = "0.00000";

// A cell text that reads back as exactly 1: the largest of its column.
bool ReadsAsOne(const std::string& text) { return LeadingNumber(text) == 1.0; }
}  // namespace

void SensitivityColumns(const DbHeader& header, SensitivityResult& result) {
    result.inputs.clear();
    result.outputs.clear();
    result.inputFields.clear();
    result.outputFields.clear();
    for (std::size_t i = 0; i < header.kinds.size() && i < header.names.size(); ++i) {
        if (header.kinds[i] == kDbInputKind) {
            result.inputs.push_back(header.names[i]);
            result.inputFields.push_back(i);
        } else if (header.kinds[i] == kDbOutputKind) {
            result.outputs.push_back(header.names[i]);
        }
    }
    // An output column reads the first output field of its name.
    for (const auto& name : result.outputs) result.outputFields.push_back(header.findColumn(name, kDbOutputKind));
}

double SlopeChange(double sxx, double sxy, double xmin, double xmax) {
    if (!(sxx > 0) || xmin == xmax) return 0.0;
    return sxy / sxx * std::fabs(xmax - xmin);
}

bool ComputeSensitivity(const std::string& path, bool includeInvalid, const ProgressFn& progress,
                        SensitivityResult& result) {
    result = SensitivityResult{};
    DataLineScan scan;
    if (!scan.open(path, includeInvalid, result.error)) return false;
    SensitivityColumns(scan.header(), result);
    const std::size_t nIn = result.inputs.size();
    const std::size_t nOut = result.outputs.size();
    std::vector<std::size_t> fields(result.inputFields);
    for (int j : result.outputFields)
        if (j >= 0) fields.push_back(static_cast<std::size_t>(j));
    scan.readNumbers(fields);

    // Running means and the sums of squared deviations and of products of
    // deviations about them (updated line by line, so nothing cancels): those
    // of x are the same for every output, those of y for every input.
    std::vector<double> mx(nIn, 0.0), sxx(nIn, 0.0), xmin(nIn, 0.0), xmax(nIn, 0.0), dx(nIn, 0.0);
    std::vector<double> my(nOut, 0.0), y(nOut, 0.0), ymin(nOut, 0.0), ymax(nOut, 0.0), dyNew(nOut, 0.0);
    std::vector<double> sxy(nIn * nOut, 0.0);
    std::int64_t n = 0;
    DbReader::Line line;
    scan.setProgress(&progress, 0.0, 1.0);
    while (scan.next(line)) {
        ++n;
        const double nn = static_cast<double>(n);
        for (std::size_t c = 0; c < nOut; ++c) {
            const int j = result.outputFields[c];
            y[c] = j >= 0 ? scan.value(static_cast<std::size_t>(j)) : 0.0;
            if (n == 1) {
                ymin[c] = ymax[c] = y[c];
            } else if (y[c] < ymin[c]) {
                ymin[c] = y[c];
            } else if (y[c] > ymax[c]) {
                ymax[c] = y[c];
            }
            my[c] += (y[c] - my[c]) / nn;
            dyNew[c] = y[c] - my[c];  // the deviation from the updated mean
        }
        for (std::size_t r = 0; r < nIn; ++r) {
            const double v = scan.value(result.inputFields[r]);
            if (n == 1) {
                xmin[r] = xmax[r] = v;
            } else if (v < xmin[r]) {
                xmin[r] = v;
            } else if (v > xmax[r]) {
                xmax[r] = v;
            }
            const double d = v - mx[r];  // the deviation from the previous mean
            mx[r] += d / nn;
            sxx[r] += d * (v - mx[r]);
            double* row = &sxy[r * nOut];
            for (std::size_t c = 0; c < nOut; ++c) row[c] += d * dyNew[c];
        }
    }
    result.skipped = scan.skipped();
    result.unreadable = scan.unreadable();
    if (scan.stopped() || !scan.error().empty()) {
        result.stopped = scan.stopped();
        result.error = scan.error();
        return false;
    }
    result.used = n;
    result.change.assign(nIn, std::vector<double>(nOut, 0.0));
    result.constantOutput.assign(nOut, false);
    for (std::size_t c = 0; c < nOut; ++c) result.constantOutput[c] = n > 0 && ymin[c] == ymax[c];
    for (std::size_t r = 0; r < nIn; ++r)
        for (std::size_t c = 0; c < nOut; ++c)
            result.change[r][c] =
                result.constantOutput[c] ? 0.0 : SlopeChange(sxx[r], sxy[r * nOut + c], xmin[r], xmax[r]);
    result.complete = true;
    if (progress) progress(1.0);
    return true;
}

SensitivityTable::SensitivityTable(const SensitivityResult& columns) {
    const std::size_t nOut = columns.outputs.size();
    const std::size_t width = nOut + 2;
    cells_.assign(2, std::vector<std::string>(width));
    cells_[1][0] = kObjectiveTitle;
    for (std::size_t c = 0; c < nOut; ++c) {
        cells_[0][c + 1] = columns.outputs[c];
        cells_[1][c + 1] = kNoObjective;
    }
    cells_[0][width - 1] = kTotalTitle;
    cells_[1][width - 1] = "*****";
    for (const auto& name : columns.inputs) {
        cells_.emplace_back(width);
        cells_.back()[0] = name;
    }
    marks_.assign(cells_.size(), std::vector<bool>(width, false));
}

void SensitivityTable::fill(const SensitivityResult& result) {
    const std::size_t nOut = outputCount();
    for (std::size_t c = 1; c <= nOut; ++c) {
        if (c - 1 < result.constantOutput.size() && result.constantOutput[c - 1]) {
            // Nothing to be sensitive about: no value, rather than rounding
            // noise normalised to look like one.
            for (std::size_t r = 2; r < rowCount(); ++r) cells_[r][c] = kConstantOutput;
            continue;
        }
        // The raw |s| as number text, then each over the column's largest.
        double m = 0;
        for (std::size_t r = 2; r < rowCount(); ++r) {
            cells_[r][c] = GeneralNumber(std::fabs(result.change[r - 2][c - 1]));
            m = Max_Val(m, cells_[r][c]);
        }
        if (m == 0) continue;
        for (std::size_t r = 2; r < rowCount(); ++r) {
            cells_[r][c] = FormatChart(std::fabs(LeadingNumber(cells_[r][c])) / m, kNormalFormat);
            marks_[r][c] = ReadsAsOne(cells_[r][c]);
        }
    }
    sumSensitivity();
}

void SensitivityTable::setObjective(std::size_t column, const std::string& objective) {
    if (column < 1 || column > outputCount()) return;
    cells_[1][column] = objective;
    sumSensitivity();
}

void SensitivityTable::sumSensitivity() {
    const std::size_t last = columnCount() - 1;
    for (std::size_t r = 2; r < rowCount(); ++r) {
        cells_[r][last].clear();
        marks_[r][last] = false;
    }
    std::vector<std::size_t> marked;
    for (std::size_t c = 1; c <= outputCount(); ++c)
        if (cells_[1][c] == kMaximise || cells_[1][c] == kMinimise) marked.push_back(c);
    if (marked.empty()) return;
    std::vector<double> totals;
    double m = 0;
    for (std::size_t r = 2; r < rowCount(); ++r) {
        double total = 0;
        for (std::size_t c : marked) total += LeadingNumber(cells_[r][c]);
        totals.push_back(total);
        m = std::max(m, std::fabs(total));
    }
    for (std::size_t r = 2; r < rowCount(); ++r) {
        const double total = totals[r - 2];
        if (m == 0) {
            cells_[r][last] = GeneralNumber(total);
            continue;
        }
        cells_[r][last] = FormatChart(total / m, kNormalFormat);
        marks_[r][last] = ReadsAsOne(cells_[r][last]);
    }
}

std::vector<double> SensitivityTable::columnValues(std::size_t column, std::size_t first) const {
    std::vector<double> values;
    for (std::size_t r = first; r < rowCount(); ++r) values.push_back(LeadingNumber(cells_[r][column]));
    return values;
}

}  // namespace korvane

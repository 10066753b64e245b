#include "analysis/SobolDesign.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <unistd.h>

#include "db/Csv.h"

namespace korvane::sobol {

namespace {

// Rows read before the memory the whole file needs is estimated.
constexpr std::size_t kRowsBeforeEstimate = 2000;

std::uint64_t AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kb = 0;
    std::string unit;
    while (meminfo >> key >> kb >> unit)
        if (key == "MemAvailable:") return kb * 1024;
    const long pages = ::sysconf(_SC_AVPHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && size > 0) return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
    return std::uint64_t{1} << 31;
}

std::string Megabytes(std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20); }

bool Refuse(SobolResult& result, const std::string& path, std::uint64_t need, std::uint64_t limit) {
    result.tooLarge = true;
    result.error = "DBファイルが大きすぎてメモリに読み込めません（必要 約" + Megabytes(need) + " MB、使用可能 約" +
                   Megabytes(limit) + " MB）: " + path;
    return false;
}

// Which input AB line `row` takes from B, given A and B: the one varying
// input where it differs from A, when it equals B's there. False when it
// differs in none or in more than one, or not to B's value.
bool ChangedInput(const Rows& rows, std::size_t a, std::size_t row, const std::vector<std::size_t>& varying,
                  std::size_t& changed) {
    const double* A = rows.input(a);
    const double* B = rows.input(a + 1);
    const double* X = rows.input(row);
    bool found = false;
    for (std::size_t m : varying) {
        if (X[m] == A[m]) continue;
        if (found || X[m] != B[m]) return false;
        found = true;
        changed = m;
    }
    return found;
}

// The AB line `row` of the group beginning at `a` follows the layout: A's
// inputs except `m`, which is B's.
bool FollowsLayout(const Rows& rows, std::size_t a, std::size_t row, std::size_t m,
                   const std::vector<std::size_t>& varying) {
    const double* A = rows.input(a);
    const double* B = rows.input(a + 1);
    const double* X = rows.input(row);
    for (std::size_t u : varying)
        if (X[u] != (u == m ? B[u] : A[u])) return false;
    return true;
}

bool AllDiffer(const Rows& rows, std::size_t a, const std::vector<std::size_t>& varying) {
    for (std::size_t m : varying)
        if (rows.input(a)[m] == rows.input(a + 1)[m]) return false;
    return true;
}

}  // namespace

bool ReadRows(const std::string& path, const SobolOptions& options, const ProgressFn& progress, Rows& rows,
              SobolResult& result) {
    DataLineScan scan;
    // False lines are kept in their place: a design's groups need them.
    if (!scan.open(path, true, result.error)) return false;
    const DbHeader& header = scan.header();
    for (std::size_t f : header.inputColumns()) {
        if (f >= header.names.size()) continue;
        result.inputs.push_back(header.names[f]);
        result.inputFields.push_back(f);
    }
    for (std::size_t f : header.outputColumns()) {
        if (f >= header.names.size()) continue;
        SobolOutputIndices o;
        o.name = header.names[f];
        o.field = f;
        result.outputs.push_back(std::move(o));
    }
    if (result.inputs.empty() || result.outputs.empty()) {
        result.error = "DBファイルの種別行に入力または出力の列がありません: " + path;
        return false;
    }
    rows.nIn = result.inputs.size();
    rows.nOut = result.outputs.size();
    scan.readNumbers(result.inputFields);
    scan.setProgress(&progress, 0.0, 0.5);

    const std::uint64_t limit = options.memoryLimit > 0 ? options.memoryLimit : AvailableMemory() / 10 * 8;
    const std::uint64_t perRow = Rows::bytesPerRow(rows.nIn, rows.nOut);
    std::int64_t passed = 0;  // lines the scan left out so far
    std::size_t nextEstimate = kRowsBeforeEstimate;
    int block = -1;
    DbReader::Line line;
    while (scan.next(line)) {
        const std::int64_t nowPassed = scan.skipped() + scan.unreadable();
        std::uint8_t flags = line.valid ? Rows::kValid : 0;
        if (line.block != block) {
            // Lines left out before the first line of a later block belong
            // to either block, and are not placed; those before the file's
            // first line are its first lines, in their places.
            const bool first = block < 0;
            block = line.block;
            if (first && passed < nowPassed) {
                rows.addPlaceholder(line.lineNumber);
                rows.flags.back() |= Rows::kBlockStart;
                ++passed;
            } else {
                flags |= Rows::kBlockStart;
            }
        }
        for (; passed < nowPassed; ++passed) rows.addPlaceholder(line.lineNumber);
        passed = nowPassed;
        for (std::size_t f : result.inputFields) rows.in.push_back(scan.value(f));
        for (const auto& o : result.outputs) {
            double v = 0;
            rows.out.push_back(CsvValue(line.fields[o.field], v) ? v : kNaN);
        }
        rows.flags.push_back(flags);
        rows.lineNumber.push_back(line.lineNumber);
        if (rows.count() == nextEstimate) {
            // Again each time the rows have doubled: the first lines may be
            // longer than the rest.
            nextEstimate *= 2;
            const double share = std::max(scan.done(), 1e-9);
            const double expected = static_cast<double>(rows.count()) / share * 1.05 + 16;
            const double need = expected * static_cast<double>(perRow);
            if (need > static_cast<double>(limit)) return Refuse(result, path, static_cast<std::uint64_t>(need), limit);
            if (nextEstimate == 2 * kRowsBeforeEstimate) rows.reserve(static_cast<std::size_t>(expected));
        }
    }
    result.skipped = scan.skipped();
    result.unreadable = scan.unreadable();
    if (scan.stopped() || !scan.error().empty()) {
        result.stopped = scan.stopped();
        result.error = scan.error();
        return false;
    }
    if (static_cast<double>(rows.count()) * static_cast<double>(perRow) > static_cast<double>(limit))
        return Refuse(result, path, rows.count() * perRow, limit);
    return true;
}

Recognition Recognise(const Rows& rows) {
    Recognition d;
    const std::size_t n = rows.count();
    std::vector<double> lo(rows.nIn, std::numeric_limits<double>::infinity()), hi(rows.nIn, -lo[0]);
    for (std::size_t r = 0; r < n; ++r) {
        if (!rows.real(r) || (rows.flags[r] & Rows::kBlockStart)) continue;
        const double* x = rows.input(r);
        for (std::size_t m = 0; m < rows.nIn; ++m) {
            lo[m] = std::min(lo[m], x[m]);
            hi[m] = std::max(hi[m], x[m]);
        }
    }
    for (std::size_t m = 0; m < rows.nIn; ++m)
        if (hi[m] > lo[m]) d.varying.push_back(m);
    const std::size_t k = d.varying.size();
    if (k == 0) return d;
    const std::size_t g = k + 2;

    // Whole groups and the rows after them, block by block.
    struct Span {
        std::size_t first, size;
    };
    std::vector<Span> whole, tails;
    for (std::size_t s = 0; s < n;) {
        std::size_t e = s + 1;
        while (e < n && !(rows.flags[e] & Rows::kBlockStart)) ++e;
        std::size_t r = s + 1;
        for (; r + g <= e; r += g) whole.push_back({r, g});
        if (r < e) tails.push_back({r, e - r});
        s = e;
    }
    d.wholeGroups = static_cast<std::int64_t>(whole.size());
    for (const auto& t : tails) d.unfinished += static_cast<std::int64_t>(t.size);

    const auto placeable = [&](std::size_t first, std::size_t size) {
        for (std::size_t r = first; r < first + size; ++r)
            if (!rows.real(r)) return false;
        return true;
    };
    std::int64_t matched = 0;
    std::int64_t breakRow = -1;
    for (const auto& span : whole) {
        if (!placeable(span.first, g)) continue;
        const std::size_t a = span.first;
        // The first two groups must show the layout plainly: A and B apart
        // in every input, so that no line matches by chance.
        if (matched < 2 && !AllDiffer(rows, a, d.varying)) {
            breakRow = static_cast<std::int64_t>(a + 1);
            break;
        }
        if (d.changed.empty()) {
            std::vector<std::size_t> changed(k);
            std::vector<bool> taken(rows.nIn, false);
            bool ok = true;
            for (std::size_t t = 0; t < k && ok; ++t) {
                ok = ChangedInput(rows, a, a + 2 + t, d.varying, changed[t]) && !taken[changed[t]];
                if (ok) taken[changed[t]] = true;
                else breakRow = static_cast<std::int64_t>(a + 2 + t);
            }
            if (!ok) break;
            d.changed = std::move(changed);
        } else {
            for (std::size_t t = 0; t < k && breakRow < 0; ++t)
                if (!FollowsLayout(rows, a, a + 2 + t, d.changed[t], d.varying))
                    breakRow = static_cast<std::int64_t>(a + 2 + t);
            if (breakRow >= 0) break;
        }
        ++matched;
        d.groups.push_back(a);
    }
    if (breakRow < 0 && matched > 0) {
        // The lines of an unfinished group must follow the layout as far as
        // they go.
        for (const auto& span : tails) {
            for (std::size_t t = 0; t + 2 < span.size && breakRow < 0; ++t) {
                const std::size_t a = span.first;
                if (!placeable(a, t + 3)) break;
                if (!FollowsLayout(rows, a, a + 2 + t, d.changed[t], d.varying))
                    breakRow = static_cast<std::int64_t>(a + 2 + t);
            }
        }
    }
    if (breakRow < 0 && matched > 0) {
        d.layout = Layout::Design;
    } else if (breakRow >= 0 && matched >= 2) {
        d.layout = Layout::Broken;
        d.brokenLine = rows.lineNumber[static_cast<std::size_t>(breakRow)];
    }
    if (d.layout != Layout::Design) {
        d.changed.clear();
        d.groups.clear();
    }
    return d;
}

}  // namespace korvane::sobol

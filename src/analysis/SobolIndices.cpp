#include "analysis/SobolIndices.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <new>
#include <numeric>
#include <random>
#include <thread>
#include <atomic>
#include <functional>
#include <unistd.h>

#include <boost/random/uniform_int_distribution.hpp>

#include "analysis/Summary.h"
#include "db/Csv.h"

namespace korvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A spread of no more than this share of the values' magnitude is the
// rounding of numbers written with 15 significant digits, not a variation.
constexpr double kRoundingSpread = 1e-12;
// Rows read before the memory the whole file needs is estimated.
constexpr std::size_t kRowsBeforeEstimate = 2000;

// The rows of the file as read: every input of every line, every output (NaN
// where it cannot be read) and what is known of the line.
struct Rows {
    std::size_t nIn = 0, nOut = 0;
    std::vector<double> in;              // nIn per row
    std::vector<double> out;             // nOut per row
    std::vector<std::uint8_t> flags;     // kValid, kPlaceholder, kBlockStart
    std::vector<std::int64_t> lineNumber;
    std::size_t count() const { return flags.size(); }
    const double* input(std::size_t r) const { return &in[r * nIn]; }
    double output(std::size_t r, std::size_t o) const { return out[r * nOut + o]; }
    bool real(std::size_t r) const { return (flags[r] & kPlaceholder) == 0; }
    bool valid(std::size_t r) const { return (flags[r] & kValid) != 0; }
    static constexpr std::uint8_t kValid = 1, kPlaceholder = 2, kBlockStart = 4;

    void reserve(std::size_t rows) {
        in.reserve(rows * nIn);
        out.reserve(rows * nOut);
        flags.reserve(rows);
        lineNumber.reserve(rows);
    }
    void addPlaceholder(std::int64_t line) {
        in.insert(in.end(), nIn, kNaN);
        out.insert(out.end(), nOut, kNaN);
        flags.push_back(kPlaceholder);
        lineNumber.push_back(line);
    }
    static std::uint64_t bytesPerRow(std::size_t nIn, std::size_t nOut) {
        // The columns and, while the indices are computed, a copy of the
        // outputs per output.
        return 8 * (nIn + 2 * nOut) + 1 + 8;
    }
};

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

bool Varies(double lo, double hi) {
    if (!(hi > lo)) return false;
    return hi - lo > kRoundingSpread * std::max(std::fabs(lo), std::fabs(hi));
}

// Reads every line once. False with result.error / result.stopped.
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
            if (need > static_cast<double>(limit)) {
                result.tooLarge = true;
                result.error = "DBファイルが大きすぎてメモリに読み込めません（必要 約" +
                               Megabytes(static_cast<std::uint64_t>(need)) + " MB、使用可能 約" + Megabytes(limit) +
                               " MB）: " + path;
                return false;
            }
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
    if (static_cast<double>(rows.count()) * static_cast<double>(perRow) > static_cast<double>(limit)) {
        result.tooLarge = true;
        result.error = "DBファイルが大きすぎてメモリに読み込めません（必要 約" +
                       Megabytes(rows.count() * perRow) + " MB、使用可能 約" + Megabytes(limit) + " MB）: " + path;
        return false;
    }
    return true;
}

// ------------------------------------------------------------ the design

enum class Layout { GivenData, Design, Broken };

struct Recognition {
    Layout layout = Layout::GivenData;
    std::vector<std::size_t> varying;     // inputs that vary over the design lines
    std::vector<std::size_t> changed;     // per AB line of a group: the input it takes from B
    std::vector<std::size_t> groups;      // first row of every whole group that matches
    std::int64_t wholeGroups = 0;         // whole groups, matching or not placeable
    std::int64_t unfinished = 0;          // rows after the last whole group of each block
    std::int64_t brokenLine = 0;          // the first line that breaks the layout
};

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

// ------------------------------------------------------------ estimates

// The bootstrap's percentile interval from the resampled values (those that
// have a value).
Interval Percentiles(std::vector<double>& values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return !std::isfinite(v); }),
                 values.end());
    if (values.empty()) return {kNaN, kNaN};
    std::sort(values.begin(), values.end());
    const double tail = (100 - kSobolPercent) / 200;
    return {SortedQuantile(values, tail), SortedQuantile(values, 1 - tail)};
}

// Runs body(r, engine, worker) for the resamples r = 0 .. resamples - 1 on
// the machine's cores. Each resample draws from an engine of its own, seeded
// from the seed, `stream` and r, so the figures do not depend on how many
// threads ran them. `worker` (0 .. Workers() - 1) picks the caller's
// scratch space. The progress is told from the calling thread only. False
// when it asked to stop.
using ResampleBody = std::function<void(int r, std::mt19937_64& engine, unsigned worker)>;

unsigned Workers() { return std::clamp(std::thread::hardware_concurrency(), 1u, 8u); }

bool Resample(const SobolOptions& options, std::size_t stream, int resamples, const ProgressFn& progress,
              double base, double share, const ResampleBody& body) {
    std::atomic<int> nextResample{0}, finished{0};
    std::atomic<bool> stop{false};
    const auto work = [&](unsigned worker) {
        for (int r; !stop.load(std::memory_order_relaxed) && (r = nextResample++) < resamples;) {
            std::seed_seq seq{static_cast<std::uint32_t>(options.seed), static_cast<std::uint32_t>(options.seed >> 32),
                              static_cast<std::uint32_t>(stream), static_cast<std::uint32_t>(r)};
            std::mt19937_64 engine(seq);
            body(r, engine, worker);
            ++finished;
            if (worker == 0 && progress &&
                !progress(base + share * static_cast<double>(finished.load()) / static_cast<double>(resamples)))
                stop = true;
        }
    };
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < Workers(); ++w) threads.emplace_back(work, w);
    work(0);
    for (auto& t : threads) t.join();
    return !stop;
}

// The sums of one (re)sample of groups: [fA, fB, fAB(1..k)] per group,
// centred.
struct DesignSums {
    double a = 0, b = 0, aa = 0, bb = 0, n = 0;
    std::vector<double> first, total;
    explicit DesignSums(std::size_t k) : first(k, 0.0), total(k, 0.0) {}
    void add(const double* p, std::size_t k) {
        const double fa = p[0], fb = p[1];
        a += fa;
        b += fb;
        aa += fa * fa;
        bb += fb * fb;
        n += 1;
        for (std::size_t t = 0; t < k; ++t) {
            const double d = p[2 + t] - fa;
            first[t] += fb * d;
            total[t] += d * d;
        }
    }
    double variance() const {
        const double mean = (a + b) / (2 * n);
        return (aa + bb) / (2 * n) - mean * mean;
    }
};

// False when stopped.
bool DesignOutput(const Rows& rows, const Recognition& d, std::size_t o, const SobolOptions& options,
                  const ProgressFn& progress, double base, double share, SobolOutputIndices& out) {
    const std::size_t stream = o;
    const std::size_t k = d.varying.size(), g = k + 2;
    std::vector<double> values;
    values.reserve(d.groups.size() * g);
    double lo = std::numeric_limits<double>::infinity(), hi = -lo, sum = 0;
    for (std::size_t a : d.groups) {
        bool usable = true;
        for (std::size_t r = a; r < a + g && usable; ++r)
            usable = !std::isnan(rows.output(r, o)) && (options.includeInvalid || rows.valid(r));
        if (!usable) continue;
        for (std::size_t r = a; r < a + g; ++r) {
            const double v = rows.output(r, o);
            values.push_back(v);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        sum += rows.output(a, o) + rows.output(a + 1, o);
    }
    const std::size_t n = values.size() / g;
    out.used = static_cast<std::int64_t>(n);
    out.leftOut = d.wholeGroups - out.used;
    out.varies = Varies(lo, hi);
    if (!out.varies || out.used < kMinSobolGroups) return true;
    const double centre = sum / static_cast<double>(2 * n);
    for (double& v : values) v -= centre;

    const auto estimate = [&](const DesignSums& s, std::vector<double>& first, std::vector<double>& total) {
        const double v = s.variance();
        for (std::size_t t = 0; t < k; ++t) {
            first[t] = v > 0 ? s.first[t] / s.n / v : kNaN;
            total[t] = v > 0 ? s.total[t] / (2 * s.n) / v : kNaN;
        }
        return v;
    };
    DesignSums all(k);
    for (std::size_t j = 0; j < n; ++j) all.add(&values[j * g], k);
    std::vector<double> first(k), total(k);
    out.variance = estimate(all, first, total);

    const int resamples = std::max(options.resamples, 1);
    std::vector<std::vector<double>> bootFirst(k, std::vector<double>(resamples)), bootTotal = bootFirst;
    const boost::random::uniform_int_distribution<std::size_t> pick(0, n - 1);
    const bool finished = Resample(options, stream, resamples, progress, base, share,
                                   [&](int r, std::mt19937_64& engine, unsigned) {
                                       DesignSums s(k);
                                       auto draw = pick;
                                       for (std::size_t j = 0; j < n; ++j) s.add(&values[draw(engine) * g], k);
                                       std::vector<double> f(k), t(k);
                                       estimate(s, f, t);
                                       for (std::size_t i = 0; i < k; ++i) {
                                           bootFirst[i][r] = f[i];
                                           bootTotal[i][r] = t[i];
                                       }
                                   });
    if (!finished) return false;
    double sumFirst = 0;
    for (std::size_t i = 0; i < k; ++i) {
        SobolInputIndices& x = out.inputs[d.changed[i]];
        x.first = {first[i], Percentiles(bootFirst[i])};
        x.total = {total[i], Percentiles(bootTotal[i])};
        sumFirst += first[i];
    }
    out.interactions = 1 - sumFirst;
    return true;
}

// ------------------------------------------------------------ given data

// The bins of one input: the lines sorted by it, cut into about sqrt(n) bins
// of equal count, equal values kept together.
std::vector<std::uint32_t> Bins(const std::vector<double>& x, std::uint32_t& binCount) {
    const std::size_t n = x.size();
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t p, std::uint32_t q) { return x[p] < x[q]; });
    const std::size_t bins = std::max<std::size_t>(2, static_cast<std::size_t>(std::llround(std::sqrt(double(n)))));
    std::vector<std::uint32_t> bin(n);
    std::uint32_t current = 0;
    for (std::size_t p = 0; p < n; ++p) {
        const std::uint32_t b = static_cast<std::uint32_t>(p * bins / n);
        if (p == 0 || x[order[p]] != x[order[p - 1]]) current = b;
        bin[order[p]] = current;
    }
    binCount = static_cast<std::uint32_t>(bins);
    return bin;
}

// S1 by the epsilon-squared estimator from the lines weighted by `weight`
// (1 each, or how often a resample drew them). The chance part of the sum of
// squares between the bins is the noise of the bin means: sigma^2 times
// (sum over bins of Q_b / C_b - Q / W), with C_b the weight of bin b, Q_b the
// sum of its squared weights, W and Q those of all lines; sigma^2 comes from
// the sum of squares within the bins over (W - sum of Q_b / C_b). With unit
// weights these are B - 1 and n - B, the textbook correction; with the
// repeated lines of a resample they keep the resampled figures as unbiased
// as the estimate, so the percentile interval is not pushed upwards. NaN
// when it has no value.
// The lines of a (re)sample: those drawn, each with its weight c and the
// products c y and c^2 the bins add up, and the totals over all of them.
struct Drawn {
    std::vector<std::uint32_t> line;
    std::vector<double> c, cy, cc;
    double w = 0, q = 0, sy = 0, syy = 0;

    // `counts` null: every line once.
    void take(const std::vector<double>& y, const std::vector<std::uint32_t>* counts) {
        line.clear();
        c.clear();
        cy.clear();
        cc.clear();
        w = q = sy = syy = 0;
        for (std::size_t j = 0; j < y.size(); ++j) {
            const double k = counts ? (*counts)[j] : 1.0;
            if (k == 0) continue;
            line.push_back(static_cast<std::uint32_t>(j));
            c.push_back(k);
            cy.push_back(k * y[j]);
            cc.push_back(k * k);
            w += k;
            q += k * k;
            sy += k * y[j];
            syy += k * y[j] * y[j];
        }
    }
};

struct GivenDataSums {
    std::vector<double> count, sum, squares;
    double first(const Drawn& d, const std::vector<std::uint32_t>& bin, std::uint32_t bins) {
        count.assign(bins, 0.0);
        sum.assign(bins, 0.0);
        squares.assign(bins, 0.0);
        for (std::size_t t = 0; t < d.line.size(); ++t) {
            const std::uint32_t b = bin[d.line[t]];
            count[b] += d.c[t];
            sum[b] += d.cy[t];
            squares[b] += d.cc[t];
        }
        const double sst = d.syy - d.sy * d.sy / d.w;
        double between = 0, filled = 0, spread = 0;
        for (std::uint32_t b = 0; b < bins; ++b) {
            if (count[b] == 0) continue;
            between += sum[b] * sum[b] / count[b];
            spread += squares[b] / count[b];
            filled += 1;
        }
        const double ssb = between - d.sy * d.sy / d.w;
        const double noise = spread - d.q / d.w, within = d.w - spread;
        if (!(sst > 0) || filled < 2 || !(within > 0)) return kNaN;
        const double ssw = std::max(0.0, sst - ssb);
        return (ssb - noise * ssw / within) / sst;
    }
};

bool GivenDataOutput(const Rows& rows, const std::vector<std::size_t>& usable, std::size_t o,
                     const std::vector<bool>& inputVaries, const SobolOptions& options, const ProgressFn& progress,
                     double base, double share, SobolOutputIndices& out) {
    const std::size_t stream = o;
    std::vector<std::size_t> lines;
    std::vector<double> y;
    double lo = std::numeric_limits<double>::infinity(), hi = -lo, sum = 0;
    for (std::size_t r : usable) {
        const double v = rows.output(r, o);
        if (std::isnan(v)) continue;
        lines.push_back(r);
        y.push_back(v);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
        sum += v;
    }
    const std::size_t n = y.size();
    out.used = static_cast<std::int64_t>(n);
    out.leftOut = static_cast<std::int64_t>(usable.size() - n);
    out.varies = Varies(lo, hi);
    if (!out.varies || out.used < kMinSobolLines) return true;
    const double centre = sum / static_cast<double>(n);
    double ss = 0;
    for (double& v : y) {
        v -= centre;
        ss += v * v;
    }
    out.variance = ss / static_cast<double>(n);

    struct Input {
        std::size_t m;
        std::vector<std::uint32_t> bin;
        std::uint32_t bins = 0;
        std::vector<double> boot;
    };
    std::vector<Input> inputs;
    std::vector<double> x(n);
    for (std::size_t m = 0; m < rows.nIn; ++m) {
        if (!inputVaries[m]) continue;
        double xl = std::numeric_limits<double>::infinity(), xh = -xl;
        for (std::size_t j = 0; j < n; ++j) {
            x[j] = rows.input(lines[j])[m];
            xl = std::min(xl, x[j]);
            xh = std::max(xh, x[j]);
        }
        if (!(xh > xl)) continue;  // constant over this output's lines
        Input in{m, {}, 0, {}};
        in.bin = Bins(x, in.bins);
        inputs.push_back(std::move(in));
    }
    GivenDataSums sums;
    Drawn everyLine;
    everyLine.take(y, nullptr);
    double sumFirst = 0;
    std::vector<double> first(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        first[i] = sums.first(everyLine, inputs[i].bin, inputs[i].bins);
        sumFirst += first[i];
    }
    const int resamples = std::max(options.resamples, 1);
    for (auto& in : inputs) in.boot.resize(resamples);
    const boost::random::uniform_int_distribution<std::size_t> pick(0, n - 1);
    std::vector<std::vector<std::uint32_t>> weights(Workers(), std::vector<std::uint32_t>(n));
    std::vector<GivenDataSums> scratch(Workers());
    std::vector<Drawn> drawn(Workers());
    const bool finished = Resample(options, stream, resamples, progress, base, share,
                                   [&](int r, std::mt19937_64& engine, unsigned worker) {
                                       auto& weight = weights[worker];
                                       std::fill(weight.begin(), weight.end(), 0u);
                                       auto draw = pick;
                                       for (std::size_t j = 0; j < n; ++j) ++weight[draw(engine)];
                                       drawn[worker].take(y, &weight);
                                       for (auto& in : inputs)
                                           in.boot[r] = scratch[worker].first(drawn[worker], in.bin, in.bins);
                                   });
    if (!finished) return false;
    for (std::size_t i = 0; i < inputs.size(); ++i)
        out.inputs[inputs[i].m].first = {first[i], Percentiles(inputs[i].boot)};
    out.interactions = 1 - sumFirst;
    return true;
}

}  // namespace

std::string SobolFigure(double value) {
    if (!std::isfinite(value)) return "-";
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    if (ec != std::errc()) return "-";
    std::string text(buffer, end);
    if (text == "-0.000") return "0.000";
    return text;
}

bool ComputeSobolIndices(const std::string& path, const SobolOptions& options, const ProgressFn& progress,
                         SobolResult& result) {
    result = SobolResult{};
    result.resamples = std::max(options.resamples, 1);
    Rows rows;
    try {
        if (!ReadRows(path, options, progress, rows, result)) return false;
    } catch (const std::bad_alloc&) {
        result.tooLarge = true;
        result.error = "DBファイルが大きすぎてメモリに読み込めません: " + path;
        return false;
    }
    for (std::size_t r = 0; r < rows.count(); ++r)
        if (rows.real(r)) ++result.lines;
    for (auto& o : result.outputs) o.inputs.assign(rows.nIn, SobolInputIndices{});

    const Recognition d = Recognise(rows);
    if (d.layout == Layout::Broken) {
        result.brokenDesign = true;
        result.error = "DBファイルはSaltelli計画の群（A, B, AB(1)..AB(k)、1群 " + std::to_string(d.varying.size() + 2) +
                       " 行）として始まっていますが、" + std::to_string(d.brokenLine) +
                       " 行目で並びが崩れています。計画どおりに計算したDBファイルを指定してください: " + path;
        return false;
    }
    result.inputVaries.assign(rows.nIn, false);
    const std::size_t nOut = result.outputs.size();
    const double share = nOut > 0 ? 0.5 / static_cast<double>(nOut) : 0.5;
    try {
        if (d.layout == Layout::Design) {
            result.estimate = SobolEstimate::Design;
            for (std::size_t m : d.varying) result.inputVaries[m] = true;
            result.groups = d.wholeGroups;
            result.groupSize = static_cast<std::int64_t>(d.varying.size() + 2);
            result.unfinishedLines = d.unfinished;
            const auto matched = static_cast<std::int64_t>(d.groups.size());
            if (matched < kMinSobolGroups) {
                result.tooFew = true;
                result.error = "Saltelli計画の群が " + std::to_string(matched) + " 個しかありません。指数と" +
                               "そのブートストラップ区間には " + std::to_string(kMinSobolGroups) +
                               " 個以上の群が必要です: " + path;
                return false;
            }
            for (std::size_t o = 0; o < nOut; ++o) {
                if (!DesignOutput(rows, d, o, options, progress, 0.5 + share * static_cast<double>(o), share,
                                  result.outputs[o])) {
                    result.stopped = true;
                    return false;
                }
            }
        } else {
            result.estimate = SobolEstimate::GivenData;
            std::vector<std::size_t> usable;
            for (std::size_t r = 0; r < rows.count(); ++r) {
                if (!rows.real(r)) continue;
                if (!rows.valid(r) && !options.includeInvalid) {
                    ++result.excluded;
                    continue;
                }
                usable.push_back(r);
            }
            if (static_cast<std::int64_t>(usable.size()) < kMinSobolLines) {
                result.tooFew = true;
                result.error = "解析に使えるデータ行が " + std::to_string(usable.size()) + " 行しかありません。" +
                               "Sobol'指数とそのブートストラップ区間には " + std::to_string(kMinSobolLines) +
                               " 行以上が必要です: " + path;
                return false;
            }
            for (std::size_t m = 0; m < rows.nIn; ++m) {
                const double first = rows.input(usable[0])[m];
                for (std::size_t r : usable)
                    if (rows.input(r)[m] != first) {
                        result.inputVaries[m] = true;
                        break;
                    }
            }
            for (std::size_t o = 0; o < nOut; ++o) {
                if (!GivenDataOutput(rows, usable, o, result.inputVaries, options, progress,
                                     0.5 + share * static_cast<double>(o), share, result.outputs[o])) {
                    result.stopped = true;
                    return false;
                }
            }
        }
    } catch (const std::bad_alloc&) {
        result.tooLarge = true;
        result.error = "DBファイルが大きすぎてメモリに収まりません: " + path;
        return false;
    }
    if (progress) progress(1.0);
    return true;
}

std::vector<std::string> SobolNotes(const SobolResult& result) {
    std::vector<std::string> notes;
    const bool design = result.estimate == SobolEstimate::Design;
    if (design) {
        notes.push_back("Saltelli計画の " + std::to_string(result.groups) + " 群（1群 " +
                        std::to_string(result.groupSize) + " 行）から推定しました。");
    } else {
        notes.push_back("Saltelli計画の並びではないため、与えられたデータから1次指数S1を推定しました。");
        notes.push_back(kSobolTotalNeedsDesign);
    }
    notes.push_back("95%区間は" + std::string(design ? "群" : "行") + "の復元抽出 " +
                    std::to_string(result.resamples) + " 回のブートストラップ（パーセンタイル法）によります。");
    if (result.unfinishedLines > 0)
        notes.push_back("最後の未完了の群の " + std::to_string(result.unfinishedLines) + " 行は解析から除きました。");
    const std::string skipped = SkippedLinesMessage(result.skipped, result.unreadable);
    if (!skipped.empty()) notes.push_back(skipped);
    if (result.excluded > 0)
        notes.push_back("制限値外(False)の " + std::to_string(result.excluded) + " 行は解析から除きました。");
    for (const auto& o : result.outputs) {
        if (o.leftOut > 0)
            notes.push_back("出力「" + o.name + "」: " +
                            (design ? "使えない行（読めない値、制限値外(False)、列数の合わない行）を含む " +
                                          std::to_string(o.leftOut) + " 群を除きました。"
                                    : "数値として読めない値の " + std::to_string(o.leftOut) + " 行を除きました。"));
        if (!o.varies) {
            notes.push_back("出力「" + o.name + "」は値が変化しないため、指数はありません（-）。");
        } else {
            const std::int64_t least = design ? kMinSobolGroups : kMinSobolLines;
            if (o.used < least)
                notes.push_back("出力「" + o.name + "」は使える" + (design ? "群" : "行") + "が " +
                                std::to_string(o.used) + " しかないため、指数を求めませんでした（" +
                                std::to_string(least) + " 以上必要です）。");
        }
    }
    return notes;
}

std::vector<std::vector<std::string>> SobolTable(const SobolResult& result) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"出力", "入力", "S1", "S1 95%下限", "S1 95%上限", "ST", "ST 95%下限", "ST 95%上限"});
    for (const auto& o : result.outputs) {
        for (std::size_t i = 0; i < result.inputs.size() && i < o.inputs.size(); ++i) {
            const SobolInputIndices& x = o.inputs[i];
            rows.push_back({o.name, result.inputs[i], SobolFigure(x.first.value), SobolFigure(x.first.interval.lower),
                            SobolFigure(x.first.interval.upper), SobolFigure(x.total.value),
                            SobolFigure(x.total.interval.lower), SobolFigure(x.total.interval.upper)});
        }
        rows.push_back({o.name, "<交互作用>", SobolFigure(o.interactions), "", "", "", "", ""});
    }
    if (result.estimate == SobolEstimate::GivenData) rows.push_back({kSobolTotalNeedsDesign});
    return rows;
}

}  // namespace korvane

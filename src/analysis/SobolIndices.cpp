#include "analysis/SobolIndices.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>
#include <numeric>
#include <random>
#include <thread>
#include <atomic>
#include <functional>

#include <boost/random/uniform_int_distribution.hpp>

#include "analysis/SobolDesign.h"
#include "analysis/Summary.h"

namespace korvane {

using sobol::kNaN;
using sobol::Layout;
using sobol::Recognition;
using sobol::Rows;

namespace {

// A spread of no more than this share of the values' magnitude is the
// rounding of numbers written with 15 significant digits, not a variation.
constexpr double kRoundingSpread = 1e-12;

bool Varies(double lo, double hi) {
    if (!(hi > lo)) return false;
    return hi - lo > kRoundingSpread * std::max(std::fabs(lo), std::fabs(hi));
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

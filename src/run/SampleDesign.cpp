#include "run/SampleDesign.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include <boost/math/distributions/normal.hpp>
#include <boost/random/sobol.hpp>

namespace korvane {

namespace {

// A 64-bit integer as a probability strictly inside (0, 1): its top 53 bits,
// centred in their cell, so neither 0 nor 1 can come out.
double Unit(std::uint64_t x) { return (static_cast<double>(x >> 11) + 0.5) * 0x1.0p-53; }

// An integer in [0, n), unbiased and the same on every machine (the standard
// distribution objects are not portable between libraries).
std::uint64_t Below(std::mt19937_64& engine, std::uint64_t n) {
    const std::uint64_t threshold = (0 - n) % n;  // 2^64 mod n
    for (;;) {
        const std::uint64_t r = engine();
        if (r >= threshold) return r % n;
    }
}

void Shuffle(std::vector<std::size_t>& v, std::mt19937_64& engine) {
    for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[Below(engine, i)]);
}

void FillPlain(SampleDesign& d, std::mt19937_64& engine) {
    // Point by point, so a longer design starts with the points of a shorter one.
    for (std::size_t i = 0; i < d.points; ++i)
        for (std::size_t j = 0; j < d.dimensions; ++j) d.at(i, j) = Unit(engine());
}

void FillLatinHypercube(SampleDesign& d, std::mt19937_64& engine) {
    const std::size_t n = d.points;
    const double cells = static_cast<double>(n);
    std::vector<std::size_t> strata(n);
    for (std::size_t j = 0; j < d.dimensions; ++j) {
        std::iota(strata.begin(), strata.end(), std::size_t{0});
        Shuffle(strata, engine);
        for (std::size_t i = 0; i < n; ++i) {
            const double stratum = static_cast<double>(strata[i]);
            double u = (stratum + Unit(engine())) / cells;
            // Rounding may carry a position near the top of its stratum into the
            // next one (or to 1): step back by the last bit until it is inside.
            while (std::floor(u * cells) > stratum) u = std::nextafter(u, 0.0);
            while (std::floor(u * cells) < stratum) u = std::nextafter(u, 1.0);
            d.at(i, j) = u;
        }
    }
}

void FillSobol(SampleDesign& d, std::mt19937_64& engine) {
    std::vector<std::uint64_t> shift(d.dimensions);
    for (auto& s : shift) s = engine();
    boost::random::sobol sequence(d.dimensions);
    for (std::size_t i = 0; i < d.points; ++i)
        for (std::size_t j = 0; j < d.dimensions; ++j) {
            const std::uint64_t x = i == 0 ? 0 : static_cast<std::uint64_t>(sequence());
            d.at(i, j) = Unit(x ^ shift[j]);
        }
}

// Saltelli's groups from the two halves of one Sobol' point each: every
// value is copied, so an AB point's coordinate equals A's or B's exactly.
void FillSaltelli(SampleDesign& d, std::mt19937_64& engine) {
    const std::size_t k = d.dimensions, size = k + 2;
    SampleDesign pairs;
    pairs.points = (d.points + size - 1) / size;
    pairs.dimensions = 2 * k;
    pairs.values.assign(pairs.points * pairs.dimensions, 0.5);
    FillSobol(pairs, engine);
    for (std::size_t p = 0; p < d.points; ++p) {
        const std::size_t group = p / size, role = p % size;
        for (std::size_t j = 0; j < k; ++j) {
            const bool fromB = role == kSaltelliB || role == j + 2;
            d.at(p, j) = pairs.at(group, fromB ? k + j : j);
        }
    }
}

// Cholesky factorisation A = L L^T in place (row-major m x m, lower part
// kept). Returns the row where a pivot is not clearly positive, if any.
std::optional<std::size_t> Cholesky(std::vector<double>& a, std::size_t m) {
    for (std::size_t r = 0; r < m; ++r) {
        for (std::size_t c = 0; c <= r; ++c) {
            double sum = a[r * m + c];
            for (std::size_t k = 0; k < c; ++k) sum -= a[r * m + k] * a[c * m + k];
            if (c == r) {
                if (!(sum > 1e-10)) return r;
                a[r * m + r] = std::sqrt(sum);
            } else {
                a[r * m + c] = sum / a[c * m + c];
            }
        }
        for (std::size_t c = r + 1; c < m; ++c) a[r * m + c] = 0.0;
    }
    return std::nullopt;
}

// The order of a column's points, smallest value first (ties by position).
std::vector<std::size_t> Order(const double* column, std::size_t n) {
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [column](std::size_t a, std::size_t b) { return column[a] < column[b]; });
    return order;
}

constexpr double kPi = 3.14159265358979323846;

}  // namespace

std::optional<SampleMethod> SampleMethodFromName(const std::string& name) {
    if (name == kMonteCarloMethod) return SampleMethod::Plain;
    if (name == kLatinHypercubeMethod) return SampleMethod::LatinHypercube;
    if (name == kSobolMethod) return SampleMethod::Sobol;
    if (name == kSaltelliMethod) return SampleMethod::Saltelli;
    return std::nullopt;
}

std::optional<SaltelliPlace> SaltelliPlaceOf(std::int64_t calculation, std::size_t inputs) {
    if (calculation < 2 || inputs == 0) return std::nullopt;
    const auto size = static_cast<std::int64_t>(inputs) + 2;
    const std::int64_t point = calculation - 2;
    return SaltelliPlace{point / size + 1, static_cast<std::size_t>(point % size)};
}

std::string SaltelliDesignProblem(std::size_t inputs, std::int64_t calculations) {
    const std::string method = std::string("サンプリング方法[") + kSaltelliMethod + "]";
    if (inputs == 0) return method + "にはサンプリングする変数が必要です。変数にチェックを付けて分布型を選んで下さい。";
    const std::size_t most = MaxSobolDimensions() / 2;
    if (inputs > most)
        return method + "で扱えるサンプリングする変数は" + std::to_string(most) +
               "個までです (Sobol点列の次元をその2倍使います。サンプリングする変数: " + std::to_string(inputs) + "個)。";
    const auto needed = static_cast<std::int64_t>(inputs) + 3;
    if (calculations < needed)
        return "計算回数[" + std::to_string(calculations) + "]は" + kSaltelliMethod + "には足りません。サンプリングする変数が" +
               std::to_string(inputs) + "個のとき、初期値の1回と1組 (A, B と変数ごとのAB の" + std::to_string(inputs + 2) +
               "回) で" + std::to_string(needed) + "回以上にして下さい。";
    return {};
}

std::size_t MaxSobolDimensions() { return boost::random::detail::qrng_tables::sobol::max_dimension; }

std::optional<SampleDesign> MakeSampleDesign(SampleMethod method, std::size_t points, std::size_t dimensions,
                                             std::uint64_t seed, std::string& error) {
    if (method == SampleMethod::Sobol && dimensions > MaxSobolDimensions()) {
        error = "Sobol点列で扱える変数は" + std::to_string(MaxSobolDimensions()) + "個までです。";
        return std::nullopt;
    }
    if (method == SampleMethod::Saltelli && dimensions > MaxSobolDimensions() / 2) {
        error = SaltelliDesignProblem(dimensions, 0);
        return std::nullopt;
    }
    SampleDesign d;
    d.points = points;
    d.dimensions = dimensions;
    d.values.assign(points * dimensions, 0.5);
    if (points == 0 || dimensions == 0) return d;
    std::mt19937_64 engine(seed);
    switch (method) {
    case SampleMethod::Plain: FillPlain(d, engine); break;
    case SampleMethod::LatinHypercube: FillLatinHypercube(d, engine); break;
    case SampleMethod::Sobol: FillSobol(d, engine); break;
    case SampleMethod::Saltelli: FillSaltelli(d, engine); break;
    }
    return d;
}

std::optional<RankCorrelationFault> CheckRankCorrelations(std::size_t dimensions,
                                                          const std::vector<RankCorrelationTarget>& targets) {
    std::vector<double> matrix(dimensions * dimensions, 0.0);
    std::vector<bool> given(dimensions * dimensions, false);
    for (std::size_t i = 0; i < dimensions; ++i) matrix[i * dimensions + i] = 1.0;
    for (const auto& t : targets) {
        auto fault = [&t](const char* reason) { return RankCorrelationFault{t.first, t.second, reason}; };
        if (t.first >= dimensions || t.second >= dimensions) return fault("相関を与える変数がありません。");
        if (t.first == t.second) return fault("同じ変数どうしの相関は指定できません。");
        if (!(std::fabs(t.value) < 1.0)) return fault("順位相関係数は-1より大きく1より小さくして下さい。");
        if (given[t.first * dimensions + t.second]) return fault("同じ組の相関が2回指定されています。");
        given[t.first * dimensions + t.second] = given[t.second * dimensions + t.first] = true;
        matrix[t.first * dimensions + t.second] = matrix[t.second * dimensions + t.first] = t.value;
    }
    const auto row = Cholesky(matrix, dimensions);
    if (!row) return std::nullopt;
    // The failing row's given pair with the highest other column.
    const RankCorrelationTarget* closing = nullptr;
    for (const auto& t : targets) {
        const std::size_t hi = std::max(t.first, t.second), lo = std::min(t.first, t.second);
        if (hi == *row && (!closing || lo > std::min(closing->first, closing->second))) closing = &t;
    }
    RankCorrelationFault fault{0, 0, "相関係数の組合せに矛盾があります（相関行列が正定値になりません）。"};
    if (closing) {
        fault.first = closing->first;
        fault.second = closing->second;
    }
    return fault;
}

std::optional<RankCorrelationFault> ImposeRankCorrelations(SampleDesign& design,
                                                           const std::vector<RankCorrelationTarget>& targets) {
    if (auto fault = CheckRankCorrelations(design.dimensions, targets)) return fault;
    if (targets.empty()) return std::nullopt;

    // The columns that take part, and their places in the small matrices.
    std::vector<std::size_t> columns;
    for (const auto& t : targets) columns.insert(columns.end(), {t.first, t.second});
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    const std::size_t m = columns.size(), n = design.points;
    auto place = [&columns](std::size_t c) {
        return static_cast<std::size_t>(std::lower_bound(columns.begin(), columns.end(), c) - columns.begin());
    };
    if (n <= m)
        return RankCorrelationFault{targets.front().first, targets.front().second,
                                    "相関を与えるには計算回数が相関を与える変数の数より多くなければなりません。"};

    // The target correlation of the normal scores. A rank correlation rho of
    // normal variables belongs to a product-moment correlation 2 sin(pi rho / 6);
    // should that matrix lose definiteness, the rank targets are used as they are.
    std::vector<double> target(m * m, 0.0), plain(m * m, 0.0);
    for (std::size_t i = 0; i < m; ++i) target[i * m + i] = plain[i * m + i] = 1.0;
    for (const auto& t : targets) {
        const std::size_t a = place(t.first), b = place(t.second);
        plain[a * m + b] = plain[b * m + a] = t.value;
        target[a * m + b] = target[b * m + a] = 2.0 * std::sin(kPi * t.value / 6.0);
    }
    if (Cholesky(target, m)) {
        target = plain;
        Cholesky(target, m);  // passed in CheckRankCorrelations
    }

    // Van der Waerden scores, placed by the ranks the columns have now.
    const boost::math::normal_distribution<double> standard;
    std::vector<double> scores(n);
    double scoreSquares = 0.0;
    for (std::size_t r = 0; r < n; ++r) {
        scores[r] = boost::math::quantile(standard, static_cast<double>(r + 1) / static_cast<double>(n + 1));
        scoreSquares += scores[r] * scores[r];
    }
    std::vector<double> s(n * m);  // row-major: point, column
    std::vector<std::vector<std::size_t>> orders(m);
    for (std::size_t a = 0; a < m; ++a) {
        orders[a] = Order(&design.values[columns[a] * n], n);
        for (std::size_t r = 0; r < n; ++r) s[orders[a][r] * m + a] = scores[r];
    }

    // Their correlation now (the scores sum to 0), to be taken out.
    std::vector<double> current(m * m, 0.0);
    for (std::size_t a = 0; a < m; ++a)
        for (std::size_t b = 0; b <= a; ++b) {
            double sum = 0.0;
            for (std::size_t i = 0; i < n; ++i) sum += s[i * m + a] * s[i * m + b];
            current[a * m + b] = current[b * m + a] = sum / scoreSquares;
        }
    if (Cholesky(current, m))
        return RankCorrelationFault{targets.front().first, targets.front().second,
                                    "相関を与える変数の値の並びが独立でないため相関を与えられません。"};

    // Each point's scores decorrelated (solve with the current factor) and
    // given the target correlation (times the target factor).
    std::vector<double> y(m), t(n * m);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t a = 0; a < m; ++a) {
            double sum = s[i * m + a];
            for (std::size_t b = 0; b < a; ++b) sum -= current[a * m + b] * y[b];
            y[a] = sum / current[a * m + a];
        }
        for (std::size_t a = 0; a < m; ++a) {
            double sum = 0.0;
            for (std::size_t b = 0; b <= a; ++b) sum += target[a * m + b] * y[b];
            t[i * m + a] = sum;
        }
    }

    // Each column's values take the order of its new scores.
    std::vector<double> sorted(n), column(n);
    for (std::size_t a = 0; a < m; ++a) {
        double* values = &design.values[columns[a] * n];
        for (std::size_t r = 0; r < n; ++r) sorted[r] = values[orders[a][r]];
        for (std::size_t i = 0; i < n; ++i) column[i] = t[i * m + a];
        const auto order = Order(column.data(), n);
        for (std::size_t r = 0; r < n; ++r) values[order[r]] = sorted[r];
    }
    return std::nullopt;
}

}  // namespace korvane

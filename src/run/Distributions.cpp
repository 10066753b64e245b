#include "run/Distributions.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <boost/math/special_functions/gamma.hpp>
#include <boost/math/tools/roots.hpp>

#include "project/NumberText.h"

namespace korvane {

namespace {

namespace bm = boost::math;

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// The widest probability range a quantile is asked for: never 0 or 1, where
// most quantiles are infinite.
constexpr double kSmallestProbability = std::numeric_limits<double>::min();
const double kLargestProbability = std::nextafter(1.0, 0.0);

// Euler-Mascheroni constant and pi, for the Gumbel moments.
constexpr double kEulerGamma = 0.57721566490153286061;
constexpr double kPi = 3.14159265358979323846;

// The Weibull shapes the solver looks between, and the coefficients of
// variation they give (about 3.2E+14 and 1.28E-05).
constexpr double kWeibullShapeMin = 0.02;
constexpr double kWeibullShapeMax = 1.0e5;

// The coefficient of variation of a Weibull variable of shape k:
// sqrt(G(1 + 2/k) / G(1 + 1/k)^2 - 1). Worked with the logarithm of the gamma
// function and expm1, because for large k the ratio is 1 + a few 1E-10 and the
// plain difference of gamma values would lose most of its digits.
double WeibullVariation(double shape) {
    const double logRatio = bm::lgamma(1.0 + 2.0 / shape, DistributionPolicy()) -
                            2.0 * bm::lgamma(1.0 + 1.0 / shape, DistributionPolicy());
    return std::sqrt(std::expm1(logRatio));
}

// The shape whose coefficient of variation is `variation`, by Boost's TOMS 748
// bracketing solver on the logarithms (the variation falls steadily with the
// shape). Nothing when the variation lies outside the bracket.
std::optional<double> WeibullShape(double variation) {
    const double target = std::log(variation);
    auto gap = [target](double logShape) { return std::log(WeibullVariation(std::exp(logShape))) - target; };
    const double a = std::log(kWeibullShapeMin), b = std::log(kWeibullShapeMax);
    const double fa = gap(a), fb = gap(b);
    if (!(fa >= 0.0 && fb <= 0.0)) return std::nullopt;
    if (fa == 0.0) return kWeibullShapeMin;
    if (fb == 0.0) return kWeibullShapeMax;
    std::uintmax_t iterations = 200;
    const auto bracket = bm::tools::toms748_solve(gap, a, b, fa, fb, bm::tools::eps_tolerance<double>(52),
                                                  iterations);
    return std::exp(0.5 * (bracket.first + bracket.second));
}

bool IsWhole(double x) { return std::floor(x) == x; }

std::string LimitText(std::optional<double> limit) {
    return limit ? GeneralNumber(*limit) : std::string("なし");
}

double DiscreteCdf(const DiscreteUniform& d, double x) {
    if (x < d.lo) return 0.0;
    if (x >= d.hi) return 1.0;
    return (std::floor(x) - d.lo + 1.0) / d.count();
}

}  // namespace

double Distribution::cdf(double x) const {
    return std::visit(
        [x](const auto& d) -> double {
            if constexpr (std::is_same_v<std::decay_t<decltype(d)>, DiscreteUniform>) {
                return DiscreteCdf(d, x);
            } else {
                const auto range = bm::support(d);
                if (x <= range.first) return 0.0;
                if (x >= range.second) return 1.0;
                return bm::cdf(d, x);
            }
        },
        shape_);
}

double Distribution::survival(double x) const {
    return std::visit(
        [x](const auto& d) -> double {
            if constexpr (std::is_same_v<std::decay_t<decltype(d)>, DiscreteUniform>) {
                return 1.0 - DiscreteCdf(d, x);
            } else {
                const auto range = bm::support(d);
                if (x <= range.first) return 1.0;
                if (x >= range.second) return 0.0;
                return bm::cdf(bm::complement(d, x));
            }
        },
        shape_);
}

double Distribution::quantile(double p) const {
    return std::visit(
        [p](const auto& d) -> double {
            if constexpr (std::is_same_v<std::decay_t<decltype(d)>, DiscreteUniform>) {
                const double k = std::clamp(std::ceil(p * d.count()), 1.0, d.count());
                return d.lo + k - 1.0;
            } else {
                return bm::quantile(d, p);
            }
        },
        shape_);
}

double Distribution::survivalQuantile(double q) const {
    return std::visit(
        [q](const auto& d) -> double {
            if constexpr (std::is_same_v<std::decay_t<decltype(d)>, DiscreteUniform>) {
                const double k = std::clamp(std::ceil((1.0 - q) * d.count()), 1.0, d.count());
                return d.lo + k - 1.0;
            } else {
                return bm::quantile(bm::complement(d, q));
            }
        },
        shape_);
}

std::optional<Distribution> MakeDistribution(const std::string& name, double center, double spread,
                                             std::string& error) {
    using Policy = DistributionPolicy;
    if (!std::isfinite(center) || !std::isfinite(spread)) {
        error = name + "の中心値と標準偏差は有限の数値で指定して下さい。";
        return std::nullopt;
    }
    if (!(spread > 0.0)) {
        error = name + "の標準偏差は0より大きくして下さい。";
        return std::nullopt;
    }
    const double c = center, s = spread;
    // Ends that overflow, or a spread lost beside the centre, leave no interval.
    const bool bounded = std::isfinite(c - s) && std::isfinite(c + s) && c - s < c && c < c + s;
    auto tooNarrow = [&]() -> std::optional<Distribution> {
        error = name + "の標準偏差が中心値に比べて小さすぎるか、値の範囲が大きすぎます。";
        return std::nullopt;
    };
    if (name == kNormalDistribution)
        return Distribution(name, bm::normal_distribution<double, Policy>(c, s));
    if ((name == kUniformDistribution || name == kTriangularDistribution) && !bounded) return tooNarrow();
    if (name == kUniformDistribution)
        return Distribution(name, bm::uniform_distribution<double, Policy>(c - s, c + s));
    if (name == kTriangularDistribution)
        return Distribution(name, bm::triangular_distribution<double, Policy>(c - s, c, c + s));
    if (name == kGumbelDistribution) {
        // Mean a + gamma b, standard deviation pi b / sqrt(6).
        const double scale = s * std::sqrt(6.0) / kPi;
        if (!std::isfinite(c - kEulerGamma * scale)) return tooNarrow();
        return Distribution(name, bm::extreme_value_distribution<double, Policy>(c - kEulerGamma * scale, scale));
    }
    if (name == kLognormalDistribution) {
        if (!(c > 0.0)) {
            error = name + "の中心値（平均）は0より大きくして下さい。";
            return std::nullopt;
        }
        // The logarithm's parameters from the variable's mean and deviation.
        const double sigma2 = std::log1p((s / c) * (s / c));
        if (!(std::isfinite(sigma2) && sigma2 > 0.0)) {
            error = name + "の変動係数（標準偏差÷中心値）が扱える範囲を外れています。";
            return std::nullopt;
        }
        return Distribution(name,
                            bm::lognormal_distribution<double, Policy>(std::log(c) - 0.5 * sigma2, std::sqrt(sigma2)));
    }
    if (name == kWeibullDistribution) {
        if (!(c > 0.0)) {
            error = name + "の中心値（平均）は0より大きくして下さい。";
            return std::nullopt;
        }
        const auto shape = WeibullShape(s / c);
        if (!shape) {
            error = name + "の変動係数（標準偏差÷中心値）は1.3E-05から3E+14の間にして下さい。";
            return std::nullopt;
        }
        const double scale = c / bm::tgamma(1.0 + 1.0 / *shape, Policy());
        return Distribution(name, bm::weibull_distribution<double, Policy>(*shape, scale));
    }
    if (name == kDiscreteUniformDistribution) {
        if (!IsWhole(c) || !IsWhole(s)) {
            error = name + "の中心値と標準偏差は整数で指定して下さい。";
            return std::nullopt;
        }
        // Beyond 2^53 a double no longer holds every integer.
        if (std::fabs(c) + s > 9007199254740992.0) {
            error = name + "の値の範囲が大きすぎます。";
            return std::nullopt;
        }
        return Distribution(name, DiscreteUniform{c - s, c + s});
    }
    error = "分布型[" + name + "]は使えません。";
    return std::nullopt;
}

std::optional<TruncatedDistribution> TruncatedDistribution::Make(const Distribution& distribution,
                                                                 std::optional<double> lower,
                                                                 std::optional<double> upper, std::string& error) {
    auto refuse = [&]() -> std::optional<TruncatedDistribution> {
        error = distribution.name() + "は制限値の範囲（下限値：" + LimitText(lower) + "　上限値：" +
                LimitText(upper) + "）に値をとりません。";
        return std::nullopt;
    };
    if ((lower && std::isnan(*lower)) || (upper && std::isnan(*upper))) return refuse();
    if (lower && upper && !(*lower < *upper)) return refuse();

    if (const auto* d = std::get_if<DiscreteUniform>(&distribution.shape())) {
        DiscreteUniform kept = *d;
        if (lower) kept.lo = std::max(kept.lo, std::ceil(*lower));
        if (upper) kept.hi = std::min(kept.hi, std::floor(*upper));
        if (kept.lo > kept.hi) return refuse();
        TruncatedDistribution t(Distribution(distribution.name(), kept));
        t.lower_ = kept.lo;
        t.upper_ = kept.hi;
        t.from_ = 0.0;
        t.width_ = 1.0;
        return t;
    }

    TruncatedDistribution t(distribution);
    t.lower_ = lower ? *lower : -kInfinity;
    t.upper_ = upper ? *upper : kInfinity;
    const double below = lower ? distribution.cdf(*lower) : 0.0;
    if (below > 0.5) {
        // The interval lies in the upper tail, where 1 - F has the digits.
        t.upperTail_ = true;
        const double qLower = distribution.survival(*lower);
        const double qUpper = upper ? distribution.survival(*upper) : 0.0;
        t.from_ = qLower;
        t.width_ = qLower - qUpper;
    } else {
        t.from_ = below;
        t.width_ = (upper ? distribution.cdf(*upper) : 1.0) - below;
    }
    if (!(t.width_ > 0.0)) return refuse();
    return t;
}

double TruncatedDistribution::value(double u) const {
    double x;
    if (upperTail_) {
        const double q = std::clamp(from_ - u * width_, kSmallestProbability, kLargestProbability);
        x = distribution_.survivalQuantile(q);
    } else {
        const double p = std::clamp(from_ + u * width_, kSmallestProbability, kLargestProbability);
        x = distribution_.quantile(p);
    }
    // Rounding in F and its inverse may step a hair past a limit.
    if (!(x >= lower_)) x = lower_;
    if (!(x <= upper_)) x = upper_;
    // Without a limit, a quantile of an extreme shape may overflow.
    if (std::isinf(x)) x = std::copysign(std::numeric_limits<double>::max(), x);
    return x;
}

}  // namespace korvane

#pragma once
// The distributions a sampled input may follow, each given as engineers give
// them (centre and spread of the variable itself), and the exact truncation of
// a distribution to an input's restriction limits.
//
// A draw here is the inverse distribution function of a probability in (0, 1)
// that a sample design supplies (SampleDesign.h), in double precision: no
// rejection loop, so limits in the far tails cost no more than none. The
// Monte Carlo draws of MonteCarlo.h are a different, older path and do not use
// this file.

#include <optional>
#include <string>
#include <variant>

#include <boost/math/distributions/extreme_value.hpp>
#include <boost/math/distributions/lognormal.hpp>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/triangular.hpp>
#include <boost/math/distributions/uniform.hpp>
#include <boost/math/distributions/weibull.hpp>

#include "run/MonteCarlo.h"

namespace korvane {

// The further distribution names as the project stores them ("正規分布" and
// "一様分布" are in MonteCarlo.h).
inline constexpr const char* kLognormalDistribution = "対数正規分布";
inline constexpr const char* kGumbelDistribution = "ガンベル分布";
inline constexpr const char* kWeibullDistribution = "ワイブル分布";
inline constexpr const char* kTriangularDistribution = "三角分布";
inline constexpr const char* kDiscreteUniformDistribution = "離散一様分布";

// Errors inside Boost.Math give NaN or infinity instead of an exception; the
// callers below keep every argument in range, and a draw is clamped anyway.
using DistributionPolicy = boost::math::policies::policy<
    boost::math::policies::domain_error<boost::math::policies::ignore_error>,
    boost::math::policies::overflow_error<boost::math::policies::ignore_error>,
    boost::math::policies::pole_error<boost::math::policies::ignore_error>,
    boost::math::policies::evaluation_error<boost::math::policies::ignore_error>>;

// The integers lo..hi, equally likely (Boost.Math has no discrete uniform).
// The distribution function is a step function; the quantile of p is the
// smallest integer whose distribution function reaches p.
struct DiscreteUniform {
    double lo = 0.0, hi = 0.0;
    double count() const { return hi - lo + 1.0; }
};

// One distribution with its parameters resolved. Make it with MakeDistribution.
class Distribution {
public:
    using Shape = std::variant<boost::math::normal_distribution<double, DistributionPolicy>,
                               boost::math::uniform_distribution<double, DistributionPolicy>,
                               boost::math::lognormal_distribution<double, DistributionPolicy>,
                               boost::math::extreme_value_distribution<double, DistributionPolicy>,
                               boost::math::weibull_distribution<double, DistributionPolicy>,
                               boost::math::triangular_distribution<double, DistributionPolicy>,
                               DiscreteUniform>;

    Distribution(std::string name, Shape shape) : name_(std::move(name)), shape_(shape) {}

    const std::string& name() const { return name_; }
    const Shape& shape() const { return shape_; }
    bool discrete() const { return std::holds_alternative<DiscreteUniform>(shape_); }

    // P(X <= x).
    double cdf(double x) const;
    // P(X > x), accurate where it is tiny (the upper tail).
    double survival(double x) const;
    // The smallest x with cdf(x) >= p, for p in (0, 1).
    double quantile(double p) const;
    // The x with survival(x) = q, for q in (0, 1).
    double survivalQuantile(double q) const;

private:
    std::string name_;
    Shape shape_;
};

// The distribution `name` with centre c and spread s, or nothing with `error`
// naming the distribution and the reason (the caller adds the variable):
// - "正規分布": mean c, standard deviation s;
// - "一様分布": uniform on [c - s, c + s];
// - "対数正規分布": mean c, standard deviation s of the variable (c > 0);
// - "ガンベル分布": largest values, mean c, standard deviation s;
// - "ワイブル分布": two parameters, mean c (> 0), the shape solved from the
//   coefficient of variation s / c (between 1.3E-05 and 3E+14);
// - "三角分布": symmetric, mode c, half width s;
// - "離散一様分布": the integers c - s .. c + s, equally likely; c and s must be
//   whole numbers (a fractional one is refused rather than rounded, so that
//   the values drawn are the ones the user wrote down).
// Every spread must be above 0 and every number finite; the range of a
// uniform or triangular variable must neither overflow nor vanish beside its
// centre.
std::optional<Distribution> MakeDistribution(const std::string& name, double center, double spread,
                                             std::string& error);

// A distribution cut to [lower, upper] (either may be absent) exactly: the
// probability u in (0, 1) of a design becomes the quantile of
// F(lower) + u (F(upper) - F(lower)), worked in the upper tail's own terms
// when the interval lies there, so that a limit ten standard deviations out
// still gives an exact draw. A draw never lies outside the limits (rounding
// is clamped). For "離散一様分布" only the integers inside the limits remain,
// each equally likely.
class TruncatedDistribution {
public:
    // Nothing, with `error` naming the distribution and the limits, when the
    // limits leave nothing to draw: lower not below upper, or a probability of
    // 0 (in double precision) between them.
    static std::optional<TruncatedDistribution> Make(const Distribution& distribution,
                                                     std::optional<double> lower,
                                                     std::optional<double> upper, std::string& error);

    // The value for the design probability u in (0, 1); a u of 0 or 1 gives
    // the nearest limit or the extreme the distribution reaches.
    double value(double u) const;

    const Distribution& distribution() const { return distribution_; }

private:
    explicit TruncatedDistribution(Distribution d) : distribution_(std::move(d)) {}

    Distribution distribution_;
    double lower_ = 0.0, upper_ = 0.0;  // clamp bounds (infinite when absent)
    bool upperTail_ = false;  // work with survival probabilities
    double from_ = 0.0, width_ = 1.0;  // the probability range drawn from
};

}  // namespace korvane

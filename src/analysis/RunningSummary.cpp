#include "analysis/RunningSummary.h"

#include <algorithm>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>

namespace korvane {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool ValidPercent(double percent) { return percent > 0 && percent < 100; }

}  // namespace

double RunningSummary::deviation() const {
    if (count() < 2) return kNaN;
    return std::sqrt(squares_ / static_cast<double>(count() - 1));
}

double RunningSummary::halfWidth(double percent) const {
    if (count() < 2 || !ValidPercent(percent)) return kNaN;
    // The sum stays exactly 0 while every value equals the first.
    if (squares_ == 0) return 0.0;
    return StudentFactor(percent, count() - 1) * deviation() / std::sqrt(static_cast<double>(count()));
}

double RunningSummary::invalidShare() const {
    if (lines_ == 0) return kNaN;
    return static_cast<double>(invalid_) / static_cast<double>(lines_);
}

Interval RunningSummary::invalidInterval(double percent) const { return WilsonInterval(invalid_, lines_, percent); }

double StudentFactor(double percent, std::int64_t degrees) {
    if (degrees < 1 || !ValidPercent(percent)) return kNaN;
    const boost::math::students_t t(static_cast<double>(degrees));
    return boost::math::quantile(boost::math::complement(t, (1 - percent / 100) / 2));
}

Interval WilsonInterval(std::int64_t hits, std::int64_t trials, double percent) {
    if (trials < 1 || hits < 0 || hits > trials || !ValidPercent(percent)) return {kNaN, kNaN};
    const double z =
        boost::math::quantile(boost::math::complement(boost::math::normal(), (1 - percent / 100) / 2));
    const double n = static_cast<double>(trials);
    const double p = static_cast<double>(hits) / n;
    const double z2n = z * z / n;
    const double centre = (p + z2n / 2) / (1 + z2n);
    const double half = z / (1 + z2n) * std::sqrt(p * (1 - p) / n + z2n / (4 * n));
    // At 0 and at every trial the bound is 0 or 1 in exact arithmetic; the
    // difference of rounded terms would leave a hair beside it.
    const double lower = hits == 0 ? 0.0 : std::clamp(centre - half, 0.0, 1.0);
    const double upper = hits == trials ? 1.0 : std::clamp(centre + half, 0.0, 1.0);
    return {lower, upper};
}

}  // namespace korvane

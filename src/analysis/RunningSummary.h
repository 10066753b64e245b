#pragma once
// The running summary of one output while its lines arrive: how many values
// were taken and their mean, the confidence half-width of that mean, and the
// share of invalid ("False") lines with its Wilson score interval. A run can
// feed it after every written line and ask for its figures at any time: each
// line costs a few operations and no memory, and it knows nothing of files or
// windows.
//
// The mean is RunningMean's, so it agrees with the statistics table (exactly
// the value itself for an output that does not vary). The spread is Welford's
// update of the squared deviations from the running mean, taken of the values
// less the first one: so it stays accurate to the last digits for values far
// from zero with a small spread (1e9 ± 1), where a sum of squares minus the
// squared sum cancels to noise and even Welford's running mean of the raw
// values rounds away a part of the spread.

#include <cmath>
#include <cstdint>
#include <limits>

#include "analysis/RunningMean.h"

namespace korvane {

struct Interval {
    double lower = 0, upper = 0;
};

class RunningSummary {
public:
    // A line whose value is taken. `valid` false: an invalid line taken in
    // (invalid lines included); it counts in the invalid share as well.
    void add(double value, bool valid = true) {
        if (mean_.count() == 0) shift_ = value;
        mean_.add(value);
        const double y = value - shift_;
        const double before = y - shiftedMean_;
        shiftedMean_ += before / static_cast<double>(mean_.count());
        squares_ += before * (y - shiftedMean_);
        countLine(valid);
    }
    // A line whose value is not taken: an invalid line left out (`valid`
    // false), or a value that cannot be read. It still counts in the share.
    void leaveOut(bool valid) { countLine(valid); }

    // Values taken.
    std::int64_t count() const { return mean_.count(); }
    // Every line fed, taken or not; `invalid()` of them were invalid.
    std::int64_t lines() const { return lines_; }
    std::int64_t invalid() const { return invalid_; }

    // 0 without a value.
    double mean() const { return mean_.mean(); }
    // The sample standard deviation (divisor n - 1); NaN with fewer than two
    // values.
    double deviation() const;
    // Half-width of the two-sided `percent` confidence interval of the mean:
    // the Student t quantile with n - 1 degrees of freedom times
    // deviation() / sqrt(n). 0 for values that do not vary; NaN with fewer
    // than two values or a percent outside (0, 100).
    double halfWidth(double percent = 95) const;
    // Invalid lines over all lines; NaN without a line.
    double invalidShare() const;
    // The Wilson score interval of that share at `percent`; NaN bounds
    // without a line.
    Interval invalidInterval(double percent = 95) const;

private:
    void countLine(bool valid) {
        ++lines_;
        if (!valid) ++invalid_;
    }

    RunningMean mean_;
    double shift_ = 0, shiftedMean_ = 0, squares_ = 0;
    std::int64_t lines_ = 0, invalid_ = 0;
};

// The upper (1 + percent / 100) / 2 quantile of Student's t with `degrees`
// degrees of freedom: the factor of a two-sided `percent` interval (12.706
// for 95 % and one degree). NaN for a percent outside (0, 100) or no degree.
double StudentFactor(double percent, std::int64_t degrees);

// The Wilson score interval of `hits` out of `trials` at `percent`, within
// [0, 1]: its bounds are exactly 0 without a hit and exactly 1 when every
// trial hit. NaN bounds without a trial or for a percent outside (0, 100).
Interval WilsonInterval(std::int64_t hits, std::int64_t trials, double percent = 95);

}  // namespace korvane

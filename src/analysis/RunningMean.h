#pragma once
// The mean of a column as the analyses take it: the plain sum over the
// count, except that a column whose values are all equal has exactly that
// value as its mean (so its variance is exactly 0, not rounding noise), and
// that a sum which overflows (values near the largest double) gives way to a
// sum of scaled values, so the mean is a number whenever it can be one.

#include <cmath>
#include <cstdint>

namespace korvane {

class RunningMean {
public:
    void add(double v) {
        if (count_ == 0) first_ = v;
        same_ = same_ && v == first_;
        sum_ += v;
        scaled_ += v * kScale;
        ++count_;
    }
    std::int64_t count() const { return count_; }
    // 0 without any value.
    double mean() const {
        if (count_ == 0) return 0.0;
        if (same_) return first_;
        const double n = static_cast<double>(count_);
        if (std::isfinite(sum_)) return sum_ / n;
        return scaled_ / n / kScale;
    }

private:
    static constexpr double kScale = 0x1p-64;
    std::int64_t count_ = 0;
    bool same_ = true;
    double first_ = 0, sum_ = 0, scaled_ = 0;
};

}  // namespace korvane

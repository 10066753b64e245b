#include "analysis/LiveSummary.h"

#include <cmath>
#include <limits>

#include "db/Csv.h"

namespace korvane {

void LiveSummary::begin(std::vector<std::string> outputNames) {
    std::lock_guard lock(mutex_);
    tracks_.clear();
    tracks_.resize(outputNames.size());
    for (std::size_t i = 0; i < outputNames.size(); ++i) tracks_[i].name = std::move(outputNames[i]);
    lines_ = 0;
    stride_ = 1;
    ++version_;
}

LiveSummary::Kept LiveSummary::KeptOf(const RunningSummary& s, std::int64_t line) {
    return {line, s.count(), s.mean(), s.deviation()};
}

void LiveSummary::addLine(std::span<const std::string> outputs, bool valid) {
    std::lock_guard lock(mutex_);
    ++lines_;
    ++version_;
    for (std::size_t i = 0; i < tracks_.size(); ++i) {
        double v = 0;
        if (valid && i < outputs.size() && CsvValue(outputs[i], v))
            tracks_[i].summary.add(v, valid);
        else
            tracks_[i].summary.leaveOut(valid);
    }
    if (lines_ % stride_ != 0) return;
    for (Track& t : tracks_) t.points.push_back(KeptOf(t.summary, lines_));
    if (tracks_.empty() || tracks_.front().points.size() < kHistoryPoints) return;
    // Full: every second point goes, the ones on the doubled stride stay.
    stride_ *= 2;
    for (Track& t : tracks_)
        std::erase_if(t.points, [this](const Kept& k) { return k.line % stride_ != 0; });
}

LiveSummary::Snapshot LiveSummary::snapshot() const {
    std::lock_guard lock(mutex_);
    Snapshot s;
    s.version = version_;
    s.lines = lines_;
    s.outputs.reserve(tracks_.size());
    for (const Track& t : tracks_) s.outputs.push_back({t.name, t.summary});
    return s;
}

std::uint64_t LiveSummary::version() const {
    std::lock_guard lock(mutex_);
    return version_;
}

std::vector<MeanPoint> LiveSummary::history(std::size_t index) const {
    std::vector<Kept> kept;
    {
        std::lock_guard lock(mutex_);
        if (index >= tracks_.size() || lines_ == 0) return {};
        const Track& t = tracks_[index];
        kept = t.points;
        if (kept.empty() || kept.back().line != lines_) kept.push_back(KeptOf(t.summary, lines_));
    }
    // The quantiles outside the lock: the writer never waits for them.
    std::vector<MeanPoint> points;
    points.reserve(kept.size());
    for (const Kept& k : kept) {
        double half = std::numeric_limits<double>::quiet_NaN();
        if (k.count >= 2)
            half = k.deviation == 0 ? 0.0
                                    : StudentFactor(kPercent, k.count - 1) * k.deviation /
                                          std::sqrt(static_cast<double>(k.count));
        points.push_back({k.line, k.count > 0 ? k.mean : std::numeric_limits<double>::quiet_NaN(), half});
    }
    return points;
}

}  // namespace korvane

#pragma once
// The figures of a run while it goes on: for each output, the running summary
// of the lines written so far (the mean with its confidence half-width, the
// share of "False" lines with its Wilson interval) and a short history of the
// mean for the convergence picture.
//
// Lines are taken as the summary of a DB file takes them without invalid
// lines: a valid line's readable value is taken, an invalid line or a value
// that cannot be read only counts in the share. So the figures after a run are
// the ones the summary computes from its DB file.
//
// The run's writer feeds it from its own thread while a window reads it from
// the user-interface thread: every member locks one mutex, held for the few
// operations of one line or for one copy of the figures. Feeding costs no
// memory beyond the history, which stays at most kHistoryPoints points per
// output whatever the run's length: a point is kept every `stride` lines, and
// when the history is full every second point goes and the stride doubles, so
// the points stay evenly spread over the whole run.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "analysis/RunningSummary.h"

namespace korvane {

// One point of a mean's history: after `line` lines, the mean of the values
// taken so far (NaN without one) and the 95 % half-width of that mean (NaN
// with fewer than two values).
struct MeanPoint {
    std::int64_t line = 0;
    double mean = 0;
    double halfWidth = 0;
};

class LiveSummary {
public:
    static constexpr std::size_t kHistoryPoints = 512;
    // The percent of the intervals shown.
    static constexpr double kPercent = 95;

    // A run begins (or a resumed run, before the lines already in its file):
    // the outputs in DB column order. Everything before is forgotten.
    void begin(std::vector<std::string> outputNames);
    // One written line: its output fields in the order given to begin() (a
    // short line leaves the missing outputs unreadable) and its verdict.
    void addLine(std::span<const std::string> outputs, bool valid);

    // The figures at one moment.
    struct Output {
        std::string name;
        RunningSummary summary;
    };
    struct Snapshot {
        std::uint64_t version = 0;  // changes with every begin() and line
        std::int64_t lines = 0;
        std::vector<Output> outputs;
    };
    Snapshot snapshot() const;
    // Changes with every begin() and line: a window redraws only when it moved.
    std::uint64_t version() const;
    // The history of output `index` (0-based), the latest line included as
    // its last point; empty for an index out of range or before any line.
    std::vector<MeanPoint> history(std::size_t index) const;

private:
    // A kept point: the half-width's t quantile is worked out only when
    // the history is asked for, not for every line.
    struct Kept {
        std::int64_t line = 0, count = 0;
        double mean = 0, deviation = 0;
    };
    struct Track {
        std::string name;
        RunningSummary summary;
        std::vector<Kept> points;
    };
    static Kept KeptOf(const RunningSummary& s, std::int64_t line);

    mutable std::mutex mutex_;
    std::vector<Track> tracks_;
    std::int64_t lines_ = 0;
    std::int64_t stride_ = 1;
    std::uint64_t version_ = 0;
};

}  // namespace korvane

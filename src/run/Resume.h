#pragma once
// Resuming a study that was interrupted (a crash, kill -9, a power cut). The
// DB file's last block must be this study's: the same names and kinds of
// columns, lines numbered 1, 2, 3, ... with the plan's own input values. Its
// whole lines are kept, a line the interruption cut short is dropped, and the
// plan's values are replayed up to there without calculating, so that the
// finished file is byte for byte the one an uninterrupted run writes.

#include <cstdint>
#include <string>

namespace korvane {

struct RunState;
class PlanSequence;
class PrecisionStop;
class RunObserver;

struct ResumePoint {
    std::int64_t done = 0;        // calculations 1 to done have their lines
    std::uint64_t keepBytes = 0;  // the file up to the end of its last whole line
    bool partialLine = false;     // bytes after that (a line cut short)
    std::int64_t precisionAt = 0; // the line that met the precision target, 0: none
};

// Checks the DB file at state.DbPath against the run's columns and the plan's
// values, replaying `sequence` (begun, at calculation 1) over the lines found;
// afterwards it stands at the first calculation to make. False with a message
// saying why the file cannot be continued; the file is only read. The line
// cut short, if any, is dropped by the DB writer once the run really starts
// (DbWriter::continueBlock), so a run refused later leaves the file as it was.
// `precision`, when given, is fed every whole line found, so that the resumed
// run stops where one never interrupted would. `observer`, when given, is
// passed every whole line found as if it had just been written (its live
// figures then start from the whole study).
bool FindResumePoint(const RunState& state, PlanSequence& sequence, ResumePoint& point, std::string& error,
                     PrecisionStop* precision = nullptr, RunObserver* observer = nullptr);


}  // namespace korvane

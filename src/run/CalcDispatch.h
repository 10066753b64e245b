#pragma once
// The calculation loop of the repeating plans: hands the plan's calculations,
// in order, to the workers as they become free, writes each line in
// calculation order as soon as every earlier one is written, and keeps the
// meaning of stop and pause: a stop lets the calculations handed out finish,
// so the DB file ends with whole, consecutive lines. A calculation that runs
// longer than the time limit is abandoned and recorded with empty outputs and
// the verdict False; a calculation that fails ends the run after the lines
// before it. A run with a precision target ends as completed at the line that
// meets it: calculations handed out beyond that line are abandoned and never
// written, so the file is the one a single worker writes.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "run/RunDriver.h"

namespace korvane {

class DbWriter;
class PlanSequence;
class CalcPool;
class PrecisionStop;
struct HeaderValues;

// The question asked when a stopped run's calculation has not returned.
inline constexpr const char* kEndCalculationQuestion =
    "計算が5秒以上終わりません。実行中の計算を今すぐ打ち切りますか？\n"
    "(打ち切った計算はDBファイルに記録されません。いいえ: 計算の終わりを待ちます。)";
// How long a stopped run waits for its calculations before it asks.
inline constexpr int kStopGraceSeconds = 5;

struct CalcLoop {
    UserInterface& ui;
    RunObserver& observer;
    RunState& state;             // the run's state: each written line passes through it
    const HeaderValues& header;  // the visibility box is read at every event pass
    DbWriter& db;                // open; its header (or a resumed block's start) not yet written
    PlanSequence& sequence;      // at the first calculation to hand out
    CalcPool& pool;
    std::shared_ptr<std::atomic<bool>> visible;  // what the workers read of the visibility box
    double calcTimeoutSeconds = 0;                // 0: no limit
    // A stop that the calculations in progress do not follow within
    // kStopGraceSeconds asks whether to end them now (the window); without
    // a user to ask, they are ended.
    bool askBeforeEnding = false;
    // A workbook whose cells will not compute as Excel did: asked about (the
    // window, default No), run anyway (`acceptDifferences`, said on the
    // error output), or refused before the first calculation.
    bool askOnDifferences = false;
    bool acceptDifferences = false;
    // The Single plan's one calculation: its line is numbered 0, it cannot
    // be stopped, and its worker opens the workbook within the calculation
    // (after the programs of timings 1 and 2).
    bool single = false;
    // A completed run hands the instance of its (one) worker over instead of
    // quitting it: the Single plan's workbook kept open after the run.
    bool keepWorkbook = false;
    std::shared_ptr<WorkbookLink> keptWorkbook;
    // Fed each written line; when it is reached the run ends there. A
    // resumed run hands it over fed with the lines already in the file.
    PrecisionStop* precision = nullptr;
};

// Runs the calculations to the end of the plan, a stop or a failure. Refused
// when nothing was written (an instance that could not start, a missing sheet
// before the header). Messages are shown here.
RunOutcome RunCalculations(CalcLoop& loop);

}  // namespace korvane

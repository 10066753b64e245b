#pragma once
// The input values of every calculation of a repeating plan, worked out
// before the workbook runs. A plan's values depend only on the project: the
// draws in order from the seeded source, the data file's lines, the array's
// rows, and the texts the input step leaves behind (a formatted, rounded or
// replaced value carries into the next calculation). Nothing the workbook
// computes feeds back into them, so they can be computed ahead, in order,
// and handed to any number of instances: each calculation gets exactly the
// values the one-instance run would have given it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "project/RunState.h"

namespace korvane {

// One calculation's input texts, indexed from 1 like RunState::InputValues.
struct CalcValues {
    std::int64_t count = 0;  // the calculation number, from 1
    // As the previous calculation left them (the initial values before the
    // first): what the programs of timing 1 see.
    std::vector<std::string> before;
    // After the plan's value assignment: what the input step formats and
    // writes into the cells.
    std::vector<std::string> assigned;
    // After the input step: the input fields of the calculation's DB line.
    std::vector<std::string> recorded;
    // With `assigned`: what the "Format" inputs that kept their value wrote
    // last, and the numbers those texts stand for.
    std::vector<FormatMark> marks;
};

class PlanSequence {
public:
    PlanSequence();
    ~PlanSequence();
    PlanSequence(const PlanSequence&) = delete;
    PlanSequence& operator=(const PlanSequence&) = delete;

    // The plan's own preparation, before the DB file is touched: the Monte
    // Carlo checks and seeding (and its whole sample design when it draws
    // through one), the orthogonal array cut (its rows recorded
    // in the application folder), the data file counted and opened. Sets
    // state.CalcTotal (MonteCarlo: from its count; Single: one calculation
    // with the initial values). False with the message that refuses the run.
    bool prepare(RunState& state, const std::string& appFolder, std::string& error);
    // Starts the sequence from the state's current input texts (the initial
    // values, assigned after prepare).
    void begin(const RunState& state);

    std::int64_t total() const;
    // The number of the next calculation next() gives.
    std::int64_t nextCount() const;
    // The values of the next calculation. False after the last one (error
    // empty), or when a value cannot be had (a draw that never falls inside
    // its limits, an unreadable data line): the error says why, and the run
    // must end before that calculation.
    bool next(CalcValues& values, std::string& error);
    // Releases the data file.
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvane

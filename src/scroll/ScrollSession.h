#pragma once
// The calculations of the scroll window: its own spreadsheet instance, open
// from the window's opening to its closing (or started and quit inside every
// calculation when the workbook is restarted per calculation), and one
// calculation per request through the same steps as every plan. Nothing is
// written to a DB file and no verdict is formed.

#include <string>
#include <vector>

#include "run/RunDriver.h"

namespace korvane {

struct RunState;
struct ScrollInputRow;
class ScrollOutputs;

class ScrollSession {
public:
    // `visible`: the application window is shown while it works.
    ScrollSession(RunState& state, WorkbookLinkFactory factory, bool visible);
    ~ScrollSession();
    ScrollSession(const ScrollSession&) = delete;
    ScrollSession& operator=(const ScrollSession&) = delete;

    // The opening: initial values, cell references (refused when an address
    // is not a cell), the programs of timings 1 and 2, and, unless the
    // workbook is restarted per calculation, the instance started with the
    // workbook open (refused when a sheet of the tasks is missing). False
    // with the reason.
    bool open(std::string& error);

    // One calculation (Scroll_Calc): programs of timing 1, the table's values
    // into the inputs, timing 2, [start], write, macros, read with the
    // programs of timings 3 to 5, [quit], the outputs into the table, timing 6.
    // `ready` lets the peaks follow. False with the reason; the table keeps
    // what it had when the failure came before the outputs were read.
    bool calculate(const std::vector<ScrollInputRow>& rows, ScrollOutputs& outputs, bool ready,
                   std::string& error);

    // The workbook closed without saving and the instance ended. Safe to call
    // more than once; done by the destructor.
    void close();

    // False once the instance the window works with is gone (killed,
    // crashed): no later calculation can succeed. Always true when the
    // workbook is restarted per calculation.
    bool alive() const;

    // Calculations finished since the opening.
    long calculations() const { return calculations_; }

private:
    bool startAndOpen(std::string& error);

    RunState& s_;
    WorkbookLinkFactory factory_;
    bool visible_;
    long calculations_ = 0;
    bool sheetsChecked_ = false;
};

}  // namespace korvane

#pragma once
// Scroll notifications and calculations. A notification asks for one
// calculation with the table as it is then; notifications that arrive while a
// calculation runs are merged into one more calculation after it, with the
// latest values. So a slow model never builds up a queue of stale
// calculations, and the last calculation always uses the values the user
// left the table with.

#include <functional>

namespace korvane {

class CalculationQueue {
public:
    // A notification. True when the caller must arrange a call of run(): no
    // calculation was asked for and none runs.
    bool request();

    // Calculates while notifications are pending: `calculate` once, then
    // `between` (which lets the notifications that arrived meanwhile in),
    // again while any did. A call while it runs returns at once. Returns the
    // number of calculations.
    int run(const std::function<void()>& calculate, const std::function<void()>& between);

    bool running() const { return running_; }
    bool pending() const { return pending_; }
    // Forgets a pending notification (the window closes).
    void drop() { pending_ = false; }

private:
    bool pending_ = false;
    bool running_ = false;
};

}  // namespace korvane

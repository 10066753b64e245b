#include "scroll/CalculationQueue.h"

namespace korvane {

bool CalculationQueue::request() {
    const bool schedule = !pending_ && !running_;
    pending_ = true;
    return schedule;
}

int CalculationQueue::run(const std::function<void()>& calculate, const std::function<void()>& between) {
    if (running_) return 0;
    running_ = true;
    int count = 0;
    while (pending_) {
        pending_ = false;
        calculate();
        ++count;
        if (between) between();
    }
    running_ = false;
    return count;
}

}  // namespace korvane

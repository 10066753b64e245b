#include "ConsoleUi.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <unistd.h>

namespace korvane {

ConsoleUi::ConsoleUi() : terminal_(::isatty(STDERR_FILENO) != 0) {}

void ConsoleUi::showMessage(const std::string& text) {
    if (progressShown_) std::fputc('\n', stderr);
    progressShown_ = false;
    PrintMessage(text);
}

bool ConsoleUi::askYesNo(const std::string& text) {
    PrintMessage(text + " (No)");
    return false;
}

void ConsoleUi::endApplication(int exitStatus) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(exitStatus == 0 ? 1 : exitStatus);
}

void ConsoleUi::setProgressMaximum(std::int64_t total) {
    total_ = total;
    start_ = std::chrono::steady_clock::now();
}

void ConsoleUi::showProgress(std::int64_t counter, std::int64_t value, const std::string&) {
    if (!terminal_ || total_ <= 0 || value <= 0) return;
    auto now = std::chrono::steady_clock::now();
    // A few updates a second are enough; the last one always shows.
    if (value < total_ && progressShown_ && now - lastShown_ < std::chrono::milliseconds(200)) return;
    lastShown_ = now;
    double seconds = std::chrono::duration<double>(now - start_).count();
    double rate = seconds > 0 ? static_cast<double>(value) / seconds : 0.0;
    double left = rate > 0 ? static_cast<double>(total_ - value) / rate : 0.0;
    std::fprintf(stderr, "\rcalculation %lld of %lld  %.1f/s  %.0f s left   ", static_cast<long long>(counter),
                 static_cast<long long>(total_), rate, left);
    if (value >= total_) std::fputc('\n', stderr);
    progressShown_ = value < total_;
    std::fflush(stderr);
}

}  // namespace korvane

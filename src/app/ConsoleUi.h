#pragma once
// The user interface of an unattended run without a display: every message
// goes to stderr, nothing waits for an answer, and progress is shown on stderr
// when it is a terminal.

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/ConsoleOutput.h"
#include "platform/UserInterface.h"
#include "run/RunDriver.h"

namespace korvane {

class ConsoleUi : public UserInterface, public RunObserver {
public:
    ConsoleUi();

    void showMessage(const std::string& text) override;
    // Unattended: a question is answered No (no question is asked on the run
    // path; an answer of Yes could only overwrite or delete something).
    bool askYesNo(const std::string& text) override;
    std::string chooseFile(const std::string&, const std::string&, const std::string&, bool) override {
        return {};
    }
    void endApplication(int exitStatus) override;

    void setProgressMaximum(std::int64_t total) override;
    void showProgress(std::int64_t counter, std::int64_t value, const std::string& statusText) override;

private:
    bool terminal_;
    std::int64_t total_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastShown_;
    bool progressShown_ = false;
};

}  // namespace korvane

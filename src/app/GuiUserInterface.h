#pragma once
// The user interface of the windowed program: message boxes and file
// dialogs. Every message has the application's title as caption, every
// question "Notice!". For an unattended run with a display the messages are
// also printed to stderr, so a calling script sees them.

#include <QPointer>
#include <QWidget>

#include "platform/UserInterface.h"

namespace korvane {

class GuiUserInterface : public UserInterface {
public:
    explicit GuiUserInterface(bool echoToStderr = false) : echo_(echoToStderr) {}

    // The window the boxes and dialogs belong to (may be null).
    void setParentWindow(QWidget* parent) { parent_ = parent; }

    void showMessage(const std::string& text) override;
    // A box of its own ("NoticeBox") that stays while the run goes on.
    void showNotice(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    bool askYesNoDefaultNo(const std::string& text) override;
    std::string chooseFile(const std::string& filter, const std::string& title, const std::string& startFolder,
                           bool forSaving) override;
    void beep() override;
    // Leaves every event loop, the run's included; RunGui returns the status.
    void endApplication(int exitStatus) override;

    bool ended() const { return ended_; }
    int exitStatus() const { return exitStatus_; }

private:
    bool echo_;
    QPointer<QWidget> parent_;
    bool ended_ = false;
    int exitStatus_ = 0;
};

// "*.tolv|*.tolv" (description|pattern pairs) as a Qt name filter.
QString QtFileFilter(const std::string& filter);

}  // namespace korvane

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
    QWidget* parentWindow() const { return parent_; }

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

// The user interface of one window: its boxes and dialogs belong to that
// window, so they stay over it and do not bring another window (a locked
// main window) up over it. Everything else is the program's own interface.
class WindowUserInterface : public UserInterface {
public:
    WindowUserInterface(UserInterface& base, QWidget* window) : base_(base), window_(window) {}

    void showMessage(const std::string& text) override;
    void showNotice(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    std::string chooseFile(const std::string& filter, const std::string& title, const std::string& startFolder,
                           bool forSaving) override;
    void beep() override { base_.beep(); }
    void endApplication(int exitStatus) override { base_.endApplication(exitStatus); }

private:
    // For the time of one box: the program's interface parents it to this
    // window.
    class Owned {
    public:
        explicit Owned(const WindowUserInterface& ui);
        ~Owned();

    private:
        GuiUserInterface* gui_;
        QPointer<QWidget> previous_;
    };

    UserInterface& base_;
    QPointer<QWidget> window_;
};

// "*.tolv|*.tolv" (description|pattern pairs) as a Qt name filter.
QString QtFileFilter(const std::string& filter);

}  // namespace korvane

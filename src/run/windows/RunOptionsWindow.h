#pragma once
// The run options window: how many LibreOffice instances calculate at once
// and the time limit of one calculation. The values belong to this machine,
// not to the study: OK keeps them in the application folder's settings file
// and hands them to the run driver; the project file is never touched.

#include <QDialog>

#include "run/RunOptions.h"

class QLineEdit;
class QSpinBox;

namespace korvane {

class WindowHost;
struct WindowRequest;
class UserInterface;

class RunOptionsWindow : public QDialog {
    Q_OBJECT
public:
    RunOptionsWindow(UserInterface& ui, const std::string& appFolder, const RunOptions& current,
                     QWidget* parent = nullptr);
    // The options as OK saved them.
    const RunOptions& options() const { return options_; }

private:
    void OKCommand_Click();

    UserInterface& ui_;
    std::string appFolder_;
    RunOptions options_;
    QSpinBox* workers_;
    QLineEdit* timeout_;
};

// The window's opener for the window registry ("RunOptions_Form").
void OpenRunOptionsForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

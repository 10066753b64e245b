#pragma once
// Exe_Setting_Form ("exe実行設定"): adds, changes or removes one external
// program of the calculation flow in the main window's exe grid. A new
// program takes the place of the row the window was opened on (the end of
// the flow from the add button), so its timing is that of the step marker
// above it; OK and Delete then write the whole flow into the working copy.

#include <QDialog>

class QLineEdit;

namespace korvane {

class WindowHost;
struct WindowRequest;

class ExeSettingForm : public QDialog {
    Q_OBJECT
public:
    ExeSettingForm(WindowHost& host, const WindowRequest& request, QWidget* parent = nullptr);

private:
    void pathEdited();
    void Exe_Brws_Button_Click();
    void OKCommand_Click();
    void DeleteCommand_Click();

    WindowHost& host_;
    int gridRow_;
    bool editMode_;
    QLineEdit* pathText_;
    QLineEdit* argsText_;
};

void OpenExeSettingForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

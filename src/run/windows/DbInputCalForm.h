#pragma once
// DB_Input_Cal_Form ("DataFile設定"): the data file of the data-file plan,
// a preview of its first lines, which data column feeds which input
// variable (row 0 of the preview), the first data line and the restart
// option. OK rewrites the "<<DataFileInput>>" section; Cancel leaves it.

#include <QDialog>
#include <string>
#include <vector>

#include "run/DataFileInput.h"

class QCheckBox;
class QLineEdit;

namespace korvane {

class WindowHost;
class SettingsGrid;
struct WindowRequest;

class DbInputCalForm : public QDialog {
    Q_OBJECT
public:
    DbInputCalForm(WindowHost& host, QWidget* parent = nullptr);
    bool loaded() const { return loaded_; }
    SettingsGrid* grid() const { return grid_; }

    void Auto_Command_Click();
    // Loads the preview of the file named in DF_Brws_Text.
    void loadPreview();

private:
    void pathEdited();
    void DB_Brws_Button_Click();
    std::vector<std::string> assigned() const;
    void showAssigned(const std::vector<std::string>& names);
    void styleFixedCells();
    void OKCommand_Click();

    WindowHost& host_;
    bool loaded_ = false;
    QLineEdit* pathText_;
    SettingsGrid* grid_;
    QLineEdit* readRow_;
    QCheckBox* check1_;
    std::vector<std::string> names_;
    QString previewed_;
    DataPreview preview_;
};

void OpenDbInputCalForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

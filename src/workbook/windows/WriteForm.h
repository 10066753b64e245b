#pragma once
// WriteForm ("セル入力設定"): edits one row of the input or output task list,
// the variable's name, sheet and cell and, for inputs, the format of the
// value written. Sheet names come from the workbook; sheet, cell and name can
// be picked in a shown LibreOffice window. OK stores the row, Delete removes
// it (and an input's settings in the other sections), Cancel changes nothing.

#include <QDialog>
#include <string>
#include <vector>

#include "workbook/TaskEditing.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace korvane {

class FillOnOpenCombo;
class WindowHost;
struct WindowRequest;

class WriteForm : public QDialog {
    Q_OBJECT
public:
    // The request's editTarget ("Inp" or "Out") names the list; its row (empty
    // for a new task) the row the window is opened on.
    WriteForm(WindowHost& host, const WindowRequest& request, QWidget* parent = nullptr);

    // Why the picks cannot work here (no display for a shown LibreOffice);
    // empty when they can.
    static std::string PickUnavailableReason();

    void Cell_Pick_Command_Click();
    void VarName_Pick_Command_Click();

private:
    void fillSheetList();
    void fillNameList();
    void optionChosen();
    void roundEdited();
    TaskFormat chosenFormat() const;
    void pick(bool forName);
    void OKCommand_Click();
    void DeleteCommand_Click();

    WindowHost& host_;
    bool input_;
    bool editMode_;
    OpenedRow opened_;
    FillOnOpenCombo* nameCombo_;
    FillOnOpenCombo* sheetCombo_;
    QLineEdit* rangeText_;
    QPushButton* namePick_;
    QPushButton* cellPick_;
    QGroupBox* formatFrame_;
    QRadioButton* option1_;
    QRadioButton* option2_;
    QRadioButton* option3_;
    QComboBox* roundCombo_;
    QComboBox* formatCombo_;
    QPushButton* deleteButton_;
    bool picking_ = false;
};

void OpenWriteForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

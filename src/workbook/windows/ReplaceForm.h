#pragma once
// Replace_Form ("入力変数値の置換設定"): the replacement list of one input
// variable of kind Replace: which text is written into the workbook for the
// number 0, 1, 2, ... The grid keeps one free row at its end for the next
// entry. OK asks before an empty text is stored and writes the variable's
// list into the "<<Input Replace>>" section; Cancel changes nothing.

#include <QDialog>
#include <string>
#include <vector>

#include "workbook/TaskEditing.h"

namespace korvane {

class WindowHost;
class SettingsGrid;
struct WindowRequest;

class ReplaceForm : public QDialog {
    Q_OBJECT
public:
    // The request's row holds the variable's name and its list text.
    ReplaceForm(WindowHost& host, const WindowRequest& request, QWidget* parent = nullptr);
    SettingsGrid* grid() const { return grid_; }

private:
    void cellStored(int row, int column);
    // Exactly one free row after the last row with a number or a text.
    void keepOneFreeRow();
    std::vector<ReplaceEntry> gridRows() const;
    void OKCommand_Click();

    WindowHost& host_;
    std::string name_;
    SettingsGrid* grid_;
};

void OpenReplaceForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

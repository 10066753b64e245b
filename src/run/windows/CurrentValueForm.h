#pragma once
// Current_Value_Form: every variable with its limits, its initial value and
// the value it has now (after a Single run) or had in the last calculation
// (after a repeating plan). "データベース読込" shows the values of any
// calculation of the DB file's last run; "現在値を初期値に設定" makes the
// shown values the inputs' initial values. Under the grid, the outputs'
// figures of the run in progress follow it while the window is open.
// Modeless.

#include <QDialog>
#include <vector>

#include "run/SettingsRows.h"

class QLineEdit;

namespace korvane {

class WindowHost;
class SettingsGrid;
class LiveFiguresPanel;
struct WindowRequest;

class CurrentValueForm : public QDialog {
    Q_OBJECT
public:
    CurrentValueForm(WindowHost& host, QWidget* parent = nullptr);
    bool loaded() const { return loaded_; }
    SettingsGrid* grid() const { return grid_; }
    // The figures of the run; null when the host watches no run.
    LiveFiguresPanel* livePanel() const { return live_; }

    void Read_db_Command_Click();
    void Set_Initial_Click();

private:
    void showCurrent();

    WindowHost& host_;
    bool loaded_ = false;
    std::vector<CurrentRow> rows_;
    SettingsGrid* grid_;
    QLineEdit* counter_;
    LiveFiguresPanel* live_ = nullptr;
};

void OpenCurrentValueForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

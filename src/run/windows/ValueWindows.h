#pragma once
// Init_Value_Form ("初期値設定") and Restriction_Value_Form ("制限値設定"):
// the initial values of the input variables, and the lower and upper limits
// of the input and output variables, all variables at once. OK writes the
// values into every task row of each name; Cancel writes nothing.

#include <QDialog>
#include <vector>

#include "run/SettingsRows.h"

namespace korvane {

class WindowHost;
class SettingsGrid;
struct WindowRequest;

class ValueWindow : public QDialog {
    Q_OBJECT
public:
    enum class Kind { Initial, Restriction };
    // False from loaded() when the working copy could not be read (the
    // message has been shown).
    ValueWindow(WindowHost& host, Kind kind, QWidget* parent = nullptr);
    bool loaded() const { return loaded_; }
    SettingsGrid* grid() const { return grid_; }

private:
    void OKCommand_Click();

    WindowHost& host_;
    Kind kind_;
    SettingsGrid* grid_;
    std::vector<ValueRow> rows_;
    bool loaded_ = false;
};

void OpenInitValueForm(WindowHost& host, const WindowRequest& request);
void OpenRestrictionValueForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

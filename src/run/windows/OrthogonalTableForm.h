#pragma once
// Orthogonal_Table_Form ("実験計画法 直交表設定"): the factors of the
// orthogonal-table plan with their lower and upper values (the middle one
// follows), the level setting, the restart option, and a preview of the
// table the run will calculate. OK rewrites the "<<OrthogonalTable>>"
// section; Cancel leaves it.

#include <QDialog>
#include <vector>

#include "run/SettingsRows.h"

class QCheckBox;
class QComboBox;
class QTableWidget;

namespace korvane {

class WindowHost;
class SettingsGrid;
struct WindowRequest;

class OrthogonalTableForm : public QDialog {
    Q_OBJECT
public:
    OrthogonalTableForm(WindowHost& host, QWidget* parent = nullptr);
    bool loaded() const { return loaded_; }
    SettingsGrid* grid() const { return grid_; }

    void Make_TableCommand_Click();

private:
    void cellStored(int row, int column);
    void tickToggled(int row, bool on);
    void showMiddle(int row, const QString& middle);
    void clearPreview();
    std::vector<FactorRow> gridRows() const;
    void OKCommand_Click();

    WindowHost& host_;
    bool loaded_ = false;
    SettingsGrid* grid_;
    QComboBox* levelCombo_;
    QCheckBox* check1_;
    QTableWidget* table_;
};

void OpenOrthogonalTableForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

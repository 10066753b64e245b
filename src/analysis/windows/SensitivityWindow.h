#pragma once
// Sens_Prgrs_Form ("感度解析"): normalised sensitivities of every output to
// every input, computed as soon as the window is shown, with the total over
// the outputs chosen as objectives, and a profile chart of the current
// column that follows the grid's rows.

#include <QWidget>
#include <string>

#include "ui/GuiUserInterface.h"
#include "analysis/Sensitivity.h"
#include "ui/AnalysisGrid.h"

class QComboBox;
class QLabel;
class QMenu;
class QTableWidget;

namespace korvane {

class PictureArea;
class UserInterface;

class SensitivityWindow : public QWidget {
    Q_OBJECT
public:
    SensitivityWindow(UserInterface& ui, std::string path, bool includeInvalidRows, QWidget* parent = nullptr);

    void compute();
    bool computing() const { return pass_.running(); }
    const SensitivityTable& table() const { return table_; }
    PictureArea* picture() const { return picture_; }
    QMenu* popupMenu() const { return menu_; }

    void Save_Result();
    // The profile chart of a grid column (0 = names) from the top visible
    // row on, in the grid's own row numbers (1 = objectives).
    void Plot_Pic(int column, int topRow, int lastRow);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Get_Param_NM();
    void showTable();
    void showTotals();
    void cellClicked(int row, int column);
    void objectiveChosen(int index);
    void followGrid();
    int topRow() const;

    WindowUserInterface ui_;  // the boxes belong to this window
    std::string path_;
    bool includeInvalid_;
    SensitivityTable table_;
    QTableWidget* grid_;
    QComboBox* objective_;
    PictureArea* picture_;
    QLabel* label_;
    QMenu* menu_;
    AnalysisPass pass_;
    int objectiveColumn_ = -1;
    bool computed_ = false;
};

}  // namespace korvane

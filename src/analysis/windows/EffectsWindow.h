#pragma once
// Factorial_Effects_Form ("要因効果図"): the data of an orthogonal-array run
// and the main-effect plot of each output (level means in dB), six factors
// at a time; the factors shown are chosen in the effects table's header.

#include <QWidget>
#include <string>
#include <vector>

#include "ui/GuiUserInterface.h"
#include "analysis/FactorialEffects.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QTabBar;
class QTableWidget;

namespace korvane {

class PictureArea;
class UserInterface;

class EffectsWindow : public QWidget {
    Q_OBJECT
public:
    EffectsWindow(UserInterface& ui, std::string path, QWidget* parent = nullptr);

    const EffectsTable& table() const { return table_; }
    PictureArea* picture() const { return picture_; }
    // Places the factor chooser over header cell `column` (1 to 6).
    void chooseFactor(int column);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setExportLabels(const std::vector<FactorLevels>& levels);
    void Form_Format();
    void Read_DB();
    // The level values of the shown factors for one output.
    std::vector<FactorLevels> Sens(int output) const;
    void showLevels(const std::vector<FactorLevels>& levels);
    void setFrame(const RunningRange& range);
    void Draw_Pic(const std::vector<FactorLevels>& levels, bool dark);
    void redraw();
    void factorChosen(int index);
    void pointerMoved(double x, double y);
    void placeGroupLabels();
    std::string factorName(int column) const;

    WindowUserInterface ui_;  // the boxes belong to this window
    std::string path_;
    EffectsTable table_;
    QTableWidget* data_;
    QTableWidget* cells_;
    QTabBar* tabs_;
    QComboBox* chooser_;
    QCheckBox* all_;
    PictureArea* picture_;
    QWidget* labelStrip_;
    std::vector<QLabel*> groupLabels_;
    QFrame* valueLine_;
    QLabel* valueLabel_;
    int chooserColumn_ = -1;
};

}  // namespace korvane

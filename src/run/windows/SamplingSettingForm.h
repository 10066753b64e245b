#pragma once
// Sampling_Setting_Form ("MonteCarlo設定"): the number of calculations, the
// restart option, the random seed and, per input variable, whether it is
// sampled and from which distribution. OK checks the ticked rows and the
// count and rewrites the "<<MonteCarlo>>" section; Cancel leaves it.

#include <QDialog>
#include <vector>

#include "run/SettingsRows.h"

class QCheckBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace korvane {

class WindowHost;
class SettingsGrid;
struct WindowRequest;

class SamplingSettingForm : public QDialog {
    Q_OBJECT
public:
    SamplingSettingForm(WindowHost& host, QWidget* parent = nullptr);
    bool loaded() const { return loaded_; }
    SettingsGrid* grid() const { return grid_; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void tickToggled(int row, bool on);
    void Command1_Click();
    void Command2_Click();
    void placeSeedFrame();
    std::vector<SamplingRow> gridRows() const;
    void OKCommand_Click();

    WindowHost& host_;
    bool loaded_ = false;
    SettingsGrid* grid_;
    QLineEdit* numOfCalc_;
    QCheckBox* check1_;
    QPushButton* command1_;
    QFrame* seedFrame_;
    QRadioButton* option1_;
    QRadioButton* option2_;
    QLineEdit* seedText_;
};

void OpenSamplingSettingForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

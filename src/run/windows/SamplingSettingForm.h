#pragma once
// Sampling_Setting_Form ("MonteCarlo設定"): the number of calculations, the
// restart option, the random seed and, per input variable, whether it is
// sampled and from which distribution; under them the sampling method, the
// rank correlations wanted between sampled variables and the precision at
// which a run may stop. OK checks the ticked rows, the count and the sampling
// settings, rewrites the "<<MonteCarlo>>" section and puts the sampling
// section (none when the settings are plain draws); Cancel leaves both.

#include <QDialog>
#include <vector>

#include "run/SettingsRows.h"

class QCheckBox;
class QComboBox;
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
    SettingsGrid* correlationGrid() const { return correlations_; }
    SettingsGrid* precisionGrid() const { return precision_; }

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
    bool checkSampling(const std::vector<SamplingRow>& rows, SamplingSettings& settings);

    // The sampling part under the variables.
    QLayout* buildSamplingPart();
    void showSampling(const SamplingSettings& settings);
    void fillVariableChoices();
    void keepOneEmptyRow();
    SamplingSettings gridSettings() const;

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
    QComboBox* method_ = nullptr;
    SettingsGrid* correlations_ = nullptr;
    SettingsGrid* precision_ = nullptr;
    std::vector<std::string> outputs_;
};

void OpenSamplingSettingForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

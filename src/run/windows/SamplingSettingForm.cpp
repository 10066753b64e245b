#include "SamplingSettingForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/LegendWindow.h"
#include "ui/NumericBox.h"
#include "ui/SettingsGrid.h"
#include "ui/WindowParts.h"
#include "platform/UserInterface.h"
#include "project/ProjectDocument.h"
#include "project/NumberText.h"
#include "project/Sampling.h"
#include "run/Distributions.h"
#include "run/SampleDesign.h"
#include "ui/WindowHost.h"

namespace korvane {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
enum Col { kName, kTick, kDist, kCenter, kSpread };
enum CorrelationCol { kFirst, kSecond, kValue };
enum PrecisionCol { kOutput, kFraction, kPercent };
}  // namespace

SamplingSettingForm::SamplingSettingForm(WindowHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    using C = SettingsGrid::Cell;
    setObjectName(QStringLiteral("Sampling_Setting_Form"));
    setWindowTitle(QStringLiteral("MonteCarlo設定"));
    setModal(true);

    grid_ = new SettingsGrid(host.ui(),
                             {{"変数名", 1500, C::Fixed},
                              {"Var.", 500, C::Tick},
                              {"分布型", 1600, C::Choice},
                              {"中心値", 1600, C::Number},
                              {"標準偏差", 1600, C::Number}},
                             this);
    grid_->chooser()->setObjectName(QStringLiteral("DsnObj_Combo"));
    for (const char* name : {kNormalDistribution, kUniformDistribution, kLognormalDistribution, kGumbelDistribution,
                             kWeibullDistribution, kTriangularDistribution, kDiscreteUniformDistribution})
        grid_->chooser()->addItem(QString::fromUtf8(name));
    // Only a ticked variable's distribution is edited.
    grid_->cellKind = [this](int row, int column) {
        if (column == kDist) return grid_->ticked(row) ? C::Choice : C::Fixed;
        if (column == kCenter || column == kSpread) return grid_->ticked(row) ? C::Number : C::Fixed;
        return column == kTick ? C::Tick : C::Fixed;
    };

    auto* label2 = new QLabel(QStringLiteral("計算回数："), this);
    label2->setObjectName(QStringLiteral("Label2"));
    numOfCalc_ = new QLineEdit(this);
    numOfCalc_->setObjectName(QStringLiteral("Num_of_Calc_Text"));
    numOfCalc_->setFixedWidth(110);
    numOfCalc_->setAlignment(Qt::AlignRight);
    BindNumericFilter(numOfCalc_, host.ui(), true);
    check1_ = new QCheckBox(QStringLiteral("計算毎にエクセルを再起動"), this);
    check1_->setObjectName(QStringLiteral("Check1"));
    command1_ = NamedButton("Command1", QStringLiteral("RandomSeed"), this);
    command1_->setAutoDefault(false);
    auto* legend = NamedButton("Lgnd_Button1", QStringLiteral("分布の説明"), this);
    legend->setAutoDefault(false);
    auto* top = new QHBoxLayout;
    top->addWidget(label2);
    top->addWidget(numOfCalc_);
    top->addSpacing(16);
    top->addWidget(check1_);
    top->addStretch(1);
    top->addWidget(command1_);
    top->addWidget(legend);

    // The seed frame floats over the window below its button.
    seedFrame_ = new QFrame(this);
    seedFrame_->setObjectName(QStringLiteral("Rand_Set_Frame"));
    seedFrame_->setFrameShape(QFrame::StyledPanel);
    seedFrame_->setAutoFillBackground(true);
    option1_ = new QRadioButton(QStringLiteral("Random"), seedFrame_);
    option1_->setObjectName(QStringLiteral("Option1"));
    option2_ = new QRadioButton(QStringLiteral("Fixed Seed"), seedFrame_);
    option2_->setObjectName(QStringLiteral("Option2"));
    seedText_ = new QLineEdit(QStringLiteral("1234"), seedFrame_);
    seedText_->setObjectName(QStringLiteral("Seed_Text"));
    seedText_->setFixedWidth(100);
    BindNumericFilter(seedText_, host.ui(), true);
    auto* command2 = NamedButton("Command2", QStringLiteral("閉じる"), seedFrame_);
    command2->setAutoDefault(false);
    auto* seedLayout = new QGridLayout(seedFrame_);
    seedLayout->addWidget(option1_, 0, 0, 1, 2);
    seedLayout->addWidget(option2_, 1, 0);
    seedLayout->addWidget(seedText_, 1, 1);
    seedLayout->addWidget(command2, 2, 1, Qt::AlignRight);
    seedFrame_->hide();

    QPushButton *ok, *cancel;
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grid_, 1);
    layout->addLayout(buildSamplingPart());
    layout->addLayout(OkCancelRow(this, &ok, &cancel));

    // The saved settings.
    std::vector<std::string> lines;
    std::vector<SamplingRow> rows;
    MonteCarloSettings saved;
    SamplingSettings sampling;
    if (host.document().ReadWorkingCopy(lines)) {
        loaded_ = true;
        const Project project = ParseProject(lines);
        rows = SamplingRows(project);
        saved = project.monteCarlo;
        sampling = project.sampling;
        outputs_ = DistinctOutputNames(project);
    }
    grid_->setRows(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const SamplingRow& row = rows[static_cast<std::size_t>(r)];
        grid_->setText(r, kName, Q(row.name));
        grid_->setTicked(r, row.ticked);
        grid_->setText(r, kDist, Q(row.distType));
        grid_->setText(r, kCenter, Q(row.center));
        grid_->setText(r, kSpread, Q(row.spread));
    }
    numOfCalc_->setText(Q(saved.numOfCalc));
    check1_->setChecked(saved.restartExcel == "1");
    if (saved.randomSeed == "Random") {
        option1_->setChecked(true);
    } else {
        option2_->setChecked(true);
        seedText_->setText(Q(saved.randomSeed));
    }
    seedText_->setEnabled(option2_->isChecked());
    fillVariableChoices();
    precision_->chooser()->addItem(QString());
    for (const std::string& name : outputs_) precision_->chooser()->addItem(Q(name));
    showSampling(sampling);

    connect(grid_, &SettingsGrid::tickToggled, this, &SamplingSettingForm::tickToggled);
    connect(grid_, &SettingsGrid::gridClicked, seedFrame_, &QWidget::hide);
    connect(option1_, &QRadioButton::toggled, this, [this] { seedText_->setEnabled(option2_->isChecked()); });
    connect(command1_, &QPushButton::clicked, this, &SamplingSettingForm::Command1_Click);
    connect(command2, &QPushButton::clicked, this, &SamplingSettingForm::Command2_Click);
    connect(legend, &QPushButton::clicked, this,
            [this] { ShowLegend(this, host_.ui(), "\\legend_files\\Dstbt1.BMP", host_.appFolder()); });
    connect(ok, &QPushButton::clicked, this, &SamplingSettingForm::OKCommand_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(std::max(GridWidth(grid_), GridWidth(correlations_) + GridWidth(precision_) + 12) + 24, 600);
}

void SamplingSettingForm::tickToggled(int row, bool on) {
    // The correlations choose among the ticked variables.
    fillVariableChoices();
    if (on) return;
    grid_->setText(row, kDist, QString::fromUtf8(kNoDistribution));
    grid_->setText(row, kCenter, QString());
    grid_->setText(row, kSpread, QString());
}

void SamplingSettingForm::placeSeedFrame() {
    seedFrame_->adjustSize();
    const QPoint below = command1_->mapTo(this, QPoint(command1_->width(), command1_->height() + 2));
    seedFrame_->move(std::max(0, below.x() - seedFrame_->width()), below.y());
}

void SamplingSettingForm::Command1_Click() {
    grid_->storeEdit();
    grid_->hideEditors();
    if (seedFrame_->isVisible()) {
        seedFrame_->hide();
        return;
    }
    placeSeedFrame();
    seedFrame_->show();
    seedFrame_->raise();
}

void SamplingSettingForm::Command2_Click() {
    if (seedText_->text().isEmpty()) {
        host_.ui().showMessage(kSeedMissingMessage);
        return;
    }
    seedFrame_->hide();
}

void SamplingSettingForm::mousePressEvent(QMouseEvent* event) {
    // A click on the window's background closes the seed frame.
    seedFrame_->hide();
    QDialog::mousePressEvent(event);
}

void SamplingSettingForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (seedFrame_->isVisible()) placeSeedFrame();
}

std::vector<SamplingRow> SamplingSettingForm::gridRows() const {
    std::vector<SamplingRow> rows;
    for (int r = 0; r < grid_->rowCount(); ++r)
        rows.push_back({S(grid_->text(r, kName)), grid_->ticked(r), S(grid_->text(r, kDist)),
                        S(grid_->text(r, kCenter)), S(grid_->text(r, kSpread))});
    return rows;
}

void SamplingSettingForm::OKCommand_Click() {
    for (SettingsGrid* g : {grid_, correlations_, precision_}) g->storeEdit();
    const std::vector<SamplingRow> rows = gridRows();
    const std::string incomplete = CheckSamplingRows(rows);
    if (!incomplete.empty()) {
        host_.ui().showMessage(incomplete);
        return;
    }
    if (const auto problems = CheckSamplingValues(rows); !problems.empty()) {
        grid_->refuseCell(static_cast<int>(problems[0].row), Q(problems[0].column), problems[0].message);
        return;
    }
    if (check1_->isChecked() && !host_.ui().askYesNo(kRestartQuestion)) check1_->setChecked(false);
    if (!NumOfCalcAccepted(S(numOfCalc_->text()))) {
        host_.ui().showMessage(kNumOfCalcMessage);
        return;
    }
    SamplingSettings sampling;
    if (!checkSampling(rows, sampling)) return;
    const auto content = MonteCarloSectionLines(S(numOfCalc_->text()), check1_->isChecked(), option1_->isChecked(),
                                                S(seedText_->text()), rows);
    // The sampling section is tried on the lines first, so that a file whose
    // section cannot take the change is not left with the first half of it.
    std::vector<std::string> lines;
    std::string error;
    if (!host_.document().ReadWorkingCopy(lines)) return;
    if (!PutSamplingSection(lines, sampling, error)) {
        host_.ui().showMessage(error);
        return;
    }
    if (host_.document().RewriteWorkingCopy(section::MonteCarlo, content) && host_.document().RewriteSampling(sampling))
        accept();
}

// ---------------------------------------------------------------- the sampling part

QLayout* SamplingSettingForm::buildSamplingPart() {
    using C = SettingsGrid::Cell;
    auto* methodLabel = new QLabel(QStringLiteral("サンプリング方法："), this);
    methodLabel->setObjectName(QStringLiteral("Method_Label"));
    method_ = new QComboBox(this);
    method_->setObjectName(QStringLiteral("Method_Combo"));
    for (const char* name : {method::MonteCarlo, method::LHS, method::Sobol, method::Saltelli})
        method_->addItem(QString::fromUtf8(name));
    auto* methodRow = new QHBoxLayout;
    methodRow->addWidget(methodLabel);
    methodRow->addWidget(method_);
    methodRow->addStretch(1);

    correlations_ = new SettingsGrid(host_.ui(),
                                     {{"変数1", 1400, C::Choice}, {"変数2", 1400, C::Choice}, {"順位相関", 1000, C::Number}},
                                     this);
    correlations_->setObjectName(QStringLiteral("Correlation_Grid"));
    correlations_->chooser()->setObjectName(QStringLiteral("Var_Combo"));
    precision_ = new SettingsGrid(host_.ui(),
                                  {{"出力名", 1400, C::Choice}, {"相対半幅", 1000, C::Number}, {"信頼度%", 900, C::Number}},
                                  this);
    precision_->setObjectName(QStringLiteral("Precision_Grid"));
    precision_->chooser()->setObjectName(QStringLiteral("Output_Combo"));
    precision_->setRows(1);
    // Four correlation rows in view (more scroll); the one precision row.
    const int header = correlations_->horizontalHeader()->sizeHint().height();
    const int frame = 2 * correlations_->frameWidth();
    correlations_->setFixedHeight(header + 4 * correlations_->verticalHeader()->defaultSectionSize() + frame);
    precision_->setFixedHeight(header + precision_->verticalHeader()->defaultSectionSize() + frame);
    correlations_->setFixedWidth(GridWidth(correlations_));
    precision_->setFixedWidth(GridWidth(precision_));

    auto* correlationLabel = new QLabel(QStringLiteral("順位相関（サンプリングする変数の組）"), this);
    correlationLabel->setObjectName(QStringLiteral("Correlation_Label"));
    auto* precisionLabel = new QLabel(QStringLiteral("精度目標（達したら計算を止める）"), this);
    precisionLabel->setObjectName(QStringLiteral("Precision_Label"));
    auto* grids = new QGridLayout;
    grids->addWidget(correlationLabel, 0, 0);
    grids->addWidget(precisionLabel, 0, 1);
    grids->addWidget(correlations_, 1, 0, Qt::AlignTop | Qt::AlignLeft);
    grids->addWidget(precision_, 1, 1, Qt::AlignTop | Qt::AlignLeft);
    grids->setColumnStretch(2, 1);

    // A correlation row stored may have emptied a row or filled the last one.
    connect(correlations_, &SettingsGrid::cellStored, this, &SamplingSettingForm::keepOneEmptyRow);
    // A click on one grid keeps what was typed in another and closes the
    // seed frame, as a click on the first grid does.
    for (SettingsGrid* g : {grid_, correlations_, precision_}) {
        connect(g, &SettingsGrid::gridClicked, this, [this, g] {
            for (SettingsGrid* other : {grid_, correlations_, precision_}) {
                if (other == g) continue;
                other->storeEdit();
                other->hideEditors();
            }
            seedFrame_->hide();
        });
    }

    auto* part = new QVBoxLayout;
    part->addLayout(methodRow);
    part->addLayout(grids);
    return part;
}

void SamplingSettingForm::showSampling(const SamplingSettings& settings) {
    int index = method_->findText(Q(settings.method));
    if (index < 0) {
        // A method this program does not know stays shown, so that OK names
        // it rather than silently writing another.
        method_->addItem(Q(settings.method));
        index = method_->count() - 1;
    }
    method_->setCurrentIndex(index);
    correlations_->setRows(static_cast<int>(settings.correlations.size()));
    for (int r = 0; r < static_cast<int>(settings.correlations.size()); ++r) {
        const RankCorrelation& c = settings.correlations[static_cast<std::size_t>(r)];
        correlations_->setText(r, kFirst, Q(c.first));
        correlations_->setText(r, kSecond, Q(c.second));
        correlations_->setText(r, kValue, Q(c.value));
    }
    keepOneEmptyRow();
    if (settings.hasPrecision) {
        precision_->setText(0, kOutput, Q(settings.precision.output));
        precision_->setText(0, kFraction, Q(settings.precision.fraction));
        precision_->setText(0, kPercent, Q(settings.precision.percent));
    }
}

void SamplingSettingForm::fillVariableChoices() {
    // The empty item empties a cell (and so drops its row).
    QComboBox* chooser = correlations_->chooser();
    chooser->clear();
    chooser->addItem(QString());
    for (const std::string& name : SampledNames(gridRows())) chooser->addItem(Q(name));
}

void SamplingSettingForm::keepOneEmptyRow() {
    // A row emptied goes; one empty row at the end takes a new correlation.
    auto empty = [this](int r) {
        for (int c = kFirst; c <= kValue; ++c)
            if (!correlations_->text(r, c).isEmpty()) return false;
        return true;
    };
    for (int r = correlations_->rowCount() - 2; r >= 0; --r)
        if (empty(r)) correlations_->removeRow(r);
    const int count = correlations_->rowCount();
    if (count == 0 || !empty(count - 1)) correlations_->setRows(count + 1);
}

SamplingSettings SamplingSettingForm::gridSettings() const {
    std::vector<RankCorrelation> correlations;
    for (int r = 0; r < correlations_->rowCount(); ++r)
        correlations.push_back({S(correlations_->text(r, kFirst)), S(correlations_->text(r, kSecond)),
                                S(correlations_->text(r, kValue))});
    const PrecisionTarget precision{S(precision_->text(0, kOutput)), S(precision_->text(0, kFraction)),
                                    S(precision_->text(0, kPercent))};
    return SettingsOfRows(S(method_->currentText()), correlations, precision);
}

bool SamplingSettingForm::checkSampling(const std::vector<SamplingRow>& rows, SamplingSettings& settings) {
    settings = gridSettings();
    // Drawn through a sample design, every ticked row must make its
    // distribution; plain draws accept what they always accepted.
    if (UsesSampleDesign(rows, settings)) {
        if (const auto problems = CheckDistributions(rows); !problems.empty()) {
            grid_->refuseCell(static_cast<int>(problems[0].row), Q(problems[0].column), problems[0].message);
            return false;
        }
    }
    if (const std::string problem = CheckSamplingSettings(settings, rows, outputs_); !problem.empty()) {
        host_.ui().showMessage(problem);
        return false;
    }
    if (settings.method == method::Saltelli) {
        // The count as a run reads it (the box holds digits only).
        const double count = std::min(LeadingNumber(S(numOfCalc_->text())), 9.0e18);
        const std::string problem =
            SaltelliDesignProblem(SampledNames(rows).size(), static_cast<std::int64_t>(count));
        if (!problem.empty()) {
            host_.ui().showMessage(problem);
            return false;
        }
    }
    return true;
}

void OpenSamplingSettingForm(WindowHost& host, const WindowRequest&) {
    SamplingSettingForm window(host, host.hostWindow());
    if (window.loaded()) window.exec();
}

}  // namespace korvane

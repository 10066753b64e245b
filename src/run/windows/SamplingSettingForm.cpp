#include "SamplingSettingForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/LegendWindow.h"
#include "ui/NumericBox.h"
#include "ui/SettingsGrid.h"
#include "ui/WindowParts.h"
#include "platform/UserInterface.h"
#include "project/ProjectDocument.h"
#include "ui/WindowHost.h"

namespace korvane {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
enum Col { kName, kTick, kDist, kCenter, kSpread };
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
    grid_->chooser()->addItems({QString::fromUtf8(kNormalDistribution), QString::fromUtf8(kUniformDistribution)});
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
    layout->addLayout(OkCancelRow(this, &ok, &cancel));

    // The saved settings.
    std::vector<std::string> lines;
    std::vector<SamplingRow> rows;
    MonteCarloSettings saved;
    if (host.document().ReadWorkingCopy(lines)) {
        loaded_ = true;
        const Project project = ParseProject(lines);
        rows = SamplingRows(project);
        saved = project.monteCarlo;
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

    connect(grid_, &SettingsGrid::tickToggled, this, &SamplingSettingForm::tickToggled);
    connect(grid_, &SettingsGrid::gridClicked, seedFrame_, &QWidget::hide);
    connect(option1_, &QRadioButton::toggled, this, [this] { seedText_->setEnabled(option2_->isChecked()); });
    connect(command1_, &QPushButton::clicked, this, &SamplingSettingForm::Command1_Click);
    connect(command2, &QPushButton::clicked, this, &SamplingSettingForm::Command2_Click);
    connect(legend, &QPushButton::clicked, this,
            [this] { ShowLegend(this, host_.ui(), "\\legend_files\\Dstbt1.BMP", host_.appFolder()); });
    connect(ok, &QPushButton::clicked, this, &SamplingSettingForm::OKCommand_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(GridWidth(grid_) + 24, 420);
}

void SamplingSettingForm::tickToggled(int row, bool on) {
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
    grid_->storeEdit();
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
    const auto content = MonteCarloSectionLines(S(numOfCalc_->text()), check1_->isChecked(), option1_->isChecked(),
                                                S(seedText_->text()), rows);
    if (host_.document().RewriteWorkingCopy(section::MonteCarlo, content)) accept();
}

void OpenSamplingSettingForm(WindowHost& host, const WindowRequest&) {
    SamplingSettingForm window(host, host.hostWindow());
    if (window.loaded()) window.exec();
}

}  // namespace korvane

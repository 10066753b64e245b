#include "OrthogonalTableForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/SettingsGrid.h"
#include "ui/WindowParts.h"
#include "platform/UserInterface.h"
#include "project/ProjectDocument.h"
#include "run/OrthogonalTable.h"
#include "ui/WindowHost.h"

namespace korvane {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
enum Col { kName, kTick, kLower, kMiddle, kUpper };
const QColor kMiddleGrey(0xC0, 0xC0, 0xC0);

QColor Rgb(std::uint32_t rgb) { return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }
}  // namespace

OrthogonalTableForm::OrthogonalTableForm(WindowHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    using C = SettingsGrid::Cell;
    setObjectName(QStringLiteral("Orthogonal_Table_Form"));
    setWindowTitle(QStringLiteral("実験計画法 直交表設定"));
    setModal(true);

    auto* frame1 = new QGroupBox(QStringLiteral("因子設定"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    grid_ = new SettingsGrid(host.ui(),
                             {{"変数名(因子)", 1700, C::Fixed},
                              {"Var.", 500, C::Tick},
                              {"下方値", 1200, C::Number},
                              {"中間値", 1200, C::Fixed},
                              {"上方値", 1200, C::Number}},
                             frame1);
    grid_->cellKind = [this](int row, int column) {
        if (column == kLower || column == kUpper) return grid_->ticked(row) ? C::Number : C::Fixed;
        return column == kTick ? C::Tick : C::Fixed;
    };
    grid_->setMinimumWidth(GridWidth(grid_));
    (new QVBoxLayout(frame1))->addWidget(grid_);

    auto* label1 = new QLabel(QStringLiteral("水準："), this);
    label1->setObjectName(QStringLiteral("Label1"));
    levelCombo_ = new QComboBox(this);
    levelCombo_->setObjectName(QStringLiteral("Level_Combo"));
    levelCombo_->addItems({QString::fromUtf8(kTwoLevels), QString::fromUtf8(kThreeLevels)});
    check1_ = new QCheckBox(QStringLiteral("計算毎にエクセルを再起動"), this);
    check1_->setObjectName(QStringLiteral("Check1"));
    auto* make = NamedButton("Make_TableCommand", QStringLiteral("直交表作成"), this);
    make->setAutoDefault(false);
    make->setToolTip(QStringLiteral("チェックした因子で計算する直交表を表示します。"));
    auto* settings = new QHBoxLayout;
    settings->addWidget(label1);
    settings->addWidget(levelCombo_);
    settings->addSpacing(16);
    settings->addWidget(check1_);
    settings->addStretch(1);
    settings->addWidget(make);

    auto* frame3 = new QGroupBox(QStringLiteral("直交表"), this);
    frame3->setObjectName(QStringLiteral("Frame3"));
    table_ = new QTableWidget(frame3);
    table_->setObjectName(QStringLiteral("TableGrid1"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(20);
    table_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    table_->horizontalHeader()->setDefaultSectionSize(64);
    (new QVBoxLayout(frame3))->addWidget(table_);

    auto* panes = new QHBoxLayout;
    panes->addWidget(frame1);
    panes->addWidget(frame3, 1);
    QPushButton *ok, *cancel;
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(settings);
    layout->addLayout(panes, 1);
    layout->addLayout(OkCancelRow(this, &ok, &cancel));

    std::vector<std::string> lines;
    std::vector<FactorRow> rows;
    OrthogonalSettings saved;
    if (host.document().ReadWorkingCopy(lines)) {
        loaded_ = true;
        const Project project = ParseProject(lines);
        rows = FactorRows(project);
        saved = project.orthogonalTable;
    }
    grid_->setRows(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const FactorRow& f = rows[static_cast<std::size_t>(r)];
        grid_->setText(r, kName, Q(f.name));
        grid_->setTicked(r, f.ticked);
        grid_->setText(r, kLower, Q(f.lower));
        grid_->setText(r, kUpper, Q(f.upper));
        showMiddle(r, Q(f.middle));
    }
    // A level the list does not hold is kept as it was saved.
    if (levelCombo_->findText(Q(saved.level)) < 0) levelCombo_->addItem(Q(saved.level));
    levelCombo_->setCurrentText(Q(saved.level));
    check1_->setChecked(saved.restartExcel == "1");
    clearPreview();

    connect(grid_, &SettingsGrid::cellStored, this, &OrthogonalTableForm::cellStored);
    connect(grid_, &SettingsGrid::tickToggled, this, &OrthogonalTableForm::tickToggled);
    connect(levelCombo_, &QComboBox::currentIndexChanged, this, &OrthogonalTableForm::clearPreview);
    connect(make, &QPushButton::clicked, this, &OrthogonalTableForm::Make_TableCommand_Click);
    connect(ok, &QPushButton::clicked, this, &OrthogonalTableForm::OKCommand_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(GridWidth(grid_) + 560, 520);
}

void OrthogonalTableForm::showMiddle(int row, const QString& middle) {
    grid_->setText(row, kMiddle, middle);
    grid_->setCellColour(row, kMiddle, middle.isEmpty() ? QColor() : kMiddleGrey);
}

void OrthogonalTableForm::cellStored(int row, int column) {
    if (column != kLower && column != kUpper) return;
    showMiddle(row, Q(MiddleValueText(S(grid_->text(row, kLower)), S(grid_->text(row, kUpper)),
                                      S(grid_->text(row, kMiddle)))));
}

void OrthogonalTableForm::tickToggled(int row, bool on) {
    // A factor no longer ticked is not saved: its values go with the tick.
    if (on) return;
    grid_->setText(row, kLower, QString());
    grid_->setText(row, kUpper, QString());
    showMiddle(row, QString());
}

void OrthogonalTableForm::clearPreview() {
    table_->clear();
    table_->setColumnCount(2);
    table_->setRowCount(1);
    table_->setHorizontalHeaderLabels({QString(), QString()});
    table_->setColumnWidth(0, TwipsToPixels(800));
}

void OrthogonalTableForm::Make_TableCommand_Click() {
    grid_->storeEdit();
    grid_->hideEditors();
    std::vector<QString> factors;
    for (int r = 0; r < grid_->rowCount(); ++r)
        if (grid_->ticked(r)) factors.push_back(grid_->text(r, kName));
    std::vector<std::string> rows;
    std::string error;
    if (!MakeTablePreview(S(levelCombo_->currentText()), static_cast<std::int64_t>(factors.size()),
                          host_.appFolder(), rows, error)) {
        host_.ui().showMessage(error);
        return;
    }
    table_->clear();
    table_->setColumnCount(static_cast<int>(factors.size()) + 1);
    table_->setRowCount(static_cast<int>(rows.size()));
    QStringList header{Q(TableCornerText(rows.size()))};
    for (const QString& f : factors) header << f;
    table_->setHorizontalHeaderLabels(header);
    table_->setColumnWidth(0, TwipsToPixels(800));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        auto* number = new QTableWidgetItem(QString::number(r + 1));
        number->setTextAlignment(Qt::AlignCenter);
        table_->setItem(r, 0, number);
        const std::string& levels = rows[static_cast<std::size_t>(r)];
        for (int c = 0; c < static_cast<int>(levels.size()) && c < static_cast<int>(factors.size()); ++c) {
            const char level = levels[static_cast<std::size_t>(c)];
            auto* item = new QTableWidgetItem(QString(QChar(level)));
            item->setTextAlignment(Qt::AlignCenter);
            item->setBackground(Rgb(LevelCellColour(level)));
            item->setForeground(Qt::black);
            table_->setItem(r, c + 1, item);
        }
    }
}

std::vector<FactorRow> OrthogonalTableForm::gridRows() const {
    std::vector<FactorRow> rows;
    for (int r = 0; r < grid_->rowCount(); ++r)
        rows.push_back({S(grid_->text(r, kName)), grid_->ticked(r), S(grid_->text(r, kLower)),
                        S(grid_->text(r, kMiddle)), S(grid_->text(r, kUpper))});
    return rows;
}

void OrthogonalTableForm::OKCommand_Click() {
    grid_->storeEdit();
    const std::vector<FactorRow> rows = gridRows();
    if (const auto problems = CheckFactorRows(rows); !problems.empty()) {
        grid_->refuseCell(static_cast<int>(problems[0].row), Q(problems[0].column), problems[0].message);
        return;
    }
    // Factors beyond the array's columns would keep their initial values.
    std::vector<std::string> factors;
    for (const FactorRow& f : rows)
        if (f.ticked) factors.push_back(f.name);
    if (const std::string beyond = FactorsBeyondArrayMessage(S(levelCombo_->currentText()), factors);
        !beyond.empty()) {
        host_.ui().showMessage(beyond);
        return;
    }
    if (check1_->isChecked() && !host_.ui().askYesNo(kRestartQuestion)) check1_->setChecked(false);
    const auto content = OrthogonalSectionLines(S(levelCombo_->currentText()), check1_->isChecked(), rows);
    if (host_.document().RewriteWorkingCopy(section::OrthogonalTable, content)) accept();
}

void OpenOrthogonalTableForm(WindowHost& host, const WindowRequest&) {
    OrthogonalTableForm window(host, host.hostWindow());
    if (window.loaded()) window.exec();
}

}  // namespace korvane

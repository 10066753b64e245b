#include "analysis/windows/EffectsWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "analysis/DataLineScan.h"
#include "ui/AnalysisGrid.h"
#include "ui/PictureArea.h"
#include "platform/UserInterface.h"
#include "project/NumberText.h"

namespace korvane {

namespace {
constexpr int kShownFactors = 6;
struct Palette {
    QColor circle, line, marker;
};
const Palette kBright{QColor(255, 255, 0), QColor(0, 192, 192), QColor(255, 0, 0)};
const Palette kDark{QColor(128, 128, 0), QColor(128, 128, 0), QColor(192, 192, 0)};
}  // namespace

EffectsWindow::EffectsWindow(UserInterface& ui, std::string path, QWidget* parent)
    : QWidget(parent), ui_(ui, this), path_(std::move(path)) {
    PrepareAnalysisWindow(this, "Factorial_Effects_Form", "要因効果図");

    auto* dataFrame = new QGroupBox(QStringLiteral("入出力パラメータ"), this);
    data_ = MakeAnalysisGrid(dataFrame, "TableGrid1");
    auto* dataLayout = new QVBoxLayout(dataFrame);
    dataLayout->addWidget(data_);

    auto* effectFrame = new QGroupBox(QStringLiteral("感度/要因効果図"), this);
    tabs_ = new QTabBar(effectFrame);
    tabs_->setObjectName(QStringLiteral("TabStrip1"));
    tabs_->setExpanding(false);
    cells_ = MakeAnalysisGrid(effectFrame, "CellsGrid");
    cells_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chooser_ = new QComboBox(cells_);
    chooser_->setObjectName(QStringLiteral("Param_Combo"));
    chooser_->hide();
    all_ = new QCheckBox(QStringLiteral("全Param表示"), effectFrame);
    all_->setObjectName(QStringLiteral("Check1"));

    picture_ = new PictureArea(effectFrame);
    picture_->setObjectName(QStringLiteral("Picture1"));
    picture_->setUserInterface(&ui_);
    picture_->setProtectedFile(path_);
    picture_->setMinimumSize(560, 260);
    picture_->installEventFilter(this);
    valueLine_ = new QFrame(picture_);
    valueLine_->setObjectName(QStringLiteral("Val_Line"));
    valueLine_->setFrameShape(QFrame::HLine);
    valueLine_->setStyleSheet(QStringLiteral("color: rgb(160, 160, 160);"));
    valueLine_->hide();
    valueLabel_ = new QLabel(QStringLiteral("0.0000e+0"), picture_);
    valueLabel_->setObjectName(QStringLiteral("Val_Label"));
    valueLabel_->setStyleSheet(QStringLiteral("color: white;"));
    valueLabel_->hide();

    labelStrip_ = new QWidget(effectFrame);
    labelStrip_->setFixedHeight(20);
    for (int f = 1; f <= kShownFactors; ++f) {
        auto* label = new QLabel(QStringLiteral("L    M    H"), labelStrip_);
        label->setObjectName(QStringLiteral("Label%1").arg(f));
        groupLabels_.push_back(label);
    }
    auto* unit = new QLabel(QStringLiteral("[単位：dB]"), effectFrame);
    unit->setObjectName(QStringLiteral("Label7"));

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CloseCommand"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto* top = new QHBoxLayout;
    top->addWidget(tabs_, 1);
    top->addWidget(all_);
    auto* plotHead = new QHBoxLayout;
    plotHead->addStretch(1);
    plotHead->addWidget(unit);
    auto* effectLayout = new QVBoxLayout(effectFrame);
    effectLayout->addLayout(top);
    effectLayout->addWidget(cells_);
    effectLayout->addLayout(plotHead);
    effectLayout->addWidget(picture_, 1);
    effectLayout->addWidget(labelStrip_);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dataFrame, 2);
    layout->addWidget(effectFrame, 3);
    layout->addLayout(bottom);

    connect(tabs_, &QTabBar::currentChanged, this, [this] { redraw(); });
    connect(all_, &QCheckBox::toggled, this, [this] { redraw(); });
    connect(cells_->horizontalHeader(), &QHeaderView::sectionClicked, this, &EffectsWindow::chooseFactor);
    connect(chooser_, &QComboBox::activated, this, &EffectsWindow::factorChosen);
    connect(picture_, &PictureArea::mouseMoved, this, &EffectsWindow::pointerMoved);

    Form_Format();
    Read_DB();
    resize(std::max(760, 957 / 15 + 6 * 1595 / 15 + 60), 720);
}

// The effects table's frame: 4 rows x 7 columns (the header is row 0).
void EffectsWindow::Form_Format() {
    ShowTable(cells_, {{"水準/感度", "", "", "", "", "", ""},
                       {"水準(H)", "", "", "", "", "", ""},
                       {"水準(M)", "", "", "", "", "", ""},
                       {"水準(L)", "", "", "", "", "", ""}});
    cells_->setColumnWidth(0, 957 / 15);
    for (int c = 1; c <= kShownFactors; ++c) cells_->setColumnWidth(c, 1595 / 15);
    cells_->setFixedHeight(cells_->horizontalHeader()->height() + 3 * 22 + 4);
}

void EffectsWindow::Read_DB() {
    std::string error;
    if (!ReadEffectsTable(path_, table_, error)) {
        ui_.showMessage("DBファイルを読めません。\n" + error);
        return;
    }
    if (table_.skipped > 0 || table_.unreadable > 0)
        ui_.showMessage(SkippedLinesMessage(table_.skipped, table_.unreadable));
    if (table_.truncated) ui_.showMessage(kTooManyLinesMessage);
    ShowTable(data_, table_.rows);
    data_->setColumnWidth(0, 1400 / 15);
    FitColumnsToTexts(data_, 180);

    chooser_->addItem(QString());
    for (const auto& input : table_.inputs) chooser_->addItem(Q(input));
    QStringList header{QStringLiteral("水準/感度")};
    for (int f = 0; f < kShownFactors; ++f)
        header << (f < static_cast<int>(table_.inputs.size()) ? Q(table_.inputs[static_cast<std::size_t>(f)])
                                                             : QString());
    cells_->setHorizontalHeaderLabels(header);
    const QSignalBlocker block(tabs_);
    for (const auto& output : table_.outputs) tabs_->addTab(Q(output));
    redraw();
}

std::string EffectsWindow::factorName(int column) const {
    const QTableWidgetItem* item = cells_->horizontalHeaderItem(column);
    return item ? S(item->text()) : std::string();
}

std::vector<FactorLevels> EffectsWindow::Sens(int output) const {
    std::vector<FactorLevels> levels;
    for (int c = 1; c <= kShownFactors; ++c) {
        if (output < 0) levels.push_back({factorName(c), "", "", ""});
        else levels.push_back(LevelValues(table_, static_cast<std::size_t>(output), factorName(c)));
    }
    return levels;
}

void EffectsWindow::showLevels(const std::vector<FactorLevels>& levels) {
    const auto rows = EffectsGridRows(levels);
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= kShownFactors; ++c)
            SetGridText(cells_, r - 1, c, rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]);
}

void EffectsWindow::setFrame(const RunningRange& range) {
    const ChartFrame f = range.any ? EffectsFrame(range.lo, range.hi) : EffectsFrame(0, 0);
    picture_->setFrame(f.left, f.top, f.right, f.bottom);
    placeGroupLabels();
}

void EffectsWindow::Draw_Pic(const std::vector<FactorLevels>& levels, bool dark) {
    const Palette& p = dark ? kDark : kBright;
    picture_->setLineWidth(1);
    for (int slot = 1; slot <= static_cast<int>(levels.size()); ++slot) {
        const EffectGroup g = PlotGroup(slot, levels[static_cast<std::size_t>(slot) - 1]);
        int previous = -1;
        for (int i = 0; i < 3; ++i) {
            if (!g.present[i]) continue;
            picture_->circle(g.x[i], g.y[i], 0.09, p.circle);
            if (previous >= 0) picture_->line(g.x[previous], g.y[previous], g.x[i], g.y[i], p.line);
            previous = i;
        }
        if (g.marker >= 0) picture_->filledCircle(g.x[g.marker], g.y[g.marker], 0.12, p.marker, p.marker);
    }
}

// The tab change: the current output alone, or every output dark with the
// current one bright over them in one common frame.
void EffectsWindow::redraw() {
    const int current = tabs_->count() > 0 ? tabs_->currentIndex() : -1;
    picture_->clear();
    if (!all_->isChecked()) {
        const auto levels = Sens(current);
        showLevels(levels);
        setFrame(LevelRange(levels));
        Draw_Pic(levels, false);
        setExportLabels(levels);
        return;
    }
    std::vector<std::vector<FactorLevels>> every;
    RunningRange range;
    for (int k = 0; k < tabs_->count(); ++k) {
        every.push_back(Sens(k));
        const RunningRange r = LevelRange(every.back());
        if (r.any) {
            range.take(r.lo);
            range.take(r.hi);
        }
    }
    setFrame(range);
    for (const auto& levels : every) Draw_Pic(levels, true);
    const auto levels = Sens(current);
    showLevels(levels);
    Draw_Pic(levels, false);
    setExportLabels(levels);
}

// A saved picture: the output, the frame's ends in dB and the factor of
// each group with its level values.
void EffectsWindow::setExportLabels(const std::vector<FactorLevels>& levels) {
    PictureArea::ExportLabels labels;
    const QString output = tabs_->count() > 0 ? tabs_->tabText(tabs_->currentIndex()) : QString();
    labels.title = QStringLiteral("要因効果図: ") + output;
    if (all_->isChecked()) labels.title += QStringLiteral(" (暗い色は他の出力)");
    const PictureArea::Frame f = picture_->frame();
    labels.yHigh = Q(FormatChart(f.top, "0.0000e+0"));
    labels.yLow = Q(FormatChart(f.bottom, "0.0000e+0"));
    labels.yName = QStringLiteral("[単位：dB]");
    QStringList groups;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const FactorLevels& l = levels[i];
        groups << (l.factor.empty() ? QStringLiteral("-") : Q(l.factor));
        if (l.factor.empty()) continue;
        labels.notes << QStringLiteral("%1: L %2, M %3, H %4")
                            .arg(Q(l.factor), Q(l.low), Q(l.middle), Q(l.high));
    }
    labels.xName = QStringLiteral("因子 (各 L M H): ") + groups.join(QStringLiteral(" | "));
    labels.notes << QStringLiteral("赤丸: 値が最大の水準");
    picture_->setExportLabels(labels);
}

void EffectsWindow::chooseFactor(int column) {
    if (column < 1 || column > kShownFactors || chooser_->count() == 0) return;
    chooserColumn_ = column;
    QHeaderView* header = cells_->horizontalHeader();
    chooser_->setGeometry(header->sectionViewportPosition(column) + cells_->frameWidth(), cells_->frameWidth(),
                          header->sectionSize(column), header->height());
    chooser_->setCurrentIndex(std::max(0, chooser_->findText(Q(factorName(column)))));
    chooser_->show();
    chooser_->raise();
    chooser_->setFocus();
}

void EffectsWindow::factorChosen(int index) {
    if (chooserColumn_ < 1) return;
    const QString name = chooser_->itemText(index);
    auto* item = cells_->horizontalHeaderItem(chooserColumn_);
    if (!item) {
        item = new QTableWidgetItem;
        cells_->setHorizontalHeaderItem(chooserColumn_, item);
    }
    item->setText(name);
    chooser_->hide();
    redraw();
}

void EffectsWindow::pointerMoved(double, double y) {
    const int py = static_cast<int>(picture_->toPixel(0, y).y());
    valueLine_->setGeometry(0, py, picture_->width(), 1);
    valueLine_->show();
    valueLabel_->setText(Q(FormatChart(y, "0.0000e+0")));
    valueLabel_->adjustSize();
    valueLabel_->move(4, py - valueLabel_->height() / 2);
    valueLabel_->show();
}

void EffectsWindow::placeGroupLabels() {
    for (int f = 1; f <= kShownFactors; ++f) {
        QLabel* label = groupLabels_[static_cast<std::size_t>(f) - 1];
        label->adjustSize();
        const double left = picture_->toPixel(3.0 * (f - 1) + 1, 0).x();
        const double right = picture_->toPixel(3.0 * (f - 1) + 3, 0).x();
        label->move(picture_->x() - labelStrip_->x() + static_cast<int>((left + right) / 2) - label->width() / 2, 2);
    }
}

bool EffectsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == picture_ && event->type() == QEvent::Resize)
        QTimer::singleShot(0, this, [this] { placeGroupLabels(); });
    if (watched == picture_ && event->type() == QEvent::Leave) {
        valueLine_->hide();
        valueLabel_->hide();
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace korvane

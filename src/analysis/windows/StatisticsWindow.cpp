#include "analysis/windows/StatisticsWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/AnalysisGrid.h"
#include "analysis/windows/HistogramWindow.h"
#include "platform/UserInterface.h"

namespace korvane {

StatisticsWindow::StatisticsWindow(UserInterface& ui, std::string path, bool includeInvalidRows, QWidget* parent)
    : QWidget(parent), ui_(ui, this), path_(std::move(path)), includeInvalid_(includeInvalidRows), pass_(this) {
    PrepareAnalysisWindow(this, "Stdev_Form", "標準偏差");
    grid_ = MakeAnalysisGrid(this, "CellsGrid");

    auto* label = new QLabel(QStringLiteral("有効データ数："), this);
    label->setObjectName(QStringLiteral("Label1"));
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("Data_fig_Label"));
    count_->setMinimumWidth(80);
    menu_ = MakeResultMenu(this, grid_, [this] { Save_Result(); });
    QAction* histogram = new QAction(QStringLiteral("選択行ヒストグラム表示(&H)"), menu_);
    histogram->setObjectName(QStringLiteral("Histogram_Menu"));
    menu_->insertAction(menu_->actions().value(0), histogram);
    connect(histogram, &QAction::triggered, this, &StatisticsWindow::Histogram_Menu);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(label);
    bottom->addWidget(count_);
    bottom->addWidget(pass_.bar(), 1);
    bottom->addWidget(pass_.stopButton());
    bottom->addWidget(pass_.closeButton());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(bottom);
    setTabOrder(grid_, pass_.stopButton());
    setTabOrder(pass_.stopButton(), pass_.closeButton());

    Get_Param_NM();
    resize(std::clamp(GridContentWidth(grid_) + 40, 560, 1200), 420);
}

// The table frame: one row per column between "Count" and the verdict.
void StatisticsWindow::Get_Param_NM() {
    DbHeader header;
    std::string error;
    ReadDbHeader(path_, header, error);  // an unreadable file is reported by the computation
    StatisticsResult empty;
    empty.columns = StatisticsColumns(header);
    ShowTable(grid_, StatisticsTable(empty));
    std::size_t longest = 6;
    for (const auto& c : empty.columns) longest = std::max(longest, Cp932Length(c.name));
    grid_->setColumnWidth(0, ByteColumnWidth(longest));
    for (int c = 1; c < grid_->columnCount(); ++c) grid_->setColumnWidth(c, 900 / 15);
    // Room for the widest figure ("-0.000e+0") in the window's font.
    for (int c = 1; c < grid_->columnCount(); ++c)
        grid_->setColumnWidth(c, std::max(grid_->columnWidth(c), grid_->fontMetrics().horizontalAdvance(
                                                                      QStringLiteral("-0.000e+00")) + 14));
    FitColumnsToTexts(grid_);
    pass_.bar()->setRange(0, std::max(1, 2 * static_cast<int>(empty.columns.size())));
    pass_.bar()->setValue(0);
}

void StatisticsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    pass_.shown([this] { compute(); });
}

void StatisticsWindow::compute() {
    if (!pass_.begin()) return;
    menu_->setEnabled(false);
    grid_->setUpdatesEnabled(false);
    StatisticsResult result;
    const bool ok = ComputeStatistics(path_, includeInvalid_, [this](double done) { return pass_.step(done); }, result);
    grid_->setUpdatesEnabled(true);
    menu_->setEnabled(true);
    if (!pass_.end()) return;
    if (ok) {
        ShowTable(grid_, StatisticsTable(result));
        count_->setText(QString::number(result.used));
        pass_.bar()->setValue(pass_.bar()->maximum());
        if (result.skipped > 0 || result.unreadable > 0)
            ui_.showMessage(SkippedLinesMessage(result.skipped, result.unreadable));
        if (result.used == 0) ui_.showMessage(kNoUsedRowMessage);
        else if (IsSmallSample(result.used)) ui_.showMessage(kSmallSampleMessage);
    } else if (!result.error.empty()) {
        ui_.showMessage("DBファイルを読めません。\n" + result.error);
    }
}

void StatisticsWindow::closeEvent(QCloseEvent* event) {
    if (pass_.holdClose()) {
        // The pass in progress ends first; the window closes after it.
        event->ignore();
        return;
    }
    if (histogram_ && histogram_->counting()) {
        // The histogram stops its pass first; this window closes after it.
        histogram_->close();
        event->ignore();
        QTimer::singleShot(20, this, &QWidget::close);
        return;
    }
    if (histogram_) histogram_->close();
    QWidget::closeEvent(event);
}

void StatisticsWindow::Histogram_Menu() {
    const int row = grid_->currentRow();
    if (pass_.running() || row < 0 || row >= grid_->rowCount()) return;
    if (histogram_) histogram_->close();
    histogram_ = new HistogramWindow(path_, includeInvalid_, static_cast<std::size_t>(row) + 1,
                                     S(GridText(grid_, row, 0)), this);
    histogram_->show();
}

void StatisticsWindow::Save_Result() { SaveDisplayedTable(ui_, grid_, path_); }

}  // namespace korvane

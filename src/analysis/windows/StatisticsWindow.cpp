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

#include "analysis/windows/AnalysisGrid.h"
#include "analysis/windows/HistogramWindow.h"
#include "platform/UserInterface.h"

namespace korvane {

StatisticsWindow::StatisticsWindow(UserInterface& ui, std::string path, bool includeInvalidRows, QWidget* parent)
    : QWidget(parent), ui_(ui), path_(std::move(path)), includeInvalid_(includeInvalidRows) {
    PrepareAnalysisWindow(this, "Stdev_Form", "標準偏差");
    grid_ = MakeAnalysisGrid(this, "CellsGrid");
    grid_->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* label = new QLabel(QStringLiteral("有効データ数："), this);
    label->setObjectName(QStringLiteral("Label1"));
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("Data_fig_Label"));
    count_->setMinimumWidth(80);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setTextVisible(false);
    stopButton_ = new QPushButton(QStringLiteral("解析中止"), this);
    stopButton_->setObjectName(QStringLiteral("Command2"));
    closeButton_ = new QPushButton(QStringLiteral("Close"), this);
    closeButton_->setObjectName(QStringLiteral("CloseCommand"));
    closeButton_->setEnabled(false);

    menu_ = new QMenu(QStringLiteral("Menu"), this);
    menu_->setObjectName(QStringLiteral("DummyMenu"));
    QAction* histogram = menu_->addAction(QStringLiteral("選択行ヒストグラム表示(&H)"));
    histogram->setObjectName(QStringLiteral("Histogram_Menu"));
    QAction* save = menu_->addAction(QStringLiteral("結果保存(csv)(&S)"));
    save->setObjectName(QStringLiteral("Save_Result"));
    QAction* closeWindow = menu_->addAction(QStringLiteral("閉じる(&C)"));
    closeWindow->setObjectName(QStringLiteral("Close_Window"));
    connect(histogram, &QAction::triggered, this, &StatisticsWindow::Histogram_Menu);
    connect(save, &QAction::triggered, this, &StatisticsWindow::Save_Result);
    connect(closeWindow, &QAction::triggered, this, &QWidget::close);
    connect(grid_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { menu_->popup(grid_->viewport()->mapToGlobal(pos)); });
    connect(stopButton_, &QPushButton::clicked, this, &StatisticsWindow::stop);
    connect(closeButton_, &QPushButton::clicked, this, &QWidget::close);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(label);
    bottom->addWidget(count_);
    bottom->addWidget(progress_, 1);
    bottom->addWidget(stopButton_);
    bottom->addWidget(closeButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    layout->addLayout(bottom);

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
    progress_->setRange(0, std::max(1, 2 * static_cast<int>(empty.columns.size())));
    progress_->setValue(0);
}

void StatisticsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (started_) return;
    started_ = true;
    QTimer::singleShot(0, this, &StatisticsWindow::compute);
}

void StatisticsWindow::compute() {
    if (computing_) return;
    computing_ = true;
    stopRequested_ = false;
    stopButton_->setEnabled(true);
    closeButton_->setEnabled(false);
    menu_->setEnabled(false);
    grid_->setUpdatesEnabled(false);
    StatisticsResult result;
    const bool ok = ComputeStatistics(path_, includeInvalid_,
                                      [this](double done) { return ProgressPass(progress_, done, stopRequested_); },
                                      result);
    grid_->setUpdatesEnabled(true);
    computing_ = false;
    stopButton_->setEnabled(false);
    closeButton_->setEnabled(true);
    menu_->setEnabled(true);
    if (closePending_) {
        close();
        return;
    }
    if (ok) {
        ShowTable(grid_, StatisticsTable(result));
        count_->setText(QString::number(result.used));
        progress_->setValue(progress_->maximum());
        if (result.skipped > 0) ui_.showMessage(SkippedLinesMessage(result.skipped));
        if (result.used == 0) ui_.showMessage(kNoUsedRowMessage);
        else if (IsSmallSample(result.used)) ui_.showMessage(kSmallSampleMessage);
    } else if (!result.error.empty()) {
        ui_.showMessage("DBファイルを読めません。\n" + result.error);
    }
}

void StatisticsWindow::stop() {
    stopRequested_ = true;
    closeButton_->setEnabled(true);
    stopButton_->setEnabled(false);
}

void StatisticsWindow::closeEvent(QCloseEvent* event) {
    if (computing_) {
        // The pass in progress ends first; the window closes after it.
        stopRequested_ = true;
        closePending_ = true;
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
    if (computing_ || row < 0 || row >= grid_->rowCount()) return;
    if (histogram_) histogram_->close();
    histogram_ = new HistogramWindow(path_, includeInvalid_, static_cast<std::size_t>(row) + 1,
                                     S(GridText(grid_, row, 0)), this);
    histogram_->show();
}

void StatisticsWindow::Save_Result() {
    const std::string path = ui_.chooseFile("*.csv|*.csv", "結果保存先を選択", "", true);
    if (path.empty()) return;
    std::string error;
    if (!SaveResultTable(path, DisplayedRows(grid_), error)) ui_.showMessage(error);
}

}  // namespace korvane

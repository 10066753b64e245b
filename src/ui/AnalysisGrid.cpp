#include "ui/AnalysisGrid.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "platform/TextFile.h"
#include "project/Paths.h"
#include "platform/UserInterface.h"

namespace korvane {

QTableWidget* MakeAnalysisGrid(QWidget* parent, const char* objectName) {
    auto* grid = new QTableWidget(parent);
    grid->setObjectName(QString::fromLatin1(objectName));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(22);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    grid->horizontalHeader()->setHighlightSections(false);
    return grid;
}

void SetGridText(QTableWidget* grid, int row, int column, const std::string& text) {
    QTableWidgetItem* item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignCenter);
        grid->setItem(row, column, item);
    }
    item->setText(Q(text));
}

QString GridText(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? item->text() : QString();
}

void ShowTable(QTableWidget* grid, const ResultRows& rows) {
    const int columns = rows.empty() ? 0 : static_cast<int>(rows[0].size());
    grid->setColumnCount(columns);
    grid->setRowCount(rows.empty() ? 0 : static_cast<int>(rows.size()) - 1);
    QStringList header;
    if (!rows.empty())
        for (const auto& h : rows[0]) header << Q(h);
    grid->setHorizontalHeaderLabels(header);
    for (std::size_t r = 1; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size() && static_cast<int>(c) < columns; ++c)
            SetGridText(grid, static_cast<int>(r) - 1, static_cast<int>(c), rows[r][c]);
}

ResultRows DisplayedRows(const QTableWidget* grid) {
    ResultRows rows;
    std::vector<std::string> header;
    for (int c = 0; c < grid->columnCount(); ++c) {
        const QTableWidgetItem* h = grid->horizontalHeaderItem(c);
        header.push_back(h ? S(h->text()) : std::string());
    }
    rows.push_back(header);
    for (int r = 0; r < grid->rowCount(); ++r) {
        std::vector<std::string> row;
        for (int c = 0; c < grid->columnCount(); ++c) row.push_back(S(GridText(grid, r, c)));
        rows.push_back(row);
    }
    return rows;
}

void FitColumnsToTexts(QTableWidget* grid, int maxWidth) {
    const QFontMetrics fm(grid->font());
    const QFontMetrics headerFm(grid->horizontalHeader()->font());
    for (int c = 0; c < grid->columnCount(); ++c) {
        int needed = 0;
        if (const QTableWidgetItem* h = grid->horizontalHeaderItem(c))
            needed = headerFm.horizontalAdvance(h->text()) + 16;
        for (int r = 0; r < grid->rowCount(); ++r)
            needed = std::max(needed, fm.horizontalAdvance(GridText(grid, r, c)) + 14);
        if (maxWidth > 0) needed = std::min(needed, maxWidth);
        if (needed > grid->columnWidth(c)) grid->setColumnWidth(c, needed);
    }
}

int GridContentWidth(const QTableWidget* grid) {
    int width = 2 * grid->frameWidth() + (grid->verticalHeader()->isVisible() ? grid->verticalHeader()->width() : 0);
    for (int c = 0; c < grid->columnCount(); ++c) width += grid->columnWidth(c);
    return width;
}

std::size_t Cp932Length(const std::string& utf8) {
    std::string bytes;
    return EncodeCp932(utf8, bytes) ? bytes.size() : utf8.size();
}

int ByteColumnWidth(std::size_t bytes) { return static_cast<int>(std::lround(120.0 * bytes / 15.0)) + 8; }

void PrepareAnalysisWindow(QWidget* window, const char* objectName, const char* caption) {
    window->setObjectName(QString::fromLatin1(objectName));
    window->setWindowTitle(QString::fromUtf8(caption));
    window->setWindowFlag(Qt::Window, true);
    window->setAttribute(Qt::WA_DeleteOnClose);
}

AnalysisPass::AnalysisPass(QWidget* window) : window_(window) {
    bar_ = new QProgressBar(window);
    bar_->setObjectName(QStringLiteral("ProgressBar1"));
    bar_->setTextVisible(false);
    stop_ = new QPushButton(QStringLiteral("解析中止"), window);
    stop_->setObjectName(QStringLiteral("Command2"));
    close_ = new QPushButton(QStringLiteral("Close"), window);
    close_->setObjectName(QStringLiteral("CloseCommand"));
    close_->setEnabled(false);
    QObject::connect(stop_, &QPushButton::clicked, window, [this] {
        stopRequested_ = true;
        close_->setEnabled(true);
        stop_->setEnabled(false);
    });
    QObject::connect(close_, &QPushButton::clicked, window, &QWidget::close);
}

void AnalysisPass::shown(std::function<void()> compute) {
    if (started_) return;
    started_ = true;
    QTimer::singleShot(0, window_, std::move(compute));
}

bool AnalysisPass::begin() {
    if (running_) return false;
    running_ = true;
    stopRequested_ = false;
    stop_->setEnabled(true);
    close_->setEnabled(false);
    return true;
}

bool AnalysisPass::step(double done) {
    const int value = bar_->minimum() + static_cast<int>(std::lround(done * (bar_->maximum() - bar_->minimum())));
    if (value != bar_->value()) bar_->setValue(value);
    QApplication::processEvents();
    return !stopRequested_;
}

bool AnalysisPass::end() {
    running_ = false;
    stop_->setEnabled(false);
    close_->setEnabled(true);
    if (!closePending_) return true;
    window_->close();
    return false;
}

bool AnalysisPass::holdClose() {
    if (!running_) return false;
    stopRequested_ = true;
    closePending_ = true;
    return true;
}

QMenu* MakeResultMenu(QWidget* window, QTableWidget* grid, std::function<void()> save) {
    auto* menu = new QMenu(QStringLiteral("Menu"), window);
    menu->setObjectName(QStringLiteral("DummyMenu"));
    QAction* saveAction = menu->addAction(QStringLiteral("結果保存(csv)(&S)"));
    saveAction->setObjectName(QStringLiteral("Save_Result"));
    QAction* closeAction = menu->addAction(QStringLiteral("閉じる(&C)"));
    closeAction->setObjectName(QStringLiteral("Close_Window"));
    QObject::connect(saveAction, &QAction::triggered, window, std::move(save));
    QObject::connect(closeAction, &QAction::triggered, window, &QWidget::close);
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(grid, &QWidget::customContextMenuRequested, menu,
                     [menu, grid](const QPoint& pos) { menu->popup(grid->viewport()->mapToGlobal(pos)); });
    return menu;
}

bool MayWriteTo(UserInterface& ui, const std::string& path, const std::string& analysedDb) {
    if (IsSameFile(path, analysedDb)) {
        ui.showMessage(AnalysedFileRefusal(path));
        return false;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        ui.showMessage("保存先がファイルではなくフォルダです。\n" + path);
        return false;
    }
    if (FileExists(path) && !ui.askYesNo(ReplaceFileQuestion(path))) return false;
    return true;
}

void SaveDisplayedTable(UserInterface& ui, const QTableWidget* grid, const std::string& analysedDb) {
    const std::string path = ui.chooseFile("*.csv|*.csv", "結果保存先を選択", "", true);
    if (path.empty() || !MayWriteTo(ui, path, analysedDb)) return;
    std::string error;
    if (!SaveResultTable(path, DisplayedRows(grid), error)) ui.showMessage(error);
}

}  // namespace korvane

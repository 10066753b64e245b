// The main window's flow list: the exe grid, where the programs to run sit
// between the markers of the calculation's steps, moved and edited in place.
#include "app/MainWindow.h"

#include <algorithm>

#include <QTableWidget>

#include "WindowRegistry.h"
#include "app/MainWindowParts.h"
#include "platform/UserInterface.h"
#include "project/Paths.h"
#include "project/ProjectDocument.h"

namespace korvane {

using namespace main_window;

void MainWindow::fillExeGrid(const ExeGrid& grid, int selectRow) {
    exeGrid_->clearContents();
    exeGrid_->setRowCount(static_cast<int>(grid.size()));
    for (int r = 0; r < static_cast<int>(grid.size()); ++r) {
        const ExeRow& row = grid[static_cast<std::size_t>(r)];
        SetCell(exeGrid_, r, 0, row.name);
        SetCell(exeGrid_, r, 1, row.args);
        SetCell(exeGrid_, r, 2, row.path);
    }
    styleExeGrid(selectRow);
}

ExeGrid MainWindow::exeGridRows() const {
    ExeGrid grid;
    for (int r = 0; r < exeGrid_->rowCount(); ++r)
        grid.push_back({CellText(exeGrid_, r, 0), CellText(exeGrid_, r, 1), CellText(exeGrid_, r, 2)});
    return grid;
}

int MainWindow::exeGridCurrentRow() const { return exeGrid_->currentRow(); }

void MainWindow::styleExeGrid(int selectRow) {
    const QColor text = palette().color(QPalette::ButtonText);
    for (int r = 0; r < exeGrid_->rowCount(); ++r) {
        for (int c = 0; c < exeGrid_->columnCount(); ++c) {
            QTableWidgetItem* item = exeGrid_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                exeGrid_->setItem(r, c, item);
            }
            const bool marker = IsFlowCellText(S(item->text()));
            QFont f = exeGrid_->font();
            f.setBold(marker);
            // The markers must fit the 1500-twip argument column whole.
            if (marker) f.setPixelSize(11);
            item->setFont(f);
            item->setTextAlignment((marker ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
            item->setForeground(marker ? kMarkerColour : text);
            item->setBackground(marker ? QBrush(kMarkerBackground) : QBrush());
        }
    }
    if (selectRow >= 0 && selectRow < exeGrid_->rowCount()) exeGrid_->setCurrentCell(selectRow, 0);
}

bool MainWindow::Exe_Set_Save_to_tmpFile1() {
    return document_->RewriteWorkingCopy(section::ShellTask, ExeGridShellLines(exeGridRows()));
}

void MainWindow::moveExeRow(int direction) {
    ExeGrid grid = exeGridRows();
    int current = exeGrid_->currentRow();
    if (!MoveExeRow(grid, current, direction)) return;
    fillExeGrid(grid, current);
    Exe_Set_Save_to_tmpFile1();
}

void MainWindow::addExe() {
    WindowRequest request;
    request.deleteEnabled = false;
    request.gridRow = exeGrid_->rowCount();  // a new program goes to the end
    openWindow("Exe_Setting_Form", "exe実行設定", &request);
    // The settings window saved the section: show it with the new last row.
    if (IsWindowRegistered("Exe_Setting_Form")) {
        refreshGrid("ShellExe");
        styleExeGrid(exeGrid_->rowCount() - 1);
    }
}

void MainWindow::exeGridDoubleClicked(int row) {
    if (!CheckExcelPath(S(excelField_->text->text()), ui_)) return;
    const ExeGrid grid = exeGridRows();
    if (row < 0 || row >= static_cast<int>(grid.size()) || IsMarkerRow(grid[static_cast<std::size_t>(row)])) return;
    WindowRequest request;
    const ExeRow& r = grid[static_cast<std::size_t>(row)];
    if (!r.path.empty() || !r.args.empty()) request.row = {r.path, r.args};
    request.deleteEnabled = !request.row.empty();
    request.gridRow = row;
    openWindow("Exe_Setting_Form", "exe実行設定", &request);
    if (IsWindowRegistered("Exe_Setting_Form")) {
        refreshGrid("ShellExe");
        styleExeGrid(std::min(row, exeGrid_->rowCount() - 1));
    }
}

}  // namespace korvane

// The main window's tabs and the task grids under them (inputs, replacements,
// macro, outputs), rebuilt from the working copy, and the editors their
// double-clicks open.
#include "app/MainWindow.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/MainWindowParts.h"
#include "platform/UserInterface.h"
#include "project/Paths.h"
#include "project/ProjectDocument.h"
#include "ui/LegendWindow.h"
#include "ui/NumericBox.h"

namespace korvane {

using namespace main_window;

void MainWindow::buildTabs(QWidget* central) {
    tabs_ = new QTabBar(central);
    tabs_->setObjectName(QStringLiteral("TabStrip1"));
    tabs_->setExpanding(false);
    frames_ = new QStackedWidget(central);
    for (const TabInfo& t : kTabs) {
        int i = tabs_->addTab(Q(t.caption));
        tabs_->setTabData(i, Q(t.key));
        QWidget* frame = MakeFrame(frames_, t.frame);
        frames_->addWidget(frame);
    }
    auto* inpFrame = frames_->widget(0);
    auto* rplcFrame = frames_->widget(1);
    auto* macroFrame = frames_->widget(2);
    auto* outFrame = frames_->widget(3);
    auto* exeFrame = frames_->widget(4);

    inpGrid_ = MakeGrid(inpFrame, kInpGrid);
    (new QVBoxLayout(inpFrame))->addWidget(inpGrid_);
    replaceGrid_ = MakeGrid(rplcFrame, kReplaceGrid);
    (new QVBoxLayout(rplcFrame))->addWidget(replaceGrid_);
    outGrid_ = MakeGrid(outFrame, kOutGrid);
    (new QVBoxLayout(outFrame))->addWidget(outGrid_);

    auto* macroLayout = new QGridLayout(macroFrame);
    auto* macroLabel = new QLabel(QStringLiteral("VBAMacro："), macroFrame);
    macroLabel->setObjectName(QStringLiteral("Label4"));
    macroText_ = new QLineEdit(macroFrame);
    macroText_->setObjectName(QStringLiteral("MacroText"));
    macroText_->setToolTip(QStringLiteral("カンマで区切り10個まで登録できます。"));
    macroText_->installEventFilter(this);
    connect(macroText_, &QLineEdit::textEdited, this, [this] { macroEdited_ = true; });
    auto* macroNote = new QLabel(QStringLiteral("※標準モジュール内のPublic Subマクロのみ実行可能"), macroFrame);
    macroNote->setObjectName(QStringLiteral("Label6"));
    macroLayout->addWidget(macroLabel, 0, 0);
    macroLayout->addWidget(macroText_, 0, 1);
    macroLayout->addWidget(macroNote, 1, 1);
    macroLayout->setRowStretch(2, 1);
    macroLayout->setColumnStretch(1, 1);

    exeGrid_ = MakeGrid(exeFrame, kExeGrid);
    auto* exeLayout = new QHBoxLayout(exeFrame);
    exeLayout->addWidget(exeGrid_, 1);
    auto* buttons = new QVBoxLayout;
    auto* flow = new QPushButton(QStringLiteral("計算フロー"), exeFrame);
    flow->setObjectName(QStringLiteral("Command1"));
    auto* add = new QPushButton(QStringLiteral("追加"), exeFrame);
    add->setObjectName(QStringLiteral("Add_exe_Command"));
    add->setToolTip(QStringLiteral("exeファイル、batファイルを追加します。"));
    auto* up = new QPushButton(QStringLiteral("▲"), exeFrame);
    up->setObjectName(QStringLiteral("Up_Command"));
    up->setToolTip(QStringLiteral("実行タイミングを設定します。"));
    auto* down = new QPushButton(QStringLiteral("▼"), exeFrame);
    down->setObjectName(QStringLiteral("Down_Command"));
    down->setToolTip(QStringLiteral("実行タイミングを設定します。"));
    for (QPushButton* b : {flow, add, up, down}) buttons->addWidget(b);
    buttons->addStretch(1);
    exeLayout->addLayout(buttons);

    connect(flow, &QPushButton::clicked, this,
            [this] { ShowLegend(this, ui_, "\\legend_files\\Calc_Flow.BMP", appFolder_); });
    connect(add, &QPushButton::clicked, this, &MainWindow::addExe);
    connect(up, &QPushButton::clicked, this, [this] { moveExeRow(-1); });
    connect(down, &QPushButton::clicked, this, [this] { moveExeRow(+1); });
    connect(exeGrid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { exeGridDoubleClicked(row); });
    connect(inpGrid_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { taskGridDoubleClicked(inpGrid_, "Inp", row); });
    connect(outGrid_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { taskGridDoubleClicked(outGrid_, "Out", row); });
    connect(replaceGrid_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { replaceGridDoubleClicked(row); });
    connect(tabs_, &QTabBar::currentChanged, this, &MainWindow::onTabSelected);

    // Files may be dropped on the header, the frames and the grids.
    for (QWidget* w : std::initializer_list<QWidget*>{macroFrame, exeFrame, inpGrid_, outGrid_, exeGrid_}) {
        w->setAcceptDrops(true);
        w->installEventFilter(this);
    }
    for (QTableWidget* g : {inpGrid_, outGrid_, exeGrid_}) g->viewport()->installEventFilter(this);

    auto* layout = static_cast<QVBoxLayout*>(central->layout());
    layout->addWidget(tabs_);
    layout->addWidget(frames_, 1);
}

void MainWindow::initLayout() {
    {
        QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(0);
    }
    frames_->setCurrentIndex(0);
    applyGridLayouts();
}

void MainWindow::applyGridLayouts() {
    ApplyGridLayout(inpGrid_, kInpGrid);
    ApplyGridLayout(replaceGrid_, kReplaceGrid);
    ApplyGridLayout(outGrid_, kOutGrid);
    ApplyGridLayout(exeGrid_, kExeGrid);
}

void MainWindow::selectFirstTab() {
    if (tabs_->currentIndex() == 0)
        onTabSelected(0);
    else
        tabs_->setCurrentIndex(0);
}

void MainWindow::onTabSelected(int index) {
    if (index < 0) return;
    const QString caption = tabs_->tabText(index);
    for (int i = 0; i < frames_->count(); ++i)
        if (caption == Q(kTabs[i].caption)) frames_->setCurrentIndex(i);
    const std::string key = S(tabs_->tabData(index).toString());
    if (key == "ShellExe") exeGrid_->setVisible(false);
    refreshGrid(key);
    applyGridLayouts();
    if (key == "ShellExe") exeGrid_->setVisible(true);
}

void MainWindow::clearTaskGrid(QTableWidget* grid, int rows) {
    grid->clearContents();
    grid->setRowCount(rows);
}

void MainWindow::refreshGrid(const std::string& key) {
    std::vector<std::string> lines;
    if (!document_->ReadWorkingCopy(lines)) return;
    const Project project = ParseProject(lines);
    if (key == "Inp") {
        // Clearing keeps the row count; listing sets it, with one empty row
        // after the tasks to double-click for a new one.
        inpGrid_->clearContents();
        const auto& tasks = project.inputTasks;
        if (!tasks.empty()) inpGrid_->setRowCount(static_cast<int>(tasks.size()) + 1);
        for (int i = 0; i < static_cast<int>(tasks.size()); ++i) {
            const InputTask& t = tasks[static_cast<std::size_t>(i)];
            SetCell(inpGrid_, i, 0, t.name);
            SetCell(inpGrid_, i, 1, t.range, Qt::AlignHCenter);
            SetCell(inpGrid_, i, 2, t.sheet);
            SetCell(inpGrid_, i, 3, t.formatKind + "," + t.formatArg);
        }
    } else if (key == "Out") {
        outGrid_->clearContents();
        const auto& tasks = project.outputTasks;
        if (!tasks.empty()) outGrid_->setRowCount(static_cast<int>(tasks.size()) + 1);
        for (int i = 0; i < static_cast<int>(tasks.size()); ++i) {
            const OutputTask& t = tasks[static_cast<std::size_t>(i)];
            SetCell(outGrid_, i, 0, t.name);
            SetCell(outGrid_, i, 1, t.range, Qt::AlignHCenter);
            SetCell(outGrid_, i, 2, t.sheet);
        }
    } else if (key == "InpRplc") {
        replaceGrid_->clearContents();
        int n = 0;
        for (const InputTask& t : project.inputTasks) {
            if (t.formatKind != "Replace" || t.formatArg != "Text") continue;
            replaceGrid_->setRowCount(n + 1);
            SetCell(replaceGrid_, n++, 0, t.name);
        }
        for (const ReplaceTask& r : project.replaceTasks) {
            for (int i = 0; i < n; ++i) {
                if (CellText(replaceGrid_, i, 0) == r.name) {
                    SetCell(replaceGrid_, i, 1, r.replaceList);
                    break;
                }
            }
        }
    } else if (key == "Macro") {
        macroText_->setText(Q(project.macro));
        macroEdited_ = false;
    } else if (key == "ShellExe") {
        fillExeGrid(BuildExeGrid(project.shellTasks), 0);
    }
}

void MainWindow::taskGridDoubleClicked(QTableWidget* grid, const char* target, int row) {
    if (!CheckExcelPath(S(excelField_->text->text()), ui_)) return;
    EditTarget = target;
    WindowRequest request;
    request.editTarget = target;
    request.gridRow = row;
    if (!CellText(grid, row, 0).empty())
        for (int c = 0; c < grid->columnCount(); ++c) request.row.push_back(CellText(grid, row, c));
    openWindow("WriteForm", grid == inpGrid_ ? "入力操作" : "読込操作", &request);
}

void MainWindow::replaceGridDoubleClicked(int row) {
    const std::string name = CellText(replaceGrid_, row, 0);
    if (name.empty()) return;
    WindowRequest request;
    request.gridRow = row;
    request.row = {name, CellText(replaceGrid_, row, 1)};
    openWindow("Replace_Form", "入力置換", &request);
}

}  // namespace korvane

#include "scroll/windows/UserVarForms.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/Twips.h"
#include "ui/WindowHost.h"
#include "platform/UserInterface.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "project/NumericFilter.h"
#include "scroll/ScrollSession.h"
#include "scroll/windows/ScrollPlot.h"

namespace korvane {

namespace {

const char* const kInputTip =
    "本表の値は、MonteCarlo設定における 分布型/中心値/標準偏差\" を元に設定しています。";
const char* const kInitialSetMessage = "現在の値を初期値に設定しました。";

// The input table's columns: caption and width (1/1440 inch).
const std::pair<const char*, int> kInputColumns[] = {
    {"変数名", 1500}, {"下方値", 1000}, {"現在値", 1000}, {"上方値", 1000}, {"自在スクロール", 4000}};
// The output table: the label column, then eight output columns.
constexpr int kLabelColumnTwips = 483;
constexpr int kOutputColumnTwips = 965;
const char* const kOutputRowLabels[] = {"＼", "Uppr", "Crnt", "Lwr"};
// The input table shows six rows at a time (so at most six bars).
constexpr int kVisibleInputRows = 6;
constexpr int kRowHeight = 24;
// The gutter left of the output table holds the plot's level labels below it.
constexpr int kGutter = 40;

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

void SetCell(QTableWidget* grid, int row, int column, const std::string& text,
             Qt::Alignment align = Qt::AlignRight) {
    QTableWidgetItem* item = grid->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        grid->setItem(row, column, item);
    }
    item->setText(Q(text));
    item->setTextAlignment(align | Qt::AlignVCenter);
}

std::string CellText(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? S(item->text()) : std::string();
}

QTableWidget* MakeGrid(QWidget* parent, const char* name, int rows, int columns) {
    auto* grid = new QTableWidget(rows, columns, parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionMode(QAbstractItemView::NoSelection);
    grid->setFocusPolicy(Qt::NoFocus);
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setMinimumSectionSize(kRowHeight);
    grid->verticalHeader()->setDefaultSectionSize(kRowHeight);
    grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    return grid;
}

// An in-cell editor laid over a grid cell.
void PlaceOver(QWidget* editor, QTableWidget* grid, int row, int column) {
    editor->setGeometry(grid->visualRect(grid->model()->index(row, column)));
    editor->show();
    editor->raise();
}

}  // namespace

// ---------------------------------------------------------------- start dialog

UserVarStartForm::UserVarStartForm(bool restartPerCalc, bool visible, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("User_Var_Start_Form"));
    setWindowTitle(QStringLiteral("Notice！"));
    auto* layout = new QVBoxLayout(this);
    check1_ = new QCheckBox(QStringLiteral("計算毎にエクセルを再起動"), this);
    check1_->setObjectName(QStringLiteral("Check1"));
    check1_->setChecked(restartPerCalc);
    layout->addWidget(check1_);
    auto* frame = new QGroupBox(QStringLiteral("計算時エクセル表示/非表示"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* options = new QHBoxLayout(frame);
    shown_ = new QRadioButton(QStringLiteral("表示"), frame);
    shown_->setObjectName(QStringLiteral("Option1_0"));
    auto* hidden = new QRadioButton(QStringLiteral("非表示"), frame);
    hidden->setObjectName(QStringLiteral("Option1_1"));
    (visible ? shown_ : hidden)->setChecked(true);
    options->addWidget(shown_);
    options->addWidget(hidden);
    layout->addWidget(frame);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKCommand"));
    ok->setDefault(true);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));
}

bool UserVarStartForm::restartPerCalc() const { return check1_->isChecked(); }

bool UserVarStartForm::visibleChosen() const { return shown_->isChecked(); }

void OpenUserVarStartForm(WindowHost& host, const WindowRequest&) {
    RunState& s = host.runState();
    UserVarStartForm dialog(s.RestartPerCalc != 0, host.document().header.visible != 0, host.hostWindow());
    if (dialog.exec() != QDialog::Accepted) return;
    s.RestartPerCalc = dialog.restartPerCalc() ? 1 : 0;
    host.setVisibleCheck(dialog.visibleChosen());
    auto* form = new UserVarForm(host);
    form->show();
    // Shown first, so the window is there while the workbook opens.
    QTimer::singleShot(0, form, &UserVarForm::start);
}

// ---------------------------------------------------------------- scroll window

UserVarForm::UserVarForm(WindowHost& host) : QMainWindow(host.hostWindow(), Qt::Window), host_(host), ui_(host.ui(), this) {
    setObjectName(QStringLiteral("User_Var_Form"));
    setWindowTitle(QStringLiteral("UserScroll"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 6, 8, 8);
    setCentralWidget(central);
    buildInputFrame(central);
    buildOutputFrame(central);
    auto* close = new QPushButton(QStringLiteral("Close"), central);
    close->setObjectName(QStringLiteral("CloseCommand"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(close, 0, Qt::AlignRight);
    buildMenus();
    Form_Format();
    resize(sizeHint().width(), 700);
    // Locked from the start: the project must not change before the opening.
    Main_Form_Lock(true);
    locked_ = true;
}

UserVarForm::~UserVarForm() {
    // The session quits the spreadsheet instance (it may outlive the main
    // window's members when the program ends with this window open).
    queue_.drop();
    session_.reset();
}

void UserVarForm::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("File"));
    QAction* setInitial = file->addAction(QStringLiteral("現在値を初期値に設定(&S)"));
    setInitial->setObjectName(QStringLiteral("Set_Initial"));
    connect(setInitial, &QAction::triggered, this, &UserVarForm::Set_Initial);
    QAction* quit = file->addAction(QStringLiteral("終了(&Q)"));
    quit->setObjectName(QStringLiteral("Quit_Mn"));
    connect(quit, &QAction::triggered, this, &UserVarForm::Quit_Mn);
}

void UserVarForm::buildInputFrame(QWidget* parent) {
    auto* frame = new QGroupBox(QStringLiteral("入力パラメータ"), parent);
    frame->setObjectName(QStringLiteral("Input_Frame"));
    auto* box = new QVBoxLayout(frame);
    tableGrid1_ = MakeGrid(frame, "TableGrid1", 0, 5);
    tableGrid1_->setToolTip(QString::fromUtf8(kInputTip));
    tableGrid1_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tableGrid1_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    tableGrid1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->addWidget(tableGrid1_);
    connect(tableGrid1_, &QTableWidget::cellClicked, this, &UserVarForm::inputCellClicked);
    // Scrolling the table moves the editor's cell away: the editor goes.
    connect(tableGrid1_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { valText_->hide(); });

    valText_ = new QLineEdit(tableGrid1_->viewport());
    valText_->setObjectName(QStringLiteral("Val_Text"));
    valText_->hide();
    valText_->installEventFilter(this);
    connect(valText_, &QLineEdit::textChanged, this, [this] { filterNumeric(valText_); });
    static_cast<QVBoxLayout*>(parent->layout())->addWidget(frame);
}

void UserVarForm::buildOutputFrame(QWidget* parent) {
    auto* frame = new QGroupBox(QStringLiteral("読込パラメータ"), parent);
    frame->setObjectName(QStringLiteral("Output_Frame"));
    auto* box = new QVBoxLayout(frame);
    cellsGrid_ = MakeGrid(frame, "CellsGrid", 4, 9);
    cellsGrid_->horizontalHeader()->setVisible(false);
    cellsGrid_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* row = new QHBoxLayout;
    row->addSpacing(kGutter);
    row->addWidget(cellsGrid_);
    row->addStretch(1);
    box->addLayout(row);
    connect(cellsGrid_, &QTableWidget::cellClicked, this, &UserVarForm::outputCellClicked);

    paramCombo_ = new QComboBox(cellsGrid_->viewport());
    paramCombo_->setObjectName(QStringLiteral("Param_Combo"));
    paramCombo_->hide();
    connect(paramCombo_, &QComboBox::activated, this, &UserVarForm::outputChosen);
    ulText_ = new QLineEdit(cellsGrid_->viewport());
    ulText_->setObjectName(QStringLiteral("UL_Text"));
    ulText_->hide();
    ulText_->installEventFilter(this);
    connect(ulText_, &QLineEdit::textChanged, this, [this] { filterNumeric(ulText_); });

    plot_ = new ScrollPlot(outputs_, ui_, frame);
    plot_->setObjectName(QStringLiteral("Scroll_Plot"));
    plot_->setMinimumHeight(220);
    box->addWidget(plot_, 1);
    static_cast<QVBoxLayout*>(parent->layout())->addWidget(frame, 1);
}

void UserVarForm::Form_Format() {
    QStringList captions;
    for (const auto& c : kInputColumns) captions << QString::fromUtf8(c.first);
    tableGrid1_->setHorizontalHeaderLabels(captions);
    int width = 0;
    for (int i = 0; i < 5; ++i) {
        tableGrid1_->setColumnWidth(i, TwipsToPixels(kInputColumns[i].second));
        width += tableGrid1_->columnWidth(i);
    }
    const int frameWidth = 2 * tableGrid1_->frameWidth();
    tableGrid1_->setFixedWidth(width + frameWidth + tableGrid1_->verticalScrollBar()->sizeHint().width());
    tableGrid1_->horizontalHeader()->setFixedHeight(kRowHeight + 2);
    tableGrid1_->setFixedHeight(kRowHeight + 2 + kVisibleInputRows * kRowHeight + frameWidth);

    const int labelWidth = TwipsToPixels(kLabelColumnTwips);
    const int columnWidth = TwipsToPixels(kOutputColumnTwips);
    cellsGrid_->setColumnWidth(0, labelWidth);
    for (int c = 1; c <= 8; ++c) cellsGrid_->setColumnWidth(c, columnWidth);
    // "-1.234e+05" must fit a column of 965/1440 inch.
    QFont values = cellsGrid_->font();
    values.setPointSizeF(std::min(values.pointSizeF(), 8.5));
    cellsGrid_->setFont(values);
    cellsGrid_->setTextElideMode(Qt::ElideNone);
    cellsGrid_->setWordWrap(false);
    QFont small = cellsGrid_->font();
    small.setPointSize(8);
    for (int r = 0; r < 4; ++r) {
        SetCell(cellsGrid_, r, 0, kOutputRowLabels[r], Qt::AlignCenter);
        QTableWidgetItem* item = cellsGrid_->item(r, 0);
        item->setFont(small);
        item->setBackground(palette().button());
    }
    cellsGrid_->setFixedSize(labelWidth + 8 * columnWidth + 2 * cellsGrid_->frameWidth(),
                             4 * kRowHeight + 2 * cellsGrid_->frameWidth());
    // Each output's point stands under its column: x = c - 0.5 is the
    // middle of column c when the picture starts where column 0 starts and
    // each unit is one output column wide (column 0 is half as wide).
    plot_->alignColumns(kGutter + cellsGrid_->frameWidth(), columnWidth);
}

void UserVarForm::Data_to_Grid() {
    std::vector<std::string> lines;
    if (!host_.document().ReadWorkingCopy(lines)) return;
    rows_ = ScrollInputRows(ParseProject(lines));
    tableGrid1_->setRowCount(static_cast<int>(rows_.size()));
    bars_.clear();
    for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
        showInputRow(i);
        auto* bar = new QScrollBar(Qt::Horizontal);
        bar->setObjectName(QStringLiteral("HScroll1_%1").arg(i + 1));
        bar->setRange(0, 100);
        bar->setSingleStep(1);
        bar->setPageStep(10);
        tableGrid1_->setCellWidget(i, 4, bar);
        bars_.push_back(bar);
        placeBar(i);
        connect(bar, &QScrollBar::valueChanged, this, [this, i] { ChangeCell_by_Scroll(i); });
    }
}

void UserVarForm::showInputRow(int i) {
    const ScrollInputRow& r = rows_[static_cast<std::size_t>(i)];
    SetCell(tableGrid1_, i, 0, r.name, Qt::AlignLeft);
    SetCell(tableGrid1_, i, 1, r.lower);
    SetCell(tableGrid1_, i, 2, r.current);
    SetCell(tableGrid1_, i, 3, r.upper);
}

// The bar at the position of the row's values, without a notification: the
// current value stays exactly as it is.
void UserVarForm::placeBar(int i) {
    QScrollBar* b = bars_[static_cast<std::size_t>(i)];
    const std::optional<int> p = BarPosition(rows_[static_cast<std::size_t>(i)]);
    b->setEnabled(p.has_value());
    if (!p) return;
    const QSignalBlocker block(b);
    b->setValue(*p);
}

void UserVarForm::Param_NM_to_Grid() {
    outputs_.Param_NM_to_Grid(host_.runState());
    Output_to_Grid();
}

void UserVarForm::Param_NM_to_Combo() {
    paramCombo_->clear();
    paramCombo_->addItem(QString());
    const RunState& s = host_.runState();
    for (std::size_t i = 1; i <= s.outputCount(); ++i) paramCombo_->addItem(Q(s.OutputNames[i]));
}

void UserVarForm::Output_to_Grid() {
    for (int c = 1; c <= ScrollOutputs::kColumns; ++c) {
        const ScrollOutputColumn& col = outputs_.column(c);
        SetCell(cellsGrid_, 0, c, col.name, Qt::AlignCenter);
        SetCell(cellsGrid_, 1, c, col.upper);
        SetCell(cellsGrid_, 2, c, col.current);
        SetCell(cellsGrid_, 3, c, col.lower);
    }
}

// ---------------------------------------------------------------- opening and closing

void UserVarForm::Main_Form_Lock(bool locked) {
    // All of the main window: the project must not change under the scroll
    // window (no file drops, no other project opened).
    host_.lockHost(locked);
}

void UserVarForm::start() {
    if (opened_ || closing_) return;
    opened_ = true;
    Data_to_Grid();
    Param_NM_to_Grid();
    Param_NM_to_Combo();
    plot_->Picture_Format();
    session_ = std::make_unique<ScrollSession>(host_.runState(), host_.linkFactory(),
                                               host_.document().header.visible != 0);
    std::string error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = session_->open(error) && session_->calculate(rows_, outputs_, false, error);
    QApplication::restoreOverrideCursor();
    Output_to_Grid();
    plot_->Draw_Pic();
    if (!ok) {
        ui_.showMessage(error);
        close();
        return;
    }
    outputs_.Clear_Peak();
    ready_ = true;
    emit calculated();
}

void UserVarForm::Quit_Mn() { close(); }

void UserVarForm::closeEvent(QCloseEvent* event) {
    if (queue_.running()) {
        // A calculation is under way: the window closes right after it.
        closeAfterCalculations_ = true;
        queue_.drop();
        event->ignore();
        return;
    }
    closing_ = true;
    queue_.drop();
    session_.reset();  // the workbook closed and the instance quit
    if (locked_) Main_Form_Lock(false);
    locked_ = false;
    event->accept();
}

// ---------------------------------------------------------------- calculations

long UserVarForm::calculations() const { return session_ ? session_->calculations() : 0; }

void UserVarForm::ChangeCell_by_Scroll(int i) {
    ScrollInputRow& r = rows_[static_cast<std::size_t>(i)];
    r.current = ValueAtPosition(r, bars_[static_cast<std::size_t>(i)]->value());
    showInputRow(i);
    if (ready_) Scroll_Calc();
}

void UserVarForm::Scroll_Calc() {
    if (closing_ || !session_) return;
    if (queue_.request()) QTimer::singleShot(0, this, &UserVarForm::runCalculations);
}

void UserVarForm::runCalculations() {
    // The notifications that arrive during a calculation are let in after it
    // and merged into one more calculation with the latest values.
    queue_.run([this] { calculateOnce(); }, [] { QCoreApplication::processEvents(); });
    if (closeAfterCalculations_) {
        closeAfterCalculations_ = false;
        close();
    }
}

void UserVarForm::calculateOnce() {
    if (closeAfterCalculations_ || !session_) return;
    std::string error;
    const long before = session_->calculations();
    const bool ok = session_->calculate(rows_, outputs_, ready_, error);
    if (session_->calculations() != before) {
        if (resetPeaksAfterCalculation_) outputs_.Clear_Peak();
        resetPeaksAfterCalculation_ = false;
        Output_to_Grid();
        plot_->Draw_Pic();
    }
    emit calculated();
    if (!ok) {
        ui_.showMessage(error);
        if (!session_->alive()) {
            closeAfterCalculations_ = true;
            queue_.drop();
        }
    }
}

// ---------------------------------------------------------------- editing

void UserVarForm::filterNumeric(QLineEdit* box) {
    if (filtering_) return;
    const std::string text = S(box->text());
    const FilterOutcome outcome = FilterUntilAccepted(text);
    if (outcome.text == text) return;
    for (int i = 0; i < outcome.beeps; ++i) ui_.beep();
    filtering_ = true;
    box->setText(Q(outcome.text));
    box->setCursorPosition(static_cast<int>(outcome.caret));
    filtering_ = false;
}

bool UserVarForm::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == valText_ || watched == ulText_) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
            if (watched == valText_)
                inputEditorKey(key);
            else
                outputEditorKey(key);
            return true;
        }
    }
    if (watched == valText_ && event->type() == QEvent::FocusOut) valText_->hide();
    return QMainWindow::eventFilter(watched, event);
}

void UserVarForm::inputCellClicked(int row, int column) {
    if (column < 1 || column > 3) {
        valText_->hide();
        return;
    }
    editRow_ = row;
    editColumn_ = column;
    editBackup_ = CellText(tableGrid1_, row, column);
    const QSignalBlocker block(valText_);
    valText_->setText(Q(editBackup_));
    PlaceOver(valText_, tableGrid1_, row, column);
    valText_->setFocus();
    valText_->selectAll();
}

void UserVarForm::inputEditorKey(int key) {
    const int i = editRow_;
    if (i < 0 || i >= static_cast<int>(rows_.size())) return;
    if (key == Qt::Key_Escape) {
        SetCell(tableGrid1_, i, editColumn_, editBackup_);
        valText_->hide();
        return;
    }
    const std::string typed = S(valText_->text());
    valText_->hide();
    if (typed.empty()) return;
    ScrollInputRow& r = rows_[static_cast<std::size_t>(i)];
    ApplyInputEdit(r, static_cast<InputColumn>(editColumn_), typed);
    showInputRow(i);
    QScrollBar* b = bars_[static_cast<std::size_t>(i)];
    if (editColumn_ == static_cast<int>(InputColumn::Current)) {
        // A typed value is calculated exactly as typed; the bar only shows
        // the nearest position.
        placeBar(i);
        Scroll_Calc();
        return;
    }
    // A new end moves the bar; a move acts as one by hand.
    const std::optional<int> p = BarPosition(r);
    b->setEnabled(p.has_value());
    if (p && b->value() != *p) b->setValue(*p);
}

void UserVarForm::outputCellClicked(int row, int column) {
    if (column < 1 || column > 8) {
        hideOutputEditors();
        return;
    }
    outRow_ = row;
    outColumn_ = column;
    const int index = paramCombo_->findText(Q(outputs_.column(column).name));
    paramCombo_->setCurrentIndex(index < 0 ? 0 : index);
    PlaceOver(paramCombo_, cellsGrid_, 0, column);
    if (row == 1 || row == 3) {
        editBackup_ = CellText(cellsGrid_, row, column);
        const QSignalBlocker block(ulText_);
        ulText_->setText(Q(editBackup_));
        PlaceOver(ulText_, cellsGrid_, row, column);
        ulText_->setFocus();
        ulText_->selectAll();
    } else {
        ulText_->hide();
        paramCombo_->setFocus();
    }
}

void UserVarForm::hideOutputEditors() {
    paramCombo_->hide();
    ulText_->hide();
}

void UserVarForm::outputChosen(int index) {
    const int c = outColumn_;
    if (c < 1 || c > 8) return;
    hideOutputEditors();
    outputs_.chooseOutput(c, S(paramCombo_->itemText(index)));
    Output_to_Grid();
    resetPeaksAfterCalculation_ = true;
    Scroll_Calc();
}

void UserVarForm::outputEditorKey(int key) {
    const int c = outColumn_, row = outRow_;
    if (c < 1 || c > 8 || (row != 1 && row != 3)) return;
    if (key == Qt::Key_Escape) {
        // The limit as it was before the edit, in the long exponent form.
        std::string& limit = row == 1 ? outputs_.column(c).upper : outputs_.column(c).lower;
        limit = RestoredLimitText(editBackup_);
        SetCell(cellsGrid_, row, c, limit);
        hideOutputEditors();
        return;
    }
    const std::string typed = S(ulText_->text());
    hideOutputEditors();
    if (typed.empty()) return;
    std::string message;
    if (!outputs_.editLimit(c, row, typed, message)) {
        ui_.showMessage(message);
        return;
    }
    Output_to_Grid();
    Scroll_Calc();
}

void UserVarForm::Set_Initial() {
    ProjectDocument& doc = host_.document();
    std::vector<std::string> lines;
    if (!doc.ReadWorkingCopy(lines)) return;
    if (!doc.WriteWorkingCopy(LinesWithInitialValues(lines, rows_))) return;
    ui_.showMessage(kInitialSetMessage);
}

}  // namespace korvane

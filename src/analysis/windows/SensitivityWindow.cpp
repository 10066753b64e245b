#include "analysis/windows/SensitivityWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/ChartFrame.h"
#include "ui/AnalysisGrid.h"
#include "ui/PictureArea.h"
#include "platform/UserInterface.h"

namespace korvane {

namespace {
const QColor kCircleColour(255, 255, 0);
const QColor kLineColour(0, 192, 192);
const QColor kTopColour(255, 0, 0);
constexpr int kRowHeight = 22;
}  // namespace

SensitivityWindow::SensitivityWindow(UserInterface& ui, std::string path, bool includeInvalidRows, QWidget* parent)
    : QWidget(parent), ui_(ui, this), path_(std::move(path)), includeInvalid_(includeInvalidRows), pass_(this) {
    PrepareAnalysisWindow(this, "Sens_Prgrs_Form", "感度解析");
    auto* frame = new QGroupBox(QStringLiteral("正規化感度"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    grid_ = MakeAnalysisGrid(frame, "CellsGrid");
    grid_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    grid_->setToolTip(QStringLiteral("入力パラメータ 増変化時に対する結果パラメータの変化傾向を示します。"
                                     "(値は1次近似の傾き項の絶対値を正規化したもの"));
    objective_ = new QComboBox(grid_->viewport());
    objective_->setObjectName(QStringLiteral("DsnObj_Combo"));
    objective_->addItems({QString::fromUtf8(kNoObjective), QString::fromUtf8(kMaximise),
                          QString::fromUtf8(kMinimise)});
    objective_->hide();

    label_ = new QLabel(QStringLiteral("Param"), frame);
    label_->setObjectName(QStringLiteral("Label1"));
    label_->setAlignment(Qt::AlignCenter);
    picture_ = new PictureArea(frame);
    picture_->setObjectName(QStringLiteral("Picture1"));
    picture_->setUserInterface(&ui_);
    picture_->setProtectedFile(path_);
    picture_->setToolTip(QStringLiteral("赤丸項目が結果パラメータに対し、最も効きが大きいことを示す。"));
    picture_->setFixedWidth(180);
    picture_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    menu_ = MakeResultMenu(this, grid_, [this] { Save_Result(); });
    connect(grid_, &QTableWidget::cellClicked, this, &SensitivityWindow::cellClicked);
    // A move of the current cell or a scroll hides the chooser (a click on an
    // objective cell shows it again right after).
    connect(grid_, &QTableWidget::currentCellChanged, this, [this] {
        objective_->hide();
        followGrid();
    });
    connect(grid_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] {
        objective_->hide();
        followGrid();
    });
    connect(objective_, &QComboBox::activated, this, &SensitivityWindow::objectiveChosen);

    auto* chart = new QVBoxLayout;
    chart->addWidget(label_);
    chart->addWidget(picture_);
    chart->addStretch(1);
    chart->setSpacing(0);
    auto* inner = new QHBoxLayout(frame);
    inner->addWidget(grid_, 1);
    inner->addLayout(chart);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(pass_.bar(), 1);
    bottom->addWidget(pass_.stopButton());
    bottom->addWidget(pass_.closeButton());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame, 1);
    layout->addLayout(bottom);
    setTabOrder(grid_, pass_.stopButton());
    setTabOrder(pass_.stopButton(), pass_.closeButton());

    Get_Param_NM();
}

// The table frame from the two header lines.
void SensitivityWindow::Get_Param_NM() {
    DbHeader header;
    std::string error;
    ReadDbHeader(path_, header, error);  // an unreadable file is reported by the computation
    SensitivityResult columns;
    SensitivityColumns(header, columns);
    table_ = SensitivityTable(columns);
    showTable();
    std::size_t longest = 0;
    for (std::size_t r = 0; r < table_.rowCount(); ++r) longest = std::max(longest, Cp932Length(table_.text(r, 0)));
    grid_->setColumnWidth(0, ByteColumnWidth(std::max<std::size_t>(longest, 4)));
    for (std::size_t c = 1; c < table_.columnCount(); ++c)
        grid_->setColumnWidth(static_cast<int>(c),
                              std::max(1000 / 15, ByteColumnWidth(Cp932Length(table_.text(0, c)))));
    grid_->setColumnWidth(static_cast<int>(table_.columnCount()) - 1,
                          grid_->fontMetrics().horizontalAdvance(QStringLiteral("0.00000")) + 14);
    FitColumnsToTexts(grid_);
    pass_.bar()->setRange(0, std::max<int>(1, static_cast<int>(columns.inputs.size() * columns.outputs.size())));
    pass_.bar()->setValue(0);
    // The chart is eight rows high, as its frame is; row r's point stands at
    // 0.94 r rows from the chart's top, so the chart starts a quarter row
    // above the header's foot and the points of the rows in view stand
    // beside their rows.
    picture_->setFixedHeight(8 * kRowHeight);
    picture_->setBackground(Qt::black);
    label_->setFixedHeight(grid_->horizontalHeader()->sizeHint().height() - kRowHeight / 4);
    resize(std::clamp(GridContentWidth(grid_) + picture_->width() + 70, 520, 1200), 400);
}

void SensitivityWindow::showTable() {
    ShowTable(grid_, table_.rows());
    for (std::size_t r = 1; r < table_.rowCount(); ++r)
        for (std::size_t c = 0; c < table_.columnCount(); ++c) {
            QTableWidgetItem* item = grid_->item(static_cast<int>(r) - 1, static_cast<int>(c));
            if (item) item->setBackground(table_.highlighted(r, c) ? QBrush(kTopValueBackground) : QBrush());
        }
}

void SensitivityWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    pass_.shown([this] { compute(); });
}

void SensitivityWindow::compute() {
    if (!pass_.begin()) return;
    grid_->setUpdatesEnabled(false);
    SensitivityResult result;
    const bool ok = ComputeSensitivity(path_, includeInvalid_, [this](double done) { return pass_.step(done); }, result);
    grid_->setUpdatesEnabled(true);
    if (!pass_.end()) return;
    if (!ok) {
        if (!result.error.empty()) ui_.showMessage("DBファイルを読めません。\n" + result.error);
        return;
    }
    computed_ = true;
    table_.fill(result);
    showTable();
    pass_.bar()->setValue(pass_.bar()->maximum());
    if (table_.outputCount() > 0) {
        // The grid's current cell is the first output's, so that the window's
        // activation (which gives a grid without a current cell the first
        // one, the names column) does not move the chart away from it.
        {
            const QSignalBlocker block(grid_);
            grid_->selectionModel()->setCurrentIndex(grid_->model()->index(0, 1), QItemSelectionModel::NoUpdate);
        }
        label_->setText(Q(table_.text(0, 1)));
        Plot_Pic(1, topRow(), static_cast<int>(table_.rowCount()) - 1);
    }
    if (result.skipped > 0 || result.unreadable > 0)
        ui_.showMessage(SkippedLinesMessage(result.skipped, result.unreadable));
    if (result.used == 0) ui_.showMessage(kNoUsedRowMessage);
}

int SensitivityWindow::topRow() const {
    // The grid's rows count from 1 below the header (row 1: objectives).
    const int first = grid_->rowAt(0);
    return first < 0 ? 1 : first + 1;
}

void SensitivityWindow::Plot_Pic(int column, int top, int last) {
    picture_->clear();
    picture_->setLineWidth(1);
    if (column < 0 || column >= static_cast<int>(table_.columnCount())) return;
    const int first = top == 1 ? top + 1 : top;
    if (first > last) return;
    const std::vector<double> values = table_.columnValues(static_cast<std::size_t>(column),
                                                           static_cast<std::size_t>(first));
    const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
    const ChartFrame f = SensitivityProfileFrame(*lo, *hi, top);
    picture_->setFrame(f.left, f.top, f.right, f.bottom);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double v = values[i];
        const double y = 0.94 * (first + static_cast<int>(i));
        picture_->circle(v, y, 0.04, kCircleColour);
        if (std::fabs(v) == 1) picture_->filledCircle(v, y, 0.05, kTopColour, kTopColour);
        if (i > 0) picture_->line(values[i - 1], 0.94 * (first + static_cast<int>(i) - 1), v, y, kLineColour);
    }
    // A saved picture: the column charted, the axis ends and each charted
    // input with its value, top to bottom as drawn.
    PictureArea::ExportLabels labels;
    const QString name = Q(table_.text(0, static_cast<std::size_t>(column)));
    labels.title = QStringLiteral("感度解析: ") + name;
    labels.xLow = QString::number(f.left);
    labels.xHigh = QString::number(f.right);
    labels.xName = QStringLiteral("正規化感度");
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t row = static_cast<std::size_t>(first) + i;
        if (0.94 * static_cast<double>(row) > f.bottom) break;  // below the chart
        const QString input = Q(table_.text(row, 0));
        if (i == 0) labels.yHigh = input;
        labels.yLow = input;
        labels.notes << input + QStringLiteral(": ") + Q(table_.text(row, static_cast<std::size_t>(column)));
    }
    labels.notes << QStringLiteral("赤丸: 最も効きが大きい入力");
    picture_->setExportLabels(labels);
}

void SensitivityWindow::followGrid() {
    if (pass_.running() || !computed_) return;
    const int column = grid_->currentColumn() < 0 ? 1 : grid_->currentColumn();
    const QTableWidgetItem* header = grid_->horizontalHeaderItem(column);
    label_->setText(QStringLiteral("<") + (header ? header->text() : QString()) + QStringLiteral(">"));
    Plot_Pic(column, topRow(), static_cast<int>(table_.rowCount()) - 1);
}

void SensitivityWindow::cellClicked(int row, int column) {
    // Row 0 of the grid widget is the objectives row.
    const bool onObjective = computed_ && row == 0 && column >= 1 &&
                             column <= static_cast<int>(table_.outputCount());
    if (!onObjective) {
        objective_->hide();
        followGrid();
        return;
    }
    objectiveColumn_ = column;
    const QRect cell = grid_->visualRect(grid_->model()->index(row, column));
    objective_->setGeometry(cell.left() + 2, cell.top(), std::max(40, cell.width() - 1), cell.height());
    const QString text = GridText(grid_, row, column);
    objective_->setCurrentIndex(std::max(0, objective_->findText(text)));
    objective_->show();
    objective_->setFocus();
    followGrid();
}

void SensitivityWindow::objectiveChosen(int index) {
    if (objectiveColumn_ < 1) return;
    table_.setObjective(static_cast<std::size_t>(objectiveColumn_), S(objective_->itemText(index)));
    objective_->hide();
    showTotals();
}

void SensitivityWindow::showTotals() {
    showTable();
    followGrid();
}

void SensitivityWindow::Save_Result() { SaveDisplayedTable(ui_, grid_, path_); }

void SensitivityWindow::closeEvent(QCloseEvent* event) {
    if (pass_.holdClose()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace korvane

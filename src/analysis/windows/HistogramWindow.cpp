#include "analysis/windows/HistogramWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/AnalysisGrid.h"
#include "ui/PictureArea.h"
#include "project/NumberText.h"

namespace korvane {

namespace {
const QColor kBarColour(0, 128, 128);
const QColor kMeanColour(192, 0, 0);
constexpr int kRedrawMs = 40;

QString Chart(double v) { return Q(FormatChart(v, "0.000e+0")); }
}  // namespace

HistogramWindow::HistogramWindow(std::string path, bool includeInvalidRows, std::size_t field,
                                 const std::string& name, QWidget* parent)
    : QWidget(parent), path_(std::move(path)), name_(name), includeInvalid_(includeInvalidRows), field_(field) {
    PrepareAnalysisWindow(this, "Histogram_Form", "ヒストグラム");
    auto* title = new QLabel(Q(name), this);
    title->setObjectName(QStringLiteral("Item_Name_Label"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);

    picture_ = new PictureArea(this);
    picture_->setObjectName(QStringLiteral("Picture1"));
    picture_->setBackground(Qt::white);
    picture_->setProtectedFile(path_);
    picture_->setMinimumSize(420, 240);
    picture_->installEventFilter(this);
    connect(picture_, &PictureArea::mouseMoved, this, &HistogramWindow::pointerMoved);

    yLabel_ = new QLabel(QStringLiteral("0000"), this);
    yLabel_->setObjectName(QStringLiteral("Y_Label"));
    yLabel_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    auto* countCaption = new QLabel(QStringLiteral("度数"), this);
    countCaption->setObjectName(QStringLiteral("Label2"));
    countCaption->setAlignment(Qt::AlignRight | Qt::AlignBottom);

    // The strip under the chart: minimum, average and maximum at their places.
    axis_ = new QWidget(this);
    axis_->setFixedHeight(22);
    xLow_ = new QLabel(QStringLiteral("0.000e00"), axis_);
    xLow_->setObjectName(QStringLiteral("X_Label_L"));
    xHigh_ = new QLabel(QStringLiteral("0.000e00"), axis_);
    xHigh_->setObjectName(QStringLiteral("X_Label_U"));
    average_ = new QLabel(QStringLiteral("Ave 0.000e00"), axis_);
    average_->setObjectName(QStringLiteral("Ave_Label"));
    average_->setStyleSheet(QStringLiteral("color: rgb(192, 0, 0);"));

    // Pointer read-out: a line across the chart and the count level at it.
    line_ = new QFrame(picture_);
    line_->setObjectName(QStringLiteral("Line1"));
    line_->setFrameShape(QFrame::HLine);
    line_->setStyleSheet(QStringLiteral("color: rgb(128, 128, 128);"));
    line_->hide();
    value_ = new QLabel(picture_);
    value_->setObjectName(QStringLiteral("Val_Label"));
    value_->hide();

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CloseCommand"));
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto* left = new QVBoxLayout;
    left->addWidget(yLabel_);
    left->addStretch(1);
    left->addWidget(countCaption);
    auto* grid = new QGridLayout;
    grid->addLayout(left, 0, 0);
    grid->addWidget(picture_, 0, 1);
    grid->addWidget(axis_, 1, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(0, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(grid, 1);
    layout->addLayout(bottom);
    resize(560, 380);
}

void HistogramWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (started_) return;
    started_ = true;
    QTimer::singleShot(0, this, &HistogramWindow::Hist_Count);
}

void HistogramWindow::Hist_Count() {
    if (counting_) return;
    counting_ = true;
    drawn_.start();
    const bool ok = CountHistogram(
        path_, field_, includeInvalid_,
        [this](double) {
            QApplication::processEvents();
            return !closing_;
        },
        [this](const HistogramResult& r) {
            result_ = r;
            if (r.counted == 0 && !r.complete) {
                // The range is known: the axis labels.
                xLow_->setText(r.total > 0 ? Chart(r.minimum) : QStringLiteral("-"));
                xHigh_->setText(r.total > 0 ? Chart(r.maximum) : QStringLiteral("-"));
                placeLabels();
            }
            if (r.complete || drawn_.elapsed() >= kRedrawMs) {
                Scale_Set();
                Draw_Pic();
                drawn_.restart();
                QApplication::processEvents();
            }
            return !closing_;
        },
        result_);
    counting_ = false;
    if (closing_) {
        close();
        return;
    }
    if (!ok && !result_.error.empty()) average_->setText(QStringLiteral("-"));
}

void HistogramWindow::Scale_Set() {
    const ChartFrame f = HistogramFrame(result_);
    picture_->setFrame(f.left, f.top, f.right, f.bottom);
}

void HistogramWindow::Draw_Pic() {
    picture_->clear();
    picture_->setLineWidth(8);
    for (int i = 0; i < kHistogramBins; ++i)
        if (result_.bins[static_cast<std::size_t>(i)] > 0)
            picture_->line(i + 1, 0, i + 1, static_cast<double>(result_.bins[static_cast<std::size_t>(i)]),
                           kBarColour);
    picture_->setLineWidth(1);
    yLabel_->setText(QString::number(result_.largest));
    if (result_.total > 0) {
        const double x = HistogramMeanX(result_);
        picture_->line(x, 0, x, 20000, kMeanColour);
        average_->setText(QStringLiteral("Ave：") + Chart(result_.mean));
    } else {
        average_->setText(QStringLiteral("Ave：-"));
    }
    placeLabels();
    // A saved picture: the column, the value range, the counts and the mean.
    PictureArea::ExportLabels labels;
    labels.title = QStringLiteral("ヒストグラム: ") + Q(name_);
    labels.xLow = xLow_->text();
    labels.xHigh = xHigh_->text();
    labels.xName = Q(name_);
    labels.yHigh = yLabel_->text();
    labels.yLow = QStringLiteral("0");
    labels.yName = QStringLiteral("度数");
    if (result_.total > 0) {
        labels.notes << QStringLiteral("最小 %1    平均 %2    最大 %3")
                            .arg(Chart(result_.minimum), Chart(result_.mean), Chart(result_.maximum));
        labels.notes << QStringLiteral("データ数 %1 (25区間、赤線が平均)").arg(result_.total);
    }
    picture_->setExportLabels(labels);
}

void HistogramWindow::placeLabels() {
    const int width = axis_->width();
    xLow_->adjustSize();
    xHigh_->adjustSize();
    average_->adjustSize();
    xLow_->move(0, 2);
    xHigh_->move(std::max(0, width - xHigh_->width()), 2);
    if (result_.total > 0) {
        const int x = static_cast<int>(picture_->toPixel(HistogramMeanX(result_) + 0.2, 0).x());
        average_->move(std::clamp(x, 0, std::max(0, width - average_->width())), 2);
        average_->show();
    }
}

void HistogramWindow::pointerMoved(double, double y) {
    const QPointF p = picture_->toPixel(0, y);
    line_->setGeometry(0, static_cast<int>(p.y()), picture_->width(), 1);
    line_->show();
    value_->setText(Q(FormatChart(y, "#")));
    value_->adjustSize();
    value_->move(2, std::max(0, static_cast<int>(p.y()) - value_->height()));
    value_->show();
}

bool HistogramWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == picture_ && event->type() == QEvent::Resize) QTimer::singleShot(0, this, [this] { placeLabels(); });
    if (watched == picture_ && event->type() == QEvent::Leave) {
        line_->hide();
        value_->hide();
    }
    return QWidget::eventFilter(watched, event);
}

void HistogramWindow::closeEvent(QCloseEvent* event) {
    if (counting_) {
        closing_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

}  // namespace korvane

#include "run/windows/ConvergenceWindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "analysis/LiveSummary.h"
#include "project/NumberText.h"
#include "run/windows/LiveFiguresPanel.h"
#include "ui/PictureArea.h"

namespace korvane {

namespace {

const QColor kMeanColour(0, 64, 160);
const QColor kBandColour(250, 212, 196);
const QColor kBandEdgeColour(214, 110, 90);
const QColor kFrameColour(170, 170, 170);
const QColor kLastColour(120, 120, 120);

QString Value(double v) { return LiveFigureText(v); }

}  // namespace

ConvergenceWindow::ConvergenceWindow(std::shared_ptr<const LiveSummary> live, UserInterface* ui, QWidget* parent)
    : QWidget(parent), live_(std::move(live)) {
    setObjectName(QStringLiteral("Convergence_Form"));
    setWindowTitle(QStringLiteral("収束グラフ"));
    setWindowFlag(Qt::Window, true);

    auto* outputLabel = new QLabel(QStringLiteral("読込変数："), this);
    outputs_ = new QComboBox(this);
    outputs_->setObjectName(QStringLiteral("Output_Combo"));
    outputs_->setMinimumContentsLength(14);
    figures_ = new QLabel(this);
    figures_->setObjectName(QStringLiteral("Figure_Label"));

    picture_ = new PictureArea(this);
    picture_->setObjectName(QStringLiteral("Picture1"));
    picture_->setUserInterface(ui);
    picture_->setBackground(Qt::white);
    picture_->setMinimumSize(420, 260);
    picture_->setToolTip(QStringLiteral("右クリックで画像として保存 (PNG / SVG)"));

    yHigh_ = new QLabel(this);
    yHigh_->setObjectName(QStringLiteral("Y_Label_U"));
    yHigh_->setAlignment(Qt::AlignRight | Qt::AlignTop);
    yLow_ = new QLabel(this);
    yLow_->setObjectName(QStringLiteral("Y_Label_L"));
    yLow_->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    auto* xLow = new QLabel(QStringLiteral("0"), this);
    xLow->setObjectName(QStringLiteral("X_Label_L"));
    auto* xName = new QLabel(QStringLiteral("計算回数 (行)"), this);
    xName->setAlignment(Qt::AlignCenter);
    xHigh_ = new QLabel(this);
    xHigh_->setObjectName(QStringLiteral("X_Label_U"));
    xHigh_->setAlignment(Qt::AlignRight);
    auto* legend = new QLabel(QStringLiteral("<span style='color:#0040a0'>━ 平均</span>　"
                                             "<span style='color:#d66e5a'>▇ 平均の95%信頼区間</span>"),
                              this);
    legend->setObjectName(QStringLiteral("Legend_Label"));

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CloseCommand"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto* top = new QHBoxLayout;
    top->addWidget(outputLabel);
    top->addWidget(outputs_);
    top->addSpacing(12);
    top->addWidget(figures_, 1);
    auto* left = new QVBoxLayout;
    left->addWidget(yHigh_);
    left->addStretch(1);
    left->addWidget(yLow_);
    auto* under = new QHBoxLayout;
    under->addWidget(xLow);
    under->addStretch(1);
    under->addWidget(xName);
    under->addStretch(1);
    under->addWidget(xHigh_);
    auto* grid = new QGridLayout;
    grid->addLayout(left, 0, 0);
    grid->addWidget(picture_, 0, 1);
    grid->addLayout(under, 1, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(0, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(legend);
    bottom->addStretch(1);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(grid, 1);
    layout->addLayout(bottom);
    resize(720, 460);

    fillOutputs();
    connect(outputs_, &QComboBox::currentIndexChanged, this, [this] { redraw(true); });
    timer_ = new QTimer(this);
    timer_->setInterval(LiveFiguresPanel::kRefreshMilliseconds);
    connect(timer_, &QTimer::timeout, this, [this] { redraw(); });
    timer_->start();
}

void ConvergenceWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The band's strokes are as wide as the picture's points are apart.
    redraw(true);
}

void ConvergenceWindow::fillOutputs() {
    const LiveSummary::Snapshot s = live_->snapshot();
    QStringList names;
    for (const auto& o : s.outputs) names << QString::fromStdString(o.name);
    QStringList now;
    for (int i = 0; i < outputs_->count(); ++i) now << outputs_->itemText(i);
    if (names == now) return;
    const QSignalBlocker block(outputs_);
    outputs_->clear();
    outputs_->addItems(names);
}

void ConvergenceWindow::chooseOutput(int index) {
    fillOutputs();
    if (index >= 0 && index < outputs_->count()) {
        const QSignalBlocker block(outputs_);
        outputs_->setCurrentIndex(index);
    }
    redraw(true);
}

void ConvergenceWindow::redraw(bool always) {
    const std::uint64_t version = live_->version();
    if (!always && version == drawn_) return;
    drawn_ = version;
    fillOutputs();
    const int index = outputs_->currentIndex();
    const std::vector<MeanPoint> points =
        index >= 0 ? live_->history(static_cast<std::size_t>(index)) : std::vector<MeanPoint>();
    points_ = points.size();
    picture_->clear();

    const QString name = outputs_->currentText();
    PictureArea::ExportLabels labels;
    labels.title = QStringLiteral("収束グラフ: ") + name;
    labels.xLow = QStringLiteral("0");
    labels.xName = QStringLiteral("計算回数 (行)");
    labels.yName = name;
    const std::int64_t lines = points.empty() ? 0 : points.back().line;

    // The band's range, leaving out the first lines, whose intervals (from a
    // handful of values) are wide enough to flatten everything after them.
    const std::int64_t settled = std::max<std::int64_t>(10, lines / 20);
    double lo = 0, hi = 0;
    bool any = false;
    for (int pass = 0; pass < 2 && !any; ++pass) {
        for (const MeanPoint& p : points) {
            if (pass == 0 && p.line < settled) continue;
            if (!std::isfinite(p.mean)) continue;
            const double h = std::isfinite(p.halfWidth) ? p.halfWidth : 0.0;
            lo = any ? std::min(lo, p.mean - h) : p.mean - h;
            hi = any ? std::max(hi, p.mean + h) : p.mean + h;
            any = true;
        }
    }
    if (!any) {
        figures_->setText(QStringLiteral("平均: -"));
        yHigh_->clear();
        yLow_->clear();
        xHigh_->setText(QString::number(static_cast<qlonglong>(lines)));
        picture_->setExportLabels(labels);
        return;
    }
    double margin = (hi - lo) * 0.08;
    if (margin == 0) margin = std::max(std::fabs(hi) * 0.01, 1e-12);
    const double bottom = lo - margin, top = hi + margin;
    const double right = static_cast<double>(std::max<std::int64_t>(lines, 1));
    picture_->setFrame(0, top, right, bottom);
    auto clampY = [&](double y) { return std::clamp(y, bottom, top); };

    // The band: a vertical stroke at every point, wide enough to meet the next.
    const double perPoint = picture_->width() / std::max<double>(1.0, static_cast<double>(points.size()));
    picture_->setLineWidth(std::max(1, static_cast<int>(std::ceil(perPoint)) + 1));
    for (const MeanPoint& p : points)
        if (std::isfinite(p.mean) && std::isfinite(p.halfWidth))
            picture_->line(static_cast<double>(p.line), clampY(p.mean - p.halfWidth), static_cast<double>(p.line),
                           clampY(p.mean + p.halfWidth), kBandColour);
    picture_->setLineWidth(1);
    const MeanPoint* prev = nullptr;
    for (const MeanPoint& p : points) {
        if (!std::isfinite(p.mean) || !std::isfinite(p.halfWidth)) continue;
        if (prev) {
            const double x0 = static_cast<double>(prev->line), x1 = static_cast<double>(p.line);
            picture_->line(x0, clampY(prev->mean + prev->halfWidth), x1, clampY(p.mean + p.halfWidth), kBandEdgeColour);
            picture_->line(x0, clampY(prev->mean - prev->halfWidth), x1, clampY(p.mean - p.halfWidth), kBandEdgeColour);
        }
        prev = &p;
    }
    // The latest mean across the whole picture, and the mean's path.
    const MeanPoint& last = points.back();
    if (std::isfinite(last.mean)) picture_->line(0, last.mean, right, last.mean, kLastColour);
    picture_->setLineWidth(2);
    prev = nullptr;
    for (const MeanPoint& p : points) {
        if (!std::isfinite(p.mean)) continue;
        if (prev)
            picture_->line(static_cast<double>(prev->line), clampY(prev->mean), static_cast<double>(p.line),
                           clampY(p.mean), kMeanColour);
        prev = &p;
    }
    picture_->setLineWidth(1);
    picture_->box(0, bottom, right, top, kFrameColour);

    const LiveSummary::Snapshot s = live_->snapshot();
    if (static_cast<std::size_t>(index) >= s.outputs.size()) return;  // a new run began meanwhile
    const RunningSummary& summary = s.outputs[static_cast<std::size_t>(index)].summary;
    const LiveRowTexts t = LiveRowOf(name.toStdString(), summary);
    figures_->setText(QStringLiteral("平均 %1 ± %2 (95%)　有効データ %3 / %4 行")
                          .arg(t.mean, t.halfWidth, t.count)
                          .arg(static_cast<qlonglong>(s.lines)));
    yHigh_->setText(Value(top));
    yLow_->setText(Value(bottom));
    xHigh_->setText(QString::number(static_cast<qlonglong>(lines)));
    labels.xHigh = xHigh_->text();
    labels.yHigh = yHigh_->text();
    labels.yLow = yLow_->text();
    labels.notes << figures_->text()
                 << QStringLiteral("太線: 平均、帯: 平均の95%信頼区間 (t分布)、灰線: 最新の平均");
    picture_->setExportLabels(labels);
}

}  // namespace korvane

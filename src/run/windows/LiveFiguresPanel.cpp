#include "run/windows/LiveFiguresPanel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/LiveSummary.h"
#include "project/NumberText.h"
#include "run/windows/ConvergenceWindow.h"
#include "ui/Twips.h"

namespace korvane {

namespace {

QString Percent(double share) {
    return std::isfinite(share) ? QString::number(100 * share, 'f', 1) + QLatin1Char('%') : QStringLiteral("-");
}

// Columns: caption and width in 1/1440 inch.
constexpr struct {
    const char* caption;
    int width;
} kColumns[] = {{"読込変数", 2200}, {"データ数", 1100}, {"平均", 1500},
                {"95%半幅", 1500},  {"False率", 1100}, {"False率 95%区間", 2100}};

}  // namespace

QString LiveFigureText(double v) {
    if (!std::isfinite(v)) return QStringLiteral("-");
    const double size = std::fabs(v);
    if (size == 0 || (size >= 1e-3 && size < 1e6)) return QString::number(v, 'g', 4);
    return QString::fromStdString(FormatChart(v, "0.000e+0"));
}

LiveRowTexts LiveRowOf(const std::string& name, const RunningSummary& s) {
    LiveRowTexts t;
    t.name = QString::fromStdString(name);
    t.count = QString::number(static_cast<qlonglong>(s.count()));
    t.mean = s.count() > 0 ? LiveFigureText(s.mean()) : QStringLiteral("-");
    t.halfWidth = LiveFigureText(s.halfWidth(LiveSummary::kPercent));
    t.share = Percent(s.invalidShare());
    const Interval i = s.invalidInterval(LiveSummary::kPercent);
    t.shareInterval = std::isfinite(i.lower) ? Percent(i.lower) + QStringLiteral(" – ") + Percent(i.upper)
                                             : QStringLiteral("-");
    return t;
}

LiveFiguresPanel::LiveFiguresPanel(std::shared_ptr<const LiveSummary> live, UserInterface* ui, QWidget* parent)
    : QFrame(parent), live_(std::move(live)), ui_(ui) {
    setObjectName(QStringLiteral("Convergence_Frame"));
    setFrameShape(QFrame::StyledPanel);
    caption_ = new QLabel(QStringLiteral("実行の集計 (有効データ、95%区間): まだ計算はありません"), this);
    caption_->setObjectName(QStringLiteral("Convergence_Label"));
    chart_ = new QPushButton(QStringLiteral("収束グラフ..."), this);
    chart_->setObjectName(QStringLiteral("Convergence_Command"));
    chart_->setToolTip(QStringLiteral("選択した読込変数の平均と95%信頼区間を計算回数に対して表示します。"));
    chart_->setAutoDefault(false);
    chart_->setEnabled(false);

    grid_ = new QTableWidget(0, static_cast<int>(std::size(kColumns)), this);
    grid_->setObjectName(QStringLiteral("Convergence_Grid"));
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid_->setSelectionMode(QAbstractItemView::SingleSelection);
    grid_->verticalHeader()->setVisible(false);
    grid_->verticalHeader()->setDefaultSectionSize(20);
    grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    QStringList captions;
    for (const auto& c : kColumns) captions << QString::fromUtf8(c.caption);
    grid_->setHorizontalHeaderLabels(captions);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i)
        grid_->setColumnWidth(i, TwipsToPixels(kColumns[i].width));

    auto* top = new QHBoxLayout;
    top->addWidget(caption_, 1);
    top->addWidget(chart_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(3);
    layout->addLayout(top);
    layout->addWidget(grid_, 1);

    connect(chart_, &QPushButton::clicked, this, [this] { openConvergence(); });
    timer_ = new QTimer(this);
    timer_->setInterval(kRefreshMilliseconds);
    connect(timer_, &QTimer::timeout, this, &LiveFiguresPanel::refresh);
    timer_->start();
    refresh();
}

void LiveFiguresPanel::refresh() {
    if (!live_) return;
    if (everShown_ && live_->version() == shown_) return;
    const LiveSummary::Snapshot s = live_->snapshot();
    shown_ = s.version;
    everShown_ = true;
    const int rows = static_cast<int>(s.outputs.size());
    if (grid_->rowCount() != rows) grid_->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        const LiveRowTexts t = LiveRowOf(s.outputs[static_cast<std::size_t>(r)].name,
                                         s.outputs[static_cast<std::size_t>(r)].summary);
        const QString cells[] = {t.name, t.count, t.mean, t.halfWidth, t.share, t.shareInterval};
        for (int c = 0; c < static_cast<int>(std::size(cells)); ++c) {
            QTableWidgetItem* item = grid_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment((c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
                grid_->setItem(r, c, item);
            }
            if (item->text() != cells[c]) item->setText(cells[c]);
        }
    }
    caption_->setText(rows == 0 ? QStringLiteral("実行の集計 (有効データ、95%区間): まだ計算はありません")
                                : QStringLiteral("実行の集計 (有効データ、95%区間): %1 行")
                                      .arg(static_cast<qlonglong>(s.lines)));
    chart_->setEnabled(rows > 0);
}

ConvergenceWindow* LiveFiguresPanel::openConvergence() {
    refresh();
    if (!live_ || grid_->rowCount() == 0) return nullptr;
    const int row = std::max(0, grid_->currentRow());
    auto* chart = new ConvergenceWindow(live_, ui_, window());
    chart->setAttribute(Qt::WA_DeleteOnClose);
    chart->chooseOutput(row);
    chart->show();
    chart->raise();
    return chart;
}

}  // namespace korvane

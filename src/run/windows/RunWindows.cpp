#include "run/windows/RunWindows.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace korvane {

namespace {
QLabel* Named(QLabel* label, const char* name) {
    label->setObjectName(QString::fromLatin1(name));
    return label;
}
}  // namespace

PauseWindow::PauseWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Pause_Form"));
    setWindowTitle(QStringLiteral("一時停止"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* text = Named(new QLabel(QStringLiteral("一時停止中"), this), "Label1");
    QFont f = text->font();
    f.setPixelSize(18);
    text->setFont(f);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    auto* buttons = new QHBoxLayout;
    auto* restart = new QPushButton(QStringLiteral("Restart"), this);
    restart->setObjectName(QStringLiteral("RestartCommand"));
    auto* stop = new QPushButton(QStringLiteral("Stop"), this);
    stop->setObjectName(QStringLiteral("StopCommand"));
    restart->setDefault(true);
    buttons->addWidget(restart);
    buttons->addWidget(stop);
    layout->addLayout(buttons);
    connect(restart, &QPushButton::clicked, this, &QDialog::accept);
    connect(stop, &QPushButton::clicked, this, [this] {
        stop_ = true;
        accept();
    });
    setMinimumWidth(260);
}

ShareBar::ShareBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Picture1"));
    setMinimumSize(200, 22);
    shape1_ = new QWidget(this);
    shape1_->setObjectName(QStringLiteral("Shape1"));
    shape1_->setAutoFillBackground(true);
    QPalette pal = shape1_->palette();
    pal.setColor(QPalette::Window, QColor(210, 60, 55));
    shape1_->setPalette(pal);
    setToolTip(QStringLiteral("緑：有効　赤：無効"));
    place();
}

void ShareBar::setLeftEdge(double share) {
    left_ = share < 0 ? 0 : share > 1 ? 1 : share;
    place();
    update();
}

void ShareBar::place() {
    const int x = static_cast<int>(left_ * width() + 0.5);
    shape1_->setGeometry(x, 0, width() - x, height());
}

void ShareBar::resizeEvent(QResizeEvent*) { place(); }

void ShareBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(60, 160, 80));
    p.setPen(QColor(60, 60, 60));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}

EndWindow::EndWindow(const RunObserver::EndCounts& counts, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("End_Window_Form"));
    setWindowTitle(QStringLiteral("計算終了"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);

    auto* times = new QGroupBox(this);
    times->setObjectName(QStringLiteral("Frame1"));
    auto* tg = new QGridLayout(times);
    tg->addWidget(new QLabel(QStringLiteral("開始時間："), times), 0, 0);
    tg->addWidget(Named(new QLabel(QString::fromStdString(counts.startTime), times), "Start_Time_Label"), 0, 1);
    tg->addWidget(new QLabel(QStringLiteral("終了時間："), times), 1, 0);
    tg->addWidget(Named(new QLabel(QString::fromStdString(counts.endTime), times), "End_Time_Label"), 1, 1);
    tg->setColumnStretch(1, 1);
    layout->addWidget(times);

    auto* validity = new QGroupBox(QStringLiteral("計算有効性"), this);
    validity->setObjectName(QStringLiteral("Frame2"));
    auto* vg = new QGridLayout(validity);
    // The number stands right between its words: "全6回", "4回".
    auto count = [](std::int64_t n) { return QString::number(static_cast<qlonglong>(n)) + QStringLiteral("回"); };
    vg->addWidget(Named(new QLabel(QStringLiteral("全") + count(counts.all), validity), "All_Fig_Label"), 0, 0, 1, 2);
    vg->addWidget(new QLabel(QStringLiteral("有効："), validity), 1, 0);
    vg->addWidget(Named(new QLabel(count(counts.valid), validity), "True_Fig_Label"), 1, 1);
    vg->addWidget(new QLabel(QStringLiteral("無効："), validity), 2, 0);
    vg->addWidget(Named(new QLabel(count(counts.invalid), validity), "False_Fig_Label"), 2, 1);
    auto* bar = new ShareBar(validity);
    // Without a counted line there is no share; the bar stays where it is.
    if (counts.haveShare) bar->setLeftEdge(counts.validShare);
    vg->addWidget(bar, 3, 0, 1, 2);
    vg->setColumnStretch(1, 1);
    layout->addWidget(validity);

    // Calculations whose outputs could not be read are invalid lines with
    // empty outputs; say how many and why, so they are not taken for results.
    if (!counts.unreadableNote.empty()) {
        auto* note = Named(new QLabel(QString::fromStdString(counts.unreadableNote), this), "Unreadable_Label");
        note->setWordWrap(true);
        note->setStyleSheet(QStringLiteral("color: #b00000;"));
        layout->addWidget(note);
    }

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CloseCommand"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(close);
    row->addStretch(1);
    layout->addLayout(row);
    setMinimumWidth(340);
}

}  // namespace korvane

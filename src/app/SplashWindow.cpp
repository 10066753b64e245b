#include "SplashWindow.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "Artwork.h"

namespace korvane {

namespace {
QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int pixelSize, bool bold = false) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    QFont f = l->font();
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    l->setFont(f);
    return l;
}
}  // namespace

QString SplashWindow::VersionText() {
    // KORVANE_VERSION is "major.minor.revision"; each part is shown as a
    // plain decimal number.
    const QStringList parts = QStringLiteral(KORVANE_VERSION).split(QLatin1Char('.'));
    QStringList numbers;
    for (int i = 0; i < 3; ++i) numbers << QString::number(i < parts.size() ? parts[i].toInt() : 0);
    return QStringLiteral("Version ") + numbers.join(QLatin1Char('.'));
}

SplashWindow::SplashWindow(Mode mode, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("Korvane"));
    setWindowFlags(mode == Mode::StartUp ? (Qt::SplashScreen | Qt::FramelessWindowHint)
                                         : (Qt::Dialog | Qt::FramelessWindowHint));
    setModal(mode == Mode::Version);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameShape(QFrame::Box);
    frame->setStyleSheet(QStringLiteral("#Frame1 { background: #f7f8fb; border: 2px solid #24569f; }"));
    outer->addWidget(frame);

    auto* row = new QHBoxLayout(frame);
    row->setContentsMargins(24, 24, 28, 20);
    row->setSpacing(24);
    auto* logo = new QLabel(frame);
    logo->setObjectName(QStringLiteral("imgLogo"));
    logo->setPixmap(KorvaneLogo(150));
    logo->setAlignment(Qt::AlignTop);
    row->addWidget(logo);

    auto* col = new QVBoxLayout;
    col->setSpacing(6);
    auto* product = MakeLabel(frame, "lblProductName", QStringLiteral("Korvane"), 40, true);
    product->setStyleSheet(QStringLiteral("color: #24569f;"));
    col->addWidget(product);
    col->addWidget(MakeLabel(frame, "Label1", QStringLiteral("表計算モデルのパラメータスタディ"), 16));
    col->addWidget(MakeLabel(frame, "lblVersion", VersionText(), 14));
    col->addStretch(1);
    col->addWidget(MakeLabel(frame, "Label2",
                             QStringLiteral("単一計算・モンテカルロ・データファイル入力・直交表・ユーザースクロール"), 12));
    col->addWidget(MakeLabel(frame, "Label3", QStringLiteral("LibreOffice Calc でモデルを計算します。"), 12));
    row->addLayout(col, 1);
    setFixedSize(sizeHint().expandedTo(QSize(600, 230)));

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(800);
    timer1_->setSingleShot(true);
    connect(timer1_, &QTimer::timeout, this, &QDialog::close);

    // A click on any part closes the window.
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);
}

void SplashWindow::startTimer1() {
    timerEnabled_ = true;
    timer1_->start();
}

void SplashWindow::keyPressEvent(QKeyEvent*) { close(); }

void SplashWindow::mousePressEvent(QMouseEvent*) { close(); }

bool SplashWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        close();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void SplashWindow::closeEvent(QCloseEvent* event) {
    QDialog::closeEvent(event);
    if (event->isAccepted() && timerEnabled_ && !announced_) {
        announced_ = true;
        timer1_->stop();
        emit startMainWindow();
    }
}

void SplashWindow::done(int result) {
    // Escape ends a dialog through done(), not closeEvent().
    QDialog::done(result);
    if (timerEnabled_ && !announced_) {
        announced_ = true;
        timer1_->stop();
        emit startMainWindow();
    }
}

}  // namespace korvane

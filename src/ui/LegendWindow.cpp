#include "ui/LegendWindow.h"

#include <QEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "platform/UserInterface.h"
#include "project/Paths.h"

namespace korvane {

namespace {
// Window geometry in 1/1440 inch, at 15 per pixel.
constexpr int Px(int twips) { return (twips + 7) / 15; }
}  // namespace

LegendWindow::LegendWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Opt_Legend_Form"));
    setWindowTitle(QStringLiteral("凡例"));
    setModal(true);
    auto* picture = new QLabel(this);
    picture->setObjectName(QStringLiteral("Picture1"));
    picture->move(Px(60), Px(60));
    picture->installEventFilter(this);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("CloseCommand"));
    close->resize(Px(1545), Px(375));
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

bool LegendWindow::loadPicture(const QString& path) {
    QPixmap pm(path);
    if (pm.isNull()) return false;
    auto* picture = findChild<QLabel*>(QStringLiteral("Picture1"));
    auto* close = findChild<QPushButton*>(QStringLiteral("CloseCommand"));
    picture->setPixmap(pm);
    picture->resize(pm.size());
    // The window takes the picture's size plus its margins; Close sits 105
    // below the picture, centred.
    const int w = pm.width() + Px(240);
    const int h = pm.height() + Px(915);
    close->move(w / 2 - Px(772), picture->y() + pm.height() + Px(105));
    setFixedSize(w, h);
    return true;
}

bool LegendWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        accept();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void ShowLegend(QWidget* parent, UserInterface& ui, const std::string& relativePath, const std::string& appFolder) {
    const std::string path = ResolveAppRelative(relativePath, appFolder);
    LegendWindow window(parent);
    if (!window.loadPicture(QString::fromStdString(path))) {
        ui.showMessage("図のファイルを読み込めません。\n" + path);
        return;
    }
    window.exec();
}

}  // namespace korvane

// Renders the program's icon, the Korvane logo, as PNG files at the sizes
// desktops look for, in the icon theme's layout:
//   korvane_make_icons TARGET_FOLDER   (writes TARGET_FOLDER/<n>x<n>/apps/korvane.png)
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

#include "app/Artwork.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane_make_icons TARGET_FOLDER\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString target = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(target).arg(size);
        const QString file = folder + QStringLiteral("/korvane.png");
        if (!QDir().mkpath(folder) || !korvane::KorvaneLogo(size).save(file, "PNG")) {
            std::fprintf(stderr, "korvane_make_icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}

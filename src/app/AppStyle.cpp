#include "AppStyle.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace korvane {

void ApplyJapaneseFont(QApplication& app) {
    const QStringList families = QFontDatabase::families();
    for (const char* candidate : {"Noto Sans CJK JP", "Noto Sans JP", "IPAexGothic", "IPAGothic", "TakaoGothic"}) {
        const QString family = QString::fromLatin1(candidate);
        if (!families.contains(family)) continue;
        QFont font = app.font();
        font.setFamilies({family});
        font.setPointSize(10);
        app.setFont(font);
        return;
    }
    // No Japanese font: Qt falls back per character.
}

}  // namespace korvane

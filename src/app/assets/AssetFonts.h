#pragma once
// The font family the generated assets are drawn with: a Japanese CJK font,
// so that kana and kanji take their Japanese forms in the pictures and the
// help file.

#include <QFontDatabase>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

namespace korvane::assets {

// Empty when no font of the system covers Japanese.
inline QString JapaneseFamily() {
    const QStringList all = QFontDatabase::families();
    for (const char* preferred : {"Noto Sans CJK JP", "Noto Sans JP", "IPAexGothic", "IPAGothic", "TakaoGothic"})
        if (all.contains(QString::fromLatin1(preferred))) return QString::fromLatin1(preferred);
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    return japanese.isEmpty() ? QString() : japanese.first();
}

// The family, or an exit with a message when there is none: a picture or
// help file without Japanese glyphs would be unreadable.
inline QString RequireJapaneseFamily(const char* program) {
    QString family = JapaneseFamily();
    if (family.isEmpty()) {
        std::fprintf(stderr, "%s: no Japanese font found (install fonts-noto-cjk)\n", program);
        std::exit(1);
    }
    return family;
}

}  // namespace korvane::assets

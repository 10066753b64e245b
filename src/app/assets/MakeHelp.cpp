// Builds the help file Help.pdf from its source text Help.html.
//   korvane_make_help SOURCE.html TARGET.pdf
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

#include "AssetFonts.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: korvane_make_help SOURCE.html TARGET.pdf\n");
        return 2;
    }
    QFile source(QString::fromLocal8Bit(argv[1]));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "korvane_make_help: cannot read %s\n", argv[1]);
        return 1;
    }
    const QString html = QString::fromUtf8(source.readAll());
    const QString family = korvane::assets::RequireJapaneseFamily("korvane_make_help");

    QTextDocument doc;
    QFont font(family);
    font.setPointSizeF(10.5);
    doc.setDefaultFont(font);
    doc.setDefaultStyleSheet(QStringLiteral("body, p, td, th, li { font-family: '%1'; }").arg(family));
    doc.setHtml(html);

    // Written beside the target and renamed over it, so an interrupted build
    // never leaves half a file.
    const QString target = QString::fromLocal8Bit(argv[2]);
    const QString partial = target + QStringLiteral(".part");
    {
        QPdfWriter writer(partial);
        writer.setTitle(QStringLiteral("Korvane ヘルプ"));
        writer.setCreator(QStringLiteral("Korvane"));
        writer.setResolution(300);
        // QTextDocument::print keeps a margin of its own (2 cm) around the text.
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0),
                                         QPageLayout::Millimeter));
        doc.print(&writer);
    }
    QFile::remove(target);
    if (!QFile::rename(partial, target)) {
        std::fprintf(stderr, "korvane_make_help: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}

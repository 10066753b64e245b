// The picture area: world frames in both y directions, drawings that stay
// where they were drawn when the frame changes, line widths, filled and open
// circles, the pointer in world units, and the popup's PNG and SVG saves.
#include <QAction>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

#include "app/AppTestSupport.h"
#include "ui/PictureArea.h"

using namespace korvane;
using namespace korvane::test;

class PictureAreaTest : public QObject {
    Q_OBJECT

private:
    static QColor At(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

private slots:
    void framesMapBothWaysAndFallBackWithoutExtent() {
        PictureArea area;
        area.resize(200, 100);
        area.setFrame(0, 10, 20, 0);  // y up
        QCOMPARE(area.toPixel(10, 5), QPointF(100, 50));
        QCOMPARE(area.toPixel(0, 10), QPointF(0, 0));
        QCOMPARE(area.toWorld(QPointF(200, 100)), QPointF(20, 0));
        area.setFrame(-1.1, 1, 1.1, 9);  // y down, as the sensitivity profile
        QCOMPARE(area.toPixel(0, 9).y(), 100.0);
        QCOMPARE(area.toPixel(0, 1).y(), 0.0);
        // No extent: a unit range around the value, never a division by zero.
        area.setFrame(0, 0, 0, 0);
        const auto f = area.frame();
        QCOMPARE(f.right - f.left, 1.0);
        QCOMPARE(f.top - f.bottom, 1.0);
        QCOMPARE(area.toPixel(0, 0), QPointF(100, 50));
    }

    void drawingsStayWhenTheFrameChangesUntilCleared() {
        PictureArea area;
        area.resize(100, 100);
        area.setBackground(Qt::black);
        area.setFrame(0, 10, 10, 0);
        area.filledCircle(2.5, 7.5, 1, Qt::red, Qt::red);  // pixel (25, 25)
        area.setFrame(0, 100, 100, 0);                     // the same point would now be at (2, 97)
        area.filledCircle(75, 25, 10, Qt::green, Qt::green);  // pixel (75, 75)
        QImage image = area.render();
        QCOMPARE(At(image, 25, 25), QColor(Qt::red));
        QCOMPARE(At(image, 75, 75), QColor(Qt::green));
        QCOMPARE(At(image, 2, 97), QColor(Qt::black));
        // Twice the size: both still in their places, scaled.
        image = area.render(QSize(200, 200));
        QCOMPARE(At(image, 50, 50), QColor(Qt::red));
        QCOMPARE(At(image, 150, 150), QColor(Qt::green));
        area.clear();
        QCOMPARE(area.itemCount(), std::size_t(0));
        QCOMPARE(At(area.render(), 25, 25), QColor(Qt::black));
    }

    void lineWidthsOutlinesAndBoxes() {
        PictureArea area;
        area.resize(100, 100);
        area.setBackground(Qt::white);
        area.setFrame(0, 100, 100, 0);
        area.setLineWidth(8);
        area.line(20, 0, 20, 100, Qt::blue);  // pixels 16..23
        area.setLineWidth(1);
        area.line(60, 0, 60, 100, Qt::blue);
        area.setLineWidth(3);
        area.circle(80, 80, 10, Qt::red);     // open: its centre stays white
        area.box(40, 10, 50, 0, Qt::green, true);
        const QImage image = area.render();
        QCOMPARE(At(image, 17, 50), QColor(Qt::blue));
        QCOMPARE(At(image, 22, 50), QColor(Qt::blue));
        QCOMPARE(At(image, 26, 50), QColor(Qt::white));
        QCOMPARE(At(image, 57, 50), QColor(Qt::white));
        QCOMPARE(At(image, 80, 20), QColor(Qt::white));
        QCOMPARE(At(image, 90, 20), QColor(Qt::red));
        QCOMPARE(At(image, 45, 95), QColor(Qt::green));
    }

    void pointerIsReportedInWorldUnits() {
        PictureArea area;
        area.resize(200, 100);
        area.setFrame(-1, 1, 1, -1);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        QSignalSpy moved(&area, &PictureArea::mouseMoved);
        QTest::mouseMove(&area, QPoint(150, 25));
        QTRY_VERIFY(!moved.isEmpty());
        QCOMPARE(moved.last().at(0).toDouble(), 0.5);
        QCOMPARE(moved.last().at(1).toDouble(), 0.5);
    }

    void popupSavesPngAndSvgAndReportsFailure() {
        TempDir dir;
        ScriptedUi ui;
        PictureArea area;
        area.setUserInterface(&ui);
        area.resize(120, 80);
        area.setFrame(0, 1, 1, 0);
        area.line(0, 0, 1, 1, Qt::yellow);
        area.text(0.5, 0.5, QStringLiteral("平均"), Qt::white, Qt::AlignCenter);
        auto* png = area.popupMenu()->findChild<QAction*>(QStringLiteral("Save_Png_Menu"));
        auto* svg = area.popupMenu()->findChild<QAction*>(QStringLiteral("Save_Svg_Menu"));
        QVERIFY(png && svg);

        // A name without its ending gets one.
        ui.files = {dir.file("chart"), dir.file("chart.svg"), dir.path() + "/missing/chart.png"};
        png->trigger();
        QImage saved(QString::fromStdString(dir.file("chart.png")));
        QCOMPARE(saved.size(), QSize(120, 80));
        QCOMPARE(ui.dialogs.back().filter, std::string("*.png|*.png"));
        QVERIFY(ui.dialogs.back().forSaving);

        svg->trigger();
        const std::string text = ReadBytes(dir.file("chart.svg"));
        QVERIFY(text.find("<svg") != std::string::npos);
        QVERIFY(text.find("平均") != std::string::npos);
        QVERIFY(ui.messages.empty());

        png->trigger();  // a folder that does not exist
        QCOMPARE(ui.messages.size(), std::size_t(1));
        QVERIFY(ui.messages[0].find("missing/chart.png") != std::string::npos);
        // Cancelled: nothing happens.
        ui.nextFile.clear();
        svg->trigger();
        QCOMPARE(ui.messages.size(), std::size_t(1));

        // With its labels the picture reads on its own: a title above, the
        // axis ends and names beside and under it, notes below; the SVG is
        // titled by the chart. An existing file is replaced only on Yes.
        PictureArea::ExportLabels labels;
        labels.title = QStringLiteral("散布図");
        labels.xLow = QStringLiteral("-1.00e+0");
        labels.xHigh = QStringLiteral("1.00e+0");
        labels.xName = QStringLiteral("荷重");
        labels.yHigh = QStringLiteral("2.00e+0");
        labels.yLow = QStringLiteral("0.00e+0");
        labels.yName = QStringLiteral("変位");
        labels.notes = {QStringLiteral("DB: run.csv")};
        area.setExportLabels(labels);
        const QImage exported = area.renderExport();
        QVERIFY(exported.width() > 120 && exported.height() > 80);
        ui.files = {dir.file("chart.svg"), dir.file("chart.svg")};
        ui.answers = {false, true};
        svg->trigger();
        QCOMPARE(ReadBytes(dir.file("chart.svg")), text);
        svg->trigger();
        QCOMPARE(ui.questions.size(), std::size_t(2));
        const std::string titled = ReadBytes(dir.file("chart.svg"));
        QVERIFY(titled.find("<title>散布図</title>") != std::string::npos);
        for (const char* label : {"-1.00e+0", "荷重", "変位", "DB: run.csv"})
            QVERIFY2(titled.find(label) != std::string::npos, label);
    }
};

QTEST_MAIN(PictureAreaTest)
#include "PictureArea_test.moc"

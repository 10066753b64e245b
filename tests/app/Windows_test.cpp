// The smaller windows: splash and version window, the legend pictures and
// the help file from the build, the recent-files window, the end and pause
// windows.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPixmap>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <filesystem>

#include "AppTestSupport.h"
#include "app/Desktop.h"
#include "ui/LegendWindow.h"
#include "project/windows/RecentFilesWindow.h"
#include "run/windows/RunWindows.h"
#include "app/SplashWindow.h"
#include "project/ProjectDocument.h"
#include "project/RecentFiles.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// The application folder the build fills with the assets.
std::string BuiltAppFolder() { return (QCoreApplication::applicationDirPath() + "/../app").toStdString(); }

void CopyAssets(const std::string& to) {
    namespace fs = std::filesystem;
    for (const char* sub : {"Help", "legend_files"}) {
        fs::create_directories(to + "/" + sub);
        for (const auto& entry : fs::directory_iterator(BuiltAppFolder() + "/" + sub))
            fs::copy_file(entry.path(), to + "/" + sub + "/" + entry.path().filename().string(),
                          fs::copy_options::overwrite_existing);
    }
}

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT
private slots:
    void splashClosesOnItsTimerAKeyOrAClickAndShowsTheMainWindow() {
        enum class By { Timer, Key, Click };
        for (By by : {By::Timer, By::Key, By::Click}) {
            SplashWindow splash(SplashWindow::Mode::StartUp);
            QVERIFY(!splash.findChild<QLabel*>("imgLogo")->pixmap().isNull());
            QSignalSpy start(&splash, &SplashWindow::startMainWindow);
            splash.show();
            splash.startTimer1();
            if (by == By::Timer)
                QVERIFY(start.wait(3000));
            else if (by == By::Key)
                QTest::keyClick(&splash, Qt::Key_Space);
            else
                QTest::mouseClick(splash.findChild<QLabel*>("lblVersion"), Qt::LeftButton);
            QCOMPARE(start.count(), 1);  // a key or a click at once, not after the timer
            QVERIFY(!splash.isVisible());
            if (by == By::Key) {
                QTest::qWait(1000);
                QCOMPARE(start.count(), 1);  // and the timer does not announce it again
            }
        }
    }

    void versionWindowFromTheAboutMenu() {
        Fixture f;
        QString version;
        bool sawTimerClose = false;
        ModalWatcher watcher([&](QWidget* modal) {
            QCOMPARE(modal->objectName(), QStringLiteral("frmSplash"));
            version = Find<QLabel>(modal, "lblVersion")->text();
            QSignalSpy start(modal, SIGNAL(startMainWindow()));
            QTest::mouseClick(modal->findChild<QLabel*>("Label1"), Qt::LeftButton);
            sawTimerClose = start.count() != 0;
        });
        f.window->findChild<QAction*>("Ver_Mn1")->trigger();
        QCOMPARE(version, QStringLiteral("Version ") + QStringLiteral(KORVANE_VERSION));
        // As the version window it never announces the main window.
        QVERIFY(!sawTimerClose);
    }

    void legendPicturesAndHelpFileAreBuiltAndOpenFromTheWindow() {
        for (const char* name : {"Calc_Flow.BMP", "Dstbt1.BMP", "Replace.BMP"}) {
            QPixmap picture(QString::fromStdString(BuiltAppFolder() + "/legend_files/" + name));
            QVERIFY2(!picture.isNull() && picture.width() >= 500 && picture.height() >= 300, name);
        }

        Fixture f;
        CopyAssets(f.app.path());
        QSize shown;
        ModalWatcher watcher([&](QWidget* modal) {
            QCOMPARE(modal->objectName(), QStringLiteral("Opt_Legend_Form"));
            auto* picture = modal->findChild<QLabel*>("Picture1");
            shown = picture->pixmap().size();
            QTest::mouseClick(picture, Qt::LeftButton);  // a click on the picture closes it
        });
        QTest::mouseClick(f.find<QPushButton>("Command1"), Qt::LeftButton);
        QCOMPARE(shown, QPixmap(QString::fromStdString(f.app.file("legend_files/Calc_Flow.BMP"))).size());
        QVERIFY(f.ui.messages.empty());

        // A missing picture is reported instead of an empty window.
        std::filesystem::remove(f.app.file("legend_files/Calc_Flow.BMP"));
        QTest::mouseClick(f.find<QPushButton>("Command1"), Qt::LeftButton);
        QVERIFY(f.ui.messages.back().find("Calc_Flow.BMP") != std::string::npos);

        // The help file, opened by the desktop.
        const std::string built = ReadBytes(BuiltAppFolder() + "/Help/Help.pdf");
        QVERIFY2(built.rfind("%PDF-", 0) == 0, "Help.pdf is not a PDF");
        QVERIFY(built.size() > 20000);
        // The Japanese text is set in an embedded Japanese font.
        QVERIFY(built.find("NotoSansCJKjp") != std::string::npos || built.find("FontFile") != std::string::npos);
        std::vector<std::string> opened;
        f.window->hooks().openDocument = [&](const std::string& path, std::string&) {
            opened.push_back(path);
            return true;
        };
        f.window->findChild<QAction*>("Help_Mn1")->trigger();
        QCOMPARE(opened, std::vector<std::string>{f.app.file("Help/Help.pdf")});
        QCOMPARE(ReadBytes(opened[0]), built);
        // Without the file the desktop is not asked; the user is told.
        f.window->hooks().openDocument = OpenWithDefaultViewer;
        std::filesystem::remove(f.app.file("Help/Help.pdf"));
        f.window->findChild<QAction*>("Help")->trigger();
        QVERIFY(f.ui.messages.back().find("Help.pdf") != std::string::npos);
    }

    void recentFilesWindowListsOpensAndDeletes() {
        Fixture f;
        TempDir elsewhere;
        const std::string outside = elsewhere.file("outside.tolv");
        WriteProject(outside, {"Excel File Name    :", "DataBase File Name :/d/x.csv", "DB Write Mode      :Append",
                               "Excel Visible      :0", "Task Plan          :DataFile Input"});
        WriteBytes(f.app.file("inside.tolv"), Cp932Lines(DefaultProjectLines()));
        const std::string gone = elsewhere.file("gone.tolv");
        WriteBytes(f.app.file("Recent.dat"), Cp932Lines({"\\inside.tolv", gone, outside}));

        RecentFilesWindow window(f.window->recentFiles(), f.ui,
                                 [&](const std::string& path) { f.window->openProjectPath(path); }, f.window.get());
        window.show();
        auto* list = window.findChild<QListWidget*>("List1");
        auto* check = window.findChild<QCheckBox*>("Check1");
        auto* status = window.findChild<QStatusBar*>("StatusBar1");
        QCOMPARE(list->count(), 2);  // the missing one is hidden
        QCOMPARE(list->item(0)->text(), QStringLiteral("\\inside.tolv"));
        QTest::mouseClick(check, Qt::LeftButton);
        QCOMPARE(list->count(), 3);

        // The status bar: the dates, or the missing-file text.
        list->setCurrentRow(1);
        QCOMPARE(status->currentMessage(), QStringLiteral("ファイルが存在しません。"));
        list->setCurrentRow(2);
        QVERIFY(status->currentMessage().contains("更新日時 : "));

        // Popup deletes: the selection, then every missing entry.
        list->setCurrentRow(0);
        window.findChild<QAction*>("Selection_Delete")->trigger();
        QCOMPARE(ReadBytes(f.app.file("Recent.dat")), Cp932Lines({gone, outside}));
        window.findChild<QAction*>("All_Delete_Link")->trigger();
        QCOMPARE(ReadBytes(f.app.file("Recent.dat")), Cp932Lines({outside}));
        f.ui.answers = {false};
        window.findChild<QAction*>("All_Delete")->trigger();
        QCOMPARE(f.ui.questions.back(), std::string("全てのリンクを削除します。よろしいですか？"));
        QCOMPARE(list->count(), 1);

        // OK without a selection, then a double-click opens the project.
        list->clearSelection();
        list->setCurrentRow(-1);
        QTest::mouseClick(window.findChild<QPushButton*>("OKCommand"), Qt::LeftButton);
        QCOMPARE(f.ui.messages.back(), std::string("ファイルが選択されていません。"));
        QVERIFY(window.isVisible());
        list->setCurrentRow(0);
        emit list->itemDoubleClicked(list->item(0));
        QVERIFY(!window.isVisible());
        QCOMPARE(f.window->document().ProjectPath, outside);
        QCOMPARE(f.find<QLineEdit>("DB_Brws_Text")->text(), QStringLiteral("/d/x.csv"));
        QCOMPARE(f.find<QComboBox>("TaskCombo")->currentText(), QStringLiteral("DataFile Input"));
        // Opening from this window does not reorder the list.
        QCOMPARE(ReadBytes(f.app.file("Recent.dat")), Cp932Lines({outside}));
    }

    void endWindowShowsTheValidShare() {
        RunObserver::EndCounts counts;
        counts.haveShare = true;
        counts.validShare = 0.75;
        EndWindow window(counts);  // its labels are read after real runs (RunWindows_test)
        window.resize(400, 300);
        window.show();
        auto* bar = window.findChild<ShareBar*>("Picture1");
        QCOMPARE(bar->leftEdge(), 0.75);
        auto* shape = bar->findChild<QWidget*>("Shape1");
        QCOMPARE(shape->x(), qRound(0.75 * bar->width()));
        QCOMPARE(shape->x() + shape->width(), bar->width());
        QTest::mouseClick(window.findChild<QPushButton*>("CloseCommand"), Qt::LeftButton);
        QVERIFY(!window.isVisible());

        // No counted line: no share, the bar stays where it is (no invalid part).
        EndWindow empty(RunObserver::EndCounts{});
        QCOMPARE(Find<QLabel>(&empty, "All_Fig_Label")->text(), QStringLiteral("全0回"));
        QCOMPARE(empty.findChild<ShareBar*>("Picture1")->leftEdge(), 1.0);
    }

    void pauseWindowRestartsOrStops() {
        // Stop is driven during a run (the run window tests); here Restart.
        PauseWindow window;
        window.show();
        QTest::mouseClick(window.findChild<QPushButton*>("RestartCommand"), Qt::LeftButton);
        QVERIFY(!window.isVisible());
        QVERIFY(!window.stopChosen());
        // Pause on an idle window shows nothing (the run is "stopped").
        Fixture f;
        f.window->findChild<QAction*>("Pause_M")->trigger();
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }
};

QTEST_MAIN(WindowsTest)
#include "Windows_test.moc"

// Runs from the main window on real workbooks in LibreOffice Calc: a Single
// run ending in the end window with its counts, a Monte Carlo run stopped
// from the menu, and one held by the pause window and stopped from there;
// the window's event loop keeps turning during a long calculation, a stop
// that the calculation does not follow within seconds asks whether to end it
// now, and the run options (workers, time limit) live outside the project.
// While a run goes on, the main window and an open current-value window show
// each output's running figures, and the convergence picture draws and saves.
#include <QAction>
#include <QImage>
#include <QMenu>
#include <QTableWidget>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "AppTestSupport.h"
#include "project/NumberText.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "run/windows/ConvergenceWindow.h"
#include "run/windows/CurrentValueForm.h"
#include "run/windows/LiveFiguresPanel.h"
#include "ui/PictureArea.h"
#include "run/CalcDispatch.h"
#include "run/RunOptions.h"
#include "run/libreoffice/RunTestSupport.h"

using namespace korvane;
using namespace korvane::test;

namespace {
const char* const kSaveQuestion = "計算実行前にプロジェクトを保存する必要があります。保存して実行しますか？";
const char* const kKeepOpenQuestion = "計算後にエクセルを開いたままにしますか？";

// y = 3x on sheet "model": x in A1, y in B1. The output's upper limit 16
// makes every x above 16/3 an invalid calculation.
std::vector<std::string> RunProject(const std::string& workbook, const std::string& db, const std::string& plan,
                                    int count) {
    Project p;
    p.excelFileName = workbook;
    p.dataBaseFileName = db;
    p.inputTasks = {{"x", "A1", "model", "", "5", "", "Round", "3"}};
    p.outputTasks = {{"y", "B1", "model", "", "0", "16"}};
    p.taskPlan = plan;
    p.monteCarlo.numOfCalc = std::to_string(count);
    p.monteCarlo.randomSeed = "7";
    p.monteCarlo.sampledVariables = {{"x", "一様分布", "5", "1"}};
    return ProjectLines(p);
}

// What the end window showed; it is closed by its Close button. Other
// windows are left alone.
struct EndSeen {
    bool shown = false;
    QString start, end, all, valid, invalid;
};

void ReadAndClose(QWidget* modal, EndSeen& seen) {
    if (modal->objectName() != QLatin1String("End_Window_Form")) return;
    auto text = [&](const char* name) { return modal->findChild<QLabel*>(name)->text(); };
    seen.shown = true;
    seen.start = text("Start_Time_Label");
    seen.end = text("End_Time_Label");
    seen.all = text("All_Fig_Label");
    seen.valid = text("True_Fig_Label");
    seen.invalid = text("False_Fig_Label");
    Click(modal, "CloseCommand");
}

// The data lines are whole: four fields, numbered 1, 2, 3, ..., a verdict.
void CheckWholeLines(const std::vector<std::string>& lines, std::size_t expected) {
    QCOMPARE(lines.size(), expected + 2);
    QCOMPARE(lines[0], std::string("Count,x,y,Validity(制限判定)"));
    QCOMPARE(lines[1], std::string("-,[Input],[Output],[System]"));
    for (std::size_t i = 2; i < lines.size(); ++i) {
        const auto fields = SplitFields(lines[i]);
        QCOMPARE(fields.size(), 4u);
        QCOMPARE(fields[0], std::to_string(i - 1));
        QVERIFY(fields[3] == "True" || fields[3] == "False");
        // The verdict agrees with the limit on y.
        QCOMPARE(fields[3] == "True", std::stod(fields[2]) <= 16.0);
    }
}

// x from a data file (1, 2, 3) into In.A1; Out.A1 = x * 2. The macro waits
// ten seconds in the calculation whose x is 2.
std::unique_ptr<Fixture> LongCalculationProject() {
    auto f = std::make_unique<Fixture>();
    WriteWorkbook(f->app.file("model.fods"), 1, {"[$In.A1]*2"},
                  "Sub SlowOnTwo\n"
                  "    If ThisComponent.Sheets.getByName(\"In\").getCellByPosition(0, 0).getValue() = 2 Then\n"
                  "        Wait 10000\n"
                  "    End If\n"
                  "End Sub\n");
    WriteBytes(f->app.file("data.csv"), "x\r\n1\r\n2\r\n3\r\n");
    Project p;
    p.excelFileName = f->app.file("model.fods");
    p.dataBaseFileName = f->app.file("db.csv");
    p.taskPlan = "DataFile Input";
    p.inputTasks = {In("x", 1, "0")};
    p.outputTasks = {Out("twice", 1)};
    p.macro = "SlowOnTwo";
    p.dataFileInput.dataFile = f->app.file("data.csv");
    p.dataFileInput.readParams = {{"0", "x"}};
    WriteProject(f->app.file("run.tolv"), ProjectLines(p));
    f->window->openProjectPath(f->app.file("run.tolv"));
    f->window->show();
    return f;
}

// Processes whose parent is this process (an instance left running).
int ChildProcessCount() {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
        const std::string stat = ReadBytes((entry.path() / "stat").string());
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        long ppid = 0;
        rest >> state >> ppid;
        if (ppid == ::getpid() && state != "Z") ++n;
    }
    return n;
}

}  // namespace

class RunWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
#ifndef KORVANE_HAVE_LIBREOFFICE
        QSKIP("built without the LibreOffice back end (KORVANE_WITH_LIBREOFFICE=OFF): runs need a real spreadsheet");
#endif
        // The workbook, made by LibreOffice itself from a CSV with a formula.
        files_ = std::make_unique<TempDir>();
        const QByteArray error = MakeXlsx(*files_, "5,=A1*3\n");
        QVERIFY2(error.isEmpty(), error.constData());
        workbook_ = files_->file("model.xlsx");
    }

    void singleRunEndsInTheEndWindowWithItsCounts() {
        auto f = prepare("Single", 1);
        f->ui.answers = {true, false};  // save, then do not keep the workbook open
        EndSeen seen;
        bool lockedDuringRun = false;
        ModalWatcher watcher([&](QWidget* modal) { ReadAndClose(modal, seen); });
        // The lock holds while the plan runs: seen at the plan's first report.
        QObject::connect(f->find<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged, [&] {
            if (!f->find<QWidget>("TabStrip1")->isEnabled()) lockedDuringRun = true;
        });
        f->window->findChild<QAction*>("Run")->trigger();

        VERIFY_NO_MESSAGE(f->ui);
        QCOMPARE(f->ui.questions, (std::vector<std::string>{kSaveQuestion, kKeepOpenQuestion}));
        QVERIFY(seen.shown);
        QCOMPARE(seen.all, QStringLiteral("全1回"));
        QCOMPARE(seen.valid, QStringLiteral("1回"));
        QCOMPARE(seen.invalid, QStringLiteral("0回"));
        QVERIFY(seen.start.contains("   ") && !seen.end.isEmpty());
        QCOMPARE(FileLines(f->app.file("db.csv")),
                 (std::vector<std::string>{"Count,x,y,Validity(制限判定)", "-,[Input],[Output],[System]", "0,5,15,True"}));
        QCOMPARE(f->window->statusBar()->currentMessage(), QStringLiteral("1/1"));
        QVERIFY(lockedDuringRun);
        QVERIFY(f->find<QWidget>("TabStrip1")->isEnabled());
        QVERIFY(!f->window->driver().running());
        QVERIFY(!f->state.ExcelApp);  // no instance left behind
    }

    void stopDuringAMonteCarloRunLeavesWholeLines() {
        auto f = prepare("MonteCarlo", 200);
        f->ui.answers = {true};
        EndSeen seen;
        ModalWatcher watcher([&](QWidget* modal) { ReadAndClose(modal, seen); });
        // The user presses Stop once calculation 3 is shown.
        int stoppedAt = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const int shown = f->find<QLineEdit>("Calc_Cnt_Text")->text().toInt();
            if (stoppedAt == 0 && shown >= 3) {
                stoppedAt = shown;
                f->window->findChild<QAction*>("Stop_Mn1")->trigger();
            }
        });
        poll.start(5);
        f->window->findChild<QAction*>("Run_Mn1")->trigger();
        poll.stop();

        VERIFY_NO_MESSAGE(f->ui);
        QVERIFY(stoppedAt >= 3);
        const auto lines = FileLines(f->app.file("db.csv"));
        const std::size_t n = lines.size() - 2;
        // The calculation in progress when Stop was seen completes, no more.
        QVERIFY2(n >= static_cast<std::size_t>(stoppedAt) && n <= static_cast<std::size_t>(stoppedAt) + 1,
                 qPrintable(QStringLiteral("%1 lines, stopped at %2").arg(n).arg(stoppedAt)));
        CheckWholeLines(lines, n);
        QVERIFY(seen.shown);
        QCOMPARE(seen.all, QStringLiteral("全%1回").arg(n));
        std::size_t valid = 0;
        for (std::size_t i = 2; i < lines.size(); ++i) valid += lines[i].ends_with(",True");
        QCOMPARE(seen.valid, QStringLiteral("%1回").arg(valid));
        QCOMPARE(seen.invalid, QStringLiteral("%1回").arg(n - valid));
        QVERIFY(!f->state.ExcelApp);
        QVERIFY(f->window->findChild<QAction*>("New_File")->isEnabled());
    }

    void pauseHoldsTheRunAndItsStopEndsIt() {
        auto f = prepare("MonteCarlo", 200);
        f->ui.answers = {true};
        auto counter = [&] { return f->find<QLineEdit>("Calc_Cnt_Text")->text().toInt(); };
        EndSeen seen;
        int atPause = -1, afterWait = -1;
        ModalWatcher watcher([&](QWidget* modal) {
            ReadAndClose(modal, seen);
            if (modal->objectName() != QLatin1String("Pause_Form")) return;
            QCOMPARE(modal->windowTitle(), QStringLiteral("一時停止"));
            atPause = counter();
            // Held: nothing is calculated while the window is open.
            QTimer::singleShot(400, modal, [&, modal] {
                afterWait = counter();
                Click(modal, "StopCommand");
            });
        });
        bool paused = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!paused && counter() >= 2) {
                paused = true;
                f->window->findChild<QAction*>("Pause_Mn1")->trigger();
            }
        });
        poll.start(5);
        f->window->findChild<QAction*>("Run")->trigger();
        poll.stop();

        QVERIFY(paused);
        QVERIFY(atPause >= 2);
        QCOMPARE(afterWait, atPause);
        // The pause came at the event pass of calculation atPause + 1, which
        // completes with its line before the run ends.
        const auto lines = FileLines(f->app.file("db.csv"));
        CheckWholeLines(lines, static_cast<std::size_t>(atPause) + 1);
        QCOMPARE(seen.all, QStringLiteral("全%1回").arg(atPause + 1));
    }

    void theEventLoopTurnsDuringATenSecondCalculation() {
        auto f = LongCalculationProject();
        f->ui.answers = {true};
        ModalWatcher watcher(CloseEndWindow);
        // A timer of the window's thread: every tick is a turn of its event loop.
        QElapsedTimer clock;
        qint64 last = 0, longestGap = 0;
        int ticks = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            longestGap = std::max(longestGap, now - last);
            last = now;
            ++ticks;
        });
        clock.start();
        tick.start(50);
        f->window->findChild<QAction*>("Run_Mn1")->trigger();
        tick.stop();
        const qint64 took = clock.elapsed();

        VERIFY_NO_MESSAGE(f->ui);
        QCOMPARE(FileLines(f->app.file("db.csv")),
                 (std::vector<std::string>{"Count,x,twice,Validity(制限判定)", "-,[Input],[Output],[System]",
                                           "1,1,2,True", "2,2,4,True", "3,3,6,True"}));
        QVERIFY2(took >= 10000, qPrintable(QString::number(took)));
        // The loop turned all the while (a loaded machine may stall it briefly).
        QVERIFY2(longestGap < 1000, qPrintable(QStringLiteral("longest gap %1 ms").arg(longestGap)));
        QVERIFY2(ticks > took / 50 / 2, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(took)));
    }

    void aStopTheCalculationDoesNotFollowAsksToEndItNow() {
        auto f = LongCalculationProject();
        f->ui.answers = {true, true};  // save; end the calculation now
        ModalWatcher watcher(CloseEndWindow);
        QElapsedTimer clock;
        qint64 stoppedAt = -1;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            // Calculation 1 is written: the second one is in its macro.
            if (stoppedAt < 0 && f->find<QLineEdit>("Calc_Cnt_Text")->text() == QLatin1String("1")) {
                stoppedAt = clock.elapsed();
                f->window->findChild<QAction*>("Stop_Mn1")->trigger();
            }
        });
        clock.start();
        poll.start(20);
        f->window->findChild<QAction*>("Run_Mn1")->trigger();
        poll.stop();
        const qint64 took = clock.elapsed();

        QVERIFY(stoppedAt >= 0);
        QCOMPARE(f->ui.questions.size(), 2u);
        QCOMPARE(f->ui.questions.back(), std::string(kEndCalculationQuestion));
        // Ended after the grace time, well before the macro's ten seconds.
        QVERIFY2(took - stoppedAt >= 4500 && took - stoppedAt < 9000, qPrintable(QString::number(took - stoppedAt)));
        // No partial line: calculation 1 only, whole.
        QCOMPARE(FileLines(f->app.file("db.csv")),
                 (std::vector<std::string>{"Count,x,twice,Validity(制限判定)", "-,[Input],[Output],[System]",
                                           "1,1,2,True"}));
        QVERIFY(!f->window->driver().running());
        QVERIFY(f->window->findChild<QAction*>("New_File")->isEnabled());
        QCOMPARE(ChildProcessCount(), 0);
    }

    void liveFiguresFollowTheRunAndTheConvergencePictureSaves() {
        auto f = prepare("MonteCarlo", 150);
        f->ui.answers = {true};
        // A current-value window opened before the run (over an earlier
        // run's DB file) follows it too.
        WriteBytes(f->app.file("db.csv"), "");
        f->window->CurrentValue();
        auto* current = f->window->findChild<CurrentValueForm*>();
        QVERIFY(current && current->livePanel());
        auto* mainGrid = f->find<QTableWidget>("Convergence_Grid");
        QTableWidget* currentGrid = current->livePanel()->grid();
        auto count = [](QTableWidget* grid) {
            return grid->rowCount() > 0 && grid->item(0, 1) ? grid->item(0, 1)->text().toInt() : -1;
        };
        // Held by the pause window after a few lines: both windows show the
        // lines so far once their timers have turned, and the run goes on.
        int seenMain = -1, seenCurrent = -1, atPause = -1;
        QString caption;
        ModalWatcher watcher([&](QWidget* modal) {
            CloseEndWindow(modal);
            if (modal->objectName() != QLatin1String("Pause_Form")) return;
            atPause = f->find<QLineEdit>("Calc_Cnt_Text")->text().toInt();
            QTimer::singleShot(2 * LiveFiguresPanel::kRefreshMilliseconds + 100, modal, [&, modal] {
                seenMain = count(mainGrid);
                seenCurrent = count(currentGrid);
                caption = mainGrid->parentWidget()->findChild<QLabel*>("Convergence_Label")->text();
                Click(modal, "RestartCommand");
            });
        });
        bool paused = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!paused && f->find<QLineEdit>("Calc_Cnt_Text")->text().toInt() >= 5) {
                paused = true;
                f->window->findChild<QAction*>("Pause_Mn1")->trigger();
            }
        });
        poll.start(5);
        f->window->findChild<QAction*>("Run_Mn1")->trigger();
        poll.stop();
        VERIFY_NO_MESSAGE(f->ui);
        QVERIFY(atPause >= 5);
        // Every line written before the pause, the valid ones counted (the
        // calculation under way at the pause may have added one).
        QVERIFY2(seenMain >= 1 && seenMain <= atPause + 1, qPrintable(QString::number(seenMain)));
        QCOMPARE(seenCurrent, seenMain);
        QVERIFY2(caption.endsWith(QStringLiteral(": %1 行").arg(atPause)) ||
                     caption.endsWith(QStringLiteral(": %1 行").arg(atPause + 1)),
                 qPrintable(caption));

        // After the run: the figures of the DB file, worked out here.
        const auto lines = FileLines(f->app.file("db.csv"));
        QCOMPARE(lines.size(), 152u);
        double sum = 0;
        int valid = 0;
        for (std::size_t i = 2; i < lines.size(); ++i) {
            const auto fields = SplitFields(lines[i]);
            if (fields[3] != "True") continue;
            sum += std::stod(fields[2]);
            ++valid;
        }
        QVERIFY(valid > 0 && valid < 150);  // both verdicts occur
        const QStringList expected = {QStringLiteral("y"), QString::number(valid),
                                      LiveFigureText(sum / valid)};
        const QString share = QString::number(100.0 * (150 - valid) / 150, 'f', 1) + QLatin1Char('%');
        for (QTableWidget* grid : {mainGrid, currentGrid}) {
            QTRY_COMPARE(grid->item(0, 1)->text(), expected[1]);
            QCOMPARE(grid->rowCount(), 1);
            for (int c = 0; c < 3; ++c) QCOMPARE(grid->item(0, c)->text(), expected[c]);
            QCOMPARE(grid->item(0, 4)->text(), share);
            QVERIFY(grid->item(0, 3)->text() != QLatin1String("-"));
        }

        // The convergence picture: every line a point, saved as PNG and SVG.
        auto* button = f->find<QPushButton>("Convergence_Command");
        QVERIFY(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        ConvergenceWindow* chart = nullptr;
        for (auto* w : f->window->findChildren<ConvergenceWindow*>())
            if (w->objectName() == QLatin1String("Convergence_Form") && w->isVisible()) chart = w;
        QVERIFY(chart);
        QCOMPARE(chart->windowTitle(), QStringLiteral("収束グラフ"));
        QCOMPARE(chart->pointsDrawn(), 150u);
        QVERIFY(chart->picture()->itemCount() > 150);
        f->ui.nextFile = f->app.file("convergence.png");
        chart->picture()->popupMenu()->findChild<QAction*>("Save_Png_Menu")->trigger();
        f->ui.nextFile = f->app.file("convergence.svg");
        chart->picture()->popupMenu()->findChild<QAction*>("Save_Svg_Menu")->trigger();
        VERIFY_NO_MESSAGE(f->ui);
        const QImage png(QString::fromStdString(f->app.file("convergence.png")));
        QVERIFY(!png.isNull());
        QVERIFY(png.width() >= chart->picture()->width());
        const std::string svg = ReadBytes(f->app.file("convergence.svg"));
        QVERIFY(svg.find("収束グラフ: y") != std::string::npos);
        chart->close();
        current->close();
    }

    void runOptionsAreKeptOutsideTheProject() {
        auto f = LongCalculationProject();
        f->window->findChild<QAction*>("Save_File")->trigger();
        const std::string projectBefore = ReadBytes(f->app.file("run.tolv"));
        ModalWatcher watcher([](QWidget* modal) {
            if (modal->objectName() != QLatin1String("RunOptions_Form")) return;
            modal->findChild<QSpinBox*>("Workers_Spin")->setValue(3);
            auto* timeout = modal->findChild<QLineEdit*>("Timeout_Text");
            timeout->clear();
            QTest::keyClicks(timeout, "2.5x");  // the filter takes the x back out
            QTest::mouseClick(modal->findChild<QPushButton*>("OKCommand"), Qt::LeftButton);
        });
        f->window->findChild<QAction*>("Run_Options")->trigger();
        QCOMPARE(f->window->driver().runOptions().workers, 3);
        QCOMPARE(f->window->driver().runOptions().calcTimeoutSeconds, 2.5);
        QCOMPARE(ReadBytes(f->app.file(kRunOptionsFile)), std::string("Workers=3\r\nCalcTimeout=2.5\r\n"));
        // Saving the project writes nothing of them.
        f->window->findChild<QAction*>("Save_File")->trigger();
        QCOMPARE(ReadBytes(f->app.file("run.tolv")), projectBefore);
        // A new window over the same folder starts with them.
        MainWindow again(f->ui, f->state, TestLinkFactory(), f->app.path());
        QCOMPARE(again.driver().runOptions().workers, 3);
    }

private:
    std::unique_ptr<Fixture> prepare(const std::string& plan, int count) {
        auto f = std::make_unique<Fixture>();
        const std::string project = f->app.file("run.tolv");
        WriteProject(project, RunProject(workbook_, f->app.file("db.csv"), plan, count));
        f->window->openProjectPath(project);
        f->window->show();
        return f;
    }
    std::unique_ptr<TempDir> files_;
    std::string workbook_;
};

QTEST_MAIN(RunWindowsTest)
#include "RunWindows_test.moc"

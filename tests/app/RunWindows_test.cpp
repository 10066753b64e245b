// Runs from the main window on a real workbook in LibreOffice Calc: a Single
// run ending in the end window with its counts, a Monte Carlo run stopped
// from the menu, and one held by the pause window and stopped from there.
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include "AppTestSupport.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"

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

// What the end window showed; it is closed by its Close button.
struct EndSeen {
    bool shown = false;
    QString start, end, all, valid, invalid;
};

void ReadAndClose(QWidget* modal, EndSeen& seen) {
    auto text = [&](const char* name) { return modal->findChild<QLabel*>(name)->text(); };
    seen.shown = true;
    seen.start = text("Start_Time_Label");
    seen.end = text("End_Time_Label");
    seen.all = text("All_Fig_Label");
    seen.valid = text("True_Fig_Label");
    seen.invalid = text("False_Fig_Label");
    QTest::mouseClick(modal->findChild<QPushButton*>("CloseCommand"), Qt::LeftButton);
}

std::vector<std::string> DbLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string error;
    ReadTextLines(path, lines, error);
    return lines;
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

}  // namespace

class RunWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void singleRunEndsInTheEndWindowWithItsCounts();
    void stopDuringAMonteCarloRunLeavesWholeLines();
    void pauseHoldsTheRunAndItsStopEndsIt();

private:
    std::unique_ptr<Fixture> prepare(const std::string& plan, int count);
    std::unique_ptr<TempDir> files_;
    std::string workbook_;
};

void RunWindowsTest::initTestCase() {
#ifndef KORVANE_HAVE_LIBREOFFICE
    QSKIP("built without the LibreOffice back end (KORVANE_WITH_LIBREOFFICE=OFF): runs need a real spreadsheet");
#endif
    // The workbook, made by LibreOffice itself from a CSV with a formula.
    files_ = std::make_unique<TempDir>();
    WriteBytes(files_->file("model.csv"), "5,=A1*3\n");
    QProcess convert;
    convert.start(QStringLiteral("soffice"),
                  {QStringLiteral("--headless"),
                   QStringLiteral("-env:UserInstallation=file://") + Q(files_->file("profile")),
                   QStringLiteral("--convert-to"), QStringLiteral("xlsx"), Q(files_->file("model.csv")),
                   QStringLiteral("--outdir"), Q(files_->path())});
    QVERIFY2(convert.waitForFinished(120000), "soffice did not convert the workbook");
    workbook_ = files_->file("model.xlsx");
    QVERIFY2(QFile::exists(Q(workbook_)), convert.readAllStandardError().constData());
}

std::unique_ptr<Fixture> RunWindowsTest::prepare(const std::string& plan, int count) {
    auto f = std::make_unique<Fixture>();
    const std::string project = f->app.file("run.tolv");
    WriteProject(project, RunProject(workbook_, f->app.file("db.csv"), plan, count));
    f->window->openProjectPath(project);
    f->window->show();
    return f;
}

void RunWindowsTest::singleRunEndsInTheEndWindowWithItsCounts() {
    auto f = prepare("Single", 1);
    f->ui.answers = {true, false};  // save, then do not keep the workbook open
    EndSeen seen;
    bool lockedDuringRun = false;
    ModalWatcher watcher([&](QWidget* modal) {
        if (modal->objectName() != QLatin1String("End_Window_Form")) return;
        ReadAndClose(modal, seen);
    });
    // The lock holds while the plan runs: seen at the plan's first report.
    QObject::connect(f->find<QProgressBar>("ProgressBar1"), &QProgressBar::valueChanged, [&] {
        if (!f->find<QWidget>("TabStrip1")->isEnabled()) lockedDuringRun = true;
    });
    f->window->findChild<QAction*>("Run")->trigger();

    QVERIFY2(f->ui.messages.empty(), f->ui.messages.empty() ? "" : f->ui.messages.front().c_str());
    QCOMPARE(f->ui.questions, (std::vector<std::string>{kSaveQuestion, kKeepOpenQuestion}));
    QVERIFY(seen.shown);
    QCOMPARE(seen.all, QStringLiteral("全1回"));
    QCOMPARE(seen.valid, QStringLiteral("1回"));
    QCOMPARE(seen.invalid, QStringLiteral("0回"));
    QVERIFY(seen.start.contains("   ") && !seen.end.isEmpty());
    QCOMPARE(DbLines(f->app.file("db.csv")),
             (std::vector<std::string>{"Count,x,y,Validity(制限判定)", "-,[Input],[Output],[System]", "0,5,15,True"}));
    QCOMPARE(f->window->statusBar()->currentMessage(), QStringLiteral("1/1"));
    QVERIFY(lockedDuringRun);
    QVERIFY(f->find<QWidget>("TabStrip1")->isEnabled());
    QVERIFY(!f->window->driver().running());
    QVERIFY(!f->state.ExcelApp);  // no instance left behind
}

void RunWindowsTest::stopDuringAMonteCarloRunLeavesWholeLines() {
    auto f = prepare("MonteCarlo", 200);
    f->ui.answers = {true};
    EndSeen seen;
    ModalWatcher watcher([&](QWidget* modal) {
        if (modal->objectName() == QLatin1String("End_Window_Form")) ReadAndClose(modal, seen);
    });
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

    QVERIFY2(f->ui.messages.empty(), f->ui.messages.empty() ? "" : f->ui.messages.front().c_str());
    QVERIFY(stoppedAt >= 3);
    const auto lines = DbLines(f->app.file("db.csv"));
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

void RunWindowsTest::pauseHoldsTheRunAndItsStopEndsIt() {
    auto f = prepare("MonteCarlo", 200);
    f->ui.answers = {true};
    auto counter = [&] { return f->find<QLineEdit>("Calc_Cnt_Text")->text().toInt(); };
    EndSeen seen;
    int atPause = -1, afterWait = -1;
    ModalWatcher watcher([&](QWidget* modal) {
        if (modal->objectName() == QLatin1String("End_Window_Form")) {
            ReadAndClose(modal, seen);
        } else if (modal->objectName() == QLatin1String("Pause_Form")) {
            QCOMPARE(modal->windowTitle(), QStringLiteral("一時停止"));
            atPause = counter();
            // Held: nothing is calculated while the window is open.
            QTimer::singleShot(400, modal, [&, modal] {
                afterWait = counter();
                QTest::mouseClick(modal->findChild<QPushButton*>("StopCommand"), Qt::LeftButton);
            });
        }
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
    const auto lines = DbLines(f->app.file("db.csv"));
    CheckWholeLines(lines, static_cast<std::size_t>(atPause) + 1);
    QCOMPARE(seen.all, QStringLiteral("全%1回").arg(atPause + 1));
}

QTEST_MAIN(RunWindowsTest)
#include "RunWindows_test.moc"

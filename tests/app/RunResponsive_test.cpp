// The main window while calculations run on their worker threads: its event
// loop keeps turning during a long calculation, a stop that the calculation
// does not follow within seconds asks whether to end it now, and the run
// options (workers, time limit) live outside the project file.
#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "AppTestSupport.h"
#include "project/Project.h"
#include "run/CalcDispatch.h"
#include "run/RunOptions.h"
#include "run/libreoffice/RunTestSupport.h"

using namespace korvane;
using namespace korvane::test;

namespace {

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

void CloseEndWindow(QWidget* modal) {
    if (modal->objectName() == QLatin1String("End_Window_Form"))
        QTest::mouseClick(modal->findChild<QPushButton*>("CloseCommand"), Qt::LeftButton);
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

std::vector<std::string> DbLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string error;
    ReadTextLines(path, lines, error);
    return lines;
}

}  // namespace

class RunResponsiveTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void theEventLoopTurnsDuringATenSecondCalculation();
    void aStopTheCalculationDoesNotFollowAsksToEndItNow();
    void runOptionsAreKeptOutsideTheProject();
};

void RunResponsiveTest::initTestCase() {
#ifndef KORVANE_HAVE_LIBREOFFICE
    QSKIP("built without the LibreOffice back end (KORVANE_WITH_LIBREOFFICE=OFF): runs need a real spreadsheet");
#endif
}

void RunResponsiveTest::theEventLoopTurnsDuringATenSecondCalculation() {
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

    QVERIFY2(f->ui.messages.empty(), f->ui.messages.empty() ? "" : f->ui.messages.front().c_str());
    QCOMPARE(DbLines(f->app.file("db.csv")),
             (std::vector<std::string>{"Count,x,twice,Validity(制限判定)", "-,[Input],[Output],[System]",
                                       "1,1,2,True", "2,2,4,True", "3,3,6,True"}));
    QVERIFY2(took >= 10000, qPrintable(QString::number(took)));
    // The loop turned all the while (a loaded machine may stall it briefly).
    QVERIFY2(longestGap < 1000, qPrintable(QStringLiteral("longest gap %1 ms").arg(longestGap)));
    QVERIFY2(ticks > took / 50 / 2, qPrintable(QStringLiteral("%1 ticks in %2 ms").arg(ticks).arg(took)));
}

void RunResponsiveTest::aStopTheCalculationDoesNotFollowAsksToEndItNow() {
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
    QCOMPARE(DbLines(f->app.file("db.csv")),
             (std::vector<std::string>{"Count,x,twice,Validity(制限判定)", "-,[Input],[Output],[System]",
                                       "1,1,2,True"}));
    QVERIFY(!f->window->driver().running());
    QVERIFY(f->window->findChild<QAction*>("New_File")->isEnabled());
    QCOMPARE(ChildProcessCount(), 0);
}

void RunResponsiveTest::runOptionsAreKeptOutsideTheProject() {
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

QTEST_MAIN(RunResponsiveTest)
#include "RunResponsive_test.moc"

// The scroll mode driven from the main window on real workbooks in real
// LibreOffice instances: the start dialog, bars and typed values that
// recalculate, output limits and the chooser, the plot's modes, the merging
// of notifications on a slow model, restarts per calculation and a workbook
// that cannot be opened.
#include <QAction>
#include <QPointer>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <atomic>
#include <cmath>
#include <chrono>
#include <thread>

#include "ui/PictureArea.h"
#include "app/AppTestSupport.h"
#include "project/ProjectDocument.h"
#include "run/libreoffice/RunTestSupport.h"
#include "scroll/windows/ScrollPlot.h"
#include "scroll/windows/UserVarForms.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// A flat OpenDocument workbook: In!A1:C1 receive x, y and x again;
// Out!A1 = 2x, Out!B1 = y - 10, Out!C1 = the second x. With `slowMacro` its
// Basic macro "Slow" waits 200 ms.
void WriteScrollWorkbook(const std::string& path, bool slowMacro) {
    WriteWorkbook(path, 3, {"[$In.A1]*2", "[$In.B1]-10", "[$In.C1]"}, slowMacro ? "Sub Slow\n    Wait 200\nEnd Sub\n" : "");
}

std::vector<std::string> ScrollProject(const std::string& workbook, const std::string& macro) {
    Project p;
    p.excelFileName = workbook;
    p.dataBaseFileName = "/nonexistent/never-written.csv";
    p.inputTasks = {{"x", "A1", "In", "0", "5", "10", "", ""},
                    {"y", "B1", "In", "", "2", "", "", ""},
                    {"x", "C1", "In", "", "5", "", "", ""}};
    p.outputTasks = {{"double", "A1", "Out", "0", "0", "20"},
                     {"neg", "B1", "Out", "", "0", ""},
                     {"second", "C1", "Out", "", "0", ""}};
    p.macro = macro;
    p.taskPlan = plan::UserScroll;
    return ProjectLines(p);
}

void TypeInto(QLineEdit* box, const QString& text) {
    box->selectAll();
    QTest::keyClicks(box, text);
    QTest::keyClick(box, Qt::Key_Return);
}

struct ScrollFixture : Fixture {
    std::string workbook = app.file("model.fods");
    UserVarForm* form = nullptr;

    explicit ScrollFixture(bool slowMacro = false) {
        WriteScrollWorkbook(workbook, slowMacro);
        const std::string project = app.file("scroll.tolv");
        WriteProject(project, ScrollProject(workbook, slowMacro ? "Slow" : ""));
        window->openProjectPath(project);
    }

    // The main window's command, the start dialog answered, the window ready.
    UserVarForm* open(bool restartPerCalc = false) {
        bool dialogSeen = false;
        ModalWatcher watcher([&](QWidget* modal) {
            if (modal->objectName() != QLatin1String("User_Var_Start_Form")) return;
            dialogSeen = true;
            modal->findChild<QCheckBox*>("Check1")->setChecked(restartPerCalc);
            modal->findChild<QRadioButton*>("Option1_1")->setChecked(true);
            modal->findChild<QPushButton*>("OKCommand")->click();
        });
        window->findChild<QAction*>("UserScroll_Menu_Mn1")->trigger();
        if (!dialogSeen) return nullptr;
        QPointer<UserVarForm> opened = window->findChild<UserVarForm*>("User_Var_Form");
        (void)QTest::qWaitFor([&] { return !opened || opened->ready() || !opened->isVisible(); }, 60000);
        form = opened && opened->ready() ? opened.data() : nullptr;
        return form;
    }

    // Moves bar i and waits for the calculation it causes.
    bool moveBar(int i, int position) {
        const long before = form->calculations();
        form->bar(i)->setValue(position);
        return QTest::qWaitFor([&] { return form->calculations() > before; }, 30000);
    }

    QTableWidget* inputs() { return form->findChild<QTableWidget*>("TableGrid1"); }
    QTableWidget* outputs() { return form->findChild<QTableWidget*>("CellsGrid"); }
    PictureArea* picture() { return form->findChild<PictureArea*>("Picture1"); }
    template <class T>
    T* inForm(const char* name) {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
};

}  // namespace

class UserVarFormTest : public QObject {
    Q_OBJECT
private slots:
    void barsAndTypedValuesRecalculateTheWorkbook() {
        ScrollFixture f;
        QVERIFY(f.open());
        QVERIFY(!f.window->findChild<QAction*>("Run")->isEnabled());
        QVERIFY(!f.window->menuBar()->isEnabled());
        // One row per name; the bar of x at 50 of [0, 10], y without limits
        // around its initial value 2.
        QTableWidget* in = f.inputs();
        QCOMPARE(in->rowCount(), 2);
        QCOMPARE(CellText(in, 1, 1) + " " + CellText(in, 1, 2) + " " + CellText(in, 1, 3), QStringLiteral("1 2 3"));
        QCOMPARE(f.form->bar(0)->value(), 50);
        QCOMPARE(in->cellWidget(0, 4), f.form->bar(0));
        QTableWidget* out = f.outputs();
        QCOMPARE(GridColumn(out, 1).mid(0, 3), (QStringList{"double", "2.000e+01", "1.000e+01"}));  // name, Upr, value
        // An output without limits: [2v, 0] from its first value -8.
        QCOMPARE(CellText(out, 1, 2), QStringLiteral("0.000e+00"));
        QCOMPARE(CellText(out, 3, 2), QStringLiteral("-1.600e+01"));

        QVERIFY(f.moveBar(0, 73));
        QCOMPARE(CellText(in, 0, 2), QStringLiteral("7.3"));
        QCOMPARE(CellText(out, 2, 1), QStringLiteral("1.460e+01"));
        QCOMPARE(CellText(out, 2, 3), QStringLiteral("7.300e+00"));  // both tasks named x
        QCOMPARE(f.state.InputValues[1], std::string("7.3"));

        // A typed current value is calculated exactly; the bar shows the
        // nearest position. A lower end above it stops at the current value.
        auto* valText = f.inForm<QLineEdit>("Val_Text");
        emit in->cellClicked(0, 2);
        QVERIFY(valText->isVisible());
        QCOMPARE(valText->text(), QStringLiteral("7.3"));
        long before = f.form->calculations();
        TypeInto(valText, QStringLiteral("7.35"));
        QTRY_VERIFY(f.form->calculations() > before);
        QCOMPARE(CellText(out, 2, 1), QStringLiteral("1.470e+01"));
        QCOMPARE(f.form->bar(0)->value(), 74);
        emit in->cellClicked(0, 1);
        TypeInto(valText, QStringLiteral("12"));
        QCOMPARE(CellText(in, 0, 1), QStringLiteral("7.35"));
        QCOMPARE(f.form->bar(0)->value(), 0);
        emit in->cellClicked(0, 3);
        TypeInto(valText, QStringLiteral("1"));
        QCOMPARE(CellText(in, 0, 3), QStringLiteral("7.35"));
        QVERIFY(!f.form->bar(0)->isEnabled());  // equal ends: no position
        // Letters never reach the box; Escape leaves the cell as it was.
        emit in->cellClicked(1, 2);
        QTest::keyClicks(valText, QStringLiteral("x9"));
        QCOMPARE(valText->text(), QStringLiteral("9"));
        QCOMPARE(f.ui.beeps, 1);
        QTest::keyClick(valText, Qt::Key_Escape);
        QVERIFY(!valText->isVisible());
        QCOMPARE(CellText(in, 1, 2), QStringLiteral("2"));

        // Set_Initial writes the current values into the working copy.
        f.form->findChild<QAction*>("Set_Initial")->trigger();
        QCOMPARE(f.ui.messages.back(), std::string("現在の値を初期値に設定しました。"));
        int initials = 0;
        for (const std::string& line : f.workingCopy())
            if (line.rfind(" Input Pram.       :x,", 0) == 0) {
                QCOMPARE(QString::fromStdString(SplitFields(LineValue(line))[4]), QStringLiteral("7.35"));
                ++initials;
            }
        QCOMPARE(initials, 2);

        f.form->findChild<QAction*>("Quit_Mn")->trigger();
        QTRY_VERIFY(!f.window->findChild<UserVarForm*>("User_Var_Form"));
        QVERIFY(!f.state.ExcelApp);
        QVERIFY(f.window->findChild<QAction*>("Run")->isEnabled());
        QVERIFY(f.window->menuBar()->isEnabled());
    }

    void outputLimitsCannotCrossAndTheChooserBringsItsOwn() {
        ScrollFixture f;
        QVERIFY(f.open());
        QTableWidget* out = f.outputs();
        auto* ulText = f.inForm<QLineEdit>("UL_Text");
        auto* combo = f.inForm<QComboBox>("Param_Combo");

        emit out->cellClicked(1, 1);
        QVERIFY(ulText->isVisible());
        QVERIFY(combo->isVisible());
        QCOMPARE(combo->currentText(), QStringLiteral("double"));
        QCOMPARE(combo->count(), 4);  // an empty entry and every output
        TypeInto(ulText, QStringLiteral("-1"));
        QCOMPARE(f.ui.messages.back(), std::string("Lwr値以下の値を指定することはできません。"));
        QCOMPARE(CellText(out, 1, 1), QStringLiteral("2.000e+01"));
        emit out->cellClicked(3, 1);
        TypeInto(ulText, QStringLiteral("20"));
        QCOMPARE(f.ui.messages.back(), std::string("Upr値以上の値を指定することはできません。"));
        QCOMPARE(CellText(out, 3, 1), QStringLiteral("0.000e+00"));
        QVERIFY(!ulText->isVisible());
        // Escape: the limit as it was, in the long exponent form, and it stays
        // so after a calculation; a sound limit is taken and recalculates.
        emit out->cellClicked(1, 1);
        QTest::keyClicks(ulText, QStringLiteral("5"));
        QTest::keyClick(ulText, Qt::Key_Escape);
        QCOMPARE(CellText(out, 1, 1), QStringLiteral("2.000e+001"));
        QVERIFY(f.moveBar(0, 60));
        QCOMPARE(CellText(out, 1, 1), QStringLiteral("2.000e+001"));
        long before = f.form->calculations();
        emit out->cellClicked(1, 1);
        TypeInto(ulText, QStringLiteral("40"));
        QCOMPARE(CellText(out, 1, 1), QStringLiteral("4.000e+01"));
        QTRY_VERIFY(f.form->calculations() > before);

        // Column 1 now shows "neg", with its own range, not the typed limits.
        emit out->cellClicked(0, 1);
        before = f.form->calculations();
        combo->setCurrentIndex(2);
        emit combo->activated(2);
        QTRY_VERIFY(f.form->calculations() > before);
        QCOMPARE(GridColumn(out, 1).mid(0, 4), (QStringList{"neg", "0.000e+00", "-8.000e+00", "-1.600e+01"}));
        emit out->cellClicked(0, 1);
        combo->setCurrentIndex(0);
        emit combo->activated(0);
        QCOMPARE(GridColumn(out, 1).mid(0, 2), (QStringList{QString(), QString()}));
        f.form->close();
    }

    void plotNormalTrajectoryAndPeakHold() {
        ScrollFixture f;
        QVERIFY(f.open());
        f.form->resize(700, 700);
        f.form->show();
        PictureArea* pic = f.picture();
        // Three reference lines, then three outputs: three circles, two lines.
        constexpr std::size_t kFrame = 3, kProfile = 5;
        QCOMPARE(pic->itemCount(), kFrame + kProfile);
        QVERIFY(!f.inForm<QWidget>("MenuFrame")->isVisible());
        f.inForm<QPushButton>("Menu_Cmnd")->click();
        QVERIFY(f.inForm<QWidget>("MenuFrame")->isVisible());

        auto* kiseki = f.inForm<QCheckBox>("Kiseki_Check");
        auto* peak = f.inForm<QCheckBox>("Peak_Hold_Check1");
        kiseki->click();
        for (int p : {10, 20, 30}) QVERIFY(f.moveBar(0, p));
        QCOMPARE(pic->itemCount(), kFrame + 4 * kProfile);  // one profile per calculation
        peak->click();
        QCOMPARE(f.ui.messages.back(), std::string("軌跡表示モード中は、ピークホールド機能は使用できません。"));
        QVERIFY(!peak->isChecked());
        QCOMPARE(pic->itemCount(), kFrame + 4 * kProfile);
        f.inForm<QPushButton>("Clear_Command")->click();
        QCOMPARE(pic->itemCount(), kFrame);
        QVERIFY(f.moveBar(0, 40));
        QCOMPARE(pic->itemCount(), kFrame + kProfile);
        kiseki->click();  // off: the picture clean, the current profile only
        QCOMPARE(pic->itemCount(), kFrame + kProfile);

        // Peak hold: the extremes since it was switched on, two circles and
        // their lines more per output.
        peak->click();
        QVERIFY(peak->isChecked());
        for (int p : {100, 0, 60}) QVERIFY(f.moveBar(0, p));
        QCOMPARE(f.form->outputs().column(1).peakHigh, 20.0);
        QCOMPARE(f.form->outputs().column(1).peakLow, 0.0);
        QCOMPARE(f.form->outputs().column(1).value, 12.0);
        QCOMPARE(pic->itemCount(), kFrame + kProfile + 3 * 2 + 2 * 2);
        kiseki->click();
        QVERIFY(!kiseki->isChecked());
        peak->click();
        QCOMPARE(f.form->outputs().column(1).peakHigh, 12.0);

        // The pointer read-out: the value of column 1's output at the pointer's
        // height (middle of [0, 20]).
        f.inForm<QCheckBox>("Value_Label_Vis1")->click();
        auto* label = f.inForm<QLabel>("Val_Label");
        QTest::mouseMove(pic, pic->toPixel(0.5, 0).toPoint());
        QTRY_VERIFY(label->isVisible());
        QVERIFY2(std::fabs(label->text().toDouble() - 10) < 0.2, qPrintable(label->text()));  // within a pixel
        QCOMPARE(label->text().size(), 9);
        QTest::mouseMove(pic, pic->toPixel(1.0, 0).toPoint());
        QTRY_VERIFY(!label->isVisible());
        f.inForm<QPushButton>("Command1")->click();
        QVERIFY(!f.inForm<QWidget>("MenuFrame")->isVisible());
        f.form->close();
    }

    void notificationsOnASlowModelAreMerged() {
        ScrollFixture f(true);
        QVERIFY(f.open());
        QScrollBar* bar = f.form->bar(0);
        const long before = f.form->calculations();
        // A drag as the window system delivers it: one notification every 20 ms,
        // arriving whether or not the window is busy calculating.
        constexpr int kSteps = 40;
        std::atomic<bool> done{false};
        std::thread mouse([&] {
            for (int p = 1; p <= kSteps; ++p) {
                QMetaObject::invokeMethod(bar, [bar, p] { bar->setValue(p); }, Qt::QueuedConnection);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            done = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 30000);
        mouse.join();
        QTRY_VERIFY_WITH_TIMEOUT(CellText(f.outputs(), 2, 1) == QStringLiteral("8.000e+00"), 30000);
        // Each calculation takes over 200 ms: far fewer calculations than
        // notifications, and the last one with the value the bar was left at.
        QTest::qWait(500);
        const long calculations = f.form->calculations() - before;
        QVERIFY2(calculations < kSteps / 2, qPrintable(QString::number(calculations)));
        QCOMPARE(f.form->inputRows()[0].current, std::string("4"));
        QCOMPARE(f.state.InputValues[1], std::string("4"));
        f.form->close();
    }

    void restartPerCalculationAndAWorkbookThatWillNotOpen() {
        {
            ScrollFixture f;
            QVERIFY(f.open(true));
            QCOMPARE(f.state.RestartPerCalc, 1);
            QVERIFY(!f.state.ExcelApp);  // quit again after every calculation
            QVERIFY(f.moveBar(0, 100));
            QCOMPARE(CellText(f.outputs(), 2, 1), QStringLiteral("2.000e+01"));
            QVERIFY(!f.state.ExcelApp);
            f.form->close();
        }
        // A task naming a sheet the workbook lacks: the message, and the window
        // goes, the main window unlocked, no instance left.
        ScrollFixture f;
        std::vector<std::string> lines = ScrollProject(f.workbook, "");
        for (std::string& line : lines)
            if (line.rfind(" Input Pram.       :y,", 0) == 0) line = " Input Pram.       :y,B1,Nope,,2,,,";
        WriteProject(f.app.file("scroll.tolv"), lines);
        QVERIFY(f.window->openProjectPath(f.app.file("scroll.tolv")));
        QVERIFY(!f.open());
        QCOMPARE(f.ui.messages.back(), std::string("入力変数「y」のシート「Nope」がブックにありません。計算を開始できません。"));
        QTRY_VERIFY(!f.window->findChild<UserVarForm*>("User_Var_Form"));
        QVERIFY(f.window->menuBar()->isEnabled());
        QVERIFY(!f.state.ExcelApp);
    }
};

QTEST_MAIN(UserVarFormTest)
#include "UserVarForm_test.moc"

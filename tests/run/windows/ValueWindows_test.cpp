// The initial, restriction and current value windows on the shared settings
// grid: in-cell editing (Enter stores, Escape restores, the numeric filter
// beeps), and the working copy's bytes after OK and after Cancel.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/AppTestSupport.h"
#include "app/SettingsGrid.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "run/windows/CurrentValueForm.h"
#include "run/windows/ValueWindows.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// "荷重" is written into two cells; "長さ" is an input and an output.
Project Sample() {
    Project p;
    p.dataBaseFileName = "\\db.csv";
    p.inputTasks = {{"荷重", "B2", "モデル", "0", "1000", "2000", "Round", "3"},
                    {"長さ", "B3", "モデル", "0.5", "2", "", "Format", "#,##0.0"},
                    {"荷重", "C2", "モデル", "0", "1000", "2000", "Round", "3"}};
    p.outputTasks = {{"たわみ", "D2", "結果", "", "0.004", "0.01"}};
    p.monteCarlo.sampledVariables = {{"荷重", "正規分布", "1000", "50"}};
    return p;
}

QPushButton* Button(QWidget* w, const char* name) { return w->findChild<QPushButton*>(name); }

}  // namespace

class ValueWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initialValuesEnterStoresEscapeRestoresAndOkWritesEveryRow();
    void restrictionLimitsOfInputsAndOutputsAndTheShownOnlyColumn();
    void currentValuesReadTheDbAndBecomeInitialValues();
};

void ValueWindowsTest::initialValuesEnterStoresEscapeRestoresAndOkWritesEveryRow() {
    Fixture f;
    SetWorkingCopy(f, ProjectLines(Sample()));
    const std::string before = WorkingCopyBytes(f);

    // Cancel writes nothing, whatever was entered.
    {
        ValueWindow w(*f.window, ValueWindow::Kind::Initial);
        w.show();
        ClickCell(w.grid(), 0, 1);
        QTest::keyClicks(w.grid()->valText(), "5");
        QTest::keyClick(w.grid()->valText(), Qt::Key_Return);
        QCOMPARE(w.grid()->text(0, 1), QStringLiteral("5"));
        QTest::mouseClick(Button(&w, "CancelCommand"), Qt::LeftButton);
    }
    QCOMPARE(WorkingCopyBytes(f), before);

    ValueWindow w(*f.window, ValueWindow::Kind::Initial);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    SettingsGrid* grid = w.grid();
    QCOMPARE(GridColumn(grid, 0), (QStringList{"荷重", "長さ"}));  // each name once
    QLineEdit* val = grid->valText();
    QCOMPARE(val->objectName(), QStringLiteral("Val_Text"));

    // The name column is not edited.
    ClickCell(grid, 0, 0);
    QVERIFY(!val->isVisible());
    // The editor lies over the cell with all of its text selected.
    ClickCell(grid, 0, 1);
    QVERIFY(val->isVisible());
    QCOMPARE(val->geometry(), grid->visualRect(grid->model()->index(0, 1)));
    QCOMPARE(val->selectedText(), QStringLiteral("1000"));
    QCOMPARE(grid->editBackup(), QStringLiteral("1000"));
    QTest::keyClicks(val, "2.50");
    QTest::keyClick(val, Qt::Key_Return);
    QVERIFY(!val->isVisible());
    QCOMPARE(grid->text(0, 1), QStringLiteral("2.50"));
    QVERIFY(w.isVisible());  // Enter belongs to the editor, not to OK

    // Escape puts the old text back and leaves the window open.
    ClickCell(grid, 1, 1);
    QTest::keyClicks(val, "99");
    QTest::keyClick(val, Qt::Key_Escape);
    QCOMPARE(grid->text(1, 1), QStringLiteral("2"));
    QVERIFY(w.isVisible());

    // Typed letters are filtered with a beep each; the box keeps the focus.
    ClickCell(grid, 1, 1);
    QTest::keyClicks(val, "-7e");
    QCOMPARE(val->text(), QStringLiteral("-7"));
    QCOMPARE(f.ui.beeps, 1);
    val->setText("1,2 3");  // a paste: two characters go, two beeps
    QCOMPARE(val->text(), QStringLiteral("123"));
    QCOMPARE(f.ui.beeps, 3);
    QVERIFY(val->hasFocus());
    // OK with the editor still open takes its text.
    QTest::mouseClick(Button(&w, "OKCommand"), Qt::LeftButton);
    QCOMPARE(w.result(), int(QDialog::Accepted));

    Project expected = Sample();
    expected.inputTasks[0].initial = expected.inputTasks[2].initial = "2.50";
    expected.inputTasks[1].initial = "123";
    QCOMPARE(WorkingCopyBytes(f), Cp932Lines(ProjectLines(expected)));
}

void ValueWindowsTest::restrictionLimitsOfInputsAndOutputsAndTheShownOnlyColumn() {
    Fixture f;
    SetWorkingCopy(f, ProjectLines(Sample()));
    ValueWindow w(*f.window, ValueWindow::Kind::Restriction);
    w.show();
    SettingsGrid* grid = w.grid();
    QCOMPARE(GridColumn(grid, 0), (QStringList{"荷重", "長さ", "たわみ"}));
    QCOMPARE(GridColumn(grid, 2), (QStringList{"1000", "2", "0.004"}));
    QCOMPARE(grid->item(0, 2)->background().color(), QColor(0x80, 0x80, 0x80));
    ClickCell(grid, 0, 2);
    QVERIFY(!grid->valText()->isVisible());

    auto enter = [&](int row, int column, const char* text) {
        ClickCell(grid, row, column);
        grid->valText()->selectAll();
        QTest::keyClick(grid->valText(), Qt::Key_Delete);
        QTest::keyClicks(grid->valText(), text);
        QTest::keyClick(grid->valText(), Qt::Key_Return);
    };
    enter(0, 1, "100");
    enter(2, 3, "");  // no upper limit any more
    enter(2, 1, "-1");
    QTest::mouseClick(Button(&w, "OKCommand"), Qt::LeftButton);

    Project expected = Sample();
    expected.inputTasks[0].lower = expected.inputTasks[2].lower = "100";
    expected.outputTasks[0].lower = "-1";
    expected.outputTasks[0].upper = "";
    QCOMPARE(WorkingCopyBytes(f), Cp932Lines(ProjectLines(expected)));
}

void ValueWindowsTest::currentValuesReadTheDbAndBecomeInitialValues() {
    Fixture f;
    SetWorkingCopy(f, ProjectLines(Sample()));
    f.window->document().header.dbPath = "\\db.csv";
    // After a Monte Carlo run of 100 stopped in calculation 37.
    f.state.PlanName = "MonteCarlo";
    f.state.CalcTotal = "100";
    f.state.CalcCount = 37;
    AddInputVariable(f.state, "荷重", "B2", "モデル", "0", 1000, "2000", "Round", "3");
    f.state.InputValues[1] = "1042.5";
    WriteBytes(f.app.file("db.csv"), Cp932Lines({"Count,荷重,長さ,たわみ,Validity(制限判定)",
                                                 "-,[Input],[Input],[Output],[System]", "36,1001,2,0.004,True",
                                                 "37,1042.5,2.25,0.0041,True"}));

    CurrentValueForm w(*f.window);
    w.show();
    SettingsGrid* grid = w.grid();
    QCOMPARE(w.windowTitle(), QStringLiteral("最終値"));
    auto* counter = w.findChild<QLineEdit*>("Calc_Count_Text");
    QCOMPARE(counter->text(), QStringLiteral("37"));
    QCOMPARE(GridColumn(grid, 4), (QStringList{"1042.5", "", ""}));
    QVERIFY(grid->ticked(0));
    QVERIFY(!grid->ticked(1));
    QCOMPARE(grid->item(0, 4)->background().color(), QColor(0xC0, 0xC0, 0xFF));
    // The tick boxes only show.
    QTest::mouseClick(grid->tickBox(1), Qt::LeftButton);
    QVERIFY(!grid->ticked(1));

    counter->setText("36x");
    QCOMPARE(counter->text(), QStringLiteral("36"));
    QTest::mouseClick(Button(&w, "Read_db_Command"), Qt::LeftButton);
    QCOMPARE(GridColumn(grid, 4), (QStringList{"1001", "2", "0.004"}));
    QCOMPARE(w.windowTitle(), QStringLiteral("現在値"));

    w.findChild<QAction*>("Set_Initial")->trigger();
    QCOMPARE(GridColumn(grid, 3), (QStringList{"1001", "2", "0.004"}));
    Project expected = Sample();
    expected.inputTasks[0].initial = expected.inputTasks[2].initial = "1001";
    QCOMPARE(WorkingCopyBytes(f), Cp932Lines(ProjectLines(expected)));

    // A DB file that is gone is reported; the values stay.
    QFile::remove(Q(f.app.file("db.csv")));
    QTest::mouseClick(Button(&w, "Read_db_Command"), Qt::LeftButton);
    QCOMPARE(f.ui.messages.back(), std::string("データベースファイルのアドレスを確認して下さい。"));
    QCOMPARE(grid->text(0, 4), QStringLiteral("1001"));
}

QTEST_MAIN(ValueWindowsTest)
#include "ValueWindows_test.moc"

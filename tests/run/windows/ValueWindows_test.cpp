// The initial, restriction and current value windows on the shared settings
// grid: in-cell editing (Enter stores, Escape restores, the numeric filter
// beeps), and the working copy's bytes after OK and after Cancel. Then what
// every settings grid shares: a click elsewhere keeps what was typed, and OK
// names the first cell that holds no number.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>

#include "app/AppTestSupport.h"
#include "ui/SettingsGrid.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "run/windows/CurrentValueForm.h"
#include "run/windows/OrthogonalTableForm.h"
#include "run/windows/SamplingSettingForm.h"
#include "run/windows/ValueWindows.h"
#include "app/WindowRegistry.h"
#include "workbook/windows/ReplaceForm.h"

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

// Sample() with a Replace input and settings for both repeating plans.
Project EverySettingsGrid() {
    Project p = Sample();
    p.inputTasks.push_back({"材質", "B4", "モデル", "", "1", "", "Replace", "Text"});
    p.replaceTasks = {{"材質", "1=steel,2=copper,3=titan"}};
    p.monteCarlo.numOfCalc = "10";
    p.orthogonalTable.level = "2水準";
    p.orthogonalTable.factors = {{"荷重", "900", "1000", "1100"}};
    return p;
}

// One settings window of each kind over the fixture's working copy.
struct GridWindow {
    const char* form;
    std::function<std::unique_ptr<QDialog>(Fixture&)> open;
};

SettingsGrid* GridOf(QDialog* w) { return w->findChild<SettingsGrid*>("VarGrid1"); }

std::vector<GridWindow> GridWindows() {
    return {
        {"Init_Value_Form", [](Fixture& f) { return std::make_unique<ValueWindow>(*f.window, ValueWindow::Kind::Initial); }},
        {"Restriction_Value_Form",
         [](Fixture& f) { return std::make_unique<ValueWindow>(*f.window, ValueWindow::Kind::Restriction); }},
        {"Sampling_Setting_Form", [](Fixture& f) { return std::make_unique<SamplingSettingForm>(*f.window); }},
        {"Orthogonal_Table_Form", [](Fixture& f) { return std::make_unique<OrthogonalTableForm>(*f.window); }},
        {"Replace_Form",
         [](Fixture& f) {
             WindowRequest request;
             request.row = {"材質", "1=steel,2=copper,3=titan"};
             request.gridRow = 0;
             return std::make_unique<ReplaceForm>(*f.window, request);
         }},
    };
}

}  // namespace

class ValueWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initialValuesEnterStoresEscapeRestoresAndOkWritesEveryRow();
    void restrictionLimitsOfInputsAndOutputsAndTheShownOnlyColumn();
    void currentValuesReadTheDbAndBecomeInitialValues();
    void everyGridKeepsWhatWasTypedWhenAnotherCellIsClicked();
    void okNamesTheFirstCellThatHoldsNoNumber();
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

void ValueWindowsTest::everyGridKeepsWhatWasTypedWhenAnotherCellIsClicked() {
    struct Case {
        const char* form;
        int row, column;   // typed into
        const char* text;
        int otherRow, otherColumn;  // then clicked
        std::string line;  // the working copy's line after OK
    };
    const std::vector<Case> cases = {
        {"Init_Value_Form", 0, 1, "7", 1, 1, " Input Pram.       :荷重,B2,モデル,0,7,2000,Round,3"},
        {"Restriction_Value_Form", 0, 3, "2500", 1, 1, " Input Pram.       :荷重,B2,モデル,0,1000,2500,Round,3"},
        {"Sampling_Setting_Form", 0, 3, "1100", 0, 4, " Var. Param.       :荷重,正規分布,1100,50"},
        {"Orthogonal_Table_Form", 0, 2, "800", 0, 4, " Var. Param.       :荷重,800,950,1100"},
        // The keys the list has stay as they are.
        {"Replace_Form", 0, 1, "iron", 1, 1, " Replace Pram.     :材質,1=iron,2=copper,3=titan"},
    };
    for (const Case& c : cases) {
        Fixture f;
        SetWorkingCopy(f, ProjectLines(EverySettingsGrid()));
        std::unique_ptr<QDialog> w;
        for (const GridWindow& g : GridWindows())
            if (std::string(g.form) == c.form) w = g.open(f);
        QVERIFY2(w, c.form);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        SettingsGrid* grid = GridOf(w.get());
        QLineEdit* val = w->findChild<QLineEdit*>("Val_Text");
        ClickCell(grid, c.row, c.column);
        QVERIFY2(val && val->isVisible(), c.form);
        val->selectAll();
        QTest::keyClick(val, Qt::Key_Delete);
        QTest::keyClicks(val, c.text);
        ClickCell(grid, c.otherRow, c.otherColumn);
        QCOMPARE(grid->text(c.row, c.column), QString::fromUtf8(c.text));
        // The cell clicked opens its own editor, and Escape there keeps the
        // first cell's new text.
        QTest::keyClick(val, Qt::Key_Escape);
        QCOMPARE(grid->text(c.row, c.column), QString::fromUtf8(c.text));
        Click(w.get(), "OKCommand");
        QVERIFY2(f.ui.messages.empty(), f.ui.messages.empty() ? c.form : f.ui.messages.back().c_str());
        QCOMPARE(w->result(), int(QDialog::Accepted));
        const std::vector<std::string> lines = f.workingCopy();
        QVERIFY2(std::find(lines.begin(), lines.end(), c.line) != lines.end(), c.line.c_str());
    }
}

void ValueWindowsTest::okNamesTheFirstCellThatHoldsNoNumber() {
    struct Case {
        const char* form;
        int row, column;
        const char* text;  // what passes the entry filter but is no number
        int tickRow;       // a row to tick first, -1 for none
        std::string message;
    };
    const std::vector<Case> cases = {
        {"Init_Value_Form", 0, 1, "1.2.3", -1, "変数[荷重]の初期値が数値ではありません: \"1.2.3\""},
        {"Init_Value_Form", 1, 1, "", -1, "変数[長さ]の初期値が入力されていません。"},
        {"Restriction_Value_Form", 3, 3, ".", -1, "変数[たわみ]の上限値が数値ではありません: \".\""},
        {"Restriction_Value_Form", 0, 1, "-", -1, "変数[荷重]の下限値が数値ではありません: \"-\""},
        {"Sampling_Setting_Form", 0, 4, "5.", -1, ""},  // a number: accepted
        {"Sampling_Setting_Form", 0, 3, "-", -1, "変数[荷重]の中心値が数値ではありません: \"-\""},
        {"Orthogonal_Table_Form", 0, 4, "1..1", -1, "変数[荷重]の上方値が数値ではありません: \"1..1\""},
        // A factor ticked without values.
        {"Orthogonal_Table_Form", -1, -1, "", 1, "変数[長さ]の下方値が入力されていません。"},
    };
    for (const Case& c : cases) {
        Fixture f;
        SetWorkingCopy(f, ProjectLines(EverySettingsGrid()));
        const std::string before = WorkingCopyBytes(f);
        std::unique_ptr<QDialog> w;
        for (const GridWindow& g : GridWindows())
            if (std::string(g.form) == c.form) w = g.open(f);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        SettingsGrid* grid = GridOf(w.get());
        if (c.tickRow >= 0) QTest::mouseClick(grid->tickBox(c.tickRow), Qt::LeftButton);
        if (c.row >= 0) {
            ClickCell(grid, c.row, c.column);
            grid->valText()->selectAll();
            QTest::keyClick(grid->valText(), Qt::Key_Delete);
            QTest::keyClicks(grid->valText(), c.text);
        }
        Click(w.get(), "OKCommand");
        if (c.message.empty()) {
            QVERIFY2(f.ui.messages.empty(), f.ui.messages.empty() ? "" : f.ui.messages.back().c_str());
            QCOMPARE(w->result(), int(QDialog::Accepted));
            continue;
        }
        QCOMPARE(f.ui.messages.size(), std::size_t(1));
        QVERIFY2(f.ui.messages.back() == c.message, f.ui.messages.back().c_str());
        // The window stays, the file is unchanged, and the editor is open on
        // the cell named.
        QVERIFY(w->isVisible());
        QCOMPARE(WorkingCopyBytes(f), before);
        QVERIFY(grid->valText()->isVisible());
        const int row = c.row >= 0 ? c.row : c.tickRow;
        QCOMPARE(grid->editRow(), row);
        if (c.row >= 0) QCOMPARE(grid->editColumn(), c.column);
    }
}

QTEST_MAIN(ValueWindowsTest)
#include "ValueWindows_test.moc"

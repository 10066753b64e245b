// The settings windows on the shared settings grid, driven by their object
// names. The initial, restriction and current value windows: in-cell editing
// (Enter stores, Escape restores, the numeric filter beeps). The settings of
// the three plans: the checks and messages in order, the seed frame, the table
// preview with its colours and corner, the data-file preview and "Auto", more
// than 63 variables. What every settings grid shares: a click elsewhere keeps
// what was typed, and OK names the first cell that holds no number. Always
// the working copy's bytes after OK and after Cancel. One file (one test
// program) because every window here is built on the same grid and fixture,
// and one program starts the offscreen application once for all of them.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>

#include "app/AppTestSupport.h"
#include "app/WindowRegistry.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "run/windows/CurrentValueForm.h"
#include "run/windows/DbInputCalForm.h"
#include "run/windows/OrthogonalTableForm.h"
#include "run/windows/SamplingSettingForm.h"
#include "run/windows/ValueWindows.h"
#include "ui/SettingsGrid.h"
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

// `count` input variables v1, v2, ...; v1 is also written into a second cell.
Project Inputs(int count) {
    Project p;
    for (int i = 1; i <= count; ++i)
        p.inputTasks.push_back({"v" + std::to_string(i), "A" + std::to_string(i), "s", "", "0", "", "Round", "6"});
    p.inputTasks.push_back({"v1", "B1", "s", "", "0", "", "Round", "6"});
    return p;
}

void CopyArrays(const std::string& to) {
    const std::string built = (QCoreApplication::applicationDirPath() + "/../app/").toStdString();
    for (const char* name : {"OT_L128-2-127.dat", "OT_L108-3-49.dat"})
        std::filesystem::copy_file(built + name, to + "/" + name);
}

}  // namespace

class SettingsWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void initialValuesEnterStoresEscapeRestoresAndOkWritesEveryRow() {
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
            Click(&w, "CancelCommand");
        }
        QCOMPARE(WorkingCopyBytes(f), before);

        ValueWindow w(*f.window, ValueWindow::Kind::Initial);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        SettingsGrid* grid = w.grid();
        QCOMPARE(GridColumn(grid, 0), (QStringList{"荷重", "長さ"}));  // each name once
        QLineEdit* val = grid->valText();

        // The name column is not edited.
        ClickCell(grid, 0, 0);
        QVERIFY(!val->isVisible());
        // The editor lies over the cell with all of its text selected.
        ClickCell(grid, 0, 1);
        QVERIFY(val->isVisible());
        QCOMPARE(val->geometry(), grid->visualRect(grid->model()->index(0, 1)));
        QCOMPARE(val->selectedText(), QStringLiteral("1000"));
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
        Click(&w, "OKCommand");
        QCOMPARE(w.result(), int(QDialog::Accepted));

        Project expected = Sample();
        expected.inputTasks[0].initial = expected.inputTasks[2].initial = "2.50";
        expected.inputTasks[1].initial = "123";
        QCOMPARE(WorkingCopyBytes(f), Cp932Lines(ProjectLines(expected)));
    }

    void restrictionLimitsOfInputsAndOutputsAndTheShownOnlyColumn() {
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

        EnterCell(grid, 0, 1, "100");
        EnterCell(grid, 2, 3, "");  // no upper limit any more
        EnterCell(grid, 2, 1, "-1");
        Click(&w, "OKCommand");

        Project expected = Sample();
        expected.inputTasks[0].lower = expected.inputTasks[2].lower = "100";
        expected.outputTasks[0].lower = "-1";
        expected.outputTasks[0].upper = "";
        QCOMPARE(WorkingCopyBytes(f), Cp932Lines(ProjectLines(expected)));
    }

    void currentValuesReadTheDbAndBecomeInitialValues() {
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
        Click(&w, "Read_db_Command");
        QCOMPARE(GridColumn(grid, 4), (QStringList{"1001", "2", "0.004"}));
        QCOMPARE(w.windowTitle(), QStringLiteral("現在値"));

        w.findChild<QAction*>("Set_Initial")->trigger();
        QCOMPARE(GridColumn(grid, 3), (QStringList{"1001", "2", "0.004"}));
        Project expected = Sample();
        expected.inputTasks[0].initial = expected.inputTasks[2].initial = "1001";
        QCOMPARE(WorkingCopyBytes(f), Cp932Lines(ProjectLines(expected)));

        // A DB file that is gone is reported; the values stay.
        QFile::remove(Q(f.app.file("db.csv")));
        Click(&w, "Read_db_Command");
        QCOMPARE(f.ui.messages.back(), std::string("データベースファイルのアドレスを確認して下さい。"));
        QCOMPARE(grid->text(0, 4), QStringLiteral("1001"));
    }

    void everyGridKeepsWhatWasTypedAndOkNamesTheFirstCellThatHoldsNoNumber() {
        struct Case {
            const char* form;
            int row, column;    // typed into, -1 for none
            const char* text;
            int otherRow, otherColumn;  // then clicked, -1 for none
            int tickRow;                // a row to tick first, -1 for none
            std::string message;        // OK's message; none: OK writes `line`
            std::string line;
        };
        const std::vector<Case> cases = {
            // A click on another cell keeps what was typed.
            {"Init_Value_Form", 0, 1, "7", 1, 1, -1, "", " Input Pram.       :荷重,B2,モデル,0,7,2000,Round,3"},
            {"Restriction_Value_Form", 0, 3, "2500", 1, 1, -1, "", " Input Pram.       :荷重,B2,モデル,0,1000,2500,Round,3"},
            {"Sampling_Setting_Form", 0, 3, "1100", 0, 4, -1, "", " Var. Param.       :荷重,正規分布,1100,50"},
            {"Orthogonal_Table_Form", 0, 2, "800", 0, 4, -1, "", " Var. Param.       :荷重,800,950,1100"},
            // The keys the list has stay as they are.
            {"Replace_Form", 0, 1, "iron", 1, 1, -1, "", " Replace Pram.     :材質,1=iron,2=copper,3=titan"},
            {"Sampling_Setting_Form", 0, 4, "5.", -1, -1, -1, "", " Var. Param.       :荷重,正規分布,1000,5."},
            // What passes the entry filter but is no number, or nothing.
            {"Init_Value_Form", 0, 1, "1.2.3", -1, -1, -1, "変数[荷重]の初期値が数値ではありません: \"1.2.3\"", ""},
            {"Init_Value_Form", 1, 1, "", -1, -1, -1, "変数[長さ]の初期値が入力されていません。", ""},
            {"Restriction_Value_Form", 3, 3, ".", -1, -1, -1, "変数[たわみ]の上限値が数値ではありません: \".\"", ""},
            {"Restriction_Value_Form", 0, 1, "-", -1, -1, -1, "変数[荷重]の下限値が数値ではありません: \"-\"", ""},
            {"Sampling_Setting_Form", 0, 3, "-", -1, -1, -1, "変数[荷重]の中心値が数値ではありません: \"-\"", ""},
            {"Orthogonal_Table_Form", 0, 4, "1..1", -1, -1, -1, "変数[荷重]の上方値が数値ではありません: \"1..1\"", ""},
            // A factor ticked without values.
            {"Orthogonal_Table_Form", -1, -1, "", -1, -1, 1, "変数[長さ]の下方値が入力されていません。", ""},
        };
        for (const Case& c : cases) {
            Fixture f;
            SetWorkingCopy(f, ProjectLines(EverySettingsGrid()));
            const std::string before = WorkingCopyBytes(f);
            std::unique_ptr<QDialog> w;
            for (const GridWindow& g : GridWindows())
                if (std::string(g.form) == c.form) w = g.open(f);
            QVERIFY2(w, c.form);
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w.get()));
            SettingsGrid* grid = GridOf(w.get());
            QLineEdit* val = grid->valText();
            if (c.tickRow >= 0) QTest::mouseClick(grid->tickBox(c.tickRow), Qt::LeftButton);
            if (c.row >= 0) {
                ClickCell(grid, c.row, c.column);
                QVERIFY2(val->isVisible(), c.form);
                val->selectAll();
                QTest::keyClick(val, Qt::Key_Delete);
                QTest::keyClicks(val, c.text);
            }
            if (c.otherRow >= 0) {
                ClickCell(grid, c.otherRow, c.otherColumn);
                QCOMPARE(grid->text(c.row, c.column), QString::fromUtf8(c.text));
                // The cell clicked opens its own editor, and Escape there keeps
                // the first cell's new text.
                QTest::keyClick(val, Qt::Key_Escape);
                QCOMPARE(grid->text(c.row, c.column), QString::fromUtf8(c.text));
            }
            Click(w.get(), "OKCommand");
            if (c.message.empty()) {
                VERIFY_NO_MESSAGE(f.ui);
                QCOMPARE(w->result(), int(QDialog::Accepted));
                const std::vector<std::string> lines = f.workingCopy();
                QVERIFY2(std::find(lines.begin(), lines.end(), c.line) != lines.end(), c.line.c_str());
                continue;
            }
            QCOMPARE(f.ui.messages, std::vector<std::string>{c.message});
            // The window stays, the file is unchanged, and the editor is open on
            // the cell named.
            QVERIFY(w->isVisible());
            QCOMPARE(WorkingCopyBytes(f), before);
            QVERIFY(val->isVisible());
            QCOMPARE(grid->editRow(), c.row >= 0 ? c.row : c.tickRow);
            if (c.row >= 0) QCOMPARE(grid->editColumn(), c.column);
        }
    }

    void monteCarloChecksSeedAndMoreThan63Variables() {
        Fixture f;
        Project p = Inputs(70);
        p.monteCarlo = {"50", "0", "77", {{"v2", "正規分布", "10", "2"}}};
        SetWorkingCopy(f, ProjectLines(p));
        const std::string before = WorkingCopyBytes(f);
        {
            SamplingSettingForm w(*f.window);
            w.show();
            Click(&w, "CancelCommand");
        }
        QCOMPARE(WorkingCopyBytes(f), before);

        SamplingSettingForm w(*f.window);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        SettingsGrid* grid = w.grid();
        // Every variable has its row and its tick box, beyond the 63 of old.
        QCOMPARE(grid->rowCount(), 70);
        QVERIFY(grid->ticked(1));
        QCOMPARE(grid->text(1, 2), QStringLiteral("正規分布"));
        QCOMPARE(grid->text(69, 2), QStringLiteral("-"));
        QVERIFY(Find<QRadioButton>(&w, "Option2")->isChecked());
        QCOMPARE(Find<QLineEdit>(&w, "Seed_Text")->text(), QStringLiteral("77"));

        // An unticked row is not edited; a ticked one chooses its distribution.
        auto* chooser = Find<QComboBox>(&w, "DsnObj_Combo");
        ClickCell(grid, 69, 2);
        QVERIFY(!chooser->isVisible());
        QTest::mouseClick(grid->tickBox(69), Qt::LeftButton);
        ClickCell(grid, 69, 2);
        QVERIFY(chooser->isVisible());
        QCOMPARE(chooser->currentIndex(), -1);  // "-" preselects nothing
        emit chooser->activated(1);
        QCOMPARE(grid->text(69, 2), QStringLiteral("一様分布"));
        QVERIFY(!chooser->isVisible());
        EnterCell(grid, 69, 3, "5");

        // The checks, in order, each leaving the window open.
        Click(&w, "OKCommand");
        QCOMPARE(f.ui.messages.back(), std::string("変数[v70]の標準偏差が選択されていません。"));
        EnterCell(grid, 69, 4, "1");
        auto* count = Find<QLineEdit>(&w, "Num_of_Calc_Text");
        count->setText("0.0");  // the dot goes: 00
        QCOMPARE(count->text(), QStringLiteral("00"));
        QCOMPARE(f.ui.beeps, 0);
        Find<QCheckBox>(&w, "Check1")->setChecked(true);
        f.ui.answers = {false};
        Click(&w, "OKCommand");
        QCOMPARE(f.ui.questions.back(), std::string("計算毎にエクセル再起動をすると計算に長時間を要します。よろしいですか？"));
        QVERIFY(!Find<QCheckBox>(&w, "Check1")->isChecked());
        QCOMPARE(f.ui.messages.back(), std::string("計算回数は1以上を指定して下さい。"));
        QVERIFY(w.isVisible());
        QCOMPARE(WorkingCopyBytes(f), before);
        count->setText("10.5");
        QCOMPARE(count->text(), QStringLiteral("105"));

        // Clearing a tick clears the row.
        QTest::mouseClick(grid->tickBox(1), Qt::LeftButton);
        QCOMPARE(grid->text(1, 2), QStringLiteral("-"));
        QCOMPARE(grid->text(1, 3), QString());

        // The seed frame: shown by its button, kept while the seed is empty.
        auto* frame = Find<QFrame>(&w, "Rand_Set_Frame");
        QVERIFY(!frame->isVisible());
        Click(&w, "Command1");
        QVERIFY(frame->isVisible());
        auto* seed = Find<QLineEdit>(&w, "Seed_Text");
        Find<QRadioButton>(&w, "Option1")->click();
        QVERIFY(!seed->isEnabled());
        Find<QRadioButton>(&w, "Option2")->click();
        seed->clear();
        Click(&w, "Command2");
        QCOMPARE(f.ui.messages.back(), std::string("Seedが入力されていません。"));
        QVERIFY(frame->isVisible());
        seed->setText("12.3");
        Click(&w, "Command2");
        QVERIFY(!frame->isVisible());
        Click(&w, "Command1");
        ClickCell(grid, 0, 0);  // a click on the grid hides it too
        QVERIFY(!frame->isVisible());

        Click(&w, "OKCommand");
        QCOMPARE(w.result(), int(QDialog::Accepted));
        p.monteCarlo = {"105", "0", "123", {{"v70", "一様分布", "5", "1"}}};
        QCOMPARE(WorkingCopyBytes(f), Cp932Lines(ProjectLines(p)));
    }

    void samplingMethodCorrelationAndPrecisionAreWrittenAndShownAgain() {
        // A project that chooses nothing new is the same file after OK.
        {
            Fixture f;
            SetWorkingCopy(f, ProjectLines(EverySettingsGrid()));
            const std::string before = WorkingCopyBytes(f);
            SamplingSettingForm w(*f.window);
            w.show();
            Click(&w, "OKCommand");
            VERIFY_NO_MESSAGE(f.ui);
            QCOMPARE(w.result(), int(QDialog::Accepted));
            QCOMPARE(WorkingCopyBytes(f), before);
        }
        Fixture f;
        Project p = Sample();
        SetWorkingCopy(f, ProjectLines(p));
        {
            SamplingSettingForm w(*f.window);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            SettingsGrid* grid = w.grid();
            SettingsGrid* correlations = w.correlationGrid();
            SettingsGrid* precision = w.precisionGrid();
            auto* method = Find<QComboBox>(&w, "Method_Combo");
            QCOMPARE(method->currentText(), QStringLiteral("MonteCarlo"));
            QCOMPARE(method->count(), 4);
            QCOMPARE(method->itemText(3), QStringLiteral("Saltelli"));
            method->setCurrentIndex(method->findText("LHS"));

            // "長さ" ticked, lognormal (the third distribution offered).
            QTest::mouseClick(grid->tickBox(1), Qt::LeftButton);
            ClickCell(grid, 1, 2);
            auto* distributions = Find<QComboBox>(&w, "DsnObj_Combo");
            QCOMPARE(distributions->count(), 7);
            QCOMPARE(distributions->itemText(6), QStringLiteral("離散一様分布"));
            emit distributions->activated(2);
            QCOMPARE(grid->text(1, 2), QStringLiteral("対数正規分布"));
            EnterCell(grid, 1, 3, "2");
            EnterCell(grid, 1, 4, "0.1");

            // The correlation chooses among the ticked variables; filling the
            // last row adds an empty one.
            auto* variables = Find<QComboBox>(&w, "Var_Combo");
            QCOMPARE(correlations->rowCount(), 1);
            ClickCell(correlations, 0, 0);
            QVERIFY(variables->isVisible());
            QCOMPARE(variables->count(), 3);  // the empty item, 荷重, 長さ
            emit variables->activated(1);
            ClickCell(correlations, 0, 1);
            emit variables->activated(2);
            EnterCell(correlations, 0, 2, "0.6");
            QCOMPARE(correlations->rowCount(), 2);
            QCOMPARE(correlations->text(0, 1), QStringLiteral("長さ"));

            auto* outputs = Find<QComboBox>(&w, "Output_Combo");
            ClickCell(precision, 0, 0);
            QCOMPARE(outputs->count(), 2);
            emit outputs->activated(1);
            EnterCell(precision, 0, 1, "0.01");

            // A precision target with LHS is refused, the window stays.
            const std::string before = WorkingCopyBytes(f);
            Click(&w, "OKCommand");
            QCOMPARE(f.ui.messages.size(), std::size_t(1));
            QVERIFY(f.ui.messages.back().rfind("精度目標[たわみ]はLHSでは使えません", 0) == 0);
            QVERIFY(w.isVisible());
            QCOMPARE(WorkingCopyBytes(f), before);

            method->setCurrentIndex(method->findText("Sobol"));
            Click(&w, "OKCommand");
            QCOMPARE(w.result(), int(QDialog::Accepted));
        }
        p.monteCarlo.sampledVariables.push_back({"長さ", "対数正規分布", "2", "0.1"});
        p.sampling.method = "Sobol";
        p.sampling.correlations = {{"荷重", "長さ", "0.6"}};
        p.sampling.hasPrecision = true;
        p.sampling.precision = {"たわみ", "0.01", ""};
        QCOMPARE(WorkingCopyBytes(f), Cp932Lines(ProjectLines(p)));

        // Opened again it shows the section; a row emptied goes, and so
        // does the precision target.
        SamplingSettingForm w(*f.window);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        SettingsGrid* correlations = w.correlationGrid();
        SettingsGrid* precision = w.precisionGrid();
        auto* method = Find<QComboBox>(&w, "Method_Combo");
        QCOMPARE(method->currentText(), QStringLiteral("Sobol"));
        QCOMPARE(w.grid()->text(1, 2), QStringLiteral("対数正規分布"));
        QCOMPARE(correlations->rowCount(), 2);
        QCOMPARE(correlations->text(0, 0) + "," + correlations->text(0, 1) + "," + correlations->text(0, 2),
                 QStringLiteral("荷重,長さ,0.6"));
        QCOMPARE(precision->text(0, 0) + "," + precision->text(0, 1), QStringLiteral("たわみ,0.01"));

        EnterCell(correlations, 1, 2, "-0.3");
        QCOMPARE(correlations->rowCount(), 3);
        for (int c = 0; c < 3; ++c) {
            ClickCell(correlations, 0, c);
            if (c < 2) {
                emit Find<QComboBox>(&w, "Var_Combo")->activated(0);
            } else {
                EnterCell(correlations, 0, c, "");
            }
        }
        QCOMPARE(correlations->rowCount(), 2);
        QCOMPARE(correlations->text(0, 2), QStringLiteral("-0.3"));
        // The row left with a value only is refused, naming it.
        method->setCurrentIndex(method->findText("LHS"));
        Click(&w, "OKCommand");
        QCOMPARE(f.ui.messages.back(), std::string("相関[,]の変数[]はサンプリングする変数ではありません。"));
        EnterCell(correlations, 0, 2, "");
        QCOMPARE(correlations->rowCount(), 1);
        ClickCell(precision, 0, 0);
        emit Find<QComboBox>(&w, "Output_Combo")->activated(0);
        EnterCell(precision, 0, 1, "");
        Click(&w, "OKCommand");
        QCOMPARE(w.result(), int(QDialog::Accepted));
        p.sampling = {};
        p.sampling.method = "LHS";
        QCOMPARE(WorkingCopyBytes(f), Cp932Lines(ProjectLines(p)));
    }

    void samplingSettingsRefusedNamingTheRow() {
        struct Case {
            const char* what;
            std::function<void(Project&)> change;
            std::string message;  // empty: accepted
            int row = -1;         // the variable row whose editor opens
        };
        const std::vector<Case> cases = {
            {"lognormal mean", [](Project& p) { p.monteCarlo.sampledVariables[1] = {"v2", "対数正規分布", "-1", "1"}; },
             "変数[v2]の対数正規分布の中心値（平均）は0より大きくして下さい。", 1},
            {"spread of a new path", [](Project& p) { p.monteCarlo.sampledVariables[2].spread = "0"; p.sampling.method = "Sobol"; },
             "変数[v3]の正規分布の標準偏差は0より大きくして下さい。", 2},
            // Plain draws of the old distributions accept what they always did.
            {"spread of plain draws", [](Project& p) { p.monteCarlo.sampledVariables[2].spread = "0"; }, "", -1},
            {"correlation out of range", [](Project& p) { p.sampling.correlations = {{"v1", "v2", "1.5"}}; },
             "相関[v1,v2]の順位相関係数は -1 より大きく 1 より小さい値にして下さい: \"1.5\"", -1},
            {"not sampled", [](Project& p) { p.sampling.correlations = {{"v1", "v4", "0.5"}}; },
             "相関[v1,v4]の変数[v4]はサンプリングする変数ではありません。", -1},
            {"not positive definite",
             [](Project& p) { p.sampling.correlations = {{"v1", "v2", "0.9"}, {"v1", "v3", "0.9"}, {"v2", "v3", "-0.9"}}; },
             "相関[v2,v3]で相関係数の組合せに矛盾があります（相関行列が正定値になりません）。", -1},
            {"precision", [](Project& p) { p.sampling.hasPrecision = true; p.sampling.precision = {"out", "0", ""}; },
             "精度目標[out]の相対精度は 0 より大きい値にして下さい: \"0\"", -1},
            {"unknown method", [](Project& p) { p.sampling.method = "Halton"; },
             "サンプリング方法[Halton]は使えません。MonteCarlo, LHS, Sobol, Saltelli のどれかにして下さい。", -1},
            // Saltelli: three inputs make groups of five after the first calculation.
            {"saltelli, one whole group", [](Project& p) { p.sampling.method = "Saltelli"; p.monteCarlo.numOfCalc = "6"; },
             "", -1},
            {"saltelli, too few", [](Project& p) { p.sampling.method = "Saltelli"; p.monteCarlo.numOfCalc = "5"; },
             "計算回数[5]はSaltelliには足りません。サンプリングする変数が3個のとき、初期値の1回と1組 (A, B "
             "と変数ごとのAB の5回) で6回以上にして下さい。",
             -1},
            {"saltelli, correlated",
             [](Project& p) { p.sampling.method = "Saltelli"; p.sampling.correlations = {{"v1", "v2", "0.5"}}; },
             "相関[v1,v2]はSaltelliでは使えません (Sobol'感度指数は入力が互いに独立であることを前提とします)。", -1},
            {"saltelli, precision",
             [](Project& p) {
                 p.sampling.method = "Saltelli";
                 p.sampling.hasPrecision = true;
                 p.sampling.precision = {"out", "0.01", ""};
             },
             "精度目標[out]はSaltelliでは使えません (途中で止めると A, B, AB の組が欠けて感度指数を求められません)。", -1},
            {"saltelli, nothing sampled",
             [](Project& p) { p.sampling.method = "Saltelli"; p.monteCarlo.sampledVariables.clear(); },
             "サンプリング方法[Saltelli]にはサンプリングする変数が必要です。変数にチェックを付けて分布型を選んで下さい。", -1},
        };
        for (const Case& c : cases) {
            Fixture f;
            Project p = Inputs(4);
            p.outputTasks = {{"out", "C1", "s", "", "0", ""}};
            p.monteCarlo.sampledVariables = {{"v1", "正規分布", "1", "1"}, {"v2", "一様分布", "1", "1"},
                                             {"v3", "正規分布", "1", "1"}};
            c.change(p);
            SetWorkingCopy(f, ProjectLines(p));
            const std::string before = WorkingCopyBytes(f);
            SamplingSettingForm w(*f.window);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            Click(&w, "OKCommand");
            if (c.message.empty()) {
                VERIFY_NO_MESSAGE(f.ui);
                QCOMPARE(WorkingCopyBytes(f), before);
                continue;
            }
            QVERIFY2(f.ui.messages == std::vector<std::string>{c.message},
                     (std::string(c.what) + ": " + (f.ui.messages.empty() ? "" : f.ui.messages.back())).c_str());
            QVERIFY(w.isVisible());
            QCOMPARE(WorkingCopyBytes(f), before);
            if (c.row >= 0) QCOMPARE(w.grid()->editRow(), c.row);
        }
    }

    void orthogonalMiddleValuesAndTablePreview() {
        Fixture f;
        CopyArrays(f.app.path());
        Project p = Inputs(128);
        p.orthogonalTable = {"2水準", "0", {{"v2", "1", "1.5", "2"}}};
        SetWorkingCopy(f, ProjectLines(p));
        OrthogonalTableForm w(*f.window);
        w.show();
        SettingsGrid* grid = w.grid();
        auto* level = Find<QComboBox>(&w, "Level_Combo");
        auto* table = Find<QTableWidget>(&w, "TableGrid1");
        QCOMPARE(level->currentText(), QStringLiteral("2水準"));
        QCOMPARE(grid->item(1, 3)->background().color(), QColor(0xC0, 0xC0, 0xC0));
        ClickCell(grid, 0, 3);  // the middle value follows, it is not typed
        QVERIFY(!grid->valText()->isVisible());

        QTest::mouseClick(grid->tickBox(0), Qt::LeftButton);
        EnterCell(grid, 0, 2, "-1");
        QCOMPARE(grid->text(0, 3), QString());  // one value alone gives no middle
        EnterCell(grid, 0, 4, "2");
        QCOMPARE(grid->text(0, 3), QStringLiteral("0.5"));
        QCOMPARE(grid->item(0, 3)->background().color(), QColor(0xC0, 0xC0, 0xC0));

        Click(&w, "Make_TableCommand");
        QCOMPARE(table->rowCount(), 4);
        QCOMPARE(table->columnCount(), 3);
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("<L4>"));
        QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("v2"));
        QCOMPARE(GridColumn(table, 0), (QStringList{"1", "2", "3", "4"}));
        const QMap<QString, QColor> colours{{"L", QColor(0xFF, 0xFF, 0xC0)}, {"H", QColor(0xFF, 0xC0, 0xFF)}};
        for (int r = 0; r < 4; ++r)
            for (int c = 1; c <= 2; ++c)
                QCOMPARE(table->item(r, c)->background().color(), colours.value(table->item(r, c)->text()));
        // A new level clears the preview; three levels have a middle "M".
        level->setCurrentText("3水準");
        QCOMPARE(table->columnCount(), 2);
        QCOMPARE(table->rowCount(), 1);
        QTest::mouseClick(grid->tickBox(1), Qt::LeftButton);  // v2 no longer a factor
        Click(&w, "Make_TableCommand");
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(GridColumn(table, 1), (QStringList{"L", "M", "H"}));
        QCOMPARE(table->item(1, 1)->background().color(), QColor(0xC0, 0xC0, 0xFF));

        // 127 factors at two levels make L128; 128 are refused.
        level->setCurrentText("2水準");
        for (int r = 1; r < 127; ++r) grid->setTicked(r, true);
        Click(&w, "Make_TableCommand");
        QCOMPARE(table->rowCount(), 128);
        QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("<L128>"));
        grid->setTicked(127, true);
        Click(&w, "Make_TableCommand");
        QCOMPARE(f.ui.messages.back(), std::string("2水準での因子数は最大127個までです。"));
        // OK refuses them too, naming the factor the array has no column for: a
        // run would leave it at its initial value.
        for (int r = 1; r < 128; ++r) {
            grid->setText(r, 2, "1");
            grid->setText(r, 4, "2");
        }
        const std::string before = WorkingCopyBytes(f);
        Click(&w, "OKCommand");
        QCOMPARE(f.ui.messages.back(),
                 std::string("2水準での因子数は最大127個までです。\n直交表の列に割り付けられない因子 (1個): v128"));
        QVERIFY(w.isVisible());
        QCOMPARE(WorkingCopyBytes(f), before);
        for (int r = 1; r < 128; ++r) {
            grid->setTicked(r, false);
            grid->setText(r, 2, "");
            grid->setText(r, 4, "");
        }

        Find<QCheckBox>(&w, "Check1")->setChecked(true);
        f.ui.answers = {true};
        Click(&w, "OKCommand");
        p.orthogonalTable = {"2水準", "1", {{"v1", "-1", "0.5", "2"}}};
        QCOMPARE(WorkingCopyBytes(f), Cp932Lines(ProjectLines(p)));
    }

    void dataFilePreviewAutoAndAssignments() {
        Fixture f;
        Project p = Inputs(2);
        p.dataFileInput.readParams = {{"7", "v2"}};  // a column beyond the file
        SetWorkingCopy(f, ProjectLines(p));
        std::vector<std::string> data{"荷重,長さ,備考"};
        for (int i = 1; i <= 30; ++i) data.push_back(std::to_string(i) + "," + std::to_string(i * 2) + ",x");
        WriteBytes(f.app.file("data.csv"), Cp932Lines(data));
        const std::string before = WorkingCopyBytes(f);

        DbInputCalForm w(*f.window);
        w.show();
        SettingsGrid* grid = w.grid();
        QCOMPARE(grid->text(0, 0), QStringLiteral("割当変数"));
        QCOMPARE(grid->columnCount(), 9);
        QCOMPARE(grid->text(0, 8), QStringLiteral("v2"));
        QCOMPARE(Find<QLineEdit>(&w, "ReadRow_Text")->text(), QStringLiteral("2"));

        // The file chosen in the dialog is kept relative to the application
        // folder; 26 lines are shown, with the message.
        f.ui.files = {f.app.file("data.csv")};
        Click(&w, "DB_Brws_Button");
        QCOMPARE(f.ui.dialogs.back().title, std::string("データファイルを選択"));
        QCOMPARE(Find<QLineEdit>(&w, "DF_Brws_Text")->text(), QStringLiteral("\\data.csv"));
        QCOMPARE(grid->rowCount(), 27);
        QCOMPARE(grid->text(26, 0), QStringLiteral("26"));
        QCOMPARE(grid->text(1, 1), QStringLiteral("荷重"));
        QCOMPARE(f.ui.messages.back(), std::string("25行以上のデータは高速化のため、表示されません。"));

        // Auto: the inputs in order take the data columns, and the first
        // numeric line becomes the read row.
        auto* readRow = Find<QLineEdit>(&w, "ReadRow_Text");
        readRow->setText("9");
        Click(&w, "Auto_Command");
        QCOMPARE(GridColumn(grid, 1).first(), QStringLiteral("v1"));
        QCOMPARE(grid->text(0, 2), QStringLiteral("v2"));
        QCOMPARE(grid->text(0, 3), QString());
        QCOMPARE(readRow->text(), QStringLiteral("2"));
        // The chooser over row 0: the empty item clears an assignment.
        auto* chooser = Find<QComboBox>(&w, "Param_Combo");
        QCOMPARE(chooser->count(), 3);
        ClickCell(grid, 1, 3);
        QVERIFY(!chooser->isVisible());
        ClickCell(grid, 0, 3);
        QVERIFY(chooser->isVisible());
        emit chooser->activated(2);
        ClickCell(grid, 0, 1);
        QCOMPARE(chooser->currentText(), QStringLiteral("v1"));
        emit chooser->activated(0);
        readRow->setText("3.5");
        QCOMPARE(readRow->text(), QStringLiteral("35"));

        {
            Click(&w, "CancelCommand");
            QCOMPARE(WorkingCopyBytes(f), before);
        }
        Click(&w, "OKCommand");
        p.dataFileInput = {"\\data.csv", "35", "0", {{"1", "v2"}, {"2", "v2"}}};
        QCOMPARE(WorkingCopyBytes(f), Cp932Lines(ProjectLines(p)));

        // A shorter file: every line, no message; a missing one is reported.
        WriteBytes(f.app.file("short.csv"), Cp932Lines(std::vector<std::string>(data.begin(), data.begin() + 20)));
        const std::size_t messages = f.ui.messages.size();
        Find<QLineEdit>(&w, "DF_Brws_Text")->setText("\\short.csv");
        w.loadPreview();
        QCOMPARE(grid->rowCount(), 21);
        QCOMPARE(f.ui.messages.size(), messages);
        Find<QLineEdit>(&w, "DF_Brws_Text")->setText("\\gone.csv");
        w.loadPreview();
        QCOMPARE(f.ui.messages.back(), std::string("データファイルのアドレスを確認して下さい。"));
    }
};

QTEST_MAIN(SettingsWindowsTest)
#include "SettingsWindows_test.moc"

// The input-task editor, the exe settings window and the replace editor,
// opened from the main window's grids and driven by their object names; the
// working copy's bytes after OK, Delete and Cancel.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>

#include "app/AppTestSupport.h"
#include "ui/SettingsGrid.h"
#include "app/WindowRegistry.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "workbook/windows/ExeSettingForm.h"
#include "workbook/windows/ReplaceForm.h"
#include "workbook/windows/WriteForm.h"

using namespace korvane;
using namespace korvane::test;

namespace {

Project Sample(const std::string& workbook) {
    Project p;
    p.excelFileName = workbook;
    p.inputTasks = {{"荷重", "B2", "モデル", "0", "1000", "2000", "Round", "3"},
                    {"材質", "B4", "モデル", "", "1", "", "Replace", "Text"}};
    p.replaceTasks = {{"材質", "0=鋼,1=アルミ"}};
    p.outputTasks = {{"たわみ", "D2", "結果", "", "0", "0.01"}};
    p.shellTasks = {{"/opt/t/first.sh", "0", ""}};
    p.monteCarlo.sampledVariables = {{"荷重", "正規分布", "1000", "50"}};
    return p;
}

WindowRequest Request(const std::string& editTarget, const std::vector<std::string>& row, int gridRow) {
    WindowRequest r;
    r.editTarget = editTarget;
    r.row = row;
    r.gridRow = gridRow;
    return r;
}

// A main window over a project whose workbook exists.
struct Opened {
    Fixture f;
    Project project;
    explicit Opened() : project(Sample("\\m.xlsx")) {
        WriteBytes(f.app.file("m.xlsx"), "x");
        WriteProject(f.app.file("p.tolv"), ProjectLines(project));
        f.window->openProjectPath(f.app.file("p.tolv"));
        f.window->show();
    }
    static std::string expected(const Project& p) { return Cp932Lines(ProjectLines(p)); }
};

}  // namespace

class TaskEditorsTest : public QObject {
    Q_OBJECT
private slots:
    void newInputFromTheGridsEmptyRowAndItsChecks() {
        Opened o;
        Fixture& f = o.f;
        const std::string before = WorkingCopyBytes(f);
        bool seen = false;
        ModalWatcher watcher([&](QWidget* w) {
            if (w->objectName() != QLatin1String("WriteForm")) return;
            seen = true;
            QVERIFY(!Find<QPushButton>(w, "DeleteCommand")->isEnabled());
            QVERIFY(Find<QGroupBox>(w, "Format_Frame")->isVisible());
            QCOMPARE(Find<QComboBox>(w, "Round_Combo")->currentText(), QStringLiteral("6"));
            QCOMPARE(Find<QComboBox>(w, "Format_Combo")->currentText(), QStringLiteral("#.######"));
            // Option1 enables the digits only; Option3 neither combo.
            QVERIFY(!Find<QComboBox>(w, "Format_Combo")->isEnabled());
            QTest::mouseClick(Find<QRadioButton>(w, "Option3"), Qt::LeftButton);
            QVERIFY(!Find<QComboBox>(w, "Round_Combo")->isEnabled());
            Find<QRadioButton>(w, "Option2")->setChecked(true);
            QVERIFY(Find<QComboBox>(w, "Format_Combo")->isEnabled());

            // Nothing filled in, then a name with a comma: refused, still open.
            Click(w, "OKCommand");
            QCOMPARE(f.ui.messages.back(), std::string("入力に誤りがあります。"));
            auto* name = Find<QComboBox>(w, "VariableNMCombo");
            name->setEditText("長さ,m");
            Find<QComboBox>(w, "SheetCombo")->setEditText("寸法");
            Find<QLineEdit>(w, "RangeText")->setText("$c$7");
            Click(w, "OKCommand");
            QCOMPARE(f.ui.messages.back(), std::string(kTaskCommaMessage));
            QVERIFY(w->isVisible());
            QCOMPARE(WorkingCopyBytes(f), before);
            // A character the file cannot store, and a cell beyond the sheet:
            // each message names its field.
            name->setEditText("長さ😀");
            Click(w, "OKCommand");
            QVERIFY2(f.ui.messages.back().rfind("変数名に Shift_JIS で保存できない文字「😀」", 0) == 0,
                     f.ui.messages.back().c_str());
            name->setEditText("長さ");
            Find<QLineEdit>(w, "RangeText")->setText("XFE1");
            Click(w, "OKCommand");
            QVERIFY2(f.ui.messages.back().find("セル番地 XFE1 はシートの範囲外です") != std::string::npos,
                     f.ui.messages.back().c_str());
            QVERIFY(w->isVisible());
            QCOMPARE(WorkingCopyBytes(f), before);
            Find<QLineEdit>(w, "RangeText")->setText("$c$7");

            // The name list offers the names used so far, each once.
            name->showPopup();
            QCOMPARE(name->count(), 2);
            name->hidePopup();
            name->setEditText("長さ");
            Find<QComboBox>(w, "Format_Combo")->setEditText("0.0##");  // typed, not from the list
            Click(w, "OKCommand");
        });
        emit f.find<QTableWidget>("Inp_CellsGrid")->cellDoubleClicked(2, 0);  // the empty row
        QVERIFY(seen);
        Project expected = o.project;
        expected.inputTasks.push_back({"長さ", "C7", "寸法", "", "0", "", "Format", "0.0##"});
        QCOMPARE(WorkingCopyBytes(f), o.expected(expected));
        // The grid shows the new row at once, with a new empty row after it.
        QCOMPARE(GridColumn(f.find<QTableWidget>("Inp_CellsGrid"), 3),
                 (QStringList{"Round,3", "Replace,Text", "Format,0.0##", ""}));
    }

    void editingKeepsTheNameAndDeleteTakesTheVariablesSettings() {
        Opened o;
        Fixture& f = o.f;
        WindowRequest request = Request("Inp", {"荷重", "B2", "モデル", "Round,3"}, 0);
        const std::string before = WorkingCopyBytes(f);
        {
            WriteForm w(*f.window, request);
            w.show();
            QVERIFY(!Find<QComboBox>(&w, "VariableNMCombo")->isEnabled());
            QVERIFY(!Find<QPushButton>(&w, "VarName_Pick_Command")->isEnabled());
            QVERIFY(Find<QRadioButton>(&w, "Option1")->isChecked());
            QCOMPARE(Find<QComboBox>(&w, "Round_Combo")->currentText(), QStringLiteral("3"));
            // Not a number: the message, and the count goes back to 6.
            Find<QComboBox>(&w, "Round_Combo")->setEditText("3x");
            QCOMPARE(f.ui.messages.back(), std::string("数値以外の文字は入力できません。"));
            QCOMPARE(Find<QComboBox>(&w, "Round_Combo")->currentText(), QStringLiteral("6"));
            Click(&w, "CancelCommand");
        }
        QCOMPARE(WorkingCopyBytes(f), before);
        {
            WriteForm w(*f.window, request);
            w.show();
            Find<QLineEdit>(&w, "RangeText")->setText("B12");
            Find<QRadioButton>(&w, "Option3")->setChecked(true);
            Click(&w, "OKCommand");
        }
        Project expected = o.project;
        expected.inputTasks[0] = {"荷重", "B12", "モデル", "0", "1000", "2000", "Replace", "Text"};
        QCOMPARE(WorkingCopyBytes(f), o.expected(expected));

        // Delete: the row and the variable's Monte Carlo row go.
        request.row = {"荷重", "B12", "モデル", "Replace,Text"};
        WriteForm w(*f.window, request);
        w.show();
        Click(&w, "DeleteCommand");
        QCOMPARE(w.result(), int(QDialog::Accepted));
        expected.inputTasks.erase(expected.inputTasks.begin());
        expected.monteCarlo.sampledVariables.clear();
        QCOMPARE(WorkingCopyBytes(f), o.expected(expected));
    }

    void outputsHaveNoFormatAndPicksSayWhyWithoutADisplay() {
        Opened o;
        Fixture& f = o.f;
        const QByteArray display = qgetenv("DISPLAY");
        qunsetenv("DISPLAY");
        qunsetenv("WAYLAND_DISPLAY");
        WriteForm w(*f.window, Request("Out", {"たわみ", "D2", "結果"}, 0));
        w.show();
        QVERIFY(!Find<QGroupBox>(&w, "Format_Frame")->isVisible());
        auto* pick = Find<QPushButton>(&w, "Cell_Pick_Command");
        QVERIFY(pick->toolTip().contains("DISPLAY"));
        QTest::mouseClick(pick, Qt::LeftButton);
        QVERIFY(QString::fromStdString(f.ui.messages.back()).contains("DISPLAY"));
        QCOMPARE(Find<QLineEdit>(&w, "RangeText")->text(), QStringLiteral("D2"));
        Find<QComboBox>(&w, "SheetCombo")->setEditText("結果2");
        Click(&w, "OKCommand");
        if (!display.isEmpty()) qputenv("DISPLAY", display);
        Project expected = o.project;
        expected.outputTasks[0].sheet = "結果2";
        QCOMPARE(WorkingCopyBytes(f), o.expected(expected));
        f.find<QTabBar>("TabStrip1")->setCurrentIndex(3);
        QCOMPARE(GridColumn(f.find<QTableWidget>("Out_CellsGrid"), 2), (QStringList{"結果2", ""}));
    }

    void exeProgramsAddedChangedAndDeletedThroughTheFlow() {
        Opened o;
        Fixture& f = o.f;
        f.find<QTabBar>("TabStrip1")->setCurrentIndex(4);
        WriteBytes(f.app.file("post.sh"), "#!/bin/sh\n");
        int step = 0;
        ModalWatcher watcher([&](QWidget* w) {
            if (w->objectName() != QLatin1String("Exe_Setting_Form")) return;
            ++step;
            auto* path = Find<QLineEdit>(w, "Exe_Brws_Text");
            if (step == 1) {
                // Added: a missing program is refused, then one inside the
                // application folder is stored relative to it.
                QVERIFY(!Find<QPushButton>(w, "DeleteCommand")->isEnabled());
                path->setText("/no/such/program");
                Click(w, "OKCommand");
                QCOMPARE(f.ui.messages.back(), std::string("実行ファイルのアドレスを確認して下さい。"));
                f.ui.files = {f.app.file("post.sh")};
                Click(w, "Exe_Brws_Button");
                QCOMPARE(f.ui.dialogs.back().title, std::string("実行ファイルを選択"));
                QCOMPARE(path->text(), QStringLiteral("\\post.sh"));
                QCOMPARE(path->toolTip(), QStringLiteral("\\post.sh"));
                Find<QLineEdit>(w, "CmmdText")->setText("[荷重] --out");
                Click(w, "OKCommand");
            } else {
                QCOMPARE(path->text(), QStringLiteral("\\post.sh"));
                QCOMPARE(Find<QLineEdit>(w, "CmmdText")->text(), QStringLiteral("[荷重] --out"));
                Click(w, "DeleteCommand");
            }
        });
        Click(f.window.get(), "Add_exe_Command");
        QCOMPARE(step, 1);
        Project expected = o.project;
        expected.shellTasks.push_back({"\\post.sh", "6", "[荷重] --out"});
        QCOMPARE(WorkingCopyBytes(f), o.expected(expected));
        auto* grid = f.find<QTableWidget>("Exe_CellsGrid");
        QCOMPARE(GridColumn(grid, 0).last(), QStringLiteral("post.sh"));
        QCOMPARE(grid->currentRow(), grid->rowCount() - 1);

        emit grid->cellDoubleClicked(grid->rowCount() - 1, 0);
        QCOMPARE(step, 2);
        QCOMPARE(WorkingCopyBytes(f), o.expected(o.project));

        // Opened on the row of "<マクロ実行>" in new mode: the program runs
        // after the inputs are written, before the macros (timing 3).
        // first.sh, then the markers: row 4 is "<マクロ実行>".
        ExeSettingForm w(*f.window, Request("", {}, 4));
        w.show();
        Find<QLineEdit>(&w, "Exe_Brws_Text")->setText(Q(f.app.file("post.sh")));
        Click(&w, "OKCommand");
        expected = o.project;
        expected.shellTasks.push_back({"\\post.sh", "3", ""});
        QCOMPARE(WorkingCopyBytes(f), o.expected(expected));
    }

    void replaceListKeepsOneFreeRowAndAsksAboutEmptyTexts() {
        Opened o;
        Fixture& f = o.f;
        f.find<QTabBar>("TabStrip1")->setCurrentIndex(1);
        auto* replaceGrid = f.find<QTableWidget>("Replace_CellsGrid");
        QCOMPARE(GridColumn(replaceGrid, 0), QStringList{"材質"});
        const std::string before = WorkingCopyBytes(f);

        const WindowRequest request = Request("", {"材質", "0=鋼,1=アルミ"}, 0);
        ReplaceForm w(*f.window, request);
        w.show();
        SettingsGrid* grid = w.grid();
        QCOMPARE(GridColumn(grid, 0), (QStringList{"0", "1", ""}));
        QCOMPARE(GridColumn(grid, 1), (QStringList{"鋼", "アルミ", ""}));
        ClickCell(grid, 0, 0);
        QVERIFY(!grid->valText()->isVisible());  // the numbers are not edited

        auto enter = [&](int row, const char* text) {
            ClickCell(grid, row, 1);
            grid->valText()->clear();
            grid->valText()->insert(QString::fromUtf8(text));  // typed (the key events take ASCII only)
            QTest::keyClick(grid->valText(), Qt::Key_Return);
        };
        enter(2, "樹脂");  // the free row: numbered, and a new free row
        QCOMPARE(GridColumn(grid, 0), (QStringList{"0", "1", "2", ""}));
        enter(1, "");  // emptied: still entry 1
        QCOMPARE(grid->rowCount(), 4);
        enter(3, "");  // nothing typed into the free row: it stays the only one
        QCOMPARE(grid->rowCount(), 4);

        // An empty text is stored only when the user says so.
        f.ui.answers = {false};
        Click(&w, "OKCommand");
        QCOMPARE(f.ui.questions.back(), std::string("1に対する置換文字列が空白です。ここまま保存しますか？"));
        QVERIFY(w.isVisible());
        QCOMPARE(grid->currentRow(), 1);
        QCOMPARE(WorkingCopyBytes(f), before);
        f.ui.answers = {true};
        Click(&w, "OKCommand");
        Project expected = o.project;
        expected.replaceTasks[0].replaceList = "0=鋼,1=,2=樹脂";
        QCOMPARE(WorkingCopyBytes(f), o.expected(expected));
        QCOMPARE(GridColumn(replaceGrid, 1), QStringList{"0=鋼,1=,2=樹脂"});

        // A comma would split the entry when the list is read again.
        ReplaceForm again(*f.window, request);
        again.show();
        ClickCell(again.grid(), 0, 1);
        QTest::keyClicks(again.grid()->valText(), "a,b");
        QTest::keyClick(again.grid()->valText(), Qt::Key_Return);
        Click(&again, "OKCommand");
        QCOMPARE(f.ui.messages.back(), std::string(kReplaceCommaMessage));
        again.grid()->setText(0, 1, QStringLiteral("강철"));
        Click(&again, "OKCommand");
        QVERIFY2(f.ui.messages.back().rfind("元値 0 の置換文字列に Shift_JIS で保存できない文字「강」", 0) == 0,
                 f.ui.messages.back().c_str());
        Click(&again, "CancelCommand");
        QCOMPARE(WorkingCopyBytes(f), o.expected(expected));
    }
};

QTEST_MAIN(TaskEditorsTest)
#include "TaskEditors_test.moc"

// The settings windows of the three plans, driven by their object names:
// the checks and messages in order, the seed frame, the table preview with
// its colours and corner, the data-file preview and "Auto", more than 63
// variables, and the working copy's bytes after OK and after Cancel.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <filesystem>

#include "app/AppTestSupport.h"
#include "ui/SettingsGrid.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "run/windows/DbInputCalForm.h"
#include "run/windows/OrthogonalTableForm.h"
#include "run/windows/SamplingSettingForm.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// `count` input variables v1, v2, ...; v1 is also written into a second cell.
Project Inputs(int count) {
    Project p;
    for (int i = 1; i <= count; ++i)
        p.inputTasks.push_back({"v" + std::to_string(i), "A" + std::to_string(i), "s", "", "0", "", "Round", "6"});
    p.inputTasks.push_back({"v1", "B1", "s", "", "0", "", "Round", "6"});
    return p;
}

void Enter(SettingsGrid* grid, int row, int column, const char* text) {
    ClickCell(grid, row, column);
    QVERIFY(grid->valText()->isVisible());
    grid->valText()->clear();
    QTest::keyClicks(grid->valText(), text);
    QTest::keyClick(grid->valText(), Qt::Key_Return);
}

void CopyArrays(const std::string& to) {
    const std::string built = (QCoreApplication::applicationDirPath() + "/../app/").toStdString();
    for (const char* name : {"OT_L128-2-127.dat", "OT_L108-3-49.dat"})
        std::filesystem::copy_file(built + name, to + "/" + name);
}

}  // namespace

class PlanSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void monteCarloChecksSeedAndMoreThan63Variables();
    void orthogonalMiddleValuesAndTablePreview();
    void dataFilePreviewAutoAndAssignments();
};

void PlanSettingsTest::monteCarloChecksSeedAndMoreThan63Variables() {
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
    QCOMPARE(grid->findChildren<QCheckBox*>("Checkbox").size(), 70);
    QCOMPARE(grid->tickBox(69)->property("index").toInt(), 70);
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
    Enter(grid, 69, 3, "5");

    // The checks, in order, each leaving the window open.
    Click(&w, "OKCommand");
    QCOMPARE(f.ui.messages.back(), std::string("変数[v70]の標準偏差が選択されていません。"));
    Enter(grid, 69, 4, "1");
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

void PlanSettingsTest::orthogonalMiddleValuesAndTablePreview() {
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
    Enter(grid, 0, 2, "-1");
    QCOMPARE(grid->text(0, 3), QString());  // one value alone gives no middle
    Enter(grid, 0, 4, "2");
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

void PlanSettingsTest::dataFilePreviewAutoAndAssignments() {
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

QTEST_MAIN(PlanSettingsTest)
#include "PlanSettings_test.moc"

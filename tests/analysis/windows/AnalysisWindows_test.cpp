// The analysis windows on real DB files, driven by their object names: the
// statistics window from the main window's command with its save and
// histogram, a stop during a pass, the sensitivity window's objective choice
// and total column, the effects window's tabs and factor choice, and the X/Y
// graphs with their axis-end edit and hidden or coloured invalid lines, and
// the Sobol' window on a design and on a plain sample, with its pictures,
// its refusal of too small a file and its stop.
#include <QAction>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>

#include "app/AppTestSupport.h"
#include "analysis/windows/EffectsWindow.h"
#include "analysis/windows/GraphWindows.h"
#include "analysis/windows/HistogramWindow.h"
#include "ui/PictureArea.h"
#include "analysis/windows/SensitivityWindow.h"
#include "analysis/windows/SobolWindow.h"
#include "analysis/windows/StatisticsWindow.h"

using namespace korvane;
using namespace korvane::test;

namespace {

std::string WriteDb(const TempDir& dir, const std::string& name, const std::vector<std::string>& lines) {
    WriteBytes(dir.file(name), Cp932Lines(lines));
    return dir.file(name);
}

// x: 1, 2, 3 valid, 10 invalid; y = 2x.
const std::vector<std::string> kSmall = {"Count,x,y,Validity(制限判定)", "-,[Input],[Output],[System]",
                                         "1,1,2,True", "2,2,4,True", "3,3,6,True", "4,10,20,False"};

// a and b orthogonal; p = 3a - 2b, q constant (see the core tests).
const std::vector<std::string> kSens = {"Count,a,b,p,q,Validity(制限判定)", "-,[Input],[Input],[Output],[Output],[System]",
                                        "1,1,0,3,5,True", "2,2,1,4,5,True", "3,3,1,7,5,True", "4,4,0,12,5,True"};

std::vector<std::string> BigDb(int lines) {
    std::vector<std::string> db = {kSmall[0], kSmall[1]};
    for (int i = 1; i <= lines; ++i) db.push_back(std::to_string(i) + "," + std::to_string(i % 97) + ",1,True");
    return db;
}

// A number as a DB file holds it; the same value gives the same text.
std::string Num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", v);
    return text;
}

// A Saltelli design of y = 4 x1 + 2 x2 + x3 (inputs uniform on 0..1, so
// S1 = ST = 16/21, 4/21, 1/21) with an input c and an output q that never
// vary: the initial line, then groups A, B, AB(x3), AB(x1), AB(x2) (the
// varying inputs in file order).
std::vector<std::string> DesignDb(int groups) {
    std::vector<std::string> db = {"Count,x3,c,x1,x2,y,q,Validity(制限判定)",
                                   "-,[Input],[Input],[Input],[Input],[Output],[Output],[System]"};
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> u(0, 1);
    int count = 0;
    auto line = [&](const std::array<double, 3>& x) {  // x3, x1, x2
        db.push_back(std::to_string(++count) + "," + Num(x[0]) + ",5," + Num(x[1]) + "," + Num(x[2]) + "," +
                     Num(4 * x[1] + 2 * x[2] + x[0]) + ",7,True");
    };
    line({0.5, 0.5, 0.5});
    for (int g = 0; g < groups; ++g) {
        const std::array<double, 3> a{u(random), u(random), u(random)}, b{u(random), u(random), u(random)};
        line(a);
        line(b);
        for (int i = 0; i < 3; ++i) {
            std::array<double, 3> ab = a;
            ab[i] = b[i];
            line(ab);
        }
    }
    return db;
}

// A plain random sample of y = 3 a + b (S1 9/10 and 1/10).
std::vector<std::string> PlainDb(int lines) {
    std::vector<std::string> db = {"Count,b,a,y,Validity(制限判定)", "-,[Input],[Input],[Output],[System]"};
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> u(0, 1);
    for (int i = 1; i <= lines; ++i) {
        const double a = u(random), b = u(random);
        db.push_back(std::to_string(i) + "," + Num(b) + "," + Num(a) + "," + Num(3 * a + b) + ",True");
    }
    return db;
}

double CellValue(const QTableWidget* grid, int row, int column) { return CellText(grid, row, column).toDouble(); }

}  // namespace

class AnalysisWindowsTest : public QObject {
    Q_OBJECT

private slots:
    void statisticsFromTheMainWindowSaveAndHistogram() {
        Fixture f;
        std::vector<std::string> lines = kSmall;
        lines.push_back("5,7");  // cut short: skipped, and the window says so
        const std::string db = WriteDb(f.app, "run.csv", lines);
        f.ui.files = {db};
        f.ui.answers = {true};  // Yes: leave the invalid line out
        f.window->findChild<QAction*>("Stdev_Ave_etc")->trigger();
        auto* stats = Find<StatisticsWindow>(f.window.get(), "Stdev_Form");
        auto* close = Find<QPushButton>(stats, "CloseCommand");
        QTRY_VERIFY(close->isEnabled());
        QVERIFY(!Find<QPushButton>(stats, "Command2")->isEnabled());
        auto* grid = Find<QTableWidget>(stats, "CellsGrid");
        QCOMPARE(CellText(grid, 1, 0), QStringLiteral("y"));
        QCOMPARE(CellText(grid, 1, 4), QStringLiteral("2.667e+0"));
        QCOMPARE(Find<QLabel>(stats, "Data_fig_Label")->text(), QStringLiteral("3"));
        QCOMPARE(f.ui.messages, (std::vector<std::string>{"見出しと列数が合わない 1 行は解析から除きました。",
                                                           "データ数が100個以下のため、精度が悪い可能性があります。"}));

        // Saved as displayed.
        f.ui.files = {f.app.file("stats.csv")};
        Find<QMenu>(stats, "DummyMenu")->findChild<QAction*>("Save_Result")->trigger();
        QCOMPARE(f.ui.dialogs.back().title, std::string("結果保存先を選択"));
        QCOMPARE(ReadBytes(f.app.file("stats.csv")),
                 Cp932Lines({",最小,平均,最大,分散,標準偏差", "x,1.000e+0,2.000e+0,3.000e+0,6.667e-1,8.165e-1",
                             "y,2.000e+0,4.000e+0,6.000e+0,2.667e+0,1.633e+0"}));

        // The histogram of the selected row, counted with the same filter:
        // 2, 4, 6 in 25 bins of width 0.16.
        grid->setCurrentCell(1, 0);
        Find<QMenu>(stats, "DummyMenu")->findChild<QAction*>("Histogram_Menu")->trigger();
        QPointer<HistogramWindow> first = stats->histogram();
        QVERIFY(first);
        QTRY_VERIFY(!first->counting() && first->result().complete);
        QCOMPARE(Find<QLabel>(first, "Item_Name_Label")->text(), QStringLiteral("y"));
        QCOMPARE(Find<QLabel>(first, "X_Label_L")->text(), QStringLiteral("2.000e+0"));
        QCOMPARE(Find<QLabel>(first, "X_Label_U")->text(), QStringLiteral("6.000e+0"));
        QCOMPARE(Find<QLabel>(first, "Y_Label")->text(), QStringLiteral("1"));
        QCOMPARE(Find<QLabel>(first, "Ave_Label")->text(), QStringLiteral("Ave：4.000e+0"));
        const auto& bins = first->result().bins;
        QCOMPARE(bins[0], std::int64_t(1));
        QCOMPARE(bins[12], std::int64_t(1));  // 4: (4 - 2) / 0.16 = 12.5
        QCOMPARE(bins[24], std::int64_t(1));
        // Three bars and the mean line.
        QCOMPARE(first->picture()->itemCount(), std::size_t(4));
        // The picture names its column and carries its figures when saved
        // (the saved labels themselves: PictureArea_test).
        const auto& labels = first->picture()->exportLabels();
        QCOMPARE(labels.title, QStringLiteral("ヒストグラム: y"));
        QCOMPARE(labels.xLow, QStringLiteral("2.000e+0"));
        QCOMPARE(labels.xHigh, QStringLiteral("6.000e+0"));
        QCOMPARE(labels.yHigh, QStringLiteral("1"));
        QCOMPARE(labels.notes.value(0), QStringLiteral("最小 2.000e+0    平均 4.000e+0    最大 6.000e+0"));
        if (const char* keep = std::getenv("KORVANE_KEEP_PICTURES"))
            first->picture()->savePng(QString::fromUtf8(keep) + QStringLiteral("/histogram.png"));
        // Opened again: the first window goes.
        Find<QMenu>(stats, "DummyMenu")->findChild<QAction*>("Histogram_Menu")->trigger();
        QTRY_VERIFY(!first);
        QVERIFY(stats->histogram());
    }

    void stopDuringAPassAndCloseWhileComputing() {
        TempDir dir;
        ScriptedUi ui;
        const std::string db = WriteDb(dir, "big.csv", BigDb(60000));
        auto* stats = new StatisticsWindow(ui, db, false);
        // Stopped as soon as the progress bar first moves, within the pass.
        auto* bar = Find<QProgressBar>(stats, "ProgressBar1");
        QObject::connect(bar, &QProgressBar::valueChanged, stats, [stats](int value) {
            if (value > 0 && stats->computing())
                QTest::mouseClick(Find<QPushButton>(stats, "Command2"), Qt::LeftButton);
        });
        stats->show();
        QTRY_VERIFY(!stats->computing() && Find<QPushButton>(stats, "CloseCommand")->isEnabled());
        auto* grid = Find<QTableWidget>(stats, "CellsGrid");
        QCOMPARE(CellText(grid, 0, 0), QStringLiteral("x"));
        QCOMPARE(CellText(grid, 0, 2), QString());  // no value after a stop
        QVERIFY(bar->value() < bar->maximum());
        QVERIFY(ui.messages.empty());
        QPointer<StatisticsWindow> gone = stats;
        QTest::mouseClick(Find<QPushButton>(stats, "CloseCommand"), Qt::LeftButton);
        QTRY_VERIFY(!gone);

        // Closed by its frame while computing: the pass stops, then it closes.
        QPointer<SensitivityWindow> sens = new SensitivityWindow(ui, db, false);
        QObject::connect(Find<QProgressBar>(sens, "ProgressBar1"), &QProgressBar::valueChanged, sens,
                         [&sens](int value) {
                             if (value > 0 && sens->computing()) sens->close();
                         });
        sens->show();
        QTRY_VERIFY(!sens);
        QVERIFY(ui.messages.empty());
    }

    void sensitivityObjectivesMakeTheTotalColumn() {
        TempDir dir;
        ScriptedUi ui;
        auto* sens = new SensitivityWindow(ui, WriteDb(dir, "s.csv", kSens), false);
        sens->show();
        QTRY_VERIFY(Find<QPushButton>(sens, "CloseCommand")->isEnabled());
        auto* grid = Find<QTableWidget>(sens, "CellsGrid");
        QCOMPARE(grid->horizontalHeaderItem(3)->text(), QStringLiteral("<総合感度>"));
        QCOMPARE(CellText(grid, 0, 0), QStringLiteral("<Obj.>"));
        QCOMPARE(CellText(grid, 1, 1), QStringLiteral("1.00000"));
        QCOMPARE(CellText(grid, 2, 1), QStringLiteral("0.22222"));
        QCOMPARE(CellText(grid, 1, 2), QStringLiteral("-"));  // q does not vary: no sensitivity
        QCOMPARE(grid->item(1, 1)->background().color(), QColor(255, 192, 192));
        QCOMPARE(CellText(grid, 1, 3), QString());
        QCOMPARE(Find<QLabel>(sens, "Label1")->text(), QStringLiteral("p"));
        // The profile of p: a circle per input, the red one at 1, a line.
        QCOMPARE(sens->picture()->itemCount(QColor(255, 0, 0)), std::size_t(1));
        QCOMPARE(sens->picture()->itemCount(QColor(255, 255, 0)), std::size_t(2));

        // Objective: a click on the objectives row opens the chooser there.
        auto* combo = Find<QComboBox>(sens, "DsnObj_Combo");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(0, 1)).center());
        QVERIFY(combo->isVisible());
        QCOMPARE(combo->currentText(), QStringLiteral("-"));
        combo->setCurrentIndex(2);
        emit combo->activated(2);
        QVERIFY(!combo->isVisible());
        QCOMPARE(CellText(grid, 0, 1), QStringLiteral("最小化"));
        QCOMPARE(CellText(grid, 1, 3), QStringLiteral("1.00000"));
        QCOMPARE(CellText(grid, 2, 3), QStringLiteral("0.22222"));
        QCOMPARE(grid->item(1, 3)->background().color(), QColor(255, 192, 192));
        // A click elsewhere hides the chooser and charts that column.
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(2, 3)).center());
        QCOMPARE(Find<QLabel>(sens, "Label1")->text(), QStringLiteral("<<総合感度>>"));

        ui.files = {dir.file("sens.csv")};
        sens->popupMenu()->findChild<QAction*>("Save_Result")->trigger();
        const std::string saved =
            Cp932Lines({",p,q,<総合感度>", "<Obj.>,最小化,-,*****", "a,1.00000,-,1.00000", "b,0.22222,-,0.22222"});
        QCOMPARE(ReadBytes(dir.file("sens.csv")), saved);
        QVERIFY(ui.questions.empty());

        // Saving again: the file there is replaced only on Yes; the DB file
        // analysed, even through a link, never.
        const std::string db = ReadBytes(dir.file("s.csv"));
        QVERIFY(QFile::link(QString::fromStdString(dir.file("s.csv")), QString::fromStdString(dir.file("link.csv"))));
        WriteBytes(dir.file("sens.csv"), "keep");
        ui.files = {dir.file("sens.csv"), dir.file("sens.csv"), dir.file("link.csv"), dir.file("s.csv")};
        ui.answers = {false, true};
        auto* save = sens->popupMenu()->findChild<QAction*>("Save_Result");
        save->trigger();
        QCOMPARE(ReadBytes(dir.file("sens.csv")), std::string("keep"));
        QCOMPARE(ui.questions.back(), dir.file("sens.csv") + " は既にあります。\n置き換えますか？");
        save->trigger();
        QCOMPARE(ReadBytes(dir.file("sens.csv")), saved);
        save->trigger();
        save->trigger();
        QCOMPARE(ui.questions.size(), std::size_t(2));
        QCOMPARE(ui.messages, (std::vector<std::string>{"解析中のDBファイルには保存できません。\n" + dir.file("link.csv"),
                                                       "解析中のDBファイルには保存できません。\n" + dir.file("s.csv")}));
        QCOMPARE(ReadBytes(dir.file("s.csv")), db);
        // The chart's picture is refused there too.
        ui.files = {dir.file("link.csv")};
        sens->picture()->popupMenu()->findChild<QAction*>("Save_Png_Menu")->trigger();
        QCOMPARE(ui.messages.size(), std::size_t(3));
        QCOMPARE(ReadBytes(dir.file("s.csv")), db);
        sens->close();
    }

    void effectsTabsAndFactorChoice() {
        TempDir dir;
        ScriptedUi ui;
        // A: levels 1, 2, 3; B: 10 and 30 only. y by A: 20, 20, 0 dB.
        const std::string db = WriteDb(dir, "oa.csv",
                                       {"Count,A,B,y,z,Validity(制限判定)", "-,[Input],[Input],[Output],[Output],[System]",
                                        "1,1,10,10,-1,True", "2,2,30,-10,0,False", "3,3,10,1,1,True",
                                        "4,1,30,10,-1,True", "5,2,10,-10,0,True", "6,3,30,1,1,True"});
        auto* effects = new EffectsWindow(ui, db);
        effects->show();
        auto* data = Find<QTableWidget>(effects, "TableGrid1");
        QCOMPARE(data->columnCount(), 5);  // the verdict is dropped
        QCOMPARE(CellText(data, 1, 2), QStringLiteral("-"));  // B has no middle level
        QCOMPARE(CellText(data, 3, 3), QStringLiteral("10"));
        auto* tabs = Find<QTabBar>(effects, "TabStrip1");
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(tabs->tabText(1), QStringLiteral("z"));
        auto* cells = Find<QTableWidget>(effects, "CellsGrid");
        QCOMPARE(cells->horizontalHeaderItem(1)->text(), QStringLiteral("A"));
        QCOMPARE(cells->horizontalHeaderItem(3)->text(), QString());
        QCOMPARE(CellText(cells, 0, 1), QStringLiteral("0.000000"));
        QCOMPARE(CellText(cells, 1, 1), QStringLiteral("20.000000"));
        QCOMPARE(CellText(cells, 1, 2), QStringLiteral("-"));
        // Two groups: five open circles, three lines, two markers.
        QCOMPARE(effects->picture()->itemCount(QColor(255, 255, 0)), std::size_t(5));
        QCOMPARE(effects->picture()->itemCount(QColor(255, 0, 0)), std::size_t(2));

        tabs->setCurrentIndex(1);  // z: mean 0 at A's middle level
        QCOMPARE(CellText(cells, 1, 1), QStringLiteral("-"));
        QCOMPARE(CellText(cells, 0, 1), QStringLiteral("0.000000"));

        // All outputs: the other output dark under the current one.
        Find<QCheckBox>(effects, "Check1")->setChecked(true);
        QVERIFY(effects->picture()->itemCount(QColor(128, 128, 0)) > 0);
        Find<QCheckBox>(effects, "Check1")->setChecked(false);
        QCOMPARE(effects->picture()->itemCount(QColor(128, 128, 0)), std::size_t(0));

        // A click on a factor's header offers the inputs; the empty entry
        // empties the column, B puts B there.
        auto* chooser = Find<QComboBox>(effects, "Param_Combo");
        auto* header = cells->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
        QVERIFY(chooser->isVisible());
        QCOMPARE(chooser->count(), 3);
        QCOMPARE(chooser->currentText(), QStringLiteral("A"));
        chooser->setCurrentIndex(0);
        emit chooser->activated(0);
        QCOMPARE(cells->horizontalHeaderItem(1)->text(), QString());
        QCOMPARE(CellText(cells, 0, 1), QString());
        effects->chooseFactor(3);
        chooser->setCurrentIndex(2);
        emit chooser->activated(2);
        QCOMPARE(cells->horizontalHeaderItem(3)->text(), QStringLiteral("B"));
        QCOMPARE(CellText(cells, 0, 3), CellText(cells, 0, 2));  // B beside B
        effects->close();
    }

    void graphsAxisEndsAndInvalidLines() {
        Fixture f;
        const std::string db = WriteDb(f.app, "run.csv", kSmall);
        f.window->findChild<QAction*>("Graph_Draw")->trigger();
        auto* graphs = Find<GraphContainer>(f.window.get(), "MDIForm1");
        f.ui.files = {db};
        QTest::mouseClick(Find<QToolButton>(graphs, "DB_Brws_Button"), Qt::LeftButton);
        QCOMPARE(f.ui.dialogs.back().title, std::string("データファイルを選択"));
        auto* x = Find<QComboBox>(graphs, "X_Combo");
        auto* y = Find<QComboBox>(graphs, "Y_Combo");
        QCOMPARE(x->count(), 4);
        QCOMPARE(y->currentText(), QStringLiteral("x"));
        x->setCurrentIndex(1);
        y->setCurrentIndex(2);
        auto* hide = Find<QCheckBox>(graphs, "Check1");
        hide->setChecked(true);
        QVERIFY(!Find<QCheckBox>(graphs, "Check2")->isEnabled());
        QTest::mouseClick(Find<QPushButton>(graphs, "Create_Graph_Button"), Qt::LeftButton);
        const auto subs = graphs->area()->subWindowList();
        QCOMPARE(subs.size(), 1);
        auto* graph = qobject_cast<GraphWindow*>(subs[0]->widget());
        QCOMPARE(graph->windowTitle(), QStringLiteral("x - y"));
        // The invalid outlier (10, 20) neither drawn nor widening the axes:
        // x 1..3 widens by 0.6, y 2..6 by 1.2.
        QCOMPARE(graph->axisText("X1"), QStringLiteral("4.00e-1"));
        QCOMPARE(graph->axisText("X2"), QStringLiteral("3.60e+0"));
        QCOMPARE(graph->axisText("Y2"), QStringLiteral("7.20e+0"));
        QCOMPARE(graph->picture()->itemCount(graph->colour(0)), std::size_t(3));

        // Axis end: "abc" changes nothing, -5 moves the left end.
        std::deque<QString> answers = {QStringLiteral("abc"), QStringLiteral("-5")};
        ModalWatcher watcher([&](QWidget* modal) {
            if (auto* box = qobject_cast<QInputDialog*>(modal)) {
                QCOMPARE(box->windowTitle(), QStringLiteral("軸目盛変更"));
                QCOMPARE(box->labelText(), QStringLiteral("新しい値を入力"));
                box->setTextValue(answers.front());
                answers.pop_front();
                box->accept();
            } else if (auto* colours = qobject_cast<QColorDialog*>(modal)) {
                colours->setCurrentColor(Qt::green);
                colours->accept();
            }
        });
        auto* x1 = Find<QLabel>(graph, "X1Label");
        QTest::mouseClick(x1, Qt::LeftButton);
        QCOMPARE(x1->text(), QStringLiteral("4.00e-1"));
        QTest::qWait(60);  // the watcher sees the first box gone before the next
        QTest::mouseClick(x1, Qt::LeftButton);
        QCOMPARE(x1->text(), QStringLiteral("-5.00e+0"));
        QCOMPARE(graph->picture()->frame().left, -5.0);
        QCOMPARE(graph->axisText("X2"), QStringLiteral("3.60e+0"));

        // Edit: invalid lines shown and coloured; the axes follow the new range.
        QTest::mouseClick(Find<QPushButton>(graph, "Edit_Command"), Qt::LeftButton);
        auto* frame = Find<QWidget>(graph, "Edit_Frame");
        QVERIFY(frame->isVisible());
        Find<QCheckBox>(frame, "Check1")->setChecked(false);
        Find<QCheckBox>(frame, "Check2")->setChecked(true);
        QTest::mouseClick(Find<QPushButton>(frame, "Create_Graph_Button"), Qt::LeftButton);
        QVERIFY(!frame->isVisible());
        QCOMPARE(graph->axisText("X2"), QStringLiteral("1.20e+1"));
        QCOMPARE(graph->picture()->itemCount(graph->colour(1)), std::size_t(3));
        QCOMPARE(graph->picture()->itemCount(graph->colour(2)), std::size_t(1));

        // A colour chosen and then cancelled goes back.
        QTest::mouseClick(Find<QPushButton>(graph, "Edit_Command"), Qt::LeftButton);
        const QColor before = graph->colour(1);
        QTest::mouseClick(Find<QLabel>(frame, "Picture3"), Qt::LeftButton);
        QCOMPARE(graph->colour(1), QColor(Qt::green));
        QTest::mouseClick(Find<QPushButton>(frame, "Cancel_Command"), Qt::LeftButton);
        QCOMPARE(graph->colour(1), before);
        QVERIFY(!frame->isVisible());
        graphs->close();
    }

    void sobolIndicesOfADesignFromTheMenuWithTheirPictures() {
        Fixture f;
        const std::string db = WriteDb(f.app, "design.csv", DesignDb(800));
        f.ui.files = {db};
        f.ui.answers = {true};
        f.window->findChild<QAction*>("Sobol")->trigger();
        QCOMPARE(f.ui.questions.back(), std::string("制限値外のデータを含めずに解析しますか？"));
        auto* sobol = Find<SobolWindow>(f.window.get(), "Sobol_Form");
        QCOMPARE(sobol->windowTitle(), QStringLiteral("Sobol'感度指数"));
        QTRY_VERIFY_WITH_TIMEOUT(sobol->complete(), 20000);
        VERIFY_NO_MESSAGE(f.ui);
        QVERIFY(Find<QPushButton>(sobol, "CloseCommand")->isEnabled());
        auto* output = Find<QComboBox>(sobol, "Output_Combo");
        QCOMPARE(output->count(), 2);
        QCOMPARE(output->currentText(), QStringLiteral("y"));

        // Sorted by ST; each index near its true value, inside its interval;
        // the input that never varies has none and comes last.
        auto* grid = Find<QTableWidget>(sobol, "Sobol_Grid");
        QCOMPARE(grid->horizontalHeaderItem(3)->text(), QStringLiteral("ST"));
        QCOMPARE(GridColumn(grid, 0), (QStringList{"x1", "x2", "x3", "c", "<交互作用>"}));
        const double truth[] = {16.0 / 21, 4.0 / 21, 1.0 / 21};
        for (int r = 0; r < 3; ++r)
            for (int c : {1, 3}) {
                QVERIFY2(std::fabs(CellValue(grid, r, c) - truth[r]) < 0.06, qPrintable(CellText(grid, r, c)));
                const QStringList ends = CellText(grid, r, c + 1).mid(1).chopped(1).split(QStringLiteral(", "));
                QCOMPARE(ends.size(), 2);
                QVERIFY(ends[0].toDouble() <= ends[1].toDouble());
            }
        for (int c = 1; c <= 4; ++c) QCOMPARE(CellText(grid, 3, c), QStringLiteral("-"));
        QVERIFY(std::fabs(CellValue(grid, 4, 1)) < 0.1);  // a linear model leaves nothing to interactions
        QVERIFY(!Find<QLabel>(sobol, "Note_Label")->text().contains(QString::fromUtf8(kSobolTotalNeedsDesign)));
        // Two bars per input that varies, in the table's order.
        QCOMPARE(sobol->picture()->itemCount(QColor(255, 160, 0)), std::size_t(3 + 1));  // and the legend's
        // The output that never varies: every figure "-", no bars.
        output->setCurrentIndex(1);
        for (int r = 0; r < 4; ++r)
            for (int c = 1; c <= 4; ++c) QCOMPARE(CellText(grid, r, c), QStringLiteral("-"));
        QCOMPARE(CellText(grid, 4, 1), QStringLiteral("-"));
        QCOMPARE(sobol->picture()->itemCount(QColor(255, 160, 0)), std::size_t(1));
        output->setCurrentIndex(0);

        // The pictures carry the title, the output, the inputs and the axis.
        auto* pictureMenu = sobol->picture()->popupMenu();
        f.ui.files = {f.app.file("sobol.svg"), f.app.file("sobol.png")};
        pictureMenu->findChild<QAction*>("Save_Svg_Menu")->trigger();
        pictureMenu->findChild<QAction*>("Save_Png_Menu")->trigger();
        VERIFY_NO_MESSAGE(f.ui);
        const QString svg = QString::fromStdString(ReadBytes(f.app.file("sobol.svg")));
        for (const char* text : {"Sobol'感度指数: y", "x1", "x2", "x3", "指数", "S1 (1次指数)", "ST (全効果指数)"})
            QVERIFY2(svg.contains(QString::fromUtf8(text)), text);
        const QImage png(QString::fromStdString(f.app.file("sobol.png")));
        QVERIFY(png.width() > sobol->picture()->width() && png.height() > sobol->picture()->height());
        if (const char* keep = std::getenv("KORVANE_KEEP_PICTURES"))
            QFile::copy(QString::fromStdString(f.app.file("sobol.png")), QString::fromUtf8(keep) + QStringLiteral("/sobol.png"));

        // Saved: every output, as the command line writes it.
        f.ui.files = {f.app.file("sobol.csv")};
        sobol->popupMenu()->findChild<QAction*>("Save_Result")->trigger();
        const std::vector<std::string> saved = FileLines(f.app.file("sobol.csv"));
        QCOMPARE(saved.size(), SobolTable(sobol->result()).size());
        QVERIFY(saved.front().starts_with("出力,入力,S1,"));
        sobol->close();
    }

    void sobolFirstOrderFromAPlainSampleAndTooFewLines() {
        TempDir dir;
        ScriptedUi ui;
        auto* sobol = new SobolWindow(ui, WriteDb(dir, "plain.csv", PlainDb(900)), false);
        sobol->show();
        QTRY_VERIFY_WITH_TIMEOUT(sobol->complete(), 20000);
        VERIFY_NO_MESSAGE(ui);
        auto* grid = Find<QTableWidget>(sobol, "Sobol_Grid");
        // Sorted by S1; ST needs the design.
        QCOMPARE(GridColumn(grid, 0), (QStringList{"a", "b", "<交互作用>"}));
        QVERIFY2(std::fabs(CellValue(grid, 0, 1) - 0.9) < 0.08, qPrintable(CellText(grid, 0, 1)));
        QVERIFY2(std::fabs(CellValue(grid, 1, 1) - 0.1) < 0.08, qPrintable(CellText(grid, 1, 1)));
        for (int r = 0; r < 2; ++r) {
            QCOMPARE(CellText(grid, r, 3), QStringLiteral("-"));
            QCOMPARE(CellText(grid, r, 4), QStringLiteral("-"));
        }
        QVERIFY(Find<QLabel>(sobol, "Note_Label")->text().contains(QString::fromUtf8(kSobolTotalNeedsDesign)));
        QCOMPARE(sobol->picture()->itemCount(QColor(255, 160, 0)), std::size_t(0));  // no ST bars
        QVERIFY(sobol->picture()->exportLabels().notes.contains(QString::fromUtf8(kSobolTotalNeedsDesign)));
        if (const char* keep = std::getenv("KORVANE_KEEP_PICTURES"))
            sobol->picture()->savePng(QString::fromUtf8(keep) + QStringLiteral("/sobol-given-data.png"));
        sobol->close();

        // Too few lines for the bootstrap: the reason, no figures, the file
        // as it was.
        const std::string small = WriteDb(dir, "small.csv", PlainDb(5));
        const std::string before = ReadBytes(small);
        QPointer<SobolWindow> refused = new SobolWindow(ui, small, false);
        refused->show();
        QTRY_VERIFY(!refused->computing() && Find<QPushButton>(refused, "CloseCommand")->isEnabled());
        QCOMPARE(ui.messages.size(), std::size_t(1));
        QCOMPARE(ui.messages[0], refused->result().error);
        QVERIFY(!ui.messages[0].empty());
        grid = Find<QTableWidget>(refused, "Sobol_Grid");
        QCOMPARE(CellText(grid, 0, 0), QStringLiteral("b"));
        QCOMPARE(CellText(grid, 0, 1), QString());
        QCOMPARE(refused->picture()->itemCount(), std::size_t(0));
        ui.files = {dir.file("none.csv")};
        refused->popupMenu()->findChild<QAction*>("Save_Result")->trigger();  // nothing to save
        QVERIFY(!QFile::exists(QString::fromStdString(dir.file("none.csv"))));
        QCOMPARE(ReadBytes(small), before);
        refused->close();
        QTRY_VERIFY(!refused);
    }

    void sobolStopsOffTheWindowsThreadAndClosesWhileComputing() {
        TempDir dir;
        ScriptedUi ui;
        const std::string db = WriteDb(dir, "big.csv", PlainDb(400000));
        QPointer<SobolWindow> sobol = new SobolWindow(ui, db, false);
        auto* bar = Find<QProgressBar>(sobol, "ProgressBar1");
        // The window's own thread stays free while the file is read: its
        // events run and the stop button is taken at once.
        QObject::connect(bar, &QProgressBar::valueChanged, sobol, [&sobol](int value) {
            if (value > 0 && sobol->computing()) QTest::mouseClick(Find<QPushButton>(sobol, "Command2"), Qt::LeftButton);
        });
        sobol->show();
        QTRY_VERIFY_WITH_TIMEOUT(!sobol->computing() && Find<QPushButton>(sobol, "CloseCommand")->isEnabled(), 20000);
        QVERIFY(!sobol->complete());
        QVERIFY(!Find<QPushButton>(sobol, "Command2")->isEnabled());
        QCOMPARE(CellText(Find<QTableWidget>(sobol, "Sobol_Grid"), 0, 1), QString());
        QVERIFY(ui.messages.empty());
        sobol->close();
        QTRY_VERIFY(!sobol);

        // Closed by its frame while computing: the work stops, then it closes.
        QPointer<SobolWindow> closing = new SobolWindow(ui, db, false);
        QObject::connect(Find<QProgressBar>(closing, "ProgressBar1"), &QProgressBar::valueChanged, closing,
                         [&closing](int value) {
                             if (value > 0 && closing && closing->computing()) closing->close();
                         });
        closing->show();
        QTRY_VERIFY_WITH_TIMEOUT(!closing, 20000);
        QVERIFY(ui.messages.empty());
    }
};

QTEST_MAIN(AnalysisWindowsTest)
#include "AnalysisWindows_test.moc"

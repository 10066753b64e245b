// The main window driven by its object names: New, Open and Save, drops, the
// grids, the exe flow, the Run item, the run lock, the file fields.
#include <filesystem>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QToolBar>

#include "AppTestSupport.h"
#include "app/WindowRegistry.h"
#include "analysis/windows/AnalysisWindows.h"
#include "workbook/windows/ExeSettingForm.h"
#include "workbook/windows/WriteForm.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// A project of every section, with a line no section knows (line 23).
std::vector<std::string> SampleProject(const std::string& workbook, const std::string& db) {
    Project p;
    p.excelFileName = workbook;
    p.dataBaseFileName = db;
    p.dbWriteMode = "Append";
    p.excelVisible = 1;
    p.inputTasks = {{"荷重", "B2", "モデル", "0", "1000", "2000", "Round", "3"},
                    {"材質", "B4", "モデル", "", "1", "", "Replace", "Text"},
                    {"長さ", "B3", "モデル", "", "2", "", "Format", "#,##0.0"}};
    p.replaceTasks = {{"材質", "0=鋼,1=アルミ,2="}};
    p.outputTasks = {{"たわみ", "D2", "結果", "", "0", "0.01"}};
    p.shellTasks = {{"/opt/t/late.sh", "6", "--end"}, {"/opt/t/mesh.sh", "2", "[長さ]"},
                    {"/opt/t/first.sh", "0", ""}, {"/opt/t/post.sh", "5", "x"}};
    p.macro = "Module1.Calc";
    p.taskPlan = "MonteCarlo";
    std::vector<std::string> lines = ProjectLines(p);
    lines.insert(lines.begin() + 23, "未知の行 survives");
    return lines;
}

// The fixture's window over SampleProject, saved as p.tolv in its folder.
void OpenSample(Fixture& f, const std::string& workbook = "") {
    WriteProject(f.app.file("p.tolv"), SampleProject(workbook, ""));
    QVERIFY(f.window->openProjectPath(f.app.file("p.tolv")));
}

std::vector<std::string> ShellLines(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines)
        if (HasKey(l, key::App)) out.push_back(l);
    return out;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void newProjectLeavesOwAndOneEmptyRow() {
        Fixture f;
        // Form_Load wrote the 28 default lines, byte for byte.
        QCOMPARE(ReadBytes(f.app.file("tmp.tolv1")), Cp932Lines(DefaultProjectLines()));
        QVERIFY(f.state.StopRequested);

        // Change everything, then New.
        f.find<QLineEdit>("Exl_Brws_Text")->setText("/x/model.xlsx");
        f.find<QRadioButton>("Option_AP")->setChecked(true);
        f.find<QComboBox>("TaskCombo")->setCurrentIndex(2);
        OpenSample(f);
        QCOMPARE(f.find<QTableWidget>("Inp_CellsGrid")->rowCount(), 4);
        f.find<QTabBar>("TabStrip1")->setCurrentIndex(3);

        f.window->findChild<QAction*>("New_File")->trigger();
        QVERIFY(f.find<QRadioButton>("Option_OW")->isChecked());
        QVERIFY(!f.find<QRadioButton>("Option_AP")->isChecked());
        QVERIFY(f.find<QLineEdit>("Exl_Brws_Text")->text().isEmpty());
        QVERIFY(!f.find<QCheckBox>("Exl_Visbl_Check")->isChecked());
        QCOMPARE(f.find<QComboBox>("TaskCombo")->currentText(), QStringLiteral("Single"));
        for (const char* name : {"Inp_CellsGrid", "Out_CellsGrid"}) {
            auto* grid = f.find<QTableWidget>(name);
            QCOMPARE(grid->rowCount(), 1);
            QCOMPARE(GridColumn(grid, 0), QStringList{QString()});
        }
        // The layout: the first tab and its frame.
        QCOMPARE(f.find<QTabBar>("TabStrip1")->currentIndex(), 0);
        QVERIFY(!f.find<QWidget>("Out_Frame")->isVisibleTo(f.window.get()));
        QVERIFY(f.window->document().ProjectPath.empty());
        // Usable on a 1280x800 screen.
        QVERIFY(f.window->minimumSizeHint().width() <= 1280 && f.window->minimumSizeHint().height() <= 800);
        QCOMPARE(ReadBytes(f.app.file("tmp.tolv1")), Cp932Lines(DefaultProjectLines()));
    }

    void saveAndOpenRoundTrip() {
        Fixture f;
        TempDir elsewhere;
        const std::string workbook = elsewhere.file("model.xlsx");
        WriteBytes(workbook, "x");
        const std::string source = elsewhere.file("source.tolv");
        WriteProject(source, SampleProject(workbook, "/data/out.csv"));
        WriteBytes(f.app.file("Recent.dat"), "");

        f.ui.files = {source};
        f.window->findChild<QAction*>("Open_File_Mn1")->trigger();
        QCOMPARE(f.find<QLineEdit>("Exl_Brws_Text")->text(), Q(workbook));
        QCOMPARE(f.find<QLineEdit>("DB_Brws_Text")->text(), QStringLiteral("/data/out.csv"));
        QVERIFY(f.find<QRadioButton>("Option_AP")->isChecked());
        QVERIFY(f.find<QCheckBox>("Exl_Visbl_Check")->isChecked());
        QCOMPARE(f.find<QComboBox>("TaskCombo")->currentText(), QStringLiteral("MonteCarlo"));
        QVERIFY(f.ui.messages.empty());

        // Change the header in the window and save under a new name.
        f.find<QRadioButton>("Option_OW")->setChecked(true);
        f.find<QCheckBox>("Exl_Visbl_Check")->setChecked(false);
        f.find<QComboBox>("TaskCombo")->setCurrentIndex(3);
        f.find<QLineEdit>("DB_Brws_Text")->setText("/data/other.csv");
        const std::string saved = elsewhere.file("saved.tolv");
        f.ui.files = {saved};
        f.window->findChild<QAction*>("Save_As_File")->trigger();
        std::vector<std::string> lines;
        std::string error;
        QVERIFY(ReadTextLines(saved, lines, error));
        std::vector<std::string> expected = SampleProject(workbook, "/data/other.csv");
        expected[2] = "DB Write Mode      :OverWrite";
        expected[3] = "Excel Visible      :0";
        expected[22] = "Task Plan          :Orthogonal Table";
        QCOMPARE(lines, expected);
        QCOMPARE(f.window->document().ProjectPath, saved);
        QVERIFY(ReadBytes(f.app.file("Recent.dat")).find(saved) != std::string::npos);

        // New, then open the saved file: the window shows what was saved.
        f.window->New_File();
        f.ui.files = {saved};
        f.window->Open_File();
        QCOMPARE(f.find<QLineEdit>("DB_Brws_Text")->text(), QStringLiteral("/data/other.csv"));
        QVERIFY(f.find<QRadioButton>("Option_OW")->isChecked());
        QCOMPARE(f.find<QComboBox>("TaskCombo")->currentText(), QStringLiteral("Orthogonal Table"));
        QCOMPARE(GridColumn(f.find<QTableWidget>("Inp_CellsGrid"), 0), (QStringList{"荷重", "材質", "長さ", ""}));
        // Save writes to the open file again, without a dialog.
        const std::size_t dialogs = f.ui.dialogs.size();
        f.find<QLineEdit>("Exl_Brws_Text")->setText("/y/b.xlsx");
        f.window->findChild<QAction*>("Save_File_Mn1")->trigger();
        QCOMPARE(f.ui.dialogs.size(), dialogs);
        QVERIFY(ReadTextLines(saved, lines, error));
        QCOMPARE(lines[0], std::string("Excel File Name    :/y/b.xlsx"));

        // A project that cannot be read keeps the open one, under its name.
        f.ui.files = {elsewhere.file("missing.tolv")};
        f.window->Open_File();
        QCOMPARE(f.ui.messages.back(), std::string("tolvファイルのアドレスを確認して下さい。"));
        QCOMPARE(f.window->document().ProjectPath, saved);
        QCOMPARE(f.find<QLineEdit>("Exl_Brws_Text")->text(), QStringLiteral("/y/b.xlsx"));
    }

    void gridsShowTheWorkingCopyAndUpDownChangeAProgramsTiming() {
        Fixture f;
        OpenSample(f);
        auto* inp = f.find<QTableWidget>("Inp_CellsGrid");
        QCOMPARE(inp->rowCount(), 4);  // three tasks and the empty row to add one
        QCOMPARE(GridColumn(inp, 3), (QStringList{"Round,3", "Replace,Text", "Format,#,##0.0", ""}));

        auto* tabs = f.find<QTabBar>("TabStrip1");
        tabs->setCurrentIndex(1);
        QVERIFY(f.find<QWidget>("Inp_Rplc_Frame")->isVisibleTo(f.window.get()));
        auto* rplc = f.find<QTableWidget>("Replace_CellsGrid");
        QCOMPARE(GridColumn(rplc, 0), QStringList{"材質"});
        QCOMPARE(GridColumn(rplc, 1), QStringList{"0=鋼,1=アルミ,2="});
        tabs->setCurrentIndex(2);
        QCOMPARE(f.find<QLineEdit>("MacroText")->text(), QStringLiteral("Module1.Calc"));
        tabs->setCurrentIndex(3);
        QCOMPARE(GridColumn(f.find<QTableWidget>("Out_CellsGrid"), 2), (QStringList{"結果", ""}));

        // The exe tab: the programs placed among the steps of a calculation.
        f.window->show();
        tabs->setCurrentIndex(4);
        auto* grid = f.find<QTableWidget>("Exe_CellsGrid");
        QVERIFY(f.find<QWidget>("Exe_Frame")->isVisibleTo(f.window.get()));
        QCOMPARE(GridColumn(grid, 1), (QStringList{"", "<初期値代入>", "<変数値代入>", "[長さ]", "<エクセル入力>",
                                               "<マクロ実行>", "<エクセル読込>", "x", "<DB出力>", "--end"}));
        QCOMPARE(GridColumn(grid, 0).at(0), QStringLiteral("first.sh"));
        // Marker cells bold, program cells plain: the styling follows a move.
        QVERIFY(grid->item(2, 1)->font().bold());
        QVERIFY(!grid->item(3, 0)->font().bold());

        // Up from the first row under "<変数値代入>": it now runs after step 1.
        grid->setCurrentCell(3, 0);
        QTest::mouseClick(f.find<QPushButton>("Up_Command"), Qt::LeftButton);
        QCOMPARE(grid->currentRow(), 2);
        QCOMPARE(grid->item(3, 1)->text(), QStringLiteral("<変数値代入>"));
        QVERIFY(grid->item(3, 1)->font().bold() && !grid->item(2, 1)->font().bold());
        QCOMPARE(ShellLines(f.workingCopy()),
                 (std::vector<std::string>{" App.              :/opt/t/first.sh,0,",
                                           " App.              :/opt/t/mesh.sh,1,[長さ]",
                                           " App.              :/opt/t/post.sh,5,x",
                                           " App.              :/opt/t/late.sh,6,--end"}));
        // Down twice: across "<変数値代入>" and "<エクセル入力>".
        QTest::mouseClick(f.find<QPushButton>("Down_Command"), Qt::LeftButton);
        QTest::mouseClick(f.find<QPushButton>("Down_Command"), Qt::LeftButton);
        QCOMPARE(ShellLines(f.workingCopy())[1], std::string(" App.              :/opt/t/mesh.sh,3,[長さ]"));
        // The rest of the file is untouched by the section rewrite.
        QCOMPARE(f.workingCopy()[23], std::string("未知の行 survives"));
        // Selecting the tab again rebuilds the same flow from the working copy.
        tabs->setCurrentIndex(0);
        tabs->setCurrentIndex(4);
        QCOMPARE(GridColumn(grid, 1).at(4), QStringLiteral("[長さ]"));

        // An editor changed the working copy: the tab shows it when selected.
        std::vector<std::string> lines = f.workingCopy();
        lines.insert(lines.begin() + 14, " Output Pram.      :応力,D3,結果,,0,");
        QVERIFY(f.window->document().WriteWorkingCopy(lines));
        tabs->setCurrentIndex(3);
        QCOMPARE(GridColumn(f.find<QTableWidget>("Out_CellsGrid"), 0), (QStringList{"たわみ", "応力", ""}));
    }

    void droppedFilesByTheirExactEnding() {
        Fixture f;
        TempDir elsewhere;
        WriteBytes(f.app.file("Recent.dat"), "");
        auto* excel = f.find<QLineEdit>("Exl_Brws_Text");
        auto* db = f.find<QLineEdit>("DB_Brws_Text");

        // A workbook on an empty field: taken without a question.
        QVERIFY(DropFile(f.find<QWidget>("Exe_CellsGrid"), "/w/a.xlsx"));
        QCOMPARE(excel->text(), QStringLiteral("/w/a.xlsx"));
        QVERIFY(f.ui.questions.empty());
        // Another one: asked; No keeps the old one, Yes replaces it.
        f.ui.answers = {false, true};
        DropFile(f.find<QWidget>("Frame1"), "/w/b.xlsm");
        QCOMPARE(excel->text(), QStringLiteral("/w/a.xlsx"));
        DropFile(excel, "/w/b.xlsm");
        QCOMPARE(excel->text(), QStringLiteral("/w/b.xlsm"));
        QCOMPARE(f.ui.questions, (std::vector<std::string>{"現在のエクセルファイルを置き換えますか？",
                                                           "現在のエクセルファイルを置き換えますか？"}));
        // Capitals are not a workbook ending: ignored, no question.
        DropFile(f.find<QWidget>("Macro_Frame"), "/w/c.XLS");
        QCOMPARE(excel->text(), QStringLiteral("/w/b.xlsm"));
        QCOMPARE(f.ui.questions.size(), 2u);

        // A DB file, and a file inside the application folder stored relative.
        DropFile(db, f.app.file("results/out.csv"));
        QCOMPARE(db->text(), QStringLiteral("\\results\\out.csv"));
        QCOMPARE(f.window->document().header.dbPath, std::string("\\results\\out.csv"));

        // A project: loaded, first tab, recorded in the recent files.
        const std::string project = elsewhere.file("drop.tolv");
        WriteProject(project, SampleProject("/m/model.xls", "/m/db.csv"));
        f.find<QTabBar>("TabStrip1")->setCurrentIndex(4);
        QVERIFY(DropFile(f.find<QWidget>("Out_CellsGrid"), project));
        QCOMPARE(f.window->document().ProjectPath, project);
        QCOMPARE(excel->text(), QStringLiteral("/m/model.xls"));
        QCOMPARE(f.find<QTabBar>("TabStrip1")->currentIndex(), 0);
        QCOMPARE(f.find<QTableWidget>("Inp_CellsGrid")->rowCount(), 4);
        QCOMPARE(ReadBytes(f.app.file("Recent.dat")), Cp932Lines({project}));
        // The missing workbook of that project was reported, the project loaded.
        QCOMPARE(f.ui.messages.back(), std::string("エクセルファイルのアドレスを確認して下さい。"));
    }

    void runNeedsBothPathsAndItsLockDisablesTheEditingControlsOnly() {
        Fixture f;
        auto* excel = f.find<QLineEdit>("Exl_Brws_Text");
        auto* db = f.find<QLineEdit>("DB_Brws_Text");
        QAction* run = f.window->findChild<QAction*>("Run");
        QAction* button = f.window->findChild<QAction*>("Run_Mn1");
        // The toolbar button follows the paths as they change, the menu item is
        // set as its menu opens.
        const struct {
            const char *excel, *db;
            bool enabled;
        } rows[] = {{"", "", false}, {"/m/a.xlsx", "", false}, {"/m/a.xlsx", "/m/a.csv", true}, {"", "/m/a.csv", false}};
        for (const auto& r : rows) {
            excel->setText(r.excel);
            db->setText(r.db);
            QCOMPARE(button->isEnabled(), r.enabled);
            emit f.find<QMenu>("Execution")->aboutToShow();
            QCOMPARE(run->isEnabled(), r.enabled);
        }
        // A run cannot be started from anywhere with a path missing.
        const auto shown = f.ui.messages.size();
        f.window->Run();
        button->trigger();
        QCOMPARE(f.ui.messages.size(), shown);
        QCOMPARE(f.ui.exitStatus, 0);

        // The run lock: the editing controls only.
        excel->setText("/m/a.xlsx");  // Run_Mn1 also needs both paths
        const QStringList locked = {"New_File", "Open_File_Mn1", "Save_As_File", "Run", "Run_Mn1", "MonteCarlo_Mn1",
                                    "Graph_Draw_Mn1", "Planning_Menu"};
        const QStringList lockedWidgets = {"Inp_Frame", "Exe_Frame", "TabStrip1", "TaskCombo", "Option_AP",
                                           "Exl_Brws_Button"};
        f.window->lockWindow(true);
        for (const QString& name : locked) QVERIFY2(!f.window->findChild<QAction*>(name)->isEnabled(), qPrintable(name));
        for (const QString& name : lockedWidgets) QVERIFY2(!f.find<QWidget>(qPrintable(name))->isEnabled(), qPrintable(name));
        // Stop, Pause and the fields the run shows stay usable.
        for (const char* name : {"Stop_Mn1", "Pause_Mn1", "Exit_Mn1"})
            QVERIFY2(f.window->findChild<QAction*>(name)->isEnabled(), name);
        for (const char* name : {"Exl_Brws_Text", "Calc_Cnt_Text", "Frame1"}) QVERIFY2(f.find<QWidget>(name)->isEnabled(), name);
        f.window->lockWindow(false);
        for (const QString& name : locked) QVERIFY(f.window->findChild<QAction*>(name)->isEnabled());
        for (const QString& name : lockedWidgets) QVERIFY(f.find<QWidget>(qPrintable(name))->isEnabled());
    }

    void fileFieldsStoreRelativePathsAndBrowse() {
        Fixture f;
        auto* excel = f.find<QLineEdit>("Exl_Brws_Text");
        // Browse from an empty field: starts in the application folder; a file
        // inside it is stored relative.
        f.ui.files = {f.app.file("models/beam.xlsx")};
        QTest::mouseClick(f.find<QPushButton>("Exl_Brws_Button"), Qt::LeftButton);
        QCOMPARE(f.ui.dialogs.back().startFolder, f.app.path());
        QCOMPARE(excel->text(), QStringLiteral("\\models\\beam.xlsx"));
        QCOMPARE(f.window->document().header.workbookPath, std::string("\\models\\beam.xlsx"));
        // Browse again: starts in the folder of the resolved path; Cancel keeps it.
        f.ui.files = {""};
        QTest::mouseClick(f.find<QPushButton>("Exl_Brws_Button"), Qt::LeftButton);
        QCOMPARE(f.ui.dialogs.back().startFolder, f.app.path() + "/models/");
        QCOMPARE(excel->text(), QStringLiteral("\\models\\beam.xlsx"));

        // Double-click on the empty DB field's label browses.
        f.ui.files = {"/data/res.csv"};
        QTest::mouseDClick(f.find<QLabel>("Label1"), Qt::LeftButton);
        QCOMPARE(f.ui.dialogs.back().filter, std::string("*.csv|*.csv"));
        QCOMPARE(f.find<QLineEdit>("DB_Brws_Text")->text(), QStringLiteral("/data/res.csv"));

        // Double-click on a field naming an existing file opens it in a
        // spreadsheet; on a missing one nothing happens.
        std::vector<std::string> opened;
        f.window->hooks().openInSpreadsheet = [&](const std::string& path, std::string&) {
            opened.push_back(path);
            return true;
        };
        const std::size_t dialogs = f.ui.dialogs.size();
        QTest::mouseDClick(excel, Qt::LeftButton);
        QVERIFY(opened.empty());
        QCOMPARE(f.ui.dialogs.size(), dialogs);
        std::filesystem::create_directories(f.app.file("models"));
        WriteBytes(f.app.file("models/beam.xlsx"), "x");
        QTest::mouseDClick(f.find<QLabel>("Label2"), Qt::LeftButton);
        QCOMPARE(opened, std::vector<std::string>{f.app.file("models/beam.xlsx")});
        // A right click on a field naming a file shows the popup with the open
        // command; on a missing file the text box's own menu instead.
        f.window->show();
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5), excel->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(excel, &rightClick);
        auto* popup = f.find<QMenu>("Dummy_Mn");
        QVERIFY(popup->isVisible());
        popup->hide();
        QApplication::sendEvent(f.find<QLineEdit>("DB_Brws_Text"), &rightClick);
        QVERIFY(!f.find<QMenu>("Dummy_Mn1")->isVisible());
        // A failure to start the spreadsheet is reported.
        f.window->hooks().openInSpreadsheet = [](const std::string&, std::string& error) {
            error = "LibreOffice Calc が見つかりません。";
            return false;
        };
        f.window->findChild<QAction*>("Open_Excl_Pop")->trigger();
        QCOMPARE(f.ui.messages.back(), std::string("LibreOffice Calc が見つかりません。"));
    }

    void macroBoxIsSavedOnFocusOutAndTheCounterBeepsPerRemovedCharacter() {
        Fixture f;
        f.find<QTabBar>("TabStrip1")->setCurrentIndex(2);
        auto* macro = f.find<QLineEdit>("MacroText");
        QTest::keyClicks(macro, "Module1.A,Module1.B");
        QCOMPARE(f.workingCopy()[12], std::string("Macro              :"));
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(macro, &out);
        QCOMPARE(f.workingCopy()[12], std::string("Macro              :Module1.A,Module1.B"));
        QCOMPARE(f.workingCopy().size(), 28u);

        auto* counter = f.find<QLineEdit>("Calc_Cnt_Text");
        counter->setText("12a3");
        QCOMPARE(counter->text(), QStringLiteral("123"));
        QCOMPARE(f.ui.beeps, 1);
        counter->setText("x-1y.5");
        QCOMPARE(counter->text(), QStringLiteral("-1.5"));
        QCOMPARE(f.ui.beeps, 3);
        f.window->showProgress(7, 7, "7/10");  // the run's own figures: no beep
        QCOMPARE(counter->text(), QStringLiteral("7"));
        QCOMPARE(f.ui.beeps, 3);
    }

    void laterWindowsSayTheyAreNotAvailableOrOpen() {
        Fixture f;
        // A window that is not there says so.
        UnregisterWindow("MDIForm1");
        f.window->findChild<QAction*>("Graph_Draw_Mn1")->trigger();
        RegisterWindow("MDIForm1", OpenMDIForm1);
        QCOMPARE(f.ui.messages.back(), WindowNotAvailableMessage("グラフ作成"));
        // The scroll mode chooses its plan and checks the workbook first.
        f.window->findChild<QAction*>("UserScroll_Menu_Mn1")->trigger();
        QCOMPARE(f.find<QComboBox>("TaskCombo")->currentIndex(), 4);
        QCOMPARE(f.ui.messages.back(), std::string("エクセルファイルのアドレスを確認して下さい。"));
        // The plan commands choose their plan and open their settings window.
        QStringList opened;
        {
            // Each window is closed as soon as it is up (two windows in a row
            // may even share an address, so every tick looks afresh).
            QTimer closer;
            QObject::connect(&closer, &QTimer::timeout, [&] {
                if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                    if (modal->isVisible() && modal->result() == 0 && modal->property("seen").isNull()) {
                        modal->setProperty("seen", true);
                        opened << modal->objectName();
                        modal->reject();
                    }
                }
            });
            closer.start(20);
            f.window->findChild<QAction*>("MonteCarlo_Mn1")->trigger();
            QCOMPARE(f.find<QComboBox>("TaskCombo")->currentIndex(), 2);
            f.window->findChild<QAction*>("DataFile_Input")->trigger();
            QCOMPARE(f.find<QComboBox>("TaskCombo")->currentIndex(), 1);
            f.window->findChild<QAction*>("Orthogonal_Table_Setting_Mn1")->trigger();
            QCOMPARE(f.find<QComboBox>("TaskCombo")->currentIndex(), 3);
            f.window->findChild<QAction*>("InitialSetting_Mn1")->trigger();
            f.window->findChild<QAction*>("RestrictionSetting")->trigger();
        }
        QCOMPARE(opened, (QStringList{"Sampling_Setting_Form", "DB_Input_Cal_Form", "Orthogonal_Table_Form",
                                      "Init_Value_Form", "Restriction_Value_Form"}));
        QCOMPARE(ReadBytes(f.app.file("tmp.tolv1")), Cp932Lines(DefaultProjectLines()));
        // The current value command checks the DB file first.
        f.window->findChild<QAction*>("CurrentValue")->trigger();
        QCOMPARE(f.ui.messages.back(), std::string("データベースファイルのアドレスを確認して下さい。"));

        // A registered analysis window gets the chosen file and the answer.
        std::vector<WindowRequest> requests;
        RegisterWindow("Stdev_Form", [&](WindowHost&, const WindowRequest& r) { requests.push_back(r); });
        f.ui.files = {"/d/run.csv"};
        f.ui.answers = {true};
        f.window->findChild<QAction*>("Stdev_Ave_etc_Mn1")->trigger();
        UnregisterWindow("Stdev_Form");
        QCOMPARE(f.ui.questions.back(), std::string("制限値外のデータを含めずに解析しますか？"));
        QCOMPARE(requests.size(), 1u);
        QCOMPARE(requests[0].filePath, std::string("/d/run.csv"));
        QVERIFY(!requests[0].includeInvalidRows);
    }

    void gridDoubleClicksCheckTheWorkbookFirst() {
        Fixture f;
        std::vector<WindowRequest> opened;
        RegisterWindow("WriteForm", [&](WindowHost& w, const WindowRequest& r) {
            QCOMPARE(static_cast<MainWindow&>(w).EditTarget, r.editTarget);
            opened.push_back(r);
        });
        RegisterWindow("Exe_Setting_Form", [&](WindowHost&, const WindowRequest& r) { opened.push_back(r); });
        auto* inp = f.find<QTableWidget>("Inp_CellsGrid");
        emit inp->cellDoubleClicked(0, 0);
        QCOMPARE(f.ui.messages.back(), std::string("エクセルファイルのアドレスを確認して下さい。"));
        QVERIFY(opened.empty());

        WriteBytes(f.app.file("m.xlsx"), "x");
        OpenSample(f, "\\m.xlsx");
        emit inp->cellDoubleClicked(1, 2);
        emit inp->cellDoubleClicked(3, 0);  // the empty row: a new task
        f.find<QTabBar>("TabStrip1")->setCurrentIndex(3);
        emit f.find<QTableWidget>("Out_CellsGrid")->cellDoubleClicked(0, 0);
        QCOMPARE(opened.size(), 3u);
        QCOMPARE(opened[0].editTarget, std::string("Inp"));
        QCOMPARE(opened[0].row, (std::vector<std::string>{"材質", "B4", "モデル", "Replace,Text"}));
        QVERIFY(opened[1].row.empty());
        QCOMPARE(opened[2].editTarget, std::string("Out"));
        QCOMPARE(f.window->EditTarget, std::string("Out"));

        // On the exe grid a marker row opens nothing; a program row is offered.
        f.find<QTabBar>("TabStrip1")->setCurrentIndex(4);
        const std::size_t messages = f.ui.messages.size();
        emit f.find<QTableWidget>("Exe_CellsGrid")->cellDoubleClicked(1, 0);
        QCOMPARE(f.ui.messages.size(), messages);
        QCOMPARE(opened.size(), 3u);
        emit f.find<QTableWidget>("Exe_CellsGrid")->cellDoubleClicked(0, 0);
        QCOMPARE(opened.size(), 4u);
        QCOMPARE(opened[3].row, (std::vector<std::string>{"/opt/t/first.sh", ""}));
        QVERIFY(opened[3].deleteEnabled);
        // The real windows again, for the tests that follow.
        UnregisterWindow("WriteForm");
        UnregisterWindow("Exe_Setting_Form");
        RegisterWindow("WriteForm", OpenWriteForm);
        RegisterWindow("Exe_Setting_Form", OpenExeSettingForm);
    }

    void recentFilesOpenOnlyFromTheBackgroundOrTheHeaderAndExitAsksFirst() {
        Fixture f;
        f.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
        int opened = 0;
        ModalWatcher watcher([&](QWidget* modal) {
            if (modal->objectName() == QLatin1String("Recent_Files_Form")) ++opened;
            QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
        });
        // A point of the widget where none of its children is.
        auto bare = [](QWidget* w) {
            for (int y = 1; y < w->height(); y += 2)
                for (int x = 1; x < w->width(); x += 2)
                    if (!w->childAt(x, y)) return QPoint(x, y);
            return QPoint(-1, -1);
        };
        auto* toolbar = f.find<QToolBar>("Toolbar1");
        const std::vector<std::pair<QWidget*, QPoint>> elsewhere = {
            {f.window->statusBar(), f.window->statusBar()->rect().center()},
            {toolbar, QPoint(toolbar->width() - 3, toolbar->height() / 2)},
            {f.find<QLabel>("Label3"), QPoint(3, 3)},
            {f.find<QLabel>("Label5"), QPoint(3, 3)},
            {f.find<QTabBar>("TabStrip1"), QPoint(3, 3)}};
        for (const auto& [widget, point] : elsewhere) QTest::mouseDClick(widget, Qt::LeftButton, {}, point);
        QCOMPARE(opened, 0);

        for (QWidget* background : {f.find<QWidget>("Frame1"), f.window->centralWidget()}) {
            const QPoint p = bare(background);
            QVERIFY(p.x() >= 0);
            QTest::mouseDClick(background, Qt::LeftButton, {}, p);
        }
        QCOMPARE(opened, 2);

        // Exit asks first; neither answer deletes the working copy.
        f.ui.answers = {false};
        f.window->findChild<QAction*>("Exit_Mn1")->trigger();
        QCOMPARE(f.ui.questions.back(), std::string("Korvaneを終了しますか？"));
        QVERIFY(f.window->isVisible());
        f.ui.answers = {true};
        f.window->Exit();
        QVERIFY(!f.window->isVisible());
        QVERIFY(QFile::exists(Q(f.app.file("tmp.tolv1"))));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindow_test.moc"

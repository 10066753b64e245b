// A new user's study, from an empty project to a finished run, built only in
// the windows: an input picked in a shown LibreOffice window (its cell, and
// its name from the label beside it), two typed inputs, an output with an
// upper limit, a replacement list, an external program and a Monte Carlo
// plan. The saved project file must be the one written here by hand, line
// for line as the file format gives it, and the run must leave its lines.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <filesystem>

#include "app/AppTestSupport.h"
#include "LoTestSupport.h"
#include "ui/SettingsGrid.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "workbook/windows/WriteForm.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// True once LibreOffice shows the workbook in a window.
bool WorkbookShown() {
    QProcess search;
    search.start("xdotool", {"search", "--onlyvisible", "--name", "model.xlsx"});
    search.waitForFinished(5000);
    return !search.readAllStandardOutput().trimmed().isEmpty();
}

// Types `keys` into the shown LibreOffice window once its workbook is up (and
// again every few seconds, should a key have gone astray), as long as it lives.
class KeysToTheWorkbook {
public:
    explicit KeysToTheWorkbook(QString keys) : keys_(std::move(keys)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (!shown_.isValid()) {
                if (WorkbookShown()) shown_.start();
                return;
            }
            // The pick takes the starting cell as its reference first.
            if (shown_.elapsed() > 2000 + 3000 * sent_) {
                QProcess::execute("xdotool", {"key", keys_});
                ++sent_;
            }
        });
        timer_.start(250);
    }

private:
    QString keys_;
    QTimer timer_;
    QElapsedTimer shown_;
    int sent_ = 0;
};

// Runs `fill` on the named modal window when it comes up; a window the
// steps left open is closed, so a failed step cannot hang the test.
class Step {
public:
    Step(const char* form, std::function<void(QWidget*)> fill)
        : watcher_([this, form, fill](QWidget* w) {
              if (w->objectName() != QLatin1String(form)) return;
              seen = true;
              fill(w);
              if (w->isVisible()) {
                  leftOpen = true;
                  QMetaObject::invokeMethod(w, "reject", Qt::QueuedConnection);
              }
          }) {}
    bool seen = false;
    bool leftOpen = false;

private:
    ModalWatcher watcher_;
};

#define DONE(step) QVERIFY2((step).seen && !(step).leftOpen, "a window step did not complete")

}  // namespace

class StudyFromScratchTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
#ifndef KORVANE_HAVE_LIBREOFFICE
        QSKIP("built without the LibreOffice back end: the study needs a real spreadsheet");
#endif
        std::string reason;
        if (!display_.start(reason)) QSKIP(("no X server for the picks: " + reason).c_str());
        if (QProcess::execute("xdotool", {"--version"}) != 0) QSKIP("xdotool is not installed");
        // The model, made by LibreOffice from a CSV: inputs in A1, A2 (labels
        // beside them in B), y = A1 * A2 in A3, a text input in A4.
        files_ = std::make_unique<TempDir>();
        const QByteArray error = MakeXlsx(*files_, "5,load\n2,len\n=A1*A2,y\n0,material\n");
        QVERIFY2(error.isEmpty(), error.constData());
        workbook_ = files_->file("model.xlsx");
    }

    void aStudyBuiltInTheWindowsSavesTheFileOfTheFormatAndRuns() {
        Fixture f;
        f.window->show();
        auto* tabs = f.find<QTabBar>("TabStrip1");
        // A program of the user's, inside the application folder.
        std::filesystem::create_directories(f.app.file("tools"));
        WriteBytes(f.app.file("tools/mark.sh"), "#!/bin/sh\necho \"$1 $2\" >> \"$(dirname \"$0\")/marks.txt\"\n");
        std::filesystem::permissions(f.app.file("tools/mark.sh"), std::filesystem::perms::owner_all);

        // The workbook and the DB file, through their browse buttons.
        f.ui.files = {workbook_, f.app.file("study.csv")};
        Click(f.window.get(), "Exl_Brws_Button");
        Click(f.window.get(), "DB_Brws_Button");

        // Input 1: cell and name picked in the shown workbook.
        {
            Step step("WriteForm", [&](QWidget* w) {
                auto* form = static_cast<WriteForm*>(w);
                {
                    KeysToTheWorkbook keys("ctrl+Home");  // from the starting cell E1 to A1
                    form->Cell_Pick_Command_Click();
                }
                {
                    KeysToTheWorkbook keys("Right");  // from A1 to its label in B1
                    form->VarName_Pick_Command_Click();
                }
                Find<QComboBox>(w, "Round_Combo")->setEditText("3");
                Click(w, "OKCommand");
            });
            emit f.find<QTableWidget>("Inp_CellsGrid")->cellDoubleClicked(0, 0);
            VERIFY_NO_MESSAGE(f.ui);
            DONE(step);
        }
        // Inputs 2 and 3, typed; the third is replaced by a text.
        for (const auto& [name, cell, replace] : {std::tuple{"len", "A2", false}, std::tuple{"material", "A4", true}}) {
            Step step("WriteForm", [&](QWidget* w) {
                Find<QComboBox>(w, "VariableNMCombo")->setEditText(name);
                auto* sheets = Find<QComboBox>(w, "SheetCombo");
                if (!replace) {
                    // The sheet list comes from the workbook when it is opened.
                    sheets->showPopup();
                    sheets->hidePopup();
                    if (sheets->count() != 1 || sheets->itemText(0) != QLatin1String("model")) return;
                }
                sheets->setEditText("model");
                Find<QLineEdit>(w, "RangeText")->setText(cell);
                if (replace) Find<QRadioButton>(w, "Option3")->setChecked(true);
                Click(w, "OKCommand");
            });
            auto* grid = f.find<QTableWidget>("Inp_CellsGrid");
            emit grid->cellDoubleClicked(grid->rowCount() - 1, 0);
            DONE(step);
        }
        // The output, then its upper limit and the initial values.
        {
            tabs->setCurrentIndex(3);
            Step step("WriteForm", [&](QWidget* w) {
                Find<QComboBox>(w, "VariableNMCombo")->setEditText("y");
                Find<QComboBox>(w, "SheetCombo")->setEditText("model");
                Find<QLineEdit>(w, "RangeText")->setText("A3");
                Click(w, "OKCommand");
            });
            emit f.find<QTableWidget>("Out_CellsGrid")->cellDoubleClicked(0, 0);
            DONE(step);
        }
        {
            Step step("Restriction_Value_Form", [&](QWidget* w) {
                EnterCell(Find<SettingsGrid>(w, "VarGrid1"), 3, 3, "11");
                Click(w, "OKCommand");
            });
            f.window->findChild<QAction*>("RestrictionSetting_Mn1")->trigger();
            DONE(step);
        }
        {
            Step step("Init_Value_Form", [&](QWidget* w) {
                auto* grid = Find<SettingsGrid>(w, "VarGrid1");
                EnterCell(grid, 0, 1, "5");
                EnterCell(grid, 1, 1, "2");
                Click(w, "OKCommand");
            });
            f.window->findChild<QAction*>("InitialSetting")->trigger();
            DONE(step);
        }
        // The replacement texts of "material".
        {
            tabs->setCurrentIndex(1);
            Step step("Replace_Form", [&](QWidget* w) {
                auto* grid = Find<SettingsGrid>(w, "VarGrid1");
                EnterCell(grid, 0, 1, "steel");
                EnterCell(grid, 1, 1, "copper");
                Click(w, "OKCommand");
            });
            emit f.find<QTableWidget>("Replace_CellsGrid")->cellDoubleClicked(0, 0);
            DONE(step);
        }
        // The program, after every calculation's DB line.
        {
            tabs->setCurrentIndex(4);
            Step step("Exe_Setting_Form", [&](QWidget* w) {
                f.ui.files = {f.app.file("tools/mark.sh")};
                Click(w, "Exe_Brws_Button");
                Find<QLineEdit>(w, "CmmdText")->setText("[load] [material]");
                Click(w, "OKCommand");
            });
            Click(f.window.get(), "Add_exe_Command");
            DONE(step);
        }
        // The Monte Carlo plan: 5 calculations, load uniform in [4, 6), seed 7.
        {
            Step step("Sampling_Setting_Form", [&](QWidget* w) {
                auto* grid = Find<SettingsGrid>(w, "VarGrid1");
                QTest::mouseClick(grid->tickBox(0), Qt::LeftButton);
                ClickCell(grid, 0, 2);
                emit Find<QComboBox>(w, "DsnObj_Combo")->activated(1);
                EnterCell(grid, 0, 3, "5");
                EnterCell(grid, 0, 4, "1");
                Find<QLineEdit>(w, "Num_of_Calc_Text")->setText("5");
                Click(w, "Command1");
                Find<QRadioButton>(w, "Option2")->click();
                Find<QLineEdit>(w, "Seed_Text")->setText("7");
                Click(w, "Command2");
                Click(w, "OKCommand");
            });
            f.window->findChild<QAction*>("MonteCarlo")->trigger();
            DONE(step);
        }

        // Save under a name, then run (the run saves again first).
        f.ui.files = {f.app.file("study.tolv")};
        f.window->findChild<QAction*>("Save_As_File_Mn1")->trigger();
        {
            Step end("End_Window_Form", [&](QWidget* w) { Click(w, "CloseCommand"); });
            f.ui.answers = {true};
            f.window->findChild<QAction*>("Run")->trigger();
            VERIFY_NO_MESSAGE(f.ui);
            DONE(end);
        }

        const std::vector<std::string> byHand = {
            "Excel File Name    :" + workbook_,
            "DataBase File Name :\\study.csv",
            "DB Write Mode      :OverWrite",
            "Excel Visible      :0",
            "<<Input Task>>",
            " Input Pram.       :load,A1,model,,5,,Round,3",
            " Input Pram.       :len,A2,model,,2,,Round,6",
            " Input Pram.       :material,A4,model,,0,,Replace,Text",
            "<<Input Task End>>",
            "<<Input Replace>>",
            " Replace Pram.     :material,0=steel,1=copper",
            "<<Input Replace End>>",
            "<<Output Task>>",
            " Output Pram.      :y,A3,model,,0,11",
            "<<Output Task End>>",
            "<<Shell Task>>",
            " App.              :\\tools\\mark.sh,6,[load] [material]",
            "<<Shell Task End>>",
            "Macro              :",
            "Task Plan          :MonteCarlo",
            "<<MonteCarlo>>",
            " Num of Calc.      :5",
            " Restart Excel     :0",
            " Random Seed       :7",
            " Var. Param.       :load,一様分布,5,1",
            "<<MonteCarlo End>>",
            "<<DataFileInput>>",
            " DataFile          :",
            " Read Row          :2",
            " Restart Excel     :0",
            "<<DataFileInput End>>",
            "<<OrthogonalTable>>",
            " Level             :3水準",
            " Restart Excel     :0",
            "<<OrthogonalTable End>>"};
        QCOMPARE(ReadBytes(f.app.file("study.tolv")), Cp932Lines(byHand));

        // Five calculations, the first with the initial values, each judged
        // against the limit, the program after each.
        const std::vector<std::string> db = FileLines(f.app.file("study.csv"));
        QCOMPARE(db.size(), 7u);
        QCOMPARE(db[0], std::string("Count,load,len,material,y,Validity(制限判定)"));
        QCOMPARE(db[2].substr(0, 10), std::string("1,5,2,0,10"));
        for (std::size_t i = 3; i < db.size(); ++i) {
            const auto fields = SplitFields(db[i]);
            const double load = std::stod(fields[1]), y = std::stod(fields[4]);
            QVERIFY(load >= 4 && load < 6);
            QCOMPARE(y, std::round(load * 1000) / 1000 * 2);  // load written with 3 decimals
            QCOMPARE(fields[5], std::string(y <= 11 ? "True" : "False"));
        }
        const std::vector<std::string> marks = FileLines(f.app.file("tools/marks.txt"));
        QCOMPARE(marks.size(), 5u);
        QCOMPARE(marks[0], std::string("5.00000e+0 0.00000e+0"));  // the values as the arguments carry them
    }

    // The Single plan's calculation runs on a worker thread like every other, and
    // the workbook the user asked to keep open outlives that thread: it is shown
    // and answers after the run, until the program closes it.
    void aSingleRunCanLeaveItsWorkbookOpen() {
        const std::size_t children = ChildProcesses().size();  // the X server
        Fixture f;
        Project p;
        p.excelFileName = workbook_;
        p.dataBaseFileName = f.app.file("single.csv");
        p.taskPlan = "Single";
        p.inputTasks = {{"load", "A1", "model", "", "7", "", "Round", "3"}};
        p.outputTasks = {{"y", "A3", "model", "", "", ""}};
        p.shellTasks = {{"/bin/sleep", "3", "2"}};  // a calculation of two seconds at least
        WriteProject(f.app.file("single.tolv"), ProjectLines(p));
        f.window->openProjectPath(f.app.file("single.tolv"));
        f.window->show();
        ModalWatcher watcher(CloseEndWindow);
        // A timer of the window's thread: every tick is a turn of its event loop.
        QElapsedTimer clock;
        qint64 last = 0, longestGap = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, clock.elapsed() - last);
            last = clock.elapsed();
        });
        clock.start();
        tick.start(50);
        f.ui.answers = {true, true};  // save first; keep the workbook open
        f.window->findChild<QAction*>("Run_Mn1")->trigger();
        tick.stop();
        VERIFY_NO_MESSAGE(f.ui);
        QVERIFY(clock.elapsed() >= 2000);
        QVERIFY2(longestGap < 1000, qPrintable(QStringLiteral("the window stood still for %1 ms").arg(longestGap)));
        QCOMPARE(FileLines(f.app.file("single.csv")),
                 (std::vector<std::string>{"Count,load,y,Validity(制限判定)", "-,[Input],[Output],[System]", "0,7,14,True"}));

        QVERIFY(f.state.ExcelApp);
        WorkbookLink& kept = *f.state.ExcelApp;
        QVERIFY(kept.isRunning());
        QVERIFY(kept.visible());
        CellRef y{"model", "A3", 3, 1};
        QCOMPARE(kept.readCell(y).value_or("(unreadable)"), std::string("14"));
        QCOMPARE(ChildProcesses().size(), children + 1);
        CloseAndQuit(kept);
        f.state.ExcelApp.reset();
        for (int i = 0; i < 100 && ChildProcesses().size() > children; ++i) QTest::qWait(50);
        QCOMPARE(ChildProcesses().size(), children);
    }

    // A pick in progress belongs to its editor and to the main window: closing
    // either ends it, its LibreOffice instance with it, and the editor goes too,
    // so nothing is left running without a window.
    void closingTheEditorOrTheMainWindowEndsAPickAndItsInstance() {
        const std::size_t children = ChildProcesses().size();  // the X server
        for (const bool closeMain : {false, true}) {
            Fixture f;
            f.window->show();
            f.ui.files = {workbook_};
            Click(f.window.get(), "Exl_Brws_Button");
            bool shown = false, returned = false;
            qint64 tookAfterClose = -1;
            Step step("WriteForm", [&](QWidget* w) {
                QElapsedTimer sinceClose;
                QTimer poll;
                QObject::connect(&poll, &QTimer::timeout, [&] {
                    if (shown || !WorkbookShown()) return;
                    shown = ChildProcesses().size() > children;
                    if (!shown) return;
                    sinceClose.start();
                    if (closeMain)
                        f.window->close();
                    else
                        w->close();
                });
                poll.start(250);
                static_cast<WriteForm*>(w)->Cell_Pick_Command_Click();
                poll.stop();
                returned = true;
                if (sinceClose.isValid()) tookAfterClose = sinceClose.elapsed();
                // Closing the main window takes the editor with it.
                QVERIFY(!w->isVisible());
            });
            emit f.find<QTableWidget>("Inp_CellsGrid")->cellDoubleClicked(0, 0);
            QVERIFY2(step.seen && returned, closeMain ? "main window" : "editor");
            QVERIFY2(shown, "the workbook was never shown for the pick");
            QVERIFY2(!step.leftOpen, "the editor stayed open");
            QVERIFY2(tookAfterClose >= 0 && tookAfterClose < 20000, qPrintable(QString::number(tookAfterClose)));
            // Nothing was picked, and no instance is left.
            VERIFY_NO_MESSAGE(f.ui);
            for (int i = 0; i < 100 && ChildProcesses().size() > children; ++i) QTest::qWait(50);
            QCOMPARE(ChildProcesses().size(), children);
        }
    }

private:
    PrivateDisplay display_;
    std::unique_ptr<TempDir> files_;
    std::string workbook_;
};

QTEST_MAIN(StudyFromScratchTest)
#include "StudyFromScratch_test.moc"

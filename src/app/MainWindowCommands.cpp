// The main window's menus, toolbar and commands: the File menu, the windows
// of the other parts it opens, the analysis windows and the runs.
#include "app/MainWindow.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTableWidget>
#include <QToolBar>

#include "Artwork.h"
#include "SplashWindow.h"
#include "WindowRegistry.h"
#include "app/MainWindowParts.h"
#include "platform/UserInterface.h"
#include "project/Paths.h"
#include "project/ProjectDocument.h"
#include "project/RecentFiles.h"
#include "project/RunState.h"
#include "project/windows/RecentFilesWindow.h"
#include "run/RunDriver.h"
#include "run/RunOptions.h"
#include "run/windows/RunWindows.h"

namespace korvane {

using namespace main_window;

QAction* MainWindow::command(const char* name) { return findChild<QAction*>(Q(name)); }

void MainWindow::buildMenus() {
    struct Item {
        const char* name;
        const char* caption;
        void (MainWindow::*slot)();
        bool separatorAfter;
    };
    struct Menu {
        const char* name;
        const char* caption;
        std::vector<Item> items;
    };
    const std::vector<Menu> menus = {
        {"File",
         "ファイル(&F)",
         {{"New_File", "新規作成(&N)", &MainWindow::New_File, false},
          {"Open_File", "プロジェクトを開く(&O)", &MainWindow::Open_File, true},
          {"Save_File", "プロジェクトを保存(&S)", &MainWindow::Save_File, false},
          {"Save_As_File", "名前を付けてプロジェクトを保存(&A)", &MainWindow::Save_As_File, true},
          {"Recent_Files", "最近開いたファイル(&R)", &MainWindow::Recent_Files, true},
          {"Exit", "終了(&Q)", &MainWindow::Exit, false}}},
        {"VarSetting",
         "変数設定(&P)",
         {{"CurrentValue", "現在値(&C)", &MainWindow::CurrentValue, false},
          {"InitialSetting", "初期値(&I)", &MainWindow::InitialSetting, false},
          {"RestrictionSetting", "制限値(&R)", &MainWindow::RestrictionSetting, false}}},
        {"Planning",
         "プラン(&T)",
         {{"MonteCarlo", "MonteCarlo設定(&M)", &MainWindow::MonteCarlo, false},
          {"DataFile_Input", "DataFile Input設定(&D)", &MainWindow::DataFile_Input, false},
          {"Orthogonal_Table_Setting", "Orthogonal Table設定(&O)", &MainWindow::Orthogonal_Table_Setting, false},
          {"UserScroll_Menu", "UserScroll Mode(&S)", &MainWindow::UserScroll_Menu, false}}},
        {"Execution",
         "実行操作(&E)",
         {{"Run", "実行(&R)", &MainWindow::Run, false},
          {"Resume_Run", "中断した計算を再開(&C)", &MainWindow::Resume_Run, false},
          {"Pause_M", "一時停止(&P)", &MainWindow::Pause_M, false},
          {"Stop", "停止(&S)", &MainWindow::Stop, true},
          {"Run_Options", "実行オプション(&O)...", &MainWindow::Run_Options, false}}},
        {"Data_Shori",
         "データ処理(&D)",
         {{"Graph_Draw", "グラフ作成(&G)", &MainWindow::Graph_Draw, false},
          {"Stdev_Ave_etc", "平均、標準偏差等(&A)", &MainWindow::Stdev_Ave_etc, false},
          {"Sens", "感度解析(&S)", &MainWindow::Sens, false},
          {"Sobol", "Sobol'感度指数(&I)", &MainWindow::Sobol, false},
          {"Fact_Effts", "要因効果図(直交表用)(&F)", &MainWindow::Fact_Effts, false}}},
        {"About",
         "その他(&A)",
         {{"Version", "バージョン情報(&V)", &MainWindow::Version, false},
          {"Help", "ヘルプ(&H)", &MainWindow::Help, false}}},
    };
    menuBar()->setObjectName(QStringLiteral("MenuBar1"));
    for (const Menu& m : menus) {
        QMenu* menu = menuBar()->addMenu(Q(m.caption));
        menu->setObjectName(Q(m.name));
        menu->menuAction()->setObjectName(Q(m.name) + QStringLiteral("_Menu"));
        for (const Item& item : m.items) {
            QAction* a = menu->addAction(Q(item.caption));
            a->setObjectName(Q(item.name));
            connect(a, &QAction::triggered, this, item.slot);
            commandSlots_[Q(item.name)] = item.slot;
            if (item.separatorAfter) menu->addSeparator();
        }
    }
    // Run is offered only when both paths are filled in (and no run is on).
    QMenu* execution = findChild<QMenu*>(QStringLiteral("Execution"));
    connect(execution, &QMenu::aboutToShow, this, [this] {
        command("Run")->setEnabled(runAllowed());
        command("Resume_Run")->setEnabled(runAllowed());
        command("Run_Options")->setEnabled(!driver_->running());
    });
}

void MainWindow::buildToolbar() {
    toolbar_ = addToolBar(QStringLiteral("Toolbar1"));
    toolbar_->setObjectName(QStringLiteral("Toolbar1"));
    toolbar_->setMovable(false);
    toolbar_->setIconSize(QSize(24, 24));
    struct Button {
        const char* key;
        const char* tip;
        const char* command;  // the menu item it stands for; null: separator
    };
    const Button buttons[] = {{"New_File_Mn1", "新規作成", "New_File"},
                              {"Open_File_Mn1", "プロジェクトを開く", "Open_File"},
                              {"Save_File_Mn1", "プロジェクトを保存", "Save_File"},
                              {"Save_As_File_Mn1", "名前を付けてプロジェクトを保存", "Save_As_File"},
                              {"Exit_Mn1", "終了", "Exit"},
                              {nullptr, nullptr, nullptr},
                              {"CurrentValue_Mn1", "現在値", "CurrentValue"},
                              {"InitialSetting_Mn1", "初期値", "InitialSetting"},
                              {"RestrictionSetting_Mn1", "制限値", "RestrictionSetting"},
                              {nullptr, nullptr, nullptr},
                              {"MonteCarlo_Mn1", "MonteCarlo設定", "MonteCarlo"},
                              {"DataFile_Input_Mn1", "DataFile Input設定", "DataFile_Input"},
                              {"Orthogonal_Table_Setting_Mn1", "Orthogonal Table設定", "Orthogonal_Table_Setting"},
                              {"UserScroll_Menu_Mn1", "UserScroll Mode", "UserScroll_Menu"},
                              {nullptr, nullptr, nullptr},
                              {"Run_Mn1", "実行", "Run"},
                              {"Pause_Mn1", "一時停止", "Pause_M"},
                              {"Stop_Mn1", "停止", "Stop"},
                              {nullptr, nullptr, nullptr},
                              {"Graph_Draw_Mn1", "グラフ作成", "Graph_Draw"},
                              {"Stdev_Ave_etc_Mn1", "平均、標準偏差、分散、ヒストグラム等", "Stdev_Ave_etc"},
                              {"Sens_Mn1", "感度解析", "Sens"},
                              {"Fact_Effts_Mn1", "要因効果表(直交表用)", "Fact_Effts"},
                              {nullptr, nullptr, nullptr},
                              {"Ver_Mn1", "バージョン情報", "Version"},
                              {"Help_Mn1", "ヘルプ", "Help"}};
    for (const Button& b : buttons) {
        if (!b.key) {
            toolbar_->addSeparator();
            continue;
        }
        QAction* a = toolbar_->addAction(CommandIcon(Q(b.command)), Q(b.tip));
        a->setObjectName(Q(b.key));
        a->setToolTip(Q(b.tip));
        // The button does exactly what the menu command does, whatever the
        // menu item's own state.
        connect(a, &QAction::triggered, this, commandSlots_.at(Q(b.command)));
    }
    // The Run button follows the menu item's rule as the paths change.
    auto follow = [this] { command("Run_Mn1")->setEnabled(runAllowed()); };
    connect(excelField_->text, &QLineEdit::textChanged, this, follow);
    connect(dbField_->text, &QLineEdit::textChanged, this, follow);
    follow();
}

void MainWindow::New_File() {
    if (!document_->NewProject()) return;
    syncControlsFromHeader();
    clearTaskGrid(inpGrid_, 1);
    clearTaskGrid(outGrid_, 1);
    initLayout();
    refreshGrid("Macro");
}

void MainWindow::Open_File() {
    const std::string previous = document_->ProjectPath;
    if (!document_->OpenFile(recent_.get())) {
        // Cancelled: the project stays open without a name, so that Save
        // asks for one. A failed load keeps the previous name.
        if (!document_->ProjectPath.empty()) document_->ProjectPath = previous;
        return;
    }
    syncControlsFromHeader();
    initLayout();
    selectFirstTab();
    refreshGrid("Macro");
}

void MainWindow::Save_File() {
    commitMacro();
    document_->SaveFile(recent_.get());
}

void MainWindow::Save_As_File() {
    commitMacro();
    document_->SaveFileAs(recent_.get());
}

void MainWindow::Recent_Files() {
    if (driver_->running()) return;
    RecentFilesWindow window(*recent_, ui_, [this](const std::string& path) { openProjectPath(path); }, this);
    window.exec();
}

void MainWindow::Exit() {
    if (ui_.askYesNo("Korvaneを終了しますか？")) close();
}

void MainWindow::openWindow(const char* form, const char* caption, WindowRequest* request) {
    WindowRequest plain;
    WindowRequest& r = request ? *request : plain;
    r.form = form;
    r.caption = caption;
    if (!OpenRegisteredWindow(*this, r)) ui_.showMessage(WindowNotAvailableMessage(caption));
}

void MainWindow::CurrentValue() {
    if (!CheckDbPath(S(dbField_->text->text()), ui_)) return;
    openWindow("Current_Value_Form", "現在値");
}

void MainWindow::InitialSetting() { openWindow("Init_Value_Form", "初期値"); }

void MainWindow::RestrictionSetting() { openWindow("Restriction_Value_Form", "制限値"); }

void MainWindow::MonteCarlo() {
    taskCombo_->setCurrentIndex(2);
    openWindow("Sampling_Setting_Form", "MonteCarlo設定");
}

void MainWindow::DataFile_Input() {
    taskCombo_->setCurrentIndex(1);
    openWindow("DB_Input_Cal_Form", "DataFile Input設定");
}

void MainWindow::Orthogonal_Table_Setting() {
    taskCombo_->setCurrentIndex(3);
    openWindow("Orthogonal_Table_Form", "Orthogonal Table設定");
}

void MainWindow::UserScroll_Menu() {
    taskCombo_->setCurrentIndex(4);
    if (!IsWindowRegistered("User_Var_Start_Form")) {
        ui_.showMessage(WindowNotAvailableMessage("UserScroll Mode"));
        return;
    }
    if (!CheckExcelPath(S(excelField_->text->text()), ui_)) return;
    if (!ui_.askYesNo(kSaveBeforeRunQuestion)) return;
    Save_File();
    if (document_->ProjectPath.empty()) return;
    ResetRunArrays(state_);
    std::string error;
    if (!LoadProjectForRun(state_, document_->header, document_->WorkingCopy(), error)) {
        ui_.showMessage(error);
        return;
    }
    openWindow("User_Var_Start_Form", "UserScroll Mode");
}

void MainWindow::Graph_Draw() { openWindow("MDIForm1", "グラフ作成"); }

void MainWindow::analysisWithQuestion(const char* form, const char* caption) {
    if (!IsWindowRegistered(form)) {
        ui_.showMessage(WindowNotAvailableMessage(caption));
        return;
    }
    const std::string path = ui_.chooseFile(kCsvFilter, kDbDialogTitle, "", false);
    if (path.empty()) return;
    WindowRequest request;
    request.filePath = path;
    // Yes leaves the rows outside the restriction limits out.
    request.includeInvalidRows = !ui_.askYesNo(kAnalysisQuestion);
    openWindow(form, caption, &request);
}

void MainWindow::Stdev_Ave_etc() { analysisWithQuestion("Stdev_Form", "平均、標準偏差等"); }

void MainWindow::Sens() { analysisWithQuestion("Sens_Prgrs_Form", "感度解析"); }

void MainWindow::Sobol() { analysisWithQuestion("Sobol_Form", "Sobol'感度指数"); }

void MainWindow::Fact_Effts() {
    if (!IsWindowRegistered("Factorial_Effects_Form")) {
        ui_.showMessage(WindowNotAvailableMessage("要因効果図(直交表用)"));
        return;
    }
    const std::string path = ui_.chooseFile(kCsvFilter, kDbDialogTitle, "", false);
    if (path.empty()) return;
    WindowRequest request;
    request.filePath = path;
    openWindow("Factorial_Effects_Form", "要因効果図(直交表用)", &request);
}

void MainWindow::Version() {
    SplashWindow window(SplashWindow::Mode::Version, this);
    window.exec();
}

void MainWindow::Help() {
    const std::string path = ResolveAppRelative("\\Help\\Help.pdf", appFolder_);
    std::string error;
    if (!hooks_.openDocument(path, error)) ui_.showMessage(error);
}

// Run, from the menu or the toolbar, needs both paths filled in and no run on.
bool MainWindow::runAllowed() const {
    return !driver_->running() && !excelField_->text->text().isEmpty() && !dbField_->text->text().isEmpty();
}

void MainWindow::Run() {
    if (!runAllowed()) return;
    if (taskCombo_->currentText() == Q(plan::UserScroll)) {
        UserScroll_Menu();
        return;
    }
    commitMacro();
    driver_->RunCommand();
    if (closeAfterRun_) close();
}

void MainWindow::Resume_Run() {
    if (!runAllowed()) return;
    if (taskCombo_->currentText() == Q(plan::UserScroll) || taskCombo_->currentText() == Q(plan::Single)) {
        ui_.showMessage("再開できるのは MonteCarlo、DataFile Input、Orthogonal Table の計算だけです。");
        return;
    }
    commitMacro();
    RunOptions options = driver_->runOptions();
    options.resume = true;
    driver_->setRunOptions(options);
    driver_->RunCommand();
    options.resume = false;
    driver_->setRunOptions(options);
    if (closeAfterRun_) close();
}

void MainWindow::Run_Options() {
    if (driver_->running()) return;
    openWindow("RunOptions_Form", "実行オプション");
}

void MainWindow::Pause_M() {
    if (state_.StopRequested) return;
    PauseWindow window(this);
    window.exec();
    if (window.stopChosen()) driver_->Stop();
}

void MainWindow::Stop() { driver_->Stop(); }

int MainWindow::commandLineRun(const std::string& commandLineText) {
    // The driver loads the project itself and says so; the controls follow.
    commandLineLoadPending_ = true;
    int status = driver_->CommandLineRun(commandLineText);
    commandLineLoadPending_ = false;
    progress_->setValue(0);
    return status;
}

}  // namespace korvane

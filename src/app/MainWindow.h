#pragma once
// Main_Form: the program's main window. It holds the open project's header
// values in its controls (bound both ways to ProjectDocument::header), shows
// the project's task lists in five tabbed grids rebuilt from the working
// copy, reaches every other window through its menus and toolbar, and shows
// a run's progress as the run driver's observer.

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "ui/Twips.h"
#include "ui/WindowHost.h"
#include "project/ExeFlow.h"
#include "run/RunDriver.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTabBar;
class QTableWidget;
class QToolBar;

namespace korvane {

class LiveFiguresPanel;
class LiveSummary;
class ProjectDocument;
class RecentFiles;
class UserInterface;
struct RunState;
struct HeaderValues;
struct WindowRequest;

class MainWindow : public QMainWindow, public RunObserver, public WindowHost {
    Q_OBJECT
public:
    // The desktop actions, replaceable (tests record them instead).
    struct Hooks {
        // Help: the desktop's default viewer. False with a message text.
        std::function<bool(const std::string& path, std::string& error)> openDocument;
        // The file fields' popup: a new, visible spreadsheet instance.
        std::function<bool(const std::string& path, std::string& error)> openInSpreadsheet;
    };

    // `appFolder` holds the working copy, the recent list and the assets.
    MainWindow(UserInterface& ui, RunState& state, WorkbookLinkFactory factory, std::string appFolder,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // ------------------------------------------------ WindowHost
    QWidget* hostWindow() override { return this; }
    ProjectDocument& document() override { return *document_; }
    UserInterface& ui() override { return ui_; }
    RunState& runState() override { return state_; }
    RunDriver& driver() override { return *driver_; }
    const WorkbookLinkFactory& linkFactory() const override { return factory_; }
    const std::string& appFolder() const override { return appFolder_; }
    void refreshGrid(const std::string& key) override;
    void lockHost(bool locked) override;
    void setVisibleCheck(bool visible) override;
    std::shared_ptr<const LiveSummary> liveSummary() const override;
    // The exe grid's rows (markers included), for the exe settings window,
    // which edits the flow list in place.
    ExeGrid exeGridRows() const override;
    // Shows `grid` in the exe grid, styled, with `selectRow` current.
    void fillExeGrid(const ExeGrid& grid, int selectRow) override;
    // Writes the exe grid into the "<<Shell Task>>" section.
    bool saveExeGrid() override { return Exe_Set_Save_to_tmpFile1(); }

    // ------------------------------------------------ for the program
    RecentFiles& recentFiles() { return *recent_; }
    Hooks& hooks() { return hooks_; }
    // "Inp" or "Out": the list the input-task editor edits.
    std::string EditTarget;
    // Layout initialisation: the first frame shown, grid headers and widths.
    void initLayout();
    // Selects the first tab "入力操作", which refreshes its grid.
    void selectFirstTab();
    // Loads the project at `path` into the window (drop, recent files):
    // ProjectPath, LoadProjectToWindow, layout, first tab. On failure the
    // previous project stays open, under its previous name.
    bool openProjectPath(const std::string& path);
    // As above, and the project joins the recent files: a dropped project, or
    // one the desktop opens with the program.
    bool openProjectFile(const std::string& path);
    // The exe grid's current row (0-based).
    int exeGridCurrentRow() const;
    bool Exe_Set_Save_to_tmpFile1();

    // ------------------------------------------------ commands
    void New_File();
    void Open_File();
    void Save_File();
    void Save_As_File();
    void Recent_Files();
    void Exit();
    void CurrentValue();
    void InitialSetting();
    void RestrictionSetting();
    void MonteCarlo();
    void DataFile_Input();
    void Orthogonal_Table_Setting();
    void UserScroll_Menu();
    void Run();
    // Continues the project's interrupted study from its DB file.
    void Resume_Run();
    // The run options window (workers, time limit), kept outside the project.
    void Run_Options();
    void Pause_M();
    void Stop();
    void Graph_Draw();
    void Stdev_Ave_etc();
    void Sens();
    void Sobol();
    void Fact_Effts();
    void Version();
    void Help();

    // The unattended run of a command-line project, with this window shown
    // as its observer; returns the exit status.
    int commandLineRun(const std::string& commandLineText);

    // ------------------------------------------------ RunObserver
    void lockWindow(bool locked) override;
    void projectLoaded() override;
    void setProgressMaximum(std::int64_t total) override;
    void showStatus(const std::string& statusText) override;
    void showProgress(std::int64_t counter, std::int64_t value, const std::string& statusText) override;
    void linesBegin(const std::vector<std::string>& outputNames) override;
    void lineWritten(std::span<const std::string> outputs, bool valid) override;
    void eventPass() override;
    void showEndWindow(const EndCounts& counts) override;

signals:
    // The window closed: the program ends.
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool runAllowed() const;
    struct FileField;
    void buildHeader(QWidget* central);
    void buildTabs(QWidget* central);
    void buildMenus();
    void buildToolbar();
    QAction* command(const char* name);
    void syncControlsFromHeader();
    void onTabSelected(int index);
    void applyGridLayouts();
    void styleExeGrid(int selectRow);
    void moveExeRow(int direction);
    void exeGridDoubleClicked(int row);
    void addExe();
    void taskGridDoubleClicked(QTableWidget* grid, const char* target, int row);
    void replaceGridDoubleClicked(int row);
    void fileTextChanged(FileField& field);
    void fileDoubleClicked(FileField& field);
    void browse(FileField& field);
    void openFromPopup(FileField& field);
    void showFilePopup(FileField& field, const QPoint& globalPos);
    bool handleDrop(QEvent* event);
    void dropFile(const std::string& path);
    void commitMacro();
    void openWindow(const char* form, const char* caption, WindowRequest* request = nullptr);
    void analysisWithQuestion(const char* form, const char* caption);
    void clearTaskGrid(QTableWidget* grid, int rows);

    UserInterface& ui_;
    RunState& state_;
    WorkbookLinkFactory factory_;
    std::string appFolder_;
    std::unique_ptr<ProjectDocument> document_;
    std::unique_ptr<RecentFiles> recent_;
    std::unique_ptr<RunDriver> driver_;
    // Fed by the run's lines; the panel and the convergence pictures hold
    // shares of it.
    std::shared_ptr<LiveSummary> live_;
    Hooks hooks_;

    std::unique_ptr<FileField> excelField_;
    std::unique_ptr<FileField> dbField_;
    QWidget* frame1_ = nullptr;
    QButtonGroup* modeGroup_ = nullptr;
    QRadioButton* optionOW_ = nullptr;
    QRadioButton* optionAP_ = nullptr;
    QCheckBox* visibleCheck_ = nullptr;
    QComboBox* taskCombo_ = nullptr;
    QLineEdit* calcCount_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QTabBar* tabs_ = nullptr;
    QStackedWidget* frames_ = nullptr;
    QTableWidget* inpGrid_ = nullptr;
    QTableWidget* replaceGrid_ = nullptr;
    QTableWidget* outGrid_ = nullptr;
    QTableWidget* exeGrid_ = nullptr;
    QLineEdit* macroText_ = nullptr;
    LiveFiguresPanel* livePanel_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    std::map<QString, void (MainWindow::*)()> commandSlots_;
    bool macroEdited_ = false;
    bool closeAfterRun_ = false;
    bool commandLineLoadPending_ = false;
};

}  // namespace korvane

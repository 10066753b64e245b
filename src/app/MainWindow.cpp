// The main window's frame: construction, the header with the two file
// fields and the plan box, drops and double-clicks, closing, and the run
// driver's observer. Its menus and commands, task grids and flow list have
// files of their own (MainWindowCommands, MainWindowGrids, MainWindowFlow).
#include "app/MainWindow.h"

#include <cstdint>

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "Artwork.h"
#include "Desktop.h"
#include "DropFiles.h"
#include "WindowRegistry.h"
#include "app/MainWindowParts.h"
#include "analysis/LiveSummary.h"
#include "platform/UserInterface.h"
#include "project/Paths.h"
#include "project/ProjectDocument.h"
#include "project/RecentFiles.h"
#include "project/RunState.h"
#include "run/RunDriver.h"
#include "run/RunOptions.h"
#include "run/windows/ConvergenceWindow.h"
#include "run/windows/LiveFiguresPanel.h"
#include "run/windows/RunWindows.h"
#include "ui/LegendWindow.h"
#include "ui/NumericBox.h"

namespace korvane {

using namespace main_window;

MainWindow::MainWindow(UserInterface& ui, RunState& state, WorkbookLinkFactory factory, std::string appFolder,
                       QWidget* parent)
    : QMainWindow(parent),
      ui_(ui),
      state_(state),
      factory_(std::move(factory)),
      appFolder_(std::move(appFolder)),
      document_(std::make_unique<ProjectDocument>(ui_, appFolder_)),
      recent_(std::make_unique<RecentFiles>(appFolder_)),
      driver_(std::make_unique<RunDriver>(ui_, *this, *document_, state_, factory_, recent_.get())),
      live_(std::make_shared<LiveSummary>()),
      excelField_(std::make_unique<FileField>()),
      dbField_(std::make_unique<FileField>()) {
    RegisterKnownWindows();
    // Workers and time limit belong to this machine: the settings file of
    // the application folder, never the project.
    RunOptions options;
    LoadRunOptions(appFolder_, options);
    driver_->setRunOptions(options);
    hooks_.openDocument = OpenWithDefaultViewer;
    hooks_.openInSpreadsheet = OpenInSpreadsheet;

    setObjectName(QStringLiteral("Main_Form"));
    setWindowTitle(QStringLiteral("Korvane"));
    setWindowIcon(QIcon(KorvaneLogo(64)));
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(TwipsToPixels(90), 4, TwipsToPixels(90), 0);
    layout->setSpacing(4);
    setCentralWidget(central);
    buildHeader(central);
    buildTabs(central);
    // Under the task grids: the figures of the run in progress.
    livePanel_ = new LiveFiguresPanel(live_, &ui_, central);
    livePanel_->setMaximumHeight(176);
    layout->addWidget(livePanel_);
    buildMenus();
    buildToolbar();
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    resize(1100, 720);
    setMinimumSize(820, 540);

    // Form_Load: a new project, the layout, an idle run state.
    New_File();
    ResetRunArrays(state_);
}

MainWindow::~MainWindow() {
    // The panel's timer and the open convergence pictures end before the run
    // driver and the rest of the window: nothing looks at the figures any more.
    for (ConvergenceWindow* chart : findChildren<ConvergenceWindow*>()) delete chart;
    delete livePanel_;
    livePanel_ = nullptr;
}

void MainWindow::buildHeader(QWidget* central) {
    frame1_ = new QWidget(central);
    frame1_->setObjectName(QStringLiteral("Frame1"));
    frame1_->setAcceptDrops(true);
    frame1_->installEventFilter(this);
    auto* grid = new QGridLayout(frame1_);
    grid->setContentsMargins(0, 2, 0, 2);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    auto makeField = [&](FileField& f, int row, const char* labelName, const char* caption, const char* textName,
                         const char* buttonName, const char* buttonTip, const char* popupName, const char* popupItem,
                         const char* popupCaption) {
        f.label = new QLabel(Q(caption), frame1_);
        f.label->setObjectName(Q(labelName));
        f.label->installEventFilter(this);
        f.text = new QLineEdit(frame1_);
        f.text->setObjectName(Q(textName));
        f.text->setToolTip(Q(kFileFieldTip));
        f.text->setContextMenuPolicy(Qt::CustomContextMenu);
        f.text->installEventFilter(this);
        f.browse = new QPushButton(QStringLiteral("..."), frame1_);
        f.browse->setObjectName(Q(buttonName));
        f.browse->setToolTip(Q(buttonTip));
        f.browse->setFixedWidth(32);
        f.popup = new QMenu(this);
        f.popup->setObjectName(Q(popupName));
        QAction* open = f.popup->addAction(Q(popupCaption));
        open->setObjectName(Q(popupItem));
        FileField* fp = &f;
        connect(open, &QAction::triggered, this, [this, fp] { openFromPopup(*fp); });
        connect(f.text, &QLineEdit::textChanged, this, [this, fp] { fileTextChanged(*fp); });
        connect(f.browse, &QPushButton::clicked, this, [this, fp] { browse(*fp); });
        connect(f.text, &QLineEdit::customContextMenuRequested, this, [this, fp](const QPoint& pos) {
            showFilePopup(*fp, fp->text->mapToGlobal(pos));
        });
        grid->addWidget(f.label, row, 0);
        grid->addWidget(f.text, row, 1, 1, 3);
        grid->addWidget(f.browse, row, 4);
    };
    excelField_->filter = "*.xls*|*.xls*";
    excelField_->title = "Excelファイルを選択";
    excelField_->member = &HeaderValues::workbookPath;
    makeField(*excelField_, 0, "Label2", "Excel File   ：", "Exl_Brws_Text", "Exl_Brws_Button", "エクセルファイルを選択",
              "Dummy_Mn", "Open_Excl_Pop", "エクセルファイルを開く(&O)");
    dbField_->filter = kCsvFilter;
    dbField_->title = "Csvファイルを選択";
    dbField_->member = &HeaderValues::dbPath;
    makeField(*dbField_, 1, "Label1", "DataBase File：", "DB_Brws_Text", "DB_Brws_Button",
              "データベースファイル保存先を選択", "Dummy_Mn1", "Open_DB_Pop", "データベースファイルを開く(&O)");

    // Visibility beside the workbook, write mode beside the DB file.
    visibleCheck_ = new QCheckBox(QStringLiteral("実行時表示"), frame1_);
    visibleCheck_->setObjectName(QStringLiteral("Exl_Visbl_Check"));
    grid->addWidget(visibleCheck_, 0, 5, 1, 2);
    connect(visibleCheck_, &QCheckBox::toggled, this,
            [this](bool on) { document_->header.visible = on ? 1 : 0; });

    const QString modeTip = QStringLiteral("データベース書き込みモード　OW：上書き AP：追加");
    optionOW_ = new QRadioButton(QStringLiteral("OW"), frame1_);
    optionOW_->setObjectName(QStringLiteral("Option_OW"));
    optionOW_->setToolTip(modeTip);
    optionAP_ = new QRadioButton(QStringLiteral("AP"), frame1_);
    optionAP_->setObjectName(QStringLiteral("Option_AP"));
    optionAP_->setToolTip(modeTip);
    modeGroup_ = new QButtonGroup(this);
    modeGroup_->addButton(optionOW_);
    modeGroup_->addButton(optionAP_);
    grid->addWidget(optionOW_, 1, 5);
    grid->addWidget(optionAP_, 1, 6);
    auto takeMode = [this] {
        document_->header.optionOW = optionOW_->isChecked();
        document_->header.optionAP = optionAP_->isChecked();
    };
    connect(optionOW_, &QRadioButton::toggled, this, takeMode);
    connect(optionAP_, &QRadioButton::toggled, this, takeMode);

    auto* label3 = new QLabel(QStringLiteral("Task Plan    ："), frame1_);
    label3->setObjectName(QStringLiteral("Label3"));
    taskCombo_ = new QComboBox(frame1_);
    taskCombo_->setObjectName(QStringLiteral("TaskCombo"));
    for (const char* p : kPlans) taskCombo_->addItem(Q(p));
    taskCombo_->setMinimumWidth(190);
    connect(taskCombo_, &QComboBox::currentIndexChanged, this, [this](int index) {
        // Index -1 shows a plan name the list does not hold; the name itself
        // stays in the project.
        if (index >= 0) document_->header.plan = S(taskCombo_->itemText(index));
    });
    auto* label5 = new QLabel(QStringLiteral("Counter："), frame1_);
    label5->setObjectName(QStringLiteral("Label5"));
    calcCount_ = new QLineEdit(frame1_);
    calcCount_->setObjectName(QStringLiteral("Calc_Cnt_Text"));
    calcCount_->setFixedWidth(90);
    calcCount_->setAlignment(Qt::AlignRight);
    BindNumericFilter(calcCount_, ui_);
    calcCount_->installEventFilter(this);
    progress_ = new QProgressBar(frame1_);
    progress_->setObjectName(QStringLiteral("ProgressBar1"));
    progress_->setRange(0, 1);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setMinimumWidth(160);
    auto* planRow = new QHBoxLayout;
    planRow->setSpacing(8);
    planRow->addWidget(taskCombo_);
    planRow->addSpacing(24);
    planRow->addWidget(label5);
    planRow->addWidget(calcCount_);
    planRow->addWidget(progress_, 1);
    grid->addWidget(label3, 2, 0);
    grid->addLayout(planRow, 2, 1, 1, 6);
    grid->setColumnStretch(1, 1);

    static_cast<QVBoxLayout*>(central->layout())->addWidget(frame1_);
}

void MainWindow::syncControlsFromHeader() {
    const HeaderValues h = document_->header;
    // Text changes go through the change handler like typing does (a path
    // inside the application folder becomes relative).
    excelField_->text->setText(Q(h.workbookPath));
    dbField_->text->setText(Q(h.dbPath));
    {
        QSignalBlocker b1(optionOW_), b2(optionAP_), b3(visibleCheck_), b4(taskCombo_);
        modeGroup_->setExclusive(false);
        optionOW_->setChecked(h.optionOW);
        optionAP_->setChecked(h.optionAP);
        modeGroup_->setExclusive(true);
        visibleCheck_->setChecked(h.visible != 0);
        taskCombo_->setCurrentIndex(taskCombo_->findText(Q(h.plan)));
    }
    document_->header.optionOW = h.optionOW;
    document_->header.optionAP = h.optionAP;
    document_->header.visible = h.visible;
    document_->header.plan = h.plan;
}

void MainWindow::fileTextChanged(FileField& field) {
    const std::string text = S(field.text->text());
    const std::string stored = StoreAppRelative(text, appFolder_);
    if (stored != text) {
        // Fires this handler again with the stored form.
        field.text->setText(Q(stored));
        return;
    }
    // The tooltip shows the whole path, even one wider than the box; an
    // emptied box has none.
    field.text->setToolTip(Q(text));
    document_->header.*field.member = text;
}

void MainWindow::fileDoubleClicked(FileField& field) {
    const std::string text = S(field.text->text());
    if (text.empty()) {
        if (field.browse->isEnabled()) browse(field);
    } else if (CheckPath(text)) {
        openFromPopup(field);
    }
}

void MainWindow::browse(FileField& field) {
    const std::string text = S(field.text->text());
    const std::string start = text.empty() ? appFolder_ : PathPart(ResolveAppRelative(text, appFolder_), 3);
    const std::string chosen = ui_.chooseFile(field.filter, field.title, start, false);
    if (!chosen.empty()) field.text->setText(Q(chosen));
}

void MainWindow::showFilePopup(FileField& field, const QPoint& globalPos) {
    if (CheckPath(S(field.text->text()))) {
        field.popup->popup(globalPos);
        return;
    }
    // Not a file: the text box's own editing menu.
    QMenu* standard = field.text->createStandardContextMenu();
    standard->setAttribute(Qt::WA_DeleteOnClose);
    standard->popup(globalPos);
}

void MainWindow::openFromPopup(FileField& field) {
    const std::string path = ResolveAppRelative(S(field.text->text()), appFolder_);
    std::string error;
    if (!hooks_.openInSpreadsheet(path, error)) ui_.showMessage(error);
}

void MainWindow::commitMacro() {
    // Only a text the user changed is written: the box may not have been
    // shown since the project was loaded.
    if (!macroEdited_) return;
    if (document_->RewriteKeyedLine(key::Macro, S(macroText_->text()))) macroEdited_ = false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        // Files dropped on the macro or counter box belong to the frame
        // around it; plain text is left to the box.
        if (handleDrop(event)) return true;
        break;
    case QEvent::MouseButtonDblClick:
        for (FileField* f : {excelField_.get(), dbField_.get()}) {
            if (watched == f->text || watched == f->label) {
                fileDoubleClicked(*f);
                return true;
            }
        }
        // The header frame's own background, not a label in it (whose
        // unused double-clicks arrive here too).
        if (watched == frame1_ &&
            !frame1_->childAt(static_cast<QMouseEvent*>(event)->position().toPoint())) {
            Recent_Files();
            return true;
        }
        break;
    case QEvent::FocusOut:
        if (watched == macroText_) commitMacro();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool MainWindow::handleDrop(QEvent* event) {
    auto* drop = static_cast<QDropEvent*>(event);
    if (!drop->mimeData()->hasUrls()) return false;
    if (driver_->running()) {
        // Nothing changes the project while it runs, not even a text drop.
        drop->ignore();
        return true;
    }
    if (event->type() != QEvent::Drop) {
        drop->acceptProposedAction();
        return true;
    }
    drop->acceptProposedAction();
    const QList<QUrl> urls = drop->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) dropFile(S(urls.first().toLocalFile()));
    return true;
}

void MainWindow::dropFile(const std::string& path) {
    switch (ClassifyDroppedFile(path)) {
    case DroppedFileKind::Project:
        openProjectFile(path);
        break;
    case DroppedFileKind::Workbook:
        if (excelField_->text->text().isEmpty() || ui_.askYesNo(kReplaceWorkbookQuestion))
            excelField_->text->setText(Q(path));
        break;
    case DroppedFileKind::Database:
        if (dbField_->text->text().isEmpty() || ui_.askYesNo(kReplaceDatabaseQuestion))
            dbField_->text->setText(Q(path));
        break;
    case DroppedFileKind::Ignored:
        break;
    }
}

void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double-click on the window's background opens the recent files; the
    // status bar, the toolbar, the tab strip and the labels pass their unused
    // double-clicks on to here and open nothing.
    QWidget* hit = childAt(event->position().toPoint());
    if (hit == centralWidget() || (hit && hit->parentWidget() == frames_)) Recent_Files();
    QMainWindow::mouseDoubleClickEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (driver_->running()) {
        // The run ends at its next event pass with whole lines; the window
        // closes after it.
        closeAfterRun_ = true;
        driver_->Stop();
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

bool MainWindow::openProjectPath(const std::string& path) {
    const std::string previous = document_->ProjectPath;
    document_->ProjectPath = path;
    if (!document_->LoadProjectToWindow()) {
        document_->ProjectPath = previous;
        return false;
    }
    syncControlsFromHeader();
    initLayout();
    selectFirstTab();
    refreshGrid("Macro");
    return true;
}

bool MainWindow::openProjectFile(const std::string& path) {
    if (!openProjectPath(path)) return false;
    recent_->AddRecent(path);
    return true;
}

void MainWindow::projectLoaded() {
    if (!commandLineLoadPending_) return;
    commandLineLoadPending_ = false;
    syncControlsFromHeader();
    initLayout();
    selectFirstTab();
    refreshGrid("Macro");
}

void MainWindow::showStatus(const std::string& statusText) { statusBar()->showMessage(Q(statusText)); }

void MainWindow::lockWindow(bool locked) {
    const bool on = !locked;
    // A run ended: its last lines are shown at once, not at the next tick.
    if (on && livePanel_) livePanel_->refresh();
    for (const char* name : {"New_File", "Open_File", "Save_File", "Save_As_File", "Run", "Resume_Run", "Run_Options",
                             "New_File_Mn1",
                             "Open_File_Mn1", "Save_File_Mn1", "Save_As_File_Mn1", "Run_Mn1", "CurrentValue_Mn1",
                             "InitialSetting_Mn1", "RestrictionSetting_Mn1", "MonteCarlo_Mn1", "DataFile_Input_Mn1",
                             "Orthogonal_Table_Setting_Mn1", "UserScroll_Menu_Mn1", "Graph_Draw_Mn1",
                             "Stdev_Ave_etc_Mn1", "Sens_Mn1", "Fact_Effts_Mn1"})
        command(name)->setEnabled(on);
    if (on) command("Run_Mn1")->setEnabled(runAllowed());
    for (const char* menu : {"Planning", "VarSetting", "Data_Shori"})
        findChild<QMenu*>(Q(menu))->menuAction()->setEnabled(on);
    for (const char* frame : {"Inp_Frame", "Macro_Frame", "Out_Frame", "Exe_Frame"})
        findChild<QWidget*>(Q(frame))->setEnabled(on);
    for (QWidget* w : std::initializer_list<QWidget*>{tabs_, taskCombo_, optionOW_, optionAP_, excelField_->browse,
                                                      dbField_->browse})
        w->setEnabled(on);
}

void MainWindow::lockHost(bool locked) {
    lockWindow(locked);
    // Everything else too: the project must not change under the window that
    // locked it (no file drops, no other project opened).
    menuBar()->setEnabled(!locked);
    if (centralWidget()) centralWidget()->setEnabled(!locked);
    for (QToolBar* bar : findChildren<QToolBar*>()) bar->setEnabled(!locked);
}

void MainWindow::setProgressMaximum(std::int64_t total) {
    // A maximum of 0 would turn the bar into a busy indicator.
    if (total > 0) progress_->setRange(0, static_cast<int>(std::min<std::int64_t>(total, INT32_MAX)));
}

void MainWindow::showProgress(std::int64_t counter, std::int64_t value, const std::string& statusText) {
    if (!statusText.empty()) {
        calcCount_->setText(QString::number(static_cast<qlonglong>(counter)));
        statusBar()->showMessage(Q(statusText));
    }
    progress_->setValue(static_cast<int>(std::min<std::int64_t>(value, progress_->maximum())));
}

void MainWindow::linesBegin(const std::vector<std::string>& outputNames) { live_->begin(outputNames); }

void MainWindow::lineWritten(std::span<const std::string> outputs, bool valid) { live_->addLine(outputs, valid); }

std::shared_ptr<const LiveSummary> MainWindow::liveSummary() const { return live_; }

void MainWindow::eventPass() { QCoreApplication::processEvents(); }

void MainWindow::setVisibleCheck(bool visible) { visibleCheck_->setChecked(visible); }

void MainWindow::showEndWindow(const EndCounts& counts) {
    EndWindow window(counts, this);
    window.exec();
}

}  // namespace korvane

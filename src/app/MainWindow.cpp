#include "MainWindow.h"

#include <algorithm>
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
#include <QHeaderView>
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
#include <QTabBar>
#include <QTableWidget>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "Artwork.h"
#include "Desktop.h"
#include "DropFiles.h"
#include "ui/LegendWindow.h"
#include "ui/NumericBox.h"
#include "RecentFilesWindow.h"
#include "RunWindows.h"
#include "SplashWindow.h"
#include "WindowRegistry.h"
#include "platform/UserInterface.h"
#include "project/Paths.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "project/RecentFiles.h"
#include "project/RunState.h"
#include "project/NumericFilter.h"
#include "run/RunDriver.h"
#include "run/RunOptions.h"

namespace korvane {

namespace {

const char* const kFileFieldTip = "ダブルクリックでファイルを選択又は開きます。";
const char* const kSaveBeforeRunQuestion = "計算実行前にプロジェクトを保存する必要があります。保存して実行しますか？";
const char* const kAnalysisQuestion = "制限値外のデータを含めずに解析しますか？";
const char* const kDbDialogTitle = "DBファイルを選択";
const char* const kCsvFilter = "*.csv|*.csv";

// The tabs in order: caption, internal key, frame name.
struct TabInfo {
    const char* caption;
    const char* key;
    const char* frame;
};
const TabInfo kTabs[] = {{"入力操作", "Inp", "Inp_Frame"},
                         {"入力置換", "InpRplc", "Inp_Rplc_Frame"},
                         {"マクロ実行", "Macro", "Macro_Frame"},
                         {"読込操作", "Out", "Out_Frame"},
                         {"exe実行", "ShellExe", "Exe_Frame"}};

// The grids: name, column captions and widths (1/1440 inch), tooltip.
struct GridInfo {
    const char* name;
    std::vector<std::pair<const char*, int>> columns;
    const char* tooltip;
};
const GridInfo kInpGrid{"Inp_CellsGrid",
                        {{"変数名", 2800}, {"セル番地", 1050}, {"シート名", 2000}, {"フォーマット", 2000}},
                        "ダブルクリックでエクセルに対する入力を追加又は編集します。"};
const GridInfo kReplaceGrid{"Replace_CellsGrid",
                            {{"変数名", 2800}, {"置換設定", 5040}},
                            "入力操作タブにてフォーマットに「Replace」を選択したアイテムに対し、置換する文字を設定します。"};
const GridInfo kOutGrid{"Out_CellsGrid",
                        {{"変数名", 2800}, {"セル番地", 1050}, {"シート名", 3990}},
                        "ダブルクリックでエクセルからの読出し項目を追加又は編集します。"};
const GridInfo kExeGrid{"Exe_CellsGrid",
                        {{"exe名称", 1500}, {"Cmd Line引数", 1500}, {"パス", 4850}},
                        "exe、batファイル等の実行を行います。"};

// The plan box's items, in list order.
const char* const kPlans[] = {plan::Single, plan::DataFileInput, plan::MonteCarlo, plan::OrthogonalTable,
                              plan::UserScroll};

// The marker style of the exe grid: colour &HFFC0C0 (BGR) on a dark row, so
// the light colour reads well.
const QColor kMarkerColour(0xC0, 0xC0, 0xFF);
const QColor kMarkerBackground(38, 50, 88);

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Q(const char* s) { return QString::fromUtf8(s); }
std::string S(const QString& s) { return s.toStdString(); }

QTableWidget* MakeGrid(QWidget* parent, const GridInfo& info) {
    auto* grid = new QTableWidget(1, static_cast<int>(info.columns.size()), parent);
    grid->setObjectName(Q(info.name));
    grid->setToolTip(Q(info.tooltip));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(22);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setAcceptDrops(true);
    grid->viewport()->setAcceptDrops(true);
    return grid;
}

void ApplyGridLayout(QTableWidget* grid, const GridInfo& info) {
    QStringList captions;
    for (const auto& c : info.columns) captions << Q(c.first);
    grid->setHorizontalHeaderLabels(captions);
    for (int i = 0; i < static_cast<int>(info.columns.size()); ++i)
        grid->setColumnWidth(i, TwipsToPixels(info.columns[static_cast<std::size_t>(i)].second));
}

void SetCell(QTableWidget* grid, int row, int column, const std::string& text, Qt::Alignment align = Qt::AlignLeft) {
    auto* item = new QTableWidgetItem(Q(text));
    item->setTextAlignment(align | Qt::AlignVCenter);
    grid->setItem(row, column, item);
}

std::string CellText(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? S(item->text()) : std::string();
}

QWidget* MakeFrame(QWidget* parent, const char* name) {
    auto* frame = new QWidget(parent);
    frame->setObjectName(Q(name));
    return frame;
}

}  // namespace

// One of the two file fields (workbook, DB file): text box, its label, the
// browse button, the popup menu and its dialog texts.
struct MainWindow::FileField {
    QLineEdit* text = nullptr;
    QLabel* label = nullptr;
    QPushButton* browse = nullptr;
    QMenu* popup = nullptr;
    const char* filter = nullptr;
    const char* title = nullptr;
    std::string HeaderValues::*member = nullptr;
};

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
    buildMenus();
    buildToolbar();
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    resize(1100, 720);
    setMinimumSize(820, 540);

    // Form_Load: a new project, the layout, an idle run state.
    New_File();
    ResetRunArrays(state_);
}

MainWindow::~MainWindow() = default;

// ---------------------------------------------------------------- building

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

void MainWindow::buildTabs(QWidget* central) {
    tabs_ = new QTabBar(central);
    tabs_->setObjectName(QStringLiteral("TabStrip1"));
    tabs_->setExpanding(false);
    frames_ = new QStackedWidget(central);
    for (const TabInfo& t : kTabs) {
        int i = tabs_->addTab(Q(t.caption));
        tabs_->setTabData(i, Q(t.key));
        QWidget* frame = MakeFrame(frames_, t.frame);
        frames_->addWidget(frame);
    }
    auto* inpFrame = frames_->widget(0);
    auto* rplcFrame = frames_->widget(1);
    auto* macroFrame = frames_->widget(2);
    auto* outFrame = frames_->widget(3);
    auto* exeFrame = frames_->widget(4);

    inpGrid_ = MakeGrid(inpFrame, kInpGrid);
    (new QVBoxLayout(inpFrame))->addWidget(inpGrid_);
    replaceGrid_ = MakeGrid(rplcFrame, kReplaceGrid);
    (new QVBoxLayout(rplcFrame))->addWidget(replaceGrid_);
    outGrid_ = MakeGrid(outFrame, kOutGrid);
    (new QVBoxLayout(outFrame))->addWidget(outGrid_);

    auto* macroLayout = new QGridLayout(macroFrame);
    auto* macroLabel = new QLabel(QStringLiteral("VBAMacro："), macroFrame);
    macroLabel->setObjectName(QStringLiteral("Label4"));
    macroText_ = new QLineEdit(macroFrame);
    macroText_->setObjectName(QStringLiteral("MacroText"));
    macroText_->setToolTip(QStringLiteral("カンマで区切り10個まで登録できます。"));
    macroText_->installEventFilter(this);
    connect(macroText_, &QLineEdit::textEdited, this, [this] { macroEdited_ = true; });
    auto* macroNote = new QLabel(QStringLiteral("※標準モジュール内のPublic Subマクロのみ実行可能"), macroFrame);
    macroNote->setObjectName(QStringLiteral("Label6"));
    macroLayout->addWidget(macroLabel, 0, 0);
    macroLayout->addWidget(macroText_, 0, 1);
    macroLayout->addWidget(macroNote, 1, 1);
    macroLayout->setRowStretch(2, 1);
    macroLayout->setColumnStretch(1, 1);

    exeGrid_ = MakeGrid(exeFrame, kExeGrid);
    auto* exeLayout = new QHBoxLayout(exeFrame);
    exeLayout->addWidget(exeGrid_, 1);
    auto* buttons = new QVBoxLayout;
    auto* flow = new QPushButton(QStringLiteral("計算フロー"), exeFrame);
    flow->setObjectName(QStringLiteral("Command1"));
    auto* add = new QPushButton(QStringLiteral("追加"), exeFrame);
    add->setObjectName(QStringLiteral("Add_exe_Command"));
    add->setToolTip(QStringLiteral("exeファイル、batファイルを追加します。"));
    auto* up = new QPushButton(QStringLiteral("▲"), exeFrame);
    up->setObjectName(QStringLiteral("Up_Command"));
    up->setToolTip(QStringLiteral("実行タイミングを設定します。"));
    auto* down = new QPushButton(QStringLiteral("▼"), exeFrame);
    down->setObjectName(QStringLiteral("Down_Command"));
    down->setToolTip(QStringLiteral("実行タイミングを設定します。"));
    for (QPushButton* b : {flow, add, up, down}) buttons->addWidget(b);
    buttons->addStretch(1);
    exeLayout->addLayout(buttons);

    connect(flow, &QPushButton::clicked, this,
            [this] { ShowLegend(this, ui_, "\\legend_files\\Calc_Flow.BMP", appFolder_); });
    connect(add, &QPushButton::clicked, this, &MainWindow::addExe);
    connect(up, &QPushButton::clicked, this, [this] { moveExeRow(-1); });
    connect(down, &QPushButton::clicked, this, [this] { moveExeRow(+1); });
    connect(exeGrid_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { exeGridDoubleClicked(row); });
    connect(inpGrid_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { taskGridDoubleClicked(inpGrid_, "Inp", row); });
    connect(outGrid_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { taskGridDoubleClicked(outGrid_, "Out", row); });
    connect(replaceGrid_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { replaceGridDoubleClicked(row); });
    connect(tabs_, &QTabBar::currentChanged, this, &MainWindow::onTabSelected);

    // Files may be dropped on the header, the frames and the grids.
    for (QWidget* w : std::initializer_list<QWidget*>{macroFrame, exeFrame, inpGrid_, outGrid_, exeGrid_}) {
        w->setAcceptDrops(true);
        w->installEventFilter(this);
    }
    for (QTableWidget* g : {inpGrid_, outGrid_, exeGrid_}) g->viewport()->installEventFilter(this);

    auto* layout = static_cast<QVBoxLayout*>(central->layout());
    layout->addWidget(tabs_);
    layout->addWidget(frames_, 1);
}

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

// ---------------------------------------------------------------- header

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

// ---------------------------------------------------------------- tabs and grids

void MainWindow::initLayout() {
    {
        QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(0);
    }
    frames_->setCurrentIndex(0);
    applyGridLayouts();
}

void MainWindow::applyGridLayouts() {
    ApplyGridLayout(inpGrid_, kInpGrid);
    ApplyGridLayout(replaceGrid_, kReplaceGrid);
    ApplyGridLayout(outGrid_, kOutGrid);
    ApplyGridLayout(exeGrid_, kExeGrid);
}

void MainWindow::selectFirstTab() {
    if (tabs_->currentIndex() == 0)
        onTabSelected(0);
    else
        tabs_->setCurrentIndex(0);
}

void MainWindow::onTabSelected(int index) {
    if (index < 0) return;
    const QString caption = tabs_->tabText(index);
    for (int i = 0; i < frames_->count(); ++i)
        if (caption == Q(kTabs[i].caption)) frames_->setCurrentIndex(i);
    const std::string key = S(tabs_->tabData(index).toString());
    if (key == "ShellExe") exeGrid_->setVisible(false);
    refreshGrid(key);
    applyGridLayouts();
    if (key == "ShellExe") exeGrid_->setVisible(true);
}

void MainWindow::clearTaskGrid(QTableWidget* grid, int rows) {
    grid->clearContents();
    grid->setRowCount(rows);
}

void MainWindow::refreshGrid(const std::string& key) {
    std::vector<std::string> lines;
    if (!document_->ReadWorkingCopy(lines)) return;
    const Project project = ParseProject(lines);
    if (key == "Inp") {
        // Clearing keeps the row count; listing sets it, with one empty row
        // after the tasks to double-click for a new one.
        inpGrid_->clearContents();
        const auto& tasks = project.inputTasks;
        if (!tasks.empty()) inpGrid_->setRowCount(static_cast<int>(tasks.size()) + 1);
        for (int i = 0; i < static_cast<int>(tasks.size()); ++i) {
            const InputTask& t = tasks[static_cast<std::size_t>(i)];
            SetCell(inpGrid_, i, 0, t.name);
            SetCell(inpGrid_, i, 1, t.range, Qt::AlignHCenter);
            SetCell(inpGrid_, i, 2, t.sheet);
            SetCell(inpGrid_, i, 3, t.formatKind + "," + t.formatArg);
        }
    } else if (key == "Out") {
        outGrid_->clearContents();
        const auto& tasks = project.outputTasks;
        if (!tasks.empty()) outGrid_->setRowCount(static_cast<int>(tasks.size()) + 1);
        for (int i = 0; i < static_cast<int>(tasks.size()); ++i) {
            const OutputTask& t = tasks[static_cast<std::size_t>(i)];
            SetCell(outGrid_, i, 0, t.name);
            SetCell(outGrid_, i, 1, t.range, Qt::AlignHCenter);
            SetCell(outGrid_, i, 2, t.sheet);
        }
    } else if (key == "InpRplc") {
        replaceGrid_->clearContents();
        int n = 0;
        for (const InputTask& t : project.inputTasks) {
            if (t.formatKind != "Replace" || t.formatArg != "Text") continue;
            replaceGrid_->setRowCount(n + 1);
            SetCell(replaceGrid_, n++, 0, t.name);
        }
        for (const ReplaceTask& r : project.replaceTasks) {
            for (int i = 0; i < n; ++i) {
                if (CellText(replaceGrid_, i, 0) == r.name) {
                    SetCell(replaceGrid_, i, 1, r.replaceList);
                    break;
                }
            }
        }
    } else if (key == "Macro") {
        macroText_->setText(Q(project.macro));
        macroEdited_ = false;
    } else if (key == "ShellExe") {
        fillExeGrid(BuildExeGrid(project.shellTasks), 0);
    }
}

void MainWindow::fillExeGrid(const ExeGrid& grid, int selectRow) {
    exeGrid_->clearContents();
    exeGrid_->setRowCount(static_cast<int>(grid.size()));
    for (int r = 0; r < static_cast<int>(grid.size()); ++r) {
        const ExeRow& row = grid[static_cast<std::size_t>(r)];
        SetCell(exeGrid_, r, 0, row.name);
        SetCell(exeGrid_, r, 1, row.args);
        SetCell(exeGrid_, r, 2, row.path);
    }
    styleExeGrid(selectRow);
}

ExeGrid MainWindow::exeGridRows() const {
    ExeGrid grid;
    for (int r = 0; r < exeGrid_->rowCount(); ++r)
        grid.push_back({CellText(exeGrid_, r, 0), CellText(exeGrid_, r, 1), CellText(exeGrid_, r, 2)});
    return grid;
}

int MainWindow::exeGridCurrentRow() const { return exeGrid_->currentRow(); }

void MainWindow::styleExeGrid(int selectRow) {
    const QColor text = palette().color(QPalette::ButtonText);
    for (int r = 0; r < exeGrid_->rowCount(); ++r) {
        for (int c = 0; c < exeGrid_->columnCount(); ++c) {
            QTableWidgetItem* item = exeGrid_->item(r, c);
            if (!item) {
                item = new QTableWidgetItem;
                exeGrid_->setItem(r, c, item);
            }
            const bool marker = IsFlowCellText(S(item->text()));
            QFont f = exeGrid_->font();
            f.setBold(marker);
            // The markers must fit the 1500-twip argument column whole.
            if (marker) f.setPixelSize(11);
            item->setFont(f);
            item->setTextAlignment((marker ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
            item->setForeground(marker ? kMarkerColour : text);
            item->setBackground(marker ? QBrush(kMarkerBackground) : QBrush());
        }
    }
    if (selectRow >= 0 && selectRow < exeGrid_->rowCount()) exeGrid_->setCurrentCell(selectRow, 0);
}

bool MainWindow::Exe_Set_Save_to_tmpFile1() {
    return document_->RewriteWorkingCopy(section::ShellTask, ExeGridShellLines(exeGridRows()));
}

void MainWindow::moveExeRow(int direction) {
    ExeGrid grid = exeGridRows();
    int current = exeGrid_->currentRow();
    if (!MoveExeRow(grid, current, direction)) return;
    fillExeGrid(grid, current);
    Exe_Set_Save_to_tmpFile1();
}

void MainWindow::addExe() {
    WindowRequest request;
    request.deleteEnabled = false;
    request.gridRow = exeGrid_->rowCount();  // a new program goes to the end
    openWindow("Exe_Setting_Form", "exe実行設定", &request);
    // The settings window saved the section: show it with the new last row.
    if (IsWindowRegistered("Exe_Setting_Form")) {
        refreshGrid("ShellExe");
        styleExeGrid(exeGrid_->rowCount() - 1);
    }
}

void MainWindow::exeGridDoubleClicked(int row) {
    if (!CheckExcelPath(S(excelField_->text->text()), ui_)) return;
    const ExeGrid grid = exeGridRows();
    if (row < 0 || row >= static_cast<int>(grid.size()) || IsMarkerRow(grid[static_cast<std::size_t>(row)])) return;
    WindowRequest request;
    const ExeRow& r = grid[static_cast<std::size_t>(row)];
    if (!r.path.empty() || !r.args.empty()) request.row = {r.path, r.args};
    request.deleteEnabled = !request.row.empty();
    request.gridRow = row;
    openWindow("Exe_Setting_Form", "exe実行設定", &request);
    if (IsWindowRegistered("Exe_Setting_Form")) {
        refreshGrid("ShellExe");
        styleExeGrid(std::min(row, exeGrid_->rowCount() - 1));
    }
}

void MainWindow::taskGridDoubleClicked(QTableWidget* grid, const char* target, int row) {
    if (!CheckExcelPath(S(excelField_->text->text()), ui_)) return;
    EditTarget = target;
    WindowRequest request;
    request.editTarget = target;
    request.gridRow = row;
    if (!CellText(grid, row, 0).empty())
        for (int c = 0; c < grid->columnCount(); ++c) request.row.push_back(CellText(grid, row, c));
    openWindow("WriteForm", grid == inpGrid_ ? "入力操作" : "読込操作", &request);
}

void MainWindow::replaceGridDoubleClicked(int row) {
    const std::string name = CellText(replaceGrid_, row, 0);
    if (name.empty()) return;
    WindowRequest request;
    request.gridRow = row;
    request.row = {name, CellText(replaceGrid_, row, 1)};
    openWindow("Replace_Form", "入力置換", &request);
}

// ---------------------------------------------------------------- events

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

// ---------------------------------------------------------------- File menu

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

// ---------------------------------------------------------------- windows of other parts

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

// ---------------------------------------------------------------- runs

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

void MainWindow::eventPass() { QCoreApplication::processEvents(); }

void MainWindow::setVisibleCheck(bool visible) { visibleCheck_->setChecked(visible); }

void MainWindow::showEndWindow(const EndCounts& counts) {
    EndWindow window(counts, this);
    window.exec();
}

}  // namespace korvane

#include "CurrentValueForm.h"

#include <algorithm>

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/NumericBox.h"
#include "ui/SettingsGrid.h"
#include "ui/WindowParts.h"
#include "platform/UserInterface.h"
#include "project/NumberText.h"
#include "project/Paths.h"
#include "project/ProjectDocument.h"
#include "ui/WindowHost.h"
#include "run/windows/LiveFiguresPanel.h"

namespace korvane {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
enum Col { kName, kTick, kLower, kInitial, kCurrent, kUpper };
const QColor kInputCurrent(0xC0, 0xC0, 0xFF);
}  // namespace

CurrentValueForm::CurrentValueForm(WindowHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    using C = SettingsGrid::Cell;
    setObjectName(QStringLiteral("Current_Value_Form"));
    setWindowTitle(QStringLiteral("Current Value"));
    grid_ = new SettingsGrid(host.ui(),
                             {{"変数名", 3500, C::Fixed},
                              {"var.", 500, C::Tick},
                              {"下限値", 1000, C::Fixed},
                              {"初期値", 1000, C::Fixed},
                              {"現在値", 2140, C::Fixed},
                              {"上限値", 1000, C::Fixed}},
                             this);
    grid_->setTicksReadOnly(true);

    auto* menuBar = new QMenuBar(this);
    QMenu* file = menuBar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("File"));
    QAction* setInitial = file->addAction(QStringLiteral("現在値を初期値に設定(&S)"));
    setInitial->setObjectName(QStringLiteral("Set_Initial"));
    file->addSeparator();
    QAction* closeMenu = file->addAction(QStringLiteral("閉じる(&Q)"));
    closeMenu->setObjectName(QStringLiteral("Close_Mn"));

    auto* label1 = new QLabel(QStringLiteral("カウンタ："), this);
    label1->setObjectName(QStringLiteral("Label1"));
    counter_ = new QLineEdit(this);
    counter_->setObjectName(QStringLiteral("Calc_Count_Text"));
    counter_->setFixedWidth(100);
    counter_->setAlignment(Qt::AlignRight);
    BindNumericFilter(counter_, host.ui());
    auto* readDb = NamedButton("Read_db_Command", QStringLiteral("データベース読込"), this);
    readDb->setAutoDefault(false);
    readDb->setToolTip(QStringLiteral("カウンタの番号の計算の値をデータベースファイル(最後の実行分)から読み込みます。"));
    auto* close = NamedButton("OKCommand", QStringLiteral("Close"), this);
    close->setAutoDefault(false);
    close->setMinimumWidth(96);
    auto* row = new QHBoxLayout;
    row->addWidget(label1);
    row->addWidget(counter_);
    row->addWidget(readDb);
    row->addStretch(1);
    row->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addWidget(grid_, 1);
    // The outputs' figures of the run in progress (or of the last run).
    if (auto live = host.liveSummary()) {
        live_ = new LiveFiguresPanel(std::move(live), &host.ui(), this);
        live_->setMaximumHeight(176);
        layout->addWidget(live_);
    }
    layout->addLayout(row);

    std::vector<std::string> lines;
    if (host.document().ReadWorkingCopy(lines)) {
        loaded_ = true;
        rows_ = CurrentValueRows(ParseProject(lines), host.runState());
    }
    grid_->setRows(static_cast<int>(rows_.size()));
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
        const CurrentRow& v = rows_[static_cast<std::size_t>(r)];
        grid_->setText(r, kName, Q(v.name));
        grid_->setTicked(r, v.varied);
        grid_->setText(r, kLower, Q(v.lower));
        grid_->setText(r, kInitial, Q(v.initial));
        grid_->setText(r, kUpper, Q(v.upper));
        if (v.input) grid_->setCellColour(r, kCurrent, kInputCurrent, Qt::black);
    }
    showCurrent();
    const CurrentHeading heading = CurrentValueHeading(host.runState());
    setWindowTitle(Q(heading.caption));
    counter_->setText(QString::number(static_cast<qlonglong>(heading.counter)));

    connect(readDb, &QPushButton::clicked, this, &CurrentValueForm::Read_db_Command_Click);
    connect(setInitial, &QAction::triggered, this, &CurrentValueForm::Set_Initial_Click);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(closeMenu, &QAction::triggered, this, &QDialog::close);
    resize(std::max(GridWidth(grid_) + 24, live_ ? 720 : 0), live_ ? 600 : 420);
}

void CurrentValueForm::showCurrent() {
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r)
        grid_->setText(r, kCurrent, Q(rows_[static_cast<std::size_t>(r)].current));
}

void CurrentValueForm::Read_db_Command_Click() {
    if (!IsNumericText(S(counter_->text()))) return;
    const std::string db = host_.document().header.dbPath;
    if (!CheckDbPath(db, host_.ui())) return;
    std::string error;
    if (!LookUpCalculation(ResolveAppRelative(db, host_.appFolder()), S(counter_->text()), rows_, error)) {
        host_.ui().showMessage(error);
        return;
    }
    showCurrent();
    setWindowTitle(QStringLiteral("現在値"));
}

void CurrentValueForm::Set_Initial_Click() {
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
        const CurrentRow& v = rows_[static_cast<std::size_t>(r)];
        if (!v.current.empty()) grid_->setText(r, kInitial, Q(v.current));
    }
    std::vector<std::string> lines;
    if (!host_.document().ReadWorkingCopy(lines)) return;
    std::string error;
    if (!StoreCurrentAsInitial(lines, rows_, error)) {
        host_.ui().showMessage(error);
        return;
    }
    host_.document().WriteWorkingCopy(lines);
}

void OpenCurrentValueForm(WindowHost& host, const WindowRequest&) {
    auto* window = new CurrentValueForm(host, host.hostWindow());
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->loaded()) {
        delete window;
        return;
    }
    window->show();
}

}  // namespace korvane

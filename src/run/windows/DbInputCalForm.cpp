#include "DbInputCalForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/NumericBox.h"
#include "ui/SettingsGrid.h"
#include "ui/WindowParts.h"
#include "platform/UserInterface.h"
#include "project/Paths.h"
#include "project/ProjectDocument.h"
#include "run/DataFileInput.h"
#include "run/SettingsRows.h"
#include "ui/WindowHost.h"

namespace korvane {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
// Row 0 and column 0 are the grid's fixed cells.
const QColor kFixedCell(0xE4, 0xE4, 0xE4);
const QColor kAssignedCell(0xFF, 0xFF, 0xC0);
}  // namespace

DbInputCalForm::DbInputCalForm(WindowHost& host, QWidget* parent) : QDialog(parent), host_(host) {
    using C = SettingsGrid::Cell;
    setObjectName(QStringLiteral("DB_Input_Cal_Form"));
    setWindowTitle(QStringLiteral("DataFile設定"));
    setModal(true);

    auto* frame2 = new QGroupBox(QStringLiteral("データファイル"), this);
    frame2->setObjectName(QStringLiteral("Frame2"));
    pathText_ = new QLineEdit(frame2);
    pathText_->setObjectName(QStringLiteral("DF_Brws_Text"));
    auto* browse = NamedButton("DB_Brws_Button", QStringLiteral("..."), frame2);
    browse->setAutoDefault(false);
    browse->setFixedWidth(32);
    browse->setToolTip(QStringLiteral("データファイルを選択"));
    auto* fileRow = new QHBoxLayout(frame2);
    fileRow->addWidget(pathText_, 1);
    fileRow->addWidget(browse);

    auto* frame1 = new QGroupBox(QStringLiteral("読取り列設定"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    grid_ = new SettingsGrid(host.ui(), {{"", 1500, C::Fixed}, {"", 1000, C::Fixed}}, frame1);
    grid_->setObjectName(QStringLiteral("CellsGrid"));
    grid_->horizontalHeader()->setVisible(false);
    grid_->horizontalHeader()->setDefaultSectionSize(TwipsToPixels(1100));
    grid_->setColumnWidth(0, TwipsToPixels(1500));
    grid_->chooser()->setObjectName(QStringLiteral("Param_Combo"));
    grid_->cellKind = [](int row, int column) { return row == 0 && column >= 1 ? C::Choice : C::Fixed; };
    auto* autoButton = NamedButton("Auto_Command", QStringLiteral("Auto"), frame1);
    autoButton->setAutoDefault(false);
    autoButton->setToolTip(QStringLiteral("入力変数を順に列へ割り当て、最初の数値行を読取開始行にします。"));
    auto* label1 = new QLabel(QStringLiteral("データ読取開始行(数値行)："), frame1);
    label1->setObjectName(QStringLiteral("Label1"));
    readRow_ = new QLineEdit(frame1);
    readRow_->setObjectName(QStringLiteral("ReadRow_Text"));
    readRow_->setFixedWidth(80);
    readRow_->setAlignment(Qt::AlignRight);
    BindNumericFilter(readRow_, host.ui(), true);
    auto* assignRow = new QHBoxLayout;
    assignRow->addWidget(label1);
    assignRow->addWidget(readRow_);
    assignRow->addStretch(1);
    assignRow->addWidget(autoButton);
    auto* frame1Layout = new QVBoxLayout(frame1);
    frame1Layout->addWidget(grid_, 1);
    frame1Layout->addLayout(assignRow);

    check1_ = new QCheckBox(QStringLiteral("計算毎にエクセルを再起動"), this);
    check1_->setObjectName(QStringLiteral("Check1"));
    QPushButton *ok, *cancel;
    auto* buttons = OkCancelRow(this, &ok, &cancel);
    buttons->insertWidget(0, check1_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame2);
    layout->addWidget(frame1, 1);
    layout->addLayout(buttons);

    grid_->setRows(1);
    grid_->setText(0, 0, QStringLiteral("割当変数"));

    std::vector<std::string> lines;
    DataFileInputSettings saved;
    if (host.document().ReadWorkingCopy(lines)) {
        loaded_ = true;
        const Project project = ParseProject(lines);
        names_ = DistinctInputNames(project);
        saved = project.dataFileInput;
    }
    grid_->chooser()->addItem(QString());
    for (const std::string& n : names_) grid_->chooser()->addItem(Q(n));
    {
        const QSignalBlocker block(pathText_);
        pathText_->setText(Q(saved.dataFile));
        pathText_->setToolTip(pathText_->text());
    }
    readRow_->setText(Q(ReadRowShown(saved.readRow)));
    check1_->setChecked(saved.restartExcel == "1");
    if (loaded_) loadPreview();
    showAssigned(AssignedColumns(saved));

    connect(pathText_, &QLineEdit::textChanged, this, &DbInputCalForm::pathEdited);
    connect(pathText_, &QLineEdit::editingFinished, this, [this] {
        if (pathText_->text() != previewed_) loadPreview();
    });
    connect(browse, &QPushButton::clicked, this, &DbInputCalForm::DB_Brws_Button_Click);
    connect(autoButton, &QPushButton::clicked, this, &DbInputCalForm::Auto_Command_Click);
    connect(grid_, &SettingsGrid::cellStored, this, [this] { styleFixedCells(); });
    connect(ok, &QPushButton::clicked, this, &DbInputCalForm::OKCommand_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(760, 560);
}

void DbInputCalForm::pathEdited() {
    // A file inside the application folder is kept relative to it.
    KeepAppRelative(pathText_, host_.appFolder());
}

void DbInputCalForm::DB_Brws_Button_Click() {
    const std::string chosen =
        ChooseFileFromBox(pathText_, host_.ui(), host_.appFolder(), "*.csv|*.csv", "データファイルを選択");
    if (chosen.empty()) return;
    pathText_->setText(Q(chosen));
    loadPreview();
}

std::vector<std::string> DbInputCalForm::assigned() const {
    std::vector<std::string> names;
    for (int c = 1; c < grid_->columnCount(); ++c) names.push_back(S(grid_->text(0, c)));
    return names;
}

void DbInputCalForm::showAssigned(const std::vector<std::string>& names) {
    // A saved column beyond the preview still shows its variable.
    if (static_cast<int>(names.size()) + 1 > grid_->columnCount()) {
        grid_->setColumnCount(static_cast<int>(names.size()) + 1);
        grid_->setRows(grid_->rowCount());
    }
    for (int c = 1; c < grid_->columnCount(); ++c)
        grid_->setText(0, c, static_cast<std::size_t>(c - 1) < names.size() ? Q(names[static_cast<std::size_t>(c - 1)])
                                                                              : QString());
    styleFixedCells();
}

void DbInputCalForm::styleFixedCells() {
    for (int c = 0; c < grid_->columnCount(); ++c) {
        const bool name = c > 0 && !grid_->text(0, c).isEmpty();
        grid_->setCellColour(0, c, name ? kAssignedCell : kFixedCell);
    }
    for (int r = 1; r < grid_->rowCount(); ++r) grid_->setCellColour(r, 0, kFixedCell);
}

void DbInputCalForm::loadPreview() {
    const std::vector<std::string> keep = assigned();
    previewed_ = pathText_->text();
    DataPreview preview;
    std::string error;
    preview_ = {};
    if (!LoadDataPreview(S(pathText_->text()), host_.appFolder(), preview, error)) {
        host_.ui().showMessage(error);
        return;
    }
    if (pathText_->text().isEmpty()) return;
    std::size_t fields = 1;
    for (const auto& line : preview.lines) fields = std::max(fields, line.size());
    grid_->hideEditors();
    grid_->setRowCount(1);
    grid_->setColumnCount(static_cast<int>(std::max(fields, keep.size())) + 1);
    grid_->setRows(static_cast<int>(preview.lines.size()) + 1);
    for (int r = 1; r < grid_->rowCount(); ++r) {
        const auto& line = preview.lines[static_cast<std::size_t>(r - 1)];
        grid_->setText(r, 0, QString::number(r));
        grid_->item(r, 0)->setTextAlignment(Qt::AlignCenter);
        for (int c = 1; c < grid_->columnCount(); ++c)
            grid_->setText(r, c, static_cast<std::size_t>(c - 1) < line.size() ? Q(line[static_cast<std::size_t>(c - 1)])
                                                                                : QString());
    }
    showAssigned(keep);
    preview_ = preview;
    if (preview.truncated) host_.ui().showMessage(kDataPreviewLimitMessage);
}

void DbInputCalForm::Auto_Command_Click() {
    grid_->hideEditors();
    showAssigned(AutoAssignment(names_, static_cast<std::size_t>(grid_->columnCount() - 1)));
    if (const int row = FirstNumericLine(preview_); row > 0) readRow_->setText(QString::number(row));
}

void DbInputCalForm::OKCommand_Click() {
    grid_->hideEditors();
    if (check1_->isChecked() && !host_.ui().askYesNo(kRestartQuestion)) check1_->setChecked(false);
    const auto content = DataFileSectionLines(S(pathText_->text()), S(readRow_->text()), check1_->isChecked(), assigned());
    if (host_.document().RewriteWorkingCopy(section::DataFileInput, content)) accept();
}

void OpenDbInputCalForm(WindowHost& host, const WindowRequest&) {
    DbInputCalForm window(host, host.hostWindow());
    if (window.loaded()) window.exec();
}

}  // namespace korvane

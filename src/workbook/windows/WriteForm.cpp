#include "WriteForm.h"

#include <QApplication>
#include <QButtonGroup>
#include <QEventLoop>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdlib>

#include "ui/WindowParts.h"
#include "ui/WindowHost.h"
#include "platform/UserInterface.h"
#include "project/ProjectDocument.h"
#include "workbook/CellRef.h"
#include "workbook/WorkbookLink.h"

namespace korvane {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

QLabel* NamedLabel(const char* name, const char* caption, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

std::string Cell(const std::vector<std::string>& row, std::size_t i) { return i < row.size() ? row[i] : ""; }

}  // namespace

std::string WriteForm::PickUnavailableReason() {
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    if ((x && *x) || (w && *w)) return {};
    return "LibreOffice のウィンドウを表示できる画面 (DISPLAY) がないため、ブックのセルを選択できません。"
           "セル番地とシート名を入力して下さい。";
}

WriteForm::WriteForm(WindowHost& host, const WindowRequest& request, QWidget* parent)
    : QDialog(parent), host_(host), input_(request.editTarget != "Out"), editMode_(!request.row.empty()) {
    setObjectName(QStringLiteral("WriteForm"));
    setWindowTitle(QStringLiteral("セル入力設定"));
    setModal(true);
    opened_ = {Cell(request.row, 0), Cell(request.row, 1), Cell(request.row, 2), request.gridRow};

    nameCombo_ = new FillOnOpenCombo(this);
    nameCombo_->setObjectName(QStringLiteral("VariableNMCombo"));
    nameCombo_->setEditable(true);
    nameCombo_->setInsertPolicy(QComboBox::NoInsert);
    nameCombo_->aboutToOpen = [this] { fillNameList(); };
    sheetCombo_ = new FillOnOpenCombo(this);
    sheetCombo_->setObjectName(QStringLiteral("SheetCombo"));
    sheetCombo_->setEditable(true);
    sheetCombo_->setInsertPolicy(QComboBox::NoInsert);
    sheetCombo_->aboutToOpen = [this] { fillSheetList(); };
    rangeText_ = new QLineEdit(this);
    rangeText_->setObjectName(QStringLiteral("RangeText"));
    namePick_ = NamedButton("VarName_Pick_Command", QStringLiteral("Pick"), this);
    cellPick_ = NamedButton("Cell_Pick_Command", QStringLiteral("Pick"), this);
    const std::string unavailable = PickUnavailableReason();
    namePick_->setToolTip(unavailable.empty() ? QStringLiteral("ブックのセルをクリックすると、その値を変数名にします。")
                                              : Q(unavailable));
    cellPick_->setToolTip(unavailable.empty() ? QStringLiteral("ブックのセルをクリックすると、そのシート名とセル番地を取り込みます。")
                                              : Q(unavailable));

    auto* fields = new QGridLayout;
    fields->addWidget(NamedLabel("Label4", "変数名　 ：", this), 0, 0);
    fields->addWidget(nameCombo_, 0, 1);
    fields->addWidget(namePick_, 0, 2);
    fields->addWidget(NamedLabel("Label6", "シート名 ：", this), 1, 0);
    fields->addWidget(sheetCombo_, 1, 1);
    fields->addWidget(NamedLabel("Label3", "セル番地 ：", this), 2, 0);
    fields->addWidget(rangeText_, 2, 1);
    fields->addWidget(cellPick_, 1, 2, 2, 1);
    cellPick_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    fields->setColumnStretch(1, 1);

    formatFrame_ = new QGroupBox(QStringLiteral("フォーマット"), this);
    formatFrame_->setObjectName(QStringLiteral("Format_Frame"));
    option1_ = new QRadioButton(QStringLiteral("Round"), formatFrame_);
    option1_->setObjectName(QStringLiteral("Option1"));
    option2_ = new QRadioButton(QStringLiteral("Format"), formatFrame_);
    option2_->setObjectName(QStringLiteral("Option2"));
    option3_ = new QRadioButton(QStringLiteral("Replace （数値→文字列) (入力置換タブにて設定)"), formatFrame_);
    option3_->setObjectName(QStringLiteral("Option3"));
    roundCombo_ = new QComboBox(formatFrame_);
    roundCombo_->setObjectName(QStringLiteral("Round_Combo"));
    roundCombo_->setEditable(true);
    roundCombo_->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& d : RoundDigitChoices()) roundCombo_->addItem(Q(d));
    formatCombo_ = new QComboBox(formatFrame_);
    formatCombo_->setObjectName(QStringLiteral("Format_Combo"));
    formatCombo_->setEditable(true);
    formatCombo_->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& p : FormatPatterns()) formatCombo_->addItem(Q(p));
    auto* group = new QButtonGroup(this);
    for (QRadioButton* b : {option1_, option2_, option3_}) group->addButton(b);
    auto* formats = new QGridLayout(formatFrame_);
    formats->addWidget(option1_, 0, 0);
    formats->addWidget(roundCombo_, 0, 1);
    formats->addWidget(new QLabel(QStringLiteral("桁 (小数点以下)"), formatFrame_), 0, 2);
    formats->addWidget(option2_, 1, 0);
    formats->addWidget(formatCombo_, 1, 1, 1, 2);
    formats->addWidget(option3_, 2, 0, 1, 3);
    formats->setColumnStretch(1, 1);

    QPushButton *ok, *cancel;
    QHBoxLayout* buttons = OkCancelRow(this, &ok, &cancel);
    deleteButton_ = NamedButton("DeleteCommand", QStringLiteral("Delete"), this);
    deleteButton_->setAutoDefault(false);
    deleteButton_->setMinimumWidth(96);
    buttons->insertWidget(0, deleteButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(formatFrame_);
    layout->addStretch(1);
    layout->addLayout(buttons);

    // The start: the row's values, or blank with the default format.
    TaskFormat format;
    if (editMode_) {
        nameCombo_->setEditText(Q(opened_.name));
        rangeText_->setText(Q(opened_.range));
        sheetCombo_->setEditText(Q(opened_.sheet));
        if (input_) format = ParseFormatCell(Cell(request.row, 3));
    } else {
        nameCombo_->setEditText(QString());
        sheetCombo_->setEditText(QString());
    }
    roundCombo_->setEditText(Q(format.round));
    formatCombo_->setEditText(Q(format.format));
    (format.option == FormatOption::Round ? option1_ : format.option == FormatOption::Format ? option2_ : option3_)
        ->setChecked(true);
    optionChosen();
    formatFrame_->setVisible(input_);
    // An existing task keeps its name; a new one has nothing to delete.
    nameCombo_->setEnabled(!editMode_);
    namePick_->setEnabled(!editMode_);
    deleteButton_->setEnabled(editMode_);

    for (QRadioButton* b : {option1_, option2_, option3_}) connect(b, &QRadioButton::toggled, this, &WriteForm::optionChosen);
    connect(roundCombo_, &QComboBox::editTextChanged, this, &WriteForm::roundEdited);
    connect(cellPick_, &QPushButton::clicked, this, &WriteForm::Cell_Pick_Command_Click);
    connect(namePick_, &QPushButton::clicked, this, &WriteForm::VarName_Pick_Command_Click);
    connect(ok, &QPushButton::clicked, this, &WriteForm::OKCommand_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(deleteButton_, &QPushButton::clicked, this, &WriteForm::DeleteCommand_Click);
    setMinimumWidth(520);
}

void WriteForm::optionChosen() {
    roundCombo_->setEnabled(option1_->isChecked());
    formatCombo_->setEnabled(option2_->isChecked());
}

void WriteForm::roundEdited() {
    if (RoundTextAccepted(S(roundCombo_->currentText()))) return;
    host_.ui().showMessage(kNotNumberMessage);
    roundCombo_->setEditText(QStringLiteral("6"));
}

TaskFormat WriteForm::chosenFormat() const {
    TaskFormat f;
    f.option = option1_->isChecked() ? FormatOption::Round
               : option2_->isChecked() ? FormatOption::Format
                                       : FormatOption::Replace;
    f.round = S(roundCombo_->currentText());
    f.format = S(formatCombo_->currentText());
    return f;
}

void WriteForm::fillNameList() {
    std::vector<std::string> lines;
    if (!host_.document().ReadWorkingCopy(lines)) return;
    const QString text = nameCombo_->currentText();
    nameCombo_->clear();
    for (const std::string& name : TaskNames(lines, input_)) nameCombo_->addItem(Q(name));
    nameCombo_->setEditText(text);
}

void WriteForm::fillSheetList() {
    const QString text = sheetCombo_->currentText();
    std::unique_ptr<WorkbookLink> link = host_.linkFactory() ? host_.linkFactory()() : nullptr;
    if (!link) {
        host_.ui().showMessage("このプログラムは表計算ソフトとの接続なしで作られたため、シート名を読み込めません。");
        return;
    }
    std::vector<std::string> names;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool listed = ListSheetNames(*link, host_.document().header.workbookPath, names);
    QApplication::restoreOverrideCursor();
    if (!listed) {
        host_.ui().showMessage("シート名を読み込めません。\n" + link->lastError());
        return;
    }
    sheetCombo_->clear();
    for (const std::string& name : names) sheetCombo_->addItem(Q(name));
    // The sheet typed or chosen so far stays; otherwise the first sheet.
    if (!text.isEmpty() || names.empty())
        sheetCombo_->setEditText(text);
    else
        sheetCombo_->setCurrentIndex(0);
}

void WriteForm::Cell_Pick_Command_Click() { pick(false); }

void WriteForm::VarName_Pick_Command_Click() { pick(true); }

void WriteForm::pick(bool forName) {
    if (picking_) return;
    const std::string unavailable = PickUnavailableReason();
    if (!unavailable.empty()) {
        host_.ui().showMessage(unavailable);
        return;
    }
    std::unique_ptr<WorkbookLink> link = host_.linkFactory() ? host_.linkFactory()() : nullptr;
    if (!link) {
        host_.ui().showMessage("このプログラムは表計算ソフトとの接続なしで作られたため、セルを選択できません。");
        return;
    }
    // The name pick starts at the cell named in the address box, so that the
    // user points at the label beside the model's input.
    std::int64_t row = 1;
    std::int32_t column = 5;
    if (forName && !rangeText_->text().isEmpty()) {
        std::int64_t r;
        std::int32_t c;
        SplitAddress(StripDollars(S(rangeText_->text())), r, c);
        if (r >= 1 && c >= 1) {
            row = r;
            column = c;
        }
    }
    picking_ = true;
    setEnabled(false);
    // Closing this window or the main window ends the pick and its instance;
    // so does the application's quitting, after which no event loop waits
    // any more (the pick would poll without a pause and without a window).
    bool quitting = false;
    const auto picked = PickCell(
        *link, host_.document().header.workbookPath,
        [&quitting](int ms) {
            QEventLoop loop;
            QTimer::singleShot(ms, &loop, &QEventLoop::quit);
            if (loop.exec() != 0) quitting = true;
        },
        row, column, [&] { return quitting || !isVisible() || !host_.hostWindow()->isVisible(); });
    setEnabled(true);
    picking_ = false;
    // Closed during the pick: nothing is taken. The main window's going
    // takes this window with it.
    if (quitting || !host_.hostWindow()->isVisible()) reject();
    if (!isVisible()) return;
    raise();
    activateWindow();
    if (!picked) {
        if (!link->lastError().empty()) host_.ui().showMessage("セルを選択できませんでした。\n" + link->lastError());
        return;
    }
    if (forName) {
        nameCombo_->setEditText(Q(picked->value));
    } else {
        sheetCombo_->setEditText(Q(picked->sheet));
        rangeText_->setText(Q(picked->address));
    }
    if (nameCombo_->isEnabled()) nameCombo_->setFocus();
}

void WriteForm::OKCommand_Click() {
    TaskEdit edit;
    edit.input = input_;
    edit.name = S(nameCombo_->currentText());
    edit.range = S(rangeText_->text());
    edit.sheet = S(sheetCombo_->currentText());
    edit.format = chosenFormat();
    std::string message;
    if (!CheckTaskEdit(edit, message)) {
        host_.ui().showMessage(message);
        return;
    }
    std::vector<std::string> lines;
    if (!host_.document().ReadWorkingCopy(lines)) return;
    if (!StoreTask(lines, edit, editMode_ ? &opened_ : nullptr, message)) {
        host_.ui().showMessage(message);
        return;
    }
    if (host_.document().WriteWorkingCopy(lines)) accept();
}

void WriteForm::DeleteCommand_Click() {
    std::vector<std::string> lines;
    if (!host_.document().ReadWorkingCopy(lines)) return;
    std::string error;
    if (!DeleteTask(lines, input_, opened_, error)) {
        host_.ui().showMessage(error);
        return;
    }
    if (host_.document().WriteWorkingCopy(lines)) accept();
}

void OpenWriteForm(WindowHost& host, const WindowRequest& request) {
    WriteForm window(host, request, host.hostWindow());
    if (window.exec() == QDialog::Accepted) host.refreshGrid(request.editTarget);
}

}  // namespace korvane

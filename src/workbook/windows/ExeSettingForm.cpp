#include "ExeSettingForm.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/WindowParts.h"
#include "ui/WindowHost.h"
#include "platform/UserInterface.h"
#include "project/Paths.h"
#include "workbook/TaskEditing.h"

namespace korvane {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
}  // namespace

ExeSettingForm::ExeSettingForm(WindowHost& host, const WindowRequest& request, QWidget* parent)
    : QDialog(parent), host_(host), gridRow_(request.gridRow), editMode_(request.deleteEnabled) {
    setObjectName(QStringLiteral("Exe_Setting_Form"));
    setWindowTitle(QStringLiteral("exe実行設定"));
    setModal(true);

    auto* frame = new QGroupBox(QStringLiteral("実行設定"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* label6 = new QLabel(QStringLiteral("アプリケーション　："), frame);
    label6->setObjectName(QStringLiteral("Label6"));
    pathText_ = new QLineEdit(frame);
    pathText_->setObjectName(QStringLiteral("Exe_Brws_Text"));
    auto* browse = NamedButton("Exe_Brws_Button", QStringLiteral("..."), frame);
    browse->setAutoDefault(false);
    browse->setFixedWidth(32);
    browse->setToolTip(QStringLiteral("実行ファイルを選択"));
    auto* label3 = new QLabel(QStringLiteral("コマンドライン引数："), frame);
    label3->setObjectName(QStringLiteral("Label3"));
    argsText_ = new QLineEdit(frame);
    argsText_->setObjectName(QStringLiteral("CmmdText"));
    argsText_->setToolTip(
        QStringLiteral("引数をスペースで区切って入力して下さい。 変数名を[ ]で括ると値を引数として取扱できます。"));
    auto* grid = new QGridLayout(frame);
    grid->addWidget(label6, 0, 0);
    grid->addWidget(pathText_, 0, 1);
    grid->addWidget(browse, 0, 2);
    grid->addWidget(label3, 1, 0);
    grid->addWidget(argsText_, 1, 1, 1, 2);
    grid->setColumnStretch(1, 1);

    QPushButton *ok, *cancel;
    auto* buttons = OkCancelRow(this, &ok, &cancel);
    auto* remove = NamedButton("DeleteCommand", QStringLiteral("Delete"), this);
    remove->setAutoDefault(false);
    remove->setMinimumWidth(96);
    remove->setEnabled(editMode_);
    buttons->insertWidget(0, remove);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);

    connect(pathText_, &QLineEdit::textChanged, this, &ExeSettingForm::pathEdited);
    connect(browse, &QPushButton::clicked, this, &ExeSettingForm::Exe_Brws_Button_Click);
    connect(ok, &QPushButton::clicked, this, &ExeSettingForm::OKCommand_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(remove, &QPushButton::clicked, this, &ExeSettingForm::DeleteCommand_Click);

    if (editMode_ && !request.row.empty()) {
        pathText_->setText(Q(request.row[0]));
        if (request.row.size() > 1) argsText_->setText(Q(request.row[1]));
    }
    setMinimumWidth(560);
}

void ExeSettingForm::pathEdited() {
    // A program inside the application folder is kept relative to it.
    KeepAppRelative(pathText_, host_.appFolder());
}

void ExeSettingForm::Exe_Brws_Button_Click() {
    const std::string chosen =
        ChooseFileFromBox(pathText_, host_.ui(), host_.appFolder(), "*.*|*.*", "実行ファイルを選択");
    if (!chosen.empty()) pathText_->setText(Q(chosen));
}

void ExeSettingForm::OKCommand_Click() {
    const std::string path = S(pathText_->text());
    const std::string args = S(argsText_->text());
    if (!CheckExePath(path, host_.ui())) return;
    if (path.find(',') != std::string::npos || args.find(',') != std::string::npos) {
        host_.ui().showMessage(kProgramCommaMessage);
        return;
    }
    for (const auto& [field, text] : {std::pair{"アプリケーション", &path}, std::pair{"コマンドライン引数", &args}}) {
        if (const std::string unstorable = UnstorableTextMessage(field, *text); !unstorable.empty()) {
            host_.ui().showMessage(unstorable);
            return;
        }
    }
    ExeGrid grid = host_.exeGridRows();
    if (!PlaceProgram(grid, gridRow_, editMode_, path, args)) return;
    const int at = editMode_ ? gridRow_ : std::min(gridRow_, static_cast<int>(grid.size()) - 1);
    host_.fillExeGrid(grid, at);
    if (host_.saveExeGrid()) {
        accept();
    } else {
        // Not stored: the grid shows the working copy again.
        host_.refreshGrid("ShellExe");
    }
}

void ExeSettingForm::DeleteCommand_Click() {
    ExeGrid grid = host_.exeGridRows();
    if (!RemoveProgram(grid, gridRow_)) return;
    host_.fillExeGrid(grid, std::min(gridRow_, static_cast<int>(grid.size()) - 1));
    if (host_.saveExeGrid())
        accept();
    else
        host_.refreshGrid("ShellExe");
}

void OpenExeSettingForm(WindowHost& host, const WindowRequest& request) {
    ExeSettingForm window(host, request, host.hostWindow());
    window.exec();
}

}  // namespace korvane

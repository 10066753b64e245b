#include "run/windows/RunOptionsWindow.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/WindowHost.h"
#include "platform/UserInterface.h"
#include "project/NumberText.h"
#include "project/NumericFilter.h"
#include "run/RunDriver.h"

namespace korvane {

RunOptionsWindow::RunOptionsWindow(UserInterface& ui, const std::string& appFolder, const RunOptions& current,
                                   QWidget* parent)
    : QDialog(parent), ui_(ui), appFolder_(appFolder), options_(current) {
    setObjectName(QStringLiteral("RunOptions_Form"));
    setWindowTitle(QStringLiteral("実行オプション"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    workers_ = new QSpinBox(this);
    workers_->setObjectName(QStringLiteral("Workers_Spin"));
    workers_->setRange(1, kMaxWorkers);
    workers_->setValue(current.workers);
    workers_->setMaximumWidth(100);
    timeout_ = new QLineEdit(QString::fromStdString(GeneralNumber(current.calcTimeoutSeconds)), this);
    timeout_->setObjectName(QStringLiteral("Timeout_Text"));
    timeout_->setMaximumWidth(120);
    connect(timeout_, &QLineEdit::textEdited, this, [this](const QString& text) {
        const FilterResult r = FilterNumericText(text.toStdString());
        if (!r.removed) return;
        QApplication::beep();
        timeout_->setText(QString::fromStdString(r.text));
        timeout_->setCursorPosition(static_cast<int>(r.caret));
    });
    form->addRow(QStringLiteral("ワーカー数 (同時に計算するLibreOffice)："), workers_);
    form->addRow(QStringLiteral("1回の計算の制限時間 (秒、0: 制限なし)："), timeout_);
    layout->addLayout(form);
    auto* note = new QLabel(
        QStringLiteral("どのワーカー数でもDBファイルは同じになります。\n"
                       "ただし、計算から計算へ状態を持ち越すブックやプログラム、\n"
                       "決まった名前のファイルを書くプログラムには、ワーカー数1を使って下さい。\n"
                       "制限時間を超えた計算は打ち切り、出力を空欄、制限判定をFalseとして記録します。\n"
                       "この設定はプロジェクトファイルには保存されません。"),
        this);
    note->setObjectName(QStringLiteral("Note_Label"));
    layout->addWidget(note);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKCommand"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelCommand"));
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &RunOptionsWindow::OKCommand_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void RunOptionsWindow::OKCommand_Click() {
    RunOptions wanted = options_;
    std::string error;
    if (!ParseCalcTimeout(timeout_->text().toStdString(), wanted.calcTimeoutSeconds, error)) {
        ui_.showMessage(error);
        timeout_->setFocus();
        return;
    }
    wanted.workers = workers_->value();
    if (!SaveRunOptions(appFolder_, wanted, error)) {
        ui_.showMessage("実行オプションを保存できません。\n" + error);
        return;
    }
    options_ = wanted;
    accept();
}

void OpenRunOptionsForm(WindowHost& host, const WindowRequest&) {
    RunOptionsWindow window(host.ui(), host.appFolder(), host.driver().runOptions(), host.hostWindow());
    if (window.exec() == QDialog::Accepted) host.driver().setRunOptions(window.options());
}

}  // namespace korvane

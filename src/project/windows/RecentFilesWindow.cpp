#include "project/windows/RecentFilesWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "platform/UserInterface.h"
#include "project/RecentFiles.h"

namespace korvane {

RecentFilesWindow::RecentFilesWindow(RecentFiles& recent, UserInterface& ui,
                                     std::function<void(const std::string&)> openProject, QWidget* parent)
    : QDialog(parent), recent_(recent), ui_(ui), openProject_(std::move(openProject)) {
    setObjectName(QStringLiteral("Recent_Files_Form"));
    setWindowTitle(QStringLiteral("最近開いたファイル"));
    setModal(true);
    resize(560, 320);

    auto* layout = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("List1"));
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    layout->addWidget(list_, 1);

    auto* row = new QHBoxLayout;
    check_ = new QCheckBox(QStringLiteral("読込不可(リンク切れ)ファイルも表示"), this);
    check_->setObjectName(QStringLiteral("Check1"));
    row->addWidget(check_);
    row->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKCommand"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("CancelCommand"));
    row->addWidget(ok);
    row->addWidget(cancel);
    layout->addLayout(row);

    status_ = new QStatusBar(this);
    status_->setObjectName(QStringLiteral("StatusBar1"));
    status_->setSizeGripEnabled(false);
    layout->addWidget(status_);

    popup_ = new QMenu(this);
    popup_->setObjectName(QStringLiteral("Dummy"));
    struct Item {
        const char* name;
        const char* caption;
        void (RecentFilesWindow::*slot)();
    };
    const Item items[] = {{"Open_Selection", "選択項目を開く(&O)", &RecentFilesWindow::Open_Selection},
                          {"Selection_Delete", "選択項目を履歴から削除(&D)", &RecentFilesWindow::Selection_Delete},
                          {"All_Delete_Link", "読込不可ファイルをすべて履歴から削除(&A)",
                           &RecentFilesWindow::All_Delete_Link},
                          {"All_Delete", "全ての履歴を削除(&E)", &RecentFilesWindow::All_Delete}};
    for (const Item& item : items) {
        QAction* a = popup_->addAction(QString::fromUtf8(item.caption));
        a->setObjectName(QString::fromLatin1(item.name));
        connect(a, &QAction::triggered, this, item.slot);
    }
    popup_->addSeparator();
    QAction* closeAction = popup_->addAction(QStringLiteral("閉じる(&Q)"));
    closeAction->setObjectName(QStringLiteral("Close_This_Window"));
    connect(closeAction, &QAction::triggered, this, &QDialog::reject);

    connect(check_, &QCheckBox::clicked, this, &RecentFilesWindow::List_Load);
    connect(list_, &QListWidget::itemClicked, this, &RecentFilesWindow::showStatus);
    connect(list_, &QListWidget::currentRowChanged, this, &RecentFilesWindow::showStatus);
    connect(list_, &QListWidget::itemDoubleClicked, this, &RecentFilesWindow::Open_Selection);
    connect(list_, &QListWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popup_->popup(list_->viewport()->mapToGlobal(pos)); });
    connect(ok, &QPushButton::clicked, this, &RecentFilesWindow::Open_Selection);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    List_Load();
}

void RecentFilesWindow::List_Load() {
    list_->clear();
    for (const std::string& entry : recent_.List(check_->isChecked()))
        list_->addItem(QString::fromStdString(entry));
    status_->clearMessage();
}

std::string RecentFilesWindow::selectedEntry() const {
    QListWidgetItem* item = list_->currentItem();
    if (!item || !item->isSelected()) return {};
    return item->text().toStdString();
}

void RecentFilesWindow::showStatus() {
    const std::string entry = selectedEntry();
    if (entry.empty()) {
        status_->clearMessage();
        return;
    }
    status_->showMessage(QString::fromStdString(recent_.StatusText(entry)));
}

void RecentFilesWindow::Open_Selection() {
    const std::string entry = selectedEntry();
    if (entry.empty()) {
        ui_.showMessage("ファイルが選択されていません。");
        return;
    }
    openProject_(recent_.resolve(entry));
    accept();
}

void RecentFilesWindow::Selection_Delete() {
    const std::string entry = selectedEntry();
    if (entry.empty()) return;
    recent_.DeleteSelection(entry);
    List_Load();
}

void RecentFilesWindow::All_Delete_Link() {
    recent_.DeleteMissing();
    List_Load();
}

void RecentFilesWindow::All_Delete() {
    recent_.DeleteAll(ui_);
    List_Load();
}

}  // namespace korvane

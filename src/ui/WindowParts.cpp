#include "ui/WindowParts.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>

#include "platform/UserInterface.h"
#include "project/Paths.h"

namespace korvane {

QPushButton* NamedButton(const char* objectName, const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    return button;
}

QHBoxLayout* OkCancelRow(QWidget* parent, QPushButton** ok, QPushButton** cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    *ok = NamedButton("OKCommand", QStringLiteral("OK"), parent);
    (*ok)->setDefault(true);
    (*ok)->setAutoDefault(false);
    *cancel = NamedButton("CancelCommand", QStringLiteral("Cancel"), parent);
    (*cancel)->setAutoDefault(false);
    for (QPushButton* b : {*ok, *cancel}) b->setMinimumWidth(96);
    row->addWidget(*ok);
    row->addWidget(*cancel);
    return row;
}

void KeepAppRelative(QLineEdit* box, const std::string& appFolder) {
    const std::string text = box->text().toStdString();
    const std::string stored = StoreAppRelative(text, appFolder);
    if (stored != text) {
        box->setText(QString::fromStdString(stored));
        return;
    }
    box->setToolTip(box->text());
}

std::string ChooseFileFromBox(const QLineEdit* box, UserInterface& ui, const std::string& appFolder,
                              const char* filter, const char* caption) {
    const std::string text = box->text().toStdString();
    const std::string start = text.empty() ? appFolder : PathPart(ResolveAppRelative(text, appFolder), 3);
    return ui.chooseFile(filter, caption, start, false);
}

int GridWidth(const QTableWidget* grid) {
    int width = 2 * grid->frameWidth() + grid->verticalScrollBar()->sizeHint().width() + 2;
    for (int c = 0; c < grid->columnCount(); ++c) width += grid->columnWidth(c);
    return width;
}

}  // namespace korvane

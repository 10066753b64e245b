#include "GuiUserInterface.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include "ConsoleUi.h"

namespace korvane {

QString QtFileFilter(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << parts[i] + QStringLiteral(" (") + patterns + QStringLiteral(")");
    }
    return filters.join(QStringLiteral(";;"));
}

void GuiUserInterface::showMessage(const std::string& text) {
    if (echo_) PrintMessage(text);
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle), QString::fromStdString(text), QMessageBox::Ok,
                    parent_);
    box.exec();
}

void GuiUserInterface::showNotice(const std::string& text) {
    if (echo_) PrintMessage(text);
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromUtf8(kAppTitle), QString::fromStdString(text),
                                QMessageBox::Ok, parent_);
    box->setObjectName(QStringLiteral("NoticeBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

bool GuiUserInterface::askYesNo(const std::string& text) {
    if (echo_) PrintMessage(text);
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kQuestionCaption), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

bool GuiUserInterface::askYesNoDefaultNo(const std::string& text) {
    if (echo_) PrintMessage(text);
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kQuestionCaption), QString::fromStdString(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::No);
    box.setObjectName(QStringLiteral("differencesQuestion"));
    return box.exec() == QMessageBox::Yes;
}

std::string GuiUserInterface::chooseFile(const std::string& filter, const std::string& title,
                                         const std::string& startFolder, bool forSaving) {
    const QString qtFilter = QtFileFilter(filter);
    const QString caption = QString::fromStdString(title);
    const QString folder = QString::fromStdString(startFolder);
    // The name is used as typed: no suffix is added and an existing file is
    // overwritten without a question, as the project's Save As expects.
    QString name = forSaving ? QFileDialog::getSaveFileName(parent_, caption, folder, qtFilter, nullptr,
                                                            QFileDialog::DontConfirmOverwrite)
                             : QFileDialog::getOpenFileName(parent_, caption, folder, qtFilter);
    return name.toStdString();
}

void GuiUserInterface::beep() { QApplication::beep(); }

void GuiUserInterface::endApplication(int exitStatus) {
    ended_ = true;
    exitStatus_ = exitStatus;
    QCoreApplication::exit(exitStatus);
}

}  // namespace korvane

#include "ui/GuiUserInterface.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include "platform/ConsoleOutput.h"
#include "platform/StopSignals.h"

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
    // A run from the command line that a signal stops has no one to press
    // OK: its messages go to stderr only, and a box already shown closes.
    if (echo_ && StopSignalReceived() != 0) return;
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle), QString::fromStdString(text), QMessageBox::Ok,
                    parent_);
    QTimer signalWatch;
    if (echo_) {
        QObject::connect(&signalWatch, &QTimer::timeout, &box, [&box] {
            if (StopSignalReceived() != 0) box.done(QMessageBox::Ok);
        });
        signalWatch.start(100);
    }
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

WindowUserInterface::Owned::Owned(const WindowUserInterface& ui)
    : gui_(dynamic_cast<GuiUserInterface*>(&ui.base_)) {
    if (!gui_ || !ui.window_) return;
    previous_ = gui_->parentWindow();
    gui_->setParentWindow(ui.window_->window());
}

WindowUserInterface::Owned::~Owned() {
    if (gui_) gui_->setParentWindow(previous_);
}

void WindowUserInterface::showMessage(const std::string& text) {
    Owned owned(*this);
    base_.showMessage(text);
}

void WindowUserInterface::showNotice(const std::string& text) {
    Owned owned(*this);
    base_.showNotice(text);
}

bool WindowUserInterface::askYesNo(const std::string& text) {
    Owned owned(*this);
    return base_.askYesNo(text);
}

std::string WindowUserInterface::chooseFile(const std::string& filter, const std::string& title,
                                            const std::string& startFolder, bool forSaving) {
    Owned owned(*this);
    return base_.chooseFile(filter, title, startFolder, forSaving);
}

void GuiUserInterface::endApplication(int exitStatus) {
    ended_ = true;
    exitStatus_ = exitStatus;
    QCoreApplication::exit(exitStatus);
}

}  // namespace korvane

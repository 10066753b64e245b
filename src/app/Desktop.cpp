#include "Desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace korvane {

bool OpenWithDefaultViewer(const std::string& path, std::string& error) {
    const QString file = QString::fromStdString(path);
    if (!QFileInfo(file).isFile()) {
        error = "ファイルが見つかりません。\n" + path;
        return false;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file))) {
        error = "ファイルを開くプログラムを起動できません。\n" + path;
        return false;
    }
    return true;
}

bool OpenInSpreadsheet(const std::string& path, std::string& error) {
    QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty() && QFileInfo::exists(QStringLiteral("/usr/lib/libreoffice/program/soffice")))
        soffice = QStringLiteral("/usr/lib/libreoffice/program/soffice");
    if (soffice.isEmpty()) {
        error = "LibreOffice Calc が見つかりません。";
        return false;
    }
    QString profile = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (profile.isEmpty()) profile = QDir::tempPath();
    profile += QStringLiteral("/korvane/spreadsheet-profile");
    QDir().mkpath(profile);
    const QStringList args = {QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile).toString(),
                              QStringLiteral("--calc"), QStringLiteral("--norestore"),
                              QString::fromStdString(path)};
    if (!QProcess::startDetached(soffice, args)) {
        error = "LibreOffice Calc を起動できません。\n" + path;
        return false;
    }
    return true;
}

}  // namespace korvane

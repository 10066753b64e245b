// The windowed program: the splash window, then the main window; or, with a
// project on the command line, the unattended run with the main window shown.
#include "Gui.h"

#include <QApplication>
#include <QMessageBox>

#include "AppStyle.h"
#include "ui/GuiUserInterface.h"
#include "MainWindow.h"
#include "SplashWindow.h"
#include "platform/AppFolder.h"
#include "project/RunState.h"
#include "run/RunOptions.h"
#include "workbook/WorkbookLink.h"

namespace korvane {

bool GuiAvailable() { return true; }

void ShowStartupMessage(int& argc, char** argv, const std::string& text) {
    QApplication app(argc, argv);
    ApplyJapaneseFont(app);
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvane"), QString::fromStdString(text), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("StartupMessage"));
    box.exec();
}

int RunGui(int& argc, char** argv, const std::string* commandLine, const std::string* openPath,
           const RunOptions* options) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setApplicationVersion(QStringLiteral(KORVANE_VERSION));
    // Ties the windows to the desktop entry (its icon, on Wayland too).
    QGuiApplication::setDesktopFileName(QStringLiteral("korvane"));
    ApplyJapaneseFont(app);

    // An unattended run also prints every message, for the calling script.
    GuiUserInterface ui(commandLine != nullptr);
    RunState state;
#ifdef KORVANE_HAVE_LIBREOFFICE
    WorkbookLinkFactory factory = [] { return CreateWorkbookLink(); };
#else
    WorkbookLinkFactory factory = [] { return std::unique_ptr<WorkbookLink>(); };
#endif
    MainWindow main(ui, state, factory, AppFolder());
    ui.setParentWindow(&main);
    QObject::connect(&main, &MainWindow::closed, &app, &QApplication::quit);

    if (!commandLine) {
        SplashWindow splash(SplashWindow::Mode::StartUp);
        QObject::connect(&splash, &SplashWindow::startMainWindow, &main, [&main, openPath] {
            main.show();
            main.activateWindow();
            if (openPath) main.openProjectFile(*openPath);
        });
        splash.show();
        splash.activateWindow();
        splash.startTimer1();
        const int status = app.exec();
        return ui.ended() ? ui.exitStatus() : status;
    }

    if (options) main.driver().setRunOptions(*options);
    main.show();
    // Let the window appear before the run takes over the thread.
    QCoreApplication::processEvents();
    const int status = main.commandLineRun(*commandLine);
    return ui.ended() ? ui.exitStatus() : status;
}

}  // namespace korvane

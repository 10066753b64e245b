// Korvane's entry point. Without arguments the windows start; with a project
// path the project's plan runs once, unattended, and the program ends. Without
// a display the unattended run needs no window at all.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AnalysisCommand.h"
#include "CheckCommand.h"
#include "ConsoleUi.h"
#include "Gui.h"
#include "platform/AppFolder.h"
#ifdef KORVANE_HAVE_MPI
#include "platform/mpi/MpiSession.h"
#include "run/RankDispatch.h"
#endif
#include "platform/StopSignals.h"
#include "project/Paths.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "run/RunDriver.h"
#include "run/RunOptions.h"
#include "workbook/WorkbookLink.h"

namespace {

void PrintHelp() {
    std::printf(
        "Usage: korvane [OPTIONS] [PROJECT.tolv]\n"
        "   or: korvane --open PROJECT.tolv\n"
        "   or: korvane --check WORKBOOK\n"
        "   or: korvane --stats|--sens|--effects|--summary|--sobol DB.csv [options]\n"
        "\n"
        "Runs parameter studies on spreadsheet models with LibreOffice Calc.\n"
        "Options may come before or after the project; after \"--\" nothing is\n"
        "an option.\n"
        "Without arguments the main window opens. With a project file, the\n"
        "project's plan runs once, unattended, and the program ends; messages go\n"
        "to standard error (and to a message box when a display is available).\n"
        "\n"
        "  --open PROJECT.tolv     open the project in the main window, without running it\n"
        "  --help                  show this help and exit\n"
        "  --version               show the version and exit\n"
        "  --workers N             calculate with N LibreOffice instances at once\n"
        "                          (default 1). The DB file is the same whatever N.\n"
        "                          A workbook or program that keeps state from one\n"
        "                          calculation to the next, or that writes files of\n"
        "                          fixed names, needs one worker.\n"
        "  --calc-timeout SECONDS  abandon a calculation that runs longer: its\n"
        "                          instance or program is ended, its line written\n"
        "                          with empty outputs and the verdict False, and\n"
        "                          the run goes on with a fresh instance (0: no limit)\n"
        "  --resume                continue a study that was interrupted: the DB\n"
        "                          file's last block must be this project's and plan's;\n"
        "                          its whole lines are kept and the rest calculated\n"
        "  --mpi                   under mpirun or srun: every rank calculates with an\n"
        "                          instance of its own; rank 0 hands the calculations\n"
        "                          out and alone writes the DB file\n"
        "  --accept-differences    run even when the workbook check finds cells whose\n"
        "                          value in LibreOffice differs from the value Excel\n"
        "                          stored, or cells calling macro functions of a module\n"
        "                          that does not compile (without it such a run is\n"
        "                          refused before the first calculation, status 2)\n"
        "\n"
        "Exit status of an unattended run:\n"
        "  0  the plan ran to its end\n"
        "  1  the run failed (the message says why; a macro that cannot run\n"
        "     always fails the run)\n"
        "  2  the project was refused before anything was written\n"
        "  3  the run was stopped before its end\n"
        "\n"
        "%s"
        "%s"
        "\n"
        "Application folder (working copy, recent files, array files, help, examples):\n"
        "  $KORVANE_HOME when it is set; otherwise the program's own folder when it\n"
        "  can be written and the program is not installed; otherwise the user's\n"
        "  $XDG_DATA_HOME/korvane (default ~/.local/share/korvane), created on first\n"
        "  start with the array files, help, legend pictures and examples copied in\n"
        "  from the installed share/korvane folder. A path with one leading \\ is\n"
        "  relative to this folder.\n"
        "\n"
        "Environment:\n"
        "  KORVANE_HOME      use this folder as the application folder\n"
        "  XDG_DATA_HOME     where the per-user application folder is made\n"
        "  KORVANE_NO_GUI=1  run a project without showing any window\n",
        korvane::AnalysisCommandHelp(), korvane::CheckCommandHelp());
}

bool DisplayAvailable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && (std::strcmp(platform, "offscreen") == 0 || std::strcmp(platform, "minimal") == 0))
        return false;
    const char* noGui = std::getenv("KORVANE_NO_GUI");
    if (noGui && *noGui && std::strcmp(noGui, "0") != 0) return false;
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

// Whether the windows can open at all: a display to show them on, or a Qt
// platform chosen that needs none (offscreen, vnc, ...). Without either, Qt
// would abort.
bool WindowsCanOpen() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0 && std::strncmp(platform, "wayland", 7) != 0)
        return true;
    const char* x = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (w && *w);
}

// The unattended run without any window; `pools`: where the calculations
// go instead of worker threads (the ranks of an MPI job).
int RunHeadless(const std::string& commandLine, const korvane::RunOptions& options,
                korvane::CalcPoolFactory pools = {}) {
    korvane::ConsoleUi ui;
    korvane::ProjectDocument document(ui, korvane::AppFolder());
    korvane::RunState state;
    if (!document.NewProject()) return 1;
    korvane::ResetRunArrays(state);
#ifdef KORVANE_HAVE_LIBREOFFICE
    korvane::WorkbookLinkFactory factory = [] { return korvane::CreateWorkbookLink(); };
#else
    korvane::WorkbookLinkFactory factory = [] { return std::unique_ptr<korvane::WorkbookLink>(); };
#endif
    korvane::RunDriver driver(ui, ui, document, state, factory);
    driver.setRunOptions(options);
    if (pools) driver.setCalcPools(std::move(pools));
    korvane::InstallStopSignals();
    return driver.CommandLineRun(commandLine);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        PrintHelp();
        return korvane::FinishStdout() ? 0 : 1;
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("korvane %s\n", KORVANE_VERSION);
        return korvane::FinishStdout() ? 0 : 1;
    }
    // The check touches nothing of the application folder: no lock.
    if (korvane::IsCheckCommand(argc, argv)) return korvane::RunCheckCommand(argc, argv);
    // The analyses only read the DB file: they need neither the application
    // folder's lock nor a display.
    if (korvane::IsAnalysisCommand(argc, argv)) return korvane::RunAnalysisCommand(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc), rest;
    korvane::RunOptions options;
    std::string error;
    // The desktop's double-click on a project opens it and runs nothing.
    const bool openOnly = argc > 1 && std::strcmp(argv[1], "--open") == 0;
    if (!openOnly && !korvane::ParseRunArguments(args, options, rest, error)) {
        korvane::PrintMessage(error);
        return 2;
    }
    if (!openOnly && rest.empty() && (options.resume || options.mpi || args.size() > 0)) {
        korvane::PrintMessage("プロジェクトファイルを指定して下さい。(korvane --help を参照して下さい)");
        return 2;
    }
    // The command-line text, taken whole: a path with blanks arrives as
    // several arguments when it was not quoted.
    std::string commandLine;
    for (std::size_t i = 0; i < rest.size(); ++i) commandLine += (i ? " " : "") + rest[i];
    if ((argc <= 1 || openOnly) && !WindowsCanOpen()) {
        korvane::PrintMessage(
            "画面 (ディスプレイ) がないため、ウィンドウを開けません。\n"
            "プロジェクトを画面なしで実行するには korvane PROJECT.tolv と指定して下さい (korvane --help を参照して下さい)。");
        return 2;
    }
    if (const char* home = std::getenv("KORVANE_HOME")) {
        if (const std::string missing = korvane::MissingHomeMessage(home); !missing.empty()) {
            korvane::PrintMessage(missing);
            if (DisplayAvailable() && korvane::GuiAvailable()) korvane::ShowStartupMessage(argc, argv, missing);
            return 2;
        }
    }
    if (options.mpi) {
#ifdef KORVANE_HAVE_MPI
        // Every rank starts here; only rank 0 takes the application folder.
        korvane::MpiSession mpi(argc, argv);
#ifdef KORVANE_HAVE_LIBREOFFICE
        korvane::WorkbookLinkFactory links = [] { return korvane::CreateWorkbookLink(); };
#else
        korvane::WorkbookLinkFactory links = [] { return std::unique_ptr<korvane::WorkbookLink>(); };
#endif
        if (mpi.rank() != 0) return mpi.end(korvane::ServeRank(mpi, links));
        auto rootLock = korvane::OpenAppFolder(error);
        if (!rootLock) {
            korvane::PrintMessage(error);
            return 1;
        }
        // The project file as rank 0 reads it: the other ranks compare
        // their copies with it.
        std::string projectPath;
        for (char c : commandLine)
            if (c != '"') projectPath += c;
        projectPath = korvane::ResolveAppRelative(projectPath);
        return mpi.end(RunHeadless(commandLine, options,
                                   mpi.size() > 1 ? korvane::RankPools(mpi, projectPath, links)
                                                  : korvane::CalcPoolFactory{}));
#else
        korvane::PrintMessage("この korvane は MPI なしでビルドされています (libopenmpi-dev を入れて再ビルドして下さい)。");
        return 2;
#endif
    }
    auto lock = korvane::OpenAppFolder(error);
    if (!lock) {
        error += "\n別のアプリケーションフォルダを使うには、環境変数 KORVANE_HOME にそのフォルダを指定して下さい。";
        korvane::PrintMessage(error);
        // Started from a desktop launcher nobody reads stderr: say it in a box.
        if (DisplayAvailable() && korvane::GuiAvailable()) korvane::ShowStartupMessage(argc, argv, error);
        return 1;
    }
    if (argc <= 1) return korvane::RunGui(argc, argv, nullptr);
    if (openOnly) {
        std::string path = argc > 2 ? argv[2] : "";
        for (int i = 3; i < argc; ++i) path += std::string(" ") + argv[i];
        return korvane::RunGui(argc, argv, nullptr, path.empty() ? nullptr : &path);
    }

    if (!DisplayAvailable() || !korvane::GuiAvailable()) return RunHeadless(commandLine, options);
    // Started from a desktop, the run stops on SIGINT and SIGTERM as it does
    // without a window.
    korvane::InstallStopSignals();
    return korvane::RunGui(argc, argv, &commandLine, nullptr, &options);
}

// Korvane's entry point. Without arguments the windows start; with a project
// path the project's plan runs once, unattended, and the program ends. Without
// a display the unattended run needs no window at all.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "ConsoleUi.h"
#include "Gui.h"
#include "platform/AppFolder.h"
#include "project/Paths.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "run/RunDriver.h"
#include "workbook/WorkbookCheck.h"
#include "workbook/WorkbookLink.h"

namespace {

void PrintHelp() {
    std::printf(
        "Usage: korvane [PROJECT.tolv]\n"
        "       korvane --check WORKBOOK\n"
        "\n"
        "Runs parameter studies on spreadsheet models with LibreOffice Calc.\n"
        "Without arguments the main window opens. With a project file, the\n"
        "project's plan runs once, unattended, and the program ends; messages go\n"
        "to standard error (and to a message box when a display is available).\n"
        "\n"
        "  --check WORKBOOK  report what LibreOffice will not compute as Excel\n"
        "                    does, one finding per line on standard output:\n"
        "                    Sheet!Cell or Module:Line, what it is, and what to\n"
        "                    write instead. Finds formula cells whose value is\n"
        "                    an error after a full recalculation (grouped by\n"
        "                    cause, naming functions LibreOffice lacks, such as\n"
        "                    TEXTBEFORE or SEQUENCE), Basic/VBA modules that do\n"
        "                    not compile (with the line), and in the module\n"
        "                    text: a colon right after Then, names that are\n"
        "                    LibreOffice Basic keywords (output), Debug.Print,\n"
        "                    and a minus before ^ (-x ^ 2). The workbook is\n"
        "                    opened read-only and never changed. A run does the\n"
        "                    same check before its first calculation and shows\n"
        "                    the findings as a warning.\n"
        "  --help            show this help and exit\n"
        "  --version         show the version and exit\n"
        "\n"
        "Exit status of an unattended run:\n"
        "  0  the plan ran to its end\n"
        "  1  the run failed (the message says why; a macro that cannot run\n"
        "     always fails the run)\n"
        "  2  the project was refused before anything was written\n"
        "  3  the run was stopped before its end\n"
        "\n"
        "Exit status of --check:\n"
        "  0  nothing found\n"
        "  1  findings were printed\n"
        "  2  the workbook could not be read (the message says why)\n"
        "\n"
        "Environment:\n"
        "  KORVANE_HOME     the application folder (default: the program's folder)\n"
        "  KORVANE_NO_GUI=1 run a project without showing any window\n");
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

// The unattended run without any window.
int RunHeadless(const std::string& commandLine) {
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
    return driver.CommandLineRun(commandLine);
}

// korvane --check WORKBOOK: the findings on standard output.
int RunCheck(int argc, char** argv) {
    if (argc < 3) {
        korvane::PrintMessage("--check にはブックのパスが必要です (korvane --check WORKBOOK)。");
        return korvane::kCheckUnreadable;
    }
    // The rest of the command line, taken whole: a path with blanks arrives
    // as several arguments when it was not quoted.
    std::string path = argv[2];
    for (int i = 3; i < argc; ++i) path += std::string(" ") + argv[i];
    path = korvane::ResolveAppRelative(path);
#ifdef KORVANE_HAVE_LIBREOFFICE
    auto link = korvane::CreateWorkbookLink();
    std::vector<std::string> lines;
    std::string error;
    const korvane::CheckStatus status = korvane::CheckWorkbookFile(*link, path, lines, error);
    for (const auto& line : lines) std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    if (status == korvane::kCheckUnreadable) korvane::PrintMessage(error);
    return status;
#else
    korvane::PrintMessage("この Korvane は LibreOffice なしで作られているため、ブックを調べられません: " + path);
    return korvane::kCheckUnreadable;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        PrintHelp();
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("korvane %s\n", KORVANE_VERSION);
        return 0;
    }
    // The check touches nothing of the application folder: no lock.
    if (argc > 1 && std::strcmp(argv[1], "--check") == 0) return RunCheck(argc, argv);
    std::string error;
    auto lock = korvane::InstanceLock::acquire(korvane::AppFolder(), error);
    if (!lock) {
        korvane::PrintMessage(error);
        return 1;
    }
    if (argc <= 1) return korvane::RunGui(argc, argv, nullptr);

    // The command-line text, taken whole: a path with blanks arrives as
    // several arguments when it was not quoted.
    std::string commandLine = argv[1];
    for (int i = 2; i < argc; ++i) commandLine += std::string(" ") + argv[i];
    if (!DisplayAvailable() || !korvane::GuiAvailable()) return RunHeadless(commandLine);
    return korvane::RunGui(argc, argv, &commandLine);
}

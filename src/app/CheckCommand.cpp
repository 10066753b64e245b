#include "CheckCommand.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ConsoleUi.h"
#include "project/Paths.h"
#include "workbook/WorkbookCheck.h"
#include "workbook/WorkbookLink.h"

namespace korvane {

bool IsCheckCommand(int argc, char** argv) { return argc > 1 && std::strcmp(argv[1], "--check") == 0; }

int RunCheckCommand(int argc, char** argv) {
    if (argc < 3) {
        PrintMessage("--check にはブックのパスが必要です (korvane --check WORKBOOK)。");
        return kCheckUnreadable;
    }
    // The rest of the command line, taken whole: a path with blanks arrives
    // as several arguments when it was not quoted.
    std::string path = argv[2];
    for (int i = 3; i < argc; ++i) path += std::string(" ") + argv[i];
    path = ResolveAppRelative(path);
#ifdef KORVANE_HAVE_LIBREOFFICE
    auto link = CreateWorkbookLink();
    std::vector<std::string> lines;
    std::string error;
    const CheckStatus status = CheckWorkbookFile(*link, path, lines, error);
    for (const auto& line : lines) std::printf("%s\n", line.c_str());
    const bool written = FinishStdout();
    if (status == kCheckUnreadable) PrintMessage(error);
    // Findings that did not reach the output are not "nothing found".
    if (!written && status == kCheckClean) return kCheckFindings;
    return status;
#else
    PrintMessage("この Korvane は LibreOffice なしで作られているため、ブックを調べられません: " + path);
    return kCheckUnreadable;
#endif
}

const char* CheckCommandHelp() {
    return "\n"
           "Check of a workbook written for Excel (read-only, never changed):\n"
           "  korvane --check WORKBOOK\n"
           "      what LibreOffice will not compute as Excel does, one finding per line\n"
           "      on standard output: Sheet!Cell or Module:Line, what it is, and what to\n"
           "      write instead. Finds formula cells whose value is an error after a full\n"
           "      recalculation (grouped by cause, naming functions LibreOffice lacks,\n"
           "      such as TEXTBEFORE or SEQUENCE), Basic/VBA modules that do not compile\n"
           "      (with the line), and in the module text: a colon right after Then,\n"
           "      names that are LibreOffice Basic keywords (output), Debug.Print, and a\n"
           "      minus before ^ (-x ^ 2). A run does the same check before its first\n"
           "      calculation and shows the findings as a warning.\n"
           "  Exit status 0 when nothing is found, 1 with findings, 2 when the workbook\n"
           "  cannot be read.\n";
}

}  // namespace korvane

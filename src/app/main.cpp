// Korvane's entry point. The windows and the unattended run build on the core
// library; this entry answers --help and --version and guards the application
// folder against a second instance.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/AppFolder.h"

namespace {

void PrintHelp() {
    std::printf(
        "Usage: korvane [PROJECT.tolv]\n"
        "\n"
        "Runs parameter studies on spreadsheet models.\n"
        "Without arguments the main window opens; with a project file the\n"
        "project's plan runs once, unattended, and the program ends.\n"
        "\n"
        "  --help     show this help and exit\n"
        "  --version  show the version and exit\n"
        "\n"
        "Environment: KORVANE_HOME overrides the application folder.\n");
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
    std::string error;
    auto lock = korvane::InstanceLock::acquire(korvane::AppFolder(), error);
    if (!lock) {
        std::fprintf(stderr, "korvane: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "korvane: the main window is not available yet\n");
    return 1;
}

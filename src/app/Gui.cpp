// Placeholder until the windows land: an interactive start says so; a run
// with a display falls back to the unattended run.
#include "Gui.h"

#include "ConsoleUi.h"

namespace korvane {

bool GuiAvailable() { return false; }

int RunGui(int&, char**, const std::string* commandLine) {
    if (commandLine) {
        PrintMessage("the main window is not available yet; run with KORVANE_NO_GUI=1");
        return 1;
    }
    PrintMessage("the main window is not available yet");
    return 1;
}

}  // namespace korvane

#pragma once
// The windowed program: the splash window, then the main window; or, with a
// project on the command line, the main window shown during the unattended
// run. Returns the process exit status.

#include <string>

namespace korvane {

// `commandLine` is null for an interactive start, otherwise the command-line
// text (the project path). `argc`/`argv` are handed to the application object.
int RunGui(int& argc, char** argv, const std::string* commandLine);

// False while the program is built without its windows.
bool GuiAvailable();

}  // namespace korvane

#pragma once
// The windowed program: the splash window, then the main window; or, with a
// project on the command line, the main window shown during the unattended
// run. Returns the process exit status.

#include <string>

namespace korvane {

struct RunOptions;

// `commandLine` is null for an interactive start, otherwise the command-line
// text (the project path). `argc`/`argv` are handed to the application object.
// `openPath`, in an interactive start, names a project the main window opens
// once it is shown. `options` (command line only): how the run calculates.
int RunGui(int& argc, char** argv, const std::string* commandLine, const std::string* openPath = nullptr,
           const RunOptions* options = nullptr);

// A message box with the application's title and an OK button, for what
// must be said before any window exists (a second instance, say).
void ShowStartupMessage(int& argc, char** argv, const std::string& text);

// False while the program is built without its windows.
bool GuiAvailable();

}  // namespace korvane

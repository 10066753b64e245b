#pragma once
// The windows the main window opens but does not own (settings windows,
// editors, analysis windows, the scroll window) are found here by their form
// name. A window that is not registered yet shows a plain message instead,
// so every menu command is present from the start.

#include <functional>
#include <string>
#include <vector>

namespace korvane {

class MainWindow;

// What the main window hands to the window it opens.
struct WindowRequest {
    std::string form;           // e.g. "Sampling_Setting_Form"
    std::string caption;        // the command's caption, for the message
    std::string editTarget;     // WriteForm: "Inp" or "Out"
    std::vector<std::string> row;  // the grid row the editor is preloaded with (empty: a new row)
    int gridRow = -1;              // that row's index in its grid (0-based, no header row)
    std::string filePath;       // analysis windows: the chosen DB file
    bool includeInvalidRows = false;  // Stdev_Form, Sens_Prgrs_Form
    bool deleteEnabled = false;       // Exe_Setting_Form: editing an existing row
};

// Opens the window (modal windows return when closed, modeless ones at once).
using WindowOpener = std::function<void(MainWindow& main, const WindowRequest& request)>;

void RegisterWindow(const std::string& form, WindowOpener opener);
void UnregisterWindow(const std::string& form);
bool IsWindowRegistered(const std::string& form);
// False when no window of that form is registered.
bool OpenRegisteredWindow(MainWindow& main, const WindowRequest& request);

// Registers the windows built so far; each window's file adds one line here.
// Called once by the main window; calling it again changes nothing.
void RegisterKnownWindows();

// The message shown for a window that does not exist yet.
std::string WindowNotAvailableMessage(const std::string& caption);

}  // namespace korvane

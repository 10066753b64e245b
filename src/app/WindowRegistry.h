#pragma once
// The windows the main window opens but does not own (settings windows,
// editors, analysis windows, the scroll window) are found here by their form
// name. A window that is not registered yet shows a plain message instead,
// so every menu command is present from the start.

#include <string>

#include "ui/WindowHost.h"

namespace korvane {

void RegisterWindow(const std::string& form, WindowOpener opener);
void UnregisterWindow(const std::string& form);
bool IsWindowRegistered(const std::string& form);
// False when no window of that form is registered.
bool OpenRegisteredWindow(WindowHost& host, const WindowRequest& request);

// Registers the windows built so far; each window's file adds one line here.
// Called once by the main window; calling it again changes nothing.
void RegisterKnownWindows();

// The message shown for a window that does not exist yet.
std::string WindowNotAvailableMessage(const std::string& caption);

}  // namespace korvane

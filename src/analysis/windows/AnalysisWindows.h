#pragma once
// The analysis windows as the main window opens them (WindowRegistry).

namespace korvane {

class MainWindow;
struct WindowRequest;

void OpenStdevForm(MainWindow& main, const WindowRequest& request);
void OpenSensPrgrsForm(MainWindow& main, const WindowRequest& request);
void OpenFactorialEffectsForm(MainWindow& main, const WindowRequest& request);
// One graph container at a time: a second command brings it to the front.
void OpenMDIForm1(MainWindow& main, const WindowRequest& request);

}  // namespace korvane

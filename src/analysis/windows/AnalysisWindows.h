#pragma once
// The analysis windows as the main window opens them (WindowRegistry).

namespace korvane {

class WindowHost;
struct WindowRequest;

void OpenStdevForm(WindowHost& host, const WindowRequest& request);
void OpenSensPrgrsForm(WindowHost& host, const WindowRequest& request);
void OpenFactorialEffectsForm(WindowHost& host, const WindowRequest& request);
// One graph container at a time: a second command brings it to the front.
void OpenMDIForm1(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

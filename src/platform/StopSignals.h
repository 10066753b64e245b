#pragma once
// SIGINT and SIGTERM during an unattended run: the first one asks the run to
// stop as the Stop command does (the calculation in progress ends whole, the
// DB file is closed, the instance quit); a second one ends the program at
// once, with every program it started, leaving only whole lines in the DB
// file (each line reaches the file in one write).

namespace korvane {

// Installs the handlers for SIGINT and SIGTERM.
void InstallStopSignals();
// The signal that asked to stop, or 0.
int StopSignalReceived();
// Forgets a received signal (tests).
void ClearStopSignal();

}  // namespace korvane

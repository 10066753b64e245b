#pragma once
// What the program writes to the terminal it was started from: messages on
// stderr, and the check that standard output really took what a command
// printed.

#include <string>

namespace korvane {

// Writes a message to stderr, prefixed with the program's name.
void PrintMessage(const std::string& text);

// Flushes standard output. False, with a message, when anything written to it
// was lost (a full disk, a closed pipe, /dev/full): the command then fails.
bool FinishStdout();

}  // namespace korvane

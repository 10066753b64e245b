#pragma once
// The desktop's own programs: a document opened with its default viewer, and
// a workbook opened for the user in a spreadsheet application instance that
// is separate from the ones runs use.

#include <string>

namespace korvane {

// Opens the file with the desktop's default program for its type. False with
// `error` when nothing could be started.
bool OpenWithDefaultViewer(const std::string& path, std::string& error);

// Starts LibreOffice Calc, shown, with the file open for editing. It runs on a
// profile of its own, so it neither joins the user's own LibreOffice nor any
// instance of a run, and it stays open after Korvane ends.
bool OpenInSpreadsheet(const std::string& path, std::string& error);

}  // namespace korvane

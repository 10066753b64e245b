#pragma once
// What a window opened from the main window works with. The main window
// implements this interface and hands it to every window it opens, so the
// windows of the subsystems (settings windows, editors, analysis windows, the
// scroll window) never include the main window: they see the open project's
// working copy, the program's user interface, the run state and options, a
// way to start workbook instances, the application folder, and the few things
// they ask of the main window (refresh a grid, lock it, the flow list that
// the program editor edits in place).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "project/ExeFlow.h"

class QWidget;

namespace korvane {

class LiveSummary;
class ProjectDocument;
class RunDriver;
class UserInterface;
class WorkbookLink;
struct RunState;

// What the main window asks of the window it opens.
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

class WindowHost {
public:
    virtual ~WindowHost() = default;

    // The main window: the parent of the windows it opens. Hidden once the
    // program is closing.
    virtual QWidget* hostWindow() = 0;
    // The open project (its header values and its working copy).
    virtual ProjectDocument& document() = 0;
    virtual UserInterface& ui() = 0;
    virtual RunState& runState() = 0;
    // The run driver, for the run options it keeps outside the project.
    virtual RunDriver& driver() = 0;
    // Starts a private spreadsheet instance; empty in a build without one.
    virtual const std::function<std::unique_ptr<WorkbookLink>()>& linkFactory() const = 0;
    // Holds the working copy, the recent list and the assets.
    virtual const std::string& appFolder() const = 0;

    // Rebuilds the main window's grid of a tab key ("Inp", "InpRplc",
    // "Macro", "Out", "ShellExe") from the working copy.
    virtual void refreshGrid(const std::string& key) = 0;
    // Locks (or unlocks) the whole main window, menus, toolbar and controls,
    // while a window calculates with the open project.
    virtual void lockHost(bool locked) = 0;
    // The main window's "visible" tick box.
    virtual void setVisibleCheck(bool visible) = 0;
    // The figures of the run in progress (or of the last run), which the run
    // feeds line by line; null where no run is watched.
    virtual std::shared_ptr<const LiveSummary> liveSummary() const { return nullptr; }

    // The flow list (the exe grid, markers included), which the program
    // editor edits in place: its rows, showing new rows with one of them
    // current, and writing the grid into the working copy.
    virtual ExeGrid exeGridRows() const = 0;
    virtual void fillExeGrid(const ExeGrid& grid, int selectRow) = 0;
    virtual bool saveExeGrid() = 0;
};

// Opens the window (modal windows return when closed, modeless ones at once).
using WindowOpener = std::function<void(WindowHost& host, const WindowRequest& request)>;

}  // namespace korvane

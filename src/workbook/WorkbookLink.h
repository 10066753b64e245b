#pragma once
// The workbook link: the operations on the spreadsheet application that the
// calculation steps, the plans, the input task editor and the scroll window
// use. One object is one private application instance, created, driven and
// ended by the system itself.
//
// Errors: no exception ever leaves this interface. An operation returns false
// (or an empty optional) when the application refuses it or is gone, and
// lastError() then holds a message for the user that names the sheet, cell,
// file or macro concerned. lastError() is left as it was by an operation that
// succeeds, so read it right after the failing call. Once the application
// has died (killed, crashed) isRunning() is false, every later operation fails
// at once with the same message, and quit() only tidies up; no process is
// left behind.
//
// Threads: every call but abort() comes from the thread that called start();
// the application instance dies with that thread. Several links may live on
// several threads at once, each thread driving its own.
// A link held beyond main() (in a global) must be quit before main returns.
//
// Speed: each operation costs one or more round trips to the application
// (about 0.1-0.2 ms each). writeCells() and readCells() do a whole
// calculation's inputs or outputs in a few round trips; the single-cell
// operations are the same thing for one cell. Sheets and cell ranges are
// looked up once per opened workbook and kept.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "workbook/CellRef.h"

namespace korvane {

// The object-model values of the calculation mode.
enum class CalculationMode : int { Manual = -4135, Automatic = -4105 };

// One cell write: the cell (sheet, row and column are used; the address only
// in messages) and the text to enter as if typed.
struct CellWrite {
    CellRef cell;
    std::string text;
};

// A formula cell whose value is an error, as the check of a workbook sees it.
struct FormulaErrorCell {
    CellRef cell;                                // sheet, address, row and column
    std::string formula;                         // as the application shows it: =TEXTBEFORE(A1;"-")
    std::string error;                           // #NAME?, #DIV/0!, Err:522 ...
    std::vector<std::string> unknownFunctions;   // called functions the application does not know
    std::vector<std::string> errorPrecedents;    // cells it refers to directly that hold errors (Sheet1!B2)
};

// A formula cell and its value as the application computes it.
struct FormulaValueCell {
    enum class Kind { Number, Text, Error };
    CellRef cell;                               // sheet, address, row and column
    std::string formula;                        // as the application shows it
    Kind kind = Kind::Number;
    double number = 0;                          // Kind::Number (a logical is 1 or 0)
    std::string text;                           // Kind::Text: the text; Kind::Error: #N/A, Err:522 ...
    std::vector<std::string> unknownFunctions;  // called functions the application does not know
};

// A Basic or VBA module of the workbook.
struct MacroModule {
    std::string library, name;
    std::string source;
    // Whether compiling was tried: not while the application shows its
    // window, where a failure would stop at a dialog box.
    bool compileTried = false;
    // False when the application cannot compile this module; then no macro
    // of its library runs at all.
    bool compiles = true;
    // The line the application stumbles on, found by letting it compile the
    // module with single lines left out (0 when no single line is the cause).
    int failingLine = 0;
};

class WorkbookLink {
public:
    virtual ~WorkbookLink() = default;

    // ------------------------------------------------ the application

    // Creates the private instance: hidden, or with its window shown when
    // `visible`. A shown window needs a display; without one this fails with
    // a message saying so. Starting an instance that runs already ends the
    // old one first.
    virtual bool start(bool visible) = 0;
    // True while the instance runs (false before start, after quit, and once
    // it has died).
    virtual bool isRunning() = 0;
    // `Visible` (write): shows or hides the application window. Before start
    // it only sets how the instance will start. Showing needs a display.
    virtual bool setVisible(bool visible) = 0;
    // `Visible` (read).
    virtual bool visible() const = 0;
    // `DisplayAlerts`: kept for the object model; closing never asks anyway.
    virtual void setDisplayAlerts(bool on) = 0;
    // `Quit`: closes every workbook without saving and ends the instance.
    // Never fails; safe to call more than once, and done by the destructor.
    virtual void quit() = 0;
    // Ends the instance at once. The one operation that may be called from
    // any thread: a call in progress on the link's own thread (a macro that
    // never returns, say) then fails as for an instance that died, and the
    // owner's quit() tidies up.
    virtual void abort() = 0;

    // ------------------------------------------------ workbooks

    // `Workbooks.Open`: opens the workbook at this path (an absolute path as
    // resolved by the caller; starts the instance when needed). The file on
    // disk is never changed: it is opened read-only and never stored. Later
    // sheet and cell operations address this workbook.
    virtual bool open(const std::string& workbookPath) = 0;
    // `Workbooks.Close`: closes every open workbook without saving.
    virtual bool closeWorkbooks() = 0;
    // The sheet names of the workbook in its order.
    virtual std::optional<std::vector<std::string>> sheetNames() = 0;
    // Worksheet `Activate`: that sheet becomes the active sheet.
    virtual bool activateSheet(const std::string& sheet) = 0;

    // ------------------------------------------------ cells

    // Writes the text as if typed: numeric text ("1.5", "-2e3", "1E-05")
    // becomes a number, other text stays text, an empty text empties the
    // cell, a text starting with "=" is a formula (function arguments are
    // separated by ";"). Numbers are read with a point as decimal separator
    // whatever the locale.
    virtual bool writeCell(const CellRef& cell, const std::string& text) = 0;
    // Reads the cell's value as text: a number in the general number form
    // (GeneralNumber), the text of a text cell, "" for an empty cell, "True"
    // or "False" for a logical cell. An error value (#DIV/0!, #N/A, ...) has
    // no text form: empty optional, and lastError() names the cell.
    virtual std::optional<std::string> readCell(const CellRef& cell) = 0;

    // All writes of a calculation at once, in a few round trips. Each text
    // goes to its own sheet and cell exactly as writeCell would put it; when
    // one cell is written twice the later text wins. On failure (missing
    // sheet, cell outside the sheet, dead instance) writes already done stay.
    virtual bool writeCells(const std::vector<CellWrite>& writes) = 0;
    // All reads of a calculation at once. `values` gets one entry per cell,
    // in order, each as readCell would give it; an entry is empty when that
    // cell could not be read (error value, missing sheet, ...). Returns false
    // when any entry is empty, and lastError() then describes the first such
    // cell in the order given.
    virtual bool readCells(const std::vector<CellRef>& cells,
                           std::vector<std::optional<std::string>>& values) = 0;

    // Calculation mode of the open workbook: with Manual, writes do not
    // recalculate; setting Automatic recalculates before it returns.
    virtual bool setCalculation(CalculationMode mode) = 0;

    // ------------------------------------------------ macros

    // `Run`: runs a public macro of the open workbook's standard modules and
    // returns when it has ended. `macroReference` is the form built by
    // MacroReference ('path'!Name); a bare name is taken as well. The name
    // may be Name, Module.Name or Library.Module.Name (case does not matter).
    // A macro that cannot run gives false and a message naming the macro and
    // its module: one that does not exist, one whose library the application
    // cannot compile (with the module and line it stumbles on), and one that
    // stops with a runtime error (with the line and the application's own
    // error text).
    virtual bool run(const std::string& macroReference) = 0;

    // ------------------------------------------------ inspection

    // Recalculates the whole open workbook and lists its formula cells whose
    // value is an error, sheet by sheet, row by row. Changes nothing that a
    // later calculation would see besides the recalculation itself.
    virtual std::optional<std::vector<FormulaErrorCell>> formulaErrors() = 0;
    // Recalculates every formula of the open workbook (dirty or not) and
    // gives every formula cell with its value, sheet by sheet, row by row.
    virtual std::optional<std::vector<FormulaValueCell>> formulaValues() = 0;
    // The Basic and VBA modules of the open workbook, library by library, and
    // whether the application can compile them.
    virtual std::optional<std::vector<MacroModule>> macroModules() = 0;

    // ------------------------------------------------ picking (shown window)

    // The active cell of the shown workbook in absolute form ("$B$3"); for a
    // selected range its first cell.
    virtual std::optional<std::string> activeCellAddress() = 0;
    // The name of the active sheet.
    virtual std::optional<std::string> activeSheetName() = 0;
    // Makes the cell at row and column (from 1) of the active sheet the
    // active cell.
    virtual bool selectCell(std::int64_t row, std::int32_t column) = 0;

    // The message of the last failure.
    virtual const std::string& lastError() const = 0;
};

// ---------------------------------------------------------------- factory

struct WorkbookLinkOptions {
    // The application's program folder; empty: the installed default.
    std::string programFolder;
    // Where the private profile folders are made; empty: $TMPDIR or /tmp.
    std::string tempFolder;
    // How long a start may take before it counts as failed.
    int startTimeoutMs = 60000;
};

// A new link, not started yet. Implemented by the platform back end (the
// library korvane_lo, on LibreOffice Calc); link it where this is called.
std::unique_ptr<WorkbookLink> CreateWorkbookLink(const WorkbookLinkOptions& options = {});

// ---------------------------------------------------------------- composites
// Built on the operations above. On false, link.lastError() says why.

// Start and open: creates the instance (shown when `visible`) and opens the
// workbook at `workbookPath`, resolved with ResolveAppRelative.
bool StartAndOpen(WorkbookLink& link, const std::string& workbookPath, bool visible);

// Close and quit: DisplayAlerts false, every workbook closed without saving,
// the instance ended. The workbook file is never changed.
void CloseAndQuit(WorkbookLink& link);

// Follow visibility, at the start of each calculation of a repeating plan:
// shows a hidden instance when the visible box is ticked and the instance is
// not restarted for each calculation; hides a shown one when the box is not
// ticked.
bool FollowVisibility(WorkbookLink& link, bool visibleTicked, bool restartPerCalc);

// List sheet names: opens the workbook hidden in `freshLink` (a link of its
// own, not the run's), gives its sheet names in order, and quits it again.
bool ListSheetNames(WorkbookLink& freshLink, const std::string& workbookPath,
                    std::vector<std::string>& names);

// A cell picked by the user: the sheet name, the address without dollar
// signs (B3) and the cell's value as text (empty for an error value).
struct PickedCell {
    std::string sheet;
    std::string address;
    std::string value;
};

// Lets the user pick a cell in a shown window: starts `link` with the
// workbook shown, makes the starting cell (row 1, column 5 unless given) of
// the active sheet the active cell,
// and polls until the user moves the active cell on the sheet last seen
// active. `processEvents(ms)` must let the user interface handle its events
// for about that many milliseconds (empty: just wait). The instance is quit
// at the end either way; bringing the caller's window back to the front is
// the caller's part. Empty when the pick could not complete (no display, the
// user closed the application, ...). `cancelled` (optional) is asked after
// every pass of events: true ends the pick without a result (the window
// that asked for it was closed).
std::optional<PickedCell> PickCell(WorkbookLink& link, const std::string& workbookPath,
                                   const std::function<void(int)>& processEvents, std::int64_t startRow = 1,
                                   std::int32_t startColumn = 5, const std::function<bool()>& cancelled = {});

// ---------------------------------------------------------------- helpers

// Splits a macro reference 'path'!Name into path and name. A text without
// the leading apostrophe and "'!" is a bare name with an empty path.
void SplitMacroReference(const std::string& reference, std::string& path, std::string& name);

// "B3" for row 3, column 2; "$B$3" when `absolute`. Empty for a row or
// column below 1.
std::string CellAddress(std::int64_t row, std::int32_t column, bool absolute = false);

// The address text without its dollar signs.
std::string StripDollars(const std::string& address);

}  // namespace korvane

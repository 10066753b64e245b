#pragma once
// What the analysis windows share: their grids (the table's first row is the
// grid's header, the first column holds the names), the window frame of an
// analysis window, and a responsive progress pass.

#include <QColor>
#include <QString>
#include <QTableWidget>
#include <functional>
#include <string>

#include "db/ResultTable.h"

class QMenu;
class QProgressBar;
class QPushButton;

namespace korvane {

class UserInterface;

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline std::string S(const QString& s) { return s.toStdString(); }

// A read-only grid with one selected cell at a time, its header row centred.
QTableWidget* MakeAnalysisGrid(QWidget* parent, const char* objectName);
// Shows table rows: row 0 as the header, the others as cells, all centred.
void ShowTable(QTableWidget* grid, const ResultRows& rows);
// One cell (grid row, not counting the header), centred.
void SetGridText(QTableWidget* grid, int row, int column, const std::string& text);
QString GridText(const QTableWidget* grid, int row, int column);
// The grid as displayed: the header row, then every row.
ResultRows DisplayedRows(const QTableWidget* grid);

// Widens every column that is narrower than its texts (header included),
// up to `maxWidth` pixels when that is given.
void FitColumnsToTexts(QTableWidget* grid, int maxWidth = 0);
// The width a grid needs to show all its columns without scrolling.
int GridContentWidth(const QTableWidget* grid);

// Width in pixels of a column for texts of `bytes` Shift_JIS bytes at 120
// twips each.
int ByteColumnWidth(std::size_t bytes);
// Length in bytes of a text in Shift_JIS.
std::size_t Cp932Length(const std::string& utf8);

// Sets up a top-level analysis window that deletes itself when closed.
void PrepareAnalysisWindow(QWidget* window, const char* objectName, const char* caption);

// The pass of a window that computes a table once it is first shown: its
// progress bar ("ProgressBar1"), stop ("Command2") and close ("CloseCommand")
// buttons. The window events run during the pass, so a stop ends it at the
// next step and a close waits for its end.
class AnalysisPass {
public:
    explicit AnalysisPass(QWidget* window);

    QProgressBar* bar() const { return bar_; }
    QPushButton* stopButton() const { return stop_; }
    QPushButton* closeButton() const { return close_; }
    bool running() const { return running_; }

    // From the window's showEvent: `compute` runs once, after the first show.
    void shown(std::function<void()> compute);
    // Starts a pass (the stop button on, close off); false when one runs.
    bool begin();
    // The progress callback of a computation: moves the bar to `done` (0 to
    // 1) of its range, lets the events run; false once a stop was requested.
    bool step(double done);
    // Ends the pass; false when the window was closed during it (it closes
    // now and must not be touched any more).
    bool end();
    // From the window's closeEvent: true when the close is to wait for the
    // pass, which then ends by closing the window.
    bool holdClose();

private:
    QWidget* window_;
    QProgressBar* bar_;
    QPushButton* stop_;
    QPushButton* close_;
    bool started_ = false;
    bool running_ = false;
    bool stopRequested_ = false;
    bool closePending_ = false;
};

// The grid's popup ("DummyMenu"): save the table as shown, close the window.
QMenu* MakeResultMenu(QWidget* window, QTableWidget* grid, std::function<void()> save);
// Asks for a CSV file and saves the grid as displayed into it. An existing
// file is replaced only when the user says so, and the DB file the window
// analyses (`analysedDb`, or a link to it) never.
void SaveDisplayedTable(UserInterface& ui, const QTableWidget* grid, const std::string& analysedDb);
// The checks of a chosen save target: false when it is the analysed DB file
// (after saying so) or an existing file the user does not want replaced.
bool MayWriteTo(UserInterface& ui, const std::string& path, const std::string& analysedDb);

// The light red of the largest value in a column.
inline const QColor kTopValueBackground(255, 192, 192);

}  // namespace korvane

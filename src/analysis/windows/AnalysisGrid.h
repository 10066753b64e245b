#pragma once
// What the analysis windows share: their grids (the table's first row is the
// grid's header, the first column holds the names), the window frame of an
// analysis window, and a responsive progress pass.

#include <QColor>
#include <QString>
#include <QTableWidget>
#include <string>

#include "analysis/ResultTable.h"

class QProgressBar;

namespace korvane {

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

// Moves a progress bar to `done` (0 to 1) of its range and lets the window
// events run (a stop button among them); false once a stop was requested.
bool ProgressPass(QProgressBar* bar, double done, const bool& stopRequested);

// The light red of the largest value in a column.
inline const QColor kTopValueBackground(255, 192, 192);

}  // namespace korvane

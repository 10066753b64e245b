#pragma once
// The grid of the settings windows (VarGrid1) with its in-cell editing: a
// click on an editable cell lays the text box Val_Text or the window's
// drop-down chooser over it. Val_Text starts with the cell's text, all of it
// selected, and keeps the old text as EditBackup; Enter stores the text, and
// so does a click on another cell or a tick box; Escape puts EditBackup back, and a numeric cell passes every change
// through the numeric entry filter. Choosing an item in the chooser stores
// it. A column of tick boxes (Checkbox) marks the variables a plan varies;
// there is one box per row, however many rows there are.
//
// The grid's heading is its header row; data rows count from 0 (the first
// variable), and the tick box of row r carries the index r + 1.

#include <QTableWidget>
#include <functional>
#include <string>
#include <vector>

#include "ui/Twips.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace korvane {

class UserInterface;

class SettingsGrid : public QTableWidget {
    Q_OBJECT
public:
    enum class Cell { Fixed, Tick, Text, Number, Choice };
    struct Column {
        const char* caption;
        int twips;  // width in 1/1440 inch
        Cell kind;
    };

    SettingsGrid(UserInterface& ui, const std::vector<Column>& columns, QWidget* parent = nullptr);

    // Data rows; the tick boxes follow. New cells are empty.
    void setRows(int count);
    QString text(int row, int column) const;
    void setText(int row, int column, const QString& text);
    // A cell's background; an invalid colour gives the plain one.
    void setCellColour(int row, int column, const QColor& background, const QColor& foreground = QColor());

    QCheckBox* tickBox(int row) const;
    bool ticked(int row) const;
    // Sets the tick without telling tickToggled (as loading does).
    void setTicked(int row, bool on);
    // Tick boxes the user cannot change (the current value window shows them).
    void setTicksReadOnly(bool readOnly);

    // The kind of a cell: by default its column's; a window narrows it (an
    // unticked row is not editable, row 0 of the data-file grid chooses).
    std::function<Cell(int row, int column)> cellKind;

    QLineEdit* valText() const { return valText_; }
    // The drop-down chooser; the window names it and fills its items.
    QComboBox* chooser() const { return chooser_; }
    const QString& editBackup() const { return editBackup_; }
    bool editing() const;
    int editRow() const { return editRow_; }
    int editColumn() const { return editColumn_; }

    // What a click on a cell does after the editors are hidden: opens the
    // cell's editor or chooser. False for a cell that cannot be edited.
    bool beginEdit(int row, int column);
    // Enter: the editor's text goes into the cell.
    void storeEdit();
    // Escape: EditBackup goes back into the cell.
    void restoreEdit();
    // Hides editor and chooser without storing.
    void hideEditors();
    // The column whose heading is `caption`; -1 when there is none.
    int columnOf(const QString& caption) const;
    // A cell that OK refused: the message is shown, then the cell's editor
    // opens on it (or the cell is selected when it cannot be edited).
    void refuseCell(int row, const QString& caption, const std::string& message);

signals:
    // Every click on a cell, before an editor opens (windows hide their
    // frames here).
    void gridClicked();
    // A cell's text was stored by Enter or by the chooser.
    void cellStored(int row, int column);
    // The user ticked or cleared a box.
    void tickToggled(int row, bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Cell kindAt(int row, int column) const;
    Cell columnKind(int column) const;
    void placeOverCell(QWidget* editor);
    void onCellClicked(int row, int column);

    UserInterface& ui_;
    std::vector<Column> columns_;
    QLineEdit* valText_;
    QComboBox* chooser_;
    QString editBackup_;
    int editRow_ = -1;
    int editColumn_ = -1;
    bool ticksReadOnly_ = false;
    bool filling_ = false;
};

}  // namespace korvane

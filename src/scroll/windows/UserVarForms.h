#pragma once
// The interactive scroll mode ("UserScroll Mode"): the start dialog
// User_Var_Start_Form and the scroll window User_Var_Form. Every input of the
// project gets a scroll bar between a lower and an upper end; every movement
// writes the inputs into the workbook, recalculates it, and shows the outputs
// against their limits in the transposed output table and in the scroll plot.
// Nothing is written to the DB file. The main window stays locked while the
// scroll window is open.

#include <QDialog>
#include <QMainWindow>
#include <memory>
#include <vector>

#include "ui/GuiUserInterface.h"
#include "scroll/CalculationQueue.h"
#include "scroll/ScrollInputs.h"
#include "scroll/ScrollOutputs.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QScrollBar;
class QTableWidget;

namespace korvane {

class WindowHost;
class ScrollPlot;
class ScrollSession;
struct WindowRequest;

// The start dialog (caption "Notice！"): restart the workbook for every
// calculation, and show or hide it while it calculates.
class UserVarStartForm : public QDialog {
    Q_OBJECT
public:
    UserVarStartForm(bool restartPerCalc, bool visible, QWidget* parent = nullptr);
    bool restartPerCalc() const;
    bool visibleChosen() const;

private:
    QCheckBox* check1_;
    QRadioButton* shown_;
};

class UserVarForm : public QMainWindow {
    Q_OBJECT
public:
    // A window over the main window's run state (loaded for the run) and
    // working copy. It locks the main window until it closes, and does
    // nothing else until start().
    explicit UserVarForm(WindowHost& host);
    ~UserVarForm() override;

    // The opening: the tables filled, the workbook opened (unless restarted
    // per calculation) and the first calculation.
    // When that fails, the message is shown and the window closes.
    void start();

    // ------------------------------------------------ routines
    void Form_Format();
    void Data_to_Grid();
    void Param_NM_to_Grid();
    void Param_NM_to_Combo();
    // The current value of input row i (0-based) from its bar's position;
    // asks for a calculation once the window is ready.
    void ChangeCell_by_Scroll(int i);
    // One calculation with the table's values, merged with the other
    // notifications that arrive meanwhile; runs from the event loop.
    void Scroll_Calc();
    // The output table's cells from the outputs.
    void Output_to_Grid();
    void Set_Initial();
    void Quit_Mn();

    // ------------------------------------------------ state
    bool ready() const { return ready_; }
    // Calculations finished since the opening.
    long calculations() const;
    const std::vector<ScrollInputRow>& inputRows() const { return rows_; }
    const ScrollOutputs& outputs() const { return outputs_; }
    QScrollBar* bar(int i) const { return bars_.at(static_cast<std::size_t>(i)); }
    ScrollPlot* plot() const { return plot_; }

signals:
    // A calculation ended (successfully or not) and the window shows it.
    void calculated();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildInputFrame(QWidget* parent);
    void buildOutputFrame(QWidget* parent);
    void buildMenus();
    void showInputRow(int i);
    void placeBar(int i);
    void runCalculations();
    void calculateOnce();
    void inputCellClicked(int row, int column);
    void inputEditorKey(int key);
    void outputCellClicked(int row, int column);
    void outputEditorKey(int key);
    void outputChosen(int index);
    void hideOutputEditors();
    void filterNumeric(QLineEdit* box);
    void Main_Form_Lock(bool locked);

    WindowHost& host_;
    WindowUserInterface ui_;  // the boxes belong to this window, not the locked main window
    std::unique_ptr<ScrollSession> session_;
    std::vector<ScrollInputRow> rows_;
    ScrollOutputs outputs_;
    CalculationQueue queue_;
    bool ready_ = false;
    bool opened_ = false;
    bool locked_ = false;
    bool closing_ = false;
    bool closeAfterCalculations_ = false;
    bool resetPeaksAfterCalculation_ = false;
    bool filtering_ = false;

    QTableWidget* tableGrid1_ = nullptr;
    std::vector<QScrollBar*> bars_;
    QLineEdit* valText_ = nullptr;
    int editRow_ = -1, editColumn_ = -1;
    QTableWidget* cellsGrid_ = nullptr;
    QComboBox* paramCombo_ = nullptr;
    QLineEdit* ulText_ = nullptr;
    int outRow_ = -1, outColumn_ = -1;
    std::string editBackup_;
    ScrollPlot* plot_ = nullptr;
};

// The window registry's opener of "User_Var_Start_Form": the start dialog,
// then, on OK, the scroll window (modeless).
void OpenUserVarStartForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

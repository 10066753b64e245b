#pragma once
// Stdev_Form ("標準偏差"): minimum, average, maximum, variance and standard
// deviation of every input and output column of a DB file. It computes as
// soon as it is shown, with a progress bar and a stop button; its grid's
// popup opens the histogram of the selected row and saves the table.

#include <QPointer>
#include <QWidget>
#include <string>

#include "ui/GuiUserInterface.h"
#include "analysis/Statistics.h"
#include "ui/AnalysisGrid.h"
#include "analysis/windows/HistogramWindow.h"

class QLabel;
class QMenu;
class QTableWidget;

namespace korvane {

class UserInterface;

class StatisticsWindow : public QWidget {
    Q_OBJECT
public:
    StatisticsWindow(UserInterface& ui, std::string path, bool includeInvalidRows, QWidget* parent = nullptr);

    // The computation; runs by itself once the window is shown.
    void compute();
    bool computing() const { return pass_.running(); }
    // The histogram opened last (null when closed).
    HistogramWindow* histogram() const { return histogram_; }
    QMenu* popupMenu() const { return menu_; }

    // Popup commands.
    void Histogram_Menu();
    void Save_Result();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Get_Param_NM();

    WindowUserInterface ui_;  // the boxes belong to this window
    std::string path_;
    bool includeInvalid_;
    QTableWidget* grid_;
    QLabel* count_;
    QMenu* menu_;
    AnalysisPass pass_;
    QPointer<HistogramWindow> histogram_;
};

}  // namespace korvane

#pragma once
// Sobol_Form ("Sobol'感度指数"): the Sobol' indices of one output at a time
// to every input, from a DB file: a table of S1 and ST with their 95 %
// intervals, sorted by ST (by S1 when the file is not a Saltelli design and
// only S1 can be estimated), the share left to interactions, and a bar chart
// of both indices with the intervals as whiskers.
//
// The computation reads the whole file and resamples it, so it runs on a
// thread of its own; the window shows its progress in the progress bar and
// stops it with the stop button, like the other analysis windows.

#include <QWidget>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "analysis/SobolIndices.h"
#include "ui/AnalysisGrid.h"
#include "ui/GuiUserInterface.h"

class QComboBox;
class QLabel;
class QMenu;
class QTableWidget;
class QTimer;

namespace korvane {

class PictureArea;
class UserInterface;
class WindowHost;
struct WindowRequest;

class SobolWindow : public QWidget {
    Q_OBJECT
public:
    SobolWindow(UserInterface& ui, std::string path, bool includeInvalidRows, QWidget* parent = nullptr);
    ~SobolWindow() override;

    // Starts the computation (once the window is shown it starts by itself).
    void compute();
    bool computing() const { return pass_.running(); }
    // The figures, once computed (complete() says so).
    bool complete() const { return computed_; }
    const SobolResult& result() const { return result_; }
    PictureArea* picture() const { return picture_; }
    QMenu* popupMenu() const { return menu_; }

    // Shows the output with this index of the result (the output chooser).
    void showOutput(int index);
    // Saves the table of every output, as the command line writes it.
    void Save_Result();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Format();
    void finished(bool ok);
    void followProgress();
    void showTable(const SobolOutputIndices* output);
    void drawChart(const SobolOutputIndices* output, const std::vector<std::size_t>& order);

    WindowUserInterface ui_;  // the boxes belong to this window
    std::string path_;
    bool includeInvalid_;
    SobolResult result_;
    bool computed_ = false;
    std::vector<std::string> inputs_, outputs_;  // from the header, until computed
    QComboBox* output_;
    QTableWidget* grid_;
    QLabel* note_;
    PictureArea* picture_;
    QMenu* menu_;
    AnalysisPass pass_;
    QTimer* poll_;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    std::atomic<double> done_{0};
};

// From the main window's analysis command: the DB file and the row filter
// chosen there.
void OpenSobolForm(WindowHost& host, const WindowRequest& request);

}  // namespace korvane

#pragma once
// Convergence_Frame: the figures of the run in progress (or of the last run),
// one row per output: how many values were taken, the running mean with its
// 95 % confidence half-width, and the share of "False" lines with its Wilson
// interval. It reads a LiveSummary that the run feeds, on a 250 ms timer and
// only when a line came in, never per line: a run may write thousands of
// lines a second. "収束グラフ" (Convergence_Command) opens the convergence
// picture of the chosen row's output.
//
// The panel holds a share of the summary, so it may outlive the window that
// feeds it; its timer stops with the panel.

#include <QFrame>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace korvane {

class LiveSummary;
class RunningSummary;
class UserInterface;
class ConvergenceWindow;

// A mean or half-width as the panel shows it: four significant digits, in
// plain notation between 0.001 and a million ("83.48", "0.0716"), otherwise
// with an exponent ("2.060e+6"); "-" when there is none.
QString LiveFigureText(double value);

class LiveFiguresPanel : public QFrame {
    Q_OBJECT
public:
    // How often the figures are looked at.
    static constexpr int kRefreshMilliseconds = 250;

    LiveFiguresPanel(std::shared_ptr<const LiveSummary> live, UserInterface* ui, QWidget* parent = nullptr);

    // Shows the figures now if a line came in since the last look.
    void refresh();
    // Opens the convergence picture of the current row's output (the first
    // when none is current); null when there is no output yet.
    ConvergenceWindow* openConvergence();

    QTableWidget* grid() const { return grid_; }

private:
    std::shared_ptr<const LiveSummary> live_;
    UserInterface* ui_;
    QLabel* caption_;
    QTableWidget* grid_;
    QPushButton* chart_;
    QTimer* timer_;
    std::uint64_t shown_ = 0;
    bool everShown_ = false;
};

// The texts of one output's row: values in "0.000e+0", shares in percent
// with one decimal; "-" for a figure without a value.
struct LiveRowTexts {
    QString name, count, mean, halfWidth, share, shareInterval;
};
LiveRowTexts LiveRowOf(const std::string& name, const RunningSummary& summary);

}  // namespace korvane

#pragma once
// Convergence_Form ("収束グラフ"): how the mean of one output settles as the
// run goes on. The running mean against the number of lines written, inside
// its 95 % confidence band, drawn from the history the LiveSummary keeps (at
// most a few hundred points, evenly over the whole run). While the run goes
// on the picture follows it on a 250 ms timer; the picture area's popup saves
// it as PNG or SVG with its title, axis ends and figures.

#include <QWidget>
#include <cstdint>
#include <memory>

class QComboBox;
class QLabel;
class QTimer;

namespace korvane {

class LiveSummary;
class PictureArea;
class UserInterface;

class ConvergenceWindow : public QWidget {
    Q_OBJECT
public:
    ConvergenceWindow(std::shared_ptr<const LiveSummary> live, UserInterface* ui, QWidget* parent = nullptr);

    // Shows output `index` (0-based) of the run.
    void chooseOutput(int index);
    // Draws again if a line came in (or `always`).
    void redraw(bool always = false);

    PictureArea* picture() const { return picture_; }
    // How many points the last drawing had.
    std::size_t pointsDrawn() const { return points_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fillOutputs();

    std::shared_ptr<const LiveSummary> live_;
    QComboBox* outputs_;
    QLabel* figures_;
    QLabel* yHigh_;
    QLabel* yLow_;
    QLabel* xHigh_;
    PictureArea* picture_;
    QTimer* timer_;
    std::uint64_t drawn_ = 0;
    std::size_t points_ = 0;
};

}  // namespace korvane

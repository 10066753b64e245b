#pragma once
// The windows of a run: Pause_Form, which holds the run at its event pass,
// and End_Window_Form, which shows the run's times and the counts of valid
// and invalid lines of the DB file.

#include <QDialog>
#include <QWidget>

#include "run/RunDriver.h"

namespace korvane {

class PauseWindow : public QDialog {
    Q_OBJECT
public:
    explicit PauseWindow(QWidget* parent = nullptr);
    // True when the window was closed by its Stop button.
    bool stopChosen() const { return stop_; }

private:
    bool stop_ = false;
};

// Picture1: the share of valid lines (green) against the invalid ones, whose
// bar Shape1 starts at the valid share.
class ShareBar : public QWidget {
    Q_OBJECT
public:
    explicit ShareBar(QWidget* parent = nullptr);
    // The left edge of Shape1 as a share of the width, 0 to 1.
    void setLeftEdge(double share);
    double leftEdge() const { return left_; }
    QSize sizeHint() const override { return {300, 26}; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void place();
    QWidget* shape1_;
    double left_ = 1.0;  // before any count: no invalid bar
};

class EndWindow : public QDialog {
    Q_OBJECT
public:
    explicit EndWindow(const RunObserver::EndCounts& counts, QWidget* parent = nullptr);
};

}  // namespace korvane

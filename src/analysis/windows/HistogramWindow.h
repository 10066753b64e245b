#pragma once
// Histogram_Form ("ヒストグラム"): the distribution of one DB column in 25
// bins, opened from the statistics window for its selected row. The bars grow
// while the file is counted.

#include <QElapsedTimer>
#include <QWidget>
#include <string>

#include "analysis/Histogram.h"

class QFrame;
class QLabel;
class QPushButton;

namespace korvane {

class PictureArea;

class HistogramWindow : public QWidget {
    Q_OBJECT
public:
    HistogramWindow(std::string path, bool includeInvalidRows, std::size_t field, const std::string& name,
                    QWidget* parent = nullptr);

    // Counts and draws; runs by itself once the window is shown.
    void Hist_Count();
    bool counting() const { return counting_; }
    const HistogramResult& result() const { return result_; }
    PictureArea* picture() const { return picture_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Scale_Set();
    void Draw_Pic();
    void placeLabels();
    void pointerMoved(double x, double y);

    std::string path_;
    std::string name_;
    bool includeInvalid_;
    std::size_t field_;
    HistogramResult result_;
    PictureArea* picture_;
    QLabel* yLabel_;
    QLabel* xLow_;
    QLabel* xHigh_;
    QLabel* average_;
    QLabel* value_;
    QFrame* line_;
    QWidget* axis_;
    QElapsedTimer drawn_;
    bool started_ = false;
    bool counting_ = false;
    bool closing_ = false;
};

}  // namespace korvane

#pragma once
// The scroll plot of the scroll window: Picture1 with the outputs as a
// profile on the common scale of their limits (-1 lower, 0 middle, +1 upper),
// the "Uppr", "Crnt" and "Lwr" labels at those levels, the pointer read-out
// Val_Label, and the options panel MenuFrame (trajectory mode, pointer
// read-out, peak hold, "Graph Clear"), opened by Menu_Cmnd.
//
// Column c of the output table is drawn at x = c - 0.5, so with the picture
// as wide as nine output columns each point stands under its column.

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace korvane {

class PictureArea;
class ScrollOutputs;
class UserInterface;

class ScrollPlot : public QWidget {
    Q_OBJECT
public:
    ScrollPlot(ScrollOutputs& outputs, UserInterface& ui, QWidget* parent = nullptr);

    // The frame and the reference lines; the picture is not cleared.
    void Picture_Format();
    // The profile of the current values (and peaks). Clears the picture first
    // unless trajectory mode keeps the earlier profiles.
    void Draw_Pic();
    // Both peaks of every output become its current value.
    void Clear_Peak();

    // Lines up the picture's left edge with `x` (in this widget) and makes it
    // `columnWidth` * 9 wide, so the points stand under their table columns.
    void alignColumns(int x, int columnWidth);

    PictureArea* picture() const { return picture_; }

private:
    void kisekiChanged(bool on);
    void peakHoldChanged(bool on);
    void pointerMoved(double x, double y);
    void layoutChildren();
    void placeMenuFrame();
    void resizeEvent(QResizeEvent* event) override;

    ScrollOutputs& outputs_;
    UserInterface& ui_;
    PictureArea* picture_;
    QLabel* levels_[3];
    QLabel* valLabel_;
    QPushButton* menuCmnd_;
    QWidget* menuFrame_;
    QCheckBox* kiseki_;
    QCheckBox* valueLabelVis_;
    QCheckBox* peakHold_;
    int left_ = 40;
    int columnWidth_ = 64;
};

}  // namespace korvane

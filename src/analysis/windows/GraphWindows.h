#pragma once
// X/Y graphs. MDIForm1 ("グラフ作成") holds the DB file and the settings for
// a new graph; each press of its "グラフ作成" button opens one more
// Graph_MDI_Form inside it: a scatter of one column against another, whose
// settings, colours and axis ends can be changed afterwards.

#include <QMainWindow>
#include <QWidget>
#include <string>

#include "ui/GuiUserInterface.h"
#include "analysis/XYGraph.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMdiArea;
class QPushButton;
class QStatusBar;

namespace korvane {

class PictureArea;
class UserInterface;

// What a graph shows.
struct GraphSettings {
    std::string x, y;
    bool hideInvalid = false;   // Check1
    bool colourByVerdict = false;  // Check2
};

class GraphContainer : public QMainWindow {
    Q_OBJECT
public:
    explicit GraphContainer(UserInterface& ui, QWidget* parent = nullptr);

    UserInterface& ui() { return ui_; }
    // The DB file as typed, and resolved against the application folder.
    std::string dbPath() const;
    void setDbPath(const std::string& path);
    // Fills both column choosers from the names line of the DB file.
    bool Combo_Set();
    // Opens a new graph window with the container's settings.
    class GraphWindow* Create_Graph();
    QMdiArea* area() const { return area_; }

private:
    WindowUserInterface ui_;  // the boxes belong to this window
    QLineEdit* path_;
    QComboBox* x_;
    QComboBox* y_;
    QCheckBox* hide_;
    QCheckBox* colour_;
    QMdiArea* area_;
    QStatusBar* status_;
};

class GraphWindow : public QWidget {
    Q_OBJECT
public:
    GraphWindow(GraphContainer& container, const GraphSettings& settings, QWidget* parent = nullptr);

    const GraphSettings& settings() const { return settings_; }
    PictureArea* picture() const { return picture_; }
    // The current frame's ends, as the axis labels show them.
    QString axisText(const char* which) const;
    // The frame and the labels for the settings; false with a message when
    // the file cannot be read.
    bool Scale_Set();
    void Draw_Pic();
    // Replaces one axis end ("X1", "X2", "Y1", "Y2") and redraws.
    void Axis_Change(const std::string& which, double value);
    // Applies the edit frame's settings ("グラフ作成" in the frame).
    void applyEdit();
    void showEditFrame(bool show);
    // The colour of plain points, of valid and of invalid ones.
    QColor colour(int box) const;
    void setColour(int box, const QColor& colour);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void setFrameFromRange();
    void setFrame(double x1, double x2, double y1, double y2);
    void editAxis(const char* which);
    void chooseColour(int box);
    void updateNames();

    GraphContainer& container_;
    GraphSettings settings_;
    GraphSettings drawn_;
    XYScan scan_;
    double x1_ = 0, x2_ = 1, y1_ = 0, y2_ = 1;
    PictureArea* picture_;
    QLabel* xName_;
    QLabel* yName_;
    QLabel* ends_[4];  // X1, X2, Y1, Y2
    QStatusBar* status_;
    QGroupBox* edit_;
    QComboBox* editX_;
    QComboBox* editY_;
    QCheckBox* editHide_;
    QCheckBox* editColour_;
    QLabel* boxes_[3];
    QColor colours_[3];
    QColor remembered_[3];
};

}  // namespace korvane

#pragma once
// The picture area every chart draws into: a widget with a world-coordinate
// frame (left, top, right, bottom; y grows upwards when top is the larger
// value, downwards otherwise) and drawing operations in world units: lines,
// boxes, circles, filled circles and text, each with the current line width.
//
// Drawings persist until clear(): each one keeps the frame that was in force
// when it was drawn, so changing the frame later does not move what is already
// on the picture (a trajectory drawn point by point stays put). The items are
// kept as a list and drawn onto a cached image, so a resize redraws them sharp
// and a save can write them as vectors (SVG) as well as pixels (PNG).
//
// The mouse position is reported in world units. The right mouse button
// opens a popup that saves the picture as PNG or SVG. A saved picture carries
// the labels its window shows around it (setExportLabels): a title above,
// the axis ends and names at its edges and notes below, so that the file
// reads on its own.

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <string>
#include <vector>

class QMenu;
class QPainter;

namespace korvane {

class UserInterface;

class PictureArea : public QWidget {
    Q_OBJECT
public:
    struct Frame {
        double left = 0, top = 1, right = 1, bottom = 0;
        bool operator==(const Frame&) const = default;
    };

    explicit PictureArea(QWidget* parent = nullptr);

    // Messages and the save dialog go through `ui`; without one, Qt's own
    // dialogs are used.
    void setUserInterface(UserInterface* ui) { ui_ = ui; }
    // A file a save must never write over (the DB file the chart shows).
    void setProtectedFile(const std::string& path) { protected_ = path; }

    // The texts a saved picture carries around the drawing.
    struct ExportLabels {
        QString title;                  // above the picture; the SVG's title
        QString xLow, xHigh, xName;     // under it: the x axis ends and name
        QString yHigh, yLow, yName;     // left of it: the y axis ends and name
        QStringList notes;              // lines under everything
        bool operator==(const ExportLabels&) const = default;
    };
    void setExportLabels(const ExportLabels& labels) { labels_ = labels; }
    const ExportLabels& exportLabels() const { return labels_; }
    // The picture as it is saved: the drawing at the widget's size with the
    // labels around it (only the drawing when there are none).
    QImage renderExport() const;

    // The frame for the drawings that follow. A frame without extent in x or
    // y (or with a value that is not finite) falls back to a unit range
    // around its value, so nothing divides by zero.
    void setFrame(double left, double top, double right, double bottom);
    // The frame as used (after any fallback).
    Frame frame() const { return frames_[current_]; }
    static Frame UsableFrame(Frame f);

    // Width in pixels of the lines and outlines drawn from now on (at least 1).
    void setLineWidth(int pixels);
    int lineWidth() const { return width_; }
    void setBackground(const QColor& color);

    // Removes every drawing; the frame and line width stay.
    void clear();
    void line(double x1, double y1, double x2, double y2, const QColor& color);
    // An outlined box between two corners; `filled` fills it with the colour.
    void box(double x1, double y1, double x2, double y2, const QColor& color, bool filled = false);
    // A circle around (x, y); the radius is in units of the x axis.
    void circle(double x, double y, double radius, const QColor& color);
    void filledCircle(double x, double y, double radius, const QColor& outline, const QColor& fill);
    // Text anchored at (x, y): `align` says which side of the text touches the
    // point (left/top by default).
    void text(double x, double y, const QString& text, const QColor& color,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop);

    std::size_t itemCount() const { return items_.size(); }
    // How many drawings are in this colour (outline or filling).
    std::size_t itemCount(const QColor& colour) const;

    // World point of a pixel position and back, in the current frame.
    QPointF toWorld(const QPointF& pixel) const;
    QPointF toPixel(const QPointF& world) const;
    QPointF toPixel(double x, double y) const { return toPixel(QPointF(x, y)); }

    // The picture at `size` (the widget's size when empty).
    QImage render(QSize size = {}) const;
    // Saves the picture; false with a reason in `error`.
    bool savePng(const QString& path, QString* error = nullptr) const;
    bool saveSvg(const QString& path, QString* error = nullptr) const;

    // The popup of the right mouse button ("Picture_Menu").
    QMenu* popupMenu() const { return menu_; }

    QSize sizeHint() const override { return {400, 300}; }

signals:
    // The pointer moved over the picture; position in world units.
    void mouseMoved(double x, double y);
    void mousePressed(double x, double y, Qt::MouseButton button);
    void mouseLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    enum class Kind : std::uint8_t { Line, Box, FilledBox, Circle, FilledCircle, Text };
    struct Item {
        Kind kind;
        std::uint8_t width;
        std::uint16_t align;
        std::uint32_t frame;
        QRgb color;
        QRgb fill;
        double a, b, c, d;  // line/box: two corners; circle: centre and radius
        int text;           // index into texts_, -1 when none
    };

    void add(const Item& item);
    void drawItems(QPainter& painter, QSize size, std::size_t from, std::size_t to) const;
    // The export's size and the drawing's place in it; paints it all.
    QRect exportLayout(QSize& total) const;
    void paintExport(QPainter& painter) const;
    void saveFromMenu(bool svg);

    UserInterface* ui_ = nullptr;
    std::string protected_;
    ExportLabels labels_;
    std::vector<Frame> frames_;
    std::size_t current_ = 0;
    int width_ = 1;
    QColor background_;
    std::vector<Item> items_;
    std::vector<QString> texts_;
    // What is already drawn onto the cache; cleared when the size changes.
    QImage cache_;
    std::size_t cached_ = 0;
    QMenu* menu_;
};

}  // namespace korvane

#include "ui/PictureArea.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>

#include "db/ResultTable.h"
#include "platform/UserInterface.h"

namespace korvane {

namespace {

// Maps world points of one frame onto a picture of one size.
struct Mapping {
    double left, top, sx, sy;
    Mapping(const PictureArea::Frame& f, QSize size)
        : left(f.left),
          top(f.top),
          sx(size.width() / (f.right - f.left)),
          sy(size.height() / (f.bottom - f.top)) {}
    QPointF operator()(double x, double y) const { return {(x - left) * sx, (y - top) * sy}; }
};

QString WithSuffix(const QString& path, const char* suffix) {
    if (QFileInfo(path).suffix().isEmpty()) return path + QLatin1Char('.') + QLatin1String(suffix);
    return path;
}

}  // namespace

PictureArea::PictureArea(QWidget* parent) : QWidget(parent), background_(Qt::black) {
    frames_.push_back(Frame{});
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("Picture_Menu"));
    QAction* png = menu_->addAction(QStringLiteral("画像として保存(PNG)(&P)"));
    png->setObjectName(QStringLiteral("Save_Png_Menu"));
    connect(png, &QAction::triggered, this, [this] { saveFromMenu(false); });
    QAction* svg = menu_->addAction(QStringLiteral("画像として保存(SVG)(&V)"));
    svg->setObjectName(QStringLiteral("Save_Svg_Menu"));
    connect(svg, &QAction::triggered, this, [this] { saveFromMenu(true); });
}

PictureArea::Frame PictureArea::UsableFrame(Frame f) {
    auto fix = [](double& low, double& high) {
        if (!std::isfinite(low) || !std::isfinite(high)) {
            low = 0;
            high = 1;
        } else if (low == high) {
            // A unit range around the value, keeping the direction of the axis.
            low -= 0.5;
            high += 0.5;
        }
    };
    fix(f.left, f.right);
    // y: "top" may be the larger (y up) or the smaller value (y down).
    if (!std::isfinite(f.top) || !std::isfinite(f.bottom)) {
        f.top = 1;
        f.bottom = 0;
    } else if (f.top == f.bottom) {
        f.top += 0.5;
        f.bottom -= 0.5;
    }
    return f;
}

void PictureArea::setFrame(double left, double top, double right, double bottom) {
    const Frame f = UsableFrame(Frame{left, top, right, bottom});
    if (f == frames_[current_]) return;
    // Frames no drawing uses any more are dropped; the rest stay for the
    // drawings made in them.
    const bool used = std::any_of(items_.begin(), items_.end(),
                                  [this](const Item& item) { return item.frame == current_; });
    if (used) {
        frames_.push_back(f);
        current_ = frames_.size() - 1;
    } else {
        frames_[current_] = f;
    }
}

void PictureArea::setLineWidth(int pixels) { width_ = std::clamp(pixels, 1, 255); }

void PictureArea::setBackground(const QColor& color) {
    background_ = color;
    cache_ = QImage();
    update();
}

void PictureArea::clear() {
    items_.clear();
    texts_.clear();
    frames_ = {frames_[current_]};
    current_ = 0;
    cache_ = QImage();
    cached_ = 0;
    update();
}

void PictureArea::add(const Item& item) {
    items_.push_back(item);
    update();
}

void PictureArea::line(double x1, double y1, double x2, double y2, const QColor& color) {
    add({Kind::Line, static_cast<std::uint8_t>(width_), 0, static_cast<std::uint32_t>(current_), color.rgba(),
         color.rgba(), x1, y1, x2, y2, -1});
}

void PictureArea::box(double x1, double y1, double x2, double y2, const QColor& color, bool filled) {
    add({filled ? Kind::FilledBox : Kind::Box, static_cast<std::uint8_t>(width_), 0,
         static_cast<std::uint32_t>(current_), color.rgba(), color.rgba(), x1, y1, x2, y2, -1});
}

void PictureArea::circle(double x, double y, double radius, const QColor& color) {
    add({Kind::Circle, static_cast<std::uint8_t>(width_), 0, static_cast<std::uint32_t>(current_), color.rgba(),
         color.rgba(), x, y, radius, 0, -1});
}

void PictureArea::filledCircle(double x, double y, double radius, const QColor& outline, const QColor& fill) {
    add({Kind::FilledCircle, static_cast<std::uint8_t>(width_), 0, static_cast<std::uint32_t>(current_),
         outline.rgba(), fill.rgba(), x, y, radius, 0, -1});
}

void PictureArea::text(double x, double y, const QString& text, const QColor& color, Qt::Alignment align) {
    texts_.push_back(text);
    add({Kind::Text, static_cast<std::uint8_t>(width_), static_cast<std::uint16_t>(align.toInt()),
         static_cast<std::uint32_t>(current_), color.rgba(), color.rgba(), x, y, 0, 0,
         static_cast<int>(texts_.size() - 1)});
}

std::size_t PictureArea::itemCount(const QColor& colour) const {
    const QRgb c = colour.rgba();
    return static_cast<std::size_t>(
        std::count_if(items_.begin(), items_.end(), [c](const Item& i) { return i.color == c || i.fill == c; }));
}

QPointF PictureArea::toWorld(const QPointF& pixel) const {
    const Frame& f = frames_[current_];
    const double w = std::max(1, width());
    const double h = std::max(1, height());
    return {f.left + pixel.x() / w * (f.right - f.left), f.top + pixel.y() / h * (f.bottom - f.top)};
}

QPointF PictureArea::toPixel(const QPointF& world) const {
    return Mapping(frames_[current_], size())(world.x(), world.y());
}

void PictureArea::drawItems(QPainter& painter, QSize size, std::size_t from, std::size_t to) const {
    painter.setRenderHint(QPainter::Antialiasing, true);
    for (std::size_t i = from; i < to; ++i) {
        const Item& item = items_[i];
        const Mapping map(frames_[item.frame], size);
        QPen pen{QColor::fromRgba(item.color)};
        pen.setWidth(item.width);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        switch (item.kind) {
        case Kind::Line:
            painter.drawLine(map(item.a, item.b), map(item.c, item.d));
            break;
        case Kind::Box:
        case Kind::FilledBox:
            if (item.kind == Kind::FilledBox) painter.setBrush(QColor::fromRgba(item.fill));
            painter.drawRect(QRectF(map(item.a, item.b), map(item.c, item.d)).normalized());
            break;
        case Kind::Circle:
        case Kind::FilledCircle: {
            if (item.kind == Kind::FilledCircle) painter.setBrush(QColor::fromRgba(item.fill));
            const double r = std::fabs(item.c * map.sx);
            painter.drawEllipse(map(item.a, item.b), r, r);
            break;
        }
        case Kind::Text: {
            const QString& s = texts_[static_cast<std::size_t>(item.text)];
            const QPointF p = map(item.a, item.b);
            const QFontMetricsF fm(painter.font());
            const QSizeF ts(fm.horizontalAdvance(s), fm.height());
            const Qt::Alignment a = Qt::Alignment::fromInt(item.align);
            double x = p.x(), y = p.y();
            if (a & Qt::AlignRight) x -= ts.width();
            else if (a & Qt::AlignHCenter) x -= ts.width() / 2;
            if (a & Qt::AlignBottom) y -= ts.height();
            else if (a & Qt::AlignVCenter) y -= ts.height() / 2;
            painter.drawText(QRectF(QPointF(x, y), ts), Qt::AlignLeft | Qt::AlignTop, s);
            break;
        }
        }
    }
}

QImage PictureArea::render(QSize size) const {
    if (size.isEmpty()) size = this->size();
    size = size.expandedTo(QSize(1, 1));
    QImage image(size, QImage::Format_RGB32);
    image.fill(background_);
    QPainter painter(&image);
    painter.setFont(font());
    drawItems(painter, size, 0, items_.size());
    return image;
}

void PictureArea::paintEvent(QPaintEvent*) {
    const QSize s = size().expandedTo(QSize(1, 1));
    if (cache_.size() != s) {
        cache_ = QImage(s, QImage::Format_RGB32);
        cache_.fill(background_);
        cached_ = 0;
    }
    if (cached_ < items_.size()) {
        QPainter cachePainter(&cache_);
        cachePainter.setFont(font());
        drawItems(cachePainter, s, cached_, items_.size());
        cached_ = items_.size();
    }
    QPainter painter(this);
    painter.drawImage(0, 0, cache_);
}

void PictureArea::resizeEvent(QResizeEvent* event) {
    cache_ = QImage();
    QWidget::resizeEvent(event);
}

void PictureArea::mouseMoveEvent(QMouseEvent* event) {
    const QPointF w = toWorld(event->position());
    emit mouseMoved(w.x(), w.y());
    QWidget::mouseMoveEvent(event);
}

void PictureArea::mousePressEvent(QMouseEvent* event) {
    const QPointF w = toWorld(event->position());
    emit mousePressed(w.x(), w.y(), event->button());
    QWidget::mousePressEvent(event);
}

void PictureArea::leaveEvent(QEvent* event) {
    emit mouseLeft();
    QWidget::leaveEvent(event);
}

void PictureArea::contextMenuEvent(QContextMenuEvent* event) { menu_->popup(event->globalPos()); }

QRect PictureArea::exportLayout(QSize& total) const {
    const QSize s = size().expandedTo(QSize(1, 1));
    if (labels_ == ExportLabels{}) {
        total = s;
        return QRect(QPoint(0, 0), s);
    }
    const QFontMetrics fm(font());
    const int line = fm.height();
    const int pad = 8;
    int yWidth = 0;
    for (const QString* t : {&labels_.yHigh, &labels_.yLow, &labels_.yName})
        yWidth = std::max(yWidth, fm.horizontalAdvance(*t));
    const int left = pad + (yWidth > 0 ? yWidth + pad : 0);
    const int top = pad + (labels_.title.isEmpty() ? 0 : line * 3 / 2 + pad / 2);
    const bool xTexts = !labels_.xLow.isEmpty() || !labels_.xHigh.isEmpty() || !labels_.xName.isEmpty();
    int noteWidth = 0;
    for (const QString& n : labels_.notes) noteWidth = std::max(noteWidth, fm.horizontalAdvance(n));
    const int bottom = pad / 2 + (xTexts ? line + pad / 2 : 0) + static_cast<int>(labels_.notes.size()) * line + pad;
    QFont bold = font();
    bold.setBold(true);
    const int titleWidth = QFontMetrics(bold).horizontalAdvance(labels_.title);
    const int width = std::max({left + s.width() + pad, left + noteWidth + pad, titleWidth + 2 * pad});
    total = QSize(width, top + s.height() + bottom);
    return QRect(QPoint(left, top), s);
}

void PictureArea::paintExport(QPainter& painter) const {
    QSize total;
    const QRect r = exportLayout(total);
    painter.fillRect(QRect(QPoint(0, 0), total), labels_ == ExportLabels{} ? background_ : QColor(Qt::white));
    painter.save();
    painter.setClipRect(r);
    painter.translate(r.topLeft());
    painter.fillRect(QRect(QPoint(0, 0), r.size()), background_);
    drawItems(painter, r.size(), 0, items_.size());
    painter.restore();
    if (labels_ == ExportLabels{}) return;
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QColor(128, 128, 128));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r.adjusted(-1, -1, 0, 0));
    painter.setPen(Qt::black);
    const QFontMetrics fm(font());
    const int line = fm.height();
    const int pad = 8;
    if (!labels_.title.isEmpty()) {
        QFont bold = font();
        bold.setBold(true);
        painter.setFont(bold);
        painter.drawText(QRect(0, pad, total.width(), line * 3 / 2), Qt::AlignCenter, labels_.title);
        painter.setFont(font());
    }
    // Left of the drawing: the upper end at its top, the lower at its foot,
    // the name between.
    const QRect side(0, r.top(), r.left() - pad, r.height());
    painter.drawText(side, Qt::AlignRight | Qt::AlignTop, labels_.yHigh);
    painter.drawText(side, Qt::AlignRight | Qt::AlignBottom, labels_.yLow);
    painter.drawText(side, Qt::AlignRight | Qt::AlignVCenter, labels_.yName);
    // Under it: the left and right ends at its corners, the name centred.
    int y = r.bottom() + 1 + pad / 2;
    if (!labels_.xLow.isEmpty() || !labels_.xHigh.isEmpty() || !labels_.xName.isEmpty()) {
        const QRect under(r.left(), y, r.width(), line);
        painter.drawText(under, Qt::AlignLeft | Qt::AlignVCenter, labels_.xLow);
        painter.drawText(under, Qt::AlignRight | Qt::AlignVCenter, labels_.xHigh);
        painter.drawText(under, Qt::AlignHCenter | Qt::AlignVCenter, labels_.xName);
        y += line + pad / 2;
    }
    for (const QString& note : labels_.notes) {
        painter.drawText(QRect(r.left(), y, total.width() - r.left(), line), Qt::AlignLeft | Qt::AlignVCenter, note);
        y += line;
    }
}

QImage PictureArea::renderExport() const {
    QSize total;
    exportLayout(total);
    QImage image(total, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font());
    paintExport(painter);
    return image;
}

bool PictureArea::savePng(const QString& path, QString* error) const {
    if (renderExport().save(path, "PNG")) return true;
    if (error) *error = QStringLiteral("画像を保存できません。\n") + path;
    return false;
}

bool PictureArea::saveSvg(const QString& path, QString* error) const {
    QSize s;
    exportLayout(s);
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(s);
    svg.setViewBox(QRect(QPoint(0, 0), s));
    // The chart's own name: its title, else its window's caption.
    QString title = labels_.title;
    if (title.isEmpty() && window()) title = window()->windowTitle();
    svg.setTitle(title.isEmpty() ? QStringLiteral("Korvane") : title);
    if (!labels_.notes.isEmpty()) svg.setDescription(labels_.notes.join(QLatin1Char('\n')));
    QPainter painter;
    if (!painter.begin(&svg)) {
        if (error) *error = QStringLiteral("画像を保存できません。\n") + path;
        return false;
    }
    painter.setFont(font());
    paintExport(painter);
    painter.end();
    // The generator reports no write failure: check that the file is there.
    if (QFileInfo(path).size() > 0) return true;
    if (error) *error = QStringLiteral("画像を保存できません。\n") + path;
    return false;
}

void PictureArea::saveFromMenu(bool svg) {
    const char* filter = svg ? "*.svg|*.svg" : "*.png|*.png";
    const char* title = "画像の保存先を選択";
    QString path;
    if (ui_) {
        path = QString::fromStdString(ui_->chooseFile(filter, title, "", true));
    } else {
        path = QFileDialog::getSaveFileName(this, QString::fromUtf8(title), QString(),
                                            svg ? QStringLiteral("*.svg") : QStringLiteral("*.png"), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    }
    if (path.isEmpty()) return;
    path = WithSuffix(path, svg ? "svg" : "png");
    // Never over the DB file the chart shows; over another file only when
    // the user says so.
    auto say = [this](const std::string& text) {
        if (ui_) ui_->showMessage(text);
        else QMessageBox::warning(this, QString::fromUtf8(kAppTitle), QString::fromStdString(text));
    };
    const std::string target = path.toStdString();
    if (IsSameFile(target, protected_)) {
        say(AnalysedFileRefusal(target));
        return;
    }
    if (QFileInfo(path).isDir()) {
        say("保存先がファイルではなくフォルダです。\n" + target);
        return;
    }
    if (QFileInfo::exists(path)) {
        const std::string question = ReplaceFileQuestion(target);
        const bool replace =
            ui_ ? ui_->askYesNo(question)
                : QMessageBox::question(this, QString::fromUtf8(kQuestionCaption), QString::fromStdString(question),
                                        QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
        if (!replace) return;
    }
    QString error;
    if (svg ? saveSvg(path, &error) : savePng(path, &error)) return;
    if (ui_) ui_->showMessage(error.toStdString());
    else QMessageBox::warning(this, QString::fromUtf8(kAppTitle), error);
}

}  // namespace korvane

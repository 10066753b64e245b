#include "Artwork.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>

namespace korvane {

namespace {

const QColor kInk(40, 48, 64);
const QColor kBlue(46, 110, 190);
const QColor kGreen(40, 150, 70);
const QColor kRed(200, 55, 50);
const QColor kAmber(225, 160, 30);
const QColor kPaper(250, 250, 246);

QPen Pen(const QColor& c, double w = 2.0) { return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

// A sheet of paper with a folded corner, the base of the file icons.
void Page(QPainter& p, const QRectF& r) {
    QPolygonF poly;
    poly << r.topLeft() << QPointF(r.right() - 8, r.top()) << QPointF(r.right(), r.top() + 8) << r.bottomRight()
         << r.bottomLeft();
    p.setPen(Pen(kInk, 1.6));
    p.setBrush(kPaper);
    p.drawPolygon(poly);
    p.drawLine(QPointF(r.right() - 8, r.top()), QPointF(r.right() - 8, r.top() + 8));
    p.drawLine(QPointF(r.right() - 8, r.top() + 8), QPointF(r.right(), r.top() + 8));
}

void Disk(QPainter& p, const QRectF& r) {
    p.setPen(Pen(kInk, 1.6));
    p.setBrush(kBlue);
    p.drawRoundedRect(r, 2, 2);
    p.setBrush(kPaper);
    p.drawRect(QRectF(r.left() + 5, r.top() + 2, r.width() - 10, r.height() * 0.38));
    p.setBrush(QColor(210, 215, 225));
    p.drawRect(QRectF(r.left() + 7, r.bottom() - r.height() * 0.38, r.width() - 14, r.height() * 0.38 - 2));
}

void Axes(QPainter& p) {
    p.setPen(Pen(kInk, 1.8));
    p.drawLine(QPointF(5, 4), QPointF(5, 27));
    p.drawLine(QPointF(5, 27), QPointF(28, 27));
}

void DrawIcon(QPainter& p, const QString& c) {
    if (c == QLatin1String("New_File")) {
        Page(p, QRectF(7, 3, 18, 26));
        p.setPen(Pen(kAmber, 2.4));
        p.drawLine(QPointF(22, 19), QPointF(22, 29));
        p.drawLine(QPointF(17, 24), QPointF(27, 24));
    } else if (c == QLatin1String("Open_File")) {
        p.setPen(Pen(kInk, 1.6));
        p.setBrush(kAmber.lighter(120));
        p.drawRoundedRect(QRectF(3, 8, 24, 19), 2, 2);
        QPolygonF front;
        front << QPointF(7, 14) << QPointF(30, 14) << QPointF(26, 27) << QPointF(3, 27);
        p.setBrush(kAmber);
        p.drawPolygon(front);
    } else if (c == QLatin1String("Save_File")) {
        Disk(p, QRectF(5, 5, 22, 22));
    } else if (c == QLatin1String("Save_As_File")) {
        Disk(p, QRectF(3, 3, 20, 20));
        p.setPen(Pen(kInk, 1.2));
        p.setBrush(kAmber);
        QPolygonF pencil;
        pencil << QPointF(18, 29) << QPointF(19, 24) << QPointF(28, 15) << QPointF(32, 19) << QPointF(23, 28);
        p.drawPolygon(pencil);
    } else if (c == QLatin1String("Exit")) {
        p.setPen(Pen(kInk, 1.6));
        p.setBrush(QColor(150, 110, 80));
        p.drawRect(QRectF(5, 4, 13, 24));
        p.setPen(Pen(kRed, 2.6));
        p.drawLine(QPointF(14, 16), QPointF(29, 16));
        p.drawLine(QPointF(24, 11), QPointF(29, 16));
        p.drawLine(QPointF(24, 21), QPointF(29, 16));
    } else if (c == QLatin1String("CurrentValue")) {
        p.setPen(Pen(kInk, 1.6));
        p.setBrush(kPaper);
        p.drawPie(QRectF(3, 7, 26, 26), 0, 180 * 16);
        p.setPen(Pen(kRed, 2.4));
        p.drawLine(QPointF(16, 20), QPointF(24, 11));
        p.setPen(Pen(kInk, 1.2));
        p.setBrush(kInk);
        p.drawEllipse(QPointF(16, 20), 2, 2);
    } else if (c == QLatin1String("InitialSetting")) {
        p.setPen(Pen(kInk, 2));
        p.drawLine(QPointF(8, 4), QPointF(8, 29));
        p.setBrush(kGreen);
        QPolygonF flag;
        flag << QPointF(8, 5) << QPointF(26, 10) << QPointF(8, 16);
        p.drawPolygon(flag);
    } else if (c == QLatin1String("RestrictionSetting")) {
        p.setPen(Pen(kInk, 1.6));
        p.drawLine(QPointF(3, 16), QPointF(29, 16));
        p.setPen(Pen(kRed, 3));
        p.drawLine(QPointF(8, 6), QPointF(8, 26));
        p.drawLine(QPointF(24, 6), QPointF(24, 26));
        p.setPen(Pen(kGreen, 1));
        p.setBrush(kGreen);
        p.drawEllipse(QPointF(16, 16), 3.5, 3.5);
    } else if (c == QLatin1String("MonteCarlo")) {
        p.setPen(Pen(kInk, 1.6));
        p.setBrush(kPaper);
        p.drawRoundedRect(QRectF(4, 4, 24, 24), 5, 5);
        p.setBrush(kRed);
        p.setPen(Qt::NoPen);
        for (QPointF d : {QPointF(10, 10), QPointF(22, 10), QPointF(16, 16), QPointF(10, 22), QPointF(22, 22)})
            p.drawEllipse(d, 2.4, 2.4);
    } else if (c == QLatin1String("DataFile_Input")) {
        p.setPen(Pen(kInk, 1.4));
        p.setBrush(kPaper);
        p.drawRect(QRectF(4, 5, 24, 22));
        p.setBrush(kGreen.lighter(150));
        p.drawRect(QRectF(4, 5, 24, 5));
        for (int y = 15; y < 27; y += 5) p.drawLine(QPointF(4, y), QPointF(28, y));
        for (int x = 12; x < 28; x += 8) p.drawLine(QPointF(x, 5), QPointF(x, 27));
    } else if (c == QLatin1String("Orthogonal_Table_Setting")) {
        p.setPen(Pen(kInk, 1.2));
        for (int r = 0; r < 4; ++r)
            for (int k = 0; k < 4; ++k) {
                // The sign pattern of an L4-like array: level 2 cells dark.
                bool high = ((r & k) & 1) ^ ((r >> 1) & (k >> 1) & 1);
                p.setBrush(high ? kBlue : kPaper);
                p.drawRect(QRectF(4 + k * 6, 4 + r * 6, 6, 6));
            }
    } else if (c == QLatin1String("UserScroll_Menu")) {
        p.setPen(Pen(kInk, 1.6));
        for (int i = 0; i < 3; ++i) {
            double y = 8 + i * 8;
            p.drawLine(QPointF(4, y), QPointF(28, y));
            p.setBrush(i == 1 ? kAmber : kBlue);
            p.drawRect(QRectF(i == 0 ? 8 : i == 1 ? 19 : 13, y - 3, 5, 6));
        }
    } else if (c == QLatin1String("Run")) {
        p.setPen(Pen(kGreen.darker(130), 1.4));
        p.setBrush(kGreen);
        QPolygonF tri;
        tri << QPointF(8, 4) << QPointF(28, 16) << QPointF(8, 28);
        p.drawPolygon(tri);
    } else if (c == QLatin1String("Pause_M")) {
        p.setPen(Pen(kAmber.darker(130), 1.4));
        p.setBrush(kAmber);
        p.drawRect(QRectF(7, 5, 6, 22));
        p.drawRect(QRectF(19, 5, 6, 22));
    } else if (c == QLatin1String("Stop")) {
        p.setPen(Pen(kRed.darker(130), 1.4));
        p.setBrush(kRed);
        p.drawRoundedRect(QRectF(6, 6, 20, 20), 2, 2);
    } else if (c == QLatin1String("Graph_Draw")) {
        Axes(p);
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        for (QPointF d : {QPointF(10, 22), QPointF(13, 18), QPointF(17, 17), QPointF(20, 12), QPointF(24, 9),
                          QPointF(15, 21), QPointF(22, 15)})
            p.drawEllipse(d, 1.8, 1.8);
    } else if (c == QLatin1String("Stdev_Ave_etc")) {
        Axes(p);
        p.setPen(Pen(kInk, 1));
        p.setBrush(kBlue);
        const double h[] = {4, 10, 17, 12, 5};
        for (int i = 0; i < 5; ++i) p.drawRect(QRectF(7 + i * 4.2, 27 - h[i], 4.2, h[i]));
        p.setPen(Pen(kRed, 1.6));
        p.drawLine(QPointF(17.5, 5), QPointF(17.5, 27));
    } else if (c == QLatin1String("Sens")) {
        p.setPen(Pen(kInk, 1.6));
        p.drawLine(QPointF(16, 3), QPointF(16, 29));
        p.setPen(Pen(kInk, 1));
        const double w[] = {12, 9, 6, 3};
        for (int i = 0; i < 4; ++i) {
            p.setBrush(i % 2 ? kRed : kBlue);
            double x = i % 2 ? 16 - w[i] : 16;
            p.drawRect(QRectF(x, 5 + i * 6, w[i], 4.5));
        }
    } else if (c == QLatin1String("Fact_Effts")) {
        Axes(p);
        p.setPen(Pen(kBlue, 2));
        p.drawPolyline(QPolygonF({QPointF(8, 20), QPointF(13, 12), QPointF(18, 16)}));
        p.setPen(Pen(kRed, 2));
        p.drawPolyline(QPolygonF({QPointF(19, 10), QPointF(23, 18), QPointF(28, 22)}));
    } else if (c == QLatin1String("Version") || c == QLatin1String("Help")) {
        p.setPen(Pen(kBlue.darker(120), 1.4));
        p.setBrush(kBlue);
        p.drawEllipse(QRectF(3, 3, 26, 26));
        QFont f = p.font();
        f.setBold(true);
        f.setPixelSize(c == QLatin1String("Help") ? 20 : 19);
        f.setFamily(QStringLiteral("DejaVu Serif"));
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, c == QLatin1String("Help") ? QStringLiteral("?") : QStringLiteral("i"));
    } else {
        p.setPen(Pen(kInk, 1.6));
        p.setBrush(kPaper);
        p.drawEllipse(QRectF(6, 6, 20, 20));
    }
}

}  // namespace

QPixmap KorvaneLogo(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 100.0, size / 100.0);
    // A spreadsheet grid with a sampled bell curve rising out of it: a model
    // evaluated again and again.
    QLinearGradient bg(0, 0, 100, 100);
    bg.setColorAt(0, QColor(36, 86, 160));
    bg.setColorAt(1, QColor(20, 52, 104));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(2, 2, 96, 96), 16, 16);
    // At icon sizes of a few pixels only the curve stays readable: drawn
    // bolder, without the grid and the sample points.
    const bool small = size < 40;
    p.setPen(QPen(QColor(255, 255, 255, 70), 1.2));
    for (int i = 1; i < 6 && !small; ++i) {
        p.drawLine(QPointF(10, 10 + i * 14), QPointF(90, 10 + i * 14));
        p.drawLine(QPointF(10 + i * 14, 10), QPointF(10 + i * 14, 90));
    }
    QPainterPath curve;
    for (int i = 0; i <= 80; ++i) {
        double x = 10 + i;
        double t = (x - 50) / 14.0;
        double y = 84 - 62 * std::exp(-0.5 * t * t);
        if (i == 0)
            curve.moveTo(x, y);
        else
            curve.lineTo(x, y);
    }
    p.setPen(QPen(QColor(255, 196, 60), small ? 11 : 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
    if (!small) {
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        for (double x : {24.0, 38.0, 50.0, 62.0, 76.0}) {
            double t = (x - 50) / 14.0;
            p.drawEllipse(QPointF(x, 84 - 62 * std::exp(-0.5 * t * t)), 3.6, 3.6);
        }
    }
    return pm;
}

QIcon CommandIcon(const QString& command) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        DrawIcon(p, command);
    }
    return QIcon(pm);
}

}  // namespace korvane

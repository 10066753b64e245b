// Draws the legend pictures that the legend window shows:
//   Calc_Flow.BMP  the six steps of a calculation and where programs run
//   Dstbt1.BMP     the distributions of the Monte Carlo plan and how limits cut them
//   Replace.BMP    how a number is replaced by a text
//   korvane_make_legends TARGET_FOLDER
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>

#include "AssetFonts.h"

namespace {

QString g_family;

const QColor kInk(35, 42, 58);
const QColor kStep(36, 86, 160);
const QColor kExe(232, 160, 30);
const QColor kGreen(45, 150, 75);
const QColor kRed(200, 60, 55);
const QColor kPaper(255, 255, 255);
const QColor kSoft(236, 242, 250);

QFont Font(double px, bool bold = false) {
    QFont f(g_family);
    f.setPixelSize(static_cast<int>(px));
    f.setBold(bold);
    return f;
}

void Text(QPainter& p, const QRectF& r, const QString& s, double px, const QColor& c = kInk, bool bold = false,
          int flags = Qt::AlignCenter) {
    p.setFont(Font(px, bold));
    p.setPen(c);
    p.drawText(r, flags | Qt::TextWordWrap, s);
}

void Arrow(QPainter& p, QPointF a, QPointF b, const QColor& c = kInk, double w = 2) {
    p.setPen(QPen(c, w));
    p.drawLine(a, b);
    const double angle = std::atan2(b.y() - a.y(), b.x() - a.x());
    const double len = 9;
    QPolygonF head;
    head << b << QPointF(b.x() - len * std::cos(angle - 0.4), b.y() - len * std::sin(angle - 0.4))
         << QPointF(b.x() - len * std::cos(angle + 0.4), b.y() - len * std::sin(angle + 0.4));
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    p.drawPolygon(head);
    p.setBrush(Qt::NoBrush);
}

QImage Canvas(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kPaper);
    return img;
}

bool Save(const QImage& img, const QString& folder, const char* name) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    const QString partial = path + QStringLiteral(".part");
    if (!img.save(partial, "BMP")) {
        std::fprintf(stderr, "korvane_make_legends: cannot write %s\n", qPrintable(path));
        return false;
    }
    QFile::remove(path);
    return QFile::rename(partial, path);
}

// ---------------------------------------------------------------- calculation flow

QImage CalcFlow() {
    QImage img = Canvas(760, 760);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    Text(p, QRectF(0, 10, 760, 34), QStringLiteral("計算フロー"), 26, kStep, true);
    Text(p, QRectF(20, 44, 720, 24),
         QStringLiteral("exe実行タブのプログラムは、すぐ上にあるステップの直後に実行されます"), 15);

    const double boxX = 200, boxW = 250, stepH = 40, exeH = 30, gap = 10;
    double y = 84;
    auto exeSlot = [&](int timing, const QString& when) {
        QRectF r(boxX + 25, y, boxW - 50, exeH);
        p.setPen(QPen(kExe.darker(120), 1.6, Qt::DashLine));
        p.setBrush(QColor(255, 244, 220));
        p.drawRoundedRect(r, 6, 6);
        Text(p, r, QStringLiteral("タイミング %1 の exe").arg(timing), 15, kInk);
        Text(p, QRectF(boxX + boxW + 12, y, 160, exeH), when, 13, kExe.darker(150), false,
             Qt::AlignLeft | Qt::AlignVCenter);
        y += exeH;
        Arrow(p, QPointF(boxX + boxW / 2, y), QPointF(boxX + boxW / 2, y + gap));
        y += gap;
    };
    auto step = [&](int n, const QString& label, const QString& what) {
        QRectF r(boxX, y, boxW, stepH);
        p.setPen(QPen(kStep.darker(130), 1.4));
        p.setBrush(kStep);
        p.drawRoundedRect(r, 8, 8);
        Text(p, QRectF(r.left() + 8, r.top(), 30, stepH), QString::number(n), 18, QColor(255, 214, 120), true);
        Text(p, r, label, 17, Qt::white, true);
        Text(p, QRectF(10, y, boxX - 22, stepH), what, 14, kInk, false, Qt::AlignRight | Qt::AlignVCenter);
        y += stepH;
        Arrow(p, QPointF(boxX + boxW / 2, y), QPointF(boxX + boxW / 2, y + gap));
        y += gap;
    };

    // Start of the run.
    QRectF start(boxX + 60, y, boxW - 120, 28);
    p.setPen(QPen(kInk, 1.4));
    p.setBrush(kSoft);
    p.drawRoundedRect(start, 14, 14);
    Text(p, start, QStringLiteral("実行開始"), 15, kInk, true);
    y += 28;
    Arrow(p, QPointF(boxX + boxW / 2, y), QPointF(boxX + boxW / 2, y + gap));
    y += gap;
    exeSlot(0, QStringLiteral("実行開始時に 1 回"));
    step(1, QStringLiteral("<初期値代入>"), QStringLiteral("入力変数に初期値"));
    const double loopTop = y - 4;
    exeSlot(1, QStringLiteral("毎計算"));
    step(2, QStringLiteral("<変数値代入>"), QStringLiteral("プランが値を決定"));
    exeSlot(2, QStringLiteral("毎計算"));
    step(3, QStringLiteral("<エクセル入力>"), QStringLiteral("セルへ書込み・再計算"));
    exeSlot(3, QStringLiteral("毎計算"));
    step(4, QStringLiteral("<マクロ実行>"), QStringLiteral("登録マクロを実行"));
    exeSlot(4, QStringLiteral("毎計算"));
    step(5, QStringLiteral("<エクセル読込>"), QStringLiteral("出力セルを読出し"));
    exeSlot(5, QStringLiteral("毎計算"));
    step(6, QStringLiteral("<DB出力>"), QStringLiteral("制限判定・DB に 1 行"));
    // The last slot without its arrow: the loop closes after it.
    QRectF last(boxX + 25, y, boxW - 50, exeH);
    p.setPen(QPen(kExe.darker(120), 1.6, Qt::DashLine));
    p.setBrush(QColor(255, 244, 220));
    p.drawRoundedRect(last, 6, 6);
    Text(p, last, QStringLiteral("タイミング 6 の exe"), 15, kInk);
    Text(p, QRectF(boxX + boxW + 12, y, 160, exeH), QStringLiteral("毎計算"), 13, kExe.darker(150), false,
         Qt::AlignLeft | Qt::AlignVCenter);
    y += exeH;
    const double loopBottom = y + 4;

    // The loop: back from after timing 6 to timing 1.
    const double lx = boxX + boxW + 80;
    p.setPen(QPen(kGreen, 2.4));
    p.drawLine(QPointF(boxX + boxW + 70, loopBottom), QPointF(lx + 40, loopBottom));
    p.drawLine(QPointF(lx + 40, loopBottom), QPointF(lx + 40, loopTop + 14));
    Arrow(p, QPointF(lx + 40, loopTop + 14), QPointF(boxX + boxW + 70, loopTop + 14), kGreen, 2.4);
    Text(p, QRectF(lx + 48, (loopTop + loopBottom) / 2 - 60, 170, 120),
         QStringLiteral("計算回数だけ\n繰り返し\n(停止・一時停止は\n繰り返しの区切りで有効)"), 14, kGreen.darker(140),
         true, Qt::AlignLeft | Qt::AlignVCenter);

    Arrow(p, QPointF(boxX + boxW / 2, y), QPointF(boxX + boxW / 2, y + 16));
    y += 16;
    QRectF end(boxX + 60, y, boxW - 120, 28);
    p.setPen(QPen(kInk, 1.4));
    p.setBrush(kSoft);
    p.drawRoundedRect(end, 14, 14);
    Text(p, end, QStringLiteral("実行終了"), 15, kInk, true);
    return img;
}

// ---------------------------------------------------------------- distributions

// One small chart of the distributions picture: its frame, the plotting area
// inside it, and the mapping of a value range onto that area.
struct Chart {
    QRectF frame, plot;
    double lo = 0, hi = 1, top = 1;  // value range across, density at the top
    QPointF at(double v, double density) const {
        return {plot.left() + (v - lo) / (hi - lo) * plot.width(), plot.bottom() - density / top * plot.height()};
    }
};

const QColor kFill(190, 212, 240);
const QColor kCut(215, 215, 215);

Chart MakeChart(QPainter& p, const QRectF& frame, const QString& name, double lo, double hi, double top) {
    Chart c;
    c.frame = frame;
    c.plot = QRectF(frame.left() + 16, frame.top() + 40, frame.width() - 32, frame.height() - 118);
    c.lo = lo;
    c.hi = hi;
    c.top = top;
    p.setPen(QPen(QColor(200, 208, 222), 1.2));
    p.setBrush(QColor(250, 252, 255));
    p.drawRoundedRect(frame, 8, 8);
    Text(p, QRectF(frame.left(), frame.top() + 6, frame.width(), 28), name, 18, kInk, true);
    p.setPen(QPen(kInk, 1.4));
    p.drawLine(QPointF(c.plot.left(), c.plot.bottom()), QPointF(c.plot.right(), c.plot.bottom()));
    return c;
}

// The curve of `density` over [from, to], filled down to the axis.
template <class F>
void Curve(QPainter& p, const Chart& c, double from, double to, F density, const QColor& fill = kFill,
           const QColor& line = kStep, Qt::PenStyle style = Qt::SolidLine) {
    QPainterPath path(c.at(from, 0));
    const int steps = 160;
    for (int i = 0; i <= steps; ++i) {
        const double v = from + (to - from) * i / steps;
        path.lineTo(c.at(v, density(v)));
    }
    path.lineTo(c.at(to, 0));
    if (fill.isValid()) {
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawPath(path);
    }
    p.setBrush(Qt::NoBrush);
    QPainterPath stroke(c.at(from, density(from)));
    for (int i = 1; i <= steps; ++i) {
        const double v = from + (to - from) * i / steps;
        stroke.lineTo(c.at(v, density(v)));
    }
    p.setPen(QPen(line, 2.4, style));
    p.drawPath(stroke);
}

// A mark under the axis at value v, with a thin line up to `height`.
void Mark(QPainter& p, const Chart& c, double v, double height, const QString& label, const QColor& colour,
          bool dashed = false) {
    p.setPen(QPen(colour, 1.5, dashed ? Qt::DashLine : Qt::SolidLine));
    p.drawLine(c.at(v, height), c.at(v, 0) + QPointF(0, 5));
    Text(p, QRectF(c.at(v, 0).x() - 44, c.plot.bottom() + 6, 88, 20), label, 13, colour, true);
}

// The explanation under a chart.
void Note(QPainter& p, const Chart& c, const QString& text) {
    Text(p, QRectF(c.frame.left() + 8, c.plot.bottom() + 28, c.frame.width() - 16, c.frame.bottom() - c.plot.bottom() - 30),
         text, 13, kInk, false, Qt::AlignHCenter | Qt::AlignTop);
}

double NormalDensity(double z) { return std::exp(-0.5 * z * z); }

QImage Distributions() {
    const double w = 226, h = 268, gap = 10, left = 14, top = 56;
    QImage img = Canvas(static_cast<int>(left * 2 + 4 * w + 3 * gap), static_cast<int>(top + 2 * h + gap + 40));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    Text(p, QRectF(0, 8, img.width(), 30), QStringLiteral("MonteCarlo の分布型 (c = 中心値、s = 標準偏差欄の値)"), 22,
         kStep, true);
    auto frame = [&](int column, int row) { return QRectF(left + column * (w + gap), top + row * (h + gap), w, h); };

    // Normal: mean c, standard deviation s.
    {
        Chart c = MakeChart(p, frame(0, 0), QStringLiteral("正規分布"), -3.4, 3.4, 1.1);
        Curve(p, c, -3.4, 3.4, NormalDensity);
        Mark(p, c, 0, 1.0, QStringLiteral("c"), kStep);
        Arrow(p, c.at(0, NormalDensity(1)), c.at(1, NormalDensity(1)), kRed, 1.8);
        Text(p, QRectF(c.at(0.5, 0).x() - 20, c.at(0, NormalDensity(1)).y() - 22, 40, 20), QStringLiteral("s"), 14,
             kRed, true);
        Note(p, c, QStringLiteral("c: 平均値\ns: 標準偏差"));
    }
    // Uniform: every value in [c - s, c + s] equally likely.
    {
        Chart c = MakeChart(p, frame(1, 0), QStringLiteral("一様分布"), -1.6, 1.6, 1.45);
        Curve(p, c, -1.0, 1.0, [](double) { return 1.0; });
        Mark(p, c, -1, 1.0, QStringLiteral("c − s"), kInk);
        Mark(p, c, 1, 1.0, QStringLiteral("c + s"), kInk);
        Mark(p, c, 0, 1.0, QStringLiteral("c"), kStep);
        Arrow(p, c.at(0, 1.2), c.at(1, 1.2), kRed, 1.8);
        Text(p, QRectF(c.at(0.5, 0).x() - 30, c.at(0, 1.2).y() - 22, 60, 20), QStringLiteral("s"), 14, kRed, true);
        Note(p, c, QStringLiteral("c − s 〜 c + s で等確率\ns: 半幅"));
    }
    // Lognormal: mean c (> 0), standard deviation s; a tail to the right.
    {
        const double sigma = 0.45, mu = -sigma * sigma / 2;  // mean 1
        auto density = [&](double x) {
            if (x <= 0) return 0.0;
            const double z = (std::log(x) - mu) / sigma;
            return std::exp(-0.5 * z * z) / x;
        };
        Chart c = MakeChart(p, frame(2, 0), QStringLiteral("対数正規分布"), 0, 3.0, 1.25);
        Curve(p, c, 0.001, 3.0, density);
        Mark(p, c, 1.0, density(1.0), QStringLiteral("c"), kStep);
        Mark(p, c, 0, 0, QStringLiteral("0"), kInk);
        Note(p, c, QStringLiteral("c: 平均値 (0 より大)\ns: 標準偏差、右に長い裾"));
    }
    // Gumbel (largest values): mean c, standard deviation s.
    {
        auto density = [](double z) { return std::exp(-(z + std::exp(-z))); };
        Chart c = MakeChart(p, frame(3, 0), QStringLiteral("ガンベル分布"), -2.5, 5.0, 0.42);
        Curve(p, c, -2.5, 5.0, density);
        const double mean = 0.5772156649;
        Mark(p, c, mean, density(mean), QStringLiteral("c"), kStep);
        Note(p, c, QStringLiteral("最大値の分布 (右に裾)\nc: 平均値、s: 標準偏差"));
    }
    // Weibull: mean c (> 0); the shape follows from s / c.
    {
        const double k = 2.2;
        auto density = [&](double x) { return x <= 0 ? 0.0 : k * std::pow(x, k - 1) * std::exp(-std::pow(x, k)); };
        Chart c = MakeChart(p, frame(0, 1), QStringLiteral("ワイブル分布"), 0, 2.6, 1.0);
        Curve(p, c, 0.0, 2.6, density);
        const double mean = std::tgamma(1 + 1 / k);
        Mark(p, c, mean, density(mean), QStringLiteral("c"), kStep);
        Mark(p, c, 0, 0, QStringLiteral("0"), kInk);
        Note(p, c, QStringLiteral("c: 平均値 (0 より大)\ns: 標準偏差 (s / c で形が決まる)"));
    }
    // Triangular: mode c, half width s.
    {
        Chart c = MakeChart(p, frame(1, 1), QStringLiteral("三角分布"), -1.6, 1.6, 1.3);
        Curve(p, c, -1.0, 1.0, [](double x) { return 1.0 - std::fabs(x); });
        Mark(p, c, -1, 0, QStringLiteral("c − s"), kInk);
        Mark(p, c, 1, 0, QStringLiteral("c + s"), kInk);
        Mark(p, c, 0, 1.0, QStringLiteral("c"), kStep);
        Arrow(p, c.at(0, 1.15), c.at(1, 1.15), kRed, 1.8);
        Text(p, QRectF(c.at(0.5, 0).x() - 30, c.at(0, 1.15).y() - 22, 60, 20), QStringLiteral("s"), 14, kRed, true);
        Note(p, c, QStringLiteral("c: 最頻値 (山の頂点)\ns: 半幅"));
    }
    // Discrete uniform: the integers c - s .. c + s, equally likely.
    {
        Chart c = MakeChart(p, frame(2, 1), QStringLiteral("離散一様分布"), -4, 4, 1.45);
        for (int i = -3; i <= 3; ++i) {
            p.setPen(QPen(kStep, 6, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(c.at(i, 0), c.at(i, 1.0));
            p.setPen(Qt::NoPen);
            p.setBrush(kStep);
            p.drawEllipse(c.at(i, 1.0), 4.5, 4.5);
            p.setBrush(Qt::NoBrush);
        }
        Mark(p, c, -3, 0, QStringLiteral("c − s"), kInk);
        Mark(p, c, 3, 0, QStringLiteral("c + s"), kInk);
        Mark(p, c, 0, 0, QStringLiteral("c"), kStep);
        Note(p, c, QStringLiteral("c − s 〜 c + s の整数が等確率\nc と s は整数で指定"));
    }
    // The limits: nothing outside them; their share goes to the values inside.
    {
        const double lower = -1.1, upper = 1.9;
        // The share of a normal inside (lower, upper), by the error function.
        const double inside = 0.5 * (std::erf(upper / std::sqrt(2.0)) - std::erf(lower / std::sqrt(2.0)));
        Chart c = MakeChart(p, frame(3, 1), QStringLiteral("制限値による切断"), -3.4, 3.4, 1.2 / inside);
        Curve(p, c, -3.4, lower, NormalDensity, kCut, QColor(150, 150, 150), Qt::DashLine);
        Curve(p, c, upper, 3.4, NormalDensity, kCut, QColor(150, 150, 150), Qt::DashLine);
        Curve(p, c, lower, upper, [&](double z) { return NormalDensity(z) / inside; });
        // The distribution before the cut, over the part that stays.
        Curve(p, c, lower, upper, NormalDensity, QColor(), QColor(120, 120, 120), Qt::DashLine);
        Mark(p, c, lower, NormalDensity(lower) / inside, QStringLiteral("下限"), kGreen, true);
        Mark(p, c, upper, NormalDensity(upper) / inside, QStringLiteral("上限"), kGreen, true);
        Text(p, QRectF(c.plot.left(), c.at(0, 0.25).y() - 10, 52, 20), QStringLiteral("出ない"), 12, QColor(110, 110, 110),
             true);
        Note(p, c, QStringLiteral("外側は出ず、内側が比例して増加\n点線: 切断前の分布"));
    }
    Text(p, QRectF(left, img.height() - 36, img.width() - 2 * left, 30),
         QStringLiteral("どの分布も、入力変数に制限値 (下限・上限) があると右下の図のように切断されます。"
                        "制限値は引いた値そのものに効きます。"),
         13, kInk, false, Qt::AlignCenter);
    return img;
}

// ---------------------------------------------------------------- replacement

QImage Replacement() {
    QImage img = Canvas(720, 400);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    Text(p, QRectF(0, 8, 720, 32), QStringLiteral("入力置換(数値 → 文字列)"), 24, kStep, true);

    // The value and its integer part.
    auto box = [&](const QRectF& r, const QString& head, const QString& body, const QColor& c) {
        p.setPen(QPen(c.darker(130), 1.6));
        p.setBrush(c);
        p.drawRoundedRect(r, 8, 8);
        Text(p, QRectF(r.left(), r.top() + 4, r.width(), 20), head, 13, Qt::white, true);
        Text(p, QRectF(r.left(), r.top() + 22, r.width(), r.height() - 24), body, 22, Qt::white, true);
    };
    box(QRectF(30, 70, 130, 70), QStringLiteral("変数の値"), QStringLiteral("2.7"), kStep);
    Arrow(p, QPointF(160, 105), QPointF(210, 105));
    box(QRectF(210, 70, 130, 70), QStringLiteral("整数部(切り捨て)"), QStringLiteral("2"), kStep);
    Arrow(p, QPointF(340, 105), QPointF(390, 105));

    // The replacement table of the variable.
    const double tx = 390, ty = 60, rowH = 28;
    const QStringList keys = {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")};
    const QStringList texts = {QStringLiteral("鋼"), QStringLiteral("アルミ"), QStringLiteral("樹脂"),
                               QStringLiteral("=")};
    p.setPen(QPen(kInk, 1.2));
    p.setBrush(kSoft);
    p.drawRect(QRectF(tx, ty, 300, rowH));
    Text(p, QRectF(tx, ty, 110, rowH), QStringLiteral("元値"), 15, kInk, true);
    Text(p, QRectF(tx + 110, ty, 190, rowH), QStringLiteral("置換文字列"), 15, kInk, true);
    for (int i = 0; i < keys.size(); ++i) {
        QRectF r(tx, ty + rowH * (i + 1), 300, rowH);
        p.setPen(QPen(kInk, 1.2));
        p.setBrush(i == 2 ? QColor(255, 236, 190) : kPaper);
        p.drawRect(r);
        p.drawLine(QPointF(tx + 110, r.top()), QPointF(tx + 110, r.bottom()));
        Text(p, QRectF(tx, r.top(), 110, rowH), keys[i], 15);
        Text(p, QRectF(tx + 110, r.top(), 190, rowH), texts[i], 15);
    }
    Text(p, QRectF(tx, ty + rowH * 5 + 2, 300, 22), QStringLiteral("保存形式: 0=鋼,1=アルミ,2=樹脂,3=="), 13,
         kInk, false, Qt::AlignLeft | Qt::AlignVCenter);

    // The cell receives the text.
    QRectF cell(200, 236, 150, 44);
    Arrow(p, QPointF(tx - 4, ty + rowH * 3.5), QPointF(cell.right() + 6, cell.center().y()), kRed, 2);
    p.setPen(QPen(kGreen.darker(130), 2));
    p.setBrush(QColor(226, 245, 230));
    p.drawRect(cell);
    Text(p, QRectF(cell.left(), cell.top() - 22, cell.width(), 20), QStringLiteral("セルに書き込む文字"), 13,
         kGreen.darker(150), true);
    Text(p, cell, QStringLiteral("樹脂"), 20, kInk, true);

    Text(p, QRectF(30, 300, 660, 90),
         QStringLiteral("・表にない値のときは「NotFound:値」を書き込みます(例: NotFound:5)\n"
                        "・置換文字列が「=」だけのときは空欄を書き込みます\n"
                        "・DB ファイルには文字ではなく整数部(この例では 2)を記録します"),
         14, kInk, false, Qt::AlignLeft | Qt::AlignTop);
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane_make_legends TARGET_FOLDER\n");
        return 2;
    }
    g_family = korvane::assets::RequireJapaneseFamily("korvane_make_legends");
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    bool ok = Save(CalcFlow(), folder, "Calc_Flow.BMP");
    ok = Save(Distributions(), folder, "Dstbt1.BMP") && ok;
    ok = Save(Replacement(), folder, "Replace.BMP") && ok;
    return ok ? 0 : 1;
}

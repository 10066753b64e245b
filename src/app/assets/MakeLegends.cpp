// Draws the legend pictures that the legend window shows:
//   Calc_Flow.BMP  the six steps of a calculation and where programs run
//   Dstbt1.BMP     the normal and the uniform distribution of the Monte Carlo plan
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

QImage Distributions() {
    QImage img = Canvas(760, 420);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    Text(p, QRectF(0, 8, 760, 32), QStringLiteral("MonteCarlo の分布型"), 24, kStep, true);

    // One panel: axis from x0 to x1 at baseline y; value v maps to screen.
    struct Panel {
        double x0, x1, base, top;
        double map(double v) const { return x0 + (v + 3.6) / 7.2 * (x1 - x0); }
    };
    auto axis = [&](const Panel& pn) {
        p.setPen(QPen(kInk, 1.6));
        p.drawLine(QPointF(pn.x0, pn.base), QPointF(pn.x1, pn.base));
    };
    auto mark = [&](const Panel& pn, double v, const QString& label, const QColor& c, bool dashed) {
        p.setPen(QPen(c, 1.6, dashed ? Qt::DashLine : Qt::SolidLine));
        p.drawLine(QPointF(pn.map(v), pn.top), QPointF(pn.map(v), pn.base + 6));
        Text(p, QRectF(pn.map(v) - 50, pn.base + 8, 100, 22), label, 14, c, true);
    };
    auto span = [&](const Panel& pn, double a, double b, double y, const QString& label) {
        Arrow(p, QPointF(pn.map((a + b) / 2), y), QPointF(pn.map(b), y), kRed, 1.8);
        Arrow(p, QPointF(pn.map((a + b) / 2), y), QPointF(pn.map(a), y), kRed, 1.8);
        Text(p, QRectF(pn.map(a) - 20, y - 24, pn.map(b) - pn.map(a) + 40, 20), label, 14, kRed, true);
    };

    // Normal distribution: mean c, standard deviation s; draws outside the
    // limits are drawn again.
    Panel n{30, 370, 300, 80};
    Text(p, QRectF(n.x0, 46, n.x1 - n.x0, 26), QStringLiteral("正規分布"), 19, kInk, true);
    QPainterPath bell, inside;
    const double lower = -2.2, upper = 2.6;
    for (int i = 0; i <= 200; ++i) {
        double v = -3.6 + 7.2 * i / 200.0;
        QPointF pt(n.map(v), n.base - 180 * std::exp(-0.5 * v * v));
        if (i == 0)
            bell.moveTo(pt);
        else
            bell.lineTo(pt);
    }
    inside.moveTo(n.map(lower), n.base);
    for (int i = 0; i <= 200; ++i) {
        double v = lower + (upper - lower) * i / 200.0;
        inside.lineTo(n.map(v), n.base - 180 * std::exp(-0.5 * v * v));
    }
    inside.lineTo(n.map(upper), n.base);
    inside.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(190, 212, 240));
    p.drawPath(inside);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kStep, 2.6));
    p.drawPath(bell);
    axis(n);
    mark(n, 0, QStringLiteral("中心値 c"), kStep, false);
    span(n, 0, 1, n.base - 180 * std::exp(-0.5) - 4, QStringLiteral("s"));
    mark(n, lower, QStringLiteral("下限"), kGreen, true);
    mark(n, upper, QStringLiteral("上限"), kGreen, true);
    Text(p, QRectF(n.x0, 336, n.x1 - n.x0, 70),
         QStringLiteral("中心値 c = 平均値、標準偏差 s = ばらつき\n制限値(下限・上限)の外に出た値は引き直し"), 14);

    // Uniform distribution: every value in [c - s, c + s) equally likely.
    Panel u{410, 740, 300, 80};
    Text(p, QRectF(u.x0, 46, u.x1 - u.x0, 26), QStringLiteral("一様分布"), 19, kInk, true);
    QRectF box(QPointF(u.map(-2), u.base - 110), QPointF(u.map(2), u.base));
    p.setPen(QPen(kStep, 2.6));
    p.setBrush(QColor(190, 212, 240));
    p.drawRect(box);
    axis(u);
    mark(u, 0, QStringLiteral("中心値 c"), kStep, false);
    Text(p, QRectF(u.map(-2) - 50, u.base + 8, 100, 22), QStringLiteral("c − s"), 14, kInk, true);
    Text(p, QRectF(u.map(2) - 50, u.base + 8, 100, 22), QStringLiteral("c + s"), 14, kInk, true);
    span(u, 0, 2, u.base - 140, QStringLiteral("s(半幅)"));
    Text(p, QRectF(u.x0, 336, u.x1 - u.x0, 70),
         QStringLiteral("c − s から c + s の間のどの値も同じ確率\n「標準偏差」欄の値 s は範囲の半幅"), 14);
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

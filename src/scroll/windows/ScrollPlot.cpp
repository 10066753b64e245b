#include "scroll/windows/ScrollPlot.h"

#include <QCheckBox>
#include <QResizeEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "ui/PictureArea.h"
#include "platform/UserInterface.h"
#include "scroll/ScrollOutputs.h"

namespace korvane {

namespace {

const char* const kExclusiveMessage = "軌跡表示モード中は、ピークホールド機能は使用できません。";
constexpr int kLabelGap = 4;
constexpr int kButtonWidth = 64;

QColor Colour(std::uint32_t rgb) { return QColor(static_cast<QRgb>(rgb)); }

}  // namespace

ScrollPlot::ScrollPlot(ScrollOutputs& outputs, UserInterface& ui, QWidget* parent)
    : QWidget(parent), outputs_(outputs), ui_(ui) {
    picture_ = new PictureArea(this);
    picture_->setObjectName(QStringLiteral("Picture1"));
    picture_->setUserInterface(&ui_);
    picture_->setBackground(Qt::white);
    connect(picture_, &PictureArea::mouseMoved, this, &ScrollPlot::pointerMoved);
    connect(picture_, &PictureArea::mouseLeft, this, [this] { valLabel_->hide(); });

    const char* levelNames[3] = {"Uppr_Label", "Crnt_Label", "Lwr_Label"};
    const char* levelTexts[3] = {"Uppr", "Crnt", "Lwr"};
    for (int i = 0; i < 3; ++i) {
        levels_[i] = new QLabel(QString::fromLatin1(levelTexts[i]), this);
        levels_[i]->setObjectName(QString::fromLatin1(levelNames[i]));
        levels_[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

    valLabel_ = new QLabel(QStringLiteral("00e00"), picture_);
    valLabel_->setObjectName(QStringLiteral("Val_Label"));
    valLabel_->setStyleSheet(QStringLiteral("QLabel { background: #ffffe1; border: 1px solid #808080; padding: 0 2px; }"));
    // The label follows the pointer: it must not take the pointer's moves.
    valLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    valLabel_->hide();

    menuCmnd_ = new QPushButton(QStringLiteral("Menu"), this);
    menuCmnd_->setObjectName(QStringLiteral("Menu_Cmnd"));

    menuFrame_ = new QWidget(this);
    menuFrame_->setObjectName(QStringLiteral("MenuFrame"));
    menuFrame_->setAutoFillBackground(true);
    menuFrame_->setStyleSheet(QStringLiteral("#MenuFrame { border: 1px solid #808080; }"));
    auto* box = new QVBoxLayout(menuFrame_);
    box->setContentsMargins(8, 6, 8, 6);
    box->setSpacing(3);
    kiseki_ = new QCheckBox(QStringLiteral("奇跡Hold表示"), menuFrame_);
    kiseki_->setObjectName(QStringLiteral("Kiseki_Check"));
    valueLabelVis_ = new QCheckBox(QStringLiteral("ポインタラベル表示"), menuFrame_);
    valueLabelVis_->setObjectName(QStringLiteral("Value_Label_Vis1"));
    peakHold_ = new QCheckBox(QStringLiteral("PeakHold表示"), menuFrame_);
    peakHold_->setObjectName(QStringLiteral("Peak_Hold_Check1"));
    auto* clear = new QPushButton(QStringLiteral("Graph Clear"), menuFrame_);
    clear->setObjectName(QStringLiteral("Clear_Command"));
    auto* close = new QPushButton(QStringLiteral("Close"), menuFrame_);
    close->setObjectName(QStringLiteral("Command1"));
    for (QWidget* w : std::initializer_list<QWidget*>{kiseki_, valueLabelVis_, peakHold_, clear, close})
        box->addWidget(w);
    menuFrame_->adjustSize();
    menuFrame_->hide();

    connect(menuCmnd_, &QPushButton::clicked, this, [this] {
        placeMenuFrame();
        menuFrame_->show();
        menuFrame_->raise();
    });
    connect(close, &QPushButton::clicked, menuFrame_, &QWidget::hide);
    connect(kiseki_, &QCheckBox::toggled, this, &ScrollPlot::kisekiChanged);
    connect(peakHold_, &QCheckBox::toggled, this, &ScrollPlot::peakHoldChanged);
    connect(clear, &QPushButton::clicked, this, [this] {
        picture_->clear();
        Picture_Format();
    });

    alignColumns(40, 64);
    setMinimumHeight(160);
    Picture_Format();
}

void ScrollPlot::alignColumns(int x, int columnWidth) {
    left_ = x;
    columnWidth_ = columnWidth;
    setMinimumWidth(x + columnWidth * 9 + 8 + kButtonWidth);
    layoutChildren();
}

void ScrollPlot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutChildren();
}

void ScrollPlot::layoutChildren() {
    picture_->setGeometry(left_, 0, columnWidth_ * 9, std::max(height(), minimumHeight()));
    const QRect r = picture_->geometry();
    const double levels[3] = {1, 0, -1};
    for (int i = 0; i < 3; ++i) {
        QLabel* l = levels_[i];
        const int h = l->sizeHint().height();
        const int y = r.top() + static_cast<int>(picture_->toPixel(0, levels[i]).y()) - h / 2;
        l->setGeometry(0, y, std::max(0, r.left() - kLabelGap), h);
    }
    menuCmnd_->setGeometry(r.right() + 8, r.top(), kButtonWidth, menuCmnd_->sizeHint().height());
    placeMenuFrame();
}

void ScrollPlot::placeMenuFrame() {
    const QRect r = picture_->geometry();
    menuFrame_->adjustSize();
    menuFrame_->move(r.right() - menuFrame_->width() - 4, r.top() + 4);
}

void ScrollPlot::Picture_Format() {
    picture_->setFrame(PlotFrame::left, PlotFrame::top, PlotFrame::right, PlotFrame::bottom);
    for (const PlotMark& m : ReferenceMarks()) picture_->line(m.x1, m.y1, m.x2, m.y2, Colour(m.rgb));
}

void ScrollPlot::Draw_Pic() {
    if (!kiseki_->isChecked()) {
        picture_->clear();
        Picture_Format();
    }
    for (const PlotMark& m : ProfileMarks(outputs_, peakHold_->isChecked())) {
        if (m.kind == PlotMark::Kind::Circle)
            picture_->circle(m.x1, m.y1, m.x2, Colour(m.rgb));
        else
            picture_->line(m.x1, m.y1, m.x2, m.y2, Colour(m.rgb));
    }
    // A saved picture names its outputs and their limits.
    PictureArea::ExportLabels labels;
    labels.title = QStringLiteral("UserScroll: 出力と制限値");
    labels.yHigh = QStringLiteral("Uppr");
    labels.yName = QStringLiteral("Crnt");
    labels.yLow = QStringLiteral("Lwr");
    labels.xName = QStringLiteral("出力列 1 - 8 (左から)");
    for (int c = 1; c <= ScrollOutputs::kColumns; ++c) {
        const ScrollOutputColumn& col = outputs_.column(c);
        if (col.name.empty()) continue;
        labels.notes << QStringLiteral("%1: %2 = %3  (Lwr %4, Uppr %5)")
                            .arg(c)
                            .arg(QString::fromStdString(col.name), QString::fromStdString(col.current),
                                 QString::fromStdString(col.lower), QString::fromStdString(col.upper));
    }
    picture_->setExportLabels(labels);
}

void ScrollPlot::Clear_Peak() { outputs_.Clear_Peak(); }

void ScrollPlot::kisekiChanged(bool on) {
    if (on && peakHold_->isChecked()) {
        ui_.showMessage(kExclusiveMessage);
        QSignalBlocker block(kiseki_);
        kiseki_->setChecked(false);
        return;
    }
    if (!on) Draw_Pic();  // unticked: the picture clean again
}

void ScrollPlot::peakHoldChanged(bool on) {
    if (on && kiseki_->isChecked()) {
        ui_.showMessage(kExclusiveMessage);
        QSignalBlocker block(peakHold_);
        peakHold_->setChecked(false);
        Clear_Peak();
        return;  // the picture shows what it showed
    }
    Clear_Peak();
    Draw_Pic();
}

void ScrollPlot::pointerMoved(double x, double y) {
    const std::optional<int> c = PointerColumn(x);
    if (!valueLabelVis_->isChecked() || !c) {
        valLabel_->hide();
        return;
    }
    valLabel_->setText(QString::fromStdString(PointerReadout(outputs_, *c, y)));
    valLabel_->adjustSize();
    valLabel_->move(picture_->toPixel(x + 0.2, y + 0.07).toPoint());
    valLabel_->show();
}

}  // namespace korvane

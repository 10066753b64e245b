#include "analysis/windows/GraphWindows.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/AnalysisGrid.h"
#include "ui/PictureArea.h"
#include "platform/UserInterface.h"
#include "project/NumberText.h"
#include "project/Paths.h"

namespace korvane {

namespace {

const QColor kAxisColour(150, 150, 150);
const QColor kInitialColours[3] = {QColor(0, 0, 192), QColor(255, 0, 0), QColor(160, 160, 160)};
const char* const kEnds[4] = {"X1", "X2", "Y1", "Y2"};

QString AxisText(double v) { return Q(FormatChart(v, "0.00e+0")); }

QComboBox* MakeCombo(QWidget* parent, const char* name) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setMinimumContentsLength(12);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return combo;
}

// Check1 and Check2: colouring by verdict is not available while invalid
// lines are hidden.
std::pair<QCheckBox*, QCheckBox*> MakeChecks(QWidget* parent) {
    auto* hide = new QCheckBox(QStringLiteral("制限値外れデータを非表示"), parent);
    hide->setObjectName(QStringLiteral("Check1"));
    auto* colour = new QCheckBox(QStringLiteral("制限値外れデータを色分け"), parent);
    colour->setObjectName(QStringLiteral("Check2"));
    colour->setToolTip(QStringLiteral("制限値内データを赤、制限値外データを灰色で表示"));
    QObject::connect(hide, &QCheckBox::toggled, colour, [colour](bool on) { colour->setEnabled(!on); });
    return {hide, colour};
}

void FillCombos(QComboBox* x, QComboBox* y, const std::vector<std::string>& names) {
    x->clear();
    y->clear();
    for (const auto& n : names) {
        x->addItem(Q(n));
        y->addItem(Q(n));
    }
    x->setCurrentIndex(names.empty() ? -1 : 0);
    y->setCurrentIndex(names.size() > 1 ? 1 : -1);
}

}  // namespace

// ------------------------------------------------------------ container

GraphContainer::GraphContainer(UserInterface& ui, QWidget* parent) : QMainWindow(parent), ui_(ui, this) {
    setObjectName(QStringLiteral("MDIForm1"));
    setWindowTitle(QStringLiteral("グラフ作成"));
    setWindowFlag(Qt::Window, true);
    setAttribute(Qt::WA_DeleteOnClose);

    auto* central = new QWidget(this);
    auto* panel = new QWidget(central);
    panel->setFixedWidth(250);

    auto* fileFrame = new QGroupBox(QStringLiteral("データベースファイル"), panel);
    fileFrame->setObjectName(QStringLiteral("Frame2"));
    path_ = new QLineEdit(fileFrame);
    path_->setObjectName(QStringLiteral("DB_Brws_Text"));
    auto* browse = new QToolButton(fileFrame);
    browse->setObjectName(QStringLiteral("DB_Brws_Button"));
    browse->setText(QStringLiteral("..."));
    auto* fileLayout = new QHBoxLayout(fileFrame);
    fileLayout->addWidget(path_, 1);
    fileLayout->addWidget(browse);

    auto* settings = new QGroupBox(QStringLiteral("グラフ設定"), panel);
    settings->setObjectName(QStringLiteral("Frame1"));
    x_ = MakeCombo(settings, "X_Combo");
    y_ = MakeCombo(settings, "Y_Combo");
    std::tie(hide_, colour_) = MakeChecks(settings);
    auto* create = new QPushButton(QStringLiteral("グラフ作成"), settings);
    create->setObjectName(QStringLiteral("Create_Graph_Button"));
    auto* form = new QFormLayout(settings);
    form->addRow(QStringLiteral("X軸："), x_);
    form->addRow(QStringLiteral("Y軸："), y_);
    form->addRow(hide_);
    form->addRow(colour_);
    form->addRow(create);

    auto* logo = new QLabel(QStringLiteral("Korvane\nX/Y グラフ"), panel);
    logo->setObjectName(QStringLiteral("Picture1"));
    logo->setAlignment(Qt::AlignCenter);
    logo->setStyleSheet(QStringLiteral("QLabel { color: rgb(0, 128, 128); font-size: 16pt; font-weight: bold; }"));

    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(fileFrame);
    panelLayout->addWidget(settings);
    panelLayout->addStretch(1);
    panelLayout->addWidget(logo);

    area_ = new QMdiArea(central);
    area_->setObjectName(QStringLiteral("MdiArea"));
    auto* layout = new QHBoxLayout(central);
    layout->addWidget(panel);
    layout->addWidget(area_, 1);
    setCentralWidget(central);
    status_ = new QStatusBar(this);
    status_->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(status_);

    connect(browse, &QToolButton::clicked, this, [this] {
        const std::string current = dbPath();
        const std::string start = current.empty() ? std::string() : PathPart(current, 3);
        const std::string chosen = ui_.chooseFile("*.csv|*.csv", "データファイルを選択", start, false);
        if (chosen.empty()) return;
        setDbPath(chosen);
    });
    connect(path_, &QLineEdit::editingFinished, this, [this] {
        path_->setToolTip(path_->text());
        Combo_Set();
    });
    connect(create, &QPushButton::clicked, this, [this] { Create_Graph(); });
    resize(1100, 700);
}

std::string GraphContainer::dbPath() const { return ResolveAppRelative(S(path_->text())); }

void GraphContainer::setDbPath(const std::string& path) {
    path_->setText(Q(path));
    path_->setToolTip(Q(path));
    Combo_Set();
}

bool GraphContainer::Combo_Set() {
    DbHeader header;
    std::string error;
    if (!ReadDbHeader(dbPath(), header, error)) {
        FillCombos(x_, y_, {});
        ui_.showMessage("DBファイルを読めません。\n" + error);
        return false;
    }
    FillCombos(x_, y_, header.names);
    status_->showMessage(Q(dbPath()));
    return true;
}

GraphWindow* GraphContainer::Create_Graph() {
    if (x_->currentIndex() < 0 || y_->currentIndex() < 0) {
        ui_.showMessage("データベースファイルを選択して下さい。");
        return nullptr;
    }
    GraphSettings s{S(x_->currentText()), S(y_->currentText()), hide_->isChecked(), colour_->isChecked()};
    auto* graph = new GraphWindow(*this, s);
    if (!graph->Scale_Set()) {
        delete graph;
        return nullptr;
    }
    QMdiSubWindow* sub = area_->addSubWindow(graph);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(640, 480);
    graph->Draw_Pic();
    sub->show();
    return graph;
}

// ------------------------------------------------------------ graph window

GraphWindow::GraphWindow(GraphContainer& container, const GraphSettings& settings, QWidget* parent)
    : QWidget(parent), container_(container), settings_(settings) {
    setObjectName(QStringLiteral("Graph_MDI_Form"));
    for (int i = 0; i < 3; ++i) colours_[i] = remembered_[i] = kInitialColours[i];

    picture_ = new PictureArea(this);
    picture_->setObjectName(QStringLiteral("Picture1"));
    picture_->setUserInterface(&container_.ui());
    picture_->setBackground(Qt::white);
    picture_->setMinimumSize(200, 150);
    xName_ = new QLabel(this);
    xName_->setObjectName(QStringLiteral("X_Label"));
    xName_->setAlignment(Qt::AlignCenter);
    yName_ = new QLabel(this);
    yName_->setObjectName(QStringLiteral("Y_Label"));
    yName_->setAlignment(Qt::AlignCenter);
    yName_->setWordWrap(true);
    for (int i = 0; i < 4; ++i) {
        ends_[i] = new QLabel(this);
        ends_[i]->setObjectName(QString::fromLatin1(kEnds[i]) + QStringLiteral("Label"));
        ends_[i]->setCursor(Qt::PointingHandCursor);
        ends_[i]->setToolTip(QStringLiteral("クリックで軸の端の値を変更"));
        ends_[i]->installEventFilter(this);
    }
    auto* editButton = new QPushButton(QStringLiteral("Edit"), this);
    editButton->setObjectName(QStringLiteral("Edit_Command"));
    status_ = new QStatusBar(this);
    status_->setObjectName(QStringLiteral("StatusBar1"));
    status_->setSizeGripEnabled(false);

    // The edit frame.
    edit_ = new QGroupBox(QStringLiteral("グラフ設定"), this);
    edit_->setObjectName(QStringLiteral("Edit_Frame"));
    editX_ = MakeCombo(edit_, "X_Combo");
    editY_ = MakeCombo(edit_, "Y_Combo");
    std::tie(editHide_, editColour_) = MakeChecks(edit_);
    const char* captions[3] = {"標準色", "制限内値", "制限外値"};
    auto* colourRow = new QGridLayout;
    for (int i = 0; i < 3; ++i) {
        boxes_[i] = new QLabel(edit_);
        boxes_[i]->setObjectName(QStringLiteral("Picture%1").arg(i + 2));
        boxes_[i]->setFixedSize(28, 18);
        boxes_[i]->setFrameShape(QFrame::Box);
        boxes_[i]->setCursor(Qt::PointingHandCursor);
        boxes_[i]->installEventFilter(this);
        colourRow->addWidget(boxes_[i], 0, i, Qt::AlignHCenter);
        colourRow->addWidget(new QLabel(QString::fromUtf8(captions[i]), edit_), 1, i, Qt::AlignHCenter);
    }
    auto* apply = new QPushButton(QStringLiteral("グラフ作成"), edit_);
    apply->setObjectName(QStringLiteral("Create_Graph_Button"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), edit_);
    cancel->setObjectName(QStringLiteral("Cancel_Command"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(apply);
    buttons->addWidget(cancel);
    auto* editLayout = new QFormLayout(edit_);
    editLayout->addRow(QStringLiteral("X軸："), editX_);
    editLayout->addRow(QStringLiteral("Y軸："), editY_);
    editLayout->addRow(editHide_);
    editLayout->addRow(editColour_);
    editLayout->addRow(colourRow);
    editLayout->addRow(buttons);
    edit_->hide();
    for (int i = 0; i < 3; ++i) setColour(i, colours_[i]);

    auto* grid = new QGridLayout;
    grid->addWidget(ends_[3], 0, 0, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(editButton, 0, 2, Qt::AlignRight);
    grid->addWidget(yName_, 1, 0);
    grid->addWidget(picture_, 0, 1, 3, 1);
    grid->addWidget(ends_[2], 2, 0, Qt::AlignRight | Qt::AlignBottom);
    auto* xRow = new QHBoxLayout;
    xRow->addWidget(ends_[0]);
    xRow->addStretch(1);
    xRow->addWidget(xName_);
    xRow->addStretch(1);
    xRow->addWidget(ends_[1]);
    grid->addLayout(xRow, 3, 1);
    grid->addWidget(edit_, 1, 2, 3, 1, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(1, 1);
    grid->setColumnMinimumWidth(0, 70);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 0);
    layout->addLayout(grid, 1);
    layout->addWidget(status_);

    connect(editButton, &QPushButton::clicked, this, [this] { showEditFrame(edit_->isHidden()); });
    connect(apply, &QPushButton::clicked, this, &GraphWindow::applyEdit);
    connect(cancel, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < 3; ++i) setColour(i, remembered_[i]);
        edit_->hide();
    });
    connect(picture_, &PictureArea::mousePressed, this, [this](double, double, Qt::MouseButton button) {
        if (button == Qt::LeftButton) edit_->hide();
    });
    connect(picture_, &PictureArea::mouseMoved, this, [this](double x, double y) {
        status_->showMessage(Q(settings_.x + " = " + FormatChart(x, "0.000e+0") + "    ,    " + settings_.y +
                               " = " + FormatChart(y, "0.000e+0")));
    });
    updateNames();
}

QColor GraphWindow::colour(int box) const { return colours_[box]; }

void GraphWindow::setColour(int box, const QColor& colour) {
    colours_[box] = colour;
    boxes_[box]->setStyleSheet(QStringLiteral("background-color: %1;").arg(colour.name()));
}

QString GraphWindow::axisText(const char* which) const {
    for (int i = 0; i < 4; ++i)
        if (std::string(which) == kEnds[i]) return ends_[i]->text();
    return {};
}

void GraphWindow::updateNames() {
    setWindowTitle(Q(settings_.x + " - " + settings_.y));
    xName_->setText(Q(settings_.x));
    yName_->setText(Q(settings_.y));
}

bool GraphWindow::Scale_Set() {
    std::string error;
    if (!ScanXY(container_.dbPath(), settings_.x, settings_.y, settings_.hideInvalid, {}, scan_, error)) {
        container_.ui().showMessage("DBファイルを読めません。\n" + error);
        return false;
    }
    drawn_ = settings_;
    setFrameFromRange();
    return true;
}

void GraphWindow::setFrameFromRange() {
    const ChartFrame f = XYFrame(scan_);
    setFrame(f.left, f.right, f.bottom, f.top);
    for (int i = 0; i < 4; ++i) ends_[i]->setText(AxisText(i == 0 ? x1_ : i == 1 ? x2_ : i == 2 ? y1_ : y2_));
}

void GraphWindow::setFrame(double x1, double x2, double y1, double y2) {
    x1_ = x1;
    x2_ = x2;
    y1_ = y1;
    y2_ = y2;
    picture_->setFrame(x1, y2, x2, y1);
}

void GraphWindow::Draw_Pic() {
    picture_->clear();
    picture_->setLineWidth(1);
    picture_->setProtectedFile(container_.dbPath());
    // A saved picture: the two columns, the axis ends and what the colours mean.
    PictureArea::ExportLabels labels;
    labels.title = windowTitle();
    labels.xLow = ends_[0]->text();
    labels.xHigh = ends_[1]->text();
    labels.xName = Q(settings_.x);
    labels.yLow = ends_[2]->text();
    labels.yHigh = ends_[3]->text();
    labels.yName = Q(settings_.y);
    labels.notes << QStringLiteral("DB: ") + Q(container_.dbPath());
    if (settings_.hideInvalid)
        labels.notes << QStringLiteral("制限値外れデータは非表示");
    else if (settings_.colourByVerdict)
        labels.notes << QStringLiteral("制限内値 %1 / 制限外値 %2").arg(colours_[1].name(), colours_[2].name());
    picture_->setExportLabels(labels);
    const PictureArea::Frame f = picture_->frame();
    picture_->line(f.left, 0, f.right, 0, kAxisColour);   // Line2, the x axis
    picture_->line(0, f.bottom, 0, f.top, kAxisColour);   // Line1, the y axis
    const double radius = 0.005 * (f.right - f.left);
    XYScan scan;
    std::string error;
    const bool ok = ScanXY(container_.dbPath(), settings_.x, settings_.y, settings_.hideInvalid,
                           [&](const XYPoint& p) {
                               const QColor& c = settings_.colourByVerdict && !settings_.hideInvalid
                                                     ? colours_[p.valid ? 1 : 2]
                                                     : colours_[0];
                               picture_->circle(p.x, p.y, radius, c);
                           },
                           scan, error);
    if (!ok) container_.ui().showMessage("DBファイルを読めません。\n" + error);
}

void GraphWindow::Axis_Change(const std::string& which, double value) {
    double ends[4];
    for (int i = 0; i < 4; ++i) ends[i] = LeadingNumber(S(ends_[i]->text()));
    for (int i = 0; i < 4; ++i) {
        if (which != kEnds[i]) continue;
        ends[i] = value;
        ends_[i]->setText(AxisText(value));
    }
    setFrame(ends[0], ends[1], ends[2], ends[3]);
    Draw_Pic();
}

void GraphWindow::editAxis(const char* which) {
    QInputDialog box(this);
    box.setObjectName(QStringLiteral("InputBox"));
    box.setWindowTitle(QStringLiteral("軸目盛変更"));
    box.setLabelText(QStringLiteral("新しい値を入力"));
    box.setTextValue(axisText(which));
    if (box.exec() != QDialog::Accepted) return;
    double value = 0;
    if (!ParseDecimal(S(box.textValue()), value)) return;
    Axis_Change(which, value);
}

void GraphWindow::chooseColour(int box) {
    const QColor chosen = QColorDialog::getColor(colours_[box], this, QStringLiteral("色の選択"));
    if (chosen.isValid()) setColour(box, chosen);
}

void GraphWindow::showEditFrame(bool show) {
    if (!show) {
        edit_->hide();
        return;
    }
    // The frame opens on the graph's settings, remembered for Cancel.
    DbHeader header;
    std::string error;
    ReadDbHeader(container_.dbPath(), header, error);
    FillCombos(editX_, editY_, header.names);
    editX_->setCurrentIndex(editX_->findText(Q(settings_.x)));
    editY_->setCurrentIndex(editY_->findText(Q(settings_.y)));
    editHide_->setChecked(settings_.hideInvalid);
    editColour_->setChecked(settings_.colourByVerdict);
    editColour_->setEnabled(!settings_.hideInvalid);
    for (int i = 0; i < 3; ++i) remembered_[i] = colours_[i];
    edit_->show();
}

void GraphWindow::applyEdit() {
    GraphSettings next{S(editX_->currentText()), S(editY_->currentText()), editHide_->isChecked(),
                       editColour_->isChecked()};
    if (next.x.empty() || next.y.empty()) next = settings_;
    picture_->clear();
    const bool rescale = next.hideInvalid != drawn_.hideInvalid || next.x != drawn_.x || next.y != drawn_.y;
    settings_ = next;
    if (rescale && !Scale_Set()) return;
    updateNames();
    Draw_Pic();
    edit_->hide();
}

bool GraphWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        for (int i = 0; i < 4; ++i)
            if (watched == ends_[i]) {
                editAxis(kEnds[i]);
                return true;
            }
        for (int i = 0; i < 3; ++i)
            if (watched == boxes_[i]) {
                chooseColour(i);
                return true;
            }
    }
    return QWidget::eventFilter(watched, event);
}

void GraphWindow::mousePressEvent(QMouseEvent* event) {
    edit_->hide();
    QWidget::mousePressEvent(event);
}

}  // namespace korvane

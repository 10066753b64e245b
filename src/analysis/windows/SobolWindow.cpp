#include "analysis/windows/SobolWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>

#include "analysis/Sensitivity.h"
#include "db/ResultTable.h"
#include "platform/UserInterface.h"
#include "ui/PictureArea.h"
#include "ui/WindowHost.h"

namespace korvane {

namespace {
const QColor kFirstColour(0, 192, 192);     // S1 bars
const QColor kTotalColour(255, 160, 0);     // ST bars
const QColor kWhiskerColour(255, 255, 255);
const QColor kGridColour(70, 70, 70);
const QColor kAxisColour(160, 160, 160);
const QColor kTextColour(210, 210, 210);
const QColor kInteractionBackground(235, 235, 235);
constexpr const char* kInteractionTitle = "<交互作用>";
constexpr int kProgressSteps = 1000;

// An interval as the table shows it: "[lower, upper]", "-" when there is none.
std::string IntervalText(const Interval& i) {
    if (std::isnan(i.lower) && std::isnan(i.upper)) return "-";
    return "[" + SobolFigure(i.lower) + ", " + SobolFigure(i.upper) + "]";
}

// The inputs in the table's order: the larger index first (ST from a design,
// S1 from given data), inputs without one last, ties in file order.
std::vector<std::size_t> RankedInputs(const SobolOutputIndices& output, SobolEstimate estimate) {
    std::vector<std::size_t> order(output.inputs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto key = [&](std::size_t i) {
        const SobolInputIndices& in = output.inputs[i];
        return estimate == SobolEstimate::Design ? in.total.value : in.first.value;
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const double ka = key(a), kb = key(b);
        if (std::isnan(kb)) return !std::isnan(ka);
        if (std::isnan(ka)) return false;
        return ka > kb;
    });
    return order;
}
}  // namespace

SobolWindow::SobolWindow(UserInterface& ui, std::string path, bool includeInvalidRows, QWidget* parent)
    : QWidget(parent), ui_(ui, this), path_(std::move(path)), includeInvalid_(includeInvalidRows), pass_(this) {
    PrepareAnalysisWindow(this, "Sobol_Form", "Sobol'感度指数");

    auto* outputLabel = new QLabel(QStringLiteral("出力："), this);
    outputLabel->setObjectName(QStringLiteral("Output_Label"));
    output_ = new QComboBox(this);
    output_->setObjectName(QStringLiteral("Output_Combo"));
    output_->setMinimumContentsLength(12);
    output_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    outputLabel->setBuddy(output_);
    connect(output_, &QComboBox::currentIndexChanged, this, &SobolWindow::showOutput);

    auto* frame = new QGroupBox(QStringLiteral("感度指数と95%区間"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    grid_ = MakeAnalysisGrid(frame, "Sobol_Grid");
    grid_->setToolTip(QStringLiteral("S1: 入力単独で説明される出力の分散の割合(1次指数)\n"
                                     "ST: 他の入力との交互作用を含めた割合(全効果指数)\n"
                                     "区間は95%ブートストラップ区間"));
    note_ = new QLabel(frame);
    note_->setObjectName(QStringLiteral("Note_Label"));
    note_->setWordWrap(true);
    note_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    picture_ = new PictureArea(frame);
    picture_->setObjectName(QStringLiteral("Sobol_Picture"));
    picture_->setUserInterface(&ui_);
    picture_->setProtectedFile(path_);
    picture_->setBackground(Qt::black);
    picture_->setMinimumSize(380, 300);
    picture_->setToolTip(QStringLiteral("青緑: S1(1次指数)、橙: ST(全効果指数)、ひげ: 95%区間"));
    picture_->installEventFilter(this);

    menu_ = MakeResultMenu(this, grid_, [this] { Save_Result(); });

    poll_ = new QTimer(this);
    poll_->setInterval(50);
    connect(poll_, &QTimer::timeout, this, &SobolWindow::followProgress);
    // The pass's own stop button ends the thread's work at its next step.
    connect(pass_.stopButton(), &QPushButton::clicked, this, [this] { stop_ = true; });

    auto* top = new QHBoxLayout;
    top->addWidget(outputLabel);
    top->addWidget(output_);
    top->addStretch(1);
    auto* tableSide = new QVBoxLayout;
    tableSide->addWidget(grid_, 1);
    tableSide->addWidget(note_);
    auto* inner = new QHBoxLayout(frame);
    inner->addLayout(tableSide);
    inner->addWidget(picture_, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(pass_.bar(), 1);
    bottom->addWidget(pass_.stopButton());
    bottom->addWidget(pass_.closeButton());
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(frame, 1);
    layout->addLayout(bottom);
    setTabOrder(output_, grid_);
    setTabOrder(grid_, pass_.stopButton());
    setTabOrder(pass_.stopButton(), pass_.closeButton());

    Form_Format();
}

SobolWindow::~SobolWindow() {
    // Closed with the program while computing: the thread stops at its next
    // step and is waited for, so it never writes into a window that is gone.
    stop_ = true;
    if (worker_.joinable()) worker_.join();
}

// The names from the header lines, so the window shows what it computes
// while it computes.
void SobolWindow::Form_Format() {
    DbHeader header;
    std::string error;
    ReadDbHeader(path_, header, error);  // an unreadable file is reported by the computation
    SensitivityResult columns;
    SensitivityColumns(header, columns);
    inputs_ = columns.inputs;
    outputs_ = columns.outputs;
    {
        const QSignalBlocker block(output_);
        output_->clear();
        for (const std::string& name : outputs_) output_->addItem(Q(name));
    }
    showTable(nullptr);
    // Room for the widest figures, so the table shows whole beside the chart.
    const QFontMetrics fm(grid_->font());
    const int figure = fm.horizontalAdvance(QStringLiteral("-0.000")) + 28;
    const int interval = fm.horizontalAdvance(QStringLiteral("[-0.000, -0.000]")) + 16;
    for (int c : {1, 3}) grid_->setColumnWidth(c, std::max(grid_->columnWidth(c), figure));
    for (int c : {2, 4}) grid_->setColumnWidth(c, std::max(grid_->columnWidth(c), interval));
    const int gridWidth = std::min(GridContentWidth(grid_) + grid_->verticalScrollBar()->sizeHint().width(), 700);
    grid_->setMinimumWidth(gridWidth);
    pass_.bar()->setRange(0, kProgressSteps);
    pass_.bar()->setValue(0);
    resize(std::clamp(gridWidth + 480, 900, 1240), 470);
}

void SobolWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    pass_.shown([this] { compute(); });
}

void SobolWindow::compute() {
    if (!pass_.begin()) return;
    stop_ = false;
    done_ = 0;
    computed_ = false;
    output_->setEnabled(false);
    poll_->start();
    SobolOptions options;
    options.includeInvalid = includeInvalid_;
    worker_ = std::thread([this, options] {
        SobolResult result;
        bool ok = false;
        try {
            ok = ComputeSobolIndices(
                path_, options,
                [this](double done) {
                    done_ = done;
                    return !stop_;
                },
                result);
        } catch (const std::exception& e) {
            // Memory ran out after all: said like any other refusal, never an
            // end of the program from a thread.
            result = SobolResult{};
            result.error = std::string("DBファイルを解析できません。\n") + e.what();
        }
        // The window's thread reads the result only after the join in finished().
        result_ = std::move(result);
        QMetaObject::invokeMethod(this, [this, ok] { finished(ok); }, Qt::QueuedConnection);
    });
}

void SobolWindow::followProgress() {
    pass_.bar()->setValue(static_cast<int>(std::lround(std::clamp(done_.load(), 0.0, 1.0) * kProgressSteps)));
}

void SobolWindow::finished(bool ok) {
    if (worker_.joinable()) worker_.join();
    poll_->stop();
    // A stop that came after the last step keeps the finished figures.
    const bool stopped = !ok && (stop_ || result_.stopped);
    if (!pass_.end()) return;  // closed while computing: the window is closing
    output_->setEnabled(true);
    if (stopped) return;  // no figures after a stop, and nothing to say
    if (!ok) {
        ui_.showMessage(result_.error.empty() ? "DBファイルを解析できません。\n" + path_ : result_.error);
        return;
    }
    computed_ = true;
    pass_.bar()->setValue(kProgressSteps);
    // The outputs as computed (the header said the same, in the same order).
    const int current = std::max(0, output_->currentIndex());
    {
        const QSignalBlocker block(output_);
        output_->clear();
        for (const SobolOutputIndices& o : result_.outputs) output_->addItem(Q(o.name));
        output_->setCurrentIndex(std::min(current, output_->count() - 1));
    }
    showOutput(output_->currentIndex());
    if (result_.skipped > 0 || result_.unreadable > 0)
        ui_.showMessage(SkippedLinesMessage(result_.skipped, result_.unreadable));
}

void SobolWindow::showOutput(int index) {
    if (!computed_ || index < 0 || index >= static_cast<int>(result_.outputs.size())) {
        showTable(nullptr);
        return;
    }
    showTable(&result_.outputs[static_cast<std::size_t>(index)]);
}

void SobolWindow::showTable(const SobolOutputIndices* output) {
    ResultRows rows = {{"入力", "S1", "S1 95%区間", "ST", "ST 95%区間"}};
    std::vector<std::size_t> order;
    if (output) {
        order = RankedInputs(*output, result_.estimate);
        for (std::size_t i : order) {
            const SobolInputIndices& in = output->inputs[i];
            const std::string name = i < result_.inputs.size() ? result_.inputs[i] : std::string();
            rows.push_back({name, SobolFigure(in.first.value), IntervalText(in.first.interval),
                            SobolFigure(in.total.value), IntervalText(in.total.interval)});
        }
        rows.push_back({kInteractionTitle, SobolFigure(output->interactions), "", "", ""});
    } else {
        // Before the figures: the names only.
        for (const std::string& name : inputs_) rows.push_back({name, "", "", "", ""});
        rows.push_back({kInteractionTitle, "", "", "", ""});
    }
    ShowTable(grid_, rows);
    const int last = grid_->rowCount() - 1;
    for (int c = 0; c < grid_->columnCount(); ++c) {
        if (!grid_->item(last, c)) SetGridText(grid_, last, c, "");
        grid_->item(last, c)->setBackground(kInteractionBackground);
    }
    grid_->item(last, 0)->setToolTip(QStringLiteral("1 - ΣS1: 交互作用に残る分散の割合"));
    FitColumnsToTexts(grid_);

    QStringList notes;
    if (output) {
        for (const std::string& n : SobolNotes(result_)) notes << Q(n);
        if (result_.estimate == SobolEstimate::GivenData && !notes.contains(Q(kSobolTotalNeedsDesign)))
            notes << Q(kSobolTotalNeedsDesign);
        if (!output->varies) notes.prepend(Q(output->name) + QStringLiteral(" は変化しないため、指数はありません。"));
    }
    note_->setText(notes.join(QLatin1Char('\n')));
    note_->setVisible(!notes.isEmpty());
    drawChart(output, order);
}

// The bar chart: per input (in the table's order) an S1 bar and an ST bar
// from 0, each with its interval as a whisker; the axis 0..1 with lines at
// the quarters, widened where an interval reaches beyond it.
void SobolWindow::drawChart(const SobolOutputIndices* output, const std::vector<std::size_t>& order) {
    picture_->clear();
    picture_->setLineWidth(1);
    if (!output) {
        picture_->setExportLabels({});
        return;
    }
    const bool design = result_.estimate == SobolEstimate::Design;
    const double n = std::max<double>(1, static_cast<double>(order.size()));
    double lo = 0, hi = 1;
    auto widen = [&](double v) {
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    };
    for (const SobolInputIndices& in : output->inputs)
        for (const SobolFigures* f : {&in.first, &in.total}) {
            widen(f->value);
            widen(f->interval.lower);
            widen(f->interval.upper);
        }
    // Margins in pixels: the axis figures left, the legend above, the names
    // below.
    const int leftPx = 34, rightPx = 10, topPx = 28, bottomPx = 24;
    const double width = std::max(100, picture_->width());
    const double height = std::max(100, picture_->height());
    const double perX = n / (width - leftPx - rightPx);
    const double perY = (hi - lo) / (height - topPx - bottomPx);
    const double left = -leftPx * perX, right = n + rightPx * perX;
    const double top = hi + topPx * perY, bottom = lo - bottomPx * perY;
    picture_->setFrame(left, top, right, bottom);

    for (double y : {0.25, 0.5, 0.75, 1.0}) picture_->line(0, y, n, y, kGridColour);
    picture_->line(0, 0, n, 0, kAxisColour);
    picture_->line(0, lo, 0, hi, kAxisColour);
    for (double y : {0.0, 0.5, 1.0})
        picture_->text(-4 * perX, y, QString::number(y), kTextColour, Qt::AlignRight | Qt::AlignVCenter);

    // The legend above the bars.
    const double legendY = hi + 16 * perY;
    const double box = 10 * perX;
    double x = 2 * perX;
    const QFontMetrics fm(picture_->font());
    auto legend = [&](const QColor& colour, const QString& text) {
        picture_->box(x, legendY - 5 * perY, x + box, legendY + 5 * perY, colour, true);
        picture_->text(x + box + 4 * perX, legendY, text, kTextColour, Qt::AlignLeft | Qt::AlignVCenter);
        x += box + (fm.horizontalAdvance(text) + 20) * perX;
    };
    legend(kFirstColour, QStringLiteral("S1 (1次指数)"));
    if (design) legend(kTotalColour, QStringLiteral("ST (全効果指数)"));
    picture_->text(x, legendY, QStringLiteral("ひげ: 95%区間"), kTextColour, Qt::AlignLeft | Qt::AlignVCenter);

    auto bar = [&](double from, double to, const SobolFigures& f, const QColor& colour) {
        if (std::isfinite(f.value)) picture_->box(from, 0, to, f.value, colour, true);
        if (std::isfinite(f.interval.lower) && std::isfinite(f.interval.upper)) {
            const double mid = (from + to) / 2, cap = (to - from) / 4;
            picture_->line(mid, f.interval.lower, mid, f.interval.upper, kWhiskerColour);
            picture_->line(mid - cap, f.interval.lower, mid + cap, f.interval.lower, kWhiskerColour);
            picture_->line(mid - cap, f.interval.upper, mid + cap, f.interval.upper, kWhiskerColour);
        }
    };
    const int namePx = std::max(12, static_cast<int>((width - leftPx - rightPx) / n) - 4);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t i = order[k];
        const SobolInputIndices& in = output->inputs[i];
        const double c = static_cast<double>(k) + 0.5;
        if (design) {
            bar(c - 0.36, c - 0.02, in.first, kFirstColour);
            bar(c + 0.02, c + 0.36, in.total, kTotalColour);
        } else {
            bar(c - 0.25, c + 0.25, in.first, kFirstColour);
        }
        const QString name = i < result_.inputs.size() ? Q(result_.inputs[i]) : QString();
        picture_->text(c, lo - 4 * perY, fm.elidedText(name, Qt::ElideRight, namePx), kTextColour,
                       Qt::AlignHCenter | Qt::AlignTop);
    }
    if (!output->varies)
        picture_->text(n / 2, (lo + hi) / 2, QStringLiteral("出力が変化しないため、指数はありません"), kTextColour,
                       Qt::AlignHCenter | Qt::AlignVCenter);

    // A saved picture reads on its own: the output, the axis, every input
    // with its figures, and how they were estimated.
    PictureArea::ExportLabels labels;
    labels.title = QStringLiteral("Sobol'感度指数: ") + Q(output->name);
    // The axis figures are drawn in the chart: the margins name the axes.
    labels.yName = QStringLiteral("指数");
    labels.xName = QStringLiteral("入力 (指数の大きい順)");
    labels.notes << (design ? QStringLiteral("青緑: S1 (1次指数)、橙: ST (全効果指数)、ひげ: 95%区間")
                            : QStringLiteral("青緑: S1 (1次指数)、ひげ: 95%区間"));
    for (std::size_t i : order) {
        const SobolInputIndices& in = output->inputs[i];
        if (std::isnan(in.first.value) && std::isnan(in.total.value)) {
            labels.notes << Q(result_.inputs[i]) + QStringLiteral(": 指数なし");
            continue;
        }
        QString line = Q(result_.inputs[i]) + QStringLiteral(": S1 ") + Q(SobolFigure(in.first.value)) +
                       QStringLiteral(" ") + Q(IntervalText(in.first.interval));
        if (design)
            line += QStringLiteral("   ST ") + Q(SobolFigure(in.total.value)) + QStringLiteral(" ") +
                    Q(IntervalText(in.total.interval));
        labels.notes << line;
    }
    labels.notes << QStringLiteral("交互作用 (1 - ΣS1): ") + Q(SobolFigure(output->interactions));
    for (const QString& note : note_->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts)) labels.notes << note;
    picture_->setExportLabels(labels);
}

void SobolWindow::Save_Result() {
    if (!computed_) return;
    const std::string path = ui_.chooseFile("*.csv|*.csv", "結果保存先を選択", "", true);
    if (path.empty() || !MayWriteTo(ui_, path, path_)) return;
    std::string error;
    if (!SaveResultTable(path, SobolTable(result_), error)) ui_.showMessage(error);
}

// The chart's margins are in pixels: a new size draws it anew.
bool SobolWindow::eventFilter(QObject* watched, QEvent* event) {
    const int index = output_->currentIndex();
    if (watched == picture_ && event->type() == QEvent::Resize && computed_ && index >= 0 &&
        index < static_cast<int>(result_.outputs.size())) {
        const SobolOutputIndices& output = result_.outputs[static_cast<std::size_t>(index)];
        drawChart(&output, RankedInputs(output, result_.estimate));
    }
    return QWidget::eventFilter(watched, event);
}

void SobolWindow::closeEvent(QCloseEvent* event) {
    if (pass_.holdClose()) {
        // The thread stops at its next step; the window closes when it ends.
        stop_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void OpenSobolForm(WindowHost& host, const WindowRequest& request) {
    auto* window = new SobolWindow(host.ui(), request.filePath, request.includeInvalidRows, host.hostWindow());
    window->show();
}

}  // namespace korvane

#include "ValueWindows.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "ui/SettingsGrid.h"
#include "ui/WindowParts.h"
#include "platform/UserInterface.h"
#include "project/ProjectDocument.h"
#include "ui/WindowHost.h"

namespace korvane {

namespace {
// Column "初期値" of the restriction window is shown, not edited.
const QColor kShownOnly(0x80, 0x80, 0x80);

QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

ValueWindow::ValueWindow(WindowHost& host, Kind kind, QWidget* parent) : QDialog(parent), host_(host), kind_(kind) {
    using C = SettingsGrid::Cell;
    const bool initial = kind == Kind::Initial;
    setObjectName(initial ? QStringLiteral("Init_Value_Form") : QStringLiteral("Restriction_Value_Form"));
    setWindowTitle(initial ? QStringLiteral("初期値設定") : QStringLiteral("制限値設定"));
    setModal(true);
    if (initial)
        grid_ = new SettingsGrid(host.ui(), {{"変数名", 1500, C::Fixed}, {"初期値", 2770, C::Number}}, this);
    else
        grid_ = new SettingsGrid(host.ui(),
                                 {{"変数名", 1500, C::Fixed},
                                  {"下限値", 1190, C::Number},
                                  {"初期値", 1190, C::Fixed},
                                  {"上限値", 1190, C::Number}},
                                 this);

    std::vector<std::string> lines;
    if (host_.document().ReadWorkingCopy(lines)) {
        loaded_ = true;
        rows_ = ValueRows(ParseProject(lines), !initial);
    }
    grid_->setRows(static_cast<int>(rows_.size()));
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
        const ValueRow& v = rows_[static_cast<std::size_t>(r)];
        grid_->setText(r, 0, Q(v.name));
        if (initial) {
            grid_->setText(r, 1, Q(v.initial));
        } else {
            grid_->setText(r, 1, Q(v.lower));
            grid_->setText(r, 2, Q(v.initial));
            grid_->setText(r, 3, Q(v.upper));
            grid_->setCellColour(r, 2, kShownOnly, Qt::white);
        }
    }

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grid_, 1);
    QPushButton *ok, *cancel;
    layout->addLayout(OkCancelRow(this, &ok, &cancel));
    connect(ok, &QPushButton::clicked, this, &ValueWindow::OKCommand_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(GridWidth(grid_) + 24, 360);
}

void ValueWindow::OKCommand_Click() {
    // A value still in the editor counts as entered.
    grid_->storeEdit();
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
        ValueRow& v = rows_[static_cast<std::size_t>(r)];
        if (kind_ == Kind::Initial) {
            v.initial = grid_->text(r, 1).toStdString();
        } else {
            v.lower = grid_->text(r, 1).toStdString();
            v.upper = grid_->text(r, 3).toStdString();
        }
    }
    if (const auto problems = CheckValueRows(rows_, kind_ == Kind::Restriction); !problems.empty()) {
        grid_->refuseCell(static_cast<int>(problems[0].row), Q(problems[0].column), problems[0].message);
        return;
    }
    ProjectDocument& doc = host_.document();
    std::vector<std::string> lines;
    if (!doc.ReadWorkingCopy(lines)) return;
    std::string error;
    const bool stored = kind_ == Kind::Initial ? StoreInitialValues(lines, rows_, error)
                                               : StoreRestrictionValues(lines, rows_, error);
    if (!stored) {
        host_.ui().showMessage(error);
        return;
    }
    if (doc.WriteWorkingCopy(lines)) accept();
}

void OpenInitValueForm(WindowHost& host, const WindowRequest&) {
    ValueWindow window(host, ValueWindow::Kind::Initial, host.hostWindow());
    if (window.loaded()) window.exec();
}

void OpenRestrictionValueForm(WindowHost& host, const WindowRequest&) {
    ValueWindow window(host, ValueWindow::Kind::Restriction, host.hostWindow());
    if (window.loaded()) window.exec();
}

}  // namespace korvane

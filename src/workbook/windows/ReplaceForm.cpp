#include "ReplaceForm.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/LegendWindow.h"
#include "ui/SettingsGrid.h"
#include "ui/WindowParts.h"
#include "ui/WindowHost.h"
#include "platform/UserInterface.h"
#include "project/ProjectDocument.h"

namespace korvane {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
}  // namespace

ReplaceForm::ReplaceForm(WindowHost& host, const WindowRequest& request, QWidget* parent)
    : QDialog(parent), host_(host), name_(request.row.empty() ? "" : request.row[0]) {
    using C = SettingsGrid::Cell;
    setObjectName(QStringLiteral("Replace_Form"));
    setWindowTitle(QStringLiteral("入力変数値の置換設定"));
    setModal(true);
    grid_ = new SettingsGrid(host.ui(), {{"元値", 1300, C::Fixed}, {"置換文字列", 1500, C::Text}}, this);

    const std::vector<ReplaceEntry> rows = ParseReplaceList(request.row.size() > 1 ? request.row[1] : "");
    grid_->setRows(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        grid_->setText(r, 0, Q(rows[static_cast<std::size_t>(r)].key));
        grid_->setText(r, 1, Q(rows[static_cast<std::size_t>(r)].text));
    }
    keepOneFreeRow();
    for (int r = 0; r < grid_->rowCount(); ++r)
        if (QTableWidgetItem* key = grid_->item(r, 0)) key->setTextAlignment(Qt::AlignCenter);
    connect(grid_, &SettingsGrid::cellStored, this, &ReplaceForm::cellStored);

    auto* title = new QLabel(QStringLiteral("変数名： ") + Q(name_), this);
    title->setObjectName(QStringLiteral("Label1"));
    auto* legend = NamedButton("Lgnd_Button1", QStringLiteral("凡例"), this);
    legend->setAutoDefault(false);
    legend->setToolTip(QStringLiteral("置換設定の説明を表示します。"));
    connect(legend, &QPushButton::clicked, this,
            [this] { ShowLegend(this, host_.ui(), "\\legend_files\\Replace.BMP", host_.appFolder()); });
    auto* top = new QHBoxLayout;
    top->addWidget(title, 1);
    top->addWidget(legend);

    QPushButton *ok, *cancel;
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grid_, 1);
    layout->addLayout(OkCancelRow(this, &ok, &cancel));
    connect(ok, &QPushButton::clicked, this, &ReplaceForm::OKCommand_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(std::max(GridWidth(grid_) + 24, 300), 340);
}

void ReplaceForm::cellStored(int row, int column) {
    // A text gives a row without a key its key; a row that has one keeps it,
    // whatever keys the list was saved with.
    if (column == 1 && !grid_->text(row, 1).isEmpty() && grid_->text(row, 0).isEmpty()) {
        std::vector<std::string> keys;
        for (int r = 0; r < grid_->rowCount(); ++r) keys.push_back(S(grid_->text(r, 0)));
        grid_->setText(row, 0, Q(NewReplaceKey(keys, static_cast<std::size_t>(row))));
        grid_->item(row, 0)->setTextAlignment(Qt::AlignCenter);
    }
    keepOneFreeRow();
}

void ReplaceForm::keepOneFreeRow() {
    int used = grid_->rowCount();
    while (used > 0 && grid_->text(used - 1, 0).isEmpty() && grid_->text(used - 1, 1).isEmpty()) --used;
    grid_->setRows(used + 1);
}

std::vector<ReplaceEntry> ReplaceForm::gridRows() const {
    std::vector<ReplaceEntry> rows;
    for (int r = 0; r < grid_->rowCount(); ++r) rows.push_back({S(grid_->text(r, 0)), S(grid_->text(r, 1))});
    return rows;
}

void ReplaceForm::OKCommand_Click() {
    grid_->storeEdit();
    const std::vector<ReplaceEntry> entries = ReplaceEntries(gridRows());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].text.find(',') != std::string::npos) {
            grid_->setCurrentCell(static_cast<int>(i), 1);
            host_.ui().showMessage(kReplaceCommaMessage);
            return;
        }
        if (const std::string unstorable = UnstorableTextMessage("元値 " + entries[i].key + " の置換文字列", entries[i].text);
            !unstorable.empty()) {
            grid_->setCurrentCell(static_cast<int>(i), 1);
            host_.ui().showMessage(unstorable);
            return;
        }
        if (!entries[i].text.empty()) continue;
        grid_->setCurrentCell(static_cast<int>(i), 1);
        if (!host_.ui().askYesNo(EmptyReplacementQuestion(entries[i].key))) return;
    }
    ProjectDocument& doc = host_.document();
    std::vector<std::string> lines;
    if (!doc.ReadWorkingCopy(lines)) return;
    const auto content = ReplaceSectionLines(ParseProject(lines), name_, JoinReplaceList(entries));
    if (!doc.RewriteWorkingCopy(section::InputReplace, content)) return;
    host_.refreshGrid("InpRplc");
    accept();
}

void OpenReplaceForm(WindowHost& host, const WindowRequest& request) {
    ReplaceForm window(host, request, host.hostWindow());
    window.exec();
}

}  // namespace korvane

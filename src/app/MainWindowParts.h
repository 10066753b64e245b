#pragma once
// What the files of the main window share: its tabs and grids as tables, the
// plan box's items, the helpers that build and fill grids, and the two file
// fields. Included only by the main window's own files.

#include <string>
#include <utility>
#include <vector>

#include <QColor>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QString>
#include <QTableWidget>

#include "app/MainWindow.h"
#include "project/Project.h"
#include "ui/Twips.h"

namespace korvane {

namespace main_window {

inline const char* const kFileFieldTip = "ダブルクリックでファイルを選択又は開きます。";
inline const char* const kSaveBeforeRunQuestion = "計算実行前にプロジェクトを保存する必要があります。保存して実行しますか？";
inline const char* const kAnalysisQuestion = "制限値外のデータを含めずに解析しますか？";
inline const char* const kDbDialogTitle = "DBファイルを選択";
inline const char* const kCsvFilter = "*.csv|*.csv";

// The tabs in order: caption, internal key, frame name.
struct TabInfo {
    const char* caption;
    const char* key;
    const char* frame;
};
inline const TabInfo kTabs[] = {{"入力操作", "Inp", "Inp_Frame"},
                                {"入力置換", "InpRplc", "Inp_Rplc_Frame"},
                                {"マクロ実行", "Macro", "Macro_Frame"},
                                {"読込操作", "Out", "Out_Frame"},
                                {"exe実行", "ShellExe", "Exe_Frame"}};

// The grids: name, column captions and widths (1/1440 inch), tooltip.
struct GridInfo {
    const char* name;
    std::vector<std::pair<const char*, int>> columns;
    const char* tooltip;
};
inline const GridInfo kInpGrid{"Inp_CellsGrid",
                               {{"変数名", 2800}, {"セル番地", 1050}, {"シート名", 2000}, {"フォーマット", 2000}},
                               "ダブルクリックでエクセルに対する入力を追加又は編集します。"};
inline const GridInfo kReplaceGrid{"Replace_CellsGrid",
                                   {{"変数名", 2800}, {"置換設定", 5040}},
                                   "入力操作タブにてフォーマットに「Replace」を選択したアイテムに対し、置換する文字を設定します。"};
inline const GridInfo kOutGrid{"Out_CellsGrid",
                               {{"変数名", 2800}, {"セル番地", 1050}, {"シート名", 3990}},
                               "ダブルクリックでエクセルからの読出し項目を追加又は編集します。"};
inline const GridInfo kExeGrid{"Exe_CellsGrid",
                               {{"exe名称", 1500}, {"Cmd Line引数", 1500}, {"パス", 4850}},
                               "exe、batファイル等の実行を行います。"};

// The plan box's items, in list order.
inline const char* const kPlans[] = {plan::Single, plan::DataFileInput, plan::MonteCarlo, plan::OrthogonalTable,
                                     plan::UserScroll};

// The marker style of the exe grid: colour &HFFC0C0 (BGR) on a dark row, so
// the light colour reads well.
inline const QColor kMarkerColour(0xC0, 0xC0, 0xFF);
inline const QColor kMarkerBackground(38, 50, 88);

inline QString Q(const std::string& s) { return QString::fromStdString(s); }
inline QString Q(const char* s) { return QString::fromUtf8(s); }
inline std::string S(const QString& s) { return s.toStdString(); }

inline QTableWidget* MakeGrid(QWidget* parent, const GridInfo& info) {
    auto* grid = new QTableWidget(1, static_cast<int>(info.columns.size()), parent);
    grid->setObjectName(Q(info.name));
    grid->setToolTip(Q(info.tooltip));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->setVisible(false);
    grid->verticalHeader()->setDefaultSectionSize(22);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->setAcceptDrops(true);
    grid->viewport()->setAcceptDrops(true);
    return grid;
}

inline void ApplyGridLayout(QTableWidget* grid, const GridInfo& info) {
    QStringList captions;
    for (const auto& c : info.columns) captions << Q(c.first);
    grid->setHorizontalHeaderLabels(captions);
    for (int i = 0; i < static_cast<int>(info.columns.size()); ++i)
        grid->setColumnWidth(i, TwipsToPixels(info.columns[static_cast<std::size_t>(i)].second));
}

inline void SetCell(QTableWidget* grid, int row, int column, const std::string& text, Qt::Alignment align = Qt::AlignLeft) {
    auto* item = new QTableWidgetItem(Q(text));
    item->setTextAlignment(align | Qt::AlignVCenter);
    grid->setItem(row, column, item);
}

inline std::string CellText(const QTableWidget* grid, int row, int column) {
    const QTableWidgetItem* item = grid->item(row, column);
    return item ? S(item->text()) : std::string();
}

inline QWidget* MakeFrame(QWidget* parent, const char* name) {
    auto* frame = new QWidget(parent);
    frame->setObjectName(Q(name));
    return frame;
}

}  // namespace main_window

// One of the two file fields (workbook, DB file): text box, its label, the
// browse button, the popup menu and its dialog texts.
struct MainWindow::FileField {
    QLineEdit* text = nullptr;
    QLabel* label = nullptr;
    QPushButton* browse = nullptr;
    QMenu* popup = nullptr;
    const char* filter = nullptr;
    const char* title = nullptr;
    std::string HeaderValues::*member = nullptr;
};

}  // namespace korvane

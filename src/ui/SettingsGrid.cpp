#include "ui/SettingsGrid.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>

#include "ui/NumericBox.h"
#include "platform/UserInterface.h"

namespace korvane {

SettingsGrid::SettingsGrid(UserInterface& ui, const std::vector<Column>& columns, QWidget* parent)
    : QTableWidget(0, static_cast<int>(columns.size()), parent), ui_(ui), columns_(columns) {
    setObjectName(QStringLiteral("VarGrid1"));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->setVisible(false);
    verticalHeader()->setDefaultSectionSize(24);
    horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    horizontalHeader()->setSectionsClickable(false);
    // The last column takes the room the window gives the grid.
    horizontalHeader()->setStretchLastSection(true);
    QStringList captions;
    for (const Column& c : columns_) captions << QString::fromUtf8(c.caption);
    setHorizontalHeaderLabels(captions);
    for (int i = 0; i < columnCount(); ++i) setColumnWidth(i, TwipsToPixels(columns_[static_cast<std::size_t>(i)].twips));

    valText_ = new QLineEdit(viewport());
    valText_->setObjectName(QStringLiteral("Val_Text"));
    valText_->hide();
    valText_->installEventFilter(this);
    // The cell's own text is taken as it is (a number in exponent form
    // survives opening the editor); what the user types is filtered.
    BindNumericFilter(valText_, ui_, false,
                      [this] { return !filling_ && kindAt(editRow_, editColumn_) == Cell::Number; });

    chooser_ = new QComboBox(viewport());
    chooser_->hide();
    chooser_->installEventFilter(this);
    connect(chooser_, &QComboBox::activated, this, [this](int index) {
        if (editRow_ < 0 || index < 0) return;
        const int row = editRow_, column = editColumn_;
        setText(row, column, chooser_->itemText(index));
        hideEditors();
        emit cellStored(row, column);
    });

    connect(this, &QTableWidget::cellClicked, this, &SettingsGrid::onCellClicked);
    // An open editor follows its cell when the grid scrolls.
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, [this] {
            if (valText_->isVisible()) placeOverCell(valText_);
            if (chooser_->isVisible()) placeOverCell(chooser_);
        });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { hideEditors(); });
}

void SettingsGrid::setRows(int count) {
    hideEditors();
    const int old = rowCount();
    setRowCount(count);
    for (int r = old; r < count; ++r) {
        for (int c = 0; c < columnCount(); ++c) {
            if (columnKind(c) != Cell::Tick) {
                setItem(r, c, new QTableWidgetItem);
                continue;
            }
            auto* holder = new QWidget;
            auto* layout = new QHBoxLayout(holder);
            layout->setContentsMargins(0, 0, 0, 0);
            layout->setAlignment(Qt::AlignCenter);
            auto* box = new QCheckBox(holder);
            box->setObjectName(QStringLiteral("Checkbox"));
            box->setProperty("index", r + 1);
            box->setFocusPolicy(ticksReadOnly_ ? Qt::NoFocus : Qt::StrongFocus);
            box->installEventFilter(this);
            layout->addWidget(box);
            setCellWidget(r, c, holder);
            connect(box, &QCheckBox::clicked, this, [this, box](bool on) {
                storeEdit();
                hideEditors();
                emit gridClicked();
                emit tickToggled(box->property("index").toInt() - 1, on);
            });
        }
    }
}

QString SettingsGrid::text(int row, int column) const {
    const QTableWidgetItem* it = item(row, column);
    return it ? it->text() : QString();
}

void SettingsGrid::setText(int row, int column, const QString& text) {
    QTableWidgetItem* it = item(row, column);
    if (!it) {
        it = new QTableWidgetItem;
        setItem(row, column, it);
    }
    it->setText(text);
}

void SettingsGrid::setCellColour(int row, int column, const QColor& background, const QColor& foreground) {
    QTableWidgetItem* it = item(row, column);
    if (!it) {
        it = new QTableWidgetItem;
        setItem(row, column, it);
    }
    it->setBackground(background.isValid() ? QBrush(background) : QBrush());
    it->setForeground(foreground.isValid() ? QBrush(foreground) : QBrush());
}

QCheckBox* SettingsGrid::tickBox(int row) const {
    for (int c = 0; c < columnCount(); ++c) {
        if (columnKind(c) != Cell::Tick) continue;
        if (QWidget* holder = cellWidget(row, c)) return holder->findChild<QCheckBox*>();
    }
    return nullptr;
}

bool SettingsGrid::ticked(int row) const {
    QCheckBox* box = tickBox(row);
    return box && box->isChecked();
}

void SettingsGrid::setTicked(int row, bool on) {
    if (QCheckBox* box = tickBox(row)) box->setChecked(on);
}

void SettingsGrid::setTicksReadOnly(bool readOnly) {
    ticksReadOnly_ = readOnly;
    for (int r = 0; r < rowCount(); ++r) {
        if (QCheckBox* box = tickBox(r)) box->setFocusPolicy(readOnly ? Qt::NoFocus : Qt::StrongFocus);
    }
}

SettingsGrid::Cell SettingsGrid::kindAt(int row, int column) const {
    if (row < 0 || column < 0 || row >= rowCount() || column >= columnCount()) return Cell::Fixed;
    if (cellKind) return cellKind(row, column);
    return columnKind(column);
}

SettingsGrid::Cell SettingsGrid::columnKind(int column) const {
    // Columns added later (the data-file preview) are shown, not edited.
    return column >= 0 && static_cast<std::size_t>(column) < columns_.size()
               ? columns_[static_cast<std::size_t>(column)].kind
               : Cell::Fixed;
}

bool SettingsGrid::editing() const { return valText_->isVisible() || chooser_->isVisible(); }

void SettingsGrid::placeOverCell(QWidget* editor) {
    editor->setGeometry(visualRect(model()->index(editRow_, editColumn_)));
}

void SettingsGrid::onCellClicked(int row, int column) {
    // Moving on to another cell keeps what was typed, as Enter would.
    storeEdit();
    hideEditors();
    emit gridClicked();
    beginEdit(row, column);
}

bool SettingsGrid::beginEdit(int row, int column) {
    hideEditors();
    const Cell kind = kindAt(row, column);
    if (kind != Cell::Text && kind != Cell::Number && kind != Cell::Choice) return false;
    editRow_ = row;
    editColumn_ = column;
    setCurrentCell(row, column);
    scrollToItem(item(row, column));
    if (kind == Cell::Choice) {
        // Preselected to the cell's item; none when the cell holds another text.
        chooser_->setCurrentIndex(chooser_->findText(text(row, column)));
        placeOverCell(chooser_);
        chooser_->show();
        chooser_->raise();
        chooser_->setFocus();
        return true;
    }
    editBackup_ = text(row, column);
    filling_ = true;
    valText_->setText(editBackup_);
    filling_ = false;
    placeOverCell(valText_);
    valText_->show();
    valText_->raise();
    valText_->setFocus();
    valText_->selectAll();
    return true;
}

void SettingsGrid::storeEdit() {
    if (!valText_->isVisible()) return;
    const int row = editRow_, column = editColumn_;
    setText(row, column, valText_->text());
    hideEditors();
    setFocus();
    emit cellStored(row, column);
}

void SettingsGrid::restoreEdit() {
    if (!valText_->isVisible()) return;
    setText(editRow_, editColumn_, editBackup_);
    hideEditors();
    setFocus();
}

void SettingsGrid::hideEditors() {
    valText_->hide();
    chooser_->hide();
}

int SettingsGrid::columnOf(const QString& caption) const {
    for (int c = 0; c < columnCount(); ++c)
        if (const QTableWidgetItem* heading = horizontalHeaderItem(c); heading && heading->text() == caption) return c;
    return -1;
}

void SettingsGrid::refuseCell(int row, const QString& caption, const std::string& message) {
    hideEditors();
    const int column = columnOf(caption);
    if (column >= 0) setCurrentCell(row, column);
    ui_.showMessage(message);
    if (column >= 0) beginEdit(row, column);
}

bool SettingsGrid::eventFilter(QObject* watched, QEvent* event) {
    // Read-only tick boxes take no clicks and no keys.
    if (ticksReadOnly_ && watched != valText_ && watched != chooser_) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return true;
        default:
            break;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        // Enter and Escape belong to the editor, not to the window's OK and
        // Cancel buttons.
        if (watched == valText_ && enter) {
            storeEdit();
            return true;
        }
        if (watched == valText_ && key == Qt::Key_Escape) {
            restoreEdit();
            return true;
        }
        if (watched == chooser_ && key == Qt::Key_Escape) {
            hideEditors();
            setFocus();
            return true;
        }
    }
    return QTableWidget::eventFilter(watched, event);
}

void SettingsGrid::keyPressEvent(QKeyEvent* event) {
    // F2 on a cell edits it, as a click does (Enter stays the window's OK).
    if (event->key() == Qt::Key_F2 && beginEdit(currentRow(), currentColumn())) {
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

}  // namespace korvane

#pragma once
// Small pieces the settings and editor windows share: named buttons, the OK
// and Cancel row, and the width a settings grid needs to show its columns.

#include <QComboBox>
#include <QString>
#include <functional>

class QHBoxLayout;
class QPushButton;
class QTableWidget;
class QWidget;

namespace korvane {

QPushButton* NamedButton(const char* objectName, const QString& caption, QWidget* parent);

// OK (OKCommand, the default button) and Cancel (CancelCommand), right-aligned.
QHBoxLayout* OkCancelRow(QWidget* parent, QPushButton** ok, QPushButton** cancel);

// A combo box whose list is filled each time it is opened (the sheet names
// of the workbook, the names used so far).
class FillOnOpenCombo : public QComboBox {
public:
    explicit FillOnOpenCombo(QWidget* parent = nullptr) : QComboBox(parent) {}
    std::function<void()> aboutToOpen;
    void showPopup() override {
        if (aboutToOpen) aboutToOpen();
        QComboBox::showPopup();
    }
};

// The width of all columns plus the frame and a vertical scroll bar.
int GridWidth(const QTableWidget* grid);

}  // namespace korvane

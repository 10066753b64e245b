#pragma once
// Small pieces the settings and editor windows share: named buttons, the OK
// and Cancel row, and the width a settings grid needs to show its columns.

#include <QComboBox>
#include <QString>
#include <functional>
#include <string>

class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QWidget;

namespace korvane {

class UserInterface;

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

// For a path box's textChanged: a path inside the application folder is set
// again in its stored, relative form (which fires textChanged once more);
// the box's tooltip shows the whole path.
void KeepAppRelative(QLineEdit* box, const std::string& appFolder);
// Asks for a file from the folder of the box's path (the application folder
// when the box is empty); "" when cancelled.
std::string ChooseFileFromBox(const QLineEdit* box, UserInterface& ui, const std::string& appFolder,
                              const char* filter, const char* caption);

// The width of all columns plus the frame and a vertical scroll bar.
int GridWidth(const QTableWidget* grid);

}  // namespace korvane

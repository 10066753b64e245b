#pragma once
// Recent_Files_Form: the last projects opened, from "Recent.dat". A
// double-click (or OK) opens the selected project in the main window.

#include <QDialog>
#include <functional>
#include <string>

class QListWidget;
class QCheckBox;
class QStatusBar;
class QMenu;

namespace korvane {

class RecentFiles;
class UserInterface;

class RecentFilesWindow : public QDialog {
    Q_OBJECT
public:
    // `openProject` loads the project (a resolved path) into the main window.
    RecentFilesWindow(RecentFiles& recent, UserInterface& ui, std::function<void(const std::string&)> openProject,
                      QWidget* parent = nullptr);

    // List_Load: refills List1 from "Recent.dat".
    void List_Load();

    // The popup's commands, also reachable by object name.
    void Open_Selection();
    void Selection_Delete();
    void All_Delete_Link();
    void All_Delete();

private:
    void showStatus();
    std::string selectedEntry() const;

    RecentFiles& recent_;
    UserInterface& ui_;
    std::function<void(const std::string&)> openProject_;
    QListWidget* list_;
    QCheckBox* check_;
    QStatusBar* status_;
    QMenu* popup_;
};

}  // namespace korvane

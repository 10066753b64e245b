#pragma once
// Helpers of the window tests: a user interface that answers from a script,
// a main window over a fresh application folder, grid cells and settings
// grid entries, drops, files and workbooks, and waiting for modal windows.
// Header-only: every window test is its own program.

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>

#include "app/MainWindow.h"
#include "TestSupport.h"
#include "platform/TextFile.h"
#include "ui/SettingsGrid.h"
#include "platform/AppFolder.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "workbook/WorkbookLink.h"

namespace korvane::test {

// Answers questions and file dialogs from queues; when a queue is empty, the
// recording defaults (answerYes, nextFile) apply.
class ScriptedUi : public RecordingUi {
public:
    std::deque<bool> answers;
    std::deque<std::string> files;

    bool askYesNo(const std::string& text) override {
        questions.push_back(text);
        if (answers.empty()) return answerYes;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::string chooseFile(const std::string& filter, const std::string& title, const std::string& startFolder,
                           bool forSaving) override {
        dialogs.push_back({filter, title, startFolder, forSaving});
        if (files.empty()) return nextFile;
        std::string f = files.front();
        files.pop_front();
        return f;
    }
};

inline WorkbookLinkFactory TestLinkFactory() {
#ifdef KORVANE_HAVE_LIBREOFFICE
    return [] { return CreateWorkbookLink(); };
#else
    return [] { return std::unique_ptr<WorkbookLink>(); };
#endif
}

// A main window over its own application folder.
struct Fixture {
    TempDir app;
    ScriptedUi ui;
    RunState state;
    std::unique_ptr<MainWindow> window;

    Fixture() {
        SetAppFolder(app.path());
        window = std::make_unique<MainWindow>(ui, state, TestLinkFactory(), app.path());
    }
    ~Fixture() {
        window.reset();
        state.ExcelApp.reset();
    }
    template <class T>
    T* find(const char* name) {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    std::vector<std::string> workingCopy();
};

// The text lines of a file (a DB file, a working copy); none when unreadable.
inline std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string error;
    ReadTextLines(path, lines, error);
    return lines;
}
inline std::vector<std::string> Fixture::workingCopy() { return FileLines(app.file("tmp.tolv1")); }

inline QString Q(const std::string& s) { return QString::fromStdString(s); }

// LibreOffice itself makes dir/model.xlsx from the CSV text `csv` (formulas
// allowed): what went wrong, empty when the workbook is there.
inline QByteArray MakeXlsx(const TempDir& dir, const std::string& csv) {
    WriteBytes(dir.file("model.csv"), csv);
    QProcess convert;
    convert.start("soffice", {"--headless", "-env:UserInstallation=file://" + Q(dir.file("profile")), "--convert-to",
                              "xlsx", Q(dir.file("model.csv")), "--outdir", Q(dir.path())});
    if (!convert.waitForFinished(120000)) return "soffice did not convert the workbook";
    return QFile::exists(Q(dir.file("model.xlsx"))) ? QByteArray() : "no model.xlsx: " + convert.readAllStandardError();
}

// Puts `lines` into the fixture's working copy, as an editor would find it.
inline void SetWorkingCopy(Fixture& f, const std::vector<std::string>& lines) {
    QVERIFY(f.window->document().WriteWorkingCopy(lines));
}

// The working copy's bytes, and what they must be for `lines`.
inline std::string WorkingCopyBytes(Fixture& f) { return ReadBytes(f.app.file("tmp.tolv1")); }

// A child widget by object name; a missing one ends the test program, naming it.
template <class T>
T* Find(QWidget* w, const char* name) {
    T* found = w->findChild<T*>(QString::fromLatin1(name));
    if (!found) qFatal("no %s", name);
    return found;
}

// A click on a named push button.
inline void Click(QWidget* w, const char* name) { QTest::mouseClick(Find<QPushButton>(w, name), Qt::LeftButton); }

// A click on a grid cell, as the user gives it.
inline void ClickCell(QTableWidget* grid, int row, int column) {
    grid->scrollToItem(grid->item(row, column));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(grid->model()->index(row, column)).center());
}

// A grid cell's text, empty where there is no item.
inline QString CellText(const QTableWidget* grid, int row, int column) {
    const auto* item = grid->item(row, column);
    return item ? item->text() : QString();
}

// Types `text` over a settings grid cell's old text, then Enter.
inline void EnterCell(SettingsGrid* grid, int row, int column, const QString& text) {
    ClickCell(grid, row, column);
    grid->valText()->selectAll();
    QTest::keyClick(grid->valText(), Qt::Key_Delete);
    QTest::keyClicks(grid->valText(), text);
    QTest::keyClick(grid->valText(), Qt::Key_Return);
}

// Fails the test with the first message shown, if any.
#define VERIFY_NO_MESSAGE(ui) \
    QVERIFY2((ui).messages.empty(), (ui).messages.empty() ? "" : (ui).messages.front().c_str())

// The texts of a grid column, rows from 0.
inline QStringList GridColumn(const QTableWidget* grid, int column) {
    QStringList out;
    for (int r = 0; r < grid->rowCount(); ++r) out << CellText(grid, r, column);
    return out;
}

// Writes a project file (UTF-8 lines in, code page 932 with CR LF on disk).
inline void WriteProject(const std::string& path, const std::vector<std::string>& lines) {
    WriteBytes(path, Cp932Lines(lines));
}

// Drops one file on a widget as the window system would: drag enter, then
// drop, delivered to the widget (a scroll area's viewport for grids).
inline bool DropFile(QWidget* target, const std::string& path) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(target)) target = area->viewport();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(Q(path))});
    QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// Calls `handle` with every modal window that comes up (checked every 20 ms)
// until the returned guard goes. For windows opened with exec().
class ModalWatcher {
public:
    explicit ModalWatcher(std::function<void(QWidget*)> handle) : handle_(std::move(handle)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && modal != last_) {
                last_ = modal;
                handle_(modal);
            } else if (!modal) {
                last_ = nullptr;
            }
        });
        timer_.start(20);
    }

private:
    std::function<void(QWidget*)> handle_;
    QTimer timer_;
    QWidget* last_ = nullptr;
};

// Closes the end window of a run, if that is the modal window.
inline void CloseEndWindow(QWidget* modal) {
    if (modal->objectName() == QLatin1String("End_Window_Form")) Click(modal, "CloseCommand");
}

}  // namespace korvane::test

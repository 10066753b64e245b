// The windows under a real window manager (openbox on a private Xvfb
// display), where activation, focus and the stacking of transient windows
// happen as on a desktop: the sensitivity window keeps charting its first
// output when the manager activates it, and a message box belongs to the
// window that raised it (the sensitivity window, the scroll window over the
// locked main window) instead of bringing the main window up over it.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ui/GuiUserInterface.h"
#include "ui/PictureArea.h"
#include "analysis/windows/SensitivityWindow.h"
#include "app/AppTestSupport.h"
#include "run/libreoffice/RunTestSupport.h"
#include "scroll/windows/UserVarForms.h"

using namespace korvane;
using namespace korvane::test;

namespace {

// A private X display with openbox managing it, for the life of the test
// program. DISPLAY points at it.
class Desktop {
public:
    ~Desktop() {
        for (pid_t pid : {wm_, server_}) {
            if (pid <= 0) continue;
            ::kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
        }
    }

    bool start(std::string& reason) {
        if (!OnPath("Xvfb") || !OnPath("openbox") || !OnPath("xprop")) {
            reason = "Xvfb, openbox or xprop is not installed";
            return false;
        }
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) {
            reason = "pipe failed";
            return false;
        }
        server_ = Spawn([&] {
            dup2(fds[1], 3);  // -displayfd writes the display number here
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen", "0",
                   "1280x1024x24", static_cast<char*>(nullptr));
        });
        ::close(fds[1]);
        std::string number;
        char c;
        while (server_ > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (number.empty()) {
            reason = "Xvfb did not start";
            return false;
        }
        setenv("DISPLAY", (":" + number).c_str(), 1);
        wm_ = Spawn([] { execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr)); });
        // The manager is up once it has put its check window on the root.
        for (int i = 0; i < 100; ++i) {
            if (Xprop({"-root", "_NET_SUPPORTING_WM_CHECK"}).contains(QStringLiteral("window id"))) return true;
            usleep(100 * 1000);
        }
        reason = "openbox did not start";
        return false;
    }

    static QString Xprop(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral("xprop"), args);
        p.waitForFinished(5000);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

private:
    static bool OnPath(const char* program) {
        return QProcess::execute(QStringLiteral("which"), {QString::fromLatin1(program)}) == 0;
    }
    template <class Exec>
    static pid_t Spawn(Exec exec) {
        const pid_t parent = getpid();
        const pid_t child = fork();
        if (child == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(127);
            const int devnull = ::open("/dev/null", O_RDWR);
            dup2(devnull, 0);
            dup2(devnull, 1);
            dup2(devnull, 2);
            exec();
            _exit(127);
        }
        return child;
    }

    pid_t server_ = -1;
    pid_t wm_ = -1;
};

// The X windows the manager stacks, bottom to top.
QList<qulonglong> Stacking() {
    QList<qulonglong> ids;
    const QString out = Desktop::Xprop({QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    static const QRegularExpression hex(QStringLiteral("0x[0-9a-fA-F]+"));
    for (auto it = hex.globalMatch(out); it.hasNext();) ids << it.next().captured().toULongLong(nullptr, 16);
    return ids;
}

// The window a window is transient for (0 when none).
qulonglong TransientFor(QWidget* w) {
    const QString out = Desktop::Xprop({QStringLiteral("-id"), QString::number(w->winId()),
                                        QStringLiteral("WM_TRANSIENT_FOR")});
    static const QRegularExpression hex(QStringLiteral("0x[0-9a-fA-F]+"));
    const auto m = hex.match(out);
    return m.hasMatch() ? m.captured().toULongLong(nullptr, 16) : 0;
}

// True when `upper` is stacked above `lower` by the manager.
bool Above(QWidget* upper, QWidget* lower) {
    const auto s = Stacking();
    const auto u = s.indexOf(static_cast<qulonglong>(upper->window()->winId()));
    const auto l = s.indexOf(static_cast<qulonglong>(lower->window()->winId()));
    return u >= 0 && l >= 0 && u > l;
}

// p = 3a - 2b over a and b; q constant. One short line, which the window
// reports in a message box.
const std::vector<std::string> kSens = {"Count,a,b,p,q,Validity(制限判定)",
                                        "-,[Input],[Input],[Output],[Output],[System]",
                                        "1,1,0,3,5,True", "2,2,1,4,5,True", "3,3,1,7,5,True", "4,4,0,12,5,True"};

// What a message box saw of the manager while it was up.
struct BoxSeen {
    QString text;
    bool ownedByWindow = false;    // the box is transient for the window that raised it
    bool windowAboveMain = false;  // that window stays above the main window
    bool boxAboveWindow = false;
};

// Watches for one message box, records what the manager made of it, and
// closes it.
class BoxWatcher {
public:
    BoxWatcher(QPointer<QWidget>& owner, QWidget* main, BoxSeen& seen)
        : watcher_([&owner, main, &seen](QWidget* modal) {
              auto* box = qobject_cast<QMessageBox*>(modal);
              if (!box || !owner) return;
              if (!QTest::qWaitForWindowExposed(box)) return;  // seen stays empty: the test fails
              QTest::qWait(300);  // the manager restacks after the map
              seen.text = box->text();
              seen.ownedByWindow = TransientFor(box) == static_cast<qulonglong>(owner->window()->winId());
              seen.windowAboveMain = Above(owner, main);
              seen.boxAboveWindow = Above(box, owner);
              box->accept();
          }) {}

private:
    ModalWatcher watcher_;
};

}  // namespace

class WindowManagerTest : public QObject {
    Q_OBJECT
private slots:
    void sensitivityChartsItsFirstOutputWhenActivated() {
        TempDir dir;
        ScriptedUi ui;
        WriteBytes(dir.file("s.csv"), Cp932Lines(kSens));
        auto* sens = new SensitivityWindow(ui, dir.file("s.csv"), false);
        sens->show();
        QVERIFY(QTest::qWaitForWindowActive(sens));
        QTRY_VERIFY(sens->findChild<QPushButton*>("CloseCommand")->isEnabled());
        QTest::qWait(300);  // focus follows the activation
        auto* grid = sens->findChild<QTableWidget*>("CellsGrid");
        QVERIFY(grid->hasFocus());
        QCOMPARE(sens->findChild<QLabel*>("Label1")->text(), QStringLiteral("p"));
        QCOMPARE(grid->currentColumn(), 1);
        // p's chart: its largest input in red; the names column has none.
        QCOMPARE(sens->picture()->itemCount(QColor(255, 0, 0)), std::size_t(1));
        QCOMPARE(sens->picture()->exportLabels().title, QStringLiteral("感度解析: p"));
        sens->close();
    }

    void messageBoxesBelongToTheWindowThatRaisedThem() {
        TempDir app;
        SetAppFolder(app.path());
        GuiUserInterface gui;
        RunState state;
        auto main = std::make_unique<MainWindow>(gui, state, TestLinkFactory(), app.path());
        gui.setParentWindow(main.get());
        main->show();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));

        // The sensitivity window's note about a short line.
        std::vector<std::string> lines = kSens;
        lines.push_back("5,1");
        WriteBytes(app.file("s.csv"), Cp932Lines(lines));
        QPointer<QWidget> owner = new SensitivityWindow(gui, app.file("s.csv"), false, main.get());
        BoxSeen seen;
        {
            BoxWatcher watcher(owner, main.get(), seen);
            owner->show();
            QTRY_VERIFY_WITH_TIMEOUT(!seen.text.isEmpty(), 20000);
        }
        QCOMPARE(seen.text, QStringLiteral("見出しと列数が合わない 1 行は解析から除きました。"));
        QVERIFY(seen.ownedByWindow);
        QVERIFY(seen.windowAboveMain);
        QVERIFY(seen.boxAboveWindow);
        owner->close();

        // The scroll window over the locked main window: ticking trajectory
        // mode while peak hold is on says that both cannot be on.
        const std::string workbook = app.file("model.fods");
        WriteWorkbook(workbook, 1, {"[$In.A1]*2"}, "");
        Project p;
        p.excelFileName = workbook;
        p.dataBaseFileName = "/nonexistent/never-written.csv";
        p.inputTasks = {{"x", "A1", "In", "0", "5", "10", "", ""}};
        p.outputTasks = {{"double", "A1", "Out", "0", "0", "20"}};
        p.taskPlan = plan::UserScroll;
        WriteProject(app.file("scroll.tolv"), ProjectLines(p));
        main->openProjectPath(app.file("scroll.tolv"));
        {
            ModalWatcher start([](QWidget* modal) {
                if (auto* question = qobject_cast<QMessageBox*>(modal)) {  // save the project first: Yes
                    question->button(QMessageBox::Yes)->click();
                    return;
                }
                if (modal->objectName() != QLatin1String("User_Var_Start_Form")) return;
                modal->findChild<QRadioButton*>("Option1_1")->setChecked(true);
                modal->findChild<QPushButton*>("OKCommand")->click();
            });
            main->findChild<QAction*>("UserScroll_Menu_Mn1")->trigger();
        }
        QPointer<UserVarForm> form = main->findChild<UserVarForm*>("User_Var_Form");
        QVERIFY(form);
        QTRY_VERIFY_WITH_TIMEOUT(!form || form->ready(), 60000);
        QVERIFY(form);
        QVERIFY(QTest::qWaitForWindowActive(form));
        QVERIFY(!main->centralWidget()->isEnabled());
        owner = form.data();
        seen = BoxSeen{};
        {
            BoxWatcher watcher(owner, main.get(), seen);
            form->findChild<QCheckBox*>("Peak_Hold_Check1")->setChecked(true);
            form->findChild<QCheckBox*>("Kiseki_Check")->setChecked(true);
            QTRY_VERIFY_WITH_TIMEOUT(!seen.text.isEmpty(), 20000);
        }
        QCOMPARE(seen.text, QStringLiteral("軌跡表示モード中は、ピークホールド機能は使用できません。"));
        QVERIFY(seen.ownedByWindow);
        QVERIFY(seen.windowAboveMain);
        QVERIFY(seen.boxAboveWindow);
        form->close();
        QTRY_VERIFY(!form);
        main.reset();
        state.ExcelApp.reset();
    }
};

int main(int argc, char** argv) {
    Desktop desktop;
    std::string reason;
    if (!desktop.start(reason)) {
        std::printf("SKIP: no window manager to test under: %s\n", reason.c_str());
        return 0;
    }
    // The test runs on the private display, whatever platform the suite sets.
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    WindowManagerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowManager_test.moc"

// Calculations per second of the scroll window while a bar is dragged, on the
// example model and on the same model with a macro that takes 200 ms.
//
//   bench_scroll [NOTIFICATIONS] [INTERVAL_MS]   (default 100 every 16 ms)
//
// A drag is simulated as the window system delivers one: a bar notification
// every INTERVAL_MS, from position 0 upwards, arriving whether or not the
// window is busy calculating. Prints the notifications, the calculations and
// their rate during the drag, how long after the last notification the window
// came to rest, and the time one calculation takes alone. Runs offscreen
// when there is no display.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/MainWindow.h"
#include "platform/AppFolder.h"
#include "platform/UserInterface.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "scroll/windows/UserVarForms.h"
#include "workbook/WorkbookLink.h"

using namespace korvane;
using Clock = std::chrono::steady_clock;

namespace {

class QuietUi : public UserInterface {
public:
    void showMessage(const std::string& text) override { std::fprintf(stderr, "bench: %s\n", text.c_str()); }
    bool askYesNo(const std::string&) override { return false; }
    std::string chooseFile(const std::string&, const std::string&, const std::string&, bool) override { return {}; }
    void endApplication(int) override {}
};

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Lets the window work until `done` or the time is up.
template <typename F>
bool WaitFor(F done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void Measure(const char* title, const std::string& folder, int notifications, int intervalMs) {
    QuietUi ui;
    RunState state;
    MainWindow main(ui, state, [] { return CreateWorkbookLink(); }, folder);
    main.openProjectPath(folder + "/examples/beam-scroll.tolv");
    std::string error;
    ResetRunArrays(state);
    if (!LoadProjectForRun(state, main.document().header, main.document().WorkingCopy(), error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        std::exit(1);
    }
    auto* form = new UserVarForm(main);
    form->show();
    form->start();
    if (!form->ready()) std::exit(1);
    QScrollBar* bar = form->bar(0);

    // One calculation alone, a few times.
    const int alone = 10;
    auto t0 = Clock::now();
    for (int i = 0; i < alone; ++i) {
        const long before = form->calculations();
        bar->setValue(i % 2 ? 40 : 60);
        WaitFor([&] { return form->calculations() > before; }, 60000);
    }
    const double single = Seconds(t0, Clock::now()) / alone;

    // The drag.
    bar->setValue(0);
    WaitFor([&] { return false; }, 300);
    std::vector<Clock::time_point> ends;
    QObject::connect(form, &UserVarForm::calculated, [&] { ends.push_back(Clock::now()); });
    std::atomic<bool> done{false};
    Clock::time_point start = Clock::now(), last;
    std::thread mouse([&] {
        for (int n = 1; n <= notifications; ++n) {
            const int p = n % 101;
            QMetaObject::invokeMethod(bar, [bar, p] { bar->setValue(p); }, Qt::QueuedConnection);
            last = Clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
        }
        done = true;
    });
    WaitFor([&] { return done.load(); }, 600000);
    mouse.join();
    // At rest: no calculation for a while after the last notification.
    WaitFor([&] { return !ends.empty() && ends.back() > last && Seconds(ends.back(), Clock::now()) > 1.0; }, 600000);
    const double drag = Seconds(start, last);
    long during = 0;
    for (auto e : ends)
        if (e <= last) ++during;
    const int finalPosition = notifications % 101;
    const bool endsRight = form->inputRows()[0].current == ValueAtPosition(form->inputRows()[0], finalPosition);
    std::printf("%s\n", title);
    std::printf("  one calculation alone      %8.1f ms  (%.1f calculations/s)\n", single * 1000, 1 / single);
    std::printf("  drag                       %8d notifications in %.2f s (%.0f/s)\n", notifications, drag,
                notifications / drag);
    std::printf("  calculations while dragging%8ld  (%.1f/s)\n", during, during / drag);
    std::printf("  calculations in all        %8zu\n", ends.size());
    std::printf("  at rest after release      %8.0f ms\n", Seconds(last, ends.back()) * 1000);
    std::printf("  ends on the released value %8s\n", endsRight ? "yes" : "NO");
    std::printf("  one per notification would take %.1f s, at rest %.1f s after release\n",
                notifications * single, std::max(0.0, notifications * single - drag));
    form->close();
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int notifications = argc > 1 ? std::atoi(argv[1]) : 100;
    const int intervalMs = argc > 2 ? std::atoi(argv[2]) : 16;
    const QString examples = QCoreApplication::applicationDirPath() + QStringLiteral("/../app/examples");

    QTemporaryDir home;
    const std::string folder = home.path().toStdString();
    SetAppFolder(folder);
    QDir().mkpath(home.path() + QStringLiteral("/examples"));
    for (const char* f : {"beam.fods", "beam-scroll.tolv"})
        if (!QFile::copy(examples + "/" + f, home.path() + "/examples/" + f)) {
            std::fprintf(stderr, "bench: %s missing in %s\n", f, qPrintable(examples));
            return 1;
        }
    Measure("example model (examples/beam.fods)", folder, notifications, intervalMs);

    // The same model whose macro takes 200 ms.
    QFile model(home.path() + QStringLiteral("/examples/beam.fods"));
    model.open(QIODevice::ReadOnly);
    QByteArray text = model.readAll();
    model.close();
    text.replace("Sub SafetyFactor\n", "Sub SafetyFactor\n    Wait 200\n");
    model.open(QIODevice::WriteOnly | QIODevice::Truncate);
    model.write(text);
    model.close();
    Measure("example model with a macro of 200 ms", folder, notifications, intervalMs);
    return 0;
}

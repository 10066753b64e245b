#include "platform/StopSignals.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

#include "platform/Process.h"

namespace korvane {

namespace {

volatile std::sig_atomic_t gSignal = 0;

void Say(const char* text) {
    const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

void OnStopSignal(int signo) {
    if (gSignal != 0) {
        Say("\nkorvane: 2回目の停止シグナルを受け取りました。直ちに終了します。\n");
        KillRunningPrograms();
        EndStartedPrograms();
        ::_exit(3);  // LibreOffice ends with its parent
    }
    gSignal = signo;
    Say(signo == SIGINT ? "\nkorvane: SIGINT を受け取りました。現在の計算を終えて停止します (もう一度で直ちに終了)。\n"
                        : "\nkorvane: SIGTERM を受け取りました。現在の計算を終えて停止します (もう一度で直ちに終了)。\n");
}

}  // namespace

void InstallStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

int StopSignalReceived() { return gSignal; }

void ClearStopSignal() { gSignal = 0; }

}  // namespace korvane

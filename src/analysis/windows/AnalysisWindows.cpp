#include "analysis/windows/AnalysisWindows.h"

#include <QPointer>

#include "ui/WindowHost.h"
#include "analysis/windows/EffectsWindow.h"
#include "analysis/windows/GraphWindows.h"
#include "analysis/windows/SensitivityWindow.h"
#include "analysis/windows/StatisticsWindow.h"

namespace korvane {

void OpenStdevForm(WindowHost& host, const WindowRequest& request) {
    auto* window = new StatisticsWindow(host.ui(), request.filePath, request.includeInvalidRows, host.hostWindow());
    window->show();
}

void OpenSensPrgrsForm(WindowHost& host, const WindowRequest& request) {
    auto* window = new SensitivityWindow(host.ui(), request.filePath, request.includeInvalidRows, host.hostWindow());
    window->show();
}

void OpenFactorialEffectsForm(WindowHost& host, const WindowRequest& request) {
    auto* window = new EffectsWindow(host.ui(), request.filePath, host.hostWindow());
    window->show();
}

void OpenMDIForm1(WindowHost& host, const WindowRequest&) {
    static QPointer<GraphContainer> open;
    if (!open) open = new GraphContainer(host.ui(), host.hostWindow());
    open->show();
    open->raise();
    open->activateWindow();
}

}  // namespace korvane

#include "analysis/windows/AnalysisWindows.h"

#include <QPointer>

#include "app/MainWindow.h"
#include "app/WindowRegistry.h"
#include "analysis/windows/EffectsWindow.h"
#include "analysis/windows/GraphWindows.h"
#include "analysis/windows/SensitivityWindow.h"
#include "analysis/windows/StatisticsWindow.h"

namespace korvane {

void OpenStdevForm(MainWindow& main, const WindowRequest& request) {
    auto* window = new StatisticsWindow(main.ui(), request.filePath, request.includeInvalidRows, &main);
    window->show();
}

void OpenSensPrgrsForm(MainWindow& main, const WindowRequest& request) {
    auto* window = new SensitivityWindow(main.ui(), request.filePath, request.includeInvalidRows, &main);
    window->show();
}

void OpenFactorialEffectsForm(MainWindow& main, const WindowRequest& request) {
    auto* window = new EffectsWindow(main.ui(), request.filePath, &main);
    window->show();
}

void OpenMDIForm1(MainWindow& main, const WindowRequest&) {
    static QPointer<GraphContainer> open;
    if (!open) open = new GraphContainer(main.ui(), &main);
    open->show();
    open->raise();
    open->activateWindow();
}

}  // namespace korvane

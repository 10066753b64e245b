#include "WindowRegistry.h"

#include <map>

#include "analysis/windows/AnalysisWindows.h"
#include "run/windows/RunOptionsWindow.h"

namespace korvane {

namespace {
std::map<std::string, WindowOpener>& Registry() {
    static std::map<std::string, WindowOpener> registry;
    return registry;
}
}  // namespace

void RegisterWindow(const std::string& form, WindowOpener opener) { Registry()[form] = std::move(opener); }

void UnregisterWindow(const std::string& form) { Registry().erase(form); }

bool IsWindowRegistered(const std::string& form) {
    auto it = Registry().find(form);
    return it != Registry().end() && it->second;
}

bool OpenRegisteredWindow(MainWindow& main, const WindowRequest& request) {
    auto it = Registry().find(request.form);
    if (it == Registry().end() || !it->second) return false;
    // A copy: the opener may register or unregister windows itself.
    WindowOpener opener = it->second;
    opener(main, request);
    return true;
}

void RegisterKnownWindows() {
    static bool done = false;
    if (done) return;
    done = true;
    // Windows of other parts register here as they are built, e.g.
    //   RegisterWindow("Sampling_Setting_Form", OpenSamplingSettingForm);
    RegisterWindow("Stdev_Form", OpenStdevForm);
    RegisterWindow("Sens_Prgrs_Form", OpenSensPrgrsForm);
    RegisterWindow("Factorial_Effects_Form", OpenFactorialEffectsForm);
    RegisterWindow("MDIForm1", OpenMDIForm1);
    RegisterWindow("RunOptions_Form", OpenRunOptionsForm);
}

std::string WindowNotAvailableMessage(const std::string& caption) {
    return "「" + caption + "」の画面はまだ利用できません。";
}

}  // namespace korvane

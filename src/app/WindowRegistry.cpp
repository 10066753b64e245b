#include "WindowRegistry.h"

#include <map>

#include "analysis/windows/AnalysisWindows.h"
#include "analysis/windows/SobolWindow.h"
#include "run/windows/CurrentValueForm.h"
#include "run/windows/DbInputCalForm.h"
#include "run/windows/OrthogonalTableForm.h"
#include "run/windows/RunOptionsWindow.h"
#include "run/windows/SamplingSettingForm.h"
#include "run/windows/ValueWindows.h"
#include "workbook/windows/ExeSettingForm.h"
#include "workbook/windows/ReplaceForm.h"
#include "workbook/windows/WriteForm.h"
#include "scroll/windows/UserVarForms.h"

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

bool OpenRegisteredWindow(WindowHost& host, const WindowRequest& request) {
    auto it = Registry().find(request.form);
    if (it == Registry().end() || !it->second) return false;
    // A copy: the opener may register or unregister windows itself.
    WindowOpener opener = it->second;
    opener(host, request);
    return true;
}

void RegisterKnownWindows() {
    static bool done = false;
    if (done) return;
    done = true;
    // Windows of other parts register here as they are built.
    RegisterWindow("WriteForm", OpenWriteForm);
    RegisterWindow("Exe_Setting_Form", OpenExeSettingForm);
    RegisterWindow("Replace_Form", OpenReplaceForm);
    RegisterWindow("Init_Value_Form", OpenInitValueForm);
    RegisterWindow("Restriction_Value_Form", OpenRestrictionValueForm);
    RegisterWindow("Current_Value_Form", OpenCurrentValueForm);
    RegisterWindow("Sampling_Setting_Form", OpenSamplingSettingForm);
    RegisterWindow("Orthogonal_Table_Form", OpenOrthogonalTableForm);
    RegisterWindow("DB_Input_Cal_Form", OpenDbInputCalForm);
    RegisterWindow("Stdev_Form", OpenStdevForm);
    RegisterWindow("Sens_Prgrs_Form", OpenSensPrgrsForm);
    RegisterWindow("Sobol_Form", OpenSobolForm);
    RegisterWindow("Factorial_Effects_Form", OpenFactorialEffectsForm);
    RegisterWindow("MDIForm1", OpenMDIForm1);
    RegisterWindow("User_Var_Start_Form", OpenUserVarStartForm);
    RegisterWindow("RunOptions_Form", OpenRunOptionsForm);
}

std::string WindowNotAvailableMessage(const std::string& caption) {
    return "「" + caption + "」の画面はまだ利用できません。";
}

}  // namespace korvane

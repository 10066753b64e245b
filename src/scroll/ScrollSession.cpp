#include "scroll/ScrollSession.h"

#include "project/RunState.h"
#include "scroll/ScrollInputs.h"
#include "scroll/ScrollOutputs.h"
#include "workbook/CalcSteps.h"
#include "workbook/CellRef.h"
#include "workbook/WorkbookLink.h"

namespace korvane {

ScrollSession::ScrollSession(RunState& state, WorkbookLinkFactory factory, bool visible)
    : s_(state), factory_(std::move(factory)), visible_(visible) {}

ScrollSession::~ScrollSession() { close(); }

bool ScrollSession::startAndOpen(std::string& error) {
    std::shared_ptr<WorkbookLink> link = factory_ ? factory_() : nullptr;
    s_.ExcelApp = link;
    if (!link || !StartAndOpen(*link, s_.WorkbookPath, visible_)) {
        error = link ? link->lastError() : "スプレッドシートアプリケーションを起動できません。";
        close();
        return false;
    }
    // Once per window: every sheet the tasks name is in the workbook.
    if (!sheetsChecked_) {
        error = MissingSheetMessage(s_, *link);
        if (!error.empty()) {
            close();
            return false;
        }
        sheetsChecked_ = true;
    }
    return true;
}

void ScrollSession::close() {
    if (!s_.ExcelApp) return;
    CloseAndQuit(*s_.ExcelApp);
    s_.ExcelApp.reset();
}

bool ScrollSession::alive() const { return s_.RestartPerCalc != 0 || (s_.ExcelApp && s_.ExcelApp->isRunning()); }

bool ScrollSession::open(std::string& error) {
    AssignInitialValues(s_);
    ResolveAllReferences(s_);
    error = BadAddressMessage(s_);
    if (!error.empty()) return false;
    if (!RunExternalPrograms(s_, 1, error) || !RunExternalPrograms(s_, 2, error)) return false;
    return s_.RestartPerCalc != 0 || startAndOpen(error);
}

bool ScrollSession::calculate(const std::vector<ScrollInputRow>& rows, ScrollOutputs& outputs, bool ready,
                              std::string& error) {
    const bool restart = s_.RestartPerCalc != 0;
    if (!RunExternalPrograms(s_, 1, error)) return false;
    Store_Fig_Scroll(rows, s_);
    if (!RunExternalPrograms(s_, 2, error)) return false;
    if (restart && !startAndOpen(error)) return false;
    if (!s_.ExcelApp) {
        error = "スプレッドシートアプリケーションが起動していません。";
        return false;
    }
    const bool calculated = CalculateWorkbook(s_, *s_.ExcelApp, error);
    if (restart) close();
    if (!calculated) return false;
    outputs.Output_to_Grid(s_, ready);
    outputs.UL_Calc();
    ++calculations_;
    return RunExternalPrograms(s_, 6, error);
}

}  // namespace korvane

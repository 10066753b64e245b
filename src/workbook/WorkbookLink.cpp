#include "workbook/WorkbookLink.h"

#include <chrono>
#include <thread>

#include "project/Paths.h"
#include "workbook/CellRef.h"

namespace korvane {

bool StartAndOpen(WorkbookLink& link, const std::string& workbookPath, bool visible) {
    if (!link.start(visible)) return false;
    return link.open(ResolveAppRelative(workbookPath));
}

void CloseAndQuit(WorkbookLink& link) {
    link.setDisplayAlerts(false);
    link.closeWorkbooks();
    link.quit();
}

bool FollowVisibility(WorkbookLink& link, bool visibleTicked, bool restartPerCalc) {
    if (visibleTicked && !restartPerCalc && !link.visible()) return link.setVisible(true);
    if (!visibleTicked && link.visible()) return link.setVisible(false);
    return true;
}

bool ListSheetNames(WorkbookLink& freshLink, const std::string& workbookPath,
                    std::vector<std::string>& names) {
    bool ok = false;
    if (StartAndOpen(freshLink, workbookPath, false)) {
        if (auto list = freshLink.sheetNames()) {
            names.insert(names.end(), list->begin(), list->end());
            ok = true;
        }
    }
    // The failure message survives the quit: quit never sets one.
    CloseAndQuit(freshLink);
    return ok;
}

namespace {

void PassEvents(const std::function<void(int)>& processEvents, int milliseconds) {
    if (processEvents)
        processEvents(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// The polling period: quick enough to follow a click, slow enough to leave
// the application alone.
constexpr int kPollMs = 100;

}  // namespace

std::optional<PickedCell> PickCell(WorkbookLink& link, const std::string& workbookPath,
                                   const std::function<void(int)>& processEvents, std::int64_t startRow,
                                   std::int32_t startColumn, const std::function<bool()>& cancelled) {
    std::optional<PickedCell> picked;
    auto stop = [&] { return cancelled && cancelled(); };
    if (StartAndOpen(link, workbookPath, true) && !stop() && link.selectCell(startRow, startColumn)) {
        const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
        while (std::chrono::steady_clock::now() < settle && !stop()) PassEvents(processEvents, 50);

        std::string rememberedAddress, rememberedSheet;
        for (;;) {
            PassEvents(processEvents, kPollMs);
            if (stop()) break;
            auto address = link.activeCellAddress();
            if (!address) break;
            if (*address == rememberedAddress) continue;
            auto sheet = link.activeSheetName();
            if (!sheet) break;
            if (*sheet == rememberedSheet) {
                picked = PickedCell{*sheet, StripDollars(*address), ""};
                picked->value = link.readCell(MakeCellRef(picked->sheet, picked->address)).value_or("");
                break;
            }
            rememberedSheet = *sheet;
            rememberedAddress = *address;
        }
    }
    CloseAndQuit(link);
    return picked;
}

void SplitMacroReference(const std::string& reference, std::string& path, std::string& name) {
    const auto bang = reference.rfind("'!");
    if (!reference.empty() && reference.front() == '\'' && bang != std::string::npos && bang > 0) {
        path = reference.substr(1, bang - 1);
        name = reference.substr(bang + 2);
    } else {
        path.clear();
        name = reference;
    }
}

std::string CellAddress(std::int64_t row, std::int32_t column, bool absolute) {
    if (row < 1 || column < 1) return {};
    std::string letters;
    for (std::int64_t c = column; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
    if (absolute) return "$" + letters + "$" + std::to_string(row);
    return letters + std::to_string(row);
}

std::string StripDollars(const std::string& address) {
    std::string out;
    for (char c : address)
        if (c != '$') out += c;
    return out;
}

}  // namespace korvane

#pragma once
// The workbook link on LibreOffice Calc, reached over UNO through a pipe to a
// private soffice process. No UNO type appears here: the UNO side lives in
// LibreOfficeLink.cpp and the files beside it that share LinkInternals.h.

#include <sys/types.h>

#include <memory>

#include "workbook/WorkbookLink.h"

namespace korvane {

namespace lo {
struct UnoAccess;
}

class LibreOfficeLink final : public WorkbookLink {
public:
    explicit LibreOfficeLink(const WorkbookLinkOptions& options = {});
    ~LibreOfficeLink() override;
    LibreOfficeLink(const LibreOfficeLink&) = delete;
    LibreOfficeLink& operator=(const LibreOfficeLink&) = delete;

    bool start(bool visible) override;
    bool isRunning() override;
    bool setVisible(bool visible) override;
    bool visible() const override;
    void setDisplayAlerts(bool on) override;
    void quit() override;
    void abort() override;

    bool open(const std::string& workbookPath) override;
    bool closeWorkbooks() override;
    std::optional<std::vector<std::string>> sheetNames() override;
    bool activateSheet(const std::string& sheet) override;

    bool writeCell(const CellRef& cell, const std::string& text) override;
    std::optional<std::string> readCell(const CellRef& cell) override;
    bool writeCells(const std::vector<CellWrite>& writes) override;
    bool readCells(const std::vector<CellRef>& cells,
                   std::vector<std::optional<std::string>>& values) override;
    bool setCalculation(CalculationMode mode) override;

    bool run(const std::string& macroReference) override;

    std::optional<std::vector<FormulaErrorCell>> formulaErrors() override;
    std::optional<std::vector<FormulaValueCell>> formulaValues() override;
    std::optional<std::vector<MacroModule>> macroModules() override;

    std::optional<std::string> activeCellAddress() override;
    std::optional<std::string> activeSheetName() override;
    bool selectCell(std::int64_t row, std::int32_t column) override;

    const std::string& lastError() const override;

    // The soffice process (-1 when none): for tests and diagnostics.
    pid_t processId() const;
private:
    friend struct lo::UnoAccess;
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace korvane

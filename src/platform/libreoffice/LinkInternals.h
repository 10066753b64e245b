#pragma once
// The inside of a LibreOfficeLink, shared by the files that implement it: the
// state of the instance and of each open workbook (with the UNO references it
// keeps), and the small helpers more than one of those files uses. The
// instance and its documents are in LibreOfficeLink.cpp, the cells in
// LibreOfficeCells.cpp, the macros in LibreOfficeMacros.cpp and the
// interactive pick in LibreOfficePick.cpp. Includes UNO headers and pulls
// the UNO names into this namespace: include it only in those files.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include "platform/libreoffice/CellBlocks.h"
#include "platform/libreoffice/DocumentMacros.h"
#include "platform/libreoffice/LibreOfficeLink.h"
#include "platform/libreoffice/LibreOfficeProcess.h"
#include "platform/libreoffice/UnoText.h"

#ifndef KORVANE_LO_PROGRAM_DIR
#define KORVANE_LO_PROGRAM_DIR "/usr/lib/libreoffice/program"
#endif

namespace korvane::lo {

// The first line of an exception message, without the source position that
// LibreOffice appends (" at ./sc/source/...").
inline std::string Detail(const css::uno::Exception& e) {
    std::string text = ToStd(e.Message);
    auto at = text.find(" at ./");
    if (at != std::string::npos) text.erase(at);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// The largest sheet any supported file format holds; LibreOffice refuses
// what lies beyond its own sheet size with a message of its own.
constexpr std::int64_t kMaxRows = 1048576;
constexpr std::int32_t kMaxColumns = 16384;

struct RangeKey {
    std::string sheet;
    Block block;
    bool operator<(const RangeKey& o) const {
        if (sheet != o.sheet) return sheet < o.sheet;
        const Block &a = block, &b = o.block;
        if (a.top != b.top) return a.top < b.top;
        if (a.left != b.left) return a.left < b.left;
        if (a.bottom != b.bottom) return a.bottom < b.bottom;
        return a.right < b.right;
    }
};

struct CellKey {
    std::string sheet;
    std::int32_t row, column;
    bool operator<(const CellKey& o) const {
        if (sheet != o.sheet) return sheet < o.sheet;
        if (row != o.row) return row < o.row;
        return column < o.column;
    }
};

}  // namespace korvane::lo

namespace korvane {

using namespace ::com::sun::star;
using lo::Block;
using lo::CellKey;
using lo::Detail;
using lo::kMaxColumns;
using lo::kMaxRows;
using lo::Position;
using lo::RangeKey;
using lo::ToOU;
using lo::ToStd;
using uno::Any;
using uno::Reference;
using uno::Sequence;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;
using rtl::OUString;

struct LibreOfficeLink::Impl {
    struct Range {
        Reference<table::XCellRange> range;
        Reference<sheet::XCellRangeData> data;
        Reference<sheet::XCellRangeFormula> formula;
    };

    struct Workbook {
        std::string path;
        Reference<lang::XComponent> component;
        Reference<container::XNameAccess> sheets;
        Reference<sheet::XCalculatable> calculation;
        bool loadedHidden = true;
        std::map<std::string, Reference<sheet::XSpreadsheet>> sheetCache;
        std::map<RangeKey, Range> rangeCache;
        std::map<CellKey, Reference<beans::XPropertySet>> cellProperties;
        Reference<util::XNumberFormats> formats;
        std::map<sal_Int32, bool> logicalFormats;
        Reference<sheet::XSpreadsheetView> view;
        Reference<view::XSelectionSupplier> selection;
        std::string activeSheet;   // last made active through this link
        std::string pendingSheet;  // to be made active before it matters
        std::string lastActiveCell;
        std::shared_ptr<lo::DocumentMacros> macros;
        std::optional<bool> automatic;  // as last set through this link
        // What this link wrote, last text per cell, to carry the state over
        // when the instance must be started again with a window.
        std::vector<CellWrite> written;
        std::map<CellKey, std::size_t> writtenIndex;
    };

    explicit Impl(const WorkbookLinkOptions& o)
        : options(o),
          programDir(o.programFolder.empty() ? std::string(KORVANE_LO_PROGRAM_DIR) : o.programFolder),
          process(programDir, o.tempFolder) {}

    WorkbookLinkOptions options;
    std::string programDir;
    lo::OfficeProcess process;
    Reference<uno::XComponentContext> remote;
    Reference<frame::XDesktop2> desktop;
    bool wantVisible = false;
    bool started = false;
    bool withWindow = false;
    bool dead = false;
    std::string deadMessage;
    std::string error;
    std::vector<Workbook> workbooks;  // the last one is the one addressed

    // ------------------------------------------------------------ failures
    // (LibreOfficeLink.cpp)

    bool fail(std::string message);
    void releaseAll();
    bool markDead(const std::string& processMessage);
    bool failUno(const std::string& what, const uno::Exception& e);
    bool ready();
    Workbook* active();

    // ------------------------------------------------------------ instance
    // (LibreOfficeLink.cpp)

    bool start(bool visible);
    void closeWorkbook(Workbook& wb);
    void quitInstance();
    bool ensureView(Workbook& wb);
    void showWindow(Workbook& wb, bool show);
    bool setVisible(bool visible);
    bool restartWithWindow();

    // ------------------------------------------------------------ workbooks
    // (LibreOfficeLink.cpp)

    bool open(const std::string& path);
    bool closeWorkbooks();
    Reference<sheet::XSpreadsheet> sheet(Workbook& wb, const std::string& name);
    bool activateSheet(const std::string& name);
    bool applyActivation(Workbook& wb);
    std::optional<std::vector<std::string>> sheetNames();

    // ------------------------------------------------------------ cells
    // (LibreOfficeCells.cpp)

    Range& range(Workbook& wb, const Reference<sheet::XSpreadsheet>& sh, const std::string& sheetName,
                 const Block& b);
    bool writeCells(const std::vector<CellWrite>& writes);
    void remember(Workbook& wb, const CellWrite& w);
    Reference<beans::XPropertySet> cellProperties(Workbook& wb, const Reference<sheet::XSpreadsheet>& sh,
                                                  const std::string& sheetName, const Position& p);
    bool isLogical(Workbook& wb, const Reference<sheet::XSpreadsheet>& sh, const std::string& sheetName,
                   const Position& p);
    bool readCells(const std::vector<CellRef>& cells, std::vector<std::optional<std::string>>& values);
    bool setCalculation(bool automatic);
    std::optional<std::vector<FormulaErrorCell>> formulaErrors();
    std::optional<std::vector<FormulaValueCell>> formulaValues();

    // ------------------------------------------------------------ macros
    // (LibreOfficeMacros.cpp)

    lo::DocumentMacros& macrosOf(Workbook& wb);
    bool mayCompile() const;
    Workbook* workbookOf(const std::string& path);
    bool run(const std::string& reference);
    std::optional<std::vector<MacroModule>> macroModules();

    // ------------------------------------------------------------ picking
    // (LibreOfficePick.cpp)

    bool hasView(Workbook& wb);
    std::optional<std::string> activeCellAddress();
    std::optional<std::string> activeSheetName();
    bool selectCell(std::int64_t row, std::int32_t column);
};

}  // namespace korvane

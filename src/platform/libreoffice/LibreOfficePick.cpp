// The interactive cell pick on a LibreOfficeLink's shown workbook: the
// active cell and sheet as the user left them in the window, and selecting a
// cell there.
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/table/XCell.hpp>

#include "platform/libreoffice/LinkInternals.h"

namespace korvane {

// ------------------------------------------------------------ picking

// The workbook's view, which the pick operations read; false (with the
// failure recorded) when it has none.
bool LibreOfficeLink::Impl::hasView(Workbook& wb) {
    try {
        if (ensureView(wb)) return true;
        fail("ブックのウィンドウがありません。");
    } catch (const uno::Exception& e) {
        failUno("ブックのウィンドウを開けません", e);
    }
    return false;
}

std::optional<std::string> LibreOfficeLink::Impl::activeCellAddress() {
    Workbook* wb = active();
    if (!wb || !applyActivation(*wb) || !hasView(*wb)) return std::nullopt;
    try {
        Any selected = wb->selection->getSelection();
        table::CellRangeAddress address;
        bool found = false;
        Reference<sheet::XCellRangeAddressable> single(selected, UNO_QUERY);
        if (single.is()) {
            address = single->getRangeAddress();
            found = true;
        } else {
            Reference<sheet::XSheetCellRanges> several(selected, UNO_QUERY);
            if (several.is()) {
                auto all = several->getRangeAddresses();
                if (all.getLength() > 0) {
                    address = all[0];
                    found = true;
                }
            }
        }
        // Something else selected (a drawing): the active cell is taken
        // as unchanged.
        if (found) wb->lastActiveCell = CellAddress(address.StartRow + 1, address.StartColumn + 1, true);
        return wb->lastActiveCell;
    } catch (const uno::Exception& e) {
        failUno("アクティブセルを読めません", e);
        return std::nullopt;
    }
}

std::optional<std::string> LibreOfficeLink::Impl::activeSheetName() {
    Workbook* wb = active();
    if (!wb || !applyActivation(*wb) || !hasView(*wb)) return std::nullopt;
    try {
        Reference<container::XNamed> named(wb->view->getActiveSheet(), UNO_QUERY_THROW);
        return ToStd(named->getName());
    } catch (const uno::Exception& e) {
        failUno("アクティブシートを読めません", e);
        return std::nullopt;
    }
}

bool LibreOfficeLink::Impl::selectCell(std::int64_t row, std::int32_t column) {
    Workbook* wb = active();
    if (!wb || !applyActivation(*wb)) return false;
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        return fail("セル " + CellAddress(row, column) + " はシートの範囲外です。");
    if (!hasView(*wb)) return false;
    try {
        Reference<sheet::XSpreadsheet> sh = wb->view->getActiveSheet();
        Reference<table::XCell> cell = sh->getCellByPosition(column - 1, static_cast<sal_Int32>(row - 1));
        wb->selection->select(Any(cell));
    } catch (const uno::Exception& e) {
        return failUno("セル " + CellAddress(row, column) + " を選択できません", e);
    }
    return true;
}

std::optional<std::string> LibreOfficeLink::activeCellAddress() { return impl_->activeCellAddress(); }
std::optional<std::string> LibreOfficeLink::activeSheetName() { return impl_->activeSheetName(); }
bool LibreOfficeLink::selectCell(std::int64_t row, std::int32_t column) { return impl_->selectCell(row, column); }

}  // namespace korvane

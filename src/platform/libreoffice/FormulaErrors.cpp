#include "platform/libreoffice/FormulaErrors.h"

#include <algorithm>
#include <map>
#include <set>

#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/sheet/XFunctionAccess.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XFormulaQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XCell.hpp>

#include "platform/libreoffice/UnoText.h"
#include "workbook/BasicText.h"

namespace korvane::lo {

using namespace ::com::sun::star;
using uno::Any;
using uno::Reference;
using uno::Sequence;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;
using rtl::OUString;

namespace {

// Beyond this many error cells the rest are listed without looking for the
// error cells they refer to: one query each would make a broken workbook slow.
constexpr std::size_t kPrecedentQueries = 2000;


// Which functions the instance knows: asking for an unknown one fails with
// NoSuchElementException, a known one with missing arguments otherwise (or
// gives a value).
class KnownFunctions {
public:
    explicit KnownFunctions(const Reference<uno::XComponentContext>& context)
        : functions_(context->getServiceManager()->createInstanceWithContext("com.sun.star.sheet.FunctionAccess",
                                                                              context),
                     UNO_QUERY_THROW) {}
    bool operator()(const std::string& name) {
        auto it = known_.find(name);
        if (it != known_.end()) return it->second;
        bool yes = true;
        try {
            functions_->callFunction(ToOU(name), Sequence<Any>());
        } catch (const container::NoSuchElementException&) {
            yes = false;
        } catch (const uno::Exception&) {
        }
        return known_[name] = yes;
    }

private:
    Reference<sheet::XFunctionAccess> functions_;
    std::map<std::string, bool> known_;
};

// The functions of `formula` the instance does not know, written back in
// the formula as the workbook's author wrote them (LibreOffice writes a name
// it does not know in lower case).
std::vector<std::string> UnknownFunctions(std::string& formula, KnownFunctions& knows) {
    std::vector<std::string> unknown;
    const std::string upper = AsciiUpper(formula);
    for (const std::string& name : CalledFunctions(formula)) {
        // A name LibreOffice keeps with Excel's prefix is one it has no
        // function for, whatever FunctionAccess says of the bare name.
        const bool prefixed = upper.find("_XLFN." + name + "(") != std::string::npos ||
                              upper.find("_XLWS." + name + "(") != std::string::npos;
        if (knows(name) && !prefixed) continue;
        unknown.push_back(name);
        const std::string lower = AsciiLower(name) + "(";
        for (auto at = formula.find(lower); at != std::string::npos; at = formula.find(lower, at + 1))
            formula.replace(at, name.size(), name);
    }
    return unknown;
}

}  // namespace

std::string ErrorValueText(int code) {
    switch (code) {
        case 532: return "#DIV/0!";
        case 32767: return "#N/A";
        case 503: return "#NUM!";
        case 519: return "#VALUE!";
        case 524: return "#REF!";
        case 525: return "#NAME?";
        case 0: return "#VALUE!";
        default: return "Err:" + std::to_string(code);
    }
}

std::vector<FormulaErrorCell> FindFormulaErrors(const Reference<lang::XComponent>& document,
                                                const Reference<uno::XComponentContext>& context) {
    Reference<sheet::XCalculatable>(document, UNO_QUERY_THROW)->calculateAll();
    Reference<sheet::XSpreadsheetDocument> doc(document, UNO_QUERY_THROW);
    Reference<container::XIndexAccess> sheets(doc->getSheets(), UNO_QUERY_THROW);

    struct Found {
        FormulaErrorCell cell;
        sal_Int16 sheet;
        Reference<table::XCell> xcell;
    };
    std::vector<Found> found;
    std::vector<std::string> sheetNames;
    for (sal_Int32 s = 0; s < sheets->getCount(); ++s) {
        Reference<sheet::XSpreadsheet> sheet(sheets->getByIndex(s), UNO_QUERY_THROW);
        const std::string name = ToStd(Reference<container::XNamed>(sheet, UNO_QUERY_THROW)->getName());
        sheetNames.push_back(name);
        Reference<sheet::XCellRangesQuery> query(sheet, UNO_QUERY_THROW);
        Reference<sheet::XSheetCellRanges> ranges = query->queryFormulaCells(sheet::FormulaResult::ERROR);
        const std::size_t first = found.size();
        for (const table::CellRangeAddress& r : ranges->getRangeAddresses())
            for (sal_Int32 row = r.StartRow; row <= r.EndRow; ++row)
                for (sal_Int32 col = r.StartColumn; col <= r.EndColumn; ++col) {
                    Found f;
                    f.sheet = static_cast<sal_Int16>(s);
                    f.cell.cell.sheet = name;
                    f.cell.cell.row = row + 1;
                    f.cell.cell.column = col + 1;
                    f.cell.cell.address = CellAddress(row + 1, col + 1);
                    f.xcell = sheet->getCellByPosition(col, row);
                    found.push_back(std::move(f));
                }
        std::sort(found.begin() + static_cast<std::ptrdiff_t>(first), found.end(), [](const Found& a, const Found& b) {
            if (a.cell.cell.row != b.cell.cell.row) return a.cell.cell.row < b.cell.cell.row;
            return a.cell.cell.column < b.cell.cell.column;
        });
    }

    KnownFunctions knows(context);

    std::map<sal_Int16, std::vector<const Found*>> bySheet;
    for (const Found& f : found) bySheet[f.sheet].push_back(&f);

    std::vector<FormulaErrorCell> cells;
    for (std::size_t i = 0; i < found.size(); ++i) {
        Found& f = found[i];
        f.cell.formula = ToStd(f.xcell->getFormula());
        f.cell.error = ErrorValueText(f.xcell->getError());
        f.cell.unknownFunctions = UnknownFunctions(f.cell.formula, knows);
        if (i < kPrecedentQueries) {
            Reference<sheet::XFormulaQuery> query(f.xcell, UNO_QUERY);
            if (query.is()) {
                for (const table::CellRangeAddress& r : query->queryPrecedents(false)->getRangeAddresses()) {
                    auto sheet = bySheet.find(r.Sheet);
                    if (sheet == bySheet.end()) continue;
                    for (const Found* other : sheet->second) {
                        const sal_Int32 row = static_cast<sal_Int32>(other->cell.cell.row - 1);
                        const sal_Int32 col = other->cell.cell.column - 1;
                        if (other == &f || row < r.StartRow || row > r.EndRow || col < r.StartColumn ||
                            col > r.EndColumn)
                            continue;
                        const std::string label = other->cell.cell.sheet + "!" + other->cell.cell.address;
                        auto& list = f.cell.errorPrecedents;
                        if (std::find(list.begin(), list.end(), label) == list.end()) list.push_back(label);
                    }
                }
            }
        }
        cells.push_back(f.cell);
    }
    return cells;
}

std::vector<FormulaValueCell> FindFormulaValues(const Reference<lang::XComponent>& document,
                                                const Reference<uno::XComponentContext>& context) {
    Reference<sheet::XCalculatable>(document, UNO_QUERY_THROW)->calculateAll();
    Reference<sheet::XSpreadsheetDocument> doc(document, UNO_QUERY_THROW);
    Reference<container::XIndexAccess> sheets(doc->getSheets(), UNO_QUERY_THROW);
    KnownFunctions knows(context);
    std::vector<FormulaValueCell> cells;
    for (sal_Int32 s = 0; s < sheets->getCount(); ++s) {
        Reference<sheet::XSpreadsheet> sheet(sheets->getByIndex(s), UNO_QUERY_THROW);
        const std::string name = ToStd(Reference<container::XNamed>(sheet, UNO_QUERY_THROW)->getName());
        Reference<sheet::XCellRangesQuery> query(sheet, UNO_QUERY_THROW);
        const Sequence<table::CellRangeAddress> ranges =
            query->queryContentCells(sheet::CellFlags::FORMULA)->getRangeAddresses();
        std::set<std::pair<sal_Int32, sal_Int32>> errors;
        for (const table::CellRangeAddress& r :
             query->queryFormulaCells(sheet::FormulaResult::ERROR)->getRangeAddresses())
            for (sal_Int32 row = r.StartRow; row <= r.EndRow; ++row)
                for (sal_Int32 col = r.StartColumn; col <= r.EndColumn; ++col) errors.insert({row, col});
        const std::size_t first = cells.size();
        for (const table::CellRangeAddress& r : ranges) {
            Reference<table::XCellRange> range =
                sheet->getCellRangeByPosition(r.StartColumn, r.StartRow, r.EndColumn, r.EndRow);
            const Sequence<Sequence<OUString>> formulas =
                Reference<sheet::XCellRangeFormula>(range, UNO_QUERY_THROW)->getFormulaArray();
            const Sequence<Sequence<Any>> data = Reference<sheet::XCellRangeData>(range, UNO_QUERY_THROW)->getDataArray();
            for (sal_Int32 i = 0; i < formulas.getLength(); ++i)
                for (sal_Int32 j = 0; j < formulas[i].getLength(); ++j) {
                    const sal_Int32 row = r.StartRow + i, col = r.StartColumn + j;
                    FormulaValueCell c;
                    c.cell.sheet = name;
                    c.cell.row = row + 1;
                    c.cell.column = col + 1;
                    c.cell.address = CellAddress(row + 1, col + 1);
                    c.formula = ToStd(formulas[i][j]);
                    if (errors.count({row, col})) {
                        c.kind = FormulaValueCell::Kind::Error;
                        c.text = ErrorValueText(sheet->getCellByPosition(col, row)->getError());
                    } else if (i < data.getLength() && j < data[i].getLength()) {
                        const Any& v = data[i][j];
                        double number = 0;
                        OUString text;
                        if (v >>= number) {
                            c.number = number;
                        } else if (v >>= text) {
                            c.kind = FormulaValueCell::Kind::Text;
                            c.text = ToStd(text);
                        } else {
                            c.kind = FormulaValueCell::Kind::Text;
                        }
                    }
                    c.unknownFunctions = UnknownFunctions(c.formula, knows);
                    cells.push_back(std::move(c));
                }
        }
        std::sort(cells.begin() + static_cast<std::ptrdiff_t>(first), cells.end(),
                  [](const FormulaValueCell& a, const FormulaValueCell& b) {
                      if (a.cell.row != b.cell.row) return a.cell.row < b.cell.row;
                      return a.cell.column < b.cell.column;
                  });
    }
    return cells;
}

}  // namespace korvane::lo

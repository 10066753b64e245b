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
#include <com/sun/star/sheet/XCalculatable.hpp>
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

namespace {

// Beyond this many error cells the rest are listed without looking for the
// error cells they refer to: one query each would make a broken workbook slow.
constexpr std::size_t kPrecedentQueries = 2000;

bool NameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool NameChar(char c) { return NameStart(c) || (c >= '0' && c <= '9') || c == '.'; }

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

std::vector<std::string> CalledFunctions(const std::string& formula) {
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < formula.size();) {
        const char c = formula[i];
        if (c == '"') {  // a text constant ("" inside is a quote)
            for (++i; i < formula.size(); ++i)
                if (formula[i] == '"') {
                    if (i + 1 < formula.size() && formula[i + 1] == '"') {
                        ++i;
                        continue;
                    }
                    break;
                }
            ++i;
            continue;
        }
        if (c == '\'') {  // a quoted sheet name
            const auto close = formula.find('\'', i + 1);
            i = close == std::string::npos ? formula.size() : close + 1;
            continue;
        }
        if (NameStart(c) && (i == 0 || (!NameChar(formula[i - 1]) && formula[i - 1] != '$'))) {
            std::size_t j = i;
            while (j < formula.size() && NameChar(formula[j])) ++j;
            std::size_t k = j;
            while (k < formula.size() && formula[k] == ' ') ++k;
            if (k < formula.size() && formula[k] == '(') {
                std::string name = AsciiUpper(formula.substr(i, j - i));
                for (const char* prefix : {"_XLFN._XLWS.", "_XLFN.", "_XLWS."})
                    if (name.rfind(prefix, 0) == 0) name.erase(0, std::string(prefix).size());
                if (!name.empty() && seen.insert(name).second) names.push_back(name);
            }
            i = j;
            continue;
        }
        ++i;
    }
    return names;
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

    // Which functions the instance knows: asking for an unknown one fails
    // with NoSuchElementException, a known one with missing arguments
    // otherwise (or gives a value).
    Reference<sheet::XFunctionAccess> functions(
        context->getServiceManager()->createInstanceWithContext("com.sun.star.sheet.FunctionAccess", context),
        UNO_QUERY_THROW);
    std::map<std::string, bool> known;
    auto knows = [&](const std::string& name) {
        auto it = known.find(name);
        if (it != known.end()) return it->second;
        bool yes = true;
        try {
            functions->callFunction(ToOU(name), Sequence<Any>());
        } catch (const container::NoSuchElementException&) {
            yes = false;
        } catch (const uno::Exception&) {
        }
        return known[name] = yes;
    };

    std::map<sal_Int16, std::vector<const Found*>> bySheet;
    for (const Found& f : found) bySheet[f.sheet].push_back(&f);

    std::vector<FormulaErrorCell> cells;
    for (std::size_t i = 0; i < found.size(); ++i) {
        Found& f = found[i];
        f.cell.formula = ToStd(f.xcell->getFormula());
        f.cell.error = ErrorValueText(f.xcell->getError());
        for (const std::string& name : CalledFunctions(f.cell.formula)) {
            if (knows(name)) continue;
            f.cell.unknownFunctions.push_back(name);
            // LibreOffice writes a name it does not know in lower case: show
            // it as the workbook's author wrote it.
            const std::string lower = AsciiLower(name) + "(";
            for (auto at = f.cell.formula.find(lower); at != std::string::npos; at = f.cell.formula.find(lower, at + 1))
                f.cell.formula.replace(at, name.size(), name);
        }
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

}  // namespace korvane::lo

#pragma once
// The formula cells of an open workbook whose value is an error after a full
// recalculation, with the functions LibreOffice does not know and the error
// cells each one refers to. Includes UNO headers: never include this outside
// the LibreOffice back end.

#include <string>
#include <vector>

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include "workbook/WorkbookCheck.h"
#include "workbook/WorkbookLink.h"

namespace korvane::lo {

// Recalculates everything and lists the error cells, sheet by sheet, row by
// row. `context` is the instance's component context (for asking which
// functions it knows). Throws UNO exceptions.
std::vector<FormulaErrorCell> FindFormulaErrors(const css::uno::Reference<css::lang::XComponent>& document,
                                                const css::uno::Reference<css::uno::XComponentContext>& context);

// Recalculates every formula and lists every formula cell with its value,
// sheet by sheet, row by row. Throws UNO exceptions.
std::vector<FormulaValueCell> FindFormulaValues(const css::uno::Reference<css::lang::XComponent>& document,
                                                const css::uno::Reference<css::uno::XComponentContext>& context);

using korvane::CalledFunctions;

// The text a spreadsheet shows for an error code of LibreOffice: #DIV/0!,
// #N/A, #NAME? ... or Err:NNN for codes of LibreOffice's own.
std::string ErrorValueText(int code);

}  // namespace korvane::lo

// The cells of a LibreOfficeLink's workbook: writes and reads in batches, cut
// per sheet into rectangular ranges that cost one round trip each (with the
// ranges and cell properties kept for the next batch), what a read value
// means (a logical cell, an error value, an error a macro function made with
// CVErr), what this link wrote (to carry it over to a new instance), the
// calculation mode, and the formula cells the workbook check inspects.
#include <map>

#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/util/NumberFormat.hpp>

#include "platform/libreoffice/FormulaErrors.h"
#include "platform/libreoffice/LinkInternals.h"
#include "project/NumberText.h"
#include "workbook/WorkbookCheck.h"

namespace korvane {

using lo::ErrorValueText;

namespace {

std::string CellLabel(const CellRef& cell) {
    std::string address = !cell.address.empty() ? cell.address : CellAddress(cell.row, cell.column);
    if (address.empty()) address = "R" + std::to_string(cell.row) + "C" + std::to_string(cell.column);
    return cell.sheet + "!" + address;
}

bool InSheet(const CellRef& c) {
    return c.row >= 1 && c.row <= kMaxRows && c.column >= 1 && c.column <= kMaxColumns;
}

// The sheet names in order of first appearance, each with its entries.
template <class T, class SheetOf>
std::vector<std::pair<std::string, std::vector<std::size_t>>> BySheet(const std::vector<T>& items,
                                                                      SheetOf sheetOf) {
    std::vector<std::pair<std::string, std::vector<std::size_t>>> groups;
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const std::string& name = sheetOf(items[i]);
        auto [it, added] = index.emplace(name, groups.size());
        if (added) groups.push_back({name, {}});
        groups[it->second].second.push_back(i);
    }
    return groups;
}

}  // namespace

LibreOfficeLink::Impl::Range& LibreOfficeLink::Impl::range(Workbook& wb, const Reference<sheet::XSpreadsheet>& sh,
                                                           const std::string& sheetName, const Block& b) {
    RangeKey key{sheetName, b};
    auto it = wb.rangeCache.find(key);
    if (it != wb.rangeCache.end()) return it->second;
    Range r;
    r.range = sh->getCellRangeByPosition(b.left, b.top, b.right, b.bottom);
    wb.rangeCache[key] = r;
    return wb.rangeCache[key];
}

bool LibreOfficeLink::Impl::writeCells(const std::vector<CellWrite>& writes) {
    Workbook* wb = active();
    if (!wb) return false;
    auto groups = BySheet(writes, [](const CellWrite& w) -> const std::string& { return w.cell.sheet; });
    std::string doing;
    try {
        for (auto& [sheetName, entries] : groups) {
            doing = "シート「" + sheetName + "」への書込";
            Reference<sheet::XSpreadsheet> sh = sheet(*wb, sheetName);
            if (!sh.is()) return false;
            // The last text per cell wins, as with one write after another.
            std::map<std::pair<std::int32_t, std::int32_t>, const CellWrite*> texts;
            for (std::size_t i : entries) {
                const CellWrite& w = writes[i];
                if (!InSheet(w.cell)) return fail("セル " + CellLabel(w.cell) + " はシートの範囲外です。");
                texts[{static_cast<std::int32_t>(w.cell.row - 1), w.cell.column - 1}] = &w;
            }
            std::vector<Position> positions;
            for (auto& [pos, w] : texts) positions.push_back(Position{pos.first, pos.second});
            for (const Block& b : ExactBlocks(positions)) {
                const CellWrite* first = texts[{b.top, b.left}];
                doing = "セル " + CellLabel(first->cell) + " への書込";
                Range& r = range(*wb, sh, sheetName, b);
                if (!r.formula.is()) r.formula.set(r.range, UNO_QUERY_THROW);
                Sequence<Sequence<OUString>> rows(b.rows());
                for (std::int32_t row = 0; row < b.rows(); ++row) {
                    Sequence<OUString> line(b.columns());
                    for (std::int32_t col = 0; col < b.columns(); ++col)
                        line.getArray()[col] = ToOU(texts[{b.top + row, b.left + col}]->text);
                    rows.getArray()[row] = line;
                }
                r.formula->setFormulaArray(rows);
            }
            for (auto& [pos, w] : texts) remember(*wb, *w);
        }
    } catch (const lang::IndexOutOfBoundsException&) {
        return fail(doing + ": セルがシートの範囲外です。");
    } catch (const uno::Exception& e) {
        return failUno(doing + "に失敗しました", e);
    }
    return true;
}

void LibreOfficeLink::Impl::remember(Workbook& wb, const CellWrite& w) {
    CellKey key{w.cell.sheet, static_cast<std::int32_t>(w.cell.row), w.cell.column};
    auto it = wb.writtenIndex.find(key);
    if (it != wb.writtenIndex.end()) {
        wb.written[it->second].text = w.text;
    } else {
        wb.writtenIndex[key] = wb.written.size();
        wb.written.push_back(w);
    }
}

Reference<beans::XPropertySet> LibreOfficeLink::Impl::cellProperties(Workbook& wb,
                                                                     const Reference<sheet::XSpreadsheet>& sh,
                                                                     const std::string& sheetName, const Position& p) {
    CellKey key{sheetName, p.row, p.column};
    auto it = wb.cellProperties.find(key);
    if (it != wb.cellProperties.end()) return it->second;
    Reference<beans::XPropertySet> props(sh->getCellByPosition(p.column, p.row), UNO_QUERY_THROW);
    wb.cellProperties[key] = props;
    return props;
}

// A logical cell holds 0 or 1 with a number format of the logical type
// (a comparison formula gets one by itself).
bool LibreOfficeLink::Impl::isLogical(Workbook& wb, const Reference<sheet::XSpreadsheet>& sh,
                                      const std::string& sheetName, const Position& p) {
    sal_Int32 key = 0;
    cellProperties(wb, sh, sheetName, p)->getPropertyValue("NumberFormat") >>= key;
    auto it = wb.logicalFormats.find(key);
    if (it != wb.logicalFormats.end()) return it->second;
    sal_Int16 type = 0;
    wb.formats->getByKey(key)->getPropertyValue("Type") >>= type;
    const bool logical = (type & util::NumberFormat::LOGICAL) != 0;
    wb.logicalFormats[key] = logical;
    return logical;
}

bool LibreOfficeLink::Impl::readCells(const std::vector<CellRef>& cells,
                                      std::vector<std::optional<std::string>>& values) {
    values.assign(cells.size(), std::nullopt);
    Workbook* wb = active();
    if (!wb) return false;
    std::vector<std::string> problems(cells.size());
    auto groups = BySheet(cells, [](const CellRef& c) -> const std::string& { return c.sheet; });
    std::string doing;
    try {
        for (auto& [sheetName, entries] : groups) {
            doing = "シート「" + sheetName + "」の読込";
            Reference<sheet::XSpreadsheet> sh = sheet(*wb, sheetName);
            if (!sh.is()) {
                for (std::size_t i : entries) problems[i] = error;
                continue;
            }
            std::vector<std::size_t> valid;
            std::vector<Position> positions;
            for (std::size_t i : entries) {
                if (!InSheet(cells[i])) {
                    problems[i] = "セル " + CellLabel(cells[i]) + " はシートの範囲外です。";
                    continue;
                }
                valid.push_back(i);
                positions.push_back(
                    Position{static_cast<std::int32_t>(cells[i].row - 1), cells[i].column - 1});
            }
            std::vector<std::size_t> blockOf;
            std::vector<Block> blocks = CoveringBlocks(positions, blockOf);
            std::vector<Sequence<Sequence<Any>>> data(blocks.size());
            for (std::size_t b = 0; b < blocks.size(); ++b) {
                for (std::size_t k = 0; k < valid.size(); ++k)
                    if (blockOf[k] == b) {
                        doing = "セル " + CellLabel(cells[valid[k]]) + " の読込";
                        break;
                    }
                Range& r = range(*wb, sh, sheetName, blocks[b]);
                if (!r.data.is()) r.data.set(r.range, UNO_QUERY_THROW);
                data[b] = r.data->getDataArray();
            }
            for (std::size_t k = 0; k < valid.size(); ++k) {
                const std::size_t i = valid[k];
                const Block& b = blocks[blockOf[k]];
                const Position& p = positions[k];
                const Any& value = data[blockOf[k]][p.row - b.top][p.column - b.left];
                doing = "セル " + CellLabel(cells[i]) + " の読込";
                double number = 0;
                OUString text;
                if (value >>= number) {
                    if ((number == 0 || number == 1) && isLogical(*wb, sh, sheetName, p))
                        values[i] = number == 1 ? "True" : "False";
                    else
                        values[i] = GeneralNumber(number);
                } else if (value >>= text) {
                    // An error value a macro function made with CVErr
                    // reaches the cell as this text: unreadable as an
                    // error value is.
                    if (IsBasicErrorText(ToStd(text)))
                        problems[i] = "セル " + CellLabel(cells[i]) + " の値がエラーです (マクロの関数が CVErr で返した " +
                                      ToStd(text) + ")。";
                    else
                        values[i] = ToStd(text);
                } else {
                    Reference<table::XCell> cell(cellProperties(*wb, sh, sheetName, p), UNO_QUERY_THROW);
                    problems[i] = "セル " + CellLabel(cells[i]) + " の値がエラーです (" +
                                  ErrorValueText(cell->getError()) + ")。";
                }
            }
        }
    } catch (const lang::IndexOutOfBoundsException&) {
        return fail(doing + ": セルがシートの範囲外です。");
    } catch (const uno::Exception& e) {
        values.assign(cells.size(), std::nullopt);
        return failUno(doing + "に失敗しました", e);
    }
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (!values[i]) return fail(problems[i].empty() ? "セル " + CellLabel(cells[i]) + " を読めません。"
                                                        : problems[i]);
    return true;
}

bool LibreOfficeLink::Impl::setCalculation(bool automatic) {
    Workbook* wb = active();
    if (!wb) return false;
    try {
        wb->calculation->enableAutomaticCalculation(automatic);
        wb->automatic = automatic;
    } catch (const uno::Exception& e) {
        return failUno(automatic ? "再計算に失敗しました" : "計算方法を手動にできません", e);
    }
    return true;
}

std::optional<std::vector<FormulaErrorCell>> LibreOfficeLink::Impl::formulaErrors() {
    Workbook* wb = active();
    if (!wb) return std::nullopt;
    try {
        return lo::FindFormulaErrors(wb->component, remote);
    } catch (const uno::Exception& e) {
        failUno("ブックのエラーのセルを調べられません (" + wb->path + ")", e);
        return std::nullopt;
    }
}

std::optional<std::vector<FormulaValueCell>> LibreOfficeLink::Impl::formulaValues() {
    Workbook* wb = active();
    if (!wb) return std::nullopt;
    try {
        return lo::FindFormulaValues(wb->component, remote);
    } catch (const uno::Exception& e) {
        failUno("ブックの式の値を読めません (" + wb->path + ")", e);
        return std::nullopt;
    }
}

bool LibreOfficeLink::writeCell(const CellRef& cell, const std::string& text) {
    return impl_->writeCells({CellWrite{cell, text}});
}

std::optional<std::string> LibreOfficeLink::readCell(const CellRef& cell) {
    std::vector<std::optional<std::string>> values;
    impl_->readCells({cell}, values);
    return values.empty() ? std::nullopt : values[0];
}

bool LibreOfficeLink::writeCells(const std::vector<CellWrite>& writes) { return impl_->writeCells(writes); }

bool LibreOfficeLink::readCells(const std::vector<CellRef>& cells,
                                std::vector<std::optional<std::string>>& values) {
    return impl_->readCells(cells, values);
}

bool LibreOfficeLink::setCalculation(CalculationMode mode) {
    return impl_->setCalculation(mode == CalculationMode::Automatic);
}

std::optional<std::vector<FormulaErrorCell>> LibreOfficeLink::formulaErrors() { return impl_->formulaErrors(); }
std::optional<std::vector<FormulaValueCell>> LibreOfficeLink::formulaValues() { return impl_->formulaValues(); }

}  // namespace korvane

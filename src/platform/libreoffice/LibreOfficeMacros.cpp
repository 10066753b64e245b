// The macros of a LibreOfficeLink's workbooks: finding the workbook a macro
// reference names, running the macro, and turning what went wrong into a
// message that names the macro, the module and line and, where LibreOffice
// takes a construct differently from Excel, what to write instead. Also the
// modules the workbook check inspects.
#include <filesystem>

#include <com/sun/star/reflection/InvocationTargetException.hpp>
#include <com/sun/star/script/provider/ScriptFrameworkErrorException.hpp>

#include "platform/libreoffice/LinkInternals.h"
#include "workbook/BasicText.h"
#include "workbook/WorkbookCheck.h"

namespace korvane {

namespace {

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

std::string SameFileKey(const std::string& path) {
    std::error_code ec;
    auto canonical = std::filesystem::weakly_canonical(std::filesystem::absolute(path, ec), ec);
    return ec ? path : canonical.string();
}

std::string MissingMacroMessage(const std::string& name, const std::string& path,
                                const std::vector<lo::MacroEntry>& macros) {
    std::string message = "マクロ「" + name + "」が見つかりません (" + path + ")。";
    if (macros.empty()) return message + "このブックにはマクロがありません。";
    message += "このブックのマクロ: ";
    for (std::size_t i = 0; i < macros.size() && i < 10; ++i)
        message += (i ? ", " : "") + macros[i].module + "." + macros[i].name;
    if (macros.size() > 10) message += " ほか " + std::to_string(macros.size() - 10) + " 個";
    return message + "。";
}

// The line of a module with what is known about it: its text, and what
// to write instead when it is a construct LibreOffice takes differently.
std::string LineDetail(lo::DocumentMacros& macros, const std::string& library, const std::string& module,
                       int line) {
    const std::string source = macros.source(library, module);
    const std::vector<std::string> lines = PhysicalLines(source);
    std::string detail = module + " の " + std::to_string(ShownLine(source, line)) + " 行目";
    if (line >= 1 && line <= static_cast<int>(lines.size())) detail += ": " + Trim(lines[static_cast<std::size_t>(line - 1)]);
    return detail;
}

// `located`: LibreOffice was let compile the modules to find the one
// that fails.
std::string MacroFailureMessage(const std::string& name, const lo::MacroEntry& m,
                                const lo::MacroOutcome& outcome, lo::DocumentMacros& macros,
                                bool located) {
    const std::string macro = "マクロ「" + name + "」(" + m.library + "." + m.module + ")";
    if (outcome.kind == lo::MacroOutcome::Kind::RuntimeError) {
        std::string message = macro + " の実行中にエラーが発生しました";
        std::string advice;
        if (outcome.line > 0) {
            message += " (" + LineDetail(macros, m.library, outcome.module, outcome.line) + ")";
            advice = ConstructAdviceAt(macros.source(m.library, outcome.module), outcome.line);
        }
        message += ": Error " + std::to_string(outcome.code) + ": " + outcome.text;
        return message + (advice.empty() ? "" : "\n" + advice);
    }
    std::string message = macro + " を実行できません: ";
    if (outcome.module.empty()) {
        message += "ライブラリ " + m.library +
                   " に LibreOffice がコンパイルできないモジュールがあり、このライブラリのマクロは 1 つも実行されません。";
        return message + (located ? "どのモジュールかは特定できませんでした。"
                                  : "LibreOffice が表示したエラーの行を確かめてください。");
    }
    message += "ライブラリ " + m.library + " のモジュール " + outcome.module +
               " を LibreOffice がコンパイルできないため、このライブラリのマクロは 1 つも実行されません";
    if (outcome.line <= 0) return message + " (行は特定できませんでした)。";
    message += " (" + LineDetail(macros, m.library, outcome.module, outcome.line) + ")。";
    const std::string advice = ConstructAdviceAt(macros.source(m.library, outcome.module), outcome.line);
    return message + (advice.empty() ? "" : "\n" + advice);
}

}  // namespace

// ------------------------------------------------------------ macros

lo::DocumentMacros& LibreOfficeLink::Impl::macrosOf(Workbook& wb) {
    if (!wb.macros) wb.macros = std::make_shared<lo::DocumentMacros>(wb.component);
    return *wb.macros;
}

// Compiling to find a failure would show LibreOffice's error dialog in
// an instance with a window, and wait for a click.
bool LibreOfficeLink::Impl::mayCompile() const { return !withWindow; }

LibreOfficeLink::Impl::Workbook* LibreOfficeLink::Impl::workbookOf(const std::string& path) {
    if (!ready()) return nullptr;
    if (workbooks.empty()) {
        fail("ブックが開かれていません。");
        return nullptr;
    }
    if (path.empty()) return &workbooks.back();
    for (auto it = workbooks.rbegin(); it != workbooks.rend(); ++it)
        if (it->path == path) return &*it;
    const std::string key = SameFileKey(path);
    for (auto it = workbooks.rbegin(); it != workbooks.rend(); ++it)
        if (SameFileKey(it->path) == key) return &*it;
    fail("マクロのブックが開かれていません: " + path);
    return nullptr;
}

bool LibreOfficeLink::Impl::run(const std::string& reference) {
    std::string path, name;
    SplitMacroReference(reference, path, name);
    name = Trim(name);
    Workbook* wb = workbookOf(path);
    if (!wb || !applyActivation(*wb)) return false;
    try {
        lo::DocumentMacros& macros = macrosOf(*wb);
        const lo::MacroEntry* m = macros.find(name);
        if (!m) return fail(MissingMacroMessage(name, wb->path, macros.macros()));
        const lo::MacroEntry macro = *m;
        const lo::MacroOutcome outcome = macros.run(macro, mayCompile());
        // The macro may have changed the active sheet: the next
        // activation must not trust what this link last set.
        wb->activeSheet.clear();
        if (outcome.kind == lo::MacroOutcome::Kind::Ran) return true;
        return fail(MacroFailureMessage(name, macro, outcome, macros, mayCompile()));
    } catch (const script::provider::ScriptFrameworkErrorException& e) {
        return fail("マクロ「" + name + "」が見つかりません (" + wb->path + "): " + Detail(e));
    } catch (const reflection::InvocationTargetException& e) {
        return fail("マクロ「" + name + "」の実行中にエラーが発生しました: " + Detail(e));
    } catch (const uno::Exception& e) {
        return failUno("マクロ「" + name + "」を実行できません", e);
    }
}

std::optional<std::vector<MacroModule>> LibreOfficeLink::Impl::macroModules() {
    Workbook* wb = active();
    if (!wb) return std::nullopt;
    try {
        return macrosOf(*wb).modules(mayCompile());
    } catch (const uno::Exception& e) {
        failUno("ブックのマクロを調べられません (" + wb->path + ")", e);
        return std::nullopt;
    }
}

bool LibreOfficeLink::run(const std::string& macroReference) { return impl_->run(macroReference); }

std::optional<std::vector<MacroModule>> LibreOfficeLink::macroModules() { return impl_->macroModules(); }

}  // namespace korvane

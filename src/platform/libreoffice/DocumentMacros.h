#pragma once
// The Basic libraries of one open workbook: its macros, running one so that
// no failure passes unseen, and whether LibreOffice can compile its modules.
//
// What LibreOffice 7.4 does, measured, and what this class does about it:
// - A library with a module that does not compile runs none of its macros,
//   and says nothing through the script provider: the call returns nothing,
//   with no exception and no text. A macro is therefore called through a
//   small function of ours that returns a mark once it has started; a call
//   without the mark is a library that did not compile.
// - The compiler's message and line are not reachable through UNO in a hidden
//   instance. The module and the line are found by letting LibreOffice
//   compile copies of the modules (in a scratch library of the same
//   workbook) with single lines left out.
// - A runtime error in a hidden instance stops the macro silently. Our
//   function catches it and returns LibreOffice's error text; a trap put into
//   the macro's own procedure notes the line first and raises the error again
//   (callers see it as before).
// Everything happens in the open document in memory; the file is never
// stored. Compiling to find a failure is done only in an instance without a
// window: with one, LibreOffice would stop at a dialog box.
//
// Includes UNO headers: never include this outside the LibreOffice back end.

#include <map>
#include <set>
#include <string>
#include <vector>

#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/provider/XScript.hpp>

#include "workbook/BasicText.h"
#include "workbook/WorkbookLink.h"

namespace korvane::lo {

struct MacroEntry {
    std::string library, module, name, uri;
};

// How a run of a macro ended.
struct MacroOutcome {
    enum class Kind { Ran, RuntimeError, NotCompiled };
    Kind kind = Kind::Ran;
    // RuntimeError: LibreOffice's error number and text, and where the macro
    // stopped (module and line; line 0 when not known).
    // NotCompiled: the module LibreOffice cannot compile and its line (empty
    // module when not found, line 0 when no single line is the cause).
    int code = 0;
    std::string text;
    std::string module;
    int line = 0;
};

class DocumentMacros {
public:
    explicit DocumentMacros(const css::uno::Reference<css::lang::XComponent>& document);

    // The macros of the workbook, listed once. Throws UNO exceptions.
    const std::vector<MacroEntry>& macros();
    // The macro named Name, Module.Name or Library.Module.Name (case does
    // not matter; the workbook's own library first); null when none.
    const MacroEntry* find(const std::string& name);

    // Runs the macro to its end. `mayCompile`: the instance has no window,
    // so compiling to find a failure is allowed. Throws UNO exceptions.
    MacroOutcome run(const MacroEntry& macro, bool mayCompile);

    // Every module with its source and, when `mayCompile`, whether it
    // compiles. Throws UNO exceptions.
    std::vector<MacroModule> modules(bool mayCompile);

    // The source of a module as the workbook holds it ("" when unknown).
    std::string source(const std::string& library, const std::string& module);

private:
    struct Runner {
        css::uno::Reference<css::script::provider::XScript> script;
        std::string module;  // our module in the macro's library
    };

    css::uno::Reference<css::script::XLibraryContainer> libraries();
    css::uno::Reference<css::container::XNameContainer> library(const std::string& name);
    std::vector<std::string> userLibraries();
    std::vector<std::string> userModules(const std::string& library);
    std::string freeModuleName(const css::uno::Reference<css::container::XNameContainer>& lib,
                               const std::string& stem);
    css::uno::Reference<css::script::provider::XScript> script(const std::string& library, const std::string& module,
                                                               const std::string& function);

    Runner& runner(const MacroEntry& macro, bool trap);
    bool trapIn(const MacroEntry& macro);
    void untrap(const std::string& library, const std::string& module);
    int originalLine(const std::string& library, const std::string& module, int line);

    // Whether every module of the library compiles (LibreOffice's own rule
    // for running any macro of it).
    bool libraryCompiles(const std::string& library);
    // Whether LibreOffice compiles this text as a module of a scratch library.
    bool textCompiles(const std::string& text);
    // The module of the library LibreOffice cannot compile, and its line.
    void locateFailure(const std::string& library, std::string& module, int& line);
    int failingLine(const std::string& text);

    css::uno::Reference<css::lang::XComponent> document_;
    bool listed_ = false;
    std::vector<MacroEntry> macros_;
    std::map<std::string, Runner> runners_;  // by macro URI
    std::set<std::string> ours_;             // library.module of the modules we added
    // Traps put into a module, in order, with the module's original text.
    std::map<std::string, std::vector<TrappedModule>> traps_;
    std::map<std::string, std::string> originals_;
    std::set<std::string> trapRefused_;  // macro URIs whose trap did not compile
    std::set<std::string> noteModules_;  // libraries holding our note module
    int copies_ = 0;
};

}  // namespace korvane::lo

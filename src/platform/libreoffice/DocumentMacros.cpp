#include "platform/libreoffice/DocumentMacros.h"

#include <algorithm>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/script/XLibraryContainerPassword.hpp>
#include <com/sun/star/script/browse/BrowseNodeTypes.hpp>
#include <com/sun/star/script/browse/XBrowseNode.hpp>
#include <com/sun/star/script/provider/XScriptProvider.hpp>
#include <com/sun/star/script/provider/XScriptProviderSupplier.hpp>

#include "platform/libreoffice/UnoText.h"
#include "workbook/BasicText.h"

namespace korvane::lo {

using namespace ::com::sun::star;
using rtl::OUString;
using uno::Any;
using uno::Reference;
using uno::Sequence;
using uno::UNO_QUERY;
using uno::UNO_QUERY_THROW;

namespace {

// The library where modules are compiled on their own.
constexpr const char* kScratchLibrary = "KorvaneCheck";
// Our module in a library with traps: the first error a trap saw.
constexpr const char* kNotesModule = "KorvaneNotes";
constexpr const char* kProbeFunction = "Korvane_Compiled";

// What our calling function returns.
constexpr const char* kStarted = "KORVANE:STARTED";  // the macro ended itself (End)
constexpr const char* kDone = "KORVANE:DONE";
constexpr const char* kError = "KORVANE:ERROR";

const char* kProbeSource =
    "Function Korvane_Compiled() As Integer\n"
    "  Korvane_Compiled = 1\n"
    "End Function\n";

const char* kNotesSource =
    "Private korvaneFirst As String\n"
    "Sub KorvaneClear()\n"
    "  korvaneFirst = \"\"\n"
    "End Sub\n"
    "Sub KorvaneNote(ByVal moduleName As String, ByVal where As Long, ByVal code As Long, ByVal text As String)\n"
    "  If korvaneFirst = \"\" Then korvaneFirst = moduleName & Chr(2) & where & Chr(2) & code & Chr(2) & text\n"
    "End Sub\n"
    "Function KorvaneNoted() As String\n"
    "  KorvaneNoted = korvaneFirst\n"
    "End Function\n";

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        auto at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

int Number(const std::string& text) {
    try {
        return std::stoi(text);
    } catch (...) {
        return 0;
    }
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

// A module's text as a normal module of the scratch library: a class
// module's "Option ClassModule" would make its functions unreachable.
std::vector<std::string> AsNormalModule(const std::string& source) {
    std::vector<std::string> lines = PhysicalLines(source);
    for (const BasicLine& l : ScanBasic(source))
        for (const auto& st : SplitStatements(l))
            if (st.size() >= 2 && IsWord(st[0], "Option") && IsWord(st[1], "ClassModule"))
                for (int i = l.first; i <= l.last; ++i) lines[static_cast<std::size_t>(i - 1)].clear();
    return lines;
}

std::vector<std::string> Blanked(std::vector<std::string> lines, int from, int to) {
    for (int i = from; i <= to && i <= static_cast<int>(lines.size()); ++i)
        if (i >= 1) lines[static_cast<std::size_t>(i - 1)].clear();
    return lines;
}

}  // namespace

DocumentMacros::DocumentMacros(const Reference<lang::XComponent>& document) : document_(document) {}

Reference<script::XLibraryContainer> DocumentMacros::libraries() {
    Reference<document::XEmbeddedScripts> embedded(document_, UNO_QUERY_THROW);
    return Reference<script::XLibraryContainer>(embedded->getBasicLibraries(), UNO_QUERY_THROW);
}

Reference<container::XNameContainer> DocumentMacros::library(const std::string& name) {
    Reference<script::XLibraryContainer> libs = libraries();
    const OUString lib = ToOU(name);
    if (!libs->isLibraryLoaded(lib)) libs->loadLibrary(lib);
    return Reference<container::XNameContainer>(libs->getByName(lib), UNO_QUERY_THROW);
}

std::vector<std::string> DocumentMacros::userLibraries() {
    std::vector<std::string> names;
    Reference<script::XLibraryContainer> libs = libraries();
    Reference<script::XLibraryContainerPassword> passwords(libs, UNO_QUERY);
    Reference<container::XNameAccess> access(libs, UNO_QUERY_THROW);
    for (const OUString& n : access->getElementNames()) {
        if (ToStd(n) == kScratchLibrary) continue;
        // A library locked by a password cannot be read.
        if (passwords.is() && passwords->isLibraryPasswordProtected(n) && !passwords->isLibraryPasswordVerified(n))
            continue;
        names.push_back(ToStd(n));
    }
    // The workbook's own library first.
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        auto rank = [](const std::string& n) { return n == "Standard" || n == "VBAProject" ? 0 : 1; };
        return rank(a) < rank(b);
    });
    return names;
}

std::vector<std::string> DocumentMacros::userModules(const std::string& libraryName) {
    std::vector<std::string> names;
    for (const OUString& n : library(libraryName)->getElementNames())
        if (!ours_.count(libraryName + "." + ToStd(n))) names.push_back(ToStd(n));
    return names;
}

std::string DocumentMacros::source(const std::string& libraryName, const std::string& module) {
    auto original = originals_.find(libraryName + "." + module);
    if (original != originals_.end()) return original->second;
    OUString text;
    Reference<container::XNameContainer> lib = library(libraryName);
    if (lib->hasByName(ToOU(module))) lib->getByName(ToOU(module)) >>= text;
    return ToStd(text);
}

std::string DocumentMacros::freeModuleName(const Reference<container::XNameContainer>& lib, const std::string& stem) {
    for (int n = 1;; ++n) {
        const std::string name = stem + std::to_string(n);
        if (!lib->hasByName(ToOU(name))) return name;
    }
}

Reference<script::provider::XScript> DocumentMacros::script(const std::string& libraryName, const std::string& module,
                                                            const std::string& function) {
    Reference<script::provider::XScriptProviderSupplier> supplier(document_, UNO_QUERY_THROW);
    return supplier->getScriptProvider()->getScript(
        ToOU("vnd.sun.star.script:" + libraryName + "." + module + "." + function + "?language=Basic&location=document"));
}

// ------------------------------------------------------------------ listing

const std::vector<MacroEntry>& DocumentMacros::macros() {
    if (listed_) return macros_;
    Reference<script::provider::XScriptProviderSupplier> supplier(document_, UNO_QUERY_THROW);
    Reference<script::browse::XBrowseNode> root(supplier->getScriptProvider(), UNO_QUERY_THROW);
    for (const auto& language : root->getChildNodes()) {
        if (language->getName() != "Basic") continue;
        for (const auto& lib : language->getChildNodes()) {
            const std::string libName = ToStd(lib->getName());
            if (libName == kScratchLibrary) continue;
            for (const auto& module : lib->getChildNodes()) {
                const std::string modName = ToStd(module->getName());
                if (ours_.count(libName + "." + modName)) continue;
                for (const auto& macro : module->getChildNodes()) {
                    if (macro->getType() != script::browse::BrowseNodeTypes::SCRIPT) continue;
                    OUString uri;
                    Reference<beans::XPropertySet> props(macro, UNO_QUERY);
                    if (props.is()) props->getPropertyValue("URI") >>= uri;
                    macros_.push_back(MacroEntry{libName, modName, ToStd(macro->getName()), ToStd(uri)});
                }
            }
        }
    }
    // The standard library of the workbook (VBAProject in an Excel file)
    // comes first when a bare name is searched.
    std::stable_sort(macros_.begin(), macros_.end(), [](const MacroEntry& a, const MacroEntry& b) {
        auto rank = [](const MacroEntry& m) { return m.library == "Standard" || m.library == "VBAProject" ? 0 : 1; };
        return rank(a) < rank(b);
    });
    listed_ = true;
    return macros_;
}

const MacroEntry* DocumentMacros::find(const std::string& name) {
    std::vector<std::string> parts = Split(AsciiLower(name), '.');
    if (parts.size() > 3) return nullptr;
    for (const auto& m : macros()) {
        if (AsciiLower(m.name) != parts.back()) continue;
        if (parts.size() >= 2 && AsciiLower(m.module) != parts[parts.size() - 2]) continue;
        if (parts.size() == 3 && AsciiLower(m.library) != parts[0]) continue;
        return &m;
    }
    return nullptr;
}

// ------------------------------------------------------------------ running

bool DocumentMacros::trapIn(const MacroEntry& m) {
    const std::string key = m.library + "." + m.module;
    Reference<container::XNameContainer> lib = library(m.library);
    if (!originals_.count(key)) {
        OUString text;
        lib->getByName(ToOU(m.module)) >>= text;
        originals_[key] = ToStd(text);
    }
    const std::string& original = originals_[key];
    const std::string current = traps_[key].empty() ? original : traps_[key].back().text;
    const bool vba = HasVbaSupport(ScanBasic(original));
    TrappedModule trapped =
        TrapProcedure(current, m.name, std::string(kNotesModule) + ".KorvaneNote", m.module, vba);
    if (trapped.text.empty()) {
        if (traps_[key].empty()) traps_.erase(key);
        return false;
    }
    if (!noteModules_.count(m.library)) {
        if (lib->hasByName(ToOU(kNotesModule))) lib->removeByName(ToOU(kNotesModule));
        lib->insertByName(ToOU(kNotesModule), Any(ToOU(kNotesSource)));
        ours_.insert(m.library + "." + kNotesModule);
        noteModules_.insert(m.library);
    }
    lib->replaceByName(ToOU(m.module), Any(ToOU(trapped.text)));
    traps_[key].push_back(std::move(trapped));
    return true;
}

void DocumentMacros::untrap(const std::string& libraryName, const std::string& module) {
    const std::string key = libraryName + "." + module;
    auto original = originals_.find(key);
    if (original == originals_.end()) return;
    library(libraryName)->replaceByName(ToOU(module), Any(ToOU(original->second)));
    traps_.erase(key);
}

int DocumentMacros::originalLine(const std::string& libraryName, const std::string& module, int line) {
    auto it = traps_.find(libraryName + "." + module);
    if (it == traps_.end()) return line;
    for (auto t = it->second.rbegin(); t != it->second.rend(); ++t) line = SourceLineOf(*t, line);
    return line;
}

DocumentMacros::Runner& DocumentMacros::runner(const MacroEntry& m, bool trap) {
    auto it = runners_.find(m.uri);
    if (it != runners_.end()) return it->second;
    if (trap) trapIn(m);
    Reference<container::XNameContainer> lib = library(m.library);
    Runner r;
    r.module = freeModuleName(lib, "KorvaneRun");
    const bool notes = noteModules_.count(m.library) != 0;
    // Marks that the macro has started, runs it, and returns what became of
    // it; a runtime error comes back with LibreOffice's text.
    const std::string source =
        "Function RunMacro() As String\n"
        "  On Error GoTo Failed\n" +
        std::string(notes ? std::string("  ") + kNotesModule + ".KorvaneClear\n" : "") +
        "  RunMacro = \"" + kStarted + "\"\n"
        "  " + m.module + "." + m.name + "\n"
        "  RunMacro = \"" + kDone + "\"\n"
        "  Exit Function\n"
        "Failed:\n"
        "  RunMacro = \"" + kError + "\" & Chr(1) & Err & Chr(1) & Error$" +
        (notes ? std::string(" & Chr(1) & ") + kNotesModule + ".KorvaneNoted()" : std::string()) + "\n"
        "End Function\n";
    lib->insertByName(ToOU(r.module), Any(ToOU(source)));
    ours_.insert(m.library + "." + r.module);
    r.script = script(m.library, r.module, "RunMacro");
    return runners_[m.uri] = r;
}

MacroOutcome DocumentMacros::run(const MacroEntry& m, bool mayCompile) {
    bool trap = mayCompile && !trapRefused_.count(m.uri);
    for (int attempt = 0; attempt < 2; ++attempt) {
        Runner& r = runner(m, trap);
        Sequence<Any> args;
        Sequence<sal_Int16> outIndex;
        Sequence<Any> outArgs;
        OUString returned;
        r.script->invoke(args, outIndex, outArgs) >>= returned;
        const std::string result = ToStd(returned);
        if (result == kDone || result == kStarted) return MacroOutcome{};
        if (result.rfind(kError, 0) == 0) {
            MacroOutcome out;
            out.kind = MacroOutcome::Kind::RuntimeError;
            // Error number, text, and what the first trap it passed noted
            // (module, line, number, text), the error as it was before
            // being raised again.
            const std::vector<std::string> caught = Split(result, '\x01');
            out.code = caught.size() > 1 ? Number(caught[1]) : 0;
            out.text = caught.size() > 2 ? caught[2] : std::string();
            out.module = m.module;
            const std::vector<std::string> noted =
                caught.size() > 3 ? Split(caught[3], '\x02') : std::vector<std::string>();
            if (noted.size() >= 4 && !noted[0].empty()) {
                out.module = noted[0];
                out.line = originalLine(m.library, noted[0], Number(noted[1]));
                out.code = Number(noted[2]);
                out.text = noted[3];
            }
            return out;
        }
        // Nothing ran: the library did not compile. Our trap cannot be the
        // reason: without it, is the library fine?
        const std::string key = m.library + "." + m.module;
        if (attempt == 0 && traps_.count(key)) {
            untrap(m.library, m.module);
            if (libraryCompiles(m.library)) {
                trapRefused_.insert(m.uri);
                trap = false;
                continue;
            }
        }
        break;
    }
    MacroOutcome out;
    out.kind = MacroOutcome::Kind::NotCompiled;
    if (mayCompile) locateFailure(m.library, out.module, out.line);
    return out;
}

// ------------------------------------------------------------------ compiling

bool DocumentMacros::libraryCompiles(const std::string& libraryName) {
    Reference<container::XNameContainer> lib = library(libraryName);
    const std::string probe = freeModuleName(lib, "KorvaneProbe");
    lib->insertByName(ToOU(probe), Any(ToOU(kProbeSource)));
    sal_Int32 value = 0;
    try {
        Sequence<Any> args;
        Sequence<sal_Int16> outIndex;
        Sequence<Any> outArgs;
        script(libraryName, probe, kProbeFunction)->invoke(args, outIndex, outArgs) >>= value;
    } catch (...) {
        lib->removeByName(ToOU(probe));
        throw;
    }
    lib->removeByName(ToOU(probe));
    return value == 1;
}

bool DocumentMacros::textCompiles(const std::string& text) {
    Reference<script::XLibraryContainer> libs = libraries();
    if (!libs->hasByName(ToOU(kScratchLibrary))) libs->createLibrary(ToOU(kScratchLibrary));
    Reference<container::XNameContainer> lib = library(kScratchLibrary);
    // A new name each time: LibreOffice keeps the compiled state per module.
    const std::string name = "KorvaneCopy" + std::to_string(++copies_);
    lib->insertByName(ToOU(name), Any(ToOU(text + "\n" + kProbeSource)));
    sal_Int32 value = 0;
    try {
        Sequence<Any> args;
        Sequence<sal_Int16> outIndex;
        Sequence<Any> outArgs;
        script(kScratchLibrary, name, kProbeFunction)->invoke(args, outIndex, outArgs) >>= value;
    } catch (...) {
        lib->removeByName(ToOU(name));
        throw;
    }
    lib->removeByName(ToOU(name));
    return value == 1;
}

void DocumentMacros::locateFailure(const std::string& libraryName, std::string& module, int& line) {
    module.clear();
    line = 0;
    for (const std::string& name : userModules(libraryName)) {
        const std::string text = source(libraryName, name);
        if (textCompiles(JoinLines(AsNormalModule(text)))) continue;
        module = name;
        line = failingLine(text);
        return;
    }
}

int DocumentMacros::failingLine(const std::string& text) {
    const std::vector<std::string> lines = AsNormalModule(text);
    const std::vector<BasicLine> logical = ScanBasic(text);
    const std::vector<BasicProcedure> procedures = FindProcedures(logical);
    auto compiles = [&](const std::vector<std::string>& variant) { return textCompiles(JoinLines(variant)); };
    auto withoutProceduresBut = [&](const BasicProcedure* keep) {
        std::vector<std::string> variant = lines;
        for (const auto& p : procedures)
            if (&p != keep) variant = Blanked(variant, p.first, p.end);
        return variant;
    };

    // Which part fails: the declarations, or one procedure on its own.
    std::vector<std::string> base;
    int from = 0, to = 0;
    const std::vector<std::string> declarations = withoutProceduresBut(nullptr);
    if (!compiles(declarations)) {
        base = declarations;
        from = 1;
        to = static_cast<int>(lines.size());
    } else {
        for (const auto& p : procedures) {
            std::vector<std::string> variant = withoutProceduresBut(&p);
            if (compiles(variant)) continue;
            base = variant;
            from = p.headerLast + 1;
            to = p.end - 1;
            break;
        }
    }
    if (from == 0) return 0;

    // The constructs LibreOffice refuses, all left out at once (a name used
    // on several lines fails on each of them).
    std::vector<std::string> withoutConstructs = base;
    int firstConstruct = 0;
    for (const BasicConstruct& c : FindConstructs(text)) {
        if (c.line < from || c.line > to) continue;
        if (c.kind != BasicConstruct::Kind::ColonAfterThen && c.kind != BasicConstruct::Kind::KeywordName) continue;
        for (const BasicLine& l : logical)
            if (c.line >= l.first && c.line <= l.last) withoutConstructs = Blanked(withoutConstructs, l.first, l.last);
        if (!firstConstruct) firstConstruct = c.line;
    }
    if (firstConstruct && compiles(withoutConstructs)) return firstConstruct;

    // Otherwise the first single line whose absence lets it compile.
    for (const BasicLine& l : logical) {
        if (l.first < from || l.first > to) continue;
        if (base[static_cast<std::size_t>(l.first - 1)].empty()) continue;
        if (compiles(Blanked(base, l.first, l.last))) return l.first;
    }
    return 0;
}

std::vector<MacroModule> DocumentMacros::modules(bool mayCompile) {
    std::vector<MacroModule> all;
    for (const std::string& libName : userLibraries()) {
        const std::size_t first = all.size();
        for (const std::string& name : userModules(libName)) {
            MacroModule m;
            m.library = libName;
            m.name = name;
            m.source = source(libName, name);
            all.push_back(std::move(m));
        }
        if (!mayCompile || all.size() == first) continue;
        const bool fine = libraryCompiles(libName);
        bool located = fine;
        for (std::size_t i = first; i < all.size(); ++i) {
            MacroModule& m = all[i];
            m.compileTried = true;
            if (fine || textCompiles(JoinLines(AsNormalModule(m.source)))) continue;
            m.compiles = false;
            m.failingLine = failingLine(m.source);
            located = true;
        }
        // The library fails though every module compiles on its own: the
        // first module carries the failure, without a line.
        if (!located) all[first].compiles = false;
    }
    return all;
}

}  // namespace korvane::lo

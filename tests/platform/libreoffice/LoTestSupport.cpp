#include "LoTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/document/XEmbeddedScripts.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/script/ModuleInfo.hpp>
#include <com/sun/star/script/ModuleType.hpp>
#include <com/sun/star/script/XLibraryContainer.hpp>
#include <com/sun/star/script/vba/XVBACompatibility.hpp>
#include <com/sun/star/script/vba/XVBAModuleInfo.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <osl/file.hxx>

#include "platform/libreoffice/LibreOfficeLink.h"
#include "platform/libreoffice/UnoAccess.h"

namespace korvane::test {

using namespace ::com::sun::star;
using rtl::OUString;
using uno::Any;
using uno::Reference;
using uno::Sequence;
using uno::UNO_QUERY_THROW;

namespace {

OUString U(const std::string& s) {
    return rtl::OStringToOUString(rtl::OString(s.data(), static_cast<sal_Int32>(s.size())),
                                  RTL_TEXTENCODING_UTF8);
}

std::string S(const OUString& s) {
    rtl::OString o = rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8);
    return std::string(o.getStr(), static_cast<std::size_t>(o.getLength()));
}

Sequence<beans::PropertyValue> Props(std::initializer_list<std::pair<const char*, Any>> list) {
    Sequence<beans::PropertyValue> seq(static_cast<sal_Int32>(list.size()));
    sal_Int32 i = 0;
    for (const auto& [name, value] : list) {
        seq.getArray()[i].Name = OUString::createFromAscii(name);
        seq.getArray()[i].Value = value;
        ++i;
    }
    return seq;
}

void Put(const Reference<sheet::XSpreadsheet>& sheet, const char* address, const std::string& formula) {
    std::string letters, digits;
    for (const char* p = address; *p; ++p) (std::isdigit(static_cast<unsigned char>(*p)) ? digits : letters) += *p;
    sal_Int32 column = 0;
    for (char c : letters) column = column * 26 + (c - 'A' + 1);
    sheet->getCellByPosition(column - 1, std::stoi(digits) - 1)->setFormula(U(formula));
}

// The sheets and cells both workbooks share.
void FillModel(const Reference<sheet::XSpreadsheetDocument>& doc, bool withJapaneseSheet) {
    Reference<sheet::XSpreadsheets> sheets = doc->getSheets();
    Reference<container::XNamed>(sheets->getByName("Sheet1"), UNO_QUERY_THROW)->setName("Inputs");
    sheets->insertNewByName("Outputs", 1);
    Reference<sheet::XSpreadsheet> inputs(sheets->getByName("Inputs"), UNO_QUERY_THROW);
    Reference<sheet::XSpreadsheet> outputs(sheets->getByName("Outputs"), UNO_QUERY_THROW);
    for (char c = 'A'; c <= 'J'; ++c) {
        Put(inputs, std::string{c, '1'}.c_str(), std::to_string(c - 'A' + 1));
        Put(outputs, std::string{c, '1'}.c_str(), std::string("=$Inputs.") + c + "1*2");
    }
    for (const auto& [address, formula] : std::vector<std::pair<const char*, const char*>>{
             {"A2", "=$Inputs.A1>0"}, {"B2", "=$Inputs.A1<0"}, {"C2", "hello"}, {"E2", "=1/0"}, {"F2", "=NA()"},
             {"G2", "0"}, {"H2", "1"}, {"I2", "=\"\""}, {"J2", "1234567.891"}, {"K2", "0.000012345"}})
        Put(outputs, address, formula);
    if (withJapaneseSheet) {
        sheets->insertNewByName(U("計算 1"), 2);
        Put(Reference<sheet::XSpreadsheet>(sheets->getByName(U("計算 1")), UNO_QUERY_THROW), "A1", "=$Outputs.A1+1");
    }
}

const char* kBasicModule1 =
    "Sub Calc1\n"
    "  Dim s\n"
    "  s = ThisComponent.Sheets\n"
    "  s.getByName(\"Outputs\").getCellRangeByName(\"C3\").setValue(_\n"
    "    s.getByName(\"Inputs\").getCellRangeByName(\"A1\").getValue() * 10)\n"
    "End Sub\n"
    "Sub Boom\n"
    "  Dim a(1) As Integer\n"
    "  a(5) = 1\n"
    "End Sub\n"
    "Sub Slow\n"
    "  Wait 20000\n"
    "End Sub\n"
    "Sub MarkActive\n"
    "  ThisComponent.CurrentController.ActiveSheet.getCellRangeByName(\"Z1\").setString(\"here\")\n"
    "End Sub\n"
    "Sub GoInputs\n"
    "  ThisComponent.CurrentController.setActiveSheet(ThisComponent.Sheets.getByName(\"Inputs\"))\n"
    "End Sub\n";

const char* kBasicModule2 =
    "Sub Calc1\n"
    "  Dim s\n"
    "  s = ThisComponent.Sheets\n"
    "  s.getByName(\"Outputs\").getCellRangeByName(\"C3\").setValue(_\n"
    "    s.getByName(\"Inputs\").getCellRangeByName(\"A1\").getValue() * 100)\n"
    "End Sub\n";

const char* kVbaModule1 =
    "Option VBASupport 1\n"
    "Public Sub Calc1()\n"
    "  Worksheets(\"Outputs\").Range(\"C3\").Value = Worksheets(\"Inputs\").Range(\"A1\").Value * 1000\n"
    "End Sub\n"
    "Public Sub Boom()\n"
    "  Dim a(1) As Integer\n"
    "  a(5) = 1\n"
    "End Sub\n";

void Store(const Reference<lang::XComponent>& component, const std::string& path, const char* filter) {
    OUString url;
    osl::FileBase::getFileURLFromSystemPath(U(path), url);
    Reference<frame::XStorable> storable(component, UNO_QUERY_THROW);
    storable->storeToURL(url, Props({{"FilterName", Any(OUString::createFromAscii(filter))}}));
    Reference<util::XCloseable>(component, UNO_QUERY_THROW)->close(true);
}

// A new hidden Calc document in `link`'s instance.
Reference<lang::XComponent> NewCalcDocument(LibreOfficeLink& link) {
    Reference<uno::XComponentContext> context = lo::UnoAccess::context(link);
    if (!context.is()) throw uno::RuntimeException("no running instance");
    return frame::Desktop::create(context)->loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                                                 Props({{"Hidden", Any(true)}}));
}

Reference<script::XLibraryContainer> BasicLibraries(const Reference<lang::XComponent>& component) {
    Reference<document::XEmbeddedScripts> scripts(component, UNO_QUERY_THROW);
    return Reference<script::XLibraryContainer>(scripts->getBasicLibraries(), UNO_QUERY_THROW);
}

// What the VBA export writes: the project library in VBA mode, its module
// Module1 with its module kind.
void AddVbaModule1(const Reference<lang::XComponent>& component, const OUString& source) {
    Reference<script::XLibraryContainer> libraries = BasicLibraries(component);
    Reference<script::vba::XVBACompatibility> compat(libraries, UNO_QUERY_THROW);
    compat->setVBACompatibilityMode(true);
    compat->setProjectName("VBAProject");
    Reference<container::XNameContainer> lib = libraries->createLibrary("VBAProject");
    lib->insertByName("Module1", Any(source));
    script::ModuleInfo info;
    info.ModuleType = script::ModuleType::NORMAL;
    Reference<script::vba::XVBAModuleInfo>(lib, UNO_QUERY_THROW)->insertModuleInfo("Module1", info);
}

}  // namespace

bool MakeTestWorkbooks(LibreOfficeLink& link, const std::string& folder, TestWorkbooks& books,
                       std::string& error) {
    try {
        Reference<lang::XComponent> component = NewCalcDocument(link);
        FillModel(Reference<sheet::XSpreadsheetDocument>(component, UNO_QUERY_THROW), true);
        Reference<container::XNameContainer> lib = BasicLibraries(component)->createLibrary("Standard");
        lib->insertByName("Module1", Any(OUString::createFromAscii(kBasicModule1)));
        lib->insertByName("Module2", Any(OUString::createFromAscii(kBasicModule2)));
        books.ods = folder + "/model.ods";
        Store(component, books.ods, "calc8");

        component = NewCalcDocument(link);
        FillModel(Reference<sheet::XSpreadsheetDocument>(component, UNO_QUERY_THROW), false);
        AddVbaModule1(component, OUString::createFromAscii(kVbaModule1));
        books.xlsm = folder + "/model.xlsm";
        Store(component, books.xlsm, "Calc MS Excel 2007 VBA XML");
    } catch (const uno::Exception& e) {
        error = S(e.Message);
        return false;
    }
    return true;
}

bool MakeVbaWorkbook(LibreOfficeLink& link, const std::string& path, const std::vector<std::string>& cells,
                     const std::string& module1, std::string& error) {
    try {
        Reference<lang::XComponent> component = NewCalcDocument(link);
        Reference<sheet::XSpreadsheets> sheets =
            Reference<sheet::XSpreadsheetDocument>(component, UNO_QUERY_THROW)->getSheets();
        Reference<container::XNamed>(sheets->getByName("Sheet1"), UNO_QUERY_THROW)->setName("Model");
        Reference<sheet::XSpreadsheet> model(sheets->getByName("Model"), UNO_QUERY_THROW);
        for (std::size_t i = 0; i < cells.size(); ++i)
            model->getCellByPosition(static_cast<sal_Int32>(i), 0)->setFormula(U(cells[i]));
        AddVbaModule1(component, U(module1));
        Store(component, path, "Calc MS Excel 2007 VBA XML");
    } catch (const uno::Exception& e) {
        error = S(e.Message);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- .fods

namespace {

std::string Xml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

bool IsNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end && *end == '\0';
}

}  // namespace

void WriteFods(const std::string& path, const std::vector<FodsSheet>& sheets, const std::vector<FodsModule>& modules) {
    std::string x =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
        "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
        "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
        "xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" "
        "xmlns:script=\"urn:oasis:names:tc:opendocument:xmlns:script:1.0\" "
        "xmlns:ooo=\"http://openoffice.org/2004/office\" office:version=\"1.2\" "
        "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\">\n";
    if (!modules.empty()) {
        x += "<office:scripts><office:script script:language=\"ooo:Basic\"><ooo:libraries>\n";
        std::vector<std::string> libraries;
        for (const auto& m : modules)
            if (std::find(libraries.begin(), libraries.end(), m.library) == libraries.end()) libraries.push_back(m.library);
        for (const auto& lib : libraries) {
            x += "<ooo:library-embedded ooo:name=\"" + Xml(lib) + "\">\n";
            for (const auto& m : modules)
                if (m.library == lib)
                    x += "<ooo:module ooo:name=\"" + Xml(m.name) + "\"><ooo:source-code>" + Xml(m.source) +
                         "</ooo:source-code></ooo:module>\n";
            x += "</ooo:library-embedded>\n";
        }
        x += "</ooo:libraries></office:script></office:scripts>\n";
    }
    x += "<office:body><office:spreadsheet>\n";
    for (const auto& sheet : sheets) {
        x += "<table:table table:name=\"" + Xml(sheet.name) + "\">\n";
        for (const auto& row : sheet.rows) {
            x += "<table:table-row>";
            for (const auto& cell : row) {
                if (cell.empty())
                    x += "<table:table-cell/>";
                else if (cell[0] == '=')
                    x += "<table:table-cell table:formula=\"of:" + Xml(cell) + "\"/>";
                else if (IsNumber(cell))
                    x += "<table:table-cell office:value-type=\"float\" office:value=\"" + cell + "\"/>";
                else
                    x += "<table:table-cell office:value-type=\"string\"><text:p>" + Xml(cell) + "</text:p></table:table-cell>";
            }
            x += "</table:table-row>\n";
        }
        x += "</table:table>\n";
    }
    x += "</office:spreadsheet></office:body></office:document>\n";
    std::ofstream out(path, std::ios::binary);
    out << x;
}

// ---------------------------------------------------------------- display

PrivateDisplay::~PrivateDisplay() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (!display_.empty()) {
        if (hadDisplay_)
            setenv("DISPLAY", savedDisplay_.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }
}

bool PrivateDisplay::start(std::string& reason) {
    if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) {
        reason = "Xvfb is not installed";
        return false;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        reason = "pipe failed";
        return false;
    }
    const pid_t parent = getpid();
    pid_t child = fork();
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        int devnull = ::open("/dev/null", O_RDWR);
        dup2(devnull, 0);
        dup2(devnull, 1);
        dup2(devnull, 2);
        dup2(fds[1], 3);  // -displayfd writes the display number here
        // -noreset: by default the server resets when its last client goes,
        // and an instance connecting during the reset cannot open the display.
        execlp("Xvfb", "Xvfb", "-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen", "0", "1280x1024x24",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        reason = "fork failed";
        return false;
    }
    pid_ = child;
    std::string number;
    char c;
    while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    ::close(fds[0]);
    if (number.empty()) {
        reason = "Xvfb did not start";
        return false;
    }
    const char* old = std::getenv("DISPLAY");
    hadDisplay_ = old != nullptr;
    if (old) savedDisplay_ = old;
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
    return true;
}

int Shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellOutput(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[512];
        if (fgets(buf, sizeof buf, p)) out = buf;
        while (fgets(buf, sizeof buf, p)) {
        }
        pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

std::vector<pid_t> ChildProcesses() {
    std::vector<pid_t> children;
    const pid_t self = getpid();
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || !std::isdigit(static_cast<unsigned char>(name[0]))) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // pid (comm) state ppid ...; comm may hold blanks and parentheses.
        auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == self) children.push_back(std::stoi(name));
    }
    return children;
}

bool ProcessExists(pid_t pid) {
    if (pid <= 0) return false;
    // A zombie has ended; whether anyone reaps it is not ours to decide.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    auto close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

}  // namespace korvane::test

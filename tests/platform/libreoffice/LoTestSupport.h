#pragma once
// Helpers of the LibreOffice tests: the test workbooks, made through UNO in
// a running instance; a private X server for the tests of the shown window;
// a look at this process's children.

#include <sys/types.h>

#include <string>
#include <vector>

namespace korvane {
class LibreOfficeLink;
}

namespace korvane::test {

// The model every test works on, in two files written by `link`'s instance:
//  - model.ods: sheets "Inputs", "Outputs", "計算 1"; Basic macros.
//  - model.xlsm: sheets "Inputs", "Outputs"; the same model with a VBA macro.
// Inputs!A1:J1 hold 1..10. Outputs!A1:J1 = Inputs!A1:J1 * 2 (so 2..20).
// Outputs row 2: A2 =Inputs!A1>0 (TRUE), B2 =Inputs!A1<0 (FALSE), C2 text
// "hello", D2 empty, E2 =1/0, F2 =NA(), G2 plain 0, H2 plain 1, I2 ="",
// J2 1234567.891, K2 0.000012345. '計算 1'!A1 = Outputs!A1 + 1.
// Basic (model.ods), module Module1: Calc1 sets Outputs!C3 = Inputs!A1 * 10;
// Boom stops with an index error; Slow waits 20 s; MarkActive writes "here"
// into Z1 of the active sheet; GoInputs makes Inputs the active sheet. Module2: Calc1 sets
// Outputs!C3 = Inputs!A1 * 100.
// VBA (model.xlsm), Module1: Calc1 sets Outputs!C3 = Inputs!A1 * 1000; Boom
// stops with an index error.
struct TestWorkbooks {
    std::string ods;
    std::string xlsm;
};
bool MakeTestWorkbooks(LibreOfficeLink& link, const std::string& folder, TestWorkbooks& books,
                       std::string& error);

// An Excel workbook with VBA (.xlsm) written by `link`'s instance, as Excel
// files reach LibreOffice: one sheet "Model" holding `cells` in row 1 (as
// typed), and the VBA project with one standard module Module1.
bool MakeVbaWorkbook(LibreOfficeLink& link, const std::string& path, const std::vector<std::string>& cells,
                     const std::string& module1, std::string& error);

// A flat OpenDocument workbook (.fods) written as text, the way a workbook
// comes from elsewhere: sheets of rows of cells and Basic libraries. A cell
// text starting with "=" is a formula in OpenFormula syntax ("=[.A1]*2",
// "=TEXTBEFORE([.A1];\"-\")"), one that reads as a number is a number, any
// other text a string, "" an empty cell.
struct FodsSheet {
    std::string name;
    std::vector<std::vector<std::string>> rows;
};
struct FodsModule {
    std::string library, name, source;
};
void WriteFods(const std::string& path, const std::vector<FodsSheet>& sheets,
               const std::vector<FodsModule>& modules = {});

// An X server of the test's own (Xvfb on a free display). DISPLAY points at it
// while the object lives.
class PrivateDisplay {
public:
    PrivateDisplay() = default;
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;
    // False with a reason when no X server could be started.
    bool start(std::string& reason);
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string savedDisplay_;
    bool hadDisplay_ = false;
};

// Runs a command through the shell, with the current DISPLAY; its exit code.
int Shell(const std::string& command);
// The first line a command prints.
std::string ShellOutput(const std::string& command);

// Processes whose parent is this process.
std::vector<pid_t> ChildProcesses();
// True while the process runs (a zombie counts as ended).
bool ProcessExists(pid_t pid);

}  // namespace korvane::test

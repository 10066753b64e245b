// Calculations per second through the workbook link and the calculation
// steps, on a model of 10 inputs, 100 formula cells and 10 outputs.
//
//   bench_calculation [N]      (default 2000 calculations)
//
// Prints the rate, how the time splits between LibreOffice (inside the link's
// calls) and Korvane, and the peak memory of both processes.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench_support.h"
#include "db/DbFile.h"
#include "platform/UserInterface.h"
#include "platform/libreoffice/LibreOfficeLink.h"
#include "project/NumberText.h"
#include "project/RunState.h"
#include "workbook/CalcSteps.h"
#include "workbook/CellRef.h"

using namespace korvane;
using bench::QuietUi;
using Clock = std::chrono::steady_clock;

namespace {

// Times every call into the application.
class TimedLink : public WorkbookLink {
public:
    explicit TimedLink(WorkbookLink& inner) : in_(inner) {}
    double seconds = 0;
    long calls = 0;

    template <typename F>
    auto timed(F f) {
        auto t0 = Clock::now();
        auto r = f();
        seconds += std::chrono::duration<double>(Clock::now() - t0).count();
        ++calls;
        return r;
    }
    bool start(bool v) override { return in_.start(v); }
    bool isRunning() override { return in_.isRunning(); }
    bool setVisible(bool v) override { return in_.setVisible(v); }
    bool visible() const override { return in_.visible(); }
    void setDisplayAlerts(bool on) override { in_.setDisplayAlerts(on); }
    void quit() override { in_.quit(); }
    void abort() override { in_.abort(); }
    bool open(const std::string& p) override { return in_.open(p); }
    bool closeWorkbooks() override { return in_.closeWorkbooks(); }
    std::optional<std::vector<std::string>> sheetNames() override { return in_.sheetNames(); }
    bool activateSheet(const std::string& s) override { return timed([&] { return in_.activateSheet(s); }); }
    bool writeCell(const CellRef& c, const std::string& t) override { return timed([&] { return in_.writeCell(c, t); }); }
    std::optional<std::string> readCell(const CellRef& c) override { return timed([&] { return in_.readCell(c); }); }
    bool writeCells(const std::vector<CellWrite>& w) override { return timed([&] { return in_.writeCells(w); }); }
    bool readCells(const std::vector<CellRef>& c, std::vector<std::optional<std::string>>& v) override {
        return timed([&] { return in_.readCells(c, v); });
    }
    bool setCalculation(CalculationMode m) override { return timed([&] { return in_.setCalculation(m); }); }
    bool run(const std::string& m) override { return timed([&] { return in_.run(m); }); }
    std::optional<std::vector<FormulaErrorCell>> formulaErrors() override { return in_.formulaErrors(); }
    std::optional<std::vector<FormulaValueCell>> formulaValues() override { return in_.formulaValues(); }
    std::optional<std::vector<MacroModule>> macroModules() override { return in_.macroModules(); }
    std::optional<std::string> activeCellAddress() override { return in_.activeCellAddress(); }
    std::optional<std::string> activeSheetName() override { return in_.activeSheetName(); }
    bool selectCell(std::int64_t r, std::int32_t c) override { return in_.selectCell(r, c); }
    const std::string& lastError() const override { return in_.lastError(); }

private:
    WorkbookLink& in_;
};

std::string Col(int c) { return std::string(1, static_cast<char>('A' + c)); }

// Sheet "In": A1:J1 inputs. Sheet "Calc": A1:J10, each cell a formula on its
// input and its neighbours. Sheet "Out": A1:J1 = the last Calc row.
void WriteModel(const std::string& path) {
    std::ofstream f(path);
    f << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document "
         "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
         "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
         "xmlns:of=\"urn:oasis:names:tc:opendocument:xmlns:of:1.2\" office:version=\"1.2\" "
         "office:mimetype=\"application/vnd.oasis.opendocument.spreadsheet\"><office:body><office:spreadsheet>";
    f << "<table:table table:name=\"In\"><table:table-row>";
    for (int c = 0; c < 10; ++c) f << "<table:table-cell office:value-type=\"float\" office:value=\"1\"/>";
    f << "</table:table-row></table:table><table:table table:name=\"Calc\">";
    for (int r = 1; r <= 10; ++r) {
        f << "<table:table-row>";
        for (int c = 0; c < 10; ++c) {
            std::string in = "[$In." + Col(c) + "1]";
            std::string formula = r == 1 ? "SQRT(ABS(" + in + "))+" + in + "*" + in
                                         : "[." + Col(c) + std::to_string(r - 1) + "]*0.9+EXP(-ABS(" + in + "))+" +
                                               "[." + Col((c + 1) % 10) + std::to_string(r - 1) + "]*0.1";
            f << "<table:table-cell table:formula=\"of:=" << formula << "\"/>";
        }
        f << "</table:table-row>";
    }
    f << "</table:table><table:table table:name=\"Out\"><table:table-row>";
    for (int c = 0; c < 10; ++c) f << "<table:table-cell table:formula=\"of:=[$Calc." << Col(c) << "10]\"/>";
    f << "</table:table-row></table:table></office:spreadsheet></office:body></office:document>\n";
}

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 2000;
    const auto folder = std::filesystem::temp_directory_path() / ("korvane-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string model = (folder / "model.fods").string();
    WriteModel(model);

    RunState s;
    ResetRunArrays(s);
    for (int c = 0; c < 10; ++c) {
        AddInputVariable(s, "x" + std::to_string(c + 1), Col(c) + "1", "In", "", 1, "", c % 2 ? "Round" : "Format",
                         c % 2 ? "4" : "#.######");
        AddOutputVariable(s, "y" + std::to_string(c + 1), Col(c) + "1", "Out", "0", "100");
    }
    s.WorkbookPath = model;
    s.DbPath = (folder / "db.csv").string();
    ResolveAllReferences(s);

    LibreOfficeLink office;
    TimedLink link(office);
    auto t0 = Clock::now();
    if (!office.start(false) || !office.open(model)) {
        std::fprintf(stderr, "bench: %s\n", office.lastError().c_str());
        return 1;
    }
    const double startSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const pid_t officePid = office.processId();

    QuietUi ui;
    DbWriter db(ui);
    if (!db.open(s) || !db.writeHeader(s)) return 1;
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> draw(0.5, 2.0);
    std::string error;
    auto one = [&] {
        for (std::size_t i = 1; i <= s.inputCount(); ++i) s.InputValues[i] = GeneralNumber(draw(rng));
        if (!WriteInputs(s, link, error) || !RunMacros(s, link, error)) return false;
        ReadOutputs(s, link, error);
        JudgeRestrictions(s);
        return db.writeRow(s);
    };
    for (int i = 0; i < 20; ++i) one();  // warm-up

    const double officeCpu0 = bench::CpuSeconds(officePid), selfCpu0 = bench::CpuSeconds(::getpid());
    link.seconds = 0;
    link.calls = 0;
    auto t1 = Clock::now();
    for (long i = 0; i < n; ++i) {
        s.CalcCount = i + 1;
        if (!one()) {
            std::fprintf(stderr, "bench: calculation %ld failed: %s\n", i + 1, error.c_str());
            return 1;
        }
    }
    const double total = std::chrono::duration<double>(Clock::now() - t1).count();
    const double officeCpu = bench::CpuSeconds(officePid) - officeCpu0;
    const double selfCpu = bench::CpuSeconds(::getpid()) - selfCpu0;
    const double officePeak = bench::PeakRssMiB(officePid), selfPeak = bench::PeakRssMiB(::getpid());
    db.close();
    office.quit();
    std::filesystem::remove_all(folder);

    std::printf("model: 10 inputs, 100 formula cells, 10 outputs; %ld calculations\n", n);
    std::printf("instance start + open:          %.2f s\n", startSeconds);
    std::printf("calculations per second:        %.0f\n", static_cast<double>(n) / total);
    std::printf("time per calculation:           %.3f ms\n", 1000.0 * total / static_cast<double>(n));
    std::printf("round trips per calculation:    %.1f link calls\n", static_cast<double>(link.calls) / static_cast<double>(n));
    std::printf("wall time inside LibreOffice:   %.0f %%  (in Korvane: %.0f %%)\n", 100.0 * link.seconds / total,
                100.0 * (total - link.seconds) / total);
    std::printf("CPU seconds: LibreOffice %.2f, Korvane %.2f\n", officeCpu, selfCpu);
    std::printf("peak memory: LibreOffice %.0f MiB, Korvane %.1f MiB\n", officePeak, selfPeak);
    return 0;
}

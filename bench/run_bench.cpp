// A whole unattended Monte Carlo run of the example beam model, end to end:
// project load, DB file, LibreOffice instance, N calculations.
//
//   bench_run [N] [EXAMPLES_FOLDER]   (default 2000; the build's app/examples)
//
// Prints calculations per second and the memory of both processes sampled
// over the run, to show that it stays flat.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "platform/UserInterface.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "run/RunDriver.h"
#include "workbook/WorkbookLink.h"

using namespace korvane;
using bench::QuietUi;
namespace fs = std::filesystem;

namespace {

class Sampler : public RunObserver {
public:
    explicit Sampler(std::int64_t every) : every_(every) {}
    void showProgress(std::int64_t counter, std::int64_t value, const std::string&) override {
        if (value <= 0 || counter % every_ != 0) return;
        if (office_ <= 0) office_ = bench::OfficeChild();
        samples.push_back({counter, bench::RssMiB(::getpid()), office_ > 0 ? bench::RssMiB(office_) : 0});
    }
    struct Sample {
        std::int64_t calc;
        double self, office;
    };
    std::vector<Sample> samples;

private:
    std::int64_t every_;
    pid_t office_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    const long n = argc > 1 ? std::atol(argv[1]) : 2000;
    fs::path examples = argc > 2 ? fs::path(argv[2]) : fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "examples";
    const fs::path app = fs::temp_directory_path() / ("korvane-runbench-" + std::to_string(::getpid()));
    fs::create_directories(app / "examples");
    for (const char* f : {"beam.fods", "beam-montecarlo.tolv"}) fs::copy_file(examples / f, app / "examples" / f);

    // The example project with N calculations.
    std::vector<std::string> lines;
    std::string error;
    const std::string project = (app / "examples" / "beam-montecarlo.tolv").string();
    if (!ReadTextLines(project, lines, error)) {
        std::fprintf(stderr, "bench: %s\n", error.c_str());
        return 1;
    }
    for (auto& l : lines)
        if (LineKey(l) == key::NumOfCalc) l = std::string(key::NumOfCalc) + std::to_string(n);
    WriteTextFileAtomic(project, lines, error);

    SetAppFolder(app.string());
    QuietUi ui;
    Sampler sampler(n >= 10 ? n / 10 : 1);
    ProjectDocument document(ui, app.string());
    document.NewProject();
    RunState state;
    ResetRunArrays(state);
    RunDriver driver(ui, sampler, document, state, [] { return CreateWorkbookLink(); });
    auto t0 = std::chrono::steady_clock::now();
    const int status = driver.CommandLineRun(project);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    fs::remove_all(app);
    if (status != 0) {
        std::fprintf(stderr, "bench: the run ended with status %d\n", status);
        return 1;
    }
    std::printf("unattended Monte Carlo run of the beam example: %ld calculations\n", n);
    std::printf("total time:                     %.2f s (start, load, run, quit)\n", seconds);
    std::printf("calculations per second:        %.0f end to end\n", static_cast<double>(n) / seconds);
    std::printf("memory over the run (RSS MiB):  calculation  Korvane  LibreOffice\n");
    for (const auto& s : sampler.samples)
        std::printf("                                %11lld  %7.1f  %11.0f\n", static_cast<long long>(s.calc), s.self,
                    s.office);
    return 0;
}

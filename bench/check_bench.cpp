// What the workbook check costs a run's start, on the example beam model and
// on an Excel (.xlsx) copy of it made by LibreOffice (so that it holds stored
// values to compare): the check as it was (error cells and modules) and the
// whole check (with the stored values read from the file and compared after
// two full recalculations), each on an open workbook, N times.
//
//   bench_check [N] [EXAMPLES_FOLDER]   (default 10; the build's app/examples)
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "workbook/WorkbookCheck.h"
#include "workbook/WorkbookLink.h"

extern char** environ;

using namespace korvane;
namespace fs = std::filesystem;

namespace {

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double MsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t).count();
}

// LibreOffice's own conversion, with a profile of its own.
bool ConvertToXlsx(const fs::path& source, const fs::path& folder) {
    const std::string profile = "-env:UserInstallation=file://" + (folder / "profile").string();
    const std::string out = folder.string();
    const std::string in = source.string();
    std::vector<const char*> args{"soffice", profile.c_str(), "--headless", "--norestore", "--convert-to", "xlsx",
                                  "--outdir", out.c_str(), in.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "soffice", nullptr, nullptr, const_cast<char* const*>(args.data()), environ) != 0)
        return false;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const fs::path examples = argc > 2 ? fs::path(argv[2])
                                       : fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "examples";
    const fs::path dir = fs::temp_directory_path() / ("korvane-checkbench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::copy_file(examples / "beam.fods", dir / "beam.fods");
    if (!ConvertToXlsx(dir / "beam.fods", dir) || !fs::exists(dir / "beam.xlsx")) {
        std::fprintf(stderr, "cannot make beam.xlsx\n");
        fs::remove_all(dir);
        return 1;
    }
    auto link = CreateWorkbookLink();
    if (!link->start(false)) {
        std::fprintf(stderr, "%s\n", link->lastError().c_str());
        fs::remove_all(dir);
        return 1;
    }
    std::printf("workbook     open ms  check before ms  whole check ms  added ms  findings\n");
    int status = 0;
    for (const char* name : {"beam.fods", "beam.xlsx"}) {
        const std::string path = (dir / name).string();
        std::vector<double> opens, before, whole;
        std::size_t findings = 0;
        for (int i = 0; i < n; ++i) {
            auto t = std::chrono::steady_clock::now();
            if (!link->open(path)) {
                std::fprintf(stderr, "%s\n", link->lastError().c_str());
                status = 1;
                break;
            }
            opens.push_back(MsSince(t));
            t = std::chrono::steady_clock::now();
            const bool ok = link->formulaErrors() && link->macroModules();
            before.push_back(MsSince(t));
            std::vector<CheckFinding> found;
            std::string error;
            t = std::chrono::steady_clock::now();
            if (!ok || !CheckOpenWorkbook(*link, path, found, error)) {
                std::fprintf(stderr, "%s\n", error.empty() ? link->lastError().c_str() : error.c_str());
                status = 1;
                break;
            }
            whole.push_back(MsSince(t));
            findings = CountedFindings(found);
            link->closeWorkbooks();
        }
        std::printf("%-11s %8.1f %16.1f %15.1f %9.1f %9zu\n", name, Median(opens), Median(before), Median(whole),
                    Median(whole) - Median(before), findings);
    }
    CloseAndQuit(*link);
    fs::remove_all(dir);
    return status;
}

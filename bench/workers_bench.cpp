// Calculations per second against the number of workers, on the example
// beam model and on a deliberately slow model (a macro doing about 50 ms of
// arithmetic per calculation); then the same slow study over 1, 2 and 3 MPI
// ranks (every rank calculating) when mpirun and an MPI build are there.
//
//   bench_workers [N_FAST] [N_SLOW] [N_MPI]   (defaults 1000, 120, 240; 0
//                                              leaves that table out)
//
// Each figure is a whole unattended Monte Carlo run: instances started,
// calculations made, instances quit. The rate counts from the first line to
// the last (the steady state, from the line of the fifth of the study on) and
// end to end. Memory is the resident size of
// each LibreOffice instance sampled mid-run. On a machine with fewer cores
// than workers, the instances share the cores: the speed-up cannot exceed
// the number of free cores.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench_support.h"
#include "db/DbFile.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "platform/UserInterface.h"
#include "project/Project.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "run/RunDriver.h"
#include "run/RunOptions.h"
#include "workbook/WorkbookLink.h"

using namespace korvane;
using bench::QuietUi;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The soffice processes that are children of this process.
std::vector<pid_t> OfficeChildren() {
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.empty() || name[0] < '0' || name[0] > '9') continue;
        std::FILE* f = std::fopen((entry.path() / "stat").c_str(), "r");
        if (!f) continue;
        char buf[512] = {};
        const std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
        std::fclose(f);
        const std::string stat(buf, n);
        const auto close = stat.rfind(')');
        if (close == std::string::npos || stat.find("(soffice.bin)") == std::string::npos) continue;
        long ppid = 0;
        char state = 0;
        if (std::sscanf(stat.c_str() + close + 1, " %c %ld", &state, &ppid) == 2 && ppid == ::getpid())
            found.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return found;
}

// Times the lines and samples the instances' memory halfway.
class Watch : public RunObserver {
public:
    explicit Watch(std::int64_t total) : total_(total) {}
    void showProgress(std::int64_t counter, std::int64_t value, const std::string& status) override {
        if (status.empty() || value <= 0) return;
        const auto now = Clock::now();
        // The steady state: from the line of the fifth of the study on (the
        // lines before come in bursts while the instances warm up).
        if (counter == std::max<std::int64_t>(1, total_ / 5)) {
            first = now;
            firstCount = counter;
        }
        last = now;
        if (counter == total_ / 2) {
            for (pid_t p : OfficeChildren()) officeMiB.push_back(bench::RssMiB(p));
            selfMiB = bench::RssMiB(::getpid());
        }
    }
    Clock::time_point first, last;
    std::int64_t firstCount = 1;
    std::vector<double> officeMiB;
    double selfMiB = 0;

private:
    std::int64_t total_;
};

struct Figures {
    double endToEnd = 0;   // calculations per second, start to end
    double steady = 0;     // from the first line to the last
    double officeMiB = 0;  // mean resident size of one instance
    double selfMiB = 0;
    int instances = 0;
};

// The slow model: the beam with a macro that loops over arithmetic.
void WriteSlowModel(const fs::path& examples, long loops) {
    std::string text;
    std::string error;
    std::vector<std::string> lines;
    const std::string beam = bench::ReadFile((examples / "beam.fods").string());
    const std::string marker = "REM The model's post-processing step";
    std::string slow = beam;
    const auto at = slow.find(marker);
    if (at != std::string::npos)
        slow.insert(at, "Sub Busy\n    Dim x As Double, i As Long\n    For i = 1 To " + std::to_string(loops) +
                            "\n        x = x + Sqr(i) * 1.0000001\n    Next i\n    ThisComponent.Sheets.getByName(&quot;"
                            "Model&quot;).getCellRangeByName(&quot;D1&quot;).setValue(x)\nEnd Sub\n");
    bench::WriteFile((examples / "slow.fods").string(), slow);
}

Figures RunStudy(const fs::path& app, const std::string& workbook, const std::string& macros, long n, int workers) {
    std::vector<std::string> lines;
    std::string error;
    const fs::path project = app / "examples" / "bench.tolv";
    ReadTextLines((app / "examples" / "beam-montecarlo.tolv").string(), lines, error);
    Project p = ParseProject(lines);
    p.excelFileName = "\\examples\\" + workbook;
    p.dataBaseFileName = "\\bench.csv";
    p.macro = macros;
    p.monteCarlo.numOfCalc = std::to_string(n);
    WriteTextFileAtomic(project.string(), ProjectLines(p), error);

    QuietUi ui;
    Watch watch(n);
    ProjectDocument document(ui, app.string());
    document.NewProject();
    RunState state;
    ResetRunArrays(state);
    RunDriver driver(ui, watch, document, state, [] { return CreateWorkbookLink(); });
    RunOptions options;
    options.workers = workers;
    driver.setRunOptions(options);
    const auto t0 = Clock::now();
    const int status = driver.CommandLineRun(project.string());
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    Figures f;
    if (status != 0) {
        std::fprintf(stderr, "bench: the run ended with status %d\n", status);
        return f;
    }
    f.endToEnd = static_cast<double>(n) / seconds;
    const double steady = std::chrono::duration<double>(watch.last - watch.first).count();
    f.steady = steady > 0 ? static_cast<double>(n - watch.firstCount) / steady : 0;
    double sum = 0;
    for (double m : watch.officeMiB) sum += m;
    f.instances = static_cast<int>(watch.officeMiB.size());
    f.officeMiB = f.instances ? sum / f.instances : 0;
    f.selfMiB = watch.selfMiB;
    return f;
}

void PrintTable(const char* title, long n, const std::vector<std::pair<int, Figures>>& rows) {
    std::printf("\n%s, %ld calculations\n", title, n);
    std::printf("  workers  calc/s steady  calc/s end-to-end  speed-up  MiB per instance  Korvane MiB\n");
    const double base = rows.empty() ? 0 : rows.front().second.steady;
    for (const auto& [w, f] : rows)
        std::printf("  %7d  %13.1f  %17.1f  %8.2f  %16.0f  %11.0f\n", w, f.steady, f.endToEnd,
                    base > 0 ? f.steady / base : 0, f.officeMiB, f.selfMiB);
}

// One MPI run of the slow study, timed as RunStudy times a run: end to end
// (mpirun, instance starts and quits included) and steady (from the line of
// the fifth of the study to the last, read from the DB file as it grows).
// Zeros when the run failed.
Figures MpiRun(const fs::path& app, const fs::path& exe, int ranks, long n) {
    const fs::path db = app / "bench.csv";
    fs::remove(db);
    const std::string ranksText = std::to_string(ranks);
    const std::string project = (app / "examples" / "bench.tolv").string();
    const auto t0 = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::unsetenv("DISPLAY");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 1);
        ::setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 1);
        ::setenv("KORVANE_HOME", app.c_str(), 1);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execlp("mpirun", "mpirun", "--oversubscribe", "-n", ranksText.c_str(), exe.c_str(), "--mpi",
                 project.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const std::int64_t from = std::max<std::int64_t>(1, n / 5);
    Clock::time_point first{}, last{};
    std::int64_t seen = 0;
    int status = 0;
    for (;;) {
        const bool ended = ::waitpid(pid, &status, WNOHANG) == pid;
        DbCounts counts;
        std::string error;
        CountDbLines(db.string(), counts, error);
        const std::int64_t lines = counts.all();
        if (lines > seen) {
            seen = lines;
            if (lines >= from && first == Clock::time_point{}) first = Clock::now();
            if (lines >= n && last == Clock::time_point{}) last = Clock::now();
        }
        if (ended) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    Figures f;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || seen < n) return f;
    f.endToEnd = static_cast<double>(n) / seconds;
    const double steady = std::chrono::duration<double>(last - first).count();
    f.steady = steady > 0 ? static_cast<double>(n - from) / steady : 0;
    f.instances = ranks;
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    const long nFast = argc > 1 ? std::atol(argv[1]) : 1000;
    const long nSlow = argc > 2 ? std::atol(argv[2]) : 120;
    const long nMpi = argc > 3 ? std::atol(argv[3]) : 240;
    const fs::path build = fs::read_symlink("/proc/self/exe").parent_path().parent_path();
    const fs::path app = fs::temp_directory_path() / ("korvane-workersbench-" + std::to_string(::getpid()));
    fs::create_directories(app / "examples");
    for (const char* f : {"beam.fods", "beam-montecarlo.tolv"})
        fs::copy_file(build / "app" / "examples" / f, app / "examples" / f);
    SetAppFolder(app.string());
    std::printf("machine: %u hardware threads; load average now: %s", std::thread::hardware_concurrency(),
                bench::ReadFile("/proc/loadavg").c_str());

    // A count of 0 leaves that table out.
    std::vector<std::pair<int, Figures>> fast;
    if (nFast > 0) {
        for (int w : {1, 2, 4}) fast.push_back({w, RunStudy(app, "beam.fods", "SafetyFactor", nFast, w)});
        PrintTable("example beam model", nFast, fast);
    }

    // About 50 ms of Basic arithmetic per calculation on one free core:
    // calibrated with a short one-instance run.
    long loops = 100000;
    WriteSlowModel(app / "examples", loops);
    const Figures probe = RunStudy(app, "slow.fods", "SafetyFactor,Busy", 10, 1);
    if (probe.steady > 0) {
        const double perCalc = 1.0 / probe.steady;
        const double fastPerCalc =
            !fast.empty() && fast.front().second.steady > 0 ? 1.0 / fast.front().second.steady : 0;
        loops = static_cast<long>(static_cast<double>(loops) * 0.05 / std::max(perCalc - fastPerCalc, 0.001));
        WriteSlowModel(app / "examples", loops);
    }
    std::printf("\nslow model: %ld loop steps per calculation\n", loops);
    if (nSlow > 0) {
        std::vector<std::pair<int, Figures>> slow;
        for (int w : {1, 2, 4}) slow.push_back({w, RunStudy(app, "slow.fods", "SafetyFactor,Busy", nSlow, w)});
        PrintTable("slow model", nSlow, slow);
    }

    // MPI: every rank calculates (rank 0 beside handing out and writing).
    // The slow study as above.
    if (std::system("command -v mpirun >/dev/null 2>&1") == 0 && nMpi > 0) {
        RunStudy(app, "slow.fods", "SafetyFactor,Busy", nMpi, 1);  // the project file with nMpi calculations
        std::printf("\nslow model over MPI ranks, %ld calculations (mpirun, plain; every rank calculates)\n", nMpi);
        std::printf("  ranks  calc/s steady  calc/s end-to-end  speed-up steady  speed-up end-to-end\n");
        Figures base;
        for (int ranks : {1, 2, 3}) {
            const Figures f = MpiRun(app, build / "app" / "korvane", ranks, nMpi);
            if (f.endToEnd <= 0) {
                std::printf("  %5d  (failed: is korvane built with MPI?)\n", ranks);
                continue;
            }
            if (base.endToEnd <= 0) base = f;
            std::printf("  %5d  %13.1f  %17.1f  %15.2f  %19.2f\n", ranks, f.steady, f.endToEnd,
                        base.steady > 0 ? f.steady / base.steady : 0, f.endToEnd / base.endToEnd);
        }
    }
    fs::remove_all(app);
    return 0;
}

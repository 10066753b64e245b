#pragma once
// The whole-run tests' fixture: an application folder with the array files
// and the shipped examples, projects run in it as the command line runs
// them, the golden DB files, and an observer that stops or kills a run.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "LoTestSupport.h"
#include "RunTestSupport.h"
#include "db/DbFile.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "run/PlanTestSupport.h"
#include "run/RunDriver.h"
#include "run/RunOptions.h"

namespace korvane::test {

// Copies the build's array files, and the shipped examples into
// `home`/examples, so that `home` can be the application folder of a run.
inline void CopyAppFiles(const TempDir& home) {
    namespace fs = std::filesystem;
    fs::create_directories(home.file("examples"));
    for (const auto& entry : fs::directory_iterator(KORVANE_EXAMPLES_DIR))
        fs::copy_file(entry.path(), home.file("examples/" + entry.path().filename().string()),
                      fs::copy_options::skip_existing);
    for (const char* f : {"OT_L128-2-127.dat", "OT_L108-3-49.dat"})
        fs::copy_file(BuildAppFolder() + "/" + f, home.file(f), fs::copy_options::skip_existing);
}

// A text file's lines (none, with a test failure, when it cannot be read).
inline std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::string error;
    EXPECT_TRUE(ReadTextLines(path, lines, error)) << error;
    return lines;
}

// The example study `name` as shipped (copied into `home` first), writing
// its results to \db.csv as its golden file was written.
inline Project ExampleProject(const TempDir& home, const std::string& name) {
    CopyAppFiles(home);
    Project p = ParseProject(FileLines(home.file("examples/" + name + ".tolv")));
    p.dataBaseFileName = "\\db.csv";
    return p;
}

// The DB file the sequential run wrote for a study, kept with the tests:
// every way of calculating it must give these bytes.
inline std::string Golden(const std::string& name) { return ReadBytes(KORVANE_GOLDEN_DIR "/" + name); }

// The first `lines` CR LF lines of `bytes`.
inline std::string FirstLines(const std::string& bytes, int lines) {
    std::size_t end = 0;
    for (int line = 0; line < lines; ++line) end = bytes.find("\r\n", end) + 2;
    return bytes.substr(0, end);
}

// A Monte Carlo study on \model.fods: input "a" in In!A1 drawn uniformly
// from 0 +- 1, output "o" in Out!A1.
inline Project MonteCarloStudy(const std::string& calcs = "100", const std::string& seed = "Random") {
    Project p;
    p.taskPlan = "MonteCarlo";
    p.inputTasks = {In("a", 1, "0")};
    p.outputTasks = {Out("o", 1)};
    p.monteCarlo.numOfCalc = calcs;
    p.monteCarlo.randomSeed = seed;
    p.monteCarlo.sampledVariables = {{"a", "一様分布", "0", "1"}};
    return p;
}

// Stops or kills (kill -9) LibreOffice from the plan's event pass: a stop at
// calculation `stopAt`, every child process at `killAllAt`, one instance at
// the first pass from calculation `killOneFrom` on.
class RunInterrupter : public RunObserver {
public:
    explicit RunInterrupter(RunState& s) : state(s) {}
    void eventPass() override {
        if (stopAt && state.CalcCount == stopAt) state.StopRequested = true;
        if (killAllAt && state.CalcCount == killAllAt)
            for (pid_t pid : ChildProcesses()) ::kill(pid, SIGKILL);
        if (killOneFrom && state.CalcCount >= killOneFrom && (killed = KillOneInstance()) > 0) killOneFrom = 0;
    }
    // An soffice.bin whose parent is this process.
    static pid_t KillOneInstance() {
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string stat = ReadBytes(entry.path().string() + "/stat");
            const auto close = stat.rfind(')');
            if (close == std::string::npos || stat.find("(soffice.bin)") == std::string::npos) continue;
            if (std::atol(stat.c_str() + close + 4) != ::getpid()) continue;  // the parent, after the state
            const pid_t pid = static_cast<pid_t>(std::atol(stat.c_str()));
            if (::kill(pid, SIGKILL) == 0) return pid;
        }
        return 0;
    }
    RunState& state;
    std::int64_t stopAt = 0, killAllAt = 0, killOneFrom = 0;
    pid_t killed = 0;
};

// A fresh application folder per test, with the array files and examples;
// projects run in it as the command line runs them.
class RunFixture : public ::testing::Test {
protected:
    void SetUp() override {
        SetAppFolder(app.path());
        CopyAppFiles(app);
    }

    // Writes `p` as \p.tolv (workbook \model.fods and DB \db.csv unless it
    // names others) and runs it; the exit status.
    int run(Project p, const RunOptions& options = {}) {
        if (p.excelFileName.empty()) p.excelFileName = "\\model.fods";
        if (p.dataBaseFileName.empty()) p.dataBaseFileName = "\\db.csv";
        std::string error;
        EXPECT_TRUE(WriteTextFileAtomic(app.file("p.tolv"), ProjectLines(p), error)) << error;
        ProjectDocument document(ui, app.path());
        EXPECT_TRUE(document.NewProject());
        ResetRunArrays(state);
        state.CalcCount = 0;
        RunDriver driver(ui, observer, document, state, [] { return CreateWorkbookLink(); });
        driver.setRunOptions(options);
        return driver.CommandLineRun(app.file("p.tolv"));
    }

    static RunOptions Workers(int n, double timeout = 0) {
        RunOptions o;
        o.workers = n;
        o.calcTimeoutSeconds = timeout;
        return o;
    }

    Project example(const std::string& name) { return ExampleProject(app, name); }

    // The fields of each line of the DB file.
    std::vector<std::vector<std::string>> dbFields() {
        std::vector<std::vector<std::string>> fields;
        for (const auto& l : FileLines(app.file("db.csv"))) fields.push_back(SplitDbFields(l));
        return fields;
    }

    std::string lastMessage() const { return ui.messages.empty() ? std::string() : ui.messages.back(); }

    // The DB file against its golden copy; with KORVANE_UPDATE_GOLDEN set,
    // the golden copy is written instead.
    void expectGolden(const std::string& name) {
        const std::string bytes = ReadBytes(app.file("db.csv"));
        if (std::getenv("KORVANE_UPDATE_GOLDEN")) return WriteBytes(KORVANE_GOLDEN_DIR "/" + name, bytes);
        EXPECT_EQ(bytes, Golden(name)) << name;
    }

    TempDir app;
    RecordingUi ui;
    RunState state;
    RunInterrupter observer{state};
};

}  // namespace korvane::test

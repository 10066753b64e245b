// Studies calculated by several LibreOffice instances: the DB file is the same,
// byte for byte, whatever calculated it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "LoTestSupport.h"
#include "RunTestSupport.h"
#include "TestSupport.h"
#include "platform/AppFolder.h"
#include "platform/TextFile.h"
#include "project/ProjectDocument.h"
#include "project/RunState.h"
#include "run/RunDriver.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;
using test::In;
using test::Out;
using test::ReadBytes;

fs::path BuildFolder() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

// The DB files the sequential run wrote for the projects below, kept with the
// tests: every way of calculating a plan must give these bytes.
fs::path GoldenFile(const std::string& name) { return fs::path(KORVANE_GOLDEN_DIR) / name; }

class WorkersTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetAppFolder(app.path());
        for (const char* f : {"OT_L128-2-127.dat", "OT_L108-3-49.dat"})
            fs::copy_file(BuildFolder() / "app" / f, app.file(f));
        fs::create_directories(app.file("examples"));
        for (const auto& entry : fs::directory_iterator(BuildFolder() / "app" / "examples"))
            fs::copy_file(entry.path(), app.file("examples/" + entry.path().filename().string()));
    }

    Project example(const std::string& name) {
        std::vector<std::string> lines;
        std::string error;
        EXPECT_TRUE(ReadTextLines(app.file("examples/" + name + ".tolv"), lines, error)) << error;
        Project p = ParseProject(lines);
        p.dataBaseFileName = "\\db.csv";
        return p;
    }

    // Runs the project as the command line does; the exit status.
    int run(const Project& p) {
        std::string error;
        EXPECT_TRUE(WriteTextFileAtomic(app.file("p.tolv"), ProjectLines(p), error)) << error;
        ProjectDocument document(ui, app.path());
        EXPECT_TRUE(document.NewProject());
        RunState state;
        ResetRunArrays(state);
        RunObserver observer;
        RunDriver driver(ui, observer, document, state, [] { return CreateWorkbookLink(); });
        return driver.CommandLineRun(app.file("p.tolv"));
    }

    std::string lastMessage() const { return ui.messages.empty() ? std::string() : ui.messages.back(); }

    // The DB file against its golden copy; with KORVANE_UPDATE_GOLDEN set,
    // the golden copy is written instead.
    void expectGolden(const std::string& name) {
        const std::string bytes = ReadBytes(app.file("db.csv"));
        if (std::getenv("KORVANE_UPDATE_GOLDEN")) {
            test::WriteBytes(GoldenFile(name).string(), bytes);
            return;
        }
        EXPECT_EQ(bytes, ReadBytes(GoldenFile(name).string())) << name;
    }

    test::TempDir app;
    test::RecordingUi ui;
};

// Inputs whose texts carry from one calculation to the next: a formatted
// value that is never drawn again, a replaced one, a rounded one, a name
// written into two cells.
Project CarriedValuesStudy() {
    Project p;
    p.excelFileName = "\\model.fods";
    p.dataBaseFileName = "\\db.csv";
    p.taskPlan = "MonteCarlo";
    InputTask a = In("a", 1, "10", "8", "12");
    a.formatKind = "Round";
    a.formatArg = "3";
    InputTask b = In("b", 2, "1234.5678");
    b.formatKind = "Format";
    b.formatArg = "0.00";
    InputTask c = In("c", 4, "1", "-1", "3");
    c.formatKind = "Replace";
    c.formatArg = "Text";
    InputTask d = In("d", 5, "0");
    d.formatKind = "Format";
    d.formatArg = "0.000";
    p.inputTasks = {a, b, In("a", 3, "10"), c, d};
    p.replaceTasks = {{"c", "0=zero,1=one,2=two"}};
    p.outputTasks = {Out("twice", 1), Out("text", 2), Out("sum", 3, "", "1240")};
    p.monteCarlo.numOfCalc = "30";
    p.monteCarlo.randomSeed = "777";
    p.monteCarlo.sampledVariables = {{"a", "正規分布", "10", "1.5"}, {"c", "一様分布", "1", "1.5"},
                                     {"d", "正規分布", "0", "2"}};
    return p;
}

void WriteCarriedValuesModel(const std::string& path) {
    test::WriteWorkbook(path, 5, {"[$In.A1]*2", "[$In.D1]", "[$In.B1]+[$In.C1]+[$In.E1]"});
}

TEST_F(WorkersTest, EveryPlanWritesItsGoldenBytes) {
    Project mc = example("beam-montecarlo");
    mc.monteCarlo.numOfCalc = "60";
    ASSERT_EQ(run(mc), 0) << lastMessage();
    expectGolden("beam-montecarlo.csv");
    ASSERT_EQ(run(example("beam-datafile")), 0) << lastMessage();
    expectGolden("beam-datafile.csv");
    ASSERT_EQ(run(example("beam-orthogonal")), 0) << lastMessage();
    expectGolden("beam-orthogonal.csv");
    WriteCarriedValuesModel(app.file("model.fods"));
    ASSERT_EQ(run(CarriedValuesStudy()), 0) << lastMessage();
    expectGolden("carried-values.csv");
}

}  // namespace
}  // namespace korvane

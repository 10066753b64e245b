// The program itself, run unattended without a display: its exit status and
// what it prints on stderr.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "TestSupport.h"
#include "platform/TextFile.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;
    std::string err;
};

// Runs build/app/korvane with the arguments, KORVANE_HOME set to `home` and
// no display; its exit status and standard error.
Result RunKorvane(const std::string& home, const std::string& args) {
    const fs::path exe = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "korvane";
    const std::string errFile = home + "/stderr.txt";
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY KORVANE_HOME='" + home + "' '" + exe.string() + "' " +
                            args + " 2>'" + errFile + "' >/dev/null";
    Result r;
    int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.err = test::ReadBytes(errFile);
    return r;
}

TEST(CommandLine, HelpVersionAndRefusals) {
    test::TempDir home;
    EXPECT_EQ(RunKorvane(home.path(), "--version").status, 0);
    EXPECT_EQ(RunKorvane(home.path(), "--help").status, 0);

    Result missing = RunKorvane(home.path(), "'" + home.file("none.tolv") + "'");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("【tolvファイルアドレスが不正です。】"), std::string::npos) << missing.err;
}

TEST(CommandLine, TheSingleExampleRunsToItsEndAndExitsZero) {
    test::TempDir home;
    const fs::path examples = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "examples";
    fs::create_directories(home.file("examples"));
    for (const char* f : {"beam.fods", "beam-single.tolv"}) fs::copy_file(examples / f, home.file("examples/") + f);
    Result r = RunKorvane(home.path(), "'\\examples\\beam-single.tolv'");
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines;
    std::string error;
    ASSERT_TRUE(ReadTextLines(home.file("examples/beam-single.csv"), lines, error)) << error;
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "0,1000,500,20.,40.,206000,1,93.75,1.89623786407767,3.14,2.61333333333333,True");
}

TEST(CommandLine, ASecondInstanceOnTheSameFolderIsRefused) {
    test::TempDir home;
    // Hold the folder's lock from a first program that waits.
    const fs::path exe = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "korvane";
    std::string cmd = "flock -n '" + home.file("korvane.lock") + "' sleep 5 &";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::system("sleep 0.3");
    Result r = RunKorvane(home.path(), "'" + home.file("x.tolv") + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("既に実行中"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace korvane

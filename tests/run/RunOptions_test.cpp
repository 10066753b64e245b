// The run options from the command line and from the settings file.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "run/RunOptions.h"

namespace korvane {
namespace {

TEST(RunOptions, CommandLineOptionsBeforeAndAfterTheProject) {
    RunOptions o;
    std::vector<std::string> rest;
    std::string error;
    ASSERT_TRUE(ParseRunArguments({"--workers", "3", "--calc-timeout=2.5", "--resume", "my", "study.tolv"}, o, rest,
                                  error))
        << error;
    EXPECT_EQ(o.workers, 3);
    EXPECT_EQ(o.calcTimeoutSeconds, 2.5);
    EXPECT_TRUE(o.resume);
    EXPECT_FALSE(o.mpi);
    EXPECT_EQ(rest, (std::vector<std::string>{"my", "study.tolv"}));
    // Options after the project are options too; after "--" nothing is.
    RunOptions after;
    ASSERT_TRUE(ParseRunArguments({"P.tolv", "--workers", "2", "--resume"}, after, rest, error)) << error;
    EXPECT_EQ(after.workers, 2);
    EXPECT_TRUE(after.resume);
    EXPECT_EQ(rest, std::vector<std::string>{"P.tolv"});
    ASSERT_TRUE(ParseRunArguments({"--workers=2", "--", "--odd", "name.tolv"}, after, rest, error)) << error;
    EXPECT_EQ(rest, (std::vector<std::string>{"--odd", "name.tolv"}));

    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--workers", "0", "p.tolv"}, {"--workers=65", "p.tolv"},
                                               {"--workers", "two", "p.tolv"}, {"--workers"},
                                               {"--calc-timeout", "-1", "p.tolv"}, {"--calc-timeout=soon"},
                                               {"--fast", "p.tolv"}, {"p.tolv", "--workers", "x"}}) {
        SCOPED_TRACE(bad.front());
        error.clear();
        EXPECT_FALSE(ParseRunArguments(bad, o, rest, error));
        EXPECT_FALSE(error.empty());
    }
}

// The settings file keeps workers and time limit; damaged lines are ignored
// and the rest still read.
TEST(RunOptions, SettingsFileRoundTripAndDamagedLines) {
    test::TempDir dir;
    RunOptions saved;
    saved.workers = 4;
    saved.calcTimeoutSeconds = 90;
    saved.resume = true;
    std::string error;
    ASSERT_TRUE(SaveRunOptions(dir.path(), saved, error)) << error;
    RunOptions loaded;
    LoadRunOptions(dir.path(), loaded);
    EXPECT_EQ(loaded.workers, 4);
    EXPECT_EQ(loaded.calcTimeoutSeconds, 90);
    EXPECT_FALSE(loaded.resume);  // a command, never a setting

    test::WriteBytes(dir.file(kRunOptionsFile), "Workers=999\r\nCalcTimeout=12\r\njunk\r\n");
    RunOptions partly;
    LoadRunOptions(dir.path(), partly);
    EXPECT_EQ(partly.workers, 1);
    EXPECT_EQ(partly.calcTimeoutSeconds, 12);
}

}  // namespace
}  // namespace korvane

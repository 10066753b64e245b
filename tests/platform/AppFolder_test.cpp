#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/AppFolder.h"

using namespace korvane;

TEST(InstanceLock, SecondInstanceIsRefusedUntilTheFirstEnds) {
    test::TempDir dir;
    std::string error;
    auto first = InstanceLock::acquire(dir.path(), error);
    ASSERT_TRUE(first) << error;
    // flock locks belong to the open file description, so a second acquire in
    // the same process conflicts just as another process would.
    auto second = InstanceLock::acquire(dir.path(), error);
    EXPECT_FALSE(second);
    EXPECT_NE(error.find("既に実行中"), std::string::npos) << error;
    first.reset();
    auto third = InstanceLock::acquire(dir.path(), error);
    EXPECT_TRUE(third);
}

TEST(InstanceLock, UnwritableFolderIsAClearError) {
    std::string error;
    auto lock = InstanceLock::acquire("/nonexistent-folder", error);
    EXPECT_FALSE(lock);
    EXPECT_NE(error.find("/nonexistent-folder"), std::string::npos);
}

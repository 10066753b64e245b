#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "TestSupport.h"
#include "platform/AppFolder.h"

using namespace korvane;

TEST(InstanceLock, SecondInstanceIsRefusedUntilTheFirstEndsAndAMissingFolderIsNamed) {
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
    // A folder that cannot hold the lock is named.
    EXPECT_FALSE(InstanceLock::acquire("/nonexistent-folder", error));
    EXPECT_NE(error.find("/nonexistent-folder"), std::string::npos);
}

namespace {

namespace fs = std::filesystem;

void MakeFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    test::WriteBytes(path, bytes);
}

// A program unpacked as a package installs it: <root>/usr/bin beside
// <root>/usr/share/korvane.
struct InstalledLayout {
    test::TempDir root;
    std::string bin = root.path() + "/usr/bin";
    std::string share = root.path() + "/usr/share/korvane";
    InstalledLayout() {
        fs::create_directories(bin);
        fs::create_directories(share);
    }
};

}  // namespace

TEST(AppFolderChoice, FollowsHomeThenWritableProgramFolderThenPerUserFolder) {
    test::TempDir build;  // a build tree: no share folder beside the program
    InstalledLayout installed;

    // KORVANE_HOME wins everywhere; an installed program still copies its data in.
    AppFolderChoice c = ChooseAppFolder({build.path(), "/work/study/", "/x/data", "/home/ann"});
    EXPECT_EQ(c.folder, "/work/study");
    EXPECT_EQ(c.dataSource, "");
    EXPECT_FALSE(c.perUser);
    c = ChooseAppFolder({installed.bin, "/work/study", "/x/data", "/home/ann"});
    EXPECT_EQ(c.folder, "/work/study");
    EXPECT_EQ(fs::path(c.dataSource), fs::path(installed.share));

    // A build tree that can be written is its own application folder.
    c = ChooseAppFolder({build.path(), "", "/x/data", "/home/ann"});
    EXPECT_EQ(c.folder, build.path());
    EXPECT_FALSE(c.perUser);

    // An installed program uses the user's folder even where its bin folder
    // can be written (root, or a package unpacked into a folder of one's own).
    c = ChooseAppFolder({installed.bin, "", "/x/data/", "/home/ann"});
    EXPECT_EQ(c.folder, "/x/data/korvane");
    EXPECT_EQ(fs::path(c.dataSource), fs::path(installed.share));
    EXPECT_TRUE(c.perUser);
    // Without XDG_DATA_HOME, or with a relative one (invalid), the default is
    // under the home folder: each user has a folder of their own.
    EXPECT_EQ(ChooseAppFolder({installed.bin, "", "", "/home/ann"}).folder, "/home/ann/.local/share/korvane");
    EXPECT_EQ(ChooseAppFolder({installed.bin, "", "rel/data", "/home/bob/"}).folder,
              "/home/bob/.local/share/korvane");
    // No home folder at all: no folder, which the start reports.
    EXPECT_EQ(ChooseAppFolder({installed.bin, "", "", ""}).folder, "");

    // A program folder nobody can write, root included, with no share folder
    // beside it: the per-user folder, seeded from the program folder.
    c = ChooseAppFolder({"/proc/self", "", "/x/data", "/home/ann"});
    EXPECT_EQ(c.folder, "/x/data/korvane");
    EXPECT_EQ(c.dataSource, "/proc/self");
    EXPECT_TRUE(c.perUser);
}

TEST(AppFolderData, FirstStartCopiesTheDataLaterStartsRefreshOnlyProgramFilesAndFailuresAreNamed) {
    InstalledLayout installed;
    const std::string& share = installed.share;
    MakeFile(share + "/OT_L128-2-127.dat", "array 2");
    MakeFile(share + "/OT_L108-3-49.dat", "array 3");
    MakeFile(share + "/Help/Help.pdf", "help v1");
    MakeFile(share + "/legend_files/Dstbt1.BMP", "bmp");
    MakeFile(share + "/examples/beam.fods", "model");
    MakeFile(share + "/examples/beam-single.tolv", "project v1");
    // Not data: left where it is.
    MakeFile(share + "/Recent.dat", "someone's recent list");
    MakeFile(share + "/notes.txt", "x");
    fs::permissions(share + "/examples/beam.fods", fs::perms::owner_write, fs::perm_options::remove);

    test::TempDir home;
    const std::string app = home.path();
    std::string error;
    ASSERT_TRUE(CopyDataFiles(share, app, error)) << error;
    EXPECT_EQ(test::ReadBytes(app + "/OT_L128-2-127.dat"), "array 2");
    EXPECT_EQ(test::ReadBytes(app + "/OT_L108-3-49.dat"), "array 3");
    EXPECT_EQ(test::ReadBytes(app + "/Help/Help.pdf"), "help v1");
    EXPECT_EQ(test::ReadBytes(app + "/legend_files/Dstbt1.BMP"), "bmp");
    EXPECT_EQ(test::ReadBytes(app + "/examples/beam-single.tolv"), "project v1");
    EXPECT_FALSE(fs::exists(app + "/Recent.dat"));
    EXPECT_FALSE(fs::exists(app + "/notes.txt"));
    EXPECT_FALSE(fs::exists(app + "/examples.part"));
    // The copy of a read-only file is the user's to change.
    EXPECT_NE(fs::status(app + "/examples/beam.fods").permissions() & fs::perms::owner_write, fs::perms::none);

    // The user edits an example and removes another; an upgrade brings new help
    // and examples; a legend picture goes missing.
    test::WriteBytes(app + "/examples/beam-single.tolv", "my project");
    fs::remove(app + "/examples/beam.fods");
    MakeFile(share + "/Help/Help.pdf", "help v2, longer");
    MakeFile(share + "/examples/beam-single.tolv", "project v2");
    fs::remove(app + "/legend_files/Dstbt1.BMP");
    ASSERT_TRUE(CopyDataFiles(share, app, error)) << error;
    EXPECT_EQ(test::ReadBytes(app + "/Help/Help.pdf"), "help v2, longer");
    EXPECT_EQ(test::ReadBytes(app + "/legend_files/Dstbt1.BMP"), "bmp");
    EXPECT_EQ(test::ReadBytes(app + "/examples/beam-single.tolv"), "my project");
    EXPECT_FALSE(fs::exists(app + "/examples/beam.fods"));

    // Copying a folder onto itself changes nothing.
    ASSERT_TRUE(CopyDataFiles(app, app, error)) << error;
    // A file where the folder should be: what could not be copied is named.
    const std::string blocked = home.file("blocked");
    test::WriteBytes(blocked, "a file where the folder should be");
    EXPECT_FALSE(CopyDataFiles(share, blocked, error));
    EXPECT_NE(error.find("コピーできません: "), std::string::npos) << error;
    EXPECT_NE(error.find(blocked + "/"), std::string::npos) << error;
}

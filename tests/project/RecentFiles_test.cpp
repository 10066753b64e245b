#include "project/RecentFiles.h"

#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "TestSupport.h"

namespace korvane {
namespace {

using test::Cp932Lines;
using test::ReadBytes;
using test::RecordingUi;
using test::TempDir;
using test::WriteBytes;

class RecentFilesTest : public ::testing::Test {
protected:
    // A project file somewhere outside the application folder.
    std::string project(int n) {
        std::string path = projects.file("p" + std::to_string(n) + ".tolv");
        WriteBytes(path, "x\r\n");
        return path;
    }
    std::string listBytes() { return ReadBytes(app.file("Recent.dat")); }
    bool listExists() {
        struct stat st {};
        return ::stat(app.file("Recent.dat").c_str(), &st) == 0;
    }

    TempDir app;
    TempDir projects;
    RecentFiles recent{app.path()};
};

TEST_F(RecentFilesTest, NewestFirstAtMostTenAndReopenedKeepsItsPlace) {
    WriteBytes(app.file("Recent.dat"), "");
    for (int i = 1; i <= 11; ++i) recent.AddRecent(project(i));
    std::vector<std::string> expected;
    for (int i = 11; i >= 2; --i) expected.push_back(project(i));
    EXPECT_EQ(listBytes(), Cp932Lines(expected));  // exactly 10 lines, p1 dropped

    recent.AddRecent(project(5));
    EXPECT_EQ(listBytes(), Cp932Lines(expected));
    EXPECT_EQ(recent.List(false), expected);
    // No scratch file is left behind.
    EXPECT_EQ(::access(app.file("Recent1.dat").c_str(), F_OK), -1);
    EXPECT_EQ(::access(app.file("Recent.dat1").c_str(), F_OK), -1);
}

TEST_F(RecentFilesTest, ProjectInsideTheApplicationFolderIsStoredRelative) {
    WriteBytes(app.file("Recent.dat"), Cp932Lines({"/elsewhere/old.tolv"}));
    ::mkdir(app.file("作業").c_str(), 0777);
    std::string inside = app.file("作業/モデル.tolv");
    WriteBytes(inside, "x\r\n");
    recent.AddRecent(inside);
    EXPECT_EQ(listBytes(), Cp932Lines({"\\作業\\モデル.tolv", "/elsewhere/old.tolv"}));
    EXPECT_EQ(recent.List(false), std::vector<std::string>{"\\作業\\モデル.tolv"});
    EXPECT_EQ(recent.resolve("\\作業\\モデル.tolv"), inside);
    // Adding it again by its full path finds the relative entry.
    recent.AddRecent(inside);
    EXPECT_EQ(recent.List(true).size(), 2u);
}

TEST_F(RecentFilesTest, MissingFilesHiddenUnlessAskedAndDeleteMissingRemovesThem) {
    WriteBytes(app.file("Recent.dat"), "");
    std::string a = project(1), b = project(2), c = project(3);
    for (const auto& p : {a, b, c}) recent.AddRecent(p);
    ::unlink(b.c_str());
    EXPECT_EQ(recent.List(false), (std::vector<std::string>{c, a}));
    EXPECT_EQ(recent.List(true), (std::vector<std::string>{c, b, a}));
    EXPECT_EQ(listBytes(), Cp932Lines({c, b, a}));  // listing changes nothing

    recent.DeleteMissing();
    EXPECT_EQ(listBytes(), Cp932Lines({c, a}));
    recent.DeleteSelection(c);
    EXPECT_EQ(listBytes(), Cp932Lines({a}));
    recent.DeleteSelection("/not/listed");
    EXPECT_EQ(listBytes(), Cp932Lines({a}));
}

// Without a list nothing is recorded until listing creates it; deleting
// all asks first and removes the list.
TEST_F(RecentFilesTest, ListingCreatesTheListAndDeleteAllAsksFirst) {
    recent.AddRecent(project(1));
    EXPECT_FALSE(listExists());
    EXPECT_TRUE(recent.List(false).empty());
    EXPECT_TRUE(listExists());
    EXPECT_EQ(listBytes(), "");
    recent.AddRecent(project(1));
    EXPECT_EQ(listBytes(), Cp932Lines({project(1)}));

    RecordingUi ui;
    ui.answerYes = false;
    EXPECT_FALSE(recent.DeleteAll(ui));
    EXPECT_EQ(ui.questions, std::vector<std::string>{"全てのリンクを削除します。よろしいですか？"});
    EXPECT_EQ(listBytes(), Cp932Lines({project(1)}));
    ui.answerYes = true;
    EXPECT_TRUE(recent.DeleteAll(ui));
    EXPECT_FALSE(listExists());
}

TEST_F(RecentFilesTest, UnreadableListLosesNothing) {
    // A byte pair that is not Shift_JIS: the list is neither extended nor cut.
    std::string bytes = Cp932Lines({"/a.tolv"}) + "/\x82\xff.tolv\r\n" + Cp932Lines({"/b.tolv"});
    WriteBytes(app.file("Recent.dat"), bytes);
    recent.AddRecent(project(1));
    recent.DeleteSelection("/a.tolv");
    recent.DeleteMissing();
    EXPECT_EQ(listBytes(), bytes);
    EXPECT_EQ(recent.List(true), std::vector<std::string>{"/a.tolv"});
    // A project path that Shift_JIS cannot store is not recorded either.
    WriteBytes(app.file("Recent.dat"), "");
    recent.AddRecent("/tmp/\xF0\x9F\x98\x80.tolv");
    EXPECT_EQ(listBytes(), "");
}

TEST_F(RecentFilesTest, StatusText) {
    EXPECT_EQ(recent.StatusText("/no/such/file.tolv"), "ファイルが存在しません。");
    EXPECT_EQ(recent.StatusText(projects.path()), "ファイルが存在しません。");  // a folder
    std::string text = recent.StatusText(project(1));
    static const std::regex form(
        "(作成日時|状態変更日時) : \\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}   更新日時 : "
        "\\d{4}/\\d{2}/\\d{2} \\d{1,2}:\\d{2}");
    EXPECT_TRUE(std::regex_match(text, form)) << text;
}

}  // namespace
}  // namespace korvane

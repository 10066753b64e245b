#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/TextFile.h"

using namespace korvane;
using namespace korvane::test;

TEST(TextFile, JapaneseRoundTripIsCp932WithCrLfAndLfAloneReads) {
    TempDir dir;
    const std::string path = dir.file("a.txt");
    std::string error;
    ASSERT_TRUE(WriteTextFileAtomic(path, {"3水準", "Validity(制限判定)", "", "~\\"}, error)) << error;
    // 3 = 0x33; 水 = 0x90 0x85; 準 = 0x8F 0x80 in code page 932.
    EXPECT_EQ(ReadBytes(path), std::string("3\x90\x85\x8F\x80\r\nValidity(\x90\xA7\x8C\xC0\x94\xBB\x92\xE8)\r\n\r\n~\\\r\n"));
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadTextLines(path, lines, error)) << error;
    EXPECT_EQ(lines, (std::vector<std::string>{"3水準", "Validity(制限判定)", "", "~\\"}));
    // LF alone and a missing last line end read too.
    WriteBytes(dir.file("lf.txt"), "one\ntwo\r\nthree");
    ASSERT_TRUE(ReadTextLines(dir.file("lf.txt"), lines, error));
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three"}));
    WriteBytes(dir.file("empty.txt"), "");
    ASSERT_TRUE(ReadTextLines(dir.file("empty.txt"), lines, error));
    EXPECT_TRUE(lines.empty());
}

TEST(TextFile, InvalidBytesAreAnErrorNamingFileAndLine) {
    TempDir dir;
    // 0x81 0x20 is a lead byte followed by an invalid trail byte.
    WriteBytes(dir.file("bad.txt"), "ok\r\nfine\r\nx\x81\x20y\r\n");
    std::vector<std::string> lines;
    std::string error;
    EXPECT_FALSE(ReadTextLines(dir.file("bad.txt"), lines, error));
    EXPECT_NE(error.find("bad.txt"), std::string::npos) << error;
    EXPECT_NE(error.find("bad.txt の 3 行目は Shift_JIS"), std::string::npos) << error;
    EXPECT_TRUE(lines.empty());
    // A folder is not a file to read, and says so.
    EXPECT_FALSE(ReadTextLines(dir.path(), lines, error));
    EXPECT_NE(error.find("ファイルではなくフォルダです"), std::string::npos) << error;
}

TEST(TextFile, TextCp932CannotHoldOrAMissingFolderIsRefusedAndTargetKept) {
    TempDir dir;
    const std::string path = dir.file("keep.txt");
    WriteBytes(path, "original\r\n");
    std::string error;
    EXPECT_FALSE(WriteTextFileAtomic(path, {"fine", "emoji \xF0\x9F\x98\x80"}, error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_EQ(ReadBytes(path), "original\r\n");

    TextLineWriter w;
    ASSERT_TRUE(w.open(dir.file("w.txt"), TextLineWriter::Mode::Truncate));
    EXPECT_TRUE(w.writeLine("a"));
    EXPECT_FALSE(w.writeLine("\xF0\x9F\x98\x80"));
    EXPECT_TRUE(w.close());
    EXPECT_EQ(ReadBytes(dir.file("w.txt")), "a\r\n");
    // A missing folder: nothing to write into.
    EXPECT_FALSE(WriteTextFileAtomic("/nonexistent-folder/x.txt", {"a"}, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(w.open("/nonexistent-folder/x.txt", TextLineWriter::Mode::Append));
}

TEST(TextFile, LineWriterAppendsAndEachLineIsOnDiskAtOnce) {
    TempDir dir;
    const std::string path = dir.file("db.csv");
    TextLineWriter w;
    ASSERT_TRUE(w.open(path, TextLineWriter::Mode::Truncate));
    ASSERT_TRUE(w.writeLine("Count,x"));
    // Visible to another reader before close: nothing is buffered in-process.
    EXPECT_EQ(ReadBytes(path), "Count,x\r\n");
    ASSERT_TRUE(w.close());
    ASSERT_TRUE(w.open(path, TextLineWriter::Mode::Append));
    ASSERT_TRUE(w.writeLine("1,2"));
    ASSERT_TRUE(w.close());
    EXPECT_EQ(ReadBytes(path), "Count,x\r\n1,2\r\n");
}

#include "db/DbFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <optional>

#include "TestSupport.h"
#include "platform/AppFolder.h"
#include "project/RunState.h"

namespace korvane {
namespace {

using test::Cp932Lines;
using test::ReadBytes;
using test::RecordingUi;
using test::TempDir;
using test::WriteBytes;

RunState MakeState(const std::string& dbPath, const std::string& mode,
                   std::vector<std::pair<std::string, std::string>> inputs,
                   std::vector<std::pair<std::string, std::string>> outputs) {
    RunState s;
    s.DbPath = dbPath;
    s.WriteMode = mode;
    for (auto& [name, value] : inputs) {
        s.InputNames.push_back(name);
        s.InputValues.push_back(value);
    }
    for (auto& [name, value] : outputs) {
        s.OutputNames.push_back(name);
        s.OutputValues.push_back(value);
    }
    return s;
}

// A run of `calcs` calculations numbered from `first`, as the plans drive it.
void WriteRun(RunState& s, RecordingUi& ui, int calcs, int first = 1) {
    DbWriter db(ui);
    ASSERT_TRUE(db.open(s));
    ASSERT_TRUE(db.writeHeader(s));
    for (int i = 0; i < calcs; ++i) {
        s.CalcCount = first + i;
        s.InputValues[1] = std::to_string(10 * (first + i));
        s.RunValid = (first + i) % 2 == 1;
        ASSERT_TRUE(db.writeRow(s));
    }
    ASSERT_TRUE(db.close());
}

TEST(DbWriter, SingleRunWritesThreeExactLinesInShiftJis) {
    TempDir dir;
    RunState s = MakeState(dir.file("db.csv"), "OverWrite", {{"A", "1"}, {"B", "2.5"}},
                           {{"出力", "3"}});
    RecordingUi ui;
    DbWriter db(ui);
    ASSERT_TRUE(db.open(s));
    ASSERT_TRUE(db.writeHeader(s));
    ASSERT_TRUE(db.writeRow(s));  // Single keeps CalcCount at 0
    ASSERT_TRUE(db.close());

    // Spelled out byte by byte, independent of the codec under test.
    const std::string expected =
        "Count,A,B,\x8f\x6f\x97\xcd,Validity(\x90\xa7\x8c\xc0\x94\xbb\x92\xe8)\r\n"
        "-,[Input],[Input],[Output],[System]\r\n"
        "0,1,2.5,3,True\r\n";
    EXPECT_EQ(ReadBytes(dir.file("db.csv")), expected);
    EXPECT_TRUE(ui.messages.empty());
}

// What a run leaves after what the file held: OverWrite replaces it; Append
// adds a block of its own, finishing a last line cut short (also one cut
// after its CR) and putting no blank line into an empty file. A path
// relative to the application folder lands there.
TEST(DbWriter, OverWriteReplacesAndAppendAddsABlock) {
    TempDir dir;
    const std::string path = dir.file("db.csv");
    const std::vector<std::string> run = {"Count,x,y,Validity(制限判定)", "-,[Input],[Output],[System]",
                                          "1,10,7,True", "2,20,7,False"};
    const std::string appendedBlock = Cp932Lines(run);
    struct Case {
        const char* mode;
        std::optional<std::string> before;
        std::string after;
    };
    for (const Case& c : {Case{"OverWrite", "old,content\r\nmore,lines\r\nand,more\r\n", Cp932Lines(run)},
                          Case{"Append", std::nullopt, Cp932Lines(run)},
                          Case{"Append", "", Cp932Lines(run)},
                          Case{"Append", Cp932Lines(run), Cp932Lines(run) + appendedBlock},
                          Case{"Append", "1,5,True", "1,5,True\r\n" + appendedBlock},
                          Case{"Append", "1,5,True\r", "1,5,True\r\n" + appendedBlock}}) {
        SCOPED_TRACE(std::string(c.mode) + " after " + c.before.value_or("no file"));
        std::filesystem::remove(path);
        if (c.before) WriteBytes(path, *c.before);
        RunState s = MakeState(path, c.mode, {{"x", ""}}, {{"y", "7"}});
        RecordingUi ui;
        WriteRun(s, ui, 2);
        EXPECT_EQ(ReadBytes(path), c.after);
    }

    std::string before = AppFolder();
    SetAppFolder(dir.path());
    ::mkdir(dir.file("out").c_str(), 0777);
    RunState s = MakeState("\\out\\db.csv", "OverWrite", {{"a", "1"}}, {});
    RecordingUi ui;
    WriteRun(s, ui, 0);
    SetAppFolder(before);
    EXPECT_EQ(ReadBytes(dir.file("out/db.csv")), Cp932Lines({"Count,a,Validity(制限判定)", "-,[Input],[System]"}));
}

// A comma, a quote or a line break in a value would shift every later column
// (or split the line): such a value is written in CSV quotes and read back
// whole; a line without one stays as plain as before.
TEST(DbWriter, ValuesWithCommasQuotesAndLineBreaksKeepTheirColumns) {
    TempDir dir;
    RecordingUi ui;
    RunState t = MakeState(dir.file("quoted.csv"), "OverWrite", {{"a", "1"}},
                           {{"txt", "Copper, annealed"}, {"q", "6\" pipe"}, {"multi", "two\nlines"}, {"n", "1,234"}});
    WriteRun(t, ui, 2);
    EXPECT_EQ(ReadBytes(t.DbPath),
              Cp932Lines({"Count,a,txt,q,multi,n,Validity(制限判定)",
                          "-,[Input],[Output],[Output],[Output],[Output],[System]",
                          "1,10,\"Copper, annealed\",\"6\"\" pipe\",\"two\nlines\",\"1,234\",True",
                          "2,20,\"Copper, annealed\",\"6\"\" pipe\",\"two\nlines\",\"1,234\",False"}));
    DbReader reader;
    DbReader::Line line;
    ASSERT_TRUE(reader.open(t.DbPath));
    std::vector<std::int64_t> starts;
    while (reader.nextData(line)) {
        EXPECT_EQ(line.fields.size(), reader.header().names.size());
        EXPECT_EQ(line.fields[2], "Copper, annealed");
        EXPECT_EQ(line.fields[3], "6\" pipe");
        EXPECT_EQ(line.fields[4], "two\nlines");
        EXPECT_EQ(CsvNumber(line.fields[5]), 1234);
        starts.push_back(line.lineNumber);
    }
    EXPECT_EQ(starts, (std::vector<std::int64_t>{3, 5}));  // each record starts where its line does
    DbCounts counts;
    std::string error;
    ASSERT_TRUE(CountDbLines(t.DbPath, counts, error)) << error;
    EXPECT_EQ(counts.valid, 1);
    EXPECT_EQ(counts.invalid, 1);

    // Lenient with files written before quoting: a quote inside a field is
    // a character; only a field that starts with one is quoted.
    EXPECT_EQ(SplitDbFields("1,6\" pipe,\"a,b\",x\"y\",,"),
              (std::vector<std::string>{"1", "6\" pipe", "a,b", "x\"y\"", "", ""}));
    EXPECT_EQ(SplitDbFields(""), std::vector<std::string>{""});
}

// A disk that fills up in the middle of a line (here: a file size limit, which
// fails the write part way as a full disk does) never leaves a torn line that
// readers would count as a calculation.
TEST(DbWriter, AFullDiskCutsTheFileBackToItsLastWholeLine) {
    TempDir dir;
    RecordingUi ui;
    RunState s = MakeState(dir.file("full.csv"), "OverWrite", {{"a", "1"}}, {{"b", "2.12658221745807"}});
    DbWriter db(ui);
    ASSERT_TRUE(db.open(s) && db.writeHeader(s));
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = static_cast<rlim_t>(ReadBytes(s.DbPath).size() + 100);
    ::setrlimit(RLIMIT_FSIZE, &small);
    int written = 0;
    for (s.CalcCount = 1; s.CalcCount < 100 && db.writeRow(s); ++s.CalcCount) ++written;
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(db.close());
    ASSERT_LT(written, 99);
    const std::string bytes = ReadBytes(s.DbPath);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    DbCounts counts;
    std::string error;
    ASSERT_TRUE(CountDbLines(s.DbPath, counts, error)) << error;
    EXPECT_EQ(counts.all(), written);
    ASSERT_FALSE(ui.messages.empty());
    EXPECT_NE(ui.messages.back().find("removed"), std::string::npos) << ui.messages.back();
}

// A run that stops before its header (refused, or the workbook could not be
// opened) leaves an OverWrite file as it was, and makes no new empty file.
TEST(DbWriter, NothingChangesBeforeTheHeader) {
    TempDir dir;
    RecordingUi ui;
    RunState s = MakeState(dir.file("old.csv"), "OverWrite", {{"a", "1"}}, {{"b", "2"}});
    WriteBytes(s.DbPath, "old results\r\n");
    {
        DbWriter db(ui);
        ASSERT_TRUE(db.open(s));
    }
    EXPECT_EQ(ReadBytes(s.DbPath), "old results\r\n");
    s.DbPath = dir.file("new.csv");
    {
        DbWriter db(ui);
        ASSERT_TRUE(db.open(s));
        ASSERT_TRUE(db.close());
    }
    struct stat st {};
    EXPECT_NE(::stat(s.DbPath.c_str(), &st), 0);
}

TEST(DbWriter, OpenFailureShowsTheMessageAndEndsTheApplication) {
    TempDir dir;
    struct Case {
        std::string path, mode;
    };
    std::string file = dir.file("plain.txt");
    WriteBytes(file, "keep\r\n");
    for (const Case& c : {Case{dir.path(), "Append"}, Case{dir.file("no/such/folder/db.csv"), "OverWrite"},
                          Case{file + "/db.csv", "Append"}, Case{"", "OverWrite"}}) {
        SCOPED_TRACE(c.path + " " + c.mode);
        RunState s = MakeState(c.path, c.mode, {{"a", "1"}}, {{"b", "2"}});
        RecordingUi ui;
        DbWriter db(ui);
        EXPECT_FALSE(db.open(s));
        EXPECT_FALSE(db.isOpen());
        EXPECT_EQ(ui.messages, std::vector<std::string>{kDbOpenErrorMessage});
        EXPECT_TRUE(ui.ended);
        EXPECT_NE(ui.exitStatus, 0);
    }
    EXPECT_EQ(ReadBytes(file), "keep\r\n");
    struct stat st {};
    EXPECT_NE(::stat(dir.file("no").c_str(), &st), 0);
}

TEST(DbWriter, UnencodableTextStopsWithAClearMessageAndWritesNoPartialLine) {
    TempDir dir;
    RunState s = MakeState(dir.file("db.csv"), "OverWrite", {{"a", "1"}}, {{"結果", "ok"}});
    RecordingUi ui;
    DbWriter db(ui);
    ASSERT_TRUE(db.open(s));
    ASSERT_TRUE(db.writeHeader(s));
    s.CalcCount = 1;
    ASSERT_TRUE(db.writeRow(s));
    s.CalcCount = 2;
    s.OutputValues[1] = "smile \xF0\x9F\x98\x80";
    EXPECT_FALSE(db.writeRow(s));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].find("計算 2"), std::string::npos) << ui.messages[0];
    EXPECT_NE(ui.messages[0].find("結果"), std::string::npos) << ui.messages[0];
    EXPECT_NE(ui.messages[0].find(s.DbPath), std::string::npos) << ui.messages[0];
    EXPECT_FALSE(ui.ended);  // the run stops; the program goes on
    ASSERT_TRUE(db.close());
    EXPECT_EQ(ReadBytes(s.DbPath), Cp932Lines({"Count,a,結果,Validity(制限判定)",
                                               "-,[Input],[Output],[System]", "1,1,ok,True"}));

    // The same for a variable name in the header.
    RunState h = MakeState(dir.file("h.csv"), "OverWrite", {{"in\xF0\x9F\x98\x80", "1"}}, {});
    RecordingUi ui2;
    DbWriter db2(ui2);
    ASSERT_TRUE(db2.open(h));
    EXPECT_FALSE(db2.writeHeader(h));
    ASSERT_EQ(ui2.messages.size(), 1u);
    EXPECT_NE(ui2.messages[0].find("見出し行"), std::string::npos) << ui2.messages[0];
    db2.close();
    EXPECT_EQ(ReadBytes(h.DbPath), "");
}

// ------------------------------------------------------------------ reader

TEST(DbReader, BlocksHeadersAndCountsOfAnAppendedFile) {
    TempDir dir;
    std::string path = dir.file("db.csv");
    // Only "False", in any case and nothing around it, is an invalid verdict.
    EXPECT_TRUE(IsInvalidVerdict("fAlSe"));
    EXPECT_FALSE(IsInvalidVerdict("False "));
    EXPECT_FALSE(IsInvalidVerdict("0"));
    // Two runs with different columns, a stray kind line, a lower-case verdict.
    WriteBytes(path, Cp932Lines({"Count,x,y,Validity(制限判定)", "-,[Input],[Output],[System]",
                                 "1,1,2,True", "2,2,4,false", "3,3,6,True",
                                 "Count,x,w,y,Validity(制限判定)",
                                 "-,[Input],[Input],[Output],[System]", "1,5,6,7,False",
                                 "-,[Input],[Input],[Output],[System]", "2,5,6,8,anything"}));
    DbReader reader;
    ASSERT_TRUE(reader.open(path));
    DbReader::Line line;
    std::vector<std::string> seen;
    while (reader.next(line)) {
        const char* kind = line.kind == DbReader::LineKind::Names   ? "N"
                           : line.kind == DbReader::LineKind::Kinds ? "K"
                                                                    : (line.valid ? "v" : "i");
        seen.push_back(std::to_string(line.block) + kind + line.fields[0]);
        if (line.lineNumber == 8) {
            // A data line carries its own block's columns.
            EXPECT_EQ(reader.header().inputColumns(), (std::vector<std::size_t>{1, 2}));
            EXPECT_EQ(reader.header().outputColumns(), std::vector<std::size_t>{3});
            EXPECT_EQ(reader.header().findColumn("y", kDbOutputKind), 3);
            EXPECT_EQ(line.fields[3], "7");
        }
    }
    EXPECT_TRUE(reader.error().empty());
    EXPECT_EQ(seen, (std::vector<std::string>{"0NCount", "0K-", "0v1", "0i2", "0v3", "1NCount",
                                              "1K-", "1i1", "1K-", "1v2"}));
    // The analyses build their tables from the first block.
    EXPECT_EQ(reader.firstHeader().names.size(), 4u);
    EXPECT_EQ(reader.firstHeader().findColumn("w"), -1);

    DbCounts counts;
    std::string error;
    ASSERT_TRUE(CountDbLines(path, counts, error)) << error;
    EXPECT_EQ(counts.valid, 3);
    EXPECT_EQ(counts.invalid, 2);
    EXPECT_EQ(counts.all(), 5);
}

// A hand-edited line with a stray quote is read by itself, its quote an
// ordinary character: it never swallows the lines after it. A quoted value
// runs across lines only when its quote closes and the record then has the
// header's field count.
TEST(DbReader, AStrayQuoteSwallowsNoLine) {
    TempDir dir;
    const std::string path = dir.file("db.csv");
    std::vector<std::string> lines = {"Count,x,y,Validity(制限判定)", "-,[Input],[Output],[System]"};
    for (int i = 1; i <= 100; ++i) lines.push_back(std::to_string(i) + "," + std::to_string(i) + ",2,True");
    lines[5] = "4,\"4,2,True";            // opens a quote that never closes
    lines[20] = "19,\"19,2,True";         // closes on the next line, but with 3 fields
    lines[21] = "20,20,2\",True";
    lines[40] = "39,39,\"two";            // a value with a line break: 4 fields
    lines[41] = "lines\",False";
    WriteBytes(path, Cp932Lines(lines));
    ASSERT_EQ(lines.size(), 102u);

    DbReader reader;
    ASSERT_TRUE(reader.open(path));
    DbReader::Line line;
    std::vector<std::int64_t> starts;
    while (reader.nextData(line)) {
        EXPECT_EQ(line.fields.size(), 4u) << line.lineNumber;
        starts.push_back(line.lineNumber);
        if (line.lineNumber == 6) {
            EXPECT_EQ(line.fields, (std::vector<std::string>{"4", "\"4", "2", "True"}));
        }
        if (line.lineNumber == 22) {
            EXPECT_EQ(line.fields[2], "2\"");
        }
        if (line.lineNumber == 41) {
            EXPECT_EQ(line.fields[2], "two\nlines");
            EXPECT_FALSE(line.valid);
        }
    }
    EXPECT_TRUE(reader.error().empty()) << reader.error();
    EXPECT_EQ(starts.size(), 99u);  // 100 lines, two of them one record
    EXPECT_EQ(starts.back(), 102);
    DbCounts counts;
    std::string error;
    ASSERT_TRUE(CountDbLines(path, counts, error)) << error;
    EXPECT_EQ(counts.valid, 98);
    EXPECT_EQ(counts.invalid, 1);
}

// An empty file and a lone names line read as nothing counted; a missing
// file and bytes that are not Shift_JIS are errors naming the file (and the
// line), the lines before the bad one still read.
TEST(DbReader, ShortEmptyMissingAndDamagedFiles) {
    TempDir dir;
    std::string error;
    DbHeader header;
    DbCounts counts;
    WriteBytes(dir.file("empty.csv"), "");
    ASSERT_TRUE(ReadDbHeader(dir.file("empty.csv"), header, error));
    EXPECT_TRUE(header.names.empty());
    ASSERT_TRUE(CountDbLines(dir.file("empty.csv"), counts, error));
    EXPECT_EQ(counts.all(), 0);
    WriteBytes(dir.file("one.csv"), "Count,a,Validity");  // no line end
    ASSERT_TRUE(ReadDbHeader(dir.file("one.csv"), header, error));
    EXPECT_EQ(header.names.size(), 3u);
    EXPECT_TRUE(header.kinds.empty());
    EXPECT_FALSE(CountDbLines(dir.file("missing.csv"), counts, error));
    EXPECT_NE(error.find("missing.csv"), std::string::npos);

    const std::string path = dir.file("bad.csv");
    WriteBytes(path, Cp932Lines({"Count,a,Validity(制限判定)", "-,[Input],[System]", "1,2,True"}) +
                         "2,\x82\xff,True\r\n3,4,True\r\n");
    EXPECT_FALSE(CountDbLines(path, counts, error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find(" の 4 行目は Shift_JIS"), std::string::npos) << error;
    EXPECT_EQ(counts.all(), 1);  // the lines before the bad one
    DbReader reader;
    ASSERT_TRUE(reader.open(path));
    DbReader::Line line;
    int data = 0;
    while (reader.nextData(line)) ++data;
    EXPECT_EQ(data, 1);
    EXPECT_FALSE(reader.error().empty());
}

}  // namespace
}  // namespace korvane

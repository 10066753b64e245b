#include <gtest/gtest.h>

#include "PlanTestSupport.h"
#include "run/DataFileInput.h"
#include "run/PlanValues.h"

using namespace korvane;
using namespace korvane::test;

namespace {

class DataFileInputTest : public ::testing::Test {
protected:
    // Inputs a, fixed, b and a second a; a reads column 0, b column 3.
    void Load(const std::string& dataFile, const std::string& readRow) {
        Project p;
        p.taskPlan = plan::DataFileInput;
        p.inputTasks = {Input("a", "", "1", ""), Input("fixed", "", "7", ""), Input("b", "", "2", ""),
                        Input("a", "", "1", "")};
        p.dataFileInput.dataFile = dataFile;
        p.dataFileInput.readRow = readRow;
        p.dataFileInput.readParams = {{"0", "a"}, {"3", "b"}};
        LoadForRun(p, work, state);
    }

    // Every calculation's values, as the run assigns them.
    std::vector<std::vector<std::string>> RunAll() {
        std::vector<std::vector<std::string>> values;
        EXPECT_TRUE(PrepareDataFileInput(state, app.path(), cursor, error)) << error;
        PlanSources sources;
        sources.dataFile = &cursor;
        const auto total = std::stoll(state.CalcTotal);
        for (state.CalcCount = 1; state.CalcCount <= total; ++state.CalcCount) {
            EXPECT_TRUE(AssignPlanValues(state, sources, error)) << error;
            values.push_back(state.InputValues);
        }
        CloseDataFile(cursor);
        return values;
    }

    static std::vector<std::string> Lines(int from, int to) {
        std::vector<std::string> l;
        for (int i = from; i <= to; ++i) l.push_back(std::to_string(i) + ",x,y," + std::to_string(i * 10));
        return l;
    }

    TempDir app, work;
    RunState state;
    DataFileCursor cursor;
    std::string error;
};

}  // namespace

TEST_F(DataFileInputTest, EachLineFromReadRowIsOneCalculation) {
    auto lines = Lines(1, 10);
    lines.insert(lines.begin(), "番号,名前,単位,荷重");
    WriteBytes(app.file("data.csv"), Cp932Lines(lines));
    Load("\\data.csv", "2");  // relative to the application folder
    const auto values = RunAll();
    EXPECT_EQ(state.DataFilePath, app.file("data.csv"));
    EXPECT_EQ(state.CalcTotal, "10");
    ASSERT_EQ(values.size(), 10u);
    for (int c = 0; c < 10; ++c) {
        EXPECT_EQ(values[c][1], std::to_string(c + 1));          // column 0
        EXPECT_EQ(values[c][3], std::to_string((c + 1) * 10));   // column 3 of the same line
        EXPECT_EQ(values[c][4], values[c][1]);                   // the repeated name copies
        EXPECT_EQ(values[c][2], "7");
    }

    // A second run starts from the Read Row again.
    EXPECT_EQ(RunAll(), values);
}

TEST_F(DataFileInputTest, FieldsReadByTheLeadingNumberRule) {
    WriteBytes(app.file("data.csv"), Cp932Lines({"abc,,,12.5kg", " -3e2x,,,1.25E-7", "7"}));
    Load(app.file("data.csv"), "1");
    const auto values = RunAll();
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0][1], "0");
    EXPECT_EQ(values[0][3], "12.5");
    EXPECT_EQ(values[1][1], "-300");
    EXPECT_EQ(values[1][3], "1.25E-07");
    EXPECT_EQ(values[2][3], "0");  // column beyond the line's fields
}

// What spreadsheet programs save: UTF-8 (with or without a byte-order mark)
// and quoted fields, some with a comma or a line break inside.
TEST_F(DataFileInputTest, Utf8AndQuotedFieldsAsSpreadsheetsSaveThem) {
    const std::string header = "番号,\"名前, 英\",単位,荷重";
    for (const std::string& bom : {std::string(), std::string("\xEF\xBB\xBF")}) {
        SCOPED_TRACE(bom.empty() ? "no BOM" : "BOM");
        WriteBytes(app.file("data.csv"), bom + header + "\r\n" + "1,\"a\nb\",x,\"1,250.5\"\r\n2,c,y,7\r\n");
        Load(app.file("data.csv"), "2");
        const auto values = RunAll();
        ASSERT_EQ(values.size(), 2u);  // the line break inside quotes is no new line
        EXPECT_EQ(values[0][3], "1250.5");
        EXPECT_EQ(values[1][1], "2");
        DataPreview preview;
        ASSERT_TRUE(LoadDataPreview(app.file("data.csv"), app.path(), preview, error)) << error;
        ASSERT_EQ(preview.lines.size(), 3u);
        EXPECT_EQ(preview.lines[0], (std::vector<std::string>{"番号", "名前, 英", "単位", "荷重"}));
    }
    // The same header in Shift_JIS is still read as Shift_JIS.
    WriteBytes(app.file("data.csv"), Cp932Lines({header, "5,a,b,6"}));
    DataPreview preview;
    ASSERT_TRUE(LoadDataPreview(app.file("data.csv"), app.path(), preview, error)) << error;
    EXPECT_EQ(preview.lines[0][1], "名前, 英");
}

TEST_F(DataFileInputTest, ReadRowBelowOneOrBeyondTheData) {
    WriteBytes(app.file("data.csv"), Cp932Lines(Lines(1, 3)));
    Load(app.file("data.csv"), "0");
    auto values = RunAll();
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0][1], "1");

    Load(app.file("data.csv"), "9");
    values = RunAll();
    EXPECT_EQ(state.CalcTotal, "-5");
    EXPECT_TRUE(values.empty());
}

TEST_F(DataFileInputTest, MissingOrUnreadableFileStopsNamingIt) {
    Load("\\nothing.csv", "2");
    EXPECT_FALSE(PrepareDataFileInput(state, app.path(), cursor, error));
    EXPECT_NE(error.find(app.file("nothing.csv")), std::string::npos) << error;

    WriteBytes(app.file("bad.csv"), "1,2\r\n\xFF\xFF,3\r\n");  // not Shift_JIS
    Load(app.file("bad.csv"), "1");
    EXPECT_FALSE(PrepareDataFileInput(state, app.path(), cursor, error));
    EXPECT_NE(error.find("bad.csv"), std::string::npos) << error;
}

TEST_F(DataFileInputTest, FileShorterThanCountedStopsWithoutChangingValues) {
    WriteBytes(app.file("data.csv"), Cp932Lines(Lines(1, 3)));
    Load(app.file("data.csv"), "1");
    ASSERT_TRUE(PrepareDataFileInput(state, app.path(), cursor, error)) << error;
    WriteBytes(app.file("data.csv"), "");  // the file is replaced during the run
    ASSERT_TRUE(OpenDataFile(state, cursor, error)) << error;
    PlanSources sources;
    sources.dataFile = &cursor;
    state.CalcCount = 1;
    const auto before = state.InputValues;
    EXPECT_FALSE(AssignPlanValues(state, sources, error));
    EXPECT_EQ(state.InputValues, before);
    EXPECT_NE(error.find("data.csv"), std::string::npos) << error;
}

// The preview shows at most 26 lines and finds the first line of numbers
// (0 when none of those shown is one); it names a file that is not there.
TEST_F(DataFileInputTest, PreviewShowsAtMost26LinesAndFindsTheFirstNumericOne) {
    DataPreview preview;
    WriteBytes(app.file("long.csv"), Cp932Lines(Lines(1, 100)));
    ASSERT_TRUE(LoadDataPreview("\\long.csv", app.path(), preview, error)) << error;
    EXPECT_EQ(preview.lines.size(), 26u);
    EXPECT_TRUE(preview.truncated);
    EXPECT_EQ(preview.lines[25], (std::vector<std::string>{"26", "x", "y", "260"}));

    WriteBytes(app.file("data.csv"), Cp932Lines({"名前,値", "単位,mm", "1.5,2", "3,4"}));
    ASSERT_TRUE(LoadDataPreview(app.file("data.csv"), app.path(), preview, error)) << error;
    EXPECT_EQ(FirstNumericLine(preview), 3);
    preview.lines.resize(2);
    EXPECT_EQ(FirstNumericLine(preview), 0);

    EXPECT_FALSE(LoadDataPreview("\\none.csv", app.path(), preview, error));
    EXPECT_EQ(error, kDataFilePathMessage);
    EXPECT_TRUE(LoadDataPreview("", app.path(), preview, error));
    EXPECT_TRUE(preview.lines.empty());
}

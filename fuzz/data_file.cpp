// The data file of the "DataFile Input" plan: counting its rows, reading the
// values of every calculation, and the settings window's preview, with the
// encoding detected from the file. The first input byte picks the Read Row
// and the columns read; the rest is the file.
//
// Properties: the file is taken as UTF-8 exactly when it is valid UTF-8 as a
// whole; every calculation the count promises can read its values; the
// preview shows at most its line limit.

#include "FuzzSupport.h"
#include "platform/TextFile.h"
#include "project/RunState.h"
#include "run/DataFileInput.h"

#include <cmath>

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t choice = data[0];
    const std::string bytes(fuzz::AsText(data + 1, size - 1));
    const std::string path = fuzz::WriteScratchFile(bytes, "input.csv");

    TextLineReader detect;
    FUZZ_CHECK(detect.open(path, TextLineReader::Encoding::Detect), "the file opens");
    FUZZ_CHECK((detect.encoding() == TextLineReader::Encoding::Utf8) == IsValidUtf8(bytes),
               "UTF-8 exactly when the whole file is valid UTF-8");
    detect.close();

    RunState state;
    state.DataFilePath = path;
    state.DataReadRow = static_cast<std::int64_t>(choice % 8) - 1;  // -1 to 6
    DataFileCursor cursor;
    std::string error;
    if (PrepareDataFileInput(state, "/nonexistent", cursor, error)) {
        const std::int64_t rows = std::stoll(state.CalcTotal);
        const std::int64_t columns = choice / 8 % 8;
        for (std::int64_t calc = 1; calc <= std::min<std::int64_t>(rows, 200); ++calc) {
            state.CalcCount = calc;
            for (std::int64_t column = -1; column <= columns; ++column) {
                double value = 0.0;
                FUZZ_CHECK(ReadDataValue(state, cursor, column, value, error), "a counted row can be read");
                FUZZ_CHECK(!std::isnan(value), "a value is a number");
            }
        }
        CloseDataFile(cursor);
    } else {
        FUZZ_CHECK(!error.empty(), "a refused file says why");
    }

    DataPreview preview;
    error.clear();
    if (LoadDataPreview(path, "/nonexistent", preview, error)) {
        FUZZ_CHECK(static_cast<int>(preview.lines.size()) <= kDataPreviewLines, "the preview is bounded");
        const int first = FirstNumericLine(preview);
        FUZZ_CHECK(first >= 0 && first <= static_cast<int>(preview.lines.size()), "first numeric line inside");
    } else {
        FUZZ_CHECK(!error.empty(), "a refused preview says why");
    }
    return 0;
}

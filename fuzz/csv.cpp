// CSV records as the DB file and the data files hold them: SplitCsvRecord on
// the input as one record, CsvNumber on its fields, and CsvRecordReader over
// the input as a file (encoding detected, as for data files).
//
// Properties: the fields of any record, written by CsvLine, split back into
// the same fields; records cover the file's lines in order.

#include "FuzzSupport.h"
#include "db/Csv.h"

#include <algorithm>
#include <cmath>

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(fuzz::AsText(data, size));

    std::vector<std::string> fields;
    const bool closed = SplitCsvRecord(text, fields);
    FUZZ_CHECK(!fields.empty(), "a record has a field");
    if (closed && text.find('"') == std::string::npos)
        FUZZ_CHECK(fields.size() == static_cast<std::size_t>(std::count(text.begin(), text.end(), ',')) + 1,
                   "an unquoted record has one field per comma and one");
    for (const std::string& f : fields) FUZZ_CHECK(!std::isnan(CsvNumber(f)), "a field reads as a number");

    std::vector<std::string> again;
    FUZZ_CHECK(SplitCsvRecord(CsvLine(fields), again), "a written record is closed");
    FUZZ_CHECK(again == fields, "a written record splits into the same fields");

    const std::string path = fuzz::WriteScratchFile(text, "input.csv");
    CsvRecordReader reader;
    FUZZ_CHECK(reader.open(path, TextLineReader::Encoding::Detect), "the file opens");
    std::int64_t lastLine = 0;
    std::int64_t records = 0;
    std::string record;
    while (reader.next(fields, &record)) {
        ++records;
        FUZZ_CHECK(reader.recordNumber() == records, "records are counted");
        FUZZ_CHECK(reader.lineNumber() > lastLine, "records move forward");
        FUZZ_CHECK(!fields.empty(), "a record has a field");
        lastLine = reader.lineNumber();
    }
    return 0;
}

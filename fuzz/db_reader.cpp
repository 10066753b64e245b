// The DB file as the analyses and the end window read it: DbReader line by
// line, ReadDbHeader and CountDbLines over the same bytes.
//
// Properties: every line has at least one field, blocks and line numbers only
// grow, the first block's header is the first two records, and the counts of
// CountDbLines are the data lines DbReader returns.

#include "FuzzSupport.h"
#include "db/DbFile.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteScratchFile(fuzz::AsText(data, size), "input.csv");

    DbReader reader;
    FUZZ_CHECK(reader.open(path), "the file opens");
    DbReader::Line line;
    DbCounts seen;
    std::int64_t lastLine = 0;
    int lastBlock = 0;
    std::int64_t records = 0;
    while (reader.next(line)) {
        ++records;
        FUZZ_CHECK(!line.fields.empty(), "a line has a field");
        FUZZ_CHECK(line.lineNumber > lastLine, "line numbers grow");
        FUZZ_CHECK(line.block >= lastBlock && line.block >= 0, "blocks grow");
        if (records == 1) FUZZ_CHECK(line.kind == DbReader::LineKind::Names, "the first record names the columns");
        if (records == 2) FUZZ_CHECK(line.kind == DbReader::LineKind::Kinds, "the second record gives the kinds");
        if (line.kind == DbReader::LineKind::Data) {
            FUZZ_CHECK(line.valid == IsValidDataLine(line.fields), "verdict from the last field");
            ++(line.valid ? seen.valid : seen.invalid);
        }
        lastLine = line.lineNumber;
        lastBlock = line.block;
        const DbHeader& h = reader.header();
        for (std::size_t c : h.inputColumns()) FUZZ_CHECK(c < h.kinds.size(), "input column inside the kinds");
        for (std::size_t c : h.outputColumns()) FUZZ_CHECK(c < h.kinds.size(), "output column inside the kinds");
        if (!h.names.empty()) {
            const int col = h.findColumn(h.names.back());
            FUZZ_CHECK(col >= 0 && h.names[static_cast<std::size_t>(col)] == h.names.back(), "findColumn finds");
            FUZZ_CHECK(h.findLastColumn(h.names.front()) >= 0, "findLastColumn finds");
            (void)h.findColumn(h.names.front(), kDbInputKind);
        }
    }
    const bool readWhole = reader.error().empty();
    const DbHeader first = reader.firstHeader();
    reader.close();

    DbHeader header;
    std::string error;
    const bool headerRead = ReadDbHeader(path, header, error);
    if (headerRead) {
        FUZZ_CHECK(header.names == first.names, "ReadDbHeader: the names line");
        if (records >= 2) FUZZ_CHECK(header.kinds == first.kinds, "ReadDbHeader: the kinds line");
    } else {
        FUZZ_CHECK(!error.empty(), "a failed header read says why");
    }

    DbCounts counts;
    error.clear();
    const bool counted = CountDbLines(path, counts, error);
    FUZZ_CHECK(counted == readWhole, "CountDbLines fails where DbReader does");
    FUZZ_CHECK(counts.valid == seen.valid && counts.invalid == seen.invalid, "CountDbLines counts the data lines");
    if (!counted) FUZZ_CHECK(!error.empty(), "a failed count says why");
    return 0;
}

// Prints a short summary of a DB file: its blocks, the number of calculations
// (valid and invalid), and for every input and output column of the last
// block its minimum, mean and maximum. Used by the run script after the
// example run; handy on any DB file.
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "db/DbFile.h"
#include "platform/TextFile.h"
#include "project/NumberText.h"

using namespace korvane;

namespace {

struct Column {
    std::string name, kind;
    double min = std::numeric_limits<double>::infinity();
    double max = -std::numeric_limits<double>::infinity();
    double sum = 0;
    std::int64_t n = 0;
};

// The text padded with blanks to `width` terminal columns; East Asian wide
// characters take two columns.
std::string Pad(const std::string& text, std::size_t width) {
    std::size_t columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t len = Utf8CharLength(text, i);
        unsigned cp = c < 0x80 ? c : 0;
        if (len == 3 && i + 2 < text.size())
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
        columns += (cp >= 0x1100 && cp < 0xFF61) || (cp >= 0xFFE0) ? 2 : 1;
        i += len;
    }
    return text + std::string(columns < width ? width - columns : 1, ' ');
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvane_dbsummary DBFILE\n");
        return 2;
    }
    DbReader reader;
    if (!reader.open(argv[1])) {
        std::fprintf(stderr, "korvane_dbsummary: %s\n", reader.error().c_str());
        return 1;
    }
    std::vector<Column> columns;
    int block = -1;
    std::int64_t valid = 0, invalid = 0, lines = 0;
    DbReader::Line line;
    int blocks = 0;
    while (reader.next(line)) {
        if (line.kind == DbReader::LineKind::Names) ++blocks;
        if (line.kind != DbReader::LineKind::Data) continue;
        if (line.block != block) {
            block = line.block;
            columns.clear();
            const DbHeader& h = reader.header();
            for (std::size_t i = 0; i < h.names.size(); ++i)
                columns.push_back({h.names[i], i < h.kinds.size() ? h.kinds[i] : "", std::numeric_limits<double>::infinity(),
                                   -std::numeric_limits<double>::infinity(), 0, 0});
        }
        ++lines;
        (line.valid ? valid : invalid)++;
        for (std::size_t i = 0; i < columns.size() && i < line.fields.size(); ++i) {
            double v = LeadingNumber(line.fields[i]);
            columns[i].min = std::fmin(columns[i].min, v);
            columns[i].max = std::fmax(columns[i].max, v);
            columns[i].sum += v;
            ++columns[i].n;
        }
    }
    if (!reader.error().empty()) {
        std::fprintf(stderr, "korvane_dbsummary: %s\n", reader.error().c_str());
        return 1;
    }
    std::printf("%s\n", argv[1]);
    std::printf("  blocks: %d, calculations: %lld (valid %lld, invalid %lld)\n", blocks,
                static_cast<long long>(lines), static_cast<long long>(valid), static_cast<long long>(invalid));
    if (lines == 0) return 0;
    std::printf("  %s%-9s %17s %17s %17s\n", Pad("column", 24).c_str(), "kind", "min", "mean", "max");
    for (const Column& c : columns) {
        if (c.kind != kDbInputKind && c.kind != kDbOutputKind) continue;
        if (c.n == 0) continue;
        std::printf("  %s%-9s %17s %17s %17s\n", Pad(c.name, 24).c_str(), c.kind.c_str(), GeneralNumber(c.min).c_str(),
                    GeneralNumber(c.sum / static_cast<double>(c.n)).c_str(), GeneralNumber(c.max).c_str());
    }
    return 0;
}

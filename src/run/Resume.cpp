#include "run/Resume.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unistd.h>
#include <vector>

#include "db/DbFile.h"
#include "platform/TextFile.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "run/PlanSequence.h"
#include "run/PrecisionStop.h"
#include "run/RunDriver.h"

namespace korvane {

namespace {

// One record of the file: a line, or several when a quoted value holds a
// line break (the rule every DB reader uses: see ReadCsvRecord).
struct Record {
    std::size_t begin = 0, end = 0;  // bytes; `end` after the line end
    bool whole = true;               // ended by a line end
    bool readable = true;            // valid Shift_JIS
    std::int64_t line = 0;           // the file line it starts on, from 1
    std::string text;                // without its line end, as UTF-8
    std::vector<std::string> fields;
};

struct Line {
    std::size_t begin = 0, end = 0;
    bool whole = true;
    bool readable = true;
    std::string text;
};

// The file's lines: LF (after a CR or not) ends one; bytes after the last
// line end are a line cut short.
std::vector<Line> SplitLines(const std::string& bytes) {
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < bytes.size()) {
        const std::size_t lf = bytes.find('\n', begin);
        Line line;
        line.begin = begin;
        line.whole = lf != std::string::npos;
        line.end = line.whole ? lf + 1 : bytes.size();
        std::size_t textEnd = line.whole ? lf : bytes.size();
        if (line.whole && textEnd > begin && bytes[textEnd - 1] == '\r') --textEnd;
        line.readable = DecodeCp932(bytes.substr(begin, textEnd - begin), line.text);
        begin = line.end;
        lines.push_back(std::move(line));
    }
    return lines;
}

// The records, each block's data lines read against its names line's field
// count. A line cut short is never part of a longer record: a cut only ever
// drops that line. Only the last block's records keep their text and fields
// (a resume looks at nothing else), so a long file costs little memory.
std::vector<Record> SplitRecords(const std::string& bytes) {
    const std::vector<Line> lines = SplitLines(bytes);
    std::vector<Record> records;
    std::size_t fieldCount = kOneLineRecords;
    std::size_t blockStart = 0;
    for (std::size_t i = 0; i < lines.size();) {
        const Line& first = lines[i];
        Record r;
        r.begin = first.begin;
        r.line = static_cast<std::int64_t>(i) + 1;
        r.readable = first.readable;
        std::size_t taken = 1;
        if (first.readable) {
            taken = ReadCsvRecord(first.text, first.whole ? fieldCount : kOneLineRecords,
                                  [&](std::size_t k) -> const std::string* {
                                      const std::size_t at = i + 1 + k;
                                      if (at >= lines.size() || !lines[at].whole || !lines[at].readable)
                                          return nullptr;
                                      return &lines[at].text;
                                  },
                                  r.fields, &r.text);
            if (taken == 1 && first.whole && !r.fields.empty() && r.fields[0] == kDbCountTitle) {
                fieldCount = r.fields.size();
                for (; blockStart < records.size(); ++blockStart) {
                    records[blockStart].text = std::string();
                    records[blockStart].fields = std::vector<std::string>();
                }
            }
        }
        const Line& last = lines[i + taken - 1];
        r.end = last.end;
        r.whole = last.whole;
        records.push_back(std::move(r));
        i += taken;
    }
    return records;
}

std::string Where(const std::string& path, std::int64_t line) {
    return "\nDBファイル: " + path + " (" + std::to_string(line) + "行目)";
}

}  // namespace

bool FindResumePoint(const RunState& state, PlanSequence& sequence, ResumePoint& point, std::string& error,
                     PrecisionStop* precision, RunObserver* observer) {
    point = ResumePoint{};
    const std::string& path = state.DbPath;
    if (state.PlanName == plan::MonteCarlo && state.RandomSeed == "Random") {
        error = "乱数シードが Random の計算は、同じ値を再現できないため再開できません。\n"
                "固定シードを指定した計算だけが再開できます。";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "再開するDBファイルを開けません: " + path + " (" + std::strerror(errno) + ")";
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<Record> records = SplitRecords(bytes);

    // The last block: its names line is the last whole record that starts
    // with "Count".
    std::size_t names = records.size();
    for (std::size_t i = records.size(); i-- > 0;) {
        const Record& r = records[i];
        if (r.whole && r.readable && !r.fields.empty() && r.fields[0] == kDbCountTitle) {
            names = i;
            break;
        }
    }
    if (names == records.size()) {
        error = "DBファイルに再開できる計算の記録 (見出し行) がありません。" + Where(path, 1);
        return false;
    }
    const std::string wantNames = DbWriter::NamesLine(state), wantKinds = DbWriter::KindLine(state);
    if (records[names].text != wantNames) {
        error = "DBファイルの最後の記録はこのプロジェクトのものではありません (変数名が違います)。\n"
                "DBファイル: " + records[names].text + "\nプロジェクト: " + wantNames + Where(path, records[names].line);
        return false;
    }
    if (names + 1 >= records.size() || !records[names + 1].whole || !records[names + 1].readable ||
        records[names + 1].text != wantKinds) {
        error = "DBファイルの最後の記録はこのプロジェクトのものではありません (列の種類が違います)。\n"
                "プロジェクト: " + wantKinds + Where(path, records[names].line + 1);
        return false;
    }
    point.keepBytes = records[names + 1].end;

    const std::size_t fieldCount = state.inputCount() + state.outputCount() + 2;
    CalcValues values;
    for (std::size_t i = names + 2; i < records.size(); ++i) {
        const Record& r = records[i];
        if (!r.whole) {
            point.partialLine = true;  // cut short by the interruption
            break;
        }
        const std::int64_t count = point.done + 1;
        const std::vector<std::string>& fields = r.fields;
        if (!r.readable || fields.size() != fieldCount) {
            error = "DBファイルの計算 " + std::to_string(count) + " の行は、このプロジェクトの列数 (" +
                    std::to_string(fieldCount) + ") と合いません。" + Where(path, r.line);
            return false;
        }
        if (fields[0] != std::to_string(count)) {
            error = "DBファイルの計算番号が続いていません: " + std::to_string(count) + " のところに \"" + fields[0] +
                    "\" があります。" + Where(path, r.line);
            return false;
        }
        if (fields.back() != "True" && fields.back() != "False") {
            error = "DBファイルの計算 " + std::to_string(count) + " の制限判定が \"" + fields.back() +
                    "\" です。" + Where(path, r.line);
            return false;
        }
        std::string planError;
        if (!sequence.next(values, planError)) {
            error = "DBファイルには計算計画より多くの計算 (" + std::to_string(count) + " 以降) が記録されています。" +
                    (planError.empty() ? std::string() : "\n" + planError) + Where(path, r.line);
            return false;
        }
        for (std::size_t k = 1; k <= state.inputCount(); ++k) {
            if (fields[k] == values.recorded[k]) continue;
            error = "DBファイルの計算 " + std::to_string(count) + " の入力値が、この計算計画の値と一致しません (変数 " +
                    state.InputNames[k] + ": DBファイル " + fields[k] + "、計画 " + values.recorded[k] +
                    ")。\n乱数シード、データファイル、水準などが変わっていないか確認して下さい。" + Where(path, r.line);
            return false;
        }
        point.done = count;
        point.keepBytes = r.end;
        if (observer)
            observer->lineWritten(std::span<const std::string>(fields).subspan(state.inputCount() + 1, state.outputCount()),
                                  fields.back() != "False");
        if (precision && precision->active() && point.precisionAt == 0) {
            precision->addLine(fields[state.inputCount() + precision->output()], fields.back() != "False");
            if (precision->reached()) point.precisionAt = count;
        }
    }
    return true;
}


}  // namespace korvane

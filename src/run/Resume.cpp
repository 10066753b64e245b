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

namespace korvane {

namespace {

// One record of the file: a line, or several when a quoted field holds a
// line break.
struct Record {
    std::size_t begin = 0, end = 0;  // bytes; `end` after the CR LF
    bool whole = true;               // ended by CR LF
    std::int64_t line = 0;           // the file line it starts on, from 1
};

std::vector<Record> SplitRecords(const std::string& bytes) {
    std::vector<Record> records;
    bool quoted = false;
    std::size_t begin = 0;
    std::int64_t line = 1, startLine = 1;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '"') quoted = !quoted;
        if (c != '\n') continue;
        ++line;
        // Shift_JIS trail bytes are never a quote, CR or LF: bytes can be
        // scanned as they are.
        if (quoted || i == 0 || bytes[i - 1] != '\r') continue;
        records.push_back({begin, i + 1, true, startLine});
        begin = i + 1;
        startLine = line;
    }
    if (begin < bytes.size()) records.push_back({begin, bytes.size(), false, startLine});
    return records;
}

// The record's text without its line end, as UTF-8.
bool RecordText(const std::string& bytes, const Record& r, std::string& text) {
    std::size_t end = r.end;
    if (r.whole) end -= 2;
    return DecodeCp932(bytes.substr(r.begin, end - r.begin), text);
}

std::string Where(const std::string& path, std::int64_t line) {
    return "\nDBファイル: " + path + " (" + std::to_string(line) + "行目)";
}

}  // namespace

bool FindResumePoint(const RunState& state, PlanSequence& sequence, ResumePoint& point, std::string& error) {
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
    std::string text;
    for (std::size_t i = records.size(); i-- > 0;) {
        if (!records[i].whole || !RecordText(bytes, records[i], text)) continue;
        const auto fields = SplitDbFields(text);
        if (!fields.empty() && fields[0] == kDbCountTitle) {
            names = i;
            break;
        }
    }
    if (names == records.size()) {
        error = "DBファイルに再開できる計算の記録 (見出し行) がありません。" + Where(path, 1);
        return false;
    }
    const std::string wantNames = DbWriter::NamesLine(state), wantKinds = DbWriter::KindLine(state);
    if (!RecordText(bytes, records[names], text) || text != wantNames) {
        error = "DBファイルの最後の記録はこのプロジェクトのものではありません (変数名が違います)。\n"
                "DBファイル: " + text + "\nプロジェクト: " + wantNames + Where(path, records[names].line);
        return false;
    }
    if (names + 1 >= records.size() || !records[names + 1].whole || !RecordText(bytes, records[names + 1], text) ||
        text != wantKinds) {
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
        std::vector<std::string> fields;
        if (!RecordText(bytes, r, text) || (fields = SplitDbFields(text)).size() != fieldCount) {
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
    }
    return true;
}

bool DropPartialLine(const std::string& path, std::uint64_t keepBytes, std::string& error) {
    if (::truncate(path.c_str(), static_cast<off_t>(keepBytes)) == 0) return true;
    error = "DBファイルの途中までの行を取り除けません: " + path + " (" + std::strerror(errno) + ")";
    return false;
}

}  // namespace korvane

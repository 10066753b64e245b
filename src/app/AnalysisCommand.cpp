#include "AnalysisCommand.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ConsoleUi.h"
#include "analysis/FactorialEffects.h"
#include "db/ResultTable.h"
#include "analysis/Sensitivity.h"
#include "analysis/SobolIndices.h"
#include "analysis/Statistics.h"
#include "analysis/Summary.h"
#include "project/Paths.h"

namespace korvane {

namespace {

enum class Kind { Stats, Sens, Effects, Summary, Sobol };

struct Options {
    Kind kind = Kind::Stats;
    std::string db;
    std::string out;
    bool includeInvalid = false;
    std::vector<std::pair<std::string, std::string>> objectives;  // name, "最大化"/"最小化"
};

constexpr int kBadInput = 2;
constexpr int kWriteFailed = 1;

int Refuse(const std::string& text) {
    PrintMessage(text);
    return kBadInput;
}

// Parses the command line; an empty text on success, else what is wrong.
std::string Parse(int argc, char** argv, Options& o) {
    const std::string command = argv[1];
    o.kind = command == "--stats"     ? Kind::Stats
             : command == "--sens"    ? Kind::Sens
             : command == "--summary" ? Kind::Summary
             : command == "--sobol"   ? Kind::Sobol
                                      : Kind::Effects;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-o" || a == "--objective") {
            if (i + 1 >= argc) return a + " には値が必要です。";
            const std::string value = argv[++i];
            if (a == "-o") {
                o.out = value;
                continue;
            }
            if (o.kind != Kind::Sens) return "--objective は --sens でのみ使えます。";
            const std::size_t eq = value.rfind('=');
            const std::string dir = eq == std::string::npos ? std::string() : value.substr(eq + 1);
            if (eq == std::string::npos || eq == 0 || (dir != "max" && dir != "min"))
                return "--objective は 出力名=max または 出力名=min で指定してください: " + value;
            o.objectives.emplace_back(value.substr(0, eq), dir == "max" ? kMaximise : kMinimise);
        } else if (a == "--include-invalid") {
            if (o.kind == Kind::Effects) return "--include-invalid は --effects では使えません（全行を使います）。";
            o.includeInvalid = true;
        } else if (!a.empty() && a[0] == '-' && a.size() > 1) {
            return "不明なオプションです: " + a;
        } else if (o.db.empty()) {
            o.db = a;
        } else {
            return "DBファイルは一つだけ指定してください: " + a;
        }
    }
    if (o.db.empty()) return command + " にはDBファイルの指定が必要です。";
    return {};
}

int Write(const Options& o, const ResultRows& rows) {
    if (o.out.empty()) {
        for (const auto& row : rows) std::printf("%s\n", CsvLine(row).c_str());
        return FinishStdout() ? 0 : kWriteFailed;
    }
    std::string error;
    if (SaveResultTable(ResolveAppRelative(o.out), rows, error)) return 0;
    PrintMessage(error);
    return kWriteFailed;
}

void Note(const std::string& text) {
    if (!text.empty()) PrintMessage(text);
}

int Stats(const Options& o, const std::string& path) {
    StatisticsResult r;
    if (!ComputeStatistics(path, o.includeInvalid, {}, r)) return Refuse(r.error);
    if (r.columns.empty()) return Refuse("DBファイルに解析する列がありません: " + path);
    Note(SkippedLinesMessage(r.skipped, r.unreadable));
    if (r.used == 0) Note(kNoUsedRowMessage);
    else if (IsSmallSample(r.used)) Note(kSmallSampleMessage);
    return Write(o, StatisticsTable(r));
}

int Sens(const Options& o, const std::string& path) {
    SensitivityResult r;
    if (!ComputeSensitivity(path, o.includeInvalid, {}, r)) return Refuse(r.error);
    if (r.inputs.empty() || r.outputs.empty())
        return Refuse("DBファイルの種別行に入力または出力の列がありません: " + path);
    SensitivityTable table(r);
    table.fill(r);
    for (const auto& [name, objective] : o.objectives) {
        bool found = false;
        for (std::size_t c = 0; c < r.outputs.size(); ++c) {
            if (r.outputs[c] != name) continue;
            table.setObjective(c + 1, objective);
            found = true;
        }
        if (!found) return Refuse("出力「" + name + "」はDBファイルにありません: " + path);
    }
    Note(SkippedLinesMessage(r.skipped, r.unreadable));
    if (r.used == 0) Note(kNoUsedRowMessage);
    return Write(o, table.rows());
}

int Summary(const Options& o, const std::string& path) {
    SummaryResult r;
    if (!ComputeSummary(path, o.includeInvalid, {}, r)) return Refuse(r.error);
    if (r.outputs.empty()) return Refuse("DBファイルの種別行に出力の列がありません: " + path);
    Note(SkippedLinesMessage(r.skipped));
    Note(UnreadableValuesMessage(r.unreadable));
    if (r.lines == 0) Note(kNoUsedRowMessage);
    return Write(o, SummaryTable(r));
}

int Sobol(const Options& o, const std::string& path) {
    SobolOptions options;
    options.includeInvalid = o.includeInvalid;
    SobolResult r;
    if (!ComputeSobolIndices(path, options, {}, r)) return Refuse(r.error);
    for (const auto& note : SobolNotes(r)) Note(note);
    return Write(o, SobolTable(r));
}

int Effects(const Options& o, const std::string& path) {
    EffectsTable t;
    std::string error;
    if (!ReadEffectsTable(path, t, error)) return Refuse(error);
    Note(SkippedLinesMessage(t.skipped, t.unreadable));
    if (t.truncated) Note(std::string(kTooManyLinesMessage) + "（先頭の" + std::to_string(kMaxEffectLines) +
                          "行で解析しました）");
    if (t.dataLines == 0) Note(kNoUsedRowMessage);
    // One block per output: its name, then the level values of every factor.
    ResultRows rows;
    for (std::size_t k = 0; k < t.outputs.size(); ++k) {
        if (k > 0) rows.push_back({});
        rows.push_back({t.outputs[k]});
        std::vector<FactorLevels> factors;
        for (const auto& input : t.inputs) factors.push_back(LevelValues(t, k, input));
        for (auto& row : EffectsGridRows(factors)) rows.push_back(std::move(row));
    }
    return Write(o, rows);
}

}  // namespace

bool IsAnalysisCommand(int argc, char** argv) {
    if (argc < 2) return false;
    return std::strcmp(argv[1], "--stats") == 0 || std::strcmp(argv[1], "--sens") == 0 ||
           std::strcmp(argv[1], "--effects") == 0 || std::strcmp(argv[1], "--summary") == 0 ||
           std::strcmp(argv[1], "--sobol") == 0;
}

int RunAnalysisCommand(int argc, char** argv) {
    Options o;
    const std::string problem = Parse(argc, argv, o);
    if (!problem.empty()) return Refuse(problem + "\n詳しくは korvane --help を参照してください。");
    const std::string path = ResolveAppRelative(o.db);
    if (path.empty()) return Refuse(o.db + "\n" + kClimbsOutMessage);
    if (!o.out.empty()) {
        // The table never replaces what it is computed from.
        const std::string out = ResolveAppRelative(o.out);
        if (out.empty()) return Refuse(o.out + "\n" + kClimbsOutMessage);
        if (SameFile(out, path))
            return Refuse("-o の出力ファイルが解析するDBファイルと同じファイルです。別のファイルを指定してください。\n"
                          "出力ファイル: " + o.out + "\nDBファイル: " + o.db);
    }
    switch (o.kind) {
    case Kind::Stats:
        return Stats(o, path);
    case Kind::Sens:
        return Sens(o, path);
    case Kind::Effects:
        return Effects(o, path);
    case Kind::Summary:
        return Summary(o, path);
    case Kind::Sobol:
        return Sobol(o, path);
    }
    return kBadInput;
}

const char* AnalysisCommandHelp() {
    return "Analyses of a DB file, without any window (tables as the windows save them):\n"
           "  korvane --stats DB.csv [--include-invalid] [-o OUT.csv]\n"
           "      minimum, average, maximum, variance, standard deviation per column\n"
           "  korvane --sens DB.csv [--include-invalid] [--objective NAME=max|min]... [-o OUT.csv]\n"
           "      normalised sensitivities; outputs marked as objectives give the total\n"
           "  korvane --effects DB.csv [-o OUT.csv]\n"
           "      level values in dB of every factor, one block per output\n"
           "  korvane --summary DB.csv [--include-invalid] [-o OUT.csv]\n"
           "      per output: count, mean and its 95% confidence interval, sample\n"
           "      standard deviation, 5/50/95% quantiles (linear interpolation, as\n"
           "      PERCENTILE.INC), share of False lines and its 95% Wilson interval\n"
           "  korvane --sobol DB.csv [--include-invalid] [-o OUT.csv]\n"
           "      Sobol' indices of every output to every input with 95% bootstrap\n"
           "      intervals: first-order S1 and total ST from a study laid out by the\n"
           "      sampling method Saltelli (groups A, B, AB1..ABk, recognised from the\n"
           "      lines); from any other DB file S1 only, estimated from the given data\n"
           "  Lines whose verdict is False are left out unless --include-invalid is given.\n"
           "  With -o the table is written in Shift_JIS with CR LF, otherwise to standard\n"
           "  output in UTF-8. Exit status 0 on success, 2 for a wrong command line, a\n"
           "  missing or malformed DB file or an OUT.csv that is the DB file itself (for\n"
           "  --sobol also a design that breaks off, too few groups or lines for the\n"
           "  bootstrap, or a file too large for memory), 1 when OUT.csv or standard\n"
           "  output cannot be written.\n";
}

}  // namespace korvane

// Fills RunState from the main window's header values and the working copy.
// The load reads strictly: a malformed working copy refuses the run with a
// message naming the line, and the caller's RunState is left untouched.

#include <cmath>
#include <limits>

#include "platform/TextFile.h"
#include "project/NumberText.h"
#include "project/Paths.h"
#include "project/RunState.h"

namespace korvane {

void ResetRunArrays(RunState& s) {
    s.CalcCount = 0;
    s.StopRequested = true;
    s.OutputsRead = true;
    s.UnreadableCalcs = 0;
    s.FirstUnreadable.clear();
    auto shrink = [](auto& v) { v.resize(1); };
    shrink(s.ShellTasks);
    shrink(s.InputNames), shrink(s.InputAddresses), shrink(s.InputSheets), shrink(s.InputLower);
    shrink(s.InputInitial), shrink(s.InputValues), shrink(s.InputUpper), shrink(s.FormatKinds);
    shrink(s.FormatArgs), shrink(s.PlanSelected), shrink(s.ReplaceLists), shrink(s.DistType);
    shrink(s.DistCenter), shrink(s.DistSpread), shrink(s.DataColumn), shrink(s.InputRows);
    shrink(s.InputColumns), shrink(s.LevelLow), shrink(s.LevelHigh);
    shrink(s.OutputNames), shrink(s.OutputAddresses), shrink(s.OutputSheets), shrink(s.OutputLower);
    shrink(s.OutputValues), shrink(s.OutputUpper), shrink(s.OutputRows), shrink(s.OutputColumns);
}

std::size_t AddInputVariable(RunState& s, const std::string& name, const std::string& address,
                             const std::string& sheet, const std::string& lower, double initial,
                             const std::string& upper, const std::string& formatKind, const std::string& formatArg) {
    s.InputNames.push_back(name);
    s.InputAddresses.push_back(address);
    s.InputSheets.push_back(sheet);
    s.InputLower.push_back(lower);
    s.InputInitial.push_back(initial);
    s.InputValues.push_back(GeneralNumber(initial));
    s.InputUpper.push_back(upper);
    s.FormatKinds.push_back(formatKind);
    s.FormatArgs.push_back(formatArg);
    s.PlanSelected.push_back(false);
    s.ReplaceLists.push_back("");
    s.DistType.push_back("0");
    s.DistCenter.push_back(0.0);
    s.DistSpread.push_back(0.0);
    s.DataColumn.push_back(0);
    s.InputRows.push_back(1);
    s.InputColumns.push_back(1);
    s.LevelLow.push_back(1.0);
    s.LevelHigh.push_back(0.0);
    return s.InputNames.size() - 1;
}

std::size_t AddOutputVariable(RunState& s, const std::string& name, const std::string& address,
                              const std::string& sheet, const std::string& lower, const std::string& upper) {
    s.OutputNames.push_back(name);
    s.OutputAddresses.push_back(address);
    s.OutputSheets.push_back(sheet);
    s.OutputLower.push_back(lower);
    s.OutputValues.push_back("0");
    s.OutputUpper.push_back(upper);
    s.OutputRows.push_back(1);
    s.OutputColumns.push_back(1);
    return s.OutputNames.size() - 1;
}

namespace {

struct LoadError {
    std::string message;
};

class Loader {
public:
    Loader(RunState& s, const std::string& path) : s_(s), path_(path) {}

    void run() {
        if (!reader_.open(path_)) throw LoadError{"作業ファイルを開けません。\n" + reader_.error()};
        std::string line;
        while (next(line)) {
            const std::string k = LineKey(line);
            if (k == key::InputPram) {
                addInput(LineValue(line));
            } else if (k == key::OutputPram) {
                addOutput(LineValue(line));
            } else if (line == section::InputReplace.start) {
                readReplaceSection();
            } else if (k == key::App) {
                s_.ShellTasks.push_back(LineValue(line));
            } else if (k == key::Macro) {
                s_.MacroList = LineValue(line);
            } else if (k == key::TaskPlan) {
                s_.PlanName = LineValue(line);
            } else if (s_.PlanName == plan::MonteCarlo && line == section::MonteCarlo.start) {
                readMonteCarlo();
            } else if (s_.PlanName == plan::DataFileInput && line == section::DataFileInput.start) {
                readDataFileInput();
            } else if (s_.PlanName == plan::OrthogonalTable && line == section::OrthogonalTable.start) {
                readOrthogonal();
            }
        }
    }

private:
    bool next(std::string& line) {
        if (reader_.next(line)) {
            current_ = line;
            return true;
        }
        if (!reader_.error().empty()) throw LoadError{"作業ファイルを読み込めません。\n" + reader_.error()};
        return false;
    }

    [[noreturn]] void fail(const std::string& reason) const {
        throw LoadError{"プロジェクトの内容に誤りがあります (" + std::to_string(reader_.lineNumber()) +
                        "行目): " + reason + "\n" + current_};
    }

    // The next line of a section; the end of the file inside it is an error.
    std::string sectionLine(const Section& sec) {
        std::string line;
        if (!next(line)) fail(std::string("\"") + sec.end + "\" の行がありません。");
        return line;
    }

    std::string settingLine(const Section& sec, const char* expectedKey) {
        std::string line = sectionLine(sec);
        if (line == sec.end || LineKey(line) != expectedKey)
            fail(std::string("\"") + sec.start + "\" の設定行 \"" + expectedKey + "\" がありません。");
        return LineValue(line);
    }

    double number(const std::string& text, const char* what) const {
        double v;
        if (!ParseDecimal(text, v) || !std::isfinite(v))
            fail(std::string(what) + " が数値ではありません: \"" + text + "\"");
        return v;
    }

    std::int64_t integer(const std::string& text, const char* what, double lo, double hi) const {
        double v = number(text, what);
        if (v < lo || v > hi) fail(std::string(what) + " が範囲外です: \"" + text + "\"");
        return RoundToInteger(v);
    }

    std::vector<std::string> fields(const std::string& value, std::size_t minimum, const char* what) const {
        auto f = SplitFields(value);
        if (f.size() < minimum)
            fail(std::string(what) + " の行の項目が足りません (" + std::to_string(minimum) + "個必要, " +
                 std::to_string(f.size()) + "個)。");
        return f;
    }

    void addInput(const std::string& value) {
        auto f = fields(value, 8, "入力変数");
        double initial = number(f[4], "初期値");
        // A "Format" pattern may hold the grouping comma: the argument is the
        // rest of the row, so "#,##0" survives as written.
        std::string formatArg = f[7];
        for (std::size_t i = 8; i < f.size(); ++i) formatArg += "," + f[i];
        AddInputVariable(s_, f[0], f[1], f[2], f[3], initial, f[5], f[6], formatArg);
    }

    void addOutput(const std::string& value) {
        auto f = fields(value, 6, "出力変数");
        AddOutputVariable(s_, f[0], f[1], f[2], f[3], f[5]);
    }

    template <typename F>
    void forInputsNamed(const std::string& name, F apply) {
        for (std::size_t i = 1; i < s_.InputNames.size(); ++i)
            if (s_.InputNames[i] == name) apply(i);
    }

    void readReplaceSection() {
        const Section& sec = section::InputReplace;
        for (std::string line = sectionLine(sec); line != sec.end; line = sectionLine(sec)) {
            if (LineKey(line) != key::ReplacePram) continue;
            std::string value = LineValue(line);
            auto comma = value.find(',');
            if (comma == std::string::npos) fail("置換設定の行に \",\" がありません。");
            std::string list = value.substr(comma + 1);
            forInputsNamed(value.substr(0, comma), [&](std::size_t i) { s_.ReplaceLists[i] = list; });
        }
    }

    void readMonteCarlo() {
        const Section& sec = section::MonteCarlo;
        s_.MonteCarloCount = integer(settingLine(sec, key::NumOfCalc), "計算回数", 0, 9.2e18);
        s_.RestartPerCalc = static_cast<int>(integer(settingLine(sec, key::RestartExcel), "Restart Excel", 0, 1));
        s_.RandomSeed = settingLine(sec, key::RandomSeed);
        for (std::string line = sectionLine(sec); line != sec.end; line = sectionLine(sec)) {
            if (LineKey(line) != key::VarParam) continue;
            auto f = fields(LineValue(line), 4, "サンプリング変数");
            double center = number(f[2], "中心値");
            double spread = number(f[3], "標準偏差");
            forInputsNamed(f[0], [&](std::size_t i) {
                s_.PlanSelected[i] = true;
                s_.DistType[i] = f[1];
                s_.DistCenter[i] = center;
                s_.DistSpread[i] = spread;
            });
        }
    }

    void readDataFileInput() {
        const Section& sec = section::DataFileInput;
        s_.DataFilePath = settingLine(sec, key::DataFile);
        s_.DataReadRow = integer(settingLine(sec, key::ReadRow), "Read Row", -9.2e18, 9.2e18);
        s_.RestartPerCalc = static_cast<int>(integer(settingLine(sec, key::RestartExcel), "Restart Excel", 0, 1));
        for (std::string line = sectionLine(sec); line != sec.end; line = sectionLine(sec)) {
            if (LineKey(line) != key::ReadParam) continue;
            auto f = fields(LineValue(line), 2, "データファイルの読込列");
            std::int64_t column = integer(f[0], "列番号", 0, 2147483647.0);
            forInputsNamed(f[1], [&](std::size_t i) {
                s_.PlanSelected[i] = true;
                s_.DataColumn[i] = column;
            });
        }
    }

    void readOrthogonal() {
        const Section& sec = section::OrthogonalTable;
        s_.LevelChoice = settingLine(sec, key::Level);
        s_.RestartPerCalc = static_cast<int>(integer(settingLine(sec, key::RestartExcel), "Restart Excel", 0, 1));
        for (std::string line = sectionLine(sec); line != sec.end; line = sectionLine(sec)) {
            if (LineKey(line) != key::VarParam) continue;
            auto f = fields(LineValue(line), 4, "直交表の因子");
            double low = number(f[1], "下方値");
            double high = number(f[3], "上方値");
            forInputsNamed(f[0], [&](std::size_t i) {
                s_.PlanSelected[i] = true;
                s_.LevelLow[i] = low;
                s_.LevelHigh[i] = high;
            });
        }
    }

    RunState& s_;
    std::string path_;
    TextLineReader reader_;
    std::string current_;
};

}  // namespace

bool LoadProjectForRun(RunState& state, const HeaderValues& header, const std::string& workingCopy,
                       std::string& error) {
    RunState loaded = state;
    loaded.WorkbookPath = ResolveAppRelative(header.workbookPath);
    loaded.DbPath = ResolveAppRelative(header.dbPath);
    if (header.optionOW)
        loaded.WriteMode = "OverWrite";
    else if (header.optionAP)
        loaded.WriteMode = "Append";
    loaded.PlanName = header.plan;
    try {
        Loader(loaded, workingCopy).run();
    } catch (const LoadError& e) {
        error = e.message;
        return false;
    }
    state = std::move(loaded);
    return true;
}

}  // namespace korvane

// Fills RunState from the main window's header values and the working copy.
// The load reads strictly: a malformed working copy refuses the run with a
// message naming the line (or the variable), and the caller's RunState is
// left untouched.

#include <cmath>
#include <limits>

#include "platform/TextFile.h"
#include "project/NumberText.h"
#include "project/Paths.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "project/Sampling.h"
#include "run/SampledDraws.h"

namespace korvane {

void ResetRunArrays(RunState& s) {
    s.CalcCount = 0;
    s.StopRequested = true;
    s.OutputsRead = true;
    s.UnreadableCalcs = 0;
    s.FirstUnreadable.clear();
    s.TimedOutCalcs = 0;
    s.ReplacedInstances = 0;
    s.CrashedCalcs = 0;
    s.LeftRunning.clear();
    s.Sampling = SamplingSettings{};
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

// The windows where a variable's values are set.
constexpr const char* kInitialWindow = "初期値設定";
constexpr const char* kRestrictionWindow = "制限値設定";
constexpr const char* kMonteCarloWindow = "MonteCarlo設定";
constexpr const char* kOrthogonalWindow = "実験計画法 直交表設定";

// The run's checks on top of the one reading of the project: every problem
// of a section the run uses, and every number the run computes with, refuses
// the run with a message naming the line; a variable's value names the
// variable and the window where it is set instead.
class Loader {
public:
    Loader(RunState& s, const std::vector<std::string>& lines) : s_(s), lines_(lines), parsed_(ReadProject(lines)) {}

    void run() {
        const Project& p = parsed_.project;
        if (parsed_.hasTaskPlan) s_.PlanName = p.taskPlan;
        const Section* planSection = s_.PlanName == plan::MonteCarlo      ? &section::MonteCarlo
                                     : s_.PlanName == plan::DataFileInput ? &section::DataFileInput
                                     : s_.PlanName == plan::OrthogonalTable ? &section::OrthogonalTable
                                                                            : nullptr;
        for (const ProjectProblem& problem : parsed_.problems) {
            const Section* sec = problem.section;
            // The header lines are the window's; other plans' sections are
            // not read.
            if (problem.line <= 4 && !sec && problem.reason.find("<<") == std::string::npos) continue;
            if (sec == &section::MonteCarlo || sec == &section::DataFileInput || sec == &section::OrthogonalTable)
                if (sec != planSection) continue;
            // The sampling section is the Monte Carlo plan's.
            if (sec == &section::Sampling && planSection != &section::MonteCarlo) continue;
            fail(problem.line, problem.reason);
        }

        for (std::size_t i = 0; i < p.inputTasks.size(); ++i) {
            const InputTask& t = p.inputTasks[i];
            AddInputVariable(s_, t.name, t.range, t.sheet, t.lower, value(t.name, t.initial, "初期値", kInitialWindow),
                             t.upper, t.formatKind, t.formatArg);
        }
        for (std::size_t i = 0; i < p.outputTasks.size(); ++i) {
            const OutputTask& t = p.outputTasks[i];
            // The judgement reads the limits by their leading number; a
            // limit without one would silently be 0.
            limit(t.name, t.lower, "下限値");
            limit(t.name, t.upper, "上限値");
            AddOutputVariable(s_, t.name, t.range, t.sheet, t.lower, t.upper);
        }
        for (const ReplaceTask& t : p.replaceTasks)
            forInputsNamed(t.name, [&](std::size_t i) { s_.ReplaceLists[i] = t.replaceList; });
        for (std::size_t i = 0; i < p.shellTasks.size(); ++i)
            s_.ShellTasks.push_back(LineValue(lines_[parsed_.shellLines[i] - 1]));
        s_.MacroList = p.macro;

        if (planSection == &section::MonteCarlo) {
            readMonteCarlo(p.monteCarlo);
            s_.Sampling = p.sampling;
            checkSampling(p);
        }
        if (planSection == &section::DataFileInput) readDataFileInput(p.dataFileInput);
        if (planSection == &section::OrthogonalTable) readOrthogonal(p.orthogonalTable);
    }

private:
    [[noreturn]] void fail(std::size_t line, const std::string& reason) const {
        const std::string text = line >= 1 && line <= lines_.size() ? lines_[line - 1] : std::string();
        throw LoadError{"プロジェクトの内容に誤りがあります (" + std::to_string(line) + "行目): " + reason + "\n" +
                        text};
    }

    // A section the plan needs must be there with its settings lines.
    void requireSection(const Section& sec, const std::size_t* settings, int count) const {
        for (int i = 0; i < count; ++i)
            if (settings[i] == 0)
                fail(lines_.size(), std::string("\"") + sec.start + "\" の設定行がありません。");
    }

    // A variable's value that the run computes with: refused with a message
    // naming the variable and the window where it is set.
    double value(const std::string& name, const std::string& text, const char* what, const char* window) const {
        double v;
        if (ParseDecimal(text, v) && std::isfinite(v)) return v;
        throw LoadError{(text.empty() ? "変数[" + name + "]の" + what + "が入力されていません。"
                                      : "変数[" + name + "]の" + what + "が数値ではありません: \"" + text + "\"") +
                        "\n「" + window + "」で数値を入力して下さい。"};
    }

    // A limit is empty (none) or read by its leading number.
    void limit(const std::string& name, const std::string& text, const char* what) const {
        if (text.empty() || HasLeadingNumber(text)) return;
        throw LoadError{"変数[" + name + "]の" + what + "が数値ではありません: \"" + text + "\"\n「" +
                        kRestrictionWindow + "」で数値を入力するか空欄にして下さい。"};
    }

    double number(std::size_t line, const std::string& text, const char* what) const {
        double v;
        if (!ParseDecimal(text, v) || !std::isfinite(v))
            fail(line, std::string(what) + " が数値ではありません: \"" + text + "\"");
        return v;
    }

    std::int64_t integer(std::size_t line, const std::string& text, const char* what, double lo, double hi) const {
        double v = number(line, text, what);
        if (v < lo || v > hi) fail(line, std::string(what) + " が範囲外です: \"" + text + "\"");
        return RoundToInteger(v);
    }

    template <typename F>
    void forInputsNamed(const std::string& name, F apply) {
        for (std::size_t i = 1; i < s_.InputNames.size(); ++i)
            if (s_.InputNames[i] == name) apply(i);
    }

    void readMonteCarlo(const MonteCarloSettings& mc) {
        const std::size_t* at = parsed_.monteCarloSettings;
        requireSection(section::MonteCarlo, at, 3);
        s_.MonteCarloCount = integer(at[0], mc.numOfCalc, "計算回数", 0, 9.2e18);
        s_.RestartPerCalc = static_cast<int>(integer(at[1], mc.restartExcel, "Restart Excel", 0, 1));
        s_.RandomSeed = mc.randomSeed;
        for (std::size_t k = 0; k < mc.sampledVariables.size(); ++k) {
            const SampledVariable& v = mc.sampledVariables[k];
            const double center = value(v.name, v.center, "中心値", kMonteCarloWindow);
            const double spread = value(v.name, v.spread, "標準偏差", kMonteCarloWindow);
            forInputsNamed(v.name, [&](std::size_t i) {
                // The limits bound the drawn values.
                limit(v.name, s_.InputLower[i], "下限値");
                limit(v.name, s_.InputUpper[i], "上限値");
                s_.PlanSelected[i] = true;
                s_.DistType[i] = v.distType;
                s_.DistCenter[i] = center;
                s_.DistSpread[i] = spread;
            });
        }
    }

    // How the draws are made: refused, naming the row, before anything runs.
    void checkSampling(const Project& p) const {
        std::vector<std::string> sampled, outputs;
        for (std::size_t i = 1; i < s_.InputNames.size(); ++i)
            if (s_.PlanSelected[i]) sampled.push_back(s_.InputNames[i]);
        for (const OutputTask& t : p.outputTasks) outputs.push_back(t.name);
        std::string problem = CheckSampling(p.sampling, sampled, outputs);
        if (!problem.empty()) throw LoadError{problem + "\n「" + kMonteCarloWindow + "」で直して下さい。"};
        // Then what only the sampling numerics can say: the distributions'
        // parameters and limits, a positive definite correlation matrix, the
        // method's size limits. The design itself is made at run start.
        SampledDraws draws;
        std::string error;
        if (!draws.prepare(s_, false, error)) throw LoadError{error};
    }

    void readDataFileInput(const DataFileInputSettings& df) {
        const std::size_t* at = parsed_.dataFileSettings;
        requireSection(section::DataFileInput, at, 3);
        s_.DataFilePath = df.dataFile;
        s_.DataReadRow = integer(at[1], df.readRow, "Read Row", -9.2e18, 9.2e18);
        s_.RestartPerCalc = static_cast<int>(integer(at[2], df.restartExcel, "Restart Excel", 0, 1));
        for (std::size_t k = 0; k < df.readParams.size(); ++k) {
            const ReadParam& r = df.readParams[k];
            const std::int64_t column = integer(parsed_.readParamLines[k], r.column, "列番号", 0, 2147483647.0);
            forInputsNamed(r.name, [&](std::size_t i) {
                s_.PlanSelected[i] = true;
                s_.DataColumn[i] = column;
            });
        }
    }

    void readOrthogonal(const OrthogonalSettings& ot) {
        const std::size_t* at = parsed_.orthogonalSettings;
        requireSection(section::OrthogonalTable, at, 2);
        s_.LevelChoice = ot.level;
        s_.RestartPerCalc = static_cast<int>(integer(at[1], ot.restartExcel, "Restart Excel", 0, 1));
        for (std::size_t k = 0; k < ot.factors.size(); ++k) {
            const TableFactor& f = ot.factors[k];
            const double low = value(f.name, f.lowerValue, "下方値", kOrthogonalWindow);
            const double high = value(f.name, f.upperValue, "上方値", kOrthogonalWindow);
            forInputsNamed(f.name, [&](std::size_t i) {
                s_.PlanSelected[i] = true;
                s_.LevelLow[i] = low;
                s_.LevelHigh[i] = high;
            });
        }
    }

    RunState& s_;
    const std::vector<std::string>& lines_;
    ParsedProject parsed_;
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
    std::vector<std::string> lines;
    std::string readError;
    if (!ReadTextLines(workingCopy, lines, readError)) {
        error = (FileExists(workingCopy) ? "作業ファイルを読み込めません。\n" : "作業ファイルを開けません。\n") + readError;
        return false;
    }
    try {
        Loader(loaded, lines).run();
    } catch (const LoadError& e) {
        error = e.message;
        return false;
    }
    state = std::move(loaded);
    return true;
}

}  // namespace korvane

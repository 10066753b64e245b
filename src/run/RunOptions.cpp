#include "run/RunOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "platform/TextFile.h"
#include "project/NumberText.h"

namespace korvane {

namespace {

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

bool ParseWorkers(const std::string& text, int& workers, std::string& error) {
    const std::string t = Trim(text);
    char* end = nullptr;
    errno = 0;
    const long value = t.empty() ? 0 : std::strtol(t.c_str(), &end, 10);
    if (t.empty() || errno != 0 || *end != '\0' || value < 1 || value > kMaxWorkers) {
        error = "ワーカー数は1から" + std::to_string(kMaxWorkers) + "までの整数で指定して下さい: " + text;
        return false;
    }
    workers = static_cast<int>(value);
    return true;
}

bool ParseCalcTimeout(const std::string& text, double& seconds, std::string& error) {
    const std::string t = Trim(text);
    double value = 0;
    if (t.empty() || !ParseDecimal(t, value) || !std::isfinite(value) || value < 0 || value > 1e9) {
        error = "計算の制限時間は0以上の秒数で指定して下さい (0: 制限なし): " + text;
        return false;
    }
    seconds = value;
    return true;
}

bool ParseRunArguments(const std::vector<std::string>& args, RunOptions& options, std::vector<std::string>& rest,
                       std::string& error) {
    rest.clear();
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.rfind("--", 0) != 0) {
            rest.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--resume") {
            options.resume = true;
            continue;
        }
        if (a == "--mpi") {
            options.mpi = true;
            continue;
        }
        if (a == "--accept-differences") {
            options.acceptDifferences = true;
            continue;
        }
        std::string name = a, value;
        const auto eq = a.find('=');
        if (eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        } else if (name == "--workers" || name == "--calc-timeout") {
            if (i + 1 >= args.size()) {
                error = name + " の値がありません。";
                return false;
            }
            value = args[++i];
        }
        if (name == "--workers") {
            if (!ParseWorkers(value, options.workers, error)) return false;
        } else if (name == "--calc-timeout") {
            if (!ParseCalcTimeout(value, options.calcTimeoutSeconds, error)) return false;
        } else {
            error = "不明なオプションです: " + a + " (korvane --help を参照して下さい)";
            if (!rest.empty())
                error += "\nプロジェクトファイルの後の \"--\" で始まる引数もオプションとして読みます。"
                         "\"--\" で始まるファイル名は \"-- ファイル名\" と指定して下さい。";
            return false;
        }
    }
    return true;
}

void LoadRunOptions(const std::string& appFolder, RunOptions& options) {
    std::vector<std::string> lines;
    std::string error;
    if (!ReadTextLines(appFolder + "/" + kRunOptionsFile, lines, error)) return;
    for (const std::string& line : lines) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = Trim(line.substr(0, eq)), value = line.substr(eq + 1);
        if (key == "Workers") {
            int w = 0;
            if (ParseWorkers(value, w, error)) options.workers = w;
        } else if (key == "CalcTimeout") {
            double t = 0;
            if (ParseCalcTimeout(value, t, error)) options.calcTimeoutSeconds = t;
        }
    }
}

bool SaveRunOptions(const std::string& appFolder, const RunOptions& options, std::string& error) {
    return WriteTextFileAtomic(appFolder + "/" + kRunOptionsFile,
                               {"Workers=" + std::to_string(options.workers),
                                "CalcTimeout=" + GeneralNumber(options.calcTimeoutSeconds)},
                               error);
}

}  // namespace korvane

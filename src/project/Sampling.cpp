#include "project/Sampling.h"

#include <algorithm>
#include <cmath>

#include "project/NumberText.h"

namespace korvane {

std::vector<std::string> SamplingContent(const SamplingSettings& s) {
    std::vector<std::string> l;
    l.push_back(std::string(key::Method) + s.method);
    for (const RankCorrelation& c : s.correlations) l.push_back(CorrelationRowLine(c));
    if (s.hasPrecision) l.push_back(PrecisionRowLine(s.precision));
    return l;
}

bool PutSamplingSection(std::vector<std::string>& lines, const SamplingSettings& settings, std::string& error) {
    const Section& sec = section::Sampling;
    std::vector<std::string> out, kept;
    out.reserve(lines.size() + 4);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != sec.start) {
            out.push_back(lines[i]);
            continue;
        }
        std::size_t end = i + 1;
        while (end < lines.size() && lines[end] != sec.end) ++end;
        if (end == lines.size()) {
            // Without its end the section would reach to the end of the
            // file and take every later line with it.
            error = std::string("プロジェクトの \"") + sec.start + "\" (" + std::to_string(i + 1) + "行目) に対応する \"" +
                    sec.end + "\" の行がありません。変更は保存されませんでした。";
            return false;
        }
        for (std::size_t k = i + 1; k < end; ++k) {
            const std::string lineKey = LineKey(lines[k]);
            if (lineKey != key::Method && lineKey != key::Correlation && lineKey != key::Precision)
                kept.push_back(lines[k]);
        }
        i = end;
    }
    if (!settings.isDefault() || !kept.empty()) {
        out.push_back(sec.start);
        for (auto& line : SamplingContent(settings)) out.push_back(std::move(line));
        out.insert(out.end(), kept.begin(), kept.end());
        out.push_back(sec.end);
    }
    lines = std::move(out);
    return true;
}

std::string PrecisionPercent(const PrecisionTarget& target) {
    return target.percent.empty() ? std::string("95") : target.percent;
}

namespace {

bool Contains(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// A number of a row: empty, not a number, or its value.
std::string NumberProblem(const std::string& row, const char* what, const std::string& text, double& v) {
    if (text.empty()) return row + "の" + what + "が入力されていません。";
    if (!ParseDecimal(text, v) || !std::isfinite(v)) return row + "の" + what + "が数値ではありません: \"" + text + "\"";
    return {};
}

std::string CheckCorrelations(const std::vector<RankCorrelation>& rows, const std::vector<std::string>& sampled) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RankCorrelation& c = rows[i];
        const std::string row = "相関[" + c.first + "," + c.second + "]";
        for (const std::string* name : {&c.first, &c.second})
            if (!Contains(sampled, *name)) return row + "の変数[" + *name + "]はサンプリングする変数ではありません。";
        if (c.first == c.second) return row + "は同じ変数どうしです。2つの異なる変数を選んで下さい。";
        for (std::size_t j = 0; j < i; ++j) {
            const RankCorrelation& d = rows[j];
            if ((d.first == c.first && d.second == c.second) || (d.first == c.second && d.second == c.first))
                return row + "の組が2回指定されています。";
        }
        double v = 0;
        if (std::string p = NumberProblem(row, "順位相関係数", c.value, v); !p.empty()) return p;
        if (!(v > -1.0 && v < 1.0))
            return row + "の順位相関係数は -1 より大きく 1 より小さい値にして下さい: \"" + c.value + "\"";
    }
    return {};
}

std::string CheckPrecision(const PrecisionTarget& t, const std::string& how, const std::vector<std::string>& outputs) {
    const std::string row = "精度目標[" + t.output + "]";
    if (how == method::LHS)
        return row + "はLHSでは使えません (LHSは計算回数を初めに決めて層に分けるため、途中で止められません)。";
    if (!Contains(outputs, t.output)) return row + "の変数[" + t.output + "]は出力変数ではありません。";
    double fraction = 0;
    if (std::string p = NumberProblem(row, "相対精度", t.fraction, fraction); !p.empty()) return p;
    if (!(fraction > 0)) return row + "の相対精度は 0 より大きい値にして下さい: \"" + t.fraction + "\"";
    double percent = 0;
    if (std::string p = NumberProblem(row, "信頼水準(%)", PrecisionPercent(t), percent); !p.empty()) return p;
    if (!(percent > 0 && percent < 100))
        return row + "の信頼水準(%)は 0 より大きく 100 より小さい値にして下さい: \"" + t.percent + "\"";
    return {};
}

}  // namespace

std::string CheckSampling(const SamplingSettings& s, const std::vector<std::string>& sampledInputs,
                          const std::vector<std::string>& outputs) {
    if (s.method != method::MonteCarlo && s.method != method::LHS && s.method != method::Sobol &&
        s.method != method::Saltelli)
        return "サンプリング方法[" + s.method + "]は使えません。MonteCarlo, LHS, Sobol, Saltelli のどれかにして下さい。";
    if (s.method == method::Saltelli) {
        // The indices assume independent inputs, and need every group whole.
        if (!s.correlations.empty()) {
            const RankCorrelation& c = s.correlations.front();
            return "相関[" + c.first + "," + c.second +
                   "]はSaltelliでは使えません (Sobol'感度指数は入力が互いに独立であることを前提とします)。";
        }
        if (s.hasPrecision)
            return "精度目標[" + s.precision.output +
                   "]はSaltelliでは使えません (途中で止めると A, B, AB の組が欠けて感度指数を求められません)。";
    }
    if (std::string p = CheckCorrelations(s.correlations, sampledInputs); !p.empty()) return p;
    if (s.hasPrecision) return CheckPrecision(s.precision, s.method, outputs);
    return {};
}

}  // namespace korvane

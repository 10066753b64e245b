#include "run/SampledDraws.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <new>
#include <random>

#include "project/NumberText.h"
#include "project/Project.h"
#include "project/RunState.h"
#include "run/PlanValues.h"

namespace korvane {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// The most numbers a design may hold (8 bytes each): the whole design is made
// before the first calculation, so a count far beyond what a study can
// calculate is refused rather than let exhaust the memory.
constexpr double kMaxDesignValues = 5.0e7;

bool IsFurtherDistribution(const std::string& name) {
    for (const char* further : {kLognormalDistribution, kGumbelDistribution, kWeibullDistribution,
                                kTriangularDistribution, kDiscreteUniformDistribution})
        if (name == further) return true;
    return false;
}

std::optional<double> LimitOf(const std::string& text) {
    if (text.empty()) return std::nullopt;
    return LeadingNumber(text);
}

// The design's seed: the plan's seed text as the older draws read it, or the
// clock for "Random".
std::uint64_t DesignSeed(const std::string& randomSeed) {
    if (randomSeed != "Random") return SeedFromText(randomSeed);
    std::uint64_t seed = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
    try {
        std::random_device device;
        seed ^= (static_cast<std::uint64_t>(device()) << 32) | device();
    } catch (...) {
    }
    return seed;
}

// Where the user mends the settings refused here.
std::string Mend(const std::string& message) { return message + "\n「MonteCarlo設定」で直して下さい。"; }

}  // namespace

bool UsesSampledDraws(const RunState& state) {
    const SamplingSettings& s = state.Sampling;
    if (s.method != method::MonteCarlo || !s.correlations.empty()) return true;
    for (std::size_t i = 1; i <= state.inputCount(); ++i)
        if (state.PlanSelected[i] && IsFurtherDistribution(state.DistType[i])) return true;
    return false;
}

bool SampledDraws::prepare(const RunState& state, bool makeDesign, std::string& error) {
    *this = SampledDraws{};
    if (!UsesSampledDraws(state)) return true;
    dimensionOf_.assign(state.inputCount() + 1, kNone);
    std::vector<std::string> names;  // by dimension
    for (std::size_t i = 1; i <= state.inputCount(); ++i) {
        if (!state.PlanSelected[i] || EarlierSameName(state, i) != 0) continue;
        const std::string& name = state.InputNames[i];
        std::string why;
        std::optional<Distribution> d = MakeDistribution(state.DistType[i], state.DistCenter[i], state.DistSpread[i], why);
        if (!d) {
            error = Mend("変数[" + name + "]の" + why);
            return false;
        }
        std::optional<TruncatedDistribution> t =
            TruncatedDistribution::Make(*d, LimitOf(state.InputLower[i]), LimitOf(state.InputUpper[i]), why);
        if (!t) {
            error = Mend("変数[" + name + "]の" + why);
            return false;
        }
        dimensionOf_[i] = names.size();
        names.push_back(name);
        distributions_.push_back(std::move(*t));
    }
    auto dimension = [&](const std::string& name) {
        for (std::size_t k = 0; k < names.size(); ++k)
            if (names[k] == name) return k;
        return kNone;
    };
    std::vector<RankCorrelationTarget> targets;
    for (const RankCorrelation& c : state.Sampling.correlations) {
        double v = 0.0;
        const std::size_t a = dimension(c.first), b = dimension(c.second);
        if (a == kNone || b == kNone || !ParseDecimal(c.value, v)) {
            error = Mend("相関[" + c.first + "," + c.second + "]はサンプリングする2つの変数の順位相関係数にして下さい。");
            return false;
        }
        targets.push_back({a, b, v});
    }
    // The correlations concern only the columns they name: they are checked
    // and imposed on those alone, in design order (a matrix over every
    // sampled variable would cost the cube of their number for nothing).
    std::vector<std::size_t> correlatedColumns;  // by compact index: the design column
    std::vector<RankCorrelationTarget> compact = targets;
    {
        std::vector<std::size_t> compactOf(names.size(), kNone);
        for (const RankCorrelationTarget& t : targets) compactOf[t.first] = compactOf[t.second] = 0;
        for (std::size_t k = 0; k < names.size(); ++k)
            if (compactOf[k] != kNone) compactOf[k] = correlatedColumns.size(), correlatedColumns.push_back(k);
        for (RankCorrelationTarget& t : compact) t.first = compactOf[t.first], t.second = compactOf[t.second];
    }
    auto faultMessage = [&](const RankCorrelationFault& fault) {
        return Mend("相関[" + names[correlatedColumns[fault.first]] + "," + names[correlatedColumns[fault.second]] +
                    "]: " + fault.reason);
    };
    if (const auto fault = CheckRankCorrelations(correlatedColumns.size(), compact)) {
        error = faultMessage(*fault);
        return false;
    }
    const std::optional<SampleMethod> method = SampleMethodFromName(state.Sampling.method);
    if (!method) {
        error = Mend("サンプリング方法[" + state.Sampling.method + "]は使えません。");
        return false;
    }
    if (*method == SampleMethod::Saltelli) {
        // One whole group at least, and twice the inputs in Sobol' dimensions.
        if (std::string problem = SaltelliDesignProblem(names.size(), state.MonteCarloCount); !problem.empty()) {
            error = Mend(problem);
            return false;
        }
    }
    if (*method == SampleMethod::Sobol && names.size() > MaxSobolDimensions()) {
        error = Mend("Sobol点列で扱える変数は" + std::to_string(MaxSobolDimensions()) + "個までです (サンプリングする変数: " +
                     std::to_string(names.size()) + "個)。");
        return false;
    }
    // The first calculation keeps the initial values: the others are drawn.
    const std::size_t points = state.MonteCarloCount > 1 ? static_cast<std::size_t>(state.MonteCarloCount - 1) : 0;
    const std::size_t correlated = correlatedColumns.size();
    if (correlated > 0 && points <= correlated) {
        error = Mend("相関を付けるには計算回数を" + std::to_string(correlated + 2) + "回以上にして下さい (相関を付ける変数: " +
                     std::to_string(correlated) + "個)。");
        return false;
    }
    if (static_cast<double>(points) * static_cast<double>(names.size()) > kMaxDesignValues) {
        error = Mend("計算回数×サンプリングする変数の数が多すぎてサンプルを作れません (" +
                     std::to_string(static_cast<std::int64_t>(kMaxDesignValues)) + "まで)。");
        return false;
    }
    if (makeDesign && points > 0 && !names.empty()) {
        std::string why;
        std::optional<SampleDesign> design;
        try {
            design = MakeSampleDesign(*method, points, names.size(), DesignSeed(state.RandomSeed), why);
        } catch (const std::bad_alloc&) {
            why = "メモリが足りません。";
        }
        if (!design) {
            error = Mend("サンプルを作れません: " + why);
            return false;
        }
        if (!compact.empty()) {
            SampleDesign part;
            part.points = points;
            part.dimensions = correlated;
            for (std::size_t k : correlatedColumns)
                part.values.insert(part.values.end(), design->values.begin() + k * points,
                                   design->values.begin() + (k + 1) * points);
            if (const auto fault = ImposeRankCorrelations(part, compact)) {
                error = faultMessage(*fault);
                return false;
            }
            for (std::size_t j = 0; j < correlated; ++j)
                std::copy(part.values.begin() + j * points, part.values.begin() + (j + 1) * points,
                          design->values.begin() + correlatedColumns[j] * points);
        }
        design_ = std::move(*design);
    }
    active_ = true;
    return true;
}

bool SampledDraws::value(std::size_t input, std::int64_t calcCount, double& x) const {
    if (!active_ || input >= dimensionOf_.size() || dimensionOf_[input] == kNone || calcCount < 2) return false;
    const std::size_t point = static_cast<std::size_t>(calcCount - 2);
    if (point >= design_.points) return false;
    const std::size_t k = dimensionOf_[input];
    x = distributions_[k].value(design_.at(point, k));
    return std::isfinite(x);
}

}  // namespace korvane

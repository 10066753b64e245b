#include "run/MonteCarlo.h"

#include <bit>
#include <chrono>
#include <cmath>

#include "project/NumberText.h"
#include "project/RunState.h"
#include "run/PlanValues.h"

namespace korvane {

namespace {

// The finaliser of SplitMix64: spreads every input bit over the whole result.
std::uint64_t Mix64(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::uint32_t Fold32(std::uint64_t z) {
    z = Mix64(z);
    return static_cast<std::uint32_t>(z ^ (z >> 32));
}

struct Limits {
    bool hasLower = false, hasUpper = false;
    double lower = 0.0, upper = 0.0;

    bool inside(double x) const {
        return (!hasLower || x > lower) && (!hasUpper || x < upper);
    }
};

Limits ReadLimits(const std::string& lowerText, const std::string& upperText) {
    Limits l;
    l.hasLower = !lowerText.empty();
    l.hasUpper = !upperText.empty();
    if (l.hasLower) l.lower = LeadingNumber(lowerText);
    if (l.hasUpper) l.upper = LeadingNumber(upperText);
    return l;
}

}  // namespace

void UniformSource::seedFromClock() {
    const auto now = std::chrono::system_clock::now().time_since_epoch().count();
    std::uint64_t entropy = static_cast<std::uint64_t>(now);
    // Two runs started within one clock tick must still differ.
    try {
        std::random_device device;
        entropy ^= (static_cast<std::uint64_t>(device()) << 32) | device();
    } catch (...) {
    }
    engine_.seed(Fold32(entropy));
}

std::uint32_t SeedFromText(const std::string& seedText) {
    // LeadingNumber never gives -0, so equal numbers give equal bit patterns.
    return Fold32(std::bit_cast<std::uint64_t>(LeadingNumber(seedText)));
}

void SeedRandom(UniformSource& source, const std::string& randomSeed) {
    if (randomSeed == "Random")
        source.seedFromClock();
    else
        source.seed(SeedFromText(randomSeed));
}

double DrawOnce(UniformSource& source, const std::string& distribution, double center, double spread) {
    if (distribution == kNormalDistribution) {
        float u1 = source.next();
        while (u1 == 0.0f) u1 = source.next();  // ln 0 is undefined
        const float u2 = source.next();
        return center + spread * std::sqrt(-2.0 * std::log(static_cast<double>(u1))) *
                            std::sin(kNormalAngle * static_cast<double>(u2));
    }
    if (distribution == kUniformDistribution) {
        const float u = source.next();
        return center + spread * (2.0 * static_cast<double>(u) - 1.0);
    }
    return 0.0;
}

bool DrawSample(UniformSource& source, const std::string& lowerText, const std::string& upperText,
                const std::string& distribution, double center, double spread, double& value) {
    const Limits limits = ReadLimits(lowerText, upperText);
    if (!limits.hasLower && !limits.hasUpper) {
        value = DrawOnce(source, distribution, center, spread);
        return true;
    }
    for (std::int64_t attempt = 0; attempt < kMaxDrawAttempts; ++attempt) {
        const double x = DrawOnce(source, distribution, center, spread);
        if (limits.inside(x) && limits.inside(LeadingNumber(GeneralNumber(x)))) {
            value = x;
            return true;
        }
    }
    return false;
}

std::string DrawFailureMessage(const std::string& name, const std::string& lowerText,
                               const std::string& upperText) {
    auto shown = [](const std::string& t) { return t.empty() ? std::string("なし") : t; };
    return "変数[" + name + "]の値を制限値の範囲内で発生できません。\n下限値：" + shown(lowerText) +
           "　上限値：" + shown(upperText) + "\n分布型、中心値、標準偏差と制限値を確認して下さい。";
}

bool PrepareMonteCarlo(const RunState& state, UniformSource& source, std::string& error) {
    for (std::size_t i = 1; i <= state.inputCount(); ++i) {
        if (!state.PlanSelected[i] || EarlierSameName(state, i) != 0) continue;
        const Limits limits = ReadLimits(state.InputLower[i], state.InputUpper[i]);
        if (limits.hasLower && limits.hasUpper && !(limits.lower < limits.upper)) {
            error = DrawFailureMessage(state.InputNames[i], state.InputLower[i], state.InputUpper[i]);
            return false;
        }
    }
    SeedRandom(source, state.RandomSeed);
    return true;
}

}  // namespace korvane

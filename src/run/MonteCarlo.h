#pragma once
// The sampling plan's pure part: the uniform random source, its seeding, one
// draw from a named distribution truncated to restriction limits, and the
// checks made before the first calculation. The calculation loop builds on it.

#include <cstdint>
#include <random>
#include <string>

namespace korvane {

struct RunState;

// The distribution names as the project stores them.
inline constexpr const char* kNormalDistribution = "正規分布";
inline constexpr const char* kUniformDistribution = "一様分布";

// The angle constant of the normal draw, as written (not 2 pi in full
// precision), so that drawn values match the established formula digit for digit.
inline constexpr double kNormalAngle = 6.28318530717958;

// How many candidates a draw may reject before it gives up: limits that the
// distribution cannot hit would otherwise hold the run for ever.
inline constexpr std::int64_t kMaxDrawAttempts = 1000000;

// Uniform numbers in [0, 1), each a single-precision value. The engine is the
// 32-bit Mersenne Twister, whose output sequence for a given seed the C++
// standard fixes, so a fixed seed gives the same numbers on every machine; a
// value is the top 24 bits of one output divided by 2^24, which a float holds
// exactly. (No standard distribution object is used: their output is not
// portable.)
class UniformSource {
public:
    void seed(std::uint32_t value) { engine_.seed(value); }
    void seedFromClock();
    float next() { return static_cast<float>(engine_() >> 8) * (1.0f / 16777216.0f); }

private:
    std::mt19937 engine_;
};

// The engine seed for a seed text: the text's numeric value (leading-number
// rule; no number gives 0) mixed into 32 bits. "1234" and "1234.0" give the
// same seed.
std::uint32_t SeedFromText(const std::string& seedText);

// Seeds from the clock when `randomSeed` is exactly "Random", otherwise from
// SeedFromText(randomSeed).
void SeedRandom(UniformSource& source, const std::string& randomSeed);

// One draw from the distribution: "正規分布" gives
// c + s * sqrt(-2 ln U1) * sin(kNormalAngle * U2) (a U1 of exactly 0 is taken
// again), "一様分布" gives c + s * (2U - 1), any other name gives 0.
double DrawOnce(UniformSource& source, const std::string& distribution, double center, double spread);

// Draws until the value lies strictly inside the limits; an empty limit text
// is no limit, a non-empty one is read by the leading-number rule. The value
// must also stay inside once written as a 15-digit number text, so that the
// text the workbook receives never equals a limit. Returns false when
// kMaxDrawAttempts candidates all fell outside (`value` is then untouched).
bool DrawSample(UniformSource& source, const std::string& lowerText, const std::string& upperText,
                const std::string& distribution, double center, double spread, double& value);

// The message that stops a run whose variable cannot be drawn inside its limits.
std::string DrawFailureMessage(const std::string& name, const std::string& lowerText,
                               const std::string& upperText);

// Before the first calculation: refuses a sampled variable whose lower limit
// is not below its upper limit (no draw could ever succeed), then seeds
// `source` from RunState::RandomSeed. On false, `error` holds the message and
// nothing has been drawn.
bool PrepareMonteCarlo(const RunState& state, UniformSource& source, std::string& error);

}  // namespace korvane

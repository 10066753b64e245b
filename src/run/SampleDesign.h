#pragma once
// Sample designs: n points in k dimensions, each coordinate a probability in
// (0, 1) that a sampled input turns into a value through its distribution's
// inverse (Distributions.h), and the rank correlations imposed on them.
//
// Every design is made whole before the first drawn calculation and is fixed
// by its seed alone, so the same seed gives the same values whichever worker,
// rank or resumed run calculates a point. The first calculation of a run
// keeps the initial values: a design for N calculations has N - 1 points.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// The method names as the project stores them.
inline constexpr const char* kMonteCarloMethod = "MonteCarlo";
inline constexpr const char* kLatinHypercubeMethod = "LHS";
inline constexpr const char* kSobolMethod = "Sobol";
inline constexpr const char* kSaltelliMethod = "Saltelli";

enum class SampleMethod {
    // Independent points from the 64-bit Mersenne Twister (std::mt19937_64),
    // 53 bits each.
    Plain,
    // Latin hypercube: each column cut into n equal strata, each stratum used
    // by exactly one point at a random position inside it; the columns are
    // paired by independent random permutations.
    LatinHypercube,
    // Sobol' points (Boost.Random, Joe and Kuo's direction numbers) with a
    // random digital shift: each coordinate's 64-bit integer is XORed with a
    // random integer per dimension. Point 0 is the sequence's origin, which
    // Boost's generator leaves out; it is put back so that the first 2^m
    // points are a whole (t, m, k)-net, and the shift moves it off the corner.
    Sobol,
    // Saltelli's design for Sobol' sensitivity indices over k inputs: groups
    // of k + 2 points A, B, AB(1) ... AB(k). A and B are the two halves
    // (dimensions 1..k and k+1..2k) of one point of a Sobol' design in 2k
    // dimensions made exactly as above; AB(i) is A with coordinate i taken
    // from B, the very same number. The last group may be cut short.
    Saltelli,
};

// The method for its project name; nothing for any other text.
std::optional<SampleMethod> SampleMethodFromName(const std::string& name);

// n points by k dimensions, stored column by column (a column is what the
// rank correlation reorders and what one input draws from).
struct SampleDesign {
    std::size_t points = 0;
    std::size_t dimensions = 0;
    std::vector<double> values;  // values[dimension * points + point]

    double at(std::size_t point, std::size_t dimension) const { return values[dimension * points + point]; }
    double& at(std::size_t point, std::size_t dimension) { return values[dimension * points + point]; }
};

// The most dimensions a Sobol' design takes (the direction numbers shipped
// with Boost).
std::size_t MaxSobolDimensions();

// A design of `points` points in `dimensions` dimensions, every value strictly
// inside (0, 1). Nothing, with `error`, for a Sobol' design of more than
// MaxSobolDimensions() dimensions (a Saltelli design takes twice its own).
std::optional<SampleDesign> MakeSampleDesign(SampleMethod method, std::size_t points, std::size_t dimensions,
                                             std::uint64_t seed, std::string& error);

// ---------------------------------------------------------------- Saltelli

// The roles in a Saltelli group: A, B, then AB(i) = A with input i (from 1)
// taken from B has role i + 1. The inputs are the sampled ones in the order
// of the input tasks, each name once: the order of their DB columns.
inline constexpr std::size_t kSaltelliA = 0;
inline constexpr std::size_t kSaltelliB = 1;

struct SaltelliPlace {
    std::int64_t group = 0;  // from 1
    std::size_t role = 0;    // kSaltelliA, kSaltelliB, or i + 1 for AB(i)
    bool operator==(const SaltelliPlace&) const = default;
};

// Where calculation `calculation` (numbered as the DB file numbers it, from
// 1) stands in a Saltelli run with `inputs` sampled inputs: calculation 1
// keeps the initial values and has no place; from calculation 2 on come the
// groups of inputs + 2. Nothing for calculation 1 or less, or no input.
std::optional<SaltelliPlace> SaltelliPlaceOf(std::int64_t calculation, std::size_t inputs);

// What keeps a Saltelli run of `calculations` calculations over `inputs`
// sampled inputs from having one whole group, naming the setting to change:
// no sampled input, more inputs than the Sobol' dimensions hold twice over,
// fewer calculations than 1 + (inputs + 2). Empty when there is none.
std::string SaltelliDesignProblem(std::size_t inputs, std::int64_t calculations);

// ---------------------------------------------------------------- correlations

// A target rank correlation between columns `first` and `second`.
struct RankCorrelationTarget {
    std::size_t first = 0;
    std::size_t second = 0;
    double value = 0.0;
};

// Why a set of targets was refused, with the pair it concerns (column
// indices; the caller names the variables).
struct RankCorrelationFault {
    std::size_t first = 0;
    std::size_t second = 0;
    std::string reason;
};

// Checks the targets for `dimensions` columns: indices in range and distinct,
// each pair given once, values strictly between -1 and 1, and the matrix they
// make (ones on the diagonal, 0 for pairs not given) positive definite. For a
// matrix that is not, the pair named is the last given pair of the first row
// where the Cholesky factorisation fails: the one that closes the
// contradiction in the order the columns come.
std::optional<RankCorrelationFault> CheckRankCorrelations(std::size_t dimensions,
                                                          const std::vector<RankCorrelationTarget>& targets);

// Iman and Conover's method: reorders the values of each column that appears
// in a target so that the rank correlations come near the targets; the
// values of every column stay the same, only their pairing changes, and
// columns in no target keep their order. Deterministic (no random numbers).
// Refuses what CheckRankCorrelations refuses, and a design with no more
// points than correlated columns.
std::optional<RankCorrelationFault> ImposeRankCorrelations(SampleDesign& design,
                                                           const std::vector<RankCorrelationTarget>& targets);

}  // namespace korvane

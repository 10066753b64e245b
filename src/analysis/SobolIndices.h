#pragma once
// Sobol' sensitivity indices of every output to every input, from the
// calculations of a DB file.
//
// The design. A study laid out for the indices (sampling method "Saltelli")
// writes, in each block of the file, the initial-value calculation first and
// then groups of k + 2 lines, k being the number of inputs that vary:
//
//   A, B, AB(1), ..., AB(k)
//
// where AB(i) equals A in every input except input i, which equals B's (the
// same text, so the same double). The design is recognised from the lines
// themselves, block by block (a block's first data line is its initial
// values and belongs to no group):
// - the inputs that vary are those with more than one value over the lines
//   after the initial ones; an input that never varies has no index ("-");
// - a group matches when its AB lines follow the rule above. A line that
//   cannot be placed (it does not fit its header, or an input of it cannot be
//   read) keeps its place, so the groups after it stay aligned, and the group
//   it falls in is left out and counted;
// - the file is a design when its first two whole groups match, each with A
//   and B differing in every varying input, and every later whole group
//   matches too. A file of one whole group that matches, and nothing that
//   does not, is a design as well;
// - when the first two whole groups match and a later one does not (or the
//   lines after the last whole group contradict the layout), the file
//   plainly started as a design and then broke: that is refused with a
//   message naming the line (SobolResult::error, `brokenDesign`);
// - anything else (a plain Monte Carlo, LHS or Sobol' sample, a data file,
//   an orthogonal table) is not a design, and the indices come from the
//   given data (below);
// - lines after the last whole group of a block are an unfinished group
//   (a study stopped early): left out and counted (`unfinishedLines`).
//
// From a design, per output, over the groups whose k + 2 values are readable
// (and valid, unless invalid lines are taken in; others are left out of that
// output and counted):
//   V     = the variance of the f(A) and f(B) values together,
//   S1(i) = mean(f(B) (f(AB(i)) - f(A))) / V          (Saltelli 2010),
//   ST(i) = mean((f(A) - f(AB(i)))^2) / 2 / V          (Jansen 1999).
// From given data, the first-order index only: the lines are sorted by the
// input and split into about sqrt(n) bins of equal count (equal input values
// stay in one bin); S1 is the share of the output's sum of squares between
// the bin means, less what bins of random lines would show by chance
// ((bins - 1) times the mean square within the bins): the epsilon-squared
// estimator, unbiased where the plain share of small bins is not (in a
// resample, where lines come more than once, the correction counts them by
// their weights, so the resamples are as unbiased as the estimate). Total
// indices need the design (`kSobolTotalNeedsDesign`).
//
// The 95 % intervals are bootstrap percentile intervals (2.5 % and 97.5 %
// points of kSobolResamples resamples with replacement of the groups, or of
// the lines for given data, drawn from a fixed seed, so a file gives the
// same intervals every time). The resamples run on every core; each draws
// from an engine seeded by its own number, so the threads change nothing.
//
// An output that does not vary (its values all equal, or spread by no more
// than 1e-12 of their magnitude, the rounding of a number written with 15
// digits) has no indices: every figure is NaN, shown as "-".
//
// The file is read once into columns of doubles (8 bytes per number a line);
// a file whose columns would not fit in the memory there is is refused with
// a message before it is read.

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "analysis/DataLineScan.h"
#include "analysis/RunningSummary.h"

namespace korvane {

// How the indices were estimated.
enum class SobolEstimate {
    Design,     // from the groups of a Saltelli design: S1 and ST
    GivenData,  // from lines of any other kind: S1 only
};

inline constexpr int kSobolResamples = 1000;
inline constexpr std::uint64_t kSobolSeed = 20100501;
inline constexpr double kSobolPercent = 95;
// The fewest groups (design) and lines (given data) that the indices and
// their bootstrap are computed from; fewer is refused.
inline constexpr std::int64_t kMinSobolGroups = 10;
inline constexpr std::int64_t kMinSobolLines = 20;

inline constexpr const char* kSobolTotalNeedsDesign =
    "全効果指数(ST)の推定にはSaltelli計画で計算したDBファイルが必要です（1次指数S1のみ、与えられたデータから推定しました）。";

struct SobolOptions {
    bool includeInvalid = false;
    int resamples = kSobolResamples;
    std::uint64_t seed = kSobolSeed;
    // The most bytes the columns may take; 0: the memory available now.
    std::uint64_t memoryLimit = 0;
};

// One index with its bootstrap interval; NaN throughout when there is none.
struct SobolFigures {
    double value = std::numeric_limits<double>::quiet_NaN();
    Interval interval{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::quiet_NaN()};
};

struct SobolInputIndices {
    SobolFigures first;  // S1
    SobolFigures total;  // ST (NaN from given data)
};

struct SobolOutputIndices {
    std::string name;
    std::size_t field = 0;        // index in the DB line
    bool varies = false;          // false: every figure NaN ("-")
    std::int64_t used = 0;        // groups (design) or lines (given data) used
    std::int64_t leftOut = 0;     // left out: an unreadable value, or a False line
    double variance = std::numeric_limits<double>::quiet_NaN();  // V
    std::vector<SobolInputIndices> inputs;  // per input of SobolResult::inputs
    // 1 - the sum of S1 over the inputs: the share of the variance left to
    // interactions (NaN when the output does not vary).
    double interactions = std::numeric_limits<double>::quiet_NaN();
};

struct SobolResult {
    SobolEstimate estimate = SobolEstimate::GivenData;
    std::vector<std::string> inputs;         // every input of the file, in file order
    std::vector<std::size_t> inputFields;    // its DB field
    std::vector<bool> inputVaries;           // false: no index ("-")
    std::vector<SobolOutputIndices> outputs; // in file order
    std::int64_t groups = 0;                 // whole groups of the design
    std::int64_t groupSize = 0;              // k + 2 (design)
    std::int64_t lines = 0;                  // data lines that fit the header
    std::int64_t unfinishedLines = 0;        // lines of unfinished groups
    std::int64_t skipped = 0;                // lines that did not fit the header
    std::int64_t unreadable = 0;             // lines with an input that cannot be read
    std::int64_t excluded = 0;               // False lines left out (given data)
    int resamples = 0;
    bool stopped = false;
    bool brokenDesign = false;               // refused: the design broke off
    bool tooFew = false;                     // refused: too few groups or lines
    bool tooLarge = false;                   // refused: would not fit in memory
    std::string error;
};

// Reads the file once and computes every index with its interval. False with
// result.error when the file cannot be read, is a broken design, has too few
// groups (design) or lines (given data) for the bootstrap, or would not fit
// in memory; false with result.stopped when `progress` asked to stop. The
// progress runs from 0 to 1 over reading and resampling.
bool ComputeSobolIndices(const std::string& path, const SobolOptions& options, const ProgressFn& progress,
                         SobolResult& result);

// An index as the table and the window show it: three decimals ("0.000");
// NaN is "-", and a value that rounds to "-0.000" is "0.000".
std::string SobolFigure(double value);

// The notes that go with a result (one per line, empty when there are none):
// how it was estimated and from how many groups or lines, the unfinished
// group, lines and groups left out, and for given data that total indices
// need the design.
std::vector<std::string> SobolNotes(const SobolResult& result);

// The table as the command line writes it: the header row ("出力", "入力",
// "S1", "S1 95%下限", "S1 95%上限", "ST", "ST 95%下限", "ST 95%上限"); then
// per output one row per input (figures by SobolFigure()) and a row
// "<交互作用>" with 1 - sum S1 in the S1 column; for given data a last row
// with kSobolTotalNeedsDesign alone.
std::vector<std::vector<std::string>> SobolTable(const SobolResult& result);

}  // namespace korvane

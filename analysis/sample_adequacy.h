// How many trees are enough: the exact expected fire frequency at every
// sample size, the frequency an unlimited sample would show, and the
// sample size from which the estimate stays close to the value of all
// trees. Values only, in double precision; no text.
//
// Trees are the sampling units and fire years what they detect, as
// species in incidence-based species accumulation. With n trees and k_y
// the trees whose record holds an event in year y, a sample of s trees
// misses year y with probability
//   without replacement (D): C(n - k_y, s) / C(n, s),
//   with replacement (R):    (1 - k_y / n)^s,
// so the expected number of fire years found is the sum over the years of
// one minus that. Its variance needs, for two years, the probability that
// both are missed: the same expression with u, the trees with an event in
// either year. Pairs of years are grouped by u once per span (at most
// n + 1 groups), so every sample size costs O(n) whatever the years.
// Threshold 2 counts only the years that at least two trees of all record
// (fireTreeCount >= 2), as the simulations do. Counts become fire events
// per century with 100 / years, years the span's length.
//
// The asymptote is the incidence-based Chao2 estimator (Chao 1987; the
// incidence form of Chao et al. 2014) from Q1 and Q2, the fire years found
// by exactly one and exactly two trees, with its log-normal 95 % interval,
// and the extrapolation to n + 1 .. 2n trees (Colwell et al. 2012). They
// assume the trees are exchangeable sampling units over the span; trees
// that record different parts of it weaken that.
//
// Every figure is computed on the span's sampling frame (sampling_frame.h):
// n is the frame's trees, F, and a tree without data in the span is never
// counted as one that could have been sampled.
//
// Trees needed, by two rules that answer different questions:
//   trees_for_share: the smallest s < F from which on, up to F - 1, at
//     least P % of the samples of s trees lie within X % of the frame's
//     value (the share counted exactly over every sample where they can be
//     counted, else estimated from random subsamples);
//   trees_for_mean: the smallest s < F from which on, up to F, the exact
//     mean of samples of s trees lies within X % of the frame's value.
// Neither is ever F itself: "all the trees" is no recommendation.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/fire_intervals.h"
#include "analysis/sampling_frame.h"
#include "records/fire_history.h"

namespace rova {

// The fire years of one span as the sample-size curves need them, for
// thresholds 1 (index 0) and 2 (index 1), on a frame of trees.
struct SpanIncidence {
  int firstYear = 0;
  int lastYear = 0;
  int trees = 0;           // n, the frame's trees
  long long years = 0;     // last - first + 1
  double scale = 0;        // 100 / years: fire years to fire events per century
  std::vector<int> frame;  // the frame's series numbers, in order
  // For each year counted at the threshold with at least one event: k_y.
  std::array<std::vector<int>, 2> recorders;
  // The trees (by place in the frame) with an event in each such year.
  std::array<std::vector<FrameBits>, 2> eventTrees;
  // Pairs of such years (ordered, a year with itself included) by u, the
  // trees with an event in either year; index u = 0..n.
  std::array<std::vector<double>, 2> pairsByUnion;
};

// The incidence of first..last on `frame` (series numbers). Threshold 2
// counts the years with events of at least two trees of the frame; since
// every event lies within its tree's record, and so within either frame,
// these are the years the simulations count there (recorded by at least
// two trees of all). REQUIRES: every number of `frame` in
// 1..data.seriesCount, at most kMaxSeries. An empty span (last < first)
// gives no years and scale 0.
SpanIncidence spanIncidence(const FireHistory& data, int first, int last, InjuryMode injuryMode,
                            const std::vector<int>& frame);

// The incidence on every series of the file: the frame the design's
// simulations draw from.
SpanIncidence spanIncidence(const FireHistory& data, int first, int last, InjuryMode injuryMode);

// Probability that a sample of s trees misses a given set of u of the n
// trees. REQUIRES: 0 <= u <= n, 0 <= s (s <= n without replacement).
double missProbability(SelectionMethod method, int n, int u, int s);

struct ExpectedValue {
  double mean = 0;  // fire events per century
  double sd = 0;
};

// The exact mean and standard deviation for s = 1..n (element s - 1).
// REQUIRES: threshold 1 or 2.
std::vector<ExpectedValue> exactCurve(const SpanIncidence& span, int threshold,
                                      SelectionMethod method);

// The Chao2 asymptote in fire years (counts, not rates).
struct Chao2Estimate {
  int trees = 0;          // m, the sampling units
  int observedYears = 0;  // S_obs
  int q1 = 0;             // years found by exactly one tree
  int q2 = 0;             // years found by exactly two trees
  double estimate = 0;
  double variance = 0;
  double lower95 = 0;
  std::optional<double> upper95;  // none: no upper limit
  // Nothing is estimated missing (the estimate is S_obs): the interval is
  // the one for that case, which chao2OfYears gives.
  bool complete = false;
};

// REQUIRES: trees >= 1; 0 <= q1 + q2 <= observedYears.
Chao2Estimate chao2(int trees, int observedYears, int q1, int q2);

// Chao2 from the trees k of every fire year found. When nothing is
// estimated missing (Q1 = 0, or Q1 = 1 and Q2 = 0, or one tree) the
// interval is finite, as the method's authors give it: with
// P = sum Q_k e^-k / S and V = sum Q_k (e^-k - e^-2k) - (sum k e^-k Q_k)^2 / m,
// lower = max(S, S/(1-P) - 1.96 sqrt(V)/(1-P)), upper = S/(1-P) + 1.96 sqrt(V)/(1-P).
// V can fall below 0 (few trees, most years found by all), where the
// formula gives no interval: there it is S .. S/(1-P). Without any fire
// year (S = 0) the estimate and both limits are 0.
// REQUIRES: trees >= 1; every k in 1..trees.
Chao2Estimate chao2OfYears(int trees, const std::vector<int>& recorders);

// The expected fire years of m + t trees, t = 1..m (element t - 1), by
// the incidence extrapolation towards the Chao2 estimate.
std::vector<double> chao2Extrapolation(const Chao2Estimate& chao);

// The smallest s of 1..size such that ok(s') holds for every s' from s to
// size; none when ok(size) fails (or size < 1).
template <class Ok>
std::optional<int> smallestStableSize(int size, Ok ok) {
  std::optional<int> found;
  for (int s = size; s >= 1 && ok(s); --s) found = s;
  return found;
}

// Whether `value` lies within withinPercent % of `allTrees`, compared in
// double precision; 0 % means equal.
bool withinShare(double value, double allTrees, double withinPercent);

struct AdequacyCriterion {
  double withinPercent = 10;  // X
  double sharePercent = 95;   // P
  int subsamples = 1000;      // random samples per size where not counted whole
  // The filters of the composite and interval statistics; none: the fire
  // frequencies alone.
  std::vector<CompositeFilter> composites{};
};

// The statistics of the adequacy table.
enum class AdequacyStatistic {
  kFireFrequency,           // a year counts when a sampled tree has an event
  kFireFrequencyConfirmed,  // ... and at least two trees of the frame do
};
constexpr int kAdequacyStatistics = 2;
const char* statisticName(AdequacyStatistic statistic);

// The statistics of a filter's composite (fire_intervals.h), per sample:
// its composite fire years per century, and of the intervals between
// them the mean, the median, the Weibull median and exceedance intervals
// (years), shape and scale (years).
enum class IntervalStatistic {
  kCompositeFrequency,
  kMeanInterval,
  kMedianInterval,
  kWeibullMedianInterval,
  kWeibullLowerExceedance,
  kWeibullUpperExceedance,
  kWeibullShape,
  kWeibullScale,
};
constexpr int kIntervalStatistics = 8;
const char* statisticName(IntervalStatistic statistic);

// A sample composite's value of one statistic, the composite frequency in
// composite fire years (not yet per century); none where undefined.
std::optional<double> statisticValue(const SampleComposite& composite, IntervalStatistic statistic);

// One sample size of one statistic, in the statistic's unit (fire events
// per century for the frequencies).
struct AdequacySize {
  int trees = 0;  // s
  std::optional<double> exactMean;  // none where it is not computed exactly
  std::optional<double> exactSd;
  int subsamples = 0;            // random samples drawn (0: none)
  // The subsamples' figures are over those where the statistic is
  // defined (every sample for the frequencies; an interval statistic needs
  // enough composite fire years).
  std::optional<double> undefinedShare;  // of the subsamples; none without
  std::optional<double> mean;    // of the subsamples
  std::optional<double> sd;      // divisor samples - 1; none below 2
  std::optional<double> p2_5;    // percentiles, linear between order statistics
  std::optional<double> p50;     //   (R's quantile type 7)
  std::optional<double> p97_5;
  // Share of samples within X % of the frame's value (a sample where the
  // statistic is undefined is not within); none when the frame's value is
  // undefined, or nothing was drawn or counted.
  std::optional<double> share;
  double shareSe = 0;            // binomial standard error; 0 when exact
  bool shareExact = false;       // counted over every sample of s trees
};

// The trees needed of one statistic: none when no size below F qualifies.
struct TreesNeeded {
  std::optional<int> forShare;
  std::optional<int> forMean;
};

// Samples of s of F trees that can be counted whole (without replacement,
// C(F, s) at most this): their share is exact.
constexpr double kCountedWholeLimit = 100000;

// One statistic of a filter's composite on a span's frame.
struct StatisticAdequacy {
  std::optional<double> allTrees;   // the frame's value; none: undefined there
  std::vector<AdequacySize> sizes;  // s = 1..F
  bool exactMeans = false;          // the rows have exact means (trees for the mean)
  TreesNeeded needed;
};

struct FilterAdequacy {
  CompositeFilter filter;
  std::array<StatisticAdequacy, kIntervalStatistics> statistics;  // by IntervalStatistic
};

// The rows s = 1..F of every statistic: both fire frequencies, and, when
// `years` is given (the same frame's years), every statistic of each
// filter of the criterion. `seed` is the run's; each span and size draws
// from a generator of its own, started from the seed, the span and the
// size, so the table is the same whatever else the run does; every
// statistic of a size reads the same samples.
struct AdequacySizes {
  std::array<std::vector<AdequacySize>, kAdequacyStatistics> fire;
  std::vector<FilterAdequacy> composites;  // per filter: sizes and allTrees set
};
AdequacySizes adequacySizes(const SpanIncidence& span, const FrameYears* years,
                            SelectionMethod method, const AdequacyCriterion& criterion,
                            std::uint32_t seed);

// The trees needed by the two rules from a statistic's rows; by the mean
// only where the rows have exact means.
TreesNeeded treesNeeded(const std::vector<AdequacySize>& sizes, double allTrees,
                        const AdequacyCriterion& criterion);

// Everything one span's adequacy shows, fire rates in events per century,
// on the span's frame.
struct SpanAdequacy {
  int firstYear = 0;
  int lastYear = 0;
  long long years = 0;
  int series = 0;  // series of the file
  FrameRule frameRule = FrameRule::kData;
  int trees = 0;   // F, the frame's trees
  // The exact curves of the design's simulations, on every series of the
  // file (thresholds 1, 2; s = 1..series): what the tidy table sets beside
  // the simulated rows.
  std::array<std::vector<ExpectedValue>, 2> exactOfAllSeries;
  // The frame's rows per statistic, s = 1..F.
  std::array<std::vector<AdequacySize>, kAdequacyStatistics> sizes;
  std::array<double, kAdequacyStatistics> allTrees{};  // the frame's value
  std::array<TreesNeeded, kAdequacyStatistics> needed;
  // Per filter of the criterion, the composite and interval statistics.
  std::vector<FilterAdequacy> composites;
  Chao2Estimate chao2;  // in fire years, on the frame
  // The asymptote and its limits, capped at 100 (one fire year per
  // calendar year of the span).
  double estimate = 0;
  double lower95 = 0;
  std::optional<double> upper95;  // none only without trees
  bool capped = false;
  std::vector<double> extrapolation;  // s = F + 1 .. 2F, capped likewise
  // few_trees (F < 10), singletons_dominate (Q1 >= S/2), capped, and
  // no_fire_years (S = 0: the asymptote says nothing).
  std::vector<std::string> cautions;
};

// The adequacy of the span first..last.
SpanAdequacy spanAdequacy(const FireHistory& data, int first, int last, InjuryMode injuryMode,
                          SelectionMethod method, FrameRule frameRule,
                          const AdequacyCriterion& criterion, std::uint32_t seed);

// Drops the rows per size (and the curves of all series), keeping the
// figures of the span: what is left once the rows are written.
void dropSizes(SpanAdequacy& span);

}  // namespace rova

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
// Trees needed: the smallest sample size from which on, up to all trees,
// the estimate stays within X % of the value of all trees: for the exact
// mean, or for at least P % of the simulations (counted by the simulations
// themselves, ResultRow::withinCount).
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "analysis/result_row.h"
#include "records/fire_history.h"

namespace rova {

// The fire years of one span as the sample-size curves need them, for
// thresholds 1 (index 0) and 2 (index 1).
struct SpanIncidence {
  int firstYear = 0;
  int lastYear = 0;
  int trees = 0;           // n
  long long years = 0;     // last - first + 1
  double scale = 0;        // 100 / years: fire years to fire events per century
  // For each year counted at the threshold with at least one event: k_y.
  std::array<std::vector<int>, 2> recorders;
  // Pairs of such years (ordered, a year with itself included) by u, the
  // trees with an event in either year; index u = 0..n.
  std::array<std::vector<double>, 2> pairsByUnion;
};

// Threshold 2 counts the years with events of at least two trees: the
// years the simulations count there (recorded by at least two trees of
// all), since every event lies within its tree's record.
// REQUIRES: data.seriesCount <= kMaxSeries. An empty span (last < first)
// gives no years and scale 0.
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
};

// REQUIRES: trees >= 1; 0 <= q1 + q2 <= observedYears.
Chao2Estimate chao2(int trees, int observedYears, int q1, int q2);

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
// double precision.
bool withinShare(double value, float allTrees, double withinPercent);

// Trees needed by the exact mean: none when not reached.
std::optional<int> exactTreesNeeded(const std::vector<ExpectedValue>& curve, float allTrees,
                                    double withinPercent);

// Trees needed by the simulations: rows of one span and threshold (any
// order, withinCount counted); a sample size without a row, without
// simulations or without a count does not reach. REQUIRES: trees >= 1.
std::optional<int> simulatedTreesNeeded(const std::vector<ResultRow>& rows, int trees,
                                        double sharePercent);

// Everything one span's adequacy shows, fire rates in events per century.
struct SpanAdequacy {
  int firstYear = 0;
  int lastYear = 0;
  int trees = 0;
  std::array<std::vector<ExpectedValue>, 2> exact;  // thresholds 1, 2; s = 1..n
  std::array<float, 2> allTrees{};                  // v, as the simulations compute it
  Chao2Estimate chao2;                              // in fire years
  double estimate = 0;
  double lower95 = 0;
  std::optional<double> upper95;
  std::vector<double> extrapolation;  // s = n + 1 .. 2n
  std::array<std::optional<int>, 2> simulatedNeeded;
  std::array<std::optional<int>, 2> exactNeeded;
};

struct AdequacyCriterion {
  double withinPercent = 10;  // X
  double sharePercent = 95;   // P
};

// The adequacy of one span; `rows` are the span's simulated rows with
// their withinCount (counted with the same withinPercent).
SpanAdequacy spanAdequacy(const SpanIncidence& span, SelectionMethod method,
                          const AdequacyCriterion& criterion, const std::vector<ResultRow>& rows);

}  // namespace rova

#include "analysis/sample_adequacy.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace rova {
namespace {

constexpr int kTreeWords = (kMaxSeries + 63) / 64;
using TreeBits = std::array<std::uint64_t, kTreeWords>;

// For every year of the span inside the table: which trees hold an event
// in it, within their own record (as the simulations see them).
std::vector<TreeBits> yearTrees(const FireHistory& data, int n, int lo, int hi,
                                InjuryMode injuryMode) {
  std::vector<TreeBits> years(hi >= lo ? static_cast<std::size_t>(hi - lo + 1) : 0, TreeBits{});
  for (int t = 1; t <= n; ++t) {
    const int from = std::max(data.seriesFirstYear[t], lo);
    const int to = std::min(data.seriesLastYear[t], hi);
    for (int y = from; y <= to; ++y) {
      if (isFireEvent(data.code(y, t), injuryMode)) {
        years[y - lo][(t - 1) / 64] |= std::uint64_t{1} << ((t - 1) % 64);
      }
    }
  }
  return years;
}

int count(const TreeBits& bits) {
  int c = 0;
  for (std::uint64_t w : bits) c += __builtin_popcountll(w);
  return c;
}

int unionCount(const TreeBits& a, const TreeBits& b) {
  int c = 0;
  for (int w = 0; w < kTreeWords; ++w) c += __builtin_popcountll(a[w] | b[w]);
  return c;
}

// Ordered pairs of the years (each year with itself too) by the size of
// the union of their trees.
std::vector<double> pairsByUnion(const std::vector<const TreeBits*>& years, int n) {
  std::vector<double> pairs(static_cast<std::size_t>(n) + 1, 0.0);
  for (std::size_t i = 0; i < years.size(); ++i) {
    pairs[count(*years[i])] += 1;
    for (std::size_t j = i + 1; j < years.size(); ++j) pairs[unionCount(*years[i], *years[j])] += 2;
  }
  return pairs;
}

// missProbability(method, n, u, s) for u = 0..limit (limit <= n), 0 past
// it. Without replacement the value for u + 1 is the one for u times the
// next factor of the same running product, so the table costs n
// multiplications, not n * n / 2, and holds the very values
// missProbability gives.
// The table is written into `miss`, which is reused from size to size.
void missTable(SelectionMethod method, int n, int s, int limit, std::vector<double>& miss) {
  miss.assign(static_cast<std::size_t>(n) + 1, 0.0);
  if (method == SelectionMethod::kWithReplacement) {
    for (int u = 0; u <= limit; ++u) miss[u] = missProbability(method, n, u, s);
    return;
  }
  double ratio = 1.0;
  miss[0] = 1.0;
  for (int u = 0; u < limit; ++u) {
    if (n - s - u <= 0) break;  // every larger set of trees is surely hit
    ratio *= static_cast<double>(n - s - u) / (n - u);
    miss[u + 1] = ratio;
  }
}

}  // namespace

SpanIncidence spanIncidence(const FireHistory& data, int first, int last, InjuryMode injuryMode) {
  SpanIncidence span;
  span.firstYear = first;
  span.lastYear = last;
  span.trees = std::min(data.seriesCount, kMaxSeries);
  span.years = static_cast<long long>(last) - first + 1;
  span.scale = span.years > 0 ? 100.0 / static_cast<double>(span.years) : 0.0;
  const int n = span.trees;
  const int lo = std::max(first, kFirstYearSlot);
  const int hi = std::min(last, kLastYearSlot);
  const std::vector<TreeBits> years = yearTrees(data, n, lo, hi, injuryMode);
  std::array<std::vector<const TreeBits*>, 2> counted;
  for (int y = lo; y <= hi; ++y) {
    const TreeBits& trees = years[y - lo];
    const int k = count(trees);
    if (k == 0) continue;
    counted[0].push_back(&trees);
    span.recorders[0].push_back(k);
    if (k >= 2) {
      counted[1].push_back(&trees);
      span.recorders[1].push_back(k);
    }
  }
  for (int t = 0; t < 2; ++t) span.pairsByUnion[t] = pairsByUnion(counted[t], n);
  return span;
}

double missProbability(SelectionMethod method, int n, int u, int s) {
  if (u == 0) return 1.0;
  if (method == SelectionMethod::kWithReplacement) {
    return std::pow(1.0 - static_cast<double>(u) / n, s);
  }
  // C(n-u, s) / C(n, s) = prod_{i<u} (n-s-i) / (n-i): every factor in
  // [0, 1], so the running product neither overflows nor cancels.
  double ratio = 1.0;
  for (int i = 0; i < u; ++i) {
    if (n - s - i <= 0) return 0.0;
    ratio *= static_cast<double>(n - s - i) / (n - i);
  }
  return ratio;
}

std::vector<ExpectedValue> exactCurve(const SpanIncidence& span, int threshold,
                                      SelectionMethod method) {
  const int n = span.trees;
  const std::vector<int>& recorders = span.recorders[threshold - 1];
  const std::vector<double>& pairs = span.pairsByUnion[threshold - 1];
  std::vector<int> byRecorders(static_cast<std::size_t>(n) + 1, 0);
  for (int k : recorders) ++byRecorders[k];
  // The largest number of trees that a year or a pair of years has: no
  // miss probability past it is read (a span of a few years or none at
  // all needs few; the sums below add the same terms in the same order).
  int top = 0;
  for (int u = 1; u <= n; ++u)
    if (byRecorders[u] != 0 || pairs[u] != 0) top = u;
  std::vector<ExpectedValue> curve;
  std::vector<double> miss;
  for (int s = 1; s <= n; ++s) {
    missTable(method, n, s, top, miss);
    double missed = 0;  // expected years missed
    for (int k = 1; k <= top; ++k) missed += byRecorders[k] * miss[k];
    // Var(missed) = sum over ordered pairs P(both missed) - (E missed)^2.
    double both = 0;
    for (int u = 1; u <= top; ++u) both += pairs[u] * miss[u];
    const double variance = std::max(both - missed * missed, 0.0);
    const double found = static_cast<double>(recorders.size()) - missed;
    curve.push_back({found * span.scale, std::sqrt(variance) * span.scale});
  }
  return curve;
}

Chao2Estimate chao2(int trees, int observedYears, int q1, int q2) {
  Chao2Estimate c;
  c.trees = trees;
  c.observedYears = observedYears;
  c.q1 = q1;
  c.q2 = q2;
  const double a = static_cast<double>(trees - 1) / trees;
  const double f1 = q1;
  const double f2 = q2;
  if (q2 > 0) {
    c.estimate = observedYears + a * f1 * f1 / (2 * f2);
    const double r = f1 / f2;
    c.variance = f2 * (a / 2 * r * r + a * a * r * r * r + a * a / 4 * r * r * r * r);
  } else {
    c.estimate = observedYears + a * f1 * (f1 - 1) / 2;
    // With no fire year at all the last term is 0 / 0; it vanishes with Q1.
    const double last = q1 > 0 ? a * a * f1 * f1 * f1 * f1 / (4 * c.estimate) : 0.0;
    c.variance = a * f1 * (f1 - 1) / 2 + a * a * f1 * (2 * f1 - 1) * (2 * f1 - 1) / 4 - last;
  }
  const double t = c.estimate - observedYears;
  c.lower95 = observedYears;
  if (t > 0 && c.variance > 0) {
    const double k = std::exp(1.96 * std::sqrt(std::log(1 + c.variance / (t * t))));
    c.lower95 = observedYears + t / k;
    c.upper95 = observedYears + t * k;
  }
  return c;
}

std::vector<double> chao2Extrapolation(const Chao2Estimate& chao) {
  const int m = chao.trees;
  const double q0 = chao.estimate - chao.observedYears;
  std::vector<double> counts;
  for (int t = 1; t <= m; ++t) {
    double value = chao.observedYears;
    if (chao.q1 > 0 && q0 > 0) {
      value += q0 * (1 - std::pow(1 - chao.q1 / (m * q0 + chao.q1), t));
    }
    counts.push_back(value);
  }
  return counts;
}

bool withinShare(double value, float allTrees, double withinPercent) {
  const double v = allTrees;
  return std::fabs(value - v) <= withinPercent / 100.0 * v;
}

std::optional<int> exactTreesNeeded(const std::vector<ExpectedValue>& curve, float allTrees,
                                    double withinPercent) {
  return smallestStableSize(static_cast<int>(curve.size()), [&](int s) {
    return withinShare(curve[s - 1].mean, allTrees, withinPercent);
  });
}

std::optional<int> simulatedTreesNeeded(const std::vector<ResultRow>& rows, int trees,
                                        double sharePercent) {
  std::vector<double> share(static_cast<std::size_t>(trees) + 1, -1.0);
  for (const ResultRow& row : rows) {
    if (row.sampleSize < 1 || row.sampleSize > trees) continue;
    if (row.simulations < 1 || row.withinCount < 0) continue;
    share[row.sampleSize] = static_cast<double>(row.withinCount) / row.simulations;
  }
  return smallestStableSize(trees, [&](int s) {
    return share[s] >= 0 && share[s] * 100.0 >= sharePercent;
  });
}

SpanAdequacy spanAdequacy(const SpanIncidence& span, SelectionMethod method,
                          const AdequacyCriterion& criterion, const std::vector<ResultRow>& rows) {
  SpanAdequacy a;
  a.firstYear = span.firstYear;
  a.lastYear = span.lastYear;
  a.trees = span.trees;
  // The value of all trees as the simulations compute it, in single precision.
  const float scale = span.years > 0 ? 100.0f / static_cast<float>(span.years) : 0.0f;
  for (int t = 0; t < 2; ++t) {
    a.exact[t] = exactCurve(span, t + 1, method);
    a.allTrees[t] = static_cast<float>(span.recorders[t].size()) * scale;
    a.exactNeeded[t] = exactTreesNeeded(a.exact[t], a.allTrees[t], criterion.withinPercent);
    std::vector<ResultRow> ofThreshold;
    for (const ResultRow& row : rows)
      if (row.threshold == t + 1) ofThreshold.push_back(row);
    if (span.trees >= 1)
      a.simulatedNeeded[t] = simulatedTreesNeeded(ofThreshold, span.trees, criterion.sharePercent);
  }
  const std::vector<int>& years = span.recorders[0];
  const int q1 = static_cast<int>(std::count(years.begin(), years.end(), 1));
  const int q2 = static_cast<int>(std::count(years.begin(), years.end(), 2));
  if (span.trees >= 1) {
    a.chao2 = chao2(span.trees, static_cast<int>(years.size()), q1, q2);
    a.extrapolation = chao2Extrapolation(a.chao2);
  }
  a.estimate = a.chao2.estimate * span.scale;
  a.lower95 = a.chao2.lower95 * span.scale;
  if (a.chao2.upper95) a.upper95 = *a.chao2.upper95 * span.scale;
  for (double& value : a.extrapolation) value *= span.scale;
  return a;
}

}  // namespace rova

#include "analysis/sample_adequacy.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <thread>

namespace rova {
namespace {

using TreeBits = FrameBits;
constexpr int kTreeWords = kFrameWords;

// For every year of the span inside the table: which trees of the frame
// (by place) hold an event in it, within their own record (as the
// simulations see them).
std::vector<TreeBits> eventTreesByYear(const FireHistory& data, const std::vector<int>& frame, int lo,
                                       int hi, InjuryMode injuryMode) {
  std::vector<TreeBits> years(hi >= lo ? static_cast<std::size_t>(hi - lo + 1) : 0, TreeBits{});
  for (std::size_t place = 0; place < frame.size(); ++place) {
    const int t = frame[place];
    const int from = std::max(data.seriesFirstYear[t], lo);
    const int to = std::min(data.seriesLastYear[t], hi);
    for (int y = from; y <= to; ++y) {
      if (isFireEvent(data.code(y, t), injuryMode)) {
        years[y - lo][place / 64] |= std::uint64_t{1} << (place % 64);
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

SpanIncidence spanIncidence(const FireHistory& data, int first, int last, InjuryMode injuryMode,
                            const std::vector<int>& frame) {
  SpanIncidence span;
  span.firstYear = first;
  span.lastYear = last;
  span.frame = frame;
  span.trees = static_cast<int>(frame.size());
  span.years = static_cast<long long>(last) - first + 1;
  span.scale = span.years > 0 ? 100.0 / static_cast<double>(span.years) : 0.0;
  const int n = span.trees;
  const int lo = std::max(first, kFirstYearSlot);
  const int hi = std::min(last, kLastYearSlot);
  const std::vector<TreeBits> years = eventTreesByYear(data, frame, lo, hi, injuryMode);
  std::array<std::vector<const TreeBits*>, 2> counted;
  for (int y = lo; y <= hi; ++y) {
    const TreeBits& trees = years[y - lo];
    const int k = count(trees);
    if (k == 0) continue;
    for (int t = 0; t < 2; ++t) {
      if (k < t + 1) continue;
      counted[t].push_back(&trees);
      span.recorders[t].push_back(k);
      span.eventTrees[t].push_back(trees);
    }
  }
  for (int t = 0; t < 2; ++t) span.pairsByUnion[t] = pairsByUnion(counted[t], n);
  return span;
}

SpanIncidence spanIncidence(const FireHistory& data, int first, int last, InjuryMode injuryMode) {
  std::vector<int> all(static_cast<std::size_t>(std::min(data.seriesCount, kMaxSeries)));
  std::iota(all.begin(), all.end(), 1);
  return spanIncidence(data, first, last, injuryMode, all);
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

Chao2Estimate chao2OfYears(int trees, const std::vector<int>& recorders) {
  const int observed = static_cast<int>(recorders.size());
  const int q1 = static_cast<int>(std::count(recorders.begin(), recorders.end(), 1));
  const int q2 = static_cast<int>(std::count(recorders.begin(), recorders.end(), 2));
  Chao2Estimate c = chao2(trees, observed, q1, q2);
  if (c.estimate > observed) return c;
  c.complete = true;
  if (observed == 0) {
    // No fire year found: nothing to estimate from, and nothing missing.
    c.upper95 = 0.0;
    return c;
  }
  // Nothing estimated missing: the interval of the observed years.
  double p = 0, v = 0, weighted = 0;
  for (int k : recorders) {
    const double e = std::exp(-static_cast<double>(k));
    p += e;
    v += e - e * e;
    weighted += k * e;
  }
  p /= observed;
  v -= weighted * weighted / trees;
  const double centre = observed / (1 - p);
  if (v < 0) {
    // No variance at all: the interval spans the observed years and the
    // centre the formula adjusts them to.
    c.variance = 0;
    c.lower95 = observed;
    c.upper95 = centre;
    return c;
  }
  c.variance = v;
  const double half = 1.96 * std::sqrt(v) / (1 - p);
  c.lower95 = std::max(static_cast<double>(observed), centre - half);
  c.upper95 = centre + half;
  return c;
}

bool withinShare(double value, double allTrees, double withinPercent) {
  return std::fabs(value - allTrees) <= withinPercent / 100.0 * allTrees;
}

const char* statisticName(AdequacyStatistic statistic) {
  return statistic == AdequacyStatistic::kFireFrequency ? "fire_frequency"
                                                        : "fire_frequency_confirmed";
}

const char* statisticName(IntervalStatistic statistic) {
  switch (statistic) {
    case IntervalStatistic::kCompositeFrequency: return "composite_frequency";
    case IntervalStatistic::kMeanInterval: return "mean_interval";
    case IntervalStatistic::kMedianInterval: return "median_interval";
    case IntervalStatistic::kWeibullMedianInterval: return "weibull_median_interval";
    case IntervalStatistic::kWeibullLowerExceedance: return "weibull_lower_exceedance";
    case IntervalStatistic::kWeibullUpperExceedance: return "weibull_upper_exceedance";
    case IntervalStatistic::kWeibullShape: return "weibull_shape";
    case IntervalStatistic::kWeibullScale: return "weibull_scale";
  }
  return "";
}

namespace {

// SplitMix64: a small generator whose every output is fixed by its 64-bit
// state, so the subsamples are the same on every machine and compiler.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t state) : state_(state) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // Uniform in 0..bound-1 without bias: the upper bits of a 64 x 64-bit
  // product, drawing again in the rare case that would favour some values.
  std::uint32_t below(std::uint32_t bound) {
    const std::uint64_t limit = (std::uint64_t{0} - bound) % bound;  // 2^64 mod bound
    for (;;) {
      const std::uint64_t x = next();
      const unsigned __int128 m = static_cast<unsigned __int128>(x) * bound;
      if (static_cast<std::uint64_t>(m) >= limit) return static_cast<std::uint32_t>(m >> 64);
    }
  }

 private:
  std::uint64_t state_;
};

// The start of the generator of one span and sample size.
std::uint64_t streamStart(std::uint32_t seed, int first, int last, int s) {
  SplitMix64 mix(seed);
  std::uint64_t state = mix.next();
  for (long long part : {static_cast<long long>(first), static_cast<long long>(last),
                         static_cast<long long>(s)}) {
    SplitMix64 step(state ^ static_cast<std::uint64_t>(part));
    state = step.next();
  }
  return state;
}

void setBit(TreeBits& bits, int place) { bits[place / 64] |= std::uint64_t{1} << (place % 64); }

// C(n, k) as a double, saturating far above the counting limit.
double choose(int n, int k) {
  k = std::min(k, n - k);
  double c = 1;
  for (int i = 1; i <= k && c <= 1e12; ++i) c = c * (n - k + i) / i;
  return c;
}

// The fire years of a span in the two forms the counting reads, made once
// per span: ordered by their trees, fewest first, each year's trees (by
// place) and each tree's row of fire years (one bit per year), and the
// years found by at least two trees.
struct SpanYears {
  explicit SpanYears(const SpanIncidence& span)
      : years(span.eventTrees[0].size()), words((years + 63) / 64) {
    const int n = span.trees;
    std::vector<std::size_t> order(years);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return span.recorders[0][a] < span.recorders[0][b];
    });
    confirmed.assign(words, 0);
    rows.assign(static_cast<std::size_t>(n) * words, 0);
    for (std::size_t i = 0; i < years; ++i) {
      const std::size_t y = order[i];
      const int k = span.recorders[0][y];
      byFew.push_back(span.eventTrees[0][y]);
      treesOf.push_back(k);
      if (k >= 2) {
        confirmed[i / 64] |= std::uint64_t{1} << (i % 64);
        ++confirmedYears;
      }
      for (int t = 0; t < n; ++t)
        if (span.eventTrees[0][y][t / 64] >> (t % 64) & 1u)
          rows[static_cast<std::size_t>(t) * words + i / 64] |= std::uint64_t{1} << (i % 64);
    }
  }

  std::size_t years;
  std::size_t words;
  std::vector<TreeBits> byFew;            // each year's trees, fewest first
  std::vector<int> treesOf;               // and how many they are
  std::vector<std::uint64_t> rows;        // tree t's fire years: words t*words ..
  std::vector<std::uint64_t> confirmed;   // the years found by >= 2 trees
  int confirmedYears = 0;
};

// Counts the fire years a sample of s trees finds, at both thresholds, by
// the cheaper of two ways for the size:
//  - by trees: the union of the sampled trees' rows, s rows of E / 64
//    words, counted once;
//  - by years: the years a sample can miss, tested one by one against the
//    sample. Without replacement a year found by more trees than the
//    sample leaves out is found by every sample; the years ordered by
//    their trees put the open ones first.
class SampleCounter {
 public:
  SampleCounter(const SpanYears& years, int n, int s, SelectionMethod method) : y_(years) {
    const int leftOut = method == SelectionMethod::kWithoutReplacement ? n - s : n;
    open_ = static_cast<std::size_t>(
        std::upper_bound(y_.treesOf.begin(), y_.treesOf.end(), leftOut) - y_.treesOf.begin());
    useTrees_ = static_cast<double>(s) * static_cast<double>(y_.words) <
                static_cast<double>(open_) * kTreeWords;
  }

  // The found years of a sample, threshold 1 and 2.
  std::array<int, 2> found(const TreeBits& sample, const std::vector<int>& chosen) {
    if (useTrees_) {
      union_.assign(y_.words, 0);
      for (int t : chosen) {
        const std::uint64_t* row = &y_.rows[static_cast<std::size_t>(t) * y_.words];
        for (std::size_t w = 0; w < y_.words; ++w) union_[w] |= row[w];
      }
      int first = 0, second = 0;
      for (std::size_t w = 0; w < y_.words; ++w) {
        first += __builtin_popcountll(union_[w]);
        second += __builtin_popcountll(union_[w] & y_.confirmed[w]);
      }
      return {first, second};
    }
    int missed = 0, missedConfirmed = 0;
    for (std::size_t i = 0; i < open_; ++i) {
      std::uint64_t any = 0;
      for (int w = 0; w < kTreeWords; ++w) any |= y_.byFew[i][w] & sample[w];
      if (any == 0) {
        ++missed;
        missedConfirmed += y_.treesOf[i] >= 2;
      }
    }
    return {static_cast<int>(y_.years) - missed, y_.confirmedYears - missedConfirmed};
  }

 private:
  const SpanYears& y_;
  std::size_t open_ = 0;  // the years a sample may miss: the first open_ of y_
  std::vector<std::uint64_t> union_;
  bool useTrees_ = false;
};

// Every sample of s of the n trees, as the set of places 0..n-1 and their
// list: the m = min(s, n - s) trees taken (or left out) run through all
// combinations in order.
template <class Visit>
void everySample(int n, int s, Visit visit) {
  const int m = std::min(s, n - s);
  const bool leftOut = m != s;
  TreeBits all{};
  for (int t = 0; t < n; ++t) setBit(all, t);
  std::vector<int> pick(m);
  std::iota(pick.begin(), pick.end(), 0);
  std::vector<int> list;
  for (;;) {
    TreeBits chosen{};
    for (int t : pick) setBit(chosen, t);
    if (leftOut)
      for (int w = 0; w < kTreeWords; ++w) chosen[w] = all[w] & ~chosen[w];
    list.clear();
    for (int t = 0; t < n; ++t)
      if (chosen[t / 64] >> (t % 64) & 1u) list.push_back(t);
    visit(chosen, list);
    int i = m - 1;
    while (i >= 0 && pick[i] == n - m + i) --i;
    if (i < 0) return;
    ++pick[i];
    for (int j = i + 1; j < m; ++j) pick[j] = pick[j - 1] + 1;
  }
}

// One random sample of s of n trees by the run's method: without
// replacement a partial shuffle (of the trees left out when they are
// fewer), with replacement s draws, a tree drawn twice counted once.
TreeBits randomSample(int n, int s, SelectionMethod method, SplitMix64& random,
                      std::vector<int>& places, std::vector<int>& list) {
  TreeBits chosen{};
  list.clear();
  if (method == SelectionMethod::kWithReplacement) {
    for (int i = 0; i < s; ++i) {
      const int t = static_cast<int>(random.below(n));
      setBit(chosen, t);
      list.push_back(t);
    }
    return chosen;
  }
  const int m = std::min(s, n - s);
  places.resize(n);
  std::iota(places.begin(), places.end(), 0);
  for (int i = 0; i < m; ++i) {
    const int j = i + static_cast<int>(random.below(static_cast<std::uint32_t>(n - i)));
    std::swap(places[i], places[j]);
  }
  const int from = m == s ? 0 : m;
  const int to = m == s ? m : n;
  for (int i = from; i < to; ++i) {
    setBit(chosen, places[i]);
    list.push_back(places[i]);
  }
  return chosen;
}

// R's quantile type 7 of sorted values, times the scale.
template <class Value>
double quantile7(const std::vector<Value>& sorted, double p, double scale) {
  const double h = (static_cast<double>(sorted.size()) - 1) * p;
  const std::size_t lo = static_cast<std::size_t>(std::floor(h));
  const std::size_t hi = std::min(lo + 1, sorted.size() - 1);
  return (sorted[lo] + (h - static_cast<double>(lo)) * (sorted[hi] - sorted[lo])) * scale;
}

bool countWithin(long long found, long long all, double withinPercent) {
  return std::fabs(static_cast<double>(found - all)) * 100.0 <= withinPercent * static_cast<double>(all);
}

// A sample's value of one composite statistic, in its raw unit (composite
// fire years for the frequency, which the scale turns into a rate).
std::optional<double> rawValue(const SampleComposite& c, int statistic) {
  return statisticValue(c, static_cast<IntervalStatistic>(statistic));
}

}  // namespace

std::optional<double> statisticValue(const SampleComposite& c, IntervalStatistic statistic) {
  const IntervalStatistics& i = c.intervals;
  switch (statistic) {
    case IntervalStatistic::kCompositeFrequency: return static_cast<double>(c.years);
    case IntervalStatistic::kMeanInterval: return i.mean;
    case IntervalStatistic::kMedianInterval: return i.median;
    case IntervalStatistic::kWeibullMedianInterval: return i.weibullMedian;
    case IntervalStatistic::kWeibullLowerExceedance: return i.weibullLowerExceedance;
    case IntervalStatistic::kWeibullUpperExceedance: return i.weibullUpperExceedance;
    case IntervalStatistic::kWeibullShape: return i.weibullShape;
    case IntervalStatistic::kWeibullScale: return i.weibullScale;
  }
  return std::nullopt;
}

namespace {

// The composite statistics of the frame's trees, what each sample is
// compared with.
struct CompositeTargets {
  const FrameYears* years = nullptr;  // none: no composite statistics
  std::vector<CompositeFilter> filters;
  std::vector<SampleComposite> all;  // per filter, of every frame tree
  double withinPercent = 0;

  // Whether a sample's statistic lies within X % of the frame's; a
  // composite frequency is compared on its counts of years, exactly.
  bool within(const SampleComposite& sample, std::size_t f, int statistic) const {
    if (statistic == static_cast<int>(IntervalStatistic::kCompositeFrequency))
      return countWithin(sample.years, all[f].years, withinPercent);
    const std::optional<double> value = rawValue(sample, statistic);
    const std::optional<double> target = rawValue(all[f], statistic);
    return value && target && withinShare(*value, *target, withinPercent);
  }
  bool defined(std::size_t f, int statistic) const { return rawValue(all[f], statistic).has_value(); }
};

using CompositeRows = std::vector<std::array<AdequacySize, kIntervalStatistics>>;

// The subsamples' values of one composite statistic at one size.
struct Draws {
  std::vector<double> values;  // where defined, in the raw unit
  long long undefined = 0;
  long long within = 0;
};

// The subsample figures of one composite statistic from its draws.
void summarize(Draws& d, int draws, double scale, bool targetDefined, AdequacySize& row) {
  const double nd = draws;
  row.subsamples = draws;
  row.undefinedShare = static_cast<double>(d.undefined) / nd;
  std::vector<double>& v = d.values;
  std::sort(v.begin(), v.end());
  if (!v.empty()) {
    const double n = static_cast<double>(v.size());
    if (v.front() == v.back()) {
      // Every defined sample agrees: that value, and no spread at all.
      row.mean = v.front() * scale;
      if (v.size() >= 2) row.sd = 0.0;
    } else {
      double sum = 0;
      for (double x : v) sum += x;
      const double mean = sum / n;
      double squares = 0;
      for (double x : v) squares += (x - mean) * (x - mean);
      row.mean = mean * scale;
      row.sd = std::sqrt(squares / (n - 1)) * scale;
    }
    row.p2_5 = quantile7(v, 0.025, scale);
    row.p50 = quantile7(v, 0.5, scale);
    row.p97_5 = quantile7(v, 0.975, scale);
  }
  if (!row.shareExact && targetDefined) {
    const double share = static_cast<double>(d.within) / nd;
    row.share = share;
    row.shareSe = std::sqrt(share * (1 - share) / nd);
  }
}

// The subsample statistics and shares of one size, for the fire
// frequencies and every composite statistic, from the same samples.
void sizeRows(const SpanIncidence& span, const SpanYears& years, int s, SelectionMethod method,
              const AdequacyCriterion& criterion, std::uint32_t seed,
              const CompositeTargets& targets, std::array<AdequacySize, kAdequacyStatistics>& rows,
              CompositeRows& compositeRows) {
  const int n = span.trees;
  const long long all[2] = {static_cast<long long>(span.recorders[0].size()),
                            static_cast<long long>(span.recorders[1].size())};
  const std::size_t filters = targets.years ? targets.filters.size() : 0;
  compositeRows.assign(filters, {});
  for (int t = 0; t < kAdequacyStatistics; ++t) rows[t].trees = s;
  for (auto& statistics : compositeRows)
    for (AdequacySize& row : statistics) row.trees = s;
  std::optional<CompositeStatistics> composites;
  if (filters > 0) composites.emplace(*targets.years, targets.filters);
  SampleCounter counter(years, n, s, method);
  if (method == SelectionMethod::kWithoutReplacement && choose(n, s) <= kCountedWholeLimit) {
    long long samples = 0, within[2] = {0, 0};
    std::vector<std::array<long long, kIntervalStatistics>> compositeWithin(filters);
    everySample(n, s, [&](const TreeBits& chosen, const std::vector<int>& list) {
      const std::array<int, 2> f = counter.found(chosen, list);
      ++samples;
      for (int t = 0; t < 2; ++t) within[t] += countWithin(f[t], all[t], criterion.withinPercent);
      if (filters == 0) return;
      const std::vector<SampleComposite>& c = composites->of(chosen);
      for (std::size_t g = 0; g < filters; ++g)
        for (int i = 0; i < kIntervalStatistics; ++i) compositeWithin[g][i] += targets.within(c[g], g, i);
    });
    for (int t = 0; t < 2; ++t) {
      rows[t].share = static_cast<double>(within[t]) / static_cast<double>(samples);
      rows[t].shareExact = true;
    }
    for (std::size_t g = 0; g < filters; ++g) {
      for (int i = 0; i < kIntervalStatistics; ++i) {
        if (!targets.defined(g, i)) continue;
        compositeRows[g][i].share =
            static_cast<double>(compositeWithin[g][i]) / static_cast<double>(samples);
        compositeRows[g][i].shareExact = true;
      }
    }
  }
  const int draws = criterion.subsamples;
  if (draws < 1) return;
  SplitMix64 random(streamStart(seed, span.firstYear, span.lastYear, s));
  std::vector<int> places, list;
  std::array<std::vector<int>, 2> counts;
  for (auto& c : counts) c.reserve(static_cast<std::size_t>(draws));
  std::vector<std::array<Draws, kIntervalStatistics>> drawn(filters);
  for (int i = 0; i < draws; ++i) {
    const TreeBits chosen = randomSample(n, s, method, random, places, list);
    const std::array<int, 2> f = counter.found(chosen, list);
    for (int t = 0; t < 2; ++t) counts[t].push_back(f[t]);
    if (filters == 0) continue;
    const std::vector<SampleComposite>& c = composites->of(chosen);
    for (std::size_t g = 0; g < filters; ++g) {
      for (int k = 0; k < kIntervalStatistics; ++k) {
        Draws& d = drawn[g][k];
        const std::optional<double> value = rawValue(c[g], k);
        if (value) d.values.push_back(*value); else ++d.undefined;
        d.within += targets.within(c[g], g, k);
      }
    }
  }
  for (int t = 0; t < kAdequacyStatistics; ++t) {
    AdequacySize& row = rows[t];
    std::vector<int>& c = counts[t];
    row.subsamples = draws;
    row.undefinedShare = 0.0;
    // Sums of counts are exact integers: equal samples give sd 0 exactly.
    long long sum = 0, squares = 0, within = 0;
    for (int x : c) {
      sum += x;
      squares += static_cast<long long>(x) * x;
      within += countWithin(x, all[t], criterion.withinPercent);
    }
    const double nd = draws;
    row.mean = static_cast<double>(sum) / nd * span.scale;
    if (draws >= 2) {
      const double spread = static_cast<double>(draws * squares - sum * sum) / (nd * (nd - 1));
      row.sd = std::sqrt(std::max(spread, 0.0)) * span.scale;
    }
    std::sort(c.begin(), c.end());
    row.p2_5 = quantile7(c, 0.025, span.scale);
    row.p50 = quantile7(c, 0.5, span.scale);
    row.p97_5 = quantile7(c, 0.975, span.scale);
    if (!row.shareExact) {
      const double share = static_cast<double>(within) / nd;
      row.share = share;
      row.shareSe = std::sqrt(share * (1 - share) / nd);
    }
  }
  for (std::size_t g = 0; g < filters; ++g) {
    for (int k = 0; k < kIntervalStatistics; ++k) {
      const double scale = k == static_cast<int>(IntervalStatistic::kCompositeFrequency) ? span.scale : 1.0;
      summarize(drawn[g][k], draws, scale, targets.defined(g, k), compositeRows[g][k]);
    }
  }
}

}  // namespace

AdequacySizes adequacySizes(const SpanIncidence& span, const FrameYears* frameYears,
                            SelectionMethod method, const AdequacyCriterion& criterion,
                            std::uint32_t seed) {
  const int n = span.trees;
  CompositeTargets targets;
  if (frameYears && !criterion.composites.empty()) {
    targets.years = frameYears;
    targets.filters = criterion.composites;
    targets.withinPercent = criterion.withinPercent;
    CompositeStatistics frame(*frameYears, targets.filters);
    targets.all = frame.of(allPlaces(n));
  }
  const std::size_t filters = targets.years ? targets.filters.size() : 0;
  std::vector<std::array<AdequacySize, kAdequacyStatistics>> bySize(static_cast<std::size_t>(n));
  std::vector<CompositeRows> compositeBySize(static_cast<std::size_t>(n));
  // The sizes are independent (each its own generator): two threads share
  // them, size s to thread s % 2, when there is work enough to pay for it.
  const long long work = static_cast<long long>(n) * std::max(criterion.subsamples, 1) *
                         static_cast<long long>(span.eventTrees[0].size() + 1) *
                         static_cast<long long>(1 + 4 * filters);
  const int threads = work > 2000000 && std::thread::hardware_concurrency() > 1 ? 2 : 1;
  const SpanYears years(span);
  auto run = [&](int part) {
    for (int s = 1 + part; s <= n; s += threads)
      sizeRows(span, years, s, method, criterion, seed, targets, bySize[s - 1], compositeBySize[s - 1]);
  };
  if (threads == 1) {
    run(0);
  } else {
    std::thread other(run, 1);
    run(0);
    other.join();
  }
  AdequacySizes sizes;
  for (int t = 0; t < kAdequacyStatistics; ++t) {
    const std::vector<ExpectedValue> exact = exactCurve(span, t + 1, method);
    for (int s = 1; s <= n; ++s) {
      AdequacySize row = bySize[s - 1][t];
      row.exactMean = exact[s - 1].mean;
      row.exactSd = exact[s - 1].sd;
      sizes.fire[t].push_back(row);
    }
  }
  for (std::size_t g = 0; g < filters; ++g) {
    FilterAdequacy f;
    f.filter = targets.filters[g];
    // The composite frequency's exact mean without replacement: the chance
    // of each year to pass, summed. Its sd would need the chance of every
    // pair of years to pass together, and is not computed.
    std::vector<double> exact;
    if (method == SelectionMethod::kWithoutReplacement) exact = exactCompositeYears(*frameYears, f.filter);
    for (int k = 0; k < kIntervalStatistics; ++k) {
      StatisticAdequacy& statistic = f.statistics[k];
      const std::optional<double> all = rawValue(targets.all[g], k);
      const bool rate = k == static_cast<int>(IntervalStatistic::kCompositeFrequency);
      if (all) statistic.allTrees = *all * (rate ? span.scale : 1.0);
      statistic.exactMeans = rate && !exact.empty();
      for (int s = 1; s <= n; ++s) {
        AdequacySize row = compositeBySize[s - 1][g][k];
        if (rate && !exact.empty()) row.exactMean = exact[s - 1] * span.scale;
        statistic.sizes.push_back(row);
      }
    }
    sizes.composites.push_back(std::move(f));
  }
  return sizes;
}

TreesNeeded treesNeeded(const std::vector<AdequacySize>& sizes, double allTrees,
                        const AdequacyCriterion& criterion) {
  TreesNeeded needed;
  const int frame = static_cast<int>(sizes.size());
  if (frame < 2) return needed;
  needed.forShare = smallestStableSize(frame - 1, [&](int s) {
    const std::optional<double>& share = sizes[s - 1].share;
    return share && *share * 100.0 >= criterion.sharePercent;
  });
  // The mean must stay within up to F, but F itself is never the answer.
  auto meanWithin = [&](int s) {
    const std::optional<double>& mean = sizes[s - 1].exactMean;
    return mean && withinShare(*mean, allTrees, criterion.withinPercent);
  };
  if (meanWithin(frame)) needed.forMean = smallestStableSize(frame - 1, meanWithin);
  return needed;
}

SpanAdequacy spanAdequacy(const FireHistory& data, int first, int last, InjuryMode injuryMode,
                          SelectionMethod method, FrameRule frameRule,
                          const AdequacyCriterion& criterion, std::uint32_t seed) {
  SpanAdequacy a;
  a.firstYear = first;
  a.lastYear = last;
  a.years = static_cast<long long>(last) - first + 1;
  a.series = std::min(data.seriesCount, kMaxSeries);
  a.frameRule = frameRule;
  const SpanIncidence everySeries = spanIncidence(data, first, last, injuryMode);
  for (int t = 0; t < 2; ++t) a.exactOfAllSeries[t] = exactCurve(everySeries, t + 1, method);
  const std::vector<int> frame = frameTrees(data, first, last, frameRule, injuryMode);
  const SpanIncidence span = spanIncidence(data, first, last, injuryMode, frame);
  a.trees = span.trees;
  std::optional<FrameYears> years;
  if (!criterion.composites.empty()) years = frameYears(data, frame, first, last, injuryMode);
  AdequacySizes sizes = adequacySizes(span, years ? &*years : nullptr, method, criterion, seed);
  a.sizes = std::move(sizes.fire);
  a.composites = std::move(sizes.composites);
  for (int t = 0; t < kAdequacyStatistics; ++t) {
    a.allTrees[t] = static_cast<double>(span.recorders[t].size()) * span.scale;
    a.needed[t] = treesNeeded(a.sizes[t], a.allTrees[t], criterion);
  }
  for (FilterAdequacy& f : a.composites)
    for (StatisticAdequacy& statistic : f.statistics)
      if (statistic.allTrees) statistic.needed = treesNeeded(statistic.sizes, *statistic.allTrees, criterion);
  if (span.trees < 1 || span.years < 1) return a;
  a.chao2 = chao2OfYears(span.trees, span.recorders[0]);
  a.extrapolation = chao2Extrapolation(a.chao2);
  // No span holds more fire years than calendar years.
  const double cap = static_cast<double>(span.years);
  auto capped = [&](double years) {
    if (years > cap) a.capped = true;
    return std::min(years, cap) * span.scale;
  };
  a.estimate = capped(a.chao2.estimate);
  a.lower95 = capped(a.chao2.lower95);
  if (a.chao2.upper95) a.upper95 = capped(*a.chao2.upper95);
  for (double& value : a.extrapolation) value = std::min(value, cap) * span.scale;
  if (span.trees < 10) a.cautions.push_back("few_trees");
  if (a.chao2.observedYears > 0 && 2 * a.chao2.q1 >= a.chao2.observedYears)
    a.cautions.push_back("singletons_dominate");
  if (a.capped) a.cautions.push_back("capped");
  if (a.chao2.observedYears == 0) a.cautions.push_back("no_fire_years");
  return a;
}

void dropSizes(SpanAdequacy& span) {
  for (auto& sizes : span.sizes) std::vector<AdequacySize>().swap(sizes);
  for (auto& curve : span.exactOfAllSeries) std::vector<ExpectedValue>().swap(curve);
  for (FilterAdequacy& f : span.composites)
    for (StatisticAdequacy& statistic : f.statistics) std::vector<AdequacySize>().swap(statistic.sizes);
}

}  // namespace rova

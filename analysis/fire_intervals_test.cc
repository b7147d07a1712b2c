#include "analysis/fire_intervals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"
#include "analysis/random.h"
#include "analysis/sample_adequacy.h"

namespace rova {
namespace {

TEST(CompositeFilter, ParsedNamedAndAppliedAsWritten) {
  const auto usual = parseCompositeFilter("25,2,1");
  ASSERT_TRUE(usual);
  EXPECT_EQ(usual->percent, 25);
  EXPECT_EQ(usual->minRecorders, 2);
  EXPECT_EQ(usual->minScarred, 1);
  EXPECT_EQ(compositeName(*usual), "composite_25_2_1");
  EXPECT_EQ(compositeName(*parseCompositeFilter("12.5,3,2")), "composite_12.5_3_2");
  for (const char* bad : {"", "25", "25,2", "25,2,1,1", "101,2,1", "25,0,1", "25,2,0", "-5,2,1",
                          "25,2,x", "25,,1", "25,2,201"})
    EXPECT_FALSE(parseCompositeFilter(bad)) << bad;
  // 1 of 4 recording trees is 25 %: enough; 1 of 5 is not; one recorder
  // is too few whatever it shows.
  EXPECT_TRUE(compositePasses(*usual, 1, 4));
  EXPECT_FALSE(compositePasses(*usual, 1, 5));
  EXPECT_FALSE(compositePasses(*usual, 1, 1));
  EXPECT_FALSE(compositePasses(*usual, 0, 2));
  const CompositeFilter any{0, 1, 1};
  EXPECT_TRUE(compositePasses(any, 1, 1));
  EXPECT_TRUE(compositePasses(any, 1, 200));
  EXPECT_FALSE(compositePasses(any, 0, 200));
}

// The frame places `places` as a sample.
FrameBits sampleOf(const std::vector<int>& places) {
  FrameBits bits{};
  for (int p : places) bits[p / 64] |= std::uint64_t{1} << (p % 64);
  return bits;
}

// The places set in `bits`, in order.
std::vector<int> placesIn(const FrameBits& bits) {
  std::vector<int> places;
  for (int p = 0; p < kMaxSeries; ++p)
    if (bits[p / 64] >> (p % 64) & 1u) places.push_back(p);
  return places;
}

TEST(CompositeFilter, YearsOfAHandMadeSite) {
  // 1900..1905, four trees. 1901: tree 1 scarred of 4 recording (25 %).
  // 1902: tree 2 scarred; tree 3's pith mark stands beside a recording
  // year, so 4 record (25 %). 1903: tree 3 scarred; trees 1 and 4 have
  // "." (not recording), so 1 of 2 (50 %). 1904: trees 1 and 2 scarred of
  // 3 recording.
  const FireHistory h = makeHistory(1900, {"|A|.A|", "||A|A|", "||[A||", "|||..|"});
  const FrameYears years = frameYears(h, {1, 2, 3, 4}, 1900, 1905, InjuryMode::kFireScarsOnly);
  ASSERT_EQ(years.years.size(), 6u);
  EXPECT_EQ(years.fireYears, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(placesIn(years.years[2].recording), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(placesIn(years.years[3].recording), (std::vector<int>{1, 2}));
  EXPECT_EQ(placesIn(years.years[4].scarred), (std::vector<int>{0, 1}));
  const FrameBits all = allPlaces(4);
  EXPECT_EQ(compositeYears(years, all, {25, 2, 1}), (std::vector<int>{1901, 1902, 1903, 1904}));
  EXPECT_EQ(compositeYears(years, all, {30, 2, 1}), (std::vector<int>{1903, 1904}));
  EXPECT_EQ(compositeYears(years, all, {50, 2, 2}), (std::vector<int>{1904}));
  // A sample of trees 1 and 4: 1901 has 1 of 2; in 1904 tree 1 alone records.
  const FrameBits sample = sampleOf({0, 3});
  EXPECT_EQ(compositeYears(years, sample, {25, 2, 1}), (std::vector<int>{1901}));
  EXPECT_EQ(compositeYears(years, sample, {0, 1, 1}), (std::vector<int>{1901, 1904}));
}

TEST(CompositeFilter, SiteYearsCountTheTreesWithDataAndTheirInjuries) {
  // Tree 3 has an injury in 1901 beside its recording years; tree 4 holds
  // no data in the span and is not counted.
  const FireHistory h = makeHistory(1900, {"|A|", "||A", "|a|", "....|"});
  const std::vector<SiteYear> scars =
      siteYears(h, 1900, 1902, InjuryMode::kFireScarsOnly, {{25, 2, 1}, {50, 2, 2}});
  ASSERT_EQ(scars.size(), 3u);
  EXPECT_EQ(scars[1].recording, 3);
  EXPECT_EQ(scars[1].scarred, 1);
  EXPECT_EQ(scars[1].injured, 1);
  EXPECT_EQ(scars[1].composite, (std::vector<char>{1, 0}));
  const std::vector<SiteYear> injuries =
      siteYears(h, 1900, 1902, InjuryMode::kAllInjuries, {{25, 2, 1}, {50, 2, 2}});
  EXPECT_EQ(injuries[1].scarred, 2);  // the injury counts as a fire event
  EXPECT_EQ(injuries[1].injured, 1);
  EXPECT_EQ(injuries[1].composite, (std::vector<char>{1, 1}));
}

TEST(CompositeFilter, AnyScarredTreeIsTheFireFrequency) {
  RandomGenerator g;
  g.seed(5);
  std::vector<std::string> trees(9, std::string(60, '|'));
  for (std::string& tree : trees)
    for (char& code : tree) code = g.uniform() < 0.1f ? 'A' : g.uniform() < 0.1f ? '.' : code;
  const FireHistory h = makeHistory(1800, trees);
  std::vector<int> all{1, 2, 3, 4, 5, 6, 7, 8, 9};
  const FrameYears years = frameYears(h, all, 1800, 1859, InjuryMode::kFireScarsOnly);
  const SpanIncidence span = spanIncidence(h, 1800, 1859, InjuryMode::kFireScarsOnly, all);
  EXPECT_EQ(compositeYears(years, allPlaces(9), {0, 1, 1}).size(), span.recorders[0].size());
}

// Weibull's shape by bisection, written apart from the program's solver:
// the root of sum x^c ln x / sum x^c - 1/c - mean(ln x) in (1e-6, 1e3).
// Powers of x / max x (the ratio is the same) keep large shapes finite.
double shapeByBisection(const std::vector<double>& x) {
  double meanLog = 0;
  for (double v : x) meanLog += std::log(v) / x.size();
  const double top = *std::max_element(x.begin(), x.end());
  auto g = [&](double c) {
    double a = 0, b = 0;
    for (double v : x) {
      a += std::pow(v / top, c) * std::log(v);
      b += std::pow(v / top, c);
    }
    return a / b - 1 / c - meanLog;
  };
  double lo = 1e-6, hi = 1e3;
  while (hi - lo > 1e-13) {
    const double mid = (lo + hi) / 2;
    (g(mid) < 0 ? lo : hi) = mid;
  }
  return (lo + hi) / 2;
}

TEST(FireIntervals, WeibullAgainstAnIndependentSolver) {
  for (const std::vector<double>& x :
       {std::vector<double>{10, 5, 15}, std::vector<double>{3, 4, 7, 2, 12, 9, 5},
        std::vector<double>{1, 1, 1, 30}, std::vector<double>{20, 21, 19, 22, 20, 18},
        std::vector<double>{2, 40, 7, 13, 5, 1, 26, 3},
        // repeated values (the solver works on distinct values and their
        // counts), and nearly equal ones (a large shape)
        std::vector<double>{3, 3, 3, 3, 7, 7, 12, 3, 7}, std::vector<double>{1, 2, 1, 1, 2, 1},
        std::vector<double>{100, 101, 102, 100, 101}}) {
    const auto c = weibullShape(x);
    ASSERT_TRUE(c);
    EXPECT_NEAR(*c, shapeByBisection(x), 1e-12 * *c);
  }
  EXPECT_FALSE(weibullShape({5, 5, 5, 5}));  // all equal: no finite maximum
  EXPECT_FALSE(weibullShape({5, 7}));        // two intervals are too few
}

TEST(FireIntervals, StatisticsOfHandMadeIntervals) {
  // Intervals 10, 5, 15.
  const IntervalStatistics s = intervalStatistics({1700, 1710, 1715, 1730});
  EXPECT_EQ(s.intervals, 3);
  EXPECT_EQ(*s.mean, 10);
  EXPECT_EQ(*s.median, 10);
  const double c = shapeByBisection({10, 5, 15});
  double power = (std::pow(10, c) + std::pow(5, c) + std::pow(15, c)) / 3;
  const double b = std::pow(power, 1 / c);
  EXPECT_NEAR(*s.weibullScale, b, 1e-9);
  EXPECT_NEAR(*s.weibullMedian, b * std::pow(std::log(2.0), 1 / c), 1e-9);
  EXPECT_NEAR(*s.weibullLowerExceedance, b * std::pow(-std::log(0.875), 1 / c), 1e-9);
  EXPECT_NEAR(*s.weibullUpperExceedance, b * std::pow(-std::log(0.125), 1 / c), 1e-9);
  // Two intervals: a mean and a median (of 4 and 6), no Weibull.
  const IntervalStatistics two = intervalStatistics({1800, 1804, 1810});
  EXPECT_EQ(*two.median, 5);
  EXPECT_FALSE(two.weibullShape);
  // One interval or none: nothing is defined.
  EXPECT_FALSE(intervalStatistics({1800, 1804}).mean);
  EXPECT_FALSE(intervalStatistics({}).median);
  // Equal intervals: mean and median, no Weibull.
  const IntervalStatistics equal = intervalStatistics({1800, 1810, 1820, 1830});
  EXPECT_EQ(*equal.mean, 10);
  EXPECT_FALSE(equal.weibullMedian);
}

TEST(FireIntervals, PassProbabilityAgainstEverySubset) {
  // F = 8 trees: k scarred, r - k other recording, F - r not recording.
  // Every subset of s trees is counted, and the filter applied to it.
  const int F = 8;
  for (const CompositeFilter& filter :
       {CompositeFilter{25, 2, 1}, CompositeFilter{0, 1, 1}, CompositeFilter{50, 3, 2}}) {
    for (int r = 0; r <= F; ++r) {
      for (int k = 0; k <= r; ++k) {
        for (int s = 1; s <= F; ++s) {
          int passing = 0, samples = 0;
          for (unsigned mask = 0; mask < (1u << F); ++mask) {
            if (__builtin_popcount(mask) != s) continue;
            int scarred = 0, recording = 0;
            for (int t = 0; t < F; ++t) {
              if (!(mask >> t & 1u)) continue;
              scarred += t < k;
              recording += t < r;
            }
            ++samples;
            passing += compositePasses(filter, scarred, recording);
          }
          EXPECT_NEAR(compositePassProbability(filter, k, r, F, s),
                      static_cast<double>(passing) / samples, 1e-12)
              << k << " " << r << " " << s;
        }
      }
    }
  }
}

// A site read from its codes with none of the program's code: a tree
// records in a year with "|" or a scar (upper case), and with a ring
// mark or an injury beside such a year; the trees of `mask` (bit t: tree
// t + 1) make a composite year by the filter's three conditions.
struct PlainSite {
  int firstYear = 0;
  std::vector<std::string> trees;

  static bool recordsByItself(char c) { return c == '|' || (c >= 'A' && c <= 'Z'); }
  bool records(int t, int y) const {
    const std::string& row = trees[t];
    const char c = row[y];
    if (recordsByItself(c)) return true;
    if (c != '[' && c != ']' && c != '{' && c != '}' && !(c >= 'a' && c <= 'z')) return false;
    return (y > 0 && recordsByItself(row[y - 1])) ||
           (y + 1 < static_cast<int>(row.size()) && recordsByItself(row[y + 1]));
  }
  std::vector<int> composite(unsigned mask, const CompositeFilter& f) const {
    std::vector<int> years;
    for (int y = 0; y < static_cast<int>(trees[0].size()); ++y) {
      int scarred = 0, recording = 0;
      for (int t = 0; t < static_cast<int>(trees.size()); ++t) {
        if (!(mask >> t & 1u)) continue;
        recording += records(t, y);
        scarred += trees[t][y] >= 'A' && trees[t][y] <= 'Z';
      }
      if (scarred >= f.minScarred && recording >= f.minRecorders &&
          scarred * 100.0 >= f.percent * recording)
        years.push_back(firstYear + y);
    }
    return years;
  }
};

// The interval statistics worked out plainly: the Weibull by bisection.
IntervalStatistics plainIntervals(const std::vector<int>& years) {
  IntervalStatistics s;
  std::vector<double> x;
  for (std::size_t i = 1; i < years.size(); ++i) x.push_back(years[i] - years[i - 1]);
  s.intervals = static_cast<int>(x.size());
  if (x.size() < 2) return s;
  std::sort(x.begin(), x.end());
  double sum = 0;
  for (double v : x) sum += v;
  s.mean = sum / x.size();
  s.median = x.size() % 2 ? x[x.size() / 2] : (x[x.size() / 2 - 1] + x[x.size() / 2]) / 2;
  if (x.size() < 3 || x.front() == x.back()) return s;
  const double c = shapeByBisection(x);
  double power = 0;
  for (double v : x) power += std::pow(v / x.back(), c) / x.size();
  const double b = x.back() * std::pow(power, 1 / c);
  s.weibullShape = c;
  s.weibullScale = b;
  s.weibullMedian = b * std::pow(std::log(2.0), 1 / c);
  s.weibullLowerExceedance = b * std::pow(-std::log(0.875), 1 / c);
  s.weibullUpperExceedance = b * std::pow(-std::log(0.125), 1 / c);
  return s;
}

// Seven trees over 1800..1839 with scars, injuries, ring marks beside
// recording years and years without data inside the records.
PlainSite sevenTrees() {
  RandomGenerator g;
  g.seed(31);
  PlainSite site{1800, std::vector<std::string>(7, std::string(40, '|'))};
  for (std::string& tree : site.trees) {
    for (char& code : tree) {
      const float u = g.uniform();
      code = u < 0.16f ? 'A' : u < 0.19f ? 'a' : u < 0.23f ? '.' : u < 0.25f ? '[' : '|';
    }
  }
  return site;
}

const CompositeFilter kFilters[] = {{25, 2, 1}, {0, 1, 1}, {50, 2, 2}, {10, 3, 1}};

void expectSameIntervals(const IntervalStatistics& program, const IntervalStatistics& plain,
                         const std::string& where) {
  EXPECT_EQ(program.intervals, plain.intervals) << where;
  EXPECT_EQ(program.mean, plain.mean) << where;
  EXPECT_EQ(program.median, plain.median) << where;
  const std::optional<double> pairs[][2] = {
      {program.weibullShape, plain.weibullShape},
      {program.weibullScale, plain.weibullScale},
      {program.weibullMedian, plain.weibullMedian},
      {program.weibullLowerExceedance, plain.weibullLowerExceedance},
      {program.weibullUpperExceedance, plain.weibullUpperExceedance}};
  for (const auto& pair : pairs) {
    ASSERT_EQ(pair[0].has_value(), pair[1].has_value()) << where;
    if (pair[0]) {
      EXPECT_NEAR(*pair[0], *pair[1], 1e-10 * *pair[1]) << where;
    }
  }
}

TEST(CompositeFilter, EverySubsetAgainstAPlainComposite) {
  const PlainSite site = sevenTrees();
  const FireHistory h = makeHistory(site.firstYear, site.trees);
  const FrameYears years = frameYears(h, {1, 2, 3, 4, 5, 6, 7}, 1800, 1839, InjuryMode::kFireScarsOnly);
  const std::vector<CompositeFilter> filters(std::begin(kFilters), std::end(kFilters));
  CompositeStatistics statistics(years, filters);
  int weibulls = 0, undefined = 0;
  for (unsigned mask = 1; mask < 128; ++mask) {
    std::vector<int> places;
    for (int t = 0; t < 7; ++t)
      if (mask >> t & 1u) places.push_back(t);
    const std::vector<SampleComposite>& c = statistics.of(sampleOf(places));
    for (std::size_t f = 0; f < filters.size(); ++f) {
      const std::vector<int> plain = site.composite(mask, filters[f]);
      const std::string where = std::to_string(mask) + " " + compositeText(filters[f]);
      EXPECT_EQ(compositeYears(years, sampleOf(places), filters[f]), plain) << where;
      EXPECT_EQ(c[f].years, static_cast<int>(plain.size())) << where;
      expectSameIntervals(c[f].intervals, plainIntervals(plain), where);
      weibulls += c[f].intervals.weibullShape.has_value();
      undefined += !c[f].intervals.mean.has_value();
    }
  }
  // Both kinds of sample occur: with a fitted Weibull and with too few years.
  EXPECT_GT(weibulls, 100);
  EXPECT_GT(undefined, 20);
}

TEST(CompositeFilter, ExactCompositeMeanAgainstEverySubset) {
  const PlainSite site = sevenTrees();
  const FireHistory h = makeHistory(site.firstYear, site.trees);
  const FrameYears years = frameYears(h, {1, 2, 3, 4, 5, 6, 7}, 1800, 1839, InjuryMode::kFireScarsOnly);
  for (const CompositeFilter& filter : kFilters) {
    const std::vector<double> exact = exactCompositeYears(years, filter);
    ASSERT_EQ(exact.size(), 7u);
    for (int s = 1; s <= 7; ++s) {
      double sum = 0, samples = 0;
      for (unsigned mask = 1; mask < 128; ++mask) {
        if (__builtin_popcount(mask) != s) continue;
        sum += static_cast<double>(site.composite(mask, filter).size());
        samples += 1;
      }
      EXPECT_NEAR(exact[s - 1], sum / samples, 1e-12) << compositeText(filter) << " s=" << s;
    }
  }
}

// Every statistic of a filter's composite, as the adequacy rows hold it
// (composite frequency in years here, not per century).
std::optional<double> valueOf(const std::vector<int>& years, int statistic) {
  return statisticValue(SampleComposite{static_cast<int>(years.size()), plainIntervals(years)},
                        static_cast<IntervalStatistic>(statistic));
}

TEST(CompositeAdequacy, SharesExactMeansAndTheFrameAgainstEverySubset) {
  // Seven trees: every sample of every size is counted, so each share is
  // exact; the shares, the frame's values, the composite's exact mean and
  // the trees needed for the share follow from the subsets counted here.
  const PlainSite site = sevenTrees();
  const FireHistory h = makeHistory(site.firstYear, site.trees);
  for (double within : {10.0, 25.0}) {
    AdequacyCriterion c{within, 80, 0};
    c.composites.assign(std::begin(kFilters), std::end(kFilters));
    const SpanAdequacy a = spanAdequacy(h, 1800, 1839, InjuryMode::kFireScarsOnly,
                                        SelectionMethod::kWithoutReplacement, FrameRule::kData, c, 9);
    ASSERT_EQ(a.composites.size(), 4u);
    for (std::size_t f = 0; f < 4; ++f) {
      const FilterAdequacy& fa = a.composites[f];
      for (int k = 0; k < kIntervalStatistics; ++k) {
        const StatisticAdequacy& st = fa.statistics[k];
        const double unit = k == 0 ? 2.5 : 1.0;  // 40 years: 2.5 per century a year
        const std::string where = compositeText(fa.filter) + " " +
                                  statisticName(static_cast<IntervalStatistic>(k)) + " " +
                                  std::to_string(within);
        const std::optional<double> all = valueOf(site.composite(127, fa.filter), k);
        ASSERT_EQ(st.allTrees.has_value(), all.has_value()) << where;
        if (all) {
          EXPECT_NEAR(*st.allTrees, *all * unit, 1e-9 * *all) << where;
        }
        ASSERT_EQ(st.sizes.size(), 7u);
        std::optional<int> forShare;
        for (int s = 7; s >= 1; --s) {
          double inside = 0, samples = 0, count = 0;
          for (unsigned mask = 1; mask < 128; ++mask) {
            if (__builtin_popcount(mask) != s) continue;
            const std::vector<int> years = site.composite(mask, fa.filter);
            const std::optional<double> v = valueOf(years, k);
            samples += 1;
            count += static_cast<double>(years.size());
            if (v && all) inside += std::fabs(*v - *all) <= within / 100 * *all;
          }
          const AdequacySize& row = st.sizes[s - 1];
          if (!all) {
            EXPECT_FALSE(row.share) << where;
            continue;
          }
          ASSERT_TRUE(row.shareExact) << where << " s=" << s;
          EXPECT_DOUBLE_EQ(*row.share, inside / samples) << where << " s=" << s;
          if (k == 0) {
            EXPECT_NEAR(*row.exactMean, count / samples * unit, 1e-12) << where;
          } else {
            EXPECT_FALSE(row.exactMean) << where;
          }
          EXPECT_FALSE(row.exactSd) << where;
          if (s < 7 && inside / samples >= 0.8 && (s == 6 || forShare == s + 1)) forShare = s;
        }
        EXPECT_EQ(st.needed.forShare, forShare) << where;
      }
    }
  }
}

TEST(CompositeAdequacy, AnyScarredTreeIsTheFireFrequencyAtEverySize) {
  // Filter 0,1,1 counts the years the fire frequency counts, and reads
  // the same samples: every figure of every size agrees.
  RandomGenerator g;
  g.seed(17);
  std::vector<std::string> trees(14, std::string(90, '|'));
  for (std::string& tree : trees)
    for (char& code : tree) code = g.uniform() < 0.08f ? 'A' : g.uniform() < 0.05f ? '.' : code;
  const FireHistory h = makeHistory(1700, trees);
  for (SelectionMethod m : {SelectionMethod::kWithoutReplacement, SelectionMethod::kWithReplacement}) {
    AdequacyCriterion c{10, 95, 300};
    c.composites = {{0, 1, 1}};
    const SpanAdequacy a = spanAdequacy(h, 1700, 1789, InjuryMode::kFireScarsOnly, m, FrameRule::kData, c, 4);
    const StatisticAdequacy& composite = a.composites[0].statistics[0];
    EXPECT_EQ(*composite.allTrees, a.allTrees[0]);
    for (int s = 1; s <= a.trees; ++s) {
      const AdequacySize& fire = a.sizes[0][s - 1];
      const AdequacySize& row = composite.sizes[s - 1];
      EXPECT_EQ(row.mean, fire.mean) << s;
      EXPECT_EQ(row.p2_5, fire.p2_5) << s;
      EXPECT_EQ(row.p50, fire.p50) << s;
      EXPECT_EQ(row.p97_5, fire.p97_5) << s;
      EXPECT_NEAR(*row.sd, *fire.sd, 1e-9) << s;
      EXPECT_EQ(row.share, fire.share) << s;
      EXPECT_EQ(row.shareExact, fire.shareExact) << s;
      EXPECT_EQ(*row.undefinedShare, 0.0);
      if (m == SelectionMethod::kWithoutReplacement) {
        EXPECT_NEAR(*row.exactMean, *fire.exactMean, 1e-9) << s;
      } else {
        EXPECT_FALSE(row.exactMean);  // with replacement composites are simulated only
      }
    }
    EXPECT_EQ(composite.needed.forShare, a.needed[0].forShare);
  }
}

TEST(CompositeAdequacy, AllFrameTreesGiveTheFrameValue) {
  RandomGenerator g;
  g.seed(23);
  std::vector<std::string> trees(11, std::string(120, '|'));
  for (std::string& tree : trees)
    for (char& code : tree) code = g.uniform() < 0.1f ? 'A' : g.uniform() < 0.1f ? '.' : code;
  const FireHistory h = makeHistory(1500, trees);
  AdequacyCriterion c{0, 95, 50};
  c.composites = {{25, 2, 1}, {10, 2, 1}, {60, 3, 2}};
  const SpanAdequacy a = spanAdequacy(h, 1500, 1619, InjuryMode::kFireScarsOnly,
                                      SelectionMethod::kWithoutReplacement, FrameRule::kData, c, 2);
  int defined = 0;
  for (const FilterAdequacy& f : a.composites) {
    for (int k = 0; k < kIntervalStatistics; ++k) {
      const StatisticAdequacy& st = f.statistics[k];
      const AdequacySize& last = st.sizes.back();
      if (!st.allTrees) {
        EXPECT_EQ(*last.undefinedShare, 1.0);
        EXPECT_FALSE(last.mean || last.share);
        continue;
      }
      ++defined;
      // Within 0 %: every sample of all the trees equals the frame exactly.
      EXPECT_EQ(*last.mean, *st.allTrees);
      EXPECT_EQ(*last.p2_5, *st.allTrees);
      EXPECT_EQ(*last.p97_5, *st.allTrees);
      EXPECT_EQ(*last.sd, 0.0);
      EXPECT_EQ(*last.share, 1.0);
      EXPECT_EQ(*last.undefinedShare, 0.0);
      if (k == 0) {
        EXPECT_EQ(*last.exactMean, *st.allTrees);
      }
    }
  }
  EXPECT_GT(defined, 10);
}

TEST(CompositeAdequacy, SubsamplesAgreeWithTheExactCompositeMean) {
  // 20 trees: sizes 6 to 14 cannot be counted whole; the subsamples' mean
  // of the composite frequency lies within 4 standard errors of the exact
  // mean, and the same seed gives the same rows.
  RandomGenerator g;
  g.seed(41);
  std::vector<std::string> trees(20, std::string(60, '|'));
  for (std::string& tree : trees)
    for (char& code : tree) code = g.uniform() < 0.12f ? 'A' : g.uniform() < 0.15f ? '.' : code;
  const FireHistory h = makeHistory(1600, trees);
  AdequacyCriterion c{10, 95, 4000};
  c.composites = {{25, 2, 1}, {10, 3, 1}};
  const SpanAdequacy a = spanAdequacy(h, 1600, 1659, InjuryMode::kFireScarsOnly,
                                      SelectionMethod::kWithoutReplacement, FrameRule::kData, c, 8);
  for (const FilterAdequacy& f : a.composites) {
    for (int s : {3, 8, 12, 17}) {
      const AdequacySize& row = f.statistics[0].sizes[s - 1];
      EXPECT_NEAR(*row.mean, *row.exactMean, 4 * *row.sd / std::sqrt(4000.0) + 1e-12)
          << compositeText(f.filter) << " s=" << s;
    }
    EXPECT_FALSE(f.statistics[0].sizes[9].shareExact);
  }
  const SpanAdequacy again = spanAdequacy(h, 1600, 1659, InjuryMode::kFireScarsOnly,
                                          SelectionMethod::kWithoutReplacement, FrameRule::kData, c, 8);
  for (int k = 0; k < kIntervalStatistics; ++k) {
    EXPECT_EQ(again.composites[0].statistics[k].sizes[9].p50, a.composites[0].statistics[k].sizes[9].p50);
    EXPECT_EQ(again.composites[1].statistics[k].sizes[9].share,
              a.composites[1].statistics[k].sizes[9].share);
  }
}

TEST(CompositeAdequacy, WithReplacementAgainstEveryOrderedDraw) {
  // Two draws of four trees: 16 ordered pairs, a tree drawn twice counted
  // once; the composite of each pair worked plainly.
  const PlainSite site{2000, {"A|A|A.|A", "|AA||A|A", "||A|A||A", "A||A|AA|"}};
  const FireHistory h = makeHistory(2000, site.trees);
  AdequacyCriterion c{20, 95, 20000};
  c.composites = {{50, 2, 1}};
  const SpanAdequacy a = spanAdequacy(h, 2000, 2007, InjuryMode::kFireScarsOnly,
                                      SelectionMethod::kWithReplacement, FrameRule::kData, c, 3);
  double sum = 0, squares = 0, undefined = 0;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      const std::vector<int> years = site.composite((1u << i) | (1u << j), {50, 2, 1});
      sum += static_cast<double>(years.size());
      squares += static_cast<double>(years.size() * years.size());
      undefined += years.size() < 3;
    }
  }
  const AdequacySize& row = a.composites[0].statistics[0].sizes[1];
  const double mean = sum / 16, sd = std::sqrt(squares / 16 - mean * mean);
  EXPECT_FALSE(row.exactMean);
  EXPECT_NEAR(*row.mean, mean * 12.5, 4 * sd * 12.5 / std::sqrt(20000.0));
  const double p = undefined / 16;
  EXPECT_NEAR(*a.composites[0].statistics[1].sizes[1].undefinedShare, p,
              4 * std::sqrt(p * (1 - p) / 20000));
}

}  // namespace
}  // namespace rova

#include "analysis/fire_intervals.h"

#include <gtest/gtest.h>

#include <cmath>
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

TEST(CompositeFilter, YearsOfAHandMadeSite) {
  // 1900..1905, four trees. 1901: tree 1 scarred of 4 recording (25 %).
  // 1902: tree 2 scarred; tree 3's pith mark stands beside a recording
  // year, so 4 record (25 %). 1903: tree 3 scarred; trees 1 and 4 have
  // "." (not recording), so 1 of 2 (50 %). 1904: trees 1 and 2 scarred of
  // 3 recording.
  const FireHistory h = makeHistory(1900, {"|A|.A|", "||A|A|", "||[A||", "|||..|"});
  const std::vector<YearTrees> years = yearTrees(h, {1, 2, 3, 4}, 1900, 1905, InjuryMode::kFireScarsOnly);
  ASSERT_EQ(years.size(), 6u);
  EXPECT_EQ(years[2].recording, (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(years[3].recording, (std::vector<int>{2, 3}));
  EXPECT_EQ(years[4].scarred, (std::vector<int>{1, 2}));
  std::vector<char> all(5, 1);
  EXPECT_EQ(compositeYears(years, all, {25, 2, 1}), (std::vector<int>{1901, 1902, 1903, 1904}));
  EXPECT_EQ(compositeYears(years, all, {30, 2, 1}), (std::vector<int>{1903, 1904}));
  EXPECT_EQ(compositeYears(years, all, {50, 2, 2}), (std::vector<int>{1904}));
  // A sample of trees 1 and 4: 1901 has 1 of 2; in 1904 tree 1 alone records.
  const std::vector<char> sample{0, 1, 0, 0, 1};
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
  const auto years = yearTrees(h, all, 1800, 1859, InjuryMode::kFireScarsOnly);
  const SpanIncidence span = spanIncidence(h, 1800, 1859, InjuryMode::kFireScarsOnly, all);
  EXPECT_EQ(compositeYears(years, std::vector<char>(10, 1), {0, 1, 1}).size(),
            span.recorders[0].size());
}

// Weibull's shape by bisection, written apart from the program's solver:
// the root of sum x^c ln x / sum x^c - 1/c - mean(ln x) in (1e-6, 1e3).
double shapeByBisection(const std::vector<double>& x) {
  double meanLog = 0;
  for (double v : x) meanLog += std::log(v) / x.size();
  auto g = [&](double c) {
    double a = 0, b = 0;
    for (double v : x) {
      a += std::pow(v, c) * std::log(v);
      b += std::pow(v, c);
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
        std::vector<double>{2, 40, 7, 13, 5, 1, 26, 3}}) {
    const auto c = weibullShape(x);
    ASSERT_TRUE(c);
    EXPECT_NEAR(*c, shapeByBisection(x), 1e-10 * *c);
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

}  // namespace
}  // namespace rova

#include "analysis/sample_adequacy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"
#include "analysis/random.h"
#include "analysis/sample_depth.h"
#include "analysis/simulation.h"
#include "analysis/statistics.h"

namespace rova {
namespace {

SpanIncidence incidenceOf(const FireHistory& h, int first, int last) {
  return spanIncidence(h, first, last, InjuryMode::kFireScarsOnly);
}

// Three trees over 2000..2003: 2000 recorded by tree 1, 2001 by tree 2,
// 2002 by all three, 2003 by none. Only 2002 counts at threshold 2.
FireHistory threeTrees() { return makeHistory(2000, {"A|A|", "|AA|", "||A|"}); }

TEST(SampleAdequacy, ThreeTreesByHandWithoutReplacement) {
  // Samples {1}, {2}, {3} find 2, 2, 1 years; {1,2}, {1,3}, {2,3} find 3, 2,
  // 2: mean 5/3 and 7/3, variance 2/9 both; all three find 3. 25 events
  // per century a year (4 years).
  const SpanIncidence span = incidenceOf(threeTrees(), 2000, 2003);
  const std::vector<ExpectedValue> one = exactCurve(span, 1, SelectionMethod::kWithoutReplacement);
  ASSERT_EQ(one.size(), 3u);
  EXPECT_NEAR(one[0].mean, 25.0 * 5 / 3, 1e-12);
  EXPECT_NEAR(one[0].sd, 25.0 * std::sqrt(2.0 / 9), 1e-12);
  EXPECT_NEAR(one[1].mean, 25.0 * 7 / 3, 1e-12);
  EXPECT_NEAR(one[1].sd, 25.0 * std::sqrt(2.0 / 9), 1e-12);
  EXPECT_EQ(one[2].mean, 75.0);
  EXPECT_EQ(one[2].sd, 0.0);
  for (const ExpectedValue& v : exactCurve(span, 2, SelectionMethod::kWithoutReplacement)) {
    EXPECT_EQ(v.mean, 25.0);  // 2002 is found by every tree
    EXPECT_EQ(v.sd, 0.0);
  }
}

TEST(SampleAdequacy, ThreeTreesByHandWithReplacement) {
  // Two draws: the 9 ordered pairs find 2,2,1,3,3,2,2,2,2 years: mean 19/9,
  // variance 43/9 - (19/9)^2 = 26/81. Three draws miss year 2000 with
  // probability (2/3)^3.
  const SpanIncidence span = incidenceOf(threeTrees(), 2000, 2003);
  const std::vector<ExpectedValue> one = exactCurve(span, 1, SelectionMethod::kWithReplacement);
  ASSERT_EQ(one.size(), 3u);
  EXPECT_NEAR(one[0].mean, 25.0 * 5 / 3, 1e-12);
  EXPECT_NEAR(one[1].mean, 25.0 * 19 / 9, 1e-12);
  EXPECT_NEAR(one[1].sd, 25.0 * std::sqrt(26.0 / 81), 1e-12);
  EXPECT_NEAR(one[2].mean, 25.0 * (1 + 2 * (1 - 8.0 / 27)), 1e-12);
  EXPECT_EQ(exactCurve(span, 2, SelectionMethod::kWithReplacement)[0].mean, 25.0);
}

// Every sample of s trees (subsets without replacement, ordered draws with
// replacement) counted one by one: mean and variance of the fire years it
// finds at the threshold.
std::pair<double, double> enumerated(const FireHistory& h, int first, int last, int s,
                                     SelectionMethod method, int threshold) {
  const int n = h.seriesCount;
  YearTable depth{};
  YearTable fires{};
  addRecordYears(h, depth);
  analyseSampleDepth(h, first, last, depth, fires, InjuryMode::kFireScarsOnly);
  double count = 0, sum = 0, squares = 0;
  std::vector<int> pick(s, 0);
  std::function<void(int, int)> next = [&](int j, int from) {
    if (j == s) {
      int found = 0;
      for (int y = first; y <= last; ++y) {
        if (threshold == 2 && fires[yearIndex(y)] < 2) continue;
        bool any = false;
        for (int t : pick) any = any || isFireEvent(h.code(y, t), InjuryMode::kFireScarsOnly);
        found += any;
      }
      count += 1;
      sum += found;
      squares += static_cast<double>(found) * found;
      return;
    }
    for (int t = method == SelectionMethod::kWithoutReplacement ? from : 1; t <= n; ++t) {
      pick[j] = t;
      next(j + 1, t + 1);
    }
  };
  next(0, 1);
  const double mean = sum / count;
  return {mean, squares / count - mean * mean};
}

TEST(SampleAdequacy, AgreesWithEverySampleCountedOneByOne) {
  // Six trees, eight years, threshold-2 years recorded by two to five trees.
  const FireHistory h =
      makeHistory(1900, {"AA|A|||A", "|A|A|A||", "A||A||A|", "|A||A|||", "A|||A|A|", "|||A||||"});
  const SpanIncidence span = incidenceOf(h, 1900, 1907);
  for (SelectionMethod method : {SelectionMethod::kWithoutReplacement, SelectionMethod::kWithReplacement}) {
    for (int threshold : {1, 2}) {
      const std::vector<ExpectedValue> curve = exactCurve(span, threshold, method);
      for (int s = 1; s <= 6; ++s) {
        const auto [mean, variance] = enumerated(h, 1900, 1907, s, method, threshold);
        EXPECT_NEAR(curve[s - 1].mean, mean * 12.5, 1e-9) << s << " " << threshold;
        EXPECT_NEAR(curve[s - 1].sd, std::sqrt(std::max(variance, 0.0)) * 12.5, 1e-9)
            << s << " " << threshold;
      }
    }
  }
}

TEST(SampleAdequacy, MissProbabilityLimits) {
  EXPECT_EQ(missProbability(SelectionMethod::kWithoutReplacement, 200, 1, 200), 0.0);
  EXPECT_EQ(missProbability(SelectionMethod::kWithoutReplacement, 200, 0, 200), 1.0);
  // C(190, 100) / C(200, 100) without overflow: prod (100 - i) / (200 - i).
  double expected = 1;
  for (int i = 0; i < 10; ++i) expected *= (100.0 - i) / (200.0 - i);
  EXPECT_NEAR(missProbability(SelectionMethod::kWithoutReplacement, 200, 10, 100), expected, 1e-18);
  EXPECT_NEAR(missProbability(SelectionMethod::kWithReplacement, 200, 10, 100), std::pow(0.95, 100), 1e-15);
  EXPECT_EQ(missProbability(SelectionMethod::kWithReplacement, 5, 5, 1), 0.0);
}

// A made-up incidence table of 10 trees: 20 fire years, 6 found by one
// tree, 3 by two. Expected numbers worked by hand from the published
// incidence Chao2 formula (Chao 1987, Biometrics 43:783-791; incidence
// form in Chao et al. 2014, Ecological Monographs 84:45-67), A = 9/10:
// estimate 20 + 0.9 * 36 / 6 = 25.4; r = 2, variance 3 * (0.45 * 4 +
// 0.81 * 8 + 0.2025 * 16) = 34.56; T = 5.4, K = exp(1.96 sqrt(ln(1 +
// 34.56 / 29.16))) = 5.6570, interval 20 + T / K = 20.9546 .. 20 + T K =
// 50.5483; extrapolation 20 + 5.4 (1 - (1 - 6 / 60)^t): 20.54 (t = 1),
// 23.5171 (t = 10).
TEST(SampleAdequacy, Chao2OnAWorkedIncidenceTable) {
  const Chao2Estimate c = chao2(10, 20, 6, 3);
  EXPECT_NEAR(c.estimate, 25.4, 1e-12);
  EXPECT_NEAR(c.variance, 34.56, 1e-12);
  EXPECT_NEAR(c.lower95, 20.9546, 1e-4);
  ASSERT_TRUE(c.upper95.has_value());
  EXPECT_NEAR(*c.upper95, 50.5483, 1e-4);
  const std::vector<double> ahead = chao2Extrapolation(c);
  ASSERT_EQ(ahead.size(), 10u);
  EXPECT_NEAR(ahead[0], 20.54, 1e-12);
  EXPECT_NEAR(ahead[9], 23.5171, 1e-4);
}

// Q2 = 0, by hand: m = 5, S_obs = 4, Q1 = 3, A = 0.8: estimate 4 + 0.8 *
// 3 = 6.4; variance 2.4 + 0.64 * 3 * 25 / 4 - 0.64 * 81 / 25.6 = 12.375;
// T = 2.4, K = 8.1588: 4.2942 .. 23.5799. No singleton: no upper limit.
TEST(SampleAdequacy, Chao2WithoutDoubletonsAndWithoutSingletons) {
  const Chao2Estimate c = chao2(5, 4, 3, 0);
  EXPECT_NEAR(c.estimate, 6.4, 1e-12);
  EXPECT_NEAR(c.variance, 12.375, 1e-12);
  EXPECT_NEAR(c.lower95, 4.2942, 1e-4);
  ASSERT_TRUE(c.upper95.has_value());
  EXPECT_NEAR(*c.upper95, 23.5799, 1e-4);

  const Chao2Estimate none = chao2(5, 4, 0, 2);
  EXPECT_EQ(none.estimate, 4.0);
  EXPECT_EQ(none.lower95, 4.0);
  EXPECT_FALSE(none.upper95.has_value());
  for (double v : chao2Extrapolation(none)) EXPECT_EQ(v, 4.0);

  const Chao2Estimate empty = chao2(5, 0, 0, 0);  // no fire at all
  EXPECT_EQ(empty.estimate, 0.0);
  EXPECT_EQ(empty.variance, 0.0);
  EXPECT_FALSE(empty.upper95.has_value());
}

// Rows of a frame of F = size trees with the given exact means and shares.
std::vector<AdequacySize> rowsOf(const std::vector<double>& means,
                                 const std::vector<std::optional<double>>& shares) {
  std::vector<AdequacySize> rows;
  for (std::size_t i = 0; i < means.size(); ++i) {
    AdequacySize r;
    r.trees = static_cast<int>(i) + 1;
    r.exactMean = means[i];
    r.share = shares[i];
    rows.push_back(r);
  }
  return rows;
}

TEST(SampleAdequacy, TreesNeededByEachRuleNeverAllTheTrees) {
  const AdequacyCriterion c{10, 95, 0};
  // Within 10 % of 50 means 45..55: sizes 2 and 4..6 are, 3 is not.
  const auto means = rowsOf({30, 46, 44, 45, 50, 50}, {0.5, 0.96, 0.9, 0.95, 0.99, 1});
  EXPECT_EQ(treesNeeded(means, 50, c).forMean, 4);
  EXPECT_EQ(treesNeeded(means, 50, {12, 95, 0}).forMean, 2);
  // The share must hold from s to F - 1; the share at F is not looked at.
  EXPECT_EQ(treesNeeded(means, 50, c).forShare, 4);
  EXPECT_EQ(treesNeeded(rowsOf({50, 50, 50}, {1.0, 0.5, 1.0}), 50, c).forShare, std::nullopt);
  // A size without a share (no subsamples, not counted whole) qualifies not.
  EXPECT_EQ(treesNeeded(rowsOf({50, 50, 50}, {1.0, std::nullopt, 1.0}), 50, c).forShare,
            std::nullopt);
  // The mean must also hold at F (with replacement it may not).
  EXPECT_EQ(treesNeeded(rowsOf({46, 47, 44}, {1.0, 1.0, 1.0}), 50, c).forMean, std::nullopt);
  // 0 %: only equality counts, and F itself is never the answer.
  EXPECT_EQ(treesNeeded(rowsOf({40, 49.9, 50}, {0.0, 0.0, 1.0}), 50, {0, 95, 0}).forMean,
            std::nullopt);
  EXPECT_EQ(treesNeeded(rowsOf({40, 50, 50}, {0.0, 1.0, 1.0}), 50, {0, 95, 0}).forMean, 2);
  // One tree: no size below F.
  const TreesNeeded one = treesNeeded(rowsOf({50}, {1.0}), 50, c);
  EXPECT_FALSE(one.forShare || one.forMean);
}

// A pseudo-random fire history of `trees` trees over 1801..1800 + years,
// a tree recording a year with probability between 2 and 20 %.
FireHistory randomHistory(int trees, int years, int seed) {
  RandomGenerator g;
  g.seed(seed);
  std::vector<std::string> codes(trees, std::string(years, '|'));
  for (int t = 0; t < trees; ++t) {
    const float p = 0.02f + 0.18f * g.uniform();
    for (int y = 0; y < years; ++y)
      if (g.uniform() < p) codes[t][y] = 'A';
  }
  return makeHistory(1801, codes);
}

TEST(SampleAdequacy, SimulatedMeansAgreeWithTheExactCurve) {
  const FireHistory h = randomHistory(24, 150, 4321);
  YearTable depth{};
  YearTable fires{};
  addRecordYears(h, depth);
  analyseSampleDepth(h, 1801, 1950, depth, fires, InjuryMode::kFireScarsOnly);
  // The simulations take their threshold-2 years from the sample-depth
  // step's counts, the exact curve from its own: they must agree.
  const SpanIncidence span = spanIncidence(h, 1801, 1950, InjuryMode::kFireScarsOnly);
  const int nsim = 2000;
  for (char method : {'D', 'R'}) {
    SimulationSettings settings;
    settings.simulationCount = nsim;
    settings.selectionMode = selectionMethodFrom(method);
    settings.ranks = percentileRanks(nsim);
    RandomGenerator g;
    g.seed(99);
    RecordedResults out;
    simulateSpan(h, 1801, 1950, settings, fires, g, out);
    for (int threshold : {1, 2}) {
      const std::vector<ExpectedValue> curve = exactCurve(span, threshold, settings.selectionMode);
      int checked = 0;
      for (const ResultRow& row : out.rows()) {
        if (row.threshold != threshold || row.observed) continue;
        const ExpectedValue& exact = curve[row.sampleSize - 1];
        // Four standard errors, and the float sums' rounding.
        const double tolerance = 4 * exact.sd / std::sqrt(nsim) + 1e-3;
        EXPECT_NEAR(row.mean, exact.mean, tolerance) << method << " s=" << row.sampleSize;
        if (exact.sd > 0.5) {
          EXPECT_NEAR(row.sd / exact.sd, 1.0, 0.1) << method << " s=" << row.sampleSize;
        }
        ++checked;
      }
      // Every simulated row: D has the observed size apart, one tree no
      // threshold-2 row.
      EXPECT_EQ(checked, 24 - (method == 'D') - (threshold == 2)) << method << threshold;
    }
  }
}

TEST(SampleAdequacy, SpanAdequacyOfThreeTreesAndATreeOutsideTheSpan) {
  // Q1 = 2 (2000, 2001), Q2 = 0, S_obs = 3: estimate 3 + (2/3) * 2 * 1 / 2.
  // The fourth tree has data only after the span: no frame counts it.
  FireHistory h = makeHistory(2000, {"A|A|....", "|AA|....", "||A|....", "....|A||"});
  const AdequacyCriterion c{10, 95, 200};
  const SpanAdequacy a = spanAdequacy(h, 2000, 2003, InjuryMode::kFireScarsOnly,
                                      SelectionMethod::kWithoutReplacement, FrameRule::kData, c, 1);
  EXPECT_EQ(a.series, 4);
  EXPECT_EQ(a.trees, 3);
  EXPECT_EQ(a.allTrees[0], 75.0);
  EXPECT_EQ(a.allTrees[1], 25.0);
  EXPECT_EQ(a.chao2.q1, 2);
  EXPECT_EQ(a.chao2.q2, 0);
  EXPECT_EQ(a.chao2.observedYears, 3);
  EXPECT_FALSE(a.chao2.complete);
  EXPECT_NEAR(a.estimate, 25 * (3 + 2.0 / 3), 1e-12);
  EXPECT_EQ(a.extrapolation.size(), 3u);
  ASSERT_EQ(a.sizes[0].size(), 3u);
  // The frame's curve is that of the three trees alone (worked by hand
  // above); the design's curve draws from all four series.
  EXPECT_NEAR(*a.sizes[0][0].exactMean, 25.0 * 5 / 3, 1e-12);
  EXPECT_NEAR(*a.sizes[0][1].exactMean, 25.0 * 7 / 3, 1e-12);
  EXPECT_EQ(a.exactOfAllSeries[0].size(), 4u);
  EXPECT_NEAR(a.exactOfAllSeries[0][0].mean, 25.0 * 5 / 4, 1e-12);
  // Samples of 2: {1,2} finds 75, the others 50: share within 10 % 1/3.
  EXPECT_TRUE(a.sizes[0][1].shareExact);
  EXPECT_NEAR(*a.sizes[0][1].share, 1.0 / 3, 1e-15);
  EXPECT_EQ(a.needed[0].forMean, std::nullopt);  // 58.3 is not within 10 % of 75
  EXPECT_EQ(a.needed[0].forShare, std::nullopt);
  EXPECT_EQ(a.needed[1].forMean, 1);  // 2002 is found by every tree
  EXPECT_EQ(a.needed[1].forShare, 1);
  // Few trees, two of three fire years found by one tree only, and an
  // upper limit beyond the span's four years.
  EXPECT_TRUE(a.capped);
  EXPECT_EQ(*a.upper95, 100.0);
  EXPECT_EQ(a.cautions, (std::vector<std::string>{"few_trees", "singletons_dominate", "capped"}));
}

// Every sample of s of the frame's trees, as bit masks over places 0..F-1,
// counted with no code of the program: the found years of each sample.
std::vector<int> foundByEverySample(const std::vector<std::string>& trees, int s, int threshold) {
  const int f = static_cast<int>(trees.size());
  const int years = static_cast<int>(trees[0].size());
  std::vector<int> found;
  for (unsigned mask = 0; mask < (1u << f); ++mask) {
    if (__builtin_popcount(mask) != s) continue;
    int count = 0;
    for (int y = 0; y < years; ++y) {
      int all = 0, sampled = 0;
      for (int t = 0; t < f; ++t) {
        const bool fire = trees[t][y] >= 'A' && trees[t][y] <= 'Z';
        all += fire;
        sampled += fire && (mask >> t & 1u);
      }
      count += sampled > 0 && all >= threshold;
    }
    found.push_back(count);
  }
  return found;
}

TEST(SampleAdequacy, SharesAndMeansOfEverySampleAgreeWithEnumeration) {
  const std::vector<std::string> trees{"A||A|A||A|", "|A|||A|A||", "||A||A|||A", "AA||||A|||",
                                       "|||A|||A||", "A|||||||A|", "|||||A|||A"};
  const FireHistory h = makeHistory(1900, trees);
  for (double within : {0.0, 10.0, 25.0}) {
    const AdequacyCriterion c{within, 95, 0};
    const SpanAdequacy a = spanAdequacy(h, 1900, 1909, InjuryMode::kFireScarsOnly,
                                        SelectionMethod::kWithoutReplacement, FrameRule::kData, c, 5);
    for (int t = 0; t < 2; ++t) {
      const long long all = std::lround(a.allTrees[t] / 10);
      for (int s = 1; s <= 7; ++s) {
        const std::vector<int> found = foundByEverySample(trees, s, t + 1);
        double sum = 0, inside = 0;
        for (int x : found) {
          sum += x;
          inside += std::fabs(static_cast<double>(x - all)) * 100 <= within * all;
        }
        const AdequacySize& row = a.sizes[t][s - 1];
        ASSERT_TRUE(row.shareExact);
        EXPECT_EQ(*row.share, inside / found.size()) << t << " " << s << " " << within;
        EXPECT_EQ(row.shareSe, 0.0);
        EXPECT_NEAR(*row.exactMean, 10 * sum / found.size(), 1e-12);
        EXPECT_FALSE(row.mean.has_value());  // no subsamples asked for
      }
    }
  }
}

TEST(SampleAdequacy, SubsamplesAgreeWithEnumerationWithinFourStandardErrors) {
  // 20 trees: samples of 8 number 125970, more than are counted whole, so
  // the share comes from the subsamples; enumeration gives the true one.
  RandomGenerator g;
  g.seed(11);
  std::vector<std::string> trees(20, std::string(30, '|'));
  for (std::string& tree : trees)
    for (char& code : tree)
      if (g.uniform() < 0.12f) code = 'A';
  const FireHistory h = makeHistory(1700, trees);
  const AdequacyCriterion c{15, 95, 4000};
  const SpanAdequacy a = spanAdequacy(h, 1700, 1729, InjuryMode::kFireScarsOnly,
                                      SelectionMethod::kWithoutReplacement, FrameRule::kData, c, 77);
  const std::vector<int> found = foundByEverySample(trees, 8, 1);
  const long long all = std::lround(a.allTrees[0] * 30 / 100);
  double inside = 0;
  for (int x : found) inside += std::fabs(static_cast<double>(x - all)) * 100 <= 15.0 * all;
  const double share = inside / found.size();
  const AdequacySize& row = a.sizes[0][7];
  ASSERT_FALSE(row.shareExact);
  ASSERT_TRUE(row.share.has_value());
  const double se = std::sqrt(share * (1 - share) / 4000);
  EXPECT_NEAR(*row.share, share, 4 * se);
  EXPECT_NEAR(row.shareSe, se, 0.1 * se);
  EXPECT_NEAR(*row.mean, *row.exactMean, 4 * *row.exactSd / std::sqrt(4000.0));
  EXPECT_LE(*row.p2_5, *row.mean);
  EXPECT_GE(*row.p97_5, *row.mean);
  // The same seed gives the same table; another seed other subsamples,
  // the same exact values.
  const SpanAdequacy again = spanAdequacy(h, 1700, 1729, InjuryMode::kFireScarsOnly,
                                          SelectionMethod::kWithoutReplacement, FrameRule::kData, c, 77);
  const SpanAdequacy other = spanAdequacy(h, 1700, 1729, InjuryMode::kFireScarsOnly,
                                          SelectionMethod::kWithoutReplacement, FrameRule::kData, c, 79);
  EXPECT_EQ(*again.sizes[0][7].mean, *row.mean);
  EXPECT_EQ(*again.sizes[0][7].share, *row.share);
  EXPECT_NE(*other.sizes[0][7].mean, *row.mean);
  EXPECT_EQ(other.sizes[0][7].exactMean, row.exactMean);
}

TEST(SampleAdequacy, SubsamplesWithReplacementAgreeWithEveryOrderedDraw) {
  // Two draws of four trees: 16 ordered pairs, a tree drawn twice once.
  const std::vector<std::string> trees{"A|A|", "|AA|", "||A|", "A||A"};
  const FireHistory h = makeHistory(2000, trees);
  const AdequacyCriterion c{20, 95, 20000};
  const SpanAdequacy a = spanAdequacy(h, 2000, 2003, InjuryMode::kFireScarsOnly,
                                      SelectionMethod::kWithReplacement, FrameRule::kData, c, 3);
  double inside = 0, sum = 0;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      int found = 0;
      for (int y = 0; y < 4; ++y) found += trees[i][y] == 'A' || trees[j][y] == 'A';
      sum += found;
      inside += std::fabs(found - 4.0) * 100 <= 20.0 * 4;
    }
  }
  const AdequacySize& row = a.sizes[0][1];
  EXPECT_FALSE(row.shareExact);  // with replacement nothing is counted whole
  const double share = inside / 16;
  EXPECT_NEAR(*row.share, share, 4 * std::sqrt(share * (1 - share) / 20000));
  EXPECT_NEAR(*row.exactMean, 25 * sum / 16, 1e-12);
  EXPECT_NEAR(*row.mean, *row.exactMean, 4 * *row.exactSd / std::sqrt(20000.0));
}

TEST(SampleAdequacy, Chao2IntervalWhenNothingIsEstimatedMissing) {
  // Q1 = 0: the observed years are all there is, with a finite interval.
  // Values worked from the formula separately.
  const Chao2Estimate c = chao2OfYears(4, {2, 3, 4, 2});
  EXPECT_TRUE(c.complete);
  EXPECT_EQ(c.estimate, 4.0);
  EXPECT_EQ(c.lower95, 4.0);
  ASSERT_TRUE(c.upper95.has_value());
  EXPECT_NEAR(*c.upper95, 5.2088582185195715, 1e-12);
  // Q1 = 1, Q2 = 0.
  const Chao2Estimate one = chao2OfYears(6, {1, 3, 3, 4, 5, 6});
  EXPECT_TRUE(one.complete);
  EXPECT_EQ(one.estimate, 6.0);
  EXPECT_NEAR(*one.upper95, 7.609111443524899, 1e-12);
  // Two trees finding five years together: the formula's V is below 0;
  // the interval runs from S to S / (1 - P), P = e^-2.
  const Chao2Estimate both = chao2OfYears(2, {2, 2, 2, 2, 2});
  EXPECT_TRUE(both.complete);
  EXPECT_EQ(both.lower95, 5.0);
  EXPECT_NEAR(*both.upper95, 5.0 / (1 - std::exp(-2.0)), 1e-12);
  // Something estimated missing: the log-normal interval as before.
  const Chao2Estimate missing = chao2OfYears(5, {1, 1, 1, 3});
  EXPECT_FALSE(missing.complete);
  EXPECT_NEAR(missing.estimate, 6.4, 1e-12);
}

TEST(SampleAdequacy, AsymptoteCappedAtOneFireYearPerYear) {
  // Five years, each found by one of three trees: Chao2 4 + (2/3) * 4 * 3 /
  // 2 = 8 fire years in a span of 5 is capped at 5, 100 per century.
  const FireHistory h = makeHistory(1800, {"A|||.", "|A||A", "||A||"});
  const SpanAdequacy a = spanAdequacy(h, 1800, 1804, InjuryMode::kFireScarsOnly,
                                      SelectionMethod::kWithoutReplacement, FrameRule::kData,
                                      AdequacyCriterion{10, 95, 0}, 1);
  EXPECT_EQ(a.chao2.observedYears, 4);
  EXPECT_NEAR(a.chao2.estimate, 8.0, 1e-12);
  EXPECT_TRUE(a.capped);
  EXPECT_EQ(a.estimate, 100.0);
  ASSERT_TRUE(a.upper95.has_value());
  EXPECT_EQ(*a.upper95, 100.0);
  EXPECT_LE(a.lower95, 100.0);
  for (double v : a.extrapolation) EXPECT_LE(v, 100.0);
  EXPECT_EQ(a.cautions, (std::vector<std::string>{"few_trees", "singletons_dominate", "capped"}));
}

TEST(SampleAdequacy, AFrameOfEverySeriesGivesTheSameCurvesAsAllSeries) {
  const FireHistory h = randomHistory(15, 80, 202);
  std::vector<int> all(15);
  for (int t = 0; t < 15; ++t) all[t] = t + 1;
  for (SelectionMethod m : {SelectionMethod::kWithoutReplacement, SelectionMethod::kWithReplacement}) {
    const SpanIncidence framed = spanIncidence(h, 1801, 1880, InjuryMode::kFireScarsOnly, all);
    const SpanIncidence every = spanIncidence(h, 1801, 1880, InjuryMode::kFireScarsOnly);
    for (int t : {1, 2}) {
      const auto a = exactCurve(framed, t, m);
      const auto b = exactCurve(every, t, m);
      ASSERT_EQ(a.size(), b.size());
      for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].mean, b[i].mean);
        EXPECT_EQ(a[i].sd, b[i].sd);
      }
    }
  }
}

}  // namespace
}  // namespace rova

#include "analysis/simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"
#include "analysis/sample_depth.h"
#include "analysis/statistics.h"

namespace rova {
namespace {

SimulationSettings settingsFor(int n, char selection, char injury = 'F') {
  SimulationSettings s;
  s.simulationCount = n;
  s.selectionMode = selectionMethodFrom(selection);
  s.injuryMode = injuryModeFrom(injury);
  s.ranks = percentileRanks(n);
  return s;
}

// The generator after `draws` further numbers.
std::int32_t stateAfter(RandomGenerator g, long draws) {
  for (long i = 0; i < draws; ++i) g.uniform();
  return g.state();
}

// The numbers of a result row in the order of its report line: mean,
// standard deviation, the six limits and the four percentiles.
std::vector<float> rowValues(const ResultRow& row) {
  std::vector<float> values{row.mean, row.sd};
  values.insert(values.end(), row.limits.begin(), row.limits.end());
  values.insert(values.end(), row.percentiles.begin(), row.percentiles.end());
  return values;
}

// Every number of the row but the standard deviation equals `value`, the
// standard deviation is 0.
void expectAllValues(const ResultRow& row, float value) {
  const std::vector<float> v = rowValues(row);
  EXPECT_EQ(v[1], 0.0f);
  for (int i : {0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}) EXPECT_EQ(v[i], value) << i;
}

// The one result a single sample size gave.
const SampleSizeResult& onlyResult(const RecordedResults& out) {
  EXPECT_EQ(out.results.size(), 1u);
  return out.results.at(0);
}

TEST(Simulation, FireEveryYearInEveryTreeGivesOneHundred) {
  const FireHistory h = makeHistory(2000, {"AAAA", "AAAA", "AAAA"});
  YearTable fires{};
  for (int y = 2000; y <= 2003; ++y) fires[yearIndex(y)] = 3;
  RandomGenerator g;
  g.seed(777);
  const std::int32_t expectedState = stateAfter(g, 10 * 3);
  RecordedResults out;
  simulateSampleSize(h, 2000, 2003, 2, settingsFor(10, 'R'), fires, g, out);

  const SampleSizeResult& r = onlyResult(out);
  EXPECT_EQ(r.firstYear, 2000);
  EXPECT_EQ(r.lastYear, 2003);
  EXPECT_EQ(r.sampleSize, 2);
  EXPECT_EQ(r.simulations, 10);
  EXPECT_FALSE(r.observed);
  ASSERT_EQ(r.rows.size(), 2u);
  for (int k = 1; k <= 2; ++k) {
    const ResultRow& row = r.rows[k - 1];
    EXPECT_EQ(row.threshold, k);
    EXPECT_EQ(row.sampleSize, 2);
    EXPECT_EQ(row.firstYear, 2000);
    EXPECT_EQ(row.lastYear, 2003);
    EXPECT_EQ(row.simulations, 10);
    EXPECT_FALSE(row.observed);
    expectAllValues(row, 100.0f);
  }
  // Fewer than 20 simulations: only the start of the size is shown.
  EXPECT_EQ(out.progress, (std::vector<std::pair<int, int>>{{2, 0}}));
  EXPECT_EQ(g.state(), expectedState);
}

TEST(Simulation, SpanWithoutFireGivesZeroAndOneTreeHasNoSecondThreshold) {
  const FireHistory h = makeHistory(1800, {"|||||", "||a||", "|||||"});
  const YearTable fires{};
  RandomGenerator g;
  g.seed(31);
  const std::int32_t expectedState = stateAfter(g, 45 * 3);
  RecordedResults out;
  simulateSampleSize(h, 1800, 1804, 1, settingsFor(45, 'D'), fires, g, out);

  const SampleSizeResult& r = onlyResult(out);
  EXPECT_EQ(thresholdLines(r), 1);
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0].threshold, 1);
  expectAllValues(r.rows[0], 0.0f);
  // The progress ends with the last multiple of 20 of the 45 simulations.
  EXPECT_EQ(out.progress, (std::vector<std::pair<int, int>>{{1, 40}}));
  EXPECT_EQ(g.state(), expectedState);
}

// 2000..2009: tree 1 scar 2001 and injury 2008, tree 2 scars 2001 and 2005.
FireHistory twoTrees() { return makeHistory(2000, {"|A||||||a|", "|A|||A||||"}); }

YearTable firesOf(const FireHistory& h, int first, int last, char injury) {
  YearTable fires{};
  YearTable depth{};
  analyseSampleDepth(h, first, last, depth, fires, injuryModeFrom(injury));
  return fires;
}

TEST(Simulation, FullSampleWithoutReplacementIsTheObservedValue) {
  const FireHistory h = twoTrees();
  RandomGenerator g;
  g.seed(5);
  const std::int32_t expectedState = stateAfter(g, 2);  // one simulation only
  RecordedResults out;
  simulateSampleSize(h, 2000, 2009, 2, settingsFor(1000, 'D'), firesOf(h, 2000, 2009, 'F'), g,
                     out);
  // Threshold 1: 2001 and 2005; threshold 2: only 2001 has two recording trees.
  const SampleSizeResult& r = onlyResult(out);
  EXPECT_TRUE(r.observed);
  EXPECT_EQ(r.simulations, 1);
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_TRUE(r.rows[0].observed && r.rows[1].observed);
  EXPECT_EQ(r.rows[0].simulations, 1);
  expectAllValues(r.rows[0], 20.0f);
  expectAllValues(r.rows[1], 10.0f);
  EXPECT_EQ(g.state(), expectedState);
  EXPECT_EQ(out.progress, (std::vector<std::pair<int, int>>{{2, 0}}));

  // Injuries add 2008 to threshold 1 only (one tree records it).
  RecordedResults injuries;
  simulateSampleSize(h, 2000, 2009, 2, settingsFor(1000, 'D', 'I'), firesOf(h, 2000, 2009, 'I'),
                     g, injuries);
  ASSERT_EQ(onlyResult(injuries).rows.size(), 2u);
  EXPECT_EQ(injuries.results[0].rows[0].mean, 30.0f);
  EXPECT_EQ(injuries.results[0].rows[1].mean, 10.0f);
}

TEST(Simulation, SingleTreeObservedHasBothThresholds) {
  const FireHistory h = makeHistory(2000, {"|A||||||||"});
  RandomGenerator g;
  RecordedResults out;
  simulateSampleSize(h, 2000, 2009, 1, settingsFor(50, 'D'), firesOf(h, 2000, 2009, 'F'), g, out);
  const SampleSizeResult& r = onlyResult(out);
  EXPECT_EQ(thresholdLines(r), 2);
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(r.rows[0].mean, 10.0f);
  EXPECT_EQ(r.rows[1].mean, 0.0f);
  EXPECT_EQ(r.rows[1].threshold, 2);
  EXPECT_TRUE(r.rows[1].observed);
}

TEST(Simulation, OnlyTheRecordYearsOfASelectedTreeCount) {
  // A scar code placed outside the tree's record (2001) is ignored.
  FireHistory h = makeHistory(2000, {"..|A||....", "|||A||||||"});
  h.setCode(2001, 1, 'A');
  RandomGenerator g;
  RecordedResults out;
  YearTable fires{};
  fires[yearIndex(2001)] = 1;
  fires[yearIndex(2003)] = 2;
  simulateSampleSize(h, 2000, 2009, 2, settingsFor(1, 'D'), fires, g, out);
  ASSERT_EQ(onlyResult(out).rows.size(), 2u);
  EXPECT_TRUE(out.results[0].observed);
  EXPECT_EQ(out.results[0].rows[0].mean, 10.0f);
}

// Per simulation of one tree out of twoTrees(): tree 1 gives 10.0, tree 2
// gives 20.0. The expected values are worked out from the draws directly.
TEST(Simulation, OneTreeSamplesAgreeWithTheDraws) {
  const FireHistory h = twoTrees();
  const YearTable fires = firesOf(h, 2000, 2009, 'F');
  const int n = 200;
  for (char method : {'R', 'D'}) {
    RandomGenerator g;
    g.seed(12345);
    RandomGenerator reference = g;
    std::vector<double> values;
    for (int sim = 0; sim < n; ++sim) {
      const float u1 = reference.uniform();
      const float u2 = reference.uniform();
      const int tree = method == 'R' ? static_cast<int>(u1 * 2.0) + 1 : (u2 > u1 ? 2 : 1);
      values.push_back(tree == 1 ? 10.0 : 20.0);
    }
    double mean = 0;
    for (double v : values) mean += v;
    mean /= n;
    double squares = 0;
    for (double v : values) squares += (v - mean) * (v - mean);
    const double sd = std::sqrt(squares / (n - 1));
    const long twenties = std::count(values.begin(), values.end(), 20.0);
    ASSERT_GT(twenties, 0);
    ASSERT_LT(twenties, n);
    // Ranks 196, 5, 200, 1 into the values sorted from the largest.
    auto at = [&](int rank) { return rank <= twenties ? 20.0f : 10.0f; };
    const double expected[] = {mean,          sd,
                               mean - 1.96 * sd,  mean + 1.96 * sd,
                               mean - 2.575 * sd, mean + 2.575 * sd,
                               mean - 3.294 * sd, mean + 3.294 * sd};

    RecordedResults out;
    simulateSampleSize(h, 2000, 2009, 1, settingsFor(n, method), fires, g, out);
    ASSERT_EQ(onlyResult(out).rows.size(), 1u) << method;
    const std::vector<float> v = rowValues(out.results[0].rows[0]);
    // Single precision against double: within a unit of the third decimal.
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(v[i], expected[i], 0.001) << method << " " << i;
    // In double precision the same simulations give the double values.
    EXPECT_NEAR(out.results[0].rows[0].meanDouble, mean, 1e-12) << method;
    EXPECT_NEAR(out.results[0].rows[0].sdDouble, sd, 1e-12) << method;
    EXPECT_EQ(v[8], at(196)) << method;
    EXPECT_EQ(v[9], at(5)) << method;
    EXPECT_EQ(v[10], at(200)) << method;
    EXPECT_EQ(v[11], at(1)) << method;
    EXPECT_EQ(g.state(), reference.state());
  }
}

// Every simulation finds the one fire year of a three-year span: 33.3...
// events per century each time, so the standard deviation is 0 exactly
// in double precision, whatever the single-precision sums make of it.
TEST(Simulation, EqualEstimatesHaveNoSpreadInDoublePrecision) {
  const FireHistory h = makeHistory(2000, {"A||", "A||", "A||"});
  const YearTable fires = firesOf(h, 2000, 2002, 'F');
  for (char method : {'R', 'D'}) {
    RandomGenerator g;
    g.seed(321);
    RecordedResults out;
    simulateSampleSize(h, 2000, 2002, 2, settingsFor(1000, method), fires, g, out);
    const ResultRow& row = onlyResult(out).rows.at(0);
    EXPECT_EQ(row.meanDouble, 100.0 / 3) << method;
    EXPECT_EQ(row.sdDouble, 0.0) << method;
  }
}

TEST(Simulation, PercentilesAreTakenAtTheRanksOfTheSortedEstimates) {
  // Tree i burns in the first i years of 200, so one tree drawn gives the
  // estimate i * 0.5: up to 200 different values.
  std::vector<std::string> trees;
  for (int i = 1; i <= kMaxSeries; ++i) {
    trees.push_back(std::string(i, 'A') + std::string(kMaxSeries - i, '|'));
  }
  const FireHistory h = makeHistory(1800, trees);
  const YearTable fires = firesOf(h, 1800, 1999, 'F');
  const int n = 1000;
  for (char method : {'R', 'D'}) {
    RandomGenerator g;
    g.seed(2718);
    RandomGenerator reference = g;
    std::vector<float> estimates;
    double sum = 0;
    for (int sim = 0; sim < n; ++sim) {
      std::vector<float> draws(kMaxSeries);
      for (float& d : draws) d = reference.uniform();
      const int tree = method == 'R'
                           ? static_cast<int>(draws[0] * double(kMaxSeries)) + 1
                           : static_cast<int>(std::max_element(draws.begin(), draws.end()) -
                                              draws.begin()) + 1;
      estimates.push_back(tree * 0.5f);
      sum += tree * 0.5;
    }
    std::sort(estimates.begin(), estimates.end(), std::greater<float>());

    RecordedResults out;
    simulateSampleSize(h, 1800, 1999, 1, settingsFor(n, method), fires, g, out);
    ASSERT_EQ(onlyResult(out).rows.size(), 1u);
    const std::vector<float> v = rowValues(out.results[0].rows[0]);
    EXPECT_NEAR(v[0], sum / n, 0.001) << method;
    // Ranks 976, 25, 996 and 5 of 1000.
    EXPECT_EQ(v[8], estimates[975]) << method;
    EXPECT_EQ(v[9], estimates[24]) << method;
    EXPECT_EQ(v[10], estimates[995]) << method;
    EXPECT_EQ(v[11], estimates[4]) << method;
    EXPECT_LT(v[8], v[9]);
    EXPECT_EQ(out.progress, (std::vector<std::pair<int, int>>{{1, 1000}}));
    EXPECT_EQ(g.state(), reference.state());
  }
}

TEST(Simulation, SecondThresholdNeverExceedsTheFirst) {
  // Eight trees over 40 years with scattered scars and injuries.
  std::vector<std::string> trees(8, std::string(40, '|'));
  std::uint32_t lcg = 99;
  for (std::string& t : trees) {
    for (char& c : t) {
      lcg = lcg * 1103515245u + 12345u;
      const unsigned r = (lcg >> 16) % 10;
      c = r == 0 ? 'A' : r == 1 ? 'b' : r == 2 ? '.' : '|';
    }
  }
  const FireHistory h = makeHistory(1700, trees);
  for (char injury : {'F', 'I'}) {
    const YearTable fires = firesOf(h, 1700, 1739, injury);
    for (char method : {'D', 'R'}) {
      for (int s : {2, 5, 8}) {
        RandomGenerator g;
        g.seed(4242);
        RecordedResults out;
        simulateSampleSize(h, 1700, 1739, s, settingsFor(300, method, injury), fires, g, out);
        ASSERT_EQ(onlyResult(out).rows.size(), 2u);
        const std::vector<float> one = rowValues(out.results[0].rows[0]);
        const std::vector<float> two = rowValues(out.results[0].rows[1]);
        if (s == 8 && method == 'D') continue;  // observed rows
        EXPECT_LE(two[0], one[0]);  // mean
        for (int p = 8; p < 12; ++p) EXPECT_LE(two[p], one[p]) << "percentile " << p;
        EXPECT_GT(one[0], 0.0f);

        // Same data, options and seed: same values.
        RandomGenerator again;
        again.seed(4242);
        RecordedResults repeat;
        simulateSampleSize(h, 1700, 1739, s, settingsFor(300, method, injury), fires, again,
                           repeat);
        ASSERT_EQ(onlyResult(repeat).rows.size(), 2u);
        for (int k = 0; k < 2; ++k) {
          EXPECT_EQ(rowValues(repeat.results[0].rows[k]), rowValues(out.results[0].rows[k]));
        }
      }
    }
  }
}

TEST(Simulation, OneSimulationOfASmallerSampleIsASimulationRow) {
  const FireHistory h = twoTrees();
  RandomGenerator g;
  RecordedResults out;
  simulateSampleSize(h, 2000, 2009, 1, settingsFor(1, 'D'), firesOf(h, 2000, 2009, 'F'), g, out);
  const SampleSizeResult& r = onlyResult(out);
  EXPECT_FALSE(r.observed);
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_FALSE(r.rows[0].observed);
  const float mean = r.rows[0].mean;
  EXPECT_TRUE(mean == 10.0f || mean == 20.0f);
  expectAllValues(r.rows[0], mean);
}

TEST(Simulation, NoSimulationsRequested) {
  const FireHistory h = twoTrees();
  const YearTable fires = firesOf(h, 2000, 2009, 'F');
  for (int count : {0, -5}) {
    RandomGenerator g;
    g.seed(17);
    RecordedResults out;
    simulateSampleSize(h, 2000, 2009, 1, settingsFor(count, 'R'), fires, g, out);
    EXPECT_EQ(onlyResult(out).simulations, count);
    EXPECT_TRUE(out.results[0].rows.empty());
    EXPECT_EQ(thresholdLines(out.results[0]), 1);
    EXPECT_EQ(out.progress, (std::vector<std::pair<int, int>>{{1, 0}}));
    EXPECT_EQ(g.state(), 17);

    RecordedResults both;
    simulateSampleSize(h, 2000, 2009, 2, settingsFor(count, 'R'), fires, g, both);
    EXPECT_TRUE(onlyResult(both).rows.empty());
    EXPECT_EQ(thresholdLines(both.results[0]), 2);
    EXPECT_EQ(g.state(), 17);

    // The observed case still runs its one simulation.
    RecordedResults observed;
    simulateSampleSize(h, 2000, 2009, 2, settingsFor(count, 'D'), fires, g, observed);
    EXPECT_EQ(onlyResult(observed).simulations, 1);
    ASSERT_EQ(observed.results[0].rows.size(), 2u);
    EXPECT_EQ(observed.results[0].rows[0].mean, 20.0f);
    EXPECT_EQ(g.state(), stateAfter([] { RandomGenerator r; r.seed(17); return r; }(), 2));
  }
}

TEST(Simulation, SpanWithoutYearsGivesNothing) {
  const FireHistory h = twoTrees();
  RandomGenerator g;
  g.seed(3);
  RecordedResults out;
  simulateSampleSize(h, 2009, 2000, 1, settingsFor(100, 'R'), YearTable{}, g, out);
  EXPECT_TRUE(out.results.empty());
  EXPECT_TRUE(out.progress.empty());
  EXPECT_EQ(g.state(), 3);
}

TEST(Simulation, YearsBeyondTheTableCountAsYearsWithoutFire) {
  FireHistory h = makeHistory(2025, {"AAAAAA"});
  RandomGenerator g;
  RecordedResults out;
  simulateSampleSize(h, 2025, 2035, 1, settingsFor(10, 'D'), firesOf(h, 2025, 2035, 'F'), g, out);
  ASSERT_EQ(onlyResult(out).rows.size(), 2u);
  EXPECT_EQ(out.results[0].lastYear, 2035);
  // Six fire years of eleven: 6 * (100 / 11) in single precision.
  EXPECT_EQ(out.results[0].rows[0].mean, 6.0f * (100.0f / 11.0f));
}

TEST(Simulation, DrawOfOneWithReplacementIsATreeWithoutRecord) {
  // Every slot holds a tree that burns every year, so only the slot after
  // the last tree can give 0.
  std::vector<std::string> trees(kMaxSeries, std::string(10, 'A'));
  const FireHistory h = makeHistory(2000, trees);
  const YearTable fires = firesOf(h, 2000, 2009, 'F');
  RandomGenerator g;
  g.seed(570515015);  // the first draw is exactly 1.0
  RecordedResults out;
  simulateSampleSize(h, 2000, 2009, 1, settingsFor(1, 'R'), fires, g, out);
  ASSERT_EQ(onlyResult(out).rows.size(), 1u);
  expectAllValues(out.results[0].rows[0], 0.0f);

  RecordedResults next;
  simulateSampleSize(h, 2000, 2009, 1, settingsFor(1, 'R'), fires, g, next);
  ASSERT_EQ(onlyResult(next).rows.size(), 1u);
  expectAllValues(next.results[0].rows[0], 100.0f);
}

TEST(Simulation, SpanGivesEverySampleSizeFromTheLargestDown) {
  const FireHistory h = makeHistory(2000, {"|A||||||a|", "|A|||A||||", "||||A|||||"});
  const YearTable fires = firesOf(h, 2000, 2009, 'F');
  for (int threads : {1, 3}) {
    SimulationSettings settings = settingsFor(40, 'D');
    settings.threads = threads;
    RandomGenerator g;
    g.seed(99);
    RecordedResults out;
    simulateSpan(h, 2000, 2009, settings, fires, g, out);
    ASSERT_EQ(out.results.size(), 3u) << threads;
    EXPECT_EQ(out.progress,
              (std::vector<std::pair<int, int>>{{3, 0}, {2, 40}, {1, 40}})) << threads;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(out.results[i].sampleSize, 3 - i);
    EXPECT_TRUE(out.results[0].observed);
    // Rows: 2 observed, 2 for two trees, 1 for one tree.
    EXPECT_EQ(out.rows().size(), 5u);
  }
}

}  // namespace
}  // namespace rova

namespace rova {
namespace {

// The estimate that decides whether a run is said to take minutes.
TEST(SimulationEstimate, GrowsWithTheWorkAndSkipsSizesThatNeedNoDraws) {
  // Every tree records every fire year: without replacement no size below
  // all trees has an open year, so only the per-size cost remains.
  std::vector<std::string> trees(40, std::string(300, '|'));
  for (std::string& t : trees) t[10] = t[150] = 'A';
  const FireHistory everyTree = makeHistory(1700, trees);
  SimulationSettings settings;
  settings.simulationCount = 1000;
  settings.threads = 1;
  const std::vector<SimulationSpan> whole = {{1700, 1999}};
  const double decided = estimatedSimulationSeconds(everyTree, whole, settings);
  settings.selectionMode = SelectionMethod::kWithReplacement;
  const double drawn = estimatedSimulationSeconds(everyTree, whole, settings);
  EXPECT_GT(drawn, 10 * decided);

  // Ten times the simulations, ten times their time; no spans, none.
  settings.simulationCount = 10000;
  EXPECT_NEAR((estimatedSimulationSeconds(everyTree, whole, settings) - decided) / (drawn - decided),
              10.0, 0.01);
  EXPECT_EQ(estimatedSimulationSeconds(everyTree, {}, settings), 0.0);
}

TEST(SimulationEstimate, TheLargestRunOfTheYearTableTakesMinutes) {
  // 200 trees over the whole year table, a fire every year recorded by one
  // tree in four, segments of 3 years with lag 1, 4096 simulations.
  std::vector<std::string> trees(kMaxSeries, std::string(kYearSlots, '|'));
  for (int t = 0; t < kMaxSeries; ++t)
    for (int y = t % 4; y < kYearSlots; y += 4) trees[t][y] = 'A';
  const FireHistory h = makeHistory(kFirstYearSlot, trees);
  std::vector<SimulationSpan> spans;
  for (int first = kFirstYearSlot; first + 2 <= kLastYearSlot; ++first) spans.push_back({first, first + 2});
  SimulationSettings settings;
  settings.simulationCount = kMaxSimulations;
  settings.threads = 2;
  EXPECT_GT(estimatedSimulationSeconds(h, spans, settings), 60.0);
  settings.simulationCount = 100;
  spans.resize(20);
  EXPECT_LT(estimatedSimulationSeconds(h, spans, settings), 1.0);
}

}  // namespace
}  // namespace rova

#include "analysis/simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"
#include "analysis/sample_depth.h"
#include "analysis/statistics.h"
#include "format/fields.h"

namespace rova {
namespace {

SimulationSettings settingsFor(int n, char selection, char injury = 'F') {
  SimulationSettings s;
  s.simulationCount = n;
  s.selectionMode = selectionMethodFrom(selection);
  s.injuryMode = injuryModeFrom(injury);
  s.spreadsheets = true;
  s.ranks = percentileRanks(n);
  return s;
}

// The generator after `draws` further numbers.
std::int32_t stateAfter(RandomGenerator g, long draws) {
  for (long i = 0; i < draws; ++i) g.uniform();
  return g.state();
}

std::string repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// The numbers of a report row after the threshold column.
std::vector<float> rowValues(const std::string& row) {
  std::istringstream in(row.substr(5));
  std::vector<float> values;
  float v;
  while (in >> v) values.push_back(v);
  return values;
}

const std::vector<std::string> kHeaderAfterTitle{
    "",
    " Observed                  95% conf        99% conf       99.9% conf       95% conf"
    "        99% conf",
    "  no of  Mean   St dev    limits  +/-     limits  +/-     limits  +/-  "
    "   Percentiles     Percentiles  ",
    "  trees events           1.960 st dev    2.575 st dev    3.294 st dev"
    "     2.5%   97.5%    0.5%   99.5%",
    "  ----- ------  ------  --------------  --------------  --------------"
    "    ------------    ------------",
};

std::vector<std::string> header(const std::string& title) {
  std::vector<std::string> lines{"", " " + std::string(131, '-'), "", title};
  lines.insert(lines.end(), kHeaderAfterTitle.begin(), kHeaderAfterTitle.end());
  return lines;
}

TEST(Simulation, FireEveryYearInEveryTreeGivesOneHundred) {
  const FireHistory h = makeHistory(2000, {"AAAA", "AAAA", "AAAA"});
  YearTable fires{};
  for (int y = 2000; y <= 2003; ++y) fires[yearIndex(y)] = 3;
  RandomGenerator g;
  g.seed(777);
  const std::int32_t expectedState = stateAfter(g, 10 * 3);
  RecordedOutput out;
  simulateSampleSize(h, 2000, 2003, 2, settingsFor(10, 'R'), fires, g, out);

  std::vector<std::string> expected =
      header(" FIRE EVENTS PER CENTURY in   2 trees over time span  2000 to  2003 (   4 years)");
  expected.push_back("    1  100.000   0.000" + repeated(" 100.000", 10));
  expected.push_back("    2  100.000   0.000" + repeated(" 100.000", 10));
  EXPECT_EQ(out.report, expected);
  EXPECT_EQ(out.spreadsheet[1],
            std::vector<std::string>{"    2\t 2000\t 2003\t    1" + repeated("\t100.000", 11)});
  EXPECT_EQ(out.spreadsheet[2],
            std::vector<std::string>{"    2\t 2000\t 2003\t    2" + repeated("\t100.000", 11)});
  EXPECT_EQ(out.screen, std::vector<std::string>{"+Simulation     1    2 trees"});
  EXPECT_EQ(g.state(), expectedState);
}

TEST(Simulation, SpanWithoutFireGivesZeroAndOneTreeHasNoSecondThreshold) {
  const FireHistory h = makeHistory(1800, {"|||||", "||a||", "|||||"});
  const YearTable fires{};
  RandomGenerator g;
  g.seed(31);
  const std::int32_t expectedState = stateAfter(g, 45 * 3);
  RecordedOutput out;
  simulateSampleSize(h, 1800, 1804, 1, settingsFor(45, 'D'), fires, g, out);

  ASSERT_EQ(out.report.size(), 10u);
  EXPECT_EQ(out.report[3],
            " FIRE EVENTS PER CENTURY in   1 trees over time span  1800 to  1804 (   5 years)");
  EXPECT_EQ(out.report[9], "    1 " + repeated("   0.000", 12));
  EXPECT_EQ(out.spreadsheet[1],
            std::vector<std::string>{"    1\t 1800\t 1804\t    1" + repeated("\t  0.000", 11)});
  EXPECT_TRUE(out.spreadsheet[2].empty());
  // The progress ends with the last multiple of 20 of the 45 simulations.
  EXPECT_EQ(out.screen, (std::vector<std::string>{"+Simulation     1    1 trees",
                                                  "+Simulation    40"}));
  EXPECT_EQ(g.state(), expectedState);
}

// 2000..2009: tree 1 scar 2001 and injury 2008, tree 2 scars 2001 and 2005.
FireHistory twoTrees() { return makeHistory(2000, {"|A||||||a|", "|A|||A||||"}); }

YearTable firesOf(const FireHistory& h, int first, int last, char injury) {
  RecordedOutput discard;
  YearTable fires{};
  YearTable depth{};
  reportSampleDepth(h, first, last, depth, fires, injuryModeFrom(injury), discard);
  return fires;
}

TEST(Simulation, FullSampleWithoutReplacementIsTheObservedValue) {
  const FireHistory h = twoTrees();
  RandomGenerator g;
  g.seed(5);
  const std::int32_t expectedState = stateAfter(g, 2);  // one simulation only
  RecordedOutput out;
  simulateSampleSize(h, 2000, 2009, 2, settingsFor(1000, 'D'), firesOf(h, 2000, 2009, 'F'), g,
                     out);
  // Threshold 1: 2001 and 2005; threshold 2: only 2001 has two recording trees.
  ASSERT_EQ(out.report.size(), 11u);
  EXPECT_EQ(out.report[9], "    1   20.000    All trees");
  EXPECT_EQ(out.report[10], "    2   10.000    All trees");
  EXPECT_EQ(out.spreadsheet[1],
            std::vector<std::string>{"    2\t 2000\t 2009\t    1" + repeated("\t 20.000", 11)});
  EXPECT_EQ(out.spreadsheet[2],
            std::vector<std::string>{"    2\t 2000\t 2009\t    2" + repeated("\t 10.000", 11)});
  EXPECT_EQ(g.state(), expectedState);
  EXPECT_EQ(out.screen.size(), 1u);

  // Injuries add 2008 to threshold 1 only (one tree records it).
  RecordedOutput injuries;
  simulateSampleSize(h, 2000, 2009, 2, settingsFor(1000, 'D', 'I'), firesOf(h, 2000, 2009, 'I'),
                     g, injuries);
  EXPECT_EQ(injuries.report[9], "    1   30.000    All trees");
  EXPECT_EQ(injuries.report[10], "    2   10.000    All trees");

  // No spreadsheet rows when they are off.
  SimulationSettings quiet = settingsFor(1000, 'D');
  quiet.spreadsheets = false;
  RecordedOutput noSheets;
  simulateSampleSize(h, 2000, 2009, 2, quiet, firesOf(h, 2000, 2009, 'F'), g, noSheets);
  EXPECT_EQ(noSheets.report, out.report);
  EXPECT_TRUE(noSheets.spreadsheet[1].empty() && noSheets.spreadsheet[2].empty());
}

TEST(Simulation, SingleTreeObservedHasBothThresholds) {
  const FireHistory h = makeHistory(2000, {"|A||||||||"});
  RandomGenerator g;
  RecordedOutput out;
  simulateSampleSize(h, 2000, 2009, 1, settingsFor(50, 'D'), firesOf(h, 2000, 2009, 'F'), g, out);
  ASSERT_EQ(out.report.size(), 11u);
  EXPECT_EQ(out.report[9], "    1   10.000    All trees");
  EXPECT_EQ(out.report[10], "    2    0.000    All trees");
  EXPECT_EQ(out.spreadsheet[2].size(), 1u);
}

TEST(Simulation, OnlyTheRecordYearsOfASelectedTreeCount) {
  // A scar code placed outside the tree's record (2001) is ignored.
  FireHistory h = makeHistory(2000, {"..|A||....", "|||A||||||"});
  h.code(2001, 1) = 'A';
  RandomGenerator g;
  RecordedOutput out;
  YearTable fires{};
  fires[yearIndex(2001)] = 1;
  fires[yearIndex(2003)] = 2;
  simulateSampleSize(h, 2000, 2009, 2, settingsFor(1, 'D'), fires, g, out);
  EXPECT_EQ(out.report[9], "    1   10.000    All trees");
}

// Per simulation of one tree out of twoTrees(): tree 1 gives 10.0, tree 2
// gives 20.0. The expected rows are worked out from the draws directly.
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
    auto at = [&](int rank) { return rank <= twenties ? 20.0 : 10.0; };

    std::string row = "    1 ";
    std::string sheet = "    1\t 2000\t 2009\t    1";
    const double fields[] = {mean,          mean - 1.96 * sd, mean + 1.96 * sd, mean - 2.575 * sd,
                             mean + 2.575 * sd, mean - 3.294 * sd, mean + 3.294 * sd, at(196),
                             at(5),         at(200),          at(1)};
    for (int i = 0; i < 11; ++i) {
      row += fmt::F(static_cast<float>(fields[i]), 8, 3);
      if (i == 0) row += fmt::F(static_cast<float>(sd), 8, 3);
      sheet += "\t" + fmt::F(static_cast<float>(fields[i]), 7, 3);
    }

    RecordedOutput out;
    simulateSampleSize(h, 2000, 2009, 1, settingsFor(n, method), fires, g, out);
    ASSERT_EQ(out.report.size(), 10u) << method;
    EXPECT_EQ(out.report[9], row) << method;
    EXPECT_EQ(out.spreadsheet[1], std::vector<std::string>{sheet}) << method;
    EXPECT_TRUE(out.spreadsheet[2].empty());
    EXPECT_EQ(g.state(), reference.state());
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

    RecordedOutput out;
    simulateSampleSize(h, 1800, 1999, 1, settingsFor(n, method), fires, g, out);
    const std::vector<float> v = rowValues(out.report.at(9));
    ASSERT_EQ(v.size(), 12u);
    EXPECT_NEAR(v[0], sum / n, 0.001) << method;
    // Ranks 976, 25, 996 and 5 of 1000.
    EXPECT_EQ(v[8], estimates[975]) << method;
    EXPECT_EQ(v[9], estimates[24]) << method;
    EXPECT_EQ(v[10], estimates[995]) << method;
    EXPECT_EQ(v[11], estimates[4]) << method;
    EXPECT_LT(v[8], v[9]);
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
        RecordedOutput out;
        simulateSampleSize(h, 1700, 1739, s, settingsFor(300, method, injury), fires, g, out);
        ASSERT_EQ(out.report.size(), 11u);
        const std::vector<float> one = rowValues(out.report[9]);
        const std::vector<float> two = rowValues(out.report[10]);
        if (s == 8 && method == 'D') continue;  // observed rows
        ASSERT_EQ(one.size(), 12u);
        ASSERT_EQ(two.size(), 12u);
        EXPECT_LE(two[0], one[0]);  // mean
        for (int p = 8; p < 12; ++p) EXPECT_LE(two[p], one[p]) << "percentile " << p;
        EXPECT_GT(one[0], 0.0f);

        // Same data, options and seed: same rows.
        RandomGenerator again;
        again.seed(4242);
        RecordedOutput repeat;
        simulateSampleSize(h, 1700, 1739, s, settingsFor(300, method, injury), fires, again,
                           repeat);
        EXPECT_EQ(repeat.report, out.report);
        EXPECT_EQ(repeat.spreadsheet[1], out.spreadsheet[1]);
        EXPECT_EQ(repeat.spreadsheet[2], out.spreadsheet[2]);
      }
    }
  }
}

TEST(Simulation, OneSimulationOfASmallerSampleIsASimulationRow) {
  const FireHistory h = twoTrees();
  RandomGenerator g;
  RecordedOutput out;
  simulateSampleSize(h, 2000, 2009, 1, settingsFor(1, 'D'), firesOf(h, 2000, 2009, 'F'), g, out);
  const std::vector<float> v = rowValues(out.report.at(9));
  ASSERT_EQ(v.size(), 12u);
  EXPECT_TRUE(v[0] == 10.0f || v[0] == 20.0f);
  EXPECT_EQ(v[1], 0.0f);
  for (int i = 2; i < 12; ++i) EXPECT_EQ(v[i], v[0]) << i;
}

TEST(Simulation, NoSimulationsRequested) {
  const FireHistory h = twoTrees();
  const YearTable fires = firesOf(h, 2000, 2009, 'F');
  for (int count : {0, -5}) {
    RandomGenerator g;
    g.seed(17);
    RecordedOutput out;
    simulateSampleSize(h, 2000, 2009, 1, settingsFor(count, 'R'), fires, g, out);
    std::vector<std::string> expected =
        header(" FIRE EVENTS PER CENTURY in   1 trees over time span  2000 to  2009 (  10 years)");
    expected.push_back("    1   No simulations were run");
    EXPECT_EQ(out.report, expected);
    EXPECT_TRUE(out.spreadsheet[1].empty() && out.spreadsheet[2].empty());
    EXPECT_EQ(g.state(), 17);

    RecordedOutput both;
    simulateSampleSize(h, 2000, 2009, 2, settingsFor(count, 'R'), fires, g, both);
    ASSERT_EQ(both.report.size(), 11u);
    EXPECT_EQ(both.report[9], "    1   No simulations were run");
    EXPECT_EQ(both.report[10], "    2   No simulations were run");
    EXPECT_EQ(g.state(), 17);

    // The observed case still runs its one simulation.
    RecordedOutput observed;
    simulateSampleSize(h, 2000, 2009, 2, settingsFor(count, 'D'), fires, g, observed);
    EXPECT_EQ(observed.report.at(9), "    1   20.000    All trees");
    EXPECT_EQ(observed.spreadsheet[1].size(), 1u);
    EXPECT_EQ(g.state(), stateAfter([] { RandomGenerator r; r.seed(17); return r; }(), 2));
  }
}

TEST(Simulation, SpanWithoutYearsWritesNothing) {
  const FireHistory h = twoTrees();
  RandomGenerator g;
  g.seed(3);
  RecordedOutput out;
  simulateSampleSize(h, 2009, 2000, 1, settingsFor(100, 'R'), YearTable{}, g, out);
  EXPECT_TRUE(out.report.empty());
  EXPECT_TRUE(out.screen.empty());
  EXPECT_TRUE(out.spreadsheet[1].empty() && out.spreadsheet[2].empty());
  EXPECT_EQ(g.state(), 3);
}

TEST(Simulation, YearsBeyondTheTableCountAsYearsWithoutFire) {
  FireHistory h = makeHistory(2025, {"AAAAAA"});
  RandomGenerator g;
  RecordedOutput out;
  simulateSampleSize(h, 2025, 2035, 1, settingsFor(10, 'D'), firesOf(h, 2025, 2035, 'F'), g, out);
  EXPECT_EQ(out.report.at(3),
            " FIRE EVENTS PER CENTURY in   1 trees over time span  2025 to  2035 (  11 years)");
  // Six fire years of eleven: 6 * (100 / 11) in single precision.
  EXPECT_EQ(out.report.at(9), "    1   54.545    All trees");
}

TEST(Simulation, DrawOfOneWithReplacementIsATreeWithoutRecord) {
  // Every slot holds a tree that burns every year, so only the slot after
  // the last tree can give 0.
  std::vector<std::string> trees(kMaxSeries, std::string(10, 'A'));
  const FireHistory h = makeHistory(2000, trees);
  const YearTable fires = firesOf(h, 2000, 2009, 'F');
  RandomGenerator g;
  g.seed(570515015);  // the first draw is exactly 1.0
  RecordedOutput out;
  simulateSampleSize(h, 2000, 2009, 1, settingsFor(1, 'R'), fires, g, out);
  EXPECT_EQ(out.report.at(9), "    1 " + repeated("   0.000", 12));

  RecordedOutput next;
  simulateSampleSize(h, 2000, 2009, 1, settingsFor(1, 'R'), fires, g, next);
  EXPECT_EQ(next.report.at(9), "    1  100.000   0.000" + repeated(" 100.000", 10));
}

}  // namespace
}  // namespace rova

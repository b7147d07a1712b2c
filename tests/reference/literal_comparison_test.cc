// The fast simulation against the literal one on many small random data
// sets: the values must be identical to the bit, and so the report and
// spreadsheet rows printed from them; the generator must end in the same
// state, and the progress must end every sample size with the count the
// literal run ends it with, on any number of threads.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"
#include "analysis/sample_depth.h"
#include "analysis/simulation.h"
#include "analysis/statistics.h"
#include "report/simulation_report.h"
#include "tests/reference/literal_simulation.h"

namespace rova {
namespace {

struct Case {
  FireHistory data;
  std::vector<std::pair<int, int>> spans;  // analysed one after another
  SimulationSettings settings;
  std::int32_t seed = 1;
  std::string description;
};

// Codes of every kind: scars, injuries, recording years, no data and other
// characters, which count as recording years.
char randomCode(std::mt19937& random) {
  static const char kCodes[] = "AAFKZaabz|||||||.[]{}U0 ";
  return kCodes[random() % (sizeof kCodes - 1)];
}

Case randomCase(std::mt19937& random, int number) {
  Case c;
  const int trees = 1 + static_cast<int>(random() % (number % 25 == 0 ? 40 : 9));
  const int dataFirst = 1500 + static_cast<int>(random() % 200);
  const int length = 1 + static_cast<int>(random() % 160);
  std::vector<std::string> codes(trees, std::string(length, '.'));
  for (std::string& tree : codes) {
    const int from = static_cast<int>(random() % length);
    const int to = from + static_cast<int>(random() % (length - from));
    for (int i = from; i <= to; ++i) tree[i] = randomCode(random);
  }
  c.data = makeHistory(dataFirst, codes);
  // Scars outside a tree's record must not count.
  if (number % 4 == 0) c.data.setCode(dataFirst + length, 1, 'A');
  const int dataLast = dataFirst + length - 1;

  switch (number % 6) {
    case 0:  // the whole data
      c.spans = {{dataFirst, dataLast}};
      break;
    case 1: {  // segments with a lag, as the analysis passes advance
      const int segment = 1 + static_cast<int>(random() % 40);
      const int lag = 1 + static_cast<int>(random() % segment);
      for (int first = dataFirst; first <= dataLast && c.spans.size() < 4; first += lag) {
        c.spans.push_back({first, std::min(first + segment - 1, dataLast)});
      }
      break;
    }
    case 2:  // reaching beyond the data on both sides
      c.spans = {{dataFirst - 30, dataLast + 17}};
      break;
    case 3:  // a span partly beyond the year table, then an empty one
      c.spans = {{2000, 2045}, {1700, 1699}};
      break;
    case 4:  // a single year
      c.spans = {{dataFirst + length / 2, dataFirst + length / 2}};
      break;
    default:  // an inner span wider than 64 years where the data allow it
      c.spans = {{dataFirst + length / 4, dataLast - length / 8}};
      break;
  }

  static const int kCounts[] = {0, -4, 1, 2, 19, 20, 21, 39, 60};
  SimulationSettings& s = c.settings;
  s.simulationCount = number % 3 == 0 ? kCounts[random() % 9] : 1 + static_cast<int>(random() % 200);
  s.selectionMode = selectionMethodFrom(random() % 2 ? 'D' : 'R');
  s.injuryMode = injuryModeFrom(random() % 2 ? 'I' : 'F');
  s.ranks = percentileRanks(s.simulationCount);

  // The run seeds with the low 16 bits; 65536 gives seed 0, state -1.
  static const std::int32_t kSeeds[] = {0, 1, 65535, 65536, 12345, 2, 31337};
  c.seed = number % 2 ? kSeeds[random() % 7] : static_cast<std::int32_t>(random());
  c.seed &= 65535;

  std::ostringstream d;
  d << "case " << number << ": " << trees << " trees " << dataFirst << ".." << dataLast << ", "
    << s.simulationCount << " simulations, " << letterOf(s.selectionMode) << letterOf(s.injuryMode) << ", seed "
    << c.seed << ", spans";
  for (auto [f, l] : c.spans) d << " " << f << ".." << l;
  c.description = d.str();
  return c;
}

// The report lines and the spreadsheet rows of thresholds 1 and 2 printed
// from the results.
struct Printed {
  std::vector<std::string> report;
  std::vector<std::string> spreadsheet[3];
};

Printed printed(const RecordedResults& out) {
  Printed p;
  for (const SampleSizeResult& r : out.results) {
    writeSimulationTable(r, [&p](const std::string& line) { p.report.push_back(line); });
    for (const ResultRow& row : r.rows) p.spreadsheet[row.threshold].push_back(spreadsheetRow(row));
  }
  return p;
}

// The same numbers to the bit (a sign of zero included).
bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

::testing::AssertionResult sameValues(const ResultRow& a, const ResultRow& b) {
  bool same = a.firstYear == b.firstYear && a.lastYear == b.lastYear &&
              a.sampleSize == b.sampleSize && a.threshold == b.threshold &&
              a.observed == b.observed && a.simulations == b.simulations &&
              sameBits(a.mean, b.mean) && sameBits(a.sd, b.sd);
  for (int i = 0; i < 6; ++i) same = same && sameBits(a.limits[i], b.limits[i]);
  for (int i = 0; i < 4; ++i) same = same && sameBits(a.percentiles[i], b.percentiles[i]);
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "size " << a.sampleSize << " threshold " << a.threshold
                                       << ": mean " << a.mean << " / " << b.mean;
}

void expectSameResults(const RecordedResults& actual, const RecordedResults& expected,
                       const std::string& description) {
  ASSERT_EQ(actual.results.size(), expected.results.size()) << description;
  for (std::size_t i = 0; i < actual.results.size(); ++i) {
    const SampleSizeResult& a = actual.results[i];
    const SampleSizeResult& b = expected.results[i];
    ASSERT_EQ(a.sampleSize, b.sampleSize) << description;
    ASSERT_EQ(a.firstYear, b.firstYear) << description;
    ASSERT_EQ(a.lastYear, b.lastYear) << description;
    ASSERT_EQ(a.simulations, b.simulations) << description;
    ASSERT_EQ(a.observed, b.observed) << description;
    ASSERT_EQ(a.rows.size(), b.rows.size()) << description;
    for (std::size_t k = 0; k < a.rows.size(); ++k) {
      ASSERT_TRUE(sameValues(a.rows[k], b.rows[k])) << description;
    }
  }
}

void runBothAndCompare(const Case& c, int threads) {
  RandomGenerator literal;
  RandomGenerator fast;
  literal.seed(c.seed);
  fast.seed(c.seed);
  RecordedResults expected;
  RecordedResults actual;
  SimulationSettings settings = c.settings;
  settings.threads = threads;
  for (auto [first, last] : c.spans) {
    YearTable depth{};
    YearTable fires{};
    analyseSampleDepth(c.data, first, last, depth, fires, settings.injuryMode);
    reference::simulateSpan(c.data, first, last, settings, fires, literal, expected);
    simulateSpan(c.data, first, last, settings, fires, fast, actual);
    ASSERT_EQ(fast.state(), literal.state()) << c.description << ", threads " << threads;
  }
  const std::string description = c.description + ", threads " + std::to_string(threads);
  expectSameResults(actual, expected, description);
  const Printed shown = printed(actual);
  const Printed literalShown = printed(expected);
  ASSERT_EQ(shown.report, literalShown.report) << description;
  ASSERT_EQ(shown.spreadsheet[1], literalShown.spreadsheet[1]) << description;
  ASSERT_EQ(shown.spreadsheet[2], literalShown.spreadsheet[2]) << description;
  // Each size's start and the last count of simulations done it reported.
  ASSERT_EQ(actual.progress, expected.progress) << description;

  // All spans in one call, spans in parallel, with every build of the
  // inner loop this processor has.
  std::vector<SimulationSpan> spans;
  for (auto [first, last] : c.spans) spans.push_back({first, last});
  for (kernel::Build build : {kernel::Build::kPortable, kernel::Build::kAvx2, kernel::Build::kAvx512}) {
    if (!kernel::available(build)) continue;
    SimulationSettings each = settings;
    each.build = build;
    RandomGenerator generator;
    generator.seed(c.seed);
    RecordedResults together;
    simulateSpans(c.data, spans, each, generator, together);
    const std::string label = description + ", all spans at once, build " +
                              std::to_string(static_cast<int>(build));
    ASSERT_EQ(generator.state(), literal.state()) << label;
    expectSameResults(together, expected, label);
    ASSERT_EQ(together.progress, expected.progress) << label;
  }
}

// A case with both methods, `simulations` each, on the given threads.
void compareBothMethods(Case c, int simulations, InjuryMode injuries,
                        std::initializer_list<int> threads) {
  for (char method : {'D', 'R'}) {
    c.settings.simulationCount = simulations;
    c.settings.selectionMode = selectionMethodFrom(method);
    c.settings.injuryMode = injuries;
    c.settings.ranks = percentileRanks(simulations);
    for (int t : threads) runBothAndCompare(c, t);
  }
}

TEST(FastSimulation, SameRowsAsTheLiteralSimulationOnRandomData) {
  std::mt19937 random(4242);
  for (int number = 0; number < 240; ++number) {
    const Case c = randomCase(random, number);
    for (int threads : {1, 2, 3}) runBothAndCompare(c, threads);
  }
}

TEST(FastSimulation, SameRowsWithTheLargestSampleAndAllCores) {
  // 200 trees over 300 years with sites' fire years, every sample size.
  std::mt19937 random(77);
  std::vector<std::string> trees(kMaxSeries, std::string(300, '|'));
  std::vector<bool> fireYear(300);
  for (int y = 0; y < 300; ++y) fireYear[y] = random() % 8 == 0;
  for (std::string& tree : trees) {
    const int from = static_cast<int>(random() % 150);
    for (int y = 0; y < from; ++y) tree[y] = '.';
    for (int y = from; y < 300; ++y) {
      if (fireYear[y] && random() % 3 == 0) tree[y] = 'A';
      if (random() % 90 == 0) tree[y] = 'c';
    }
  }
  Case c;
  c.data = makeHistory(1601, trees);
  c.spans = {{1601, 1900}, {1651, 1750}};
  c.description = "200 trees";
  c.seed = 0;  // state -1
  compareBothMethods(c, 7, InjuryMode::kAllInjuries, {1, 3, 0});
}

TEST(FastSimulation, ManyShortSegmentsRunInParallelAndComeOutInOrder) {
  // More spans than the parallel run keeps results for at once, most of
  // them with years that every sample finds, some without any event.
  std::mt19937 random(11);
  std::vector<std::string> trees(24, std::string(150, '|'));
  for (std::string& tree : trees) {
    for (int y = 0; y < 150; ++y) {
      if (y % 7 == 0 && random() % 2 == 0) tree[y] = 'A';
      if (y % 13 == 0 && random() % 9 == 0) tree[y] = 'A';
    }
  }
  Case c;
  c.data = makeHistory(1801, trees);
  for (int first = 1801; first + 2 <= 1950; ++first) c.spans.push_back({first, first + 2});
  c.description = "24 trees, 148 segments";
  c.seed = 4711;
  compareBothMethods(c, 9, InjuryMode::kFireScarsOnly, {1, 2, 3});
}

TEST(FastSimulation, GeneratorFixedPointGivesEqualDrawsEverywhere) {
  // From state 2^31 - 1 every draw is 1.0: without replacement all draws of
  // every simulation are equal, so each one takes the selection sort's way
  // through the tie; with replacement every draw names the slot after the
  // last tree.
  const FireHistory data = makeHistory(1900, {"|A|b|A", "A||A|.", "..AAA|", "|a||A|"});
  YearTable depth{};
  YearTable fires{};
  analyseSampleDepth(data, 1900, 1905, depth, fires, InjuryMode::kAllInjuries);
  for (char method : {'D', 'R'}) {
    Case c;
    c.data = data;
    c.spans = {{1900, 1905}};
    c.settings.simulationCount = 25;
    c.settings.selectionMode = selectionMethodFrom(method);
    c.settings.injuryMode = InjuryMode::kAllInjuries;
    c.settings.ranks = percentileRanks(25);
    c.seed = 2147483647;
    c.description = std::string("fixed point ") + method;
    for (int threads : {1, 2}) runBothAndCompare(c, threads);
  }
}

}  // namespace
}  // namespace rova

// Every option at the ends of the 32-bit range, through the whole run:
// option rules, percentile ranks, the report head, the passes over the
// segments, the spreadsheet rows, the tidy table, the metadata and the
// chart. Built with the undefined-behaviour sanitizer, any signed overflow
// on the way fails these tests.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/statistics.h"
#include "cli/batch_run.h"
#include "platform/posix_platform.h"
#include "tests/batch_run.h"
#include "tests/dialogue_run.h"
#include "tests/test_support.h"

namespace rova {
namespace {

const std::string kMin = std::to_string(INT_MIN);
const std::string kMax = std::to_string(INT_MAX);
const std::string kMaxLess1 = std::to_string(INT_MAX - 1);
const std::string kMinPlus1 = std::to_string(INT_MIN + 1);

// Two trees over twelve years with fires in both.
std::string smallData() {
  std::string data = "FHX2 FORMAT\n1700 2 0\n\n";
  for (int y = 1700; y < 1712; ++y) data += y % 3 == 0 ? "UU\n" : y % 4 == 0 ? "U|\n" : "||\n";
  return data;
}

struct LimitsFixture : ::testing::Test, testing::BatchRun {
  // One batch run of the small data with every output (the chart only
  // with `plot`); returns its status.
  int batch(std::vector<std::string> arguments, bool plot = true) {
    dir.write("LIM.FHX", smallData());
    if (plot) arguments.push_back("--plot");
    for (const char* a : {"--csv", "--force", "-q", "-o"}) arguments.push_back(a);
    arguments.push_back(dir.path());
    arguments.push_back(dir.file("LIM.FHX"));
    return run(arguments);
  }
};

TEST(PercentileRanksTest, EndsOfTheRangeFitWithoutOverflow) {
  EXPECT_EQ(percentileRanks(INT_MIN), (std::array<int, 4>{INT_MIN, 1, INT_MIN, 1}));
  EXPECT_EQ(percentileRanks(INT_MIN + 1), (std::array<int, 4>{INT_MIN + 1, 1, INT_MIN + 1, 1}));
  EXPECT_EQ(percentileRanks(-1), (std::array<int, 4>{-1, 1, -1, 1}));
  EXPECT_EQ(percentileRanks(0), (std::array<int, 4>{0, 1, 0, 1}));
  EXPECT_EQ(percentileRanks(4096), (std::array<int, 4>{3995, 102, 4077, 20}));
  // INT_MAX is 2^31 as a float; 2^31 / 40 rounds to 53687092 (floats are
  // 4 apart there) and 2^31 / 200 to 10737418.
  EXPECT_EQ(percentileRanks(INT_MAX),
            (std::array<int, 4>{INT_MAX - 53687092 + 1, 53687092, INT_MAX - 10737418 + 1, 10737418}));
}

TEST_F(LimitsFixture, SimulationCountsAtTheEnds) {
  for (const std::string& n : {kMin, kMinPlus1, std::string("-1"), kMaxLess1, kMax}) {
    ASSERT_EQ(batch({"-n", n, "-s", "5"}), 0) << n << err;
    const std::string report = dir.read("LIMRVA.OUT");
    if (n[0] == '-') {
      // Kept as given; the echo is too wide for its field, and no rank
      // rule makes a sort position of it.
      EXPECT_NE(report.find("No simulations were run"), std::string::npos) << n;
      EXPECT_NE(dir.read("LIMRVADF.json").find("\"simulations\": " + n + ",\n"), std::string::npos);
    } else {
      EXPECT_NE(err.find("Maximum number of simulations  4096"), std::string::npos) << err;
      EXPECT_NE(report.find("taking values  102 and 3995 for the 95% limits,"), std::string::npos);
    }
  }
  ASSERT_EQ(batch({"-n", kMin, "-s", "5"}), 0);
  EXPECT_NE(dir.read("LIMRVA.OUT").find("run                ********; random seed       5\n"
                                        "             Percentiles derived by ranking the simulations "
                                        "and taking values    1 and***** for the 95% limits,"),
            std::string::npos);
}

TEST_F(LimitsFixture, SeedsAtTheEnds) {
  const std::vector<std::pair<std::string, std::string>> seeds = {
      {kMin, kMinPlus1}, {kMinPlus1, kMinPlus1}, {kMaxLess1, kMax}, {kMax, kMax}};
  for (const auto& [given, used] : seeds) {
    ASSERT_EQ(batch({"-n", "3", "-s", given}), 0) << given << err;
    EXPECT_NE(dir.read("LIMRVADF.json").find("\"seed\": " + used + ",\n"), std::string::npos)
        << given;
  }
  // Only the low 16 bits of the seed take effect: INT_MAX and 65535 agree.
  ASSERT_EQ(batch({"-n", "3", "-s", kMax}), 0);
  const std::string high = dir.read("LIMRVADF.XL1");
  ASSERT_EQ(batch({"-n", "3", "-s", "65535"}), 0);
  EXPECT_EQ(dir.read("LIMRVADF.XL1"), high);
}

TEST_F(LimitsFixture, YearsAtTheEndsAreBroughtIntoTheTable) {
  for (const auto& [first, last] : std::vector<std::pair<std::string, std::string>>{
           {kMin, kMax}, {kMax, kMin}, {kMinPlus1, kMaxLess1}, {kMax, kMax}, {kMin, kMin}}) {
    ASSERT_EQ(batch({"-n", "3", "-s", "1", "--first-year", first, "--last-year", last}), 0)
        << first << " " << last << err;
    EXPECT_NE(err.find("is outside -2065 to 2030; set to"), std::string::npos) << err;
  }
  ASSERT_EQ(batch({"-n", "3", "-s", "1", "--first-year", kMin, "--last-year", kMax}), 0);
  EXPECT_NE(dir.read("LIMRVADF.csv").find(",-2065,2030,4096,2,1,"), std::string::npos);
}

TEST_F(LimitsFixture, SegmentLengthsAndLagsAtTheEnds) {
  const std::vector<std::pair<std::string, std::string>> segments = {
      {kMax, kMax}, {kMax, "0"}, {kMax, kMin}, {kMax, "1"}, {kMaxLess1, kMaxLess1},
      {"1", kMax}, {"2", kMax}, {kMin, kMin}, {kMin, kMax}, {"0", kMin}};
  for (const auto& [length, lag] : segments) {
    for (const char* first : {"1700", "-2065", "2030"}) {
      // (Lag 1 from -2065 would make four thousand passes.)
      if (lag == "1" && first[0] == '-') continue;
      const std::vector<std::string> arguments = {"-n", "2", "-s", "1", "--first-year", first,
                                                  "--last-year", "2030", "--segment-length",
                                                  length, "--segment-lag", lag};
      int status = batch(arguments);
      // More spans than a chart holds: refused before the analysis, which
      // then runs without the chart.
      if (status == 1 && err.find("spans would not be readable") != std::string::npos)
        status = batch(arguments, false);
      ASSERT_EQ(status, 0) << length << " " << lag << " from " << first << err;
    }
  }
  // Half of the largest length is its lag; the echo is too wide for the
  // fields and shows asterisks.
  ASSERT_EQ(batch({"-n", "2", "-s", "1", "--segment-length", kMax}), 0);
  EXPECT_NE(err.find("Lag between segments set to half the segment length: 1073741824"),
            std::string::npos) << err;
  EXPECT_NE(dir.read("LIMRVA.OUT").find("length             ******** with***** years lag"),
            std::string::npos);
  EXPECT_NE(dir.read("LIMRVADF.json").find("\"segment_lag\": 1073741824,"), std::string::npos);
  // Lag 1 over twelve years: a pass for every start year while more than
  // one year is left.
  ASSERT_EQ(batch({"-n", "2", "-s", "1", "--segment-length", kMax, "--segment-lag", "1"}), 0);
  EXPECT_NE(dir.read("LIMRVADF.csv").find(",1709,1711,3,"), std::string::npos);
  EXPECT_EQ(dir.read("LIMRVADF.csv").find(",1710,1711,"), std::string::npos);
}

// The same values typed at the menu's prompts. A number prompt takes ten
// characters, so -999999999 is the most negative answer it reads.
struct DialogueLimits : ::testing::Test, testing::DialogueRun {};

TEST_F(DialogueLimits, MenuAnswersAtTheEnds) {
  dir.write("D.FHX", smallData());
  int k = 0;
  for (const std::string& big : {std::string("2147483647"), std::string("-999999999"),
                                 std::string("2147483646")}) {
    const std::vector<std::vector<std::string>> menus = {
        {"1", big, big, "2", big, big, "3", big, big, ""},
        {"1", "-999999999", big, "2", big, "", "3", "-999999999", ""},
        {"3", "3", big, "2", "1", big, ""},
        {"2", "-999999999", big, "3", "2", "-999999999", ""}};
    for (const auto& menu : menus) {
      const std::string job = "L" + std::to_string(++k);
      std::vector<std::string> answers{job, "D.FHX", "title"};
      answers.insert(answers.end(), menu.begin(), menu.end());
      ASSERT_EQ(run(answers), 0) << big << " " << job;
      EXPECT_EQ(terminal.answersLeft(), 0u) << job;
      EXPECT_NE(dir.read(job + "RVA.OUT").find("- = [ ROVA ] = -"), std::string::npos) << job;
    }
  }
  // Answers beyond 32 bits are refused and asked again.
  ASSERT_EQ(run({"L0", "D.FHX", "", "3", "2147483648", "9999999999", "5", "7", ""}),
            0);
  EXPECT_EQ(terminal.answersLeft(), 0u);
  EXPECT_TRUE(terminal.showed("INTEGER!"));
  EXPECT_NE(dir.read("L0RVA.OUT").find("run                       5; random seed       7"),
            std::string::npos);
  // Option 3 with the largest count: 4096 simulations and their ranks.
  EXPECT_NE(dir.read("L1RVA.OUT").find("taking values  102 and 3995 for the 95% limits,"),
            std::string::npos);
}

}  // namespace
}  // namespace rova

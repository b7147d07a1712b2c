#include "analysis/sample_depth.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"

namespace rova {
namespace {

YearTable depthOf(const FireHistory& h) {
  YearTable depth{};
  for (int s = 1; s <= h.seriesCount; ++s) {
    for (int y = h.seriesFirstYear[s]; y <= h.seriesLastYear[s]; ++y) ++depth[yearIndex(y)];
  }
  return depth;
}

const std::string kDoubleRule = " " + std::string(131, '=');
const std::string kSingleRule = " " + std::string(131, '-');

// 1990..2002: tree 1 scar 1995, injury 1998; tree 2 scars 1995 and 2000, no
// record in 2002.
FireHistory thirteenYears() { return makeHistory(1990, {"|||||A||b||||", "|||||A||||B|."}); }

TEST(SampleDepth, ThirteenYearSpanFireScarsOnly) {
  const FireHistory h = thirteenYears();
  const YearTable depth = depthOf(h);
  YearTable fires;
  fires.fill(99);
  RecordedOutput out;
  reportSampleDepth(h, 1990, 2002, depth, fires, InjuryMode::kFireScarsOnly, out);

  const std::vector<std::string> expected{
      kDoubleRule,
      "",
      " SAMPLE DEPTH: year and number of trees over time span  1990 to  2002 (  13 years)",
      "",
      "   1990   2   1991   2   1992   2   1993   2   1994   2   1995   2"
      "   1996   2   1997   2   1998   2   1999   2   2000   2   2001   2",
      "   2002   1",
      kSingleRule,
      "",
      " NUMBER OF TREES RECORDING FIRE in   2 trees over time span  1990 to  2002 (  13 years)",
      "   Trees    No of",
      " recording  years  Years",
      "",
      "         2      1   1995",
      "         1      1   2000",
      "         0     11",
  };
  EXPECT_EQ(out.report, expected);
  EXPECT_EQ(out.report[4].size(), 132u);
  EXPECT_TRUE(out.screen.empty());
  EXPECT_TRUE(out.spreadsheet[1].empty() && out.spreadsheet[2].empty());

  EXPECT_EQ(fires[yearIndex(1995)], 2);
  EXPECT_EQ(fires[yearIndex(2000)], 1);
  EXPECT_EQ(fires[yearIndex(1998)], 0);
  EXPECT_EQ(fires[yearIndex(1989)], 0);
  EXPECT_EQ(fires[yearIndex(kFirstYearSlot)], 0);
  EXPECT_EQ(fires[yearIndex(kLastYearSlot)], 0);
}

TEST(SampleDepth, InjuriesCountOnlyInInjuryMode) {
  const FireHistory h = thirteenYears();
  const YearTable depth = depthOf(h);
  YearTable fires{};
  RecordedOutput out;
  reportSampleDepth(h, 1990, 2002, depth, fires, InjuryMode::kAllInjuries, out);
  ASSERT_EQ(out.report.size(), 15u);
  EXPECT_EQ(out.report[12], "         2      1   1995");
  EXPECT_EQ(out.report[13], "         1      2   1998  2000");
  EXPECT_EQ(out.report[14], "         0     10");
  EXPECT_EQ(fires[yearIndex(1998)], 1);

  // Any letter other than I means scars only.
  RecordedOutput lower;
  reportSampleDepth(h, 1990, 2002, depth, fires, injuryModeFrom('i'), lower);
  EXPECT_EQ(lower.report[13], "         1      1   2000");
  EXPECT_EQ(fires[yearIndex(1998)], 0);
}

TEST(SampleDepth, NineteenYearsWithTheSameCountContinueAtColumn19) {
  const FireHistory h = makeHistory(1900, {std::string(19, 'A')});
  const YearTable depth = depthOf(h);
  YearTable fires{};
  RecordedOutput out;
  reportSampleDepth(h, 1900, 1918, depth, fires, InjuryMode::kFireScarsOnly, out);

  std::string row = "         1     19 ";
  for (int y = 1900; y <= 1917; ++y) row += "  " + std::to_string(y);
  const std::vector<std::string> tail{row, std::string(18, ' ') + "  1918"};
  ASSERT_GE(out.report.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(out.report.end() - 2, out.report.end()), tail);
  // 12 pairs then 7 pairs; every year has a fire, so there is no 0 row.
  EXPECT_EQ(out.report[4].size(), 132u);
  EXPECT_EQ(out.report[5], "   1912   1   1913   1   1914   1   1915   1   1916   1   1917   1   1918   1");
  EXPECT_EQ(out.report.size(), 14u);
}

TEST(SampleDepth, SpanWithoutFireAndShorterRepeatCall) {
  const FireHistory h = thirteenYears();
  const YearTable depth = depthOf(h);
  YearTable fires{};
  RecordedOutput whole;
  reportSampleDepth(h, 1990, 2002, depth, fires, InjuryMode::kFireScarsOnly, whole);
  ASSERT_EQ(fires[yearIndex(1995)], 2);

  // 1996..2000 minus the scar of 2000: 1996..1999 has no fire at all.
  RecordedOutput out;
  reportSampleDepth(h, 1996, 1999, depth, fires, InjuryMode::kFireScarsOnly, out);
  const std::vector<std::string> expected{
      kDoubleRule,
      "",
      " SAMPLE DEPTH: year and number of trees over time span  1996 to  1999 (   4 years)",
      "",
      "   1996   2   1997   2   1998   2   1999   2",
      kSingleRule,
      "",
      " NUMBER OF TREES RECORDING FIRE in   2 trees over time span  1996 to  1999 (   4 years)",
      "   Trees    No of",
      " recording  years  Years",
      "",
      "         0      4",
  };
  EXPECT_EQ(out.report, expected);
  for (int y = kFirstYearSlot; y <= kLastYearSlot; ++y) ASSERT_EQ(fires[yearIndex(y)], 0) << y;
}

TEST(SampleDepth, EmptySpanGivesHeadingsOnly) {
  const FireHistory h = thirteenYears();
  const YearTable depth = depthOf(h);
  YearTable fires;
  fires.fill(5);
  RecordedOutput out;
  reportSampleDepth(h, 2000, 1995, depth, fires, InjuryMode::kFireScarsOnly, out);
  const std::vector<std::string> expected{
      kDoubleRule,
      "",
      " SAMPLE DEPTH: year and number of trees over time span  2000 to  1995 (  -4 years)",
      "",
      kSingleRule,
      "",
      " NUMBER OF TREES RECORDING FIRE in   2 trees over time span  2000 to  1995 (  -4 years)",
      "   Trees    No of",
      " recording  years  Years",
      "",
  };
  EXPECT_EQ(out.report, expected);
  for (int y = kFirstYearSlot; y <= kLastYearSlot; ++y) ASSERT_EQ(fires[yearIndex(y)], 0) << y;
}

TEST(SampleDepth, YearsBeyondTheTableAreCountedButNotLookedUp) {
  // The last tree fills the last series slot, so a look-up beyond the year
  // table would run off the end of the code table.
  FireHistory h = makeHistory(2025, {"||||||", "A||||A"});
  h.seriesCount = kMaxSeries;
  for (int y = 2025; y <= kLastYearSlot; ++y) h.code(y, kMaxSeries) = 'A';
  h.seriesFirstYear[kMaxSeries] = 2025;
  h.seriesLastYear[kMaxSeries] = kLastYearSlot;
  const YearTable depth = depthOf(h);
  YearTable fires{};
  RecordedOutput out;
  reportSampleDepth(h, 2025, 2040, depth, fires, InjuryMode::kFireScarsOnly, out);
  const std::vector<std::string> expected{
      kDoubleRule,
      "",
      " SAMPLE DEPTH: year and number of trees over time span  2025 to  2040 (  16 years)",
      "",
      "   2025   3   2026   3   2027   3   2028   3   2029   3   2030   3",
      kSingleRule,
      "",
      " NUMBER OF TREES RECORDING FIRE in 200 trees over time span  2025 to  2040 (  16 years)",
      "   Trees    No of",
      " recording  years  Years",
      "",
      "         2      2   2025  2030",
      "         1      4   2026  2027  2028  2029",
      "         0     10",
  };
  EXPECT_EQ(out.report, expected);

  RecordedOutput low;
  reportSampleDepth(h, -2070, -2064, depth, fires, InjuryMode::kFireScarsOnly, low);
  EXPECT_EQ(low.report[2],
            " SAMPLE DEPTH: year and number of trees over time span -2070 to -2064 (   7 years)");
  EXPECT_EQ(low.report[4], "  -2065   0  -2064   0");
  EXPECT_EQ(low.report.back(), "         0      7");
}

}  // namespace
}  // namespace rova

// The sample-depth tables as the report prints them, from the values the
// analysis gives for small data sets and from values made by hand.
#include "report/sample_depth_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"
#include "analysis/sample_depth.h"

namespace rova {
namespace {

// The report lines of a span's tables.
struct RecordedLines {
  std::vector<std::string> report;
};

RecordedLines reportSampleDepth(const FireHistory& data, int first, int last,
                                const YearTable& sampleDepth, YearTable& fireTreeCount,
                                char injuryMode) {
  RecordedLines out;
  writeSampleDepthTables(
      analyseSampleDepth(data, first, last, sampleDepth, fireTreeCount, injuryModeFrom(injuryMode)),
      [&out](const std::string& line) { out.report.push_back(line); });
  return out;
}

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
  const RecordedLines out = reportSampleDepth(h, 1990, 2002, depth, fires, 'F');

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
  const RecordedLines out = reportSampleDepth(h, 1990, 2002, depth, fires, 'I');
  ASSERT_EQ(out.report.size(), 15u);
  EXPECT_EQ(out.report[12], "         2      1   1995");
  EXPECT_EQ(out.report[13], "         1      2   1998  2000");
  EXPECT_EQ(out.report[14], "         0     10");
  EXPECT_EQ(fires[yearIndex(1998)], 1);

  // Any letter other than 'I' means scars only.
  const RecordedLines lower = reportSampleDepth(h, 1990, 2002, depth, fires, 'i');
  EXPECT_EQ(lower.report[13], "         1      1   2000");
  EXPECT_EQ(fires[yearIndex(1998)], 0);
}

TEST(SampleDepth, NineteenYearsWithTheSameCountContinueAtColumn19) {
  const FireHistory h = makeHistory(1900, {std::string(19, 'A')});
  const YearTable depth = depthOf(h);
  YearTable fires{};
  const RecordedLines out = reportSampleDepth(h, 1900, 1918, depth, fires, 'F');

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
  const RecordedLines whole = reportSampleDepth(h, 1990, 2002, depth, fires, 'F');
  ASSERT_EQ(fires[yearIndex(1995)], 2);

  // 1996..2000 minus the scar of 2000: 1996..1999 has no fire at all.
  const RecordedLines out = reportSampleDepth(h, 1996, 1999, depth, fires, 'F');
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
  const RecordedLines out = reportSampleDepth(h, 2000, 1995, depth, fires, 'F');
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
  for (int y = 2025; y <= kLastYearSlot; ++y) h.setCode(y, kMaxSeries, 'A');
  h.seriesFirstYear[kMaxSeries] = 2025;
  h.seriesLastYear[kMaxSeries] = kLastYearSlot;
  const YearTable depth = depthOf(h);
  YearTable fires{};
  const RecordedLines out = reportSampleDepth(h, 2025, 2040, depth, fires, 'F');
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

  const RecordedLines low = reportSampleDepth(h, -2070, -2064, depth, fires, 'F');
  EXPECT_EQ(low.report[2],
            " SAMPLE DEPTH: year and number of trees over time span -2070 to -2064 (   7 years)");
  EXPECT_EQ(low.report[4], "  -2065   0  -2064   0");
  EXPECT_EQ(low.report.back(), "         0      7");
}

TEST(SampleDepthReport, HandMadeTableWithFullLinesAndLongGroups) {
  // 24 depth entries fill exactly two lines; 37 years of one group take
  // three lines; no year without fire leaves out the 0 row.
  SampleDepthTable table;
  table.firstYear = -5;
  table.lastYear = 40;
  table.seriesCount = 7;
  table.depthFirstYear = -5;
  for (int i = 0; i < 24; ++i) table.depth.push_back(i % 3 == 0 ? 1000 : i);
  RecordingGroup many{7, {}};
  for (int y = 0; y < 37; ++y) many.years.push_back(y - 5);
  table.recording = {many, RecordingGroup{3, {33, 40}}};
  table.yearsWithoutFire = 0;
  std::vector<std::string> lines;
  writeSampleDepthTables(table, [&lines](const std::string& line) { lines.push_back(line); });

  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[2],
            " SAMPLE DEPTH: year and number of trees over time span    -5 to    40 (  46 years)");
  EXPECT_EQ(lines[4].substr(0, 33), "     -51000     -4   1     -3   2");
  EXPECT_EQ(lines[4].size(), 132u);
  EXPECT_EQ(lines[5].substr(0, 11), "      71000");
  EXPECT_EQ(lines[5].size(), 132u);
  EXPECT_EQ(lines[6], kSingleRule);
  EXPECT_EQ(lines[8],
            " NUMBER OF TREES RECORDING FIRE in   7 trees over time span    -5 to    40 (  46 years)");
  EXPECT_EQ(lines[12].substr(0, 30), "         7     37     -5    -4");
  EXPECT_EQ(lines[12].size(), 18u + 18 * 6);
  EXPECT_EQ(lines[13].substr(0, 24), std::string(18, ' ') + "    13");
  EXPECT_EQ(lines[14], std::string(18, ' ') + "    31");
  EXPECT_EQ(lines[15], "         3      2     33    40");
}

}  // namespace
}  // namespace rova

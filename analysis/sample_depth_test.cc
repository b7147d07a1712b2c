#include "analysis/sample_depth.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"

namespace rova {
namespace {

YearTable depthOf(const FireHistory& h) {
  YearTable depth{};
  addRecordYears(h, depth);
  return depth;
}

// 1990..2002: tree 1 scar 1995, injury 1998; tree 2 scars 1995 and 2000, no
// record in 2002.
FireHistory thirteenYears() { return makeHistory(1990, {"|||||A||b||||", "|||||A||||B|."}); }

std::vector<int> groupTrees(const SampleDepthTable& t) {
  std::vector<int> trees;
  for (const RecordingGroup& g : t.recording) trees.push_back(g.trees);
  return trees;
}

TEST(SampleDepth, ValuesOfASpanByMode) {
  const FireHistory h = thirteenYears();
  const YearTable depth = depthOf(h);
  YearTable fires;
  fires.fill(99);
  const SampleDepthTable t = analyseSampleDepth(h, 1990, 2002, depth, fires, InjuryMode::kFireScarsOnly);
  EXPECT_EQ(t.firstYear, 1990);
  EXPECT_EQ(t.lastYear, 2002);
  EXPECT_EQ(t.years(), 13);
  EXPECT_EQ(t.seriesCount, 2);
  EXPECT_EQ(t.depthFirstYear, 1990);
  std::vector<int> expectedDepth(12, 2);
  expectedDepth.push_back(1);
  EXPECT_EQ(t.depth, expectedDepth);
  EXPECT_EQ(groupTrees(t), (std::vector<int>{2, 1}));
  EXPECT_EQ(t.recording[0].years, std::vector<int>{1995});
  EXPECT_EQ(t.recording[1].years, std::vector<int>{2000});
  EXPECT_EQ(t.yearsWithoutFire, 11);
  EXPECT_EQ(fires[yearIndex(1995)], 2);
  EXPECT_EQ(fires[yearIndex(1998)], 0);
  EXPECT_EQ(fires[yearIndex(1989)], 0);
  EXPECT_EQ(fires[yearIndex(kFirstYearSlot)], 0);

  // Injuries count in injury mode: 1998 joins the one-tree group.
  const SampleDepthTable injuries = analyseSampleDepth(h, 1990, 2002, depth, fires, InjuryMode::kAllInjuries);
  EXPECT_EQ(injuries.recording.at(1).years, (std::vector<int>{1998, 2000}));
  EXPECT_EQ(injuries.yearsWithoutFire, 10);
  EXPECT_EQ(fires[yearIndex(1998)], 1);
}

TEST(SampleDepth, EmptySpanHasNoEntriesAndClearsTheCounts) {
  const FireHistory h = thirteenYears();
  const YearTable depth = depthOf(h);
  YearTable fires;
  fires.fill(5);
  const SampleDepthTable t = analyseSampleDepth(h, 2000, 1995, depth, fires, InjuryMode::kFireScarsOnly);
  EXPECT_EQ(t.years(), -4);
  EXPECT_TRUE(t.depth.empty());
  EXPECT_TRUE(t.recording.empty());
  EXPECT_EQ(t.yearsWithoutFire, 0);
  for (int y = kFirstYearSlot; y <= kLastYearSlot; ++y) ASSERT_EQ(fires[yearIndex(y)], 0) << y;
}

TEST(SampleDepth, YearsBeyondTheTableHaveNoDepthButCountWithoutFire) {
  const FireHistory h = makeHistory(2025, {"A||||A", "A|||||"});
  const YearTable depth = depthOf(h);
  YearTable fires{};
  const SampleDepthTable high = analyseSampleDepth(h, 2025, 2040, depth, fires, InjuryMode::kFireScarsOnly);
  EXPECT_EQ(high.depthFirstYear, 2025);
  EXPECT_EQ(high.depth, std::vector<int>(6, 2));
  EXPECT_EQ(groupTrees(high), (std::vector<int>{2, 1}));
  EXPECT_EQ(high.yearsWithoutFire, 14);

  const SampleDepthTable low = analyseSampleDepth(h, -2070, -2064, depth, fires, InjuryMode::kFireScarsOnly);
  EXPECT_EQ(low.depthFirstYear, kFirstYearSlot);
  EXPECT_EQ(low.depth, std::vector<int>(2, 0));
  EXPECT_EQ(low.yearsWithoutFire, 7);
}

}  // namespace
}  // namespace rova

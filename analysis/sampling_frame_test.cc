#include "analysis/sampling_frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "analysis/analysis_test_support.h"

namespace rova {
namespace {

using Trees = std::vector<int>;

TEST(SamplingFrame, DataFrameHoldsTheTreesWhoseRecordReachesIntoTheSpan) {
  // 1900..1909. Tree 1 covers it all; tree 2 only its second half; tree 3
  // ends before it; tree 4's record (1890..1910) covers it, but it never
  // records there ("." within the record); tree 5 holds no data at all.
  const FireHistory h = makeHistory(1890, {"||||||||||||||||||||", "...............|||A|",
                                           "|A||||....", "|...................|",
                                           "...................."});
  EXPECT_EQ(frameTrees(h, 1900, 1909, FrameRule::kData, InjuryMode::kFireScarsOnly),
            (Trees{1, 2, 4}));
  EXPECT_EQ(frameTrees(h, 1900, 1909, FrameRule::kRecorders, InjuryMode::kFireScarsOnly),
            (Trees{1, 2}));
  // Before 1900 tree 3 is there, tree 2 is not.
  EXPECT_EQ(frameTrees(h, 1890, 1895, FrameRule::kData, InjuryMode::kFireScarsOnly),
            (Trees{1, 3, 4}));
  EXPECT_EQ(seriesWithoutData(h), (Trees{5}));
  // An empty span has no trees.
  EXPECT_EQ(frameTrees(h, 1905, 1900, FrameRule::kData, InjuryMode::kFireScarsOnly), Trees{});
}

TEST(SamplingFrame, MarksAndInjuriesRecordOnlyBesideARecordingYear) {
  // Each tree has one year in the span 2001..2001, the others outside.
  const FireHistory h = makeHistory(2000, {
                                              "|[.",  // pith beside a recording year
                                              ".[.",  // pith alone
                                              "..}|",  // no data in the span... and a bark mark after
                                              "|a.",  // injury beside a recording year
                                              ".a.",  // injury alone
                                              ".A.",  // a fire scar records by itself
                                              ".|.",  // a recorder year
                                          });
  EXPECT_EQ(frameTrees(h, 2001, 2001, FrameRule::kRecorders, InjuryMode::kFireScarsOnly),
            (Trees{1, 4, 6, 7}));
  // When injuries are fire events they record by themselves.
  EXPECT_EQ(frameTrees(h, 2001, 2001, FrameRule::kRecorders, InjuryMode::kAllInjuries),
            (Trees{1, 4, 5, 6, 7}));
  EXPECT_TRUE(recordsInYear(h, 3, 2002, InjuryMode::kFireScarsOnly));   // "}" beside "|"
  EXPECT_FALSE(recordsInYear(h, 3, 2001, InjuryMode::kFireScarsOnly));  // outside its record
  EXPECT_EQ(frameTrees(h, 2001, 2001, FrameRule::kData, InjuryMode::kFireScarsOnly),
            (Trees{1, 2, 4, 5, 6, 7}));
}

}  // namespace
}  // namespace rova

// The adequacy of every segment of every real fire-history file the
// project has: what a researcher would check first. No frame counts a tree
// without data in its span, no asymptote exceeds one fire year per year, a
// complete sample has a finite interval, and no "trees needed" is the
// frame itself.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"
#include "analysis/sample_adequacy.h"
#include "tests/test_support.h"

namespace rova {
namespace {

// Trees with a code other than "." in first..last, read from the codes.
int treesWithData(const FireHistory& h, int first, int last) {
  int trees = 0;
  for (int t = 1; t <= h.seriesCount; ++t) {
    bool any = false;
    for (int y = std::max(first, h.firstYear); y <= std::min(last, h.lastYear) && !any; ++y)
      any = h.code(y, t) != '.';
    // A "." inside the record still belongs to it: the record runs from
    // the first to the last year with data.
    if (!any) any = h.seriesFirstYear[t] < first && h.seriesLastYear[t] > last;
    trees += any;
  }
  return trees;
}

void checkSpan(const FireHistory& h, int first, int last, SelectionMethod method, FrameRule rule,
               const std::string& where) {
  const AdequacyCriterion c{10, 95, 20};
  const SpanAdequacy a = spanAdequacy(h, first, last, InjuryMode::kFireScarsOnly, method, rule, c, 7);
  EXPECT_LE(a.trees, treesWithData(h, first, last)) << where;
  for (int t = 0; t < kAdequacyStatistics; ++t) {
    ASSERT_EQ(a.sizes[t].size(), static_cast<std::size_t>(a.trees)) << where;
    for (const std::optional<int>& needed : {a.needed[t].forShare, a.needed[t].forMean}) {
      if (needed) {
        EXPECT_LT(*needed, a.trees) << where;
      }
    }
    for (const AdequacySize& s : a.sizes[t]) {
      EXPECT_TRUE(std::isfinite(*s.exactMean) && *s.exactMean <= a.allTrees[t] + 1e-9) << where;
      if (s.share) {
        EXPECT_TRUE(*s.share >= 0 && *s.share <= 1) << where;
      }
    }
    if (method == SelectionMethod::kWithoutReplacement && a.trees > 0) {
      EXPECT_NEAR(*a.sizes[t].back().exactMean, a.allTrees[t], 1e-9) << where;
    }
  }
  if (a.trees == 0) return;
  EXPECT_LE(a.estimate, 100.0 + 1e-9) << where;
  EXPECT_LE(a.lower95, a.estimate + 1e-9) << where;
  ASSERT_TRUE(a.upper95.has_value()) << where;  // every frame with trees has a finite interval
  EXPECT_TRUE(std::isfinite(*a.upper95) && *a.upper95 <= 100.0 + 1e-9) << where;
  EXPECT_GE(*a.upper95, a.lower95) << where;
  EXPECT_GE(a.estimate, a.allTrees[0] - 1e-9) << where;
  for (double v : a.extrapolation) EXPECT_LE(v, 100.0 + 1e-9) << where;
}

TEST(AdequacyOfRealFiles, EverySegmentCountsOnlyItsTreesAndStaysInItsSpan) {
  const std::string dir = testing::realDataDirectory();
  if (dir.empty()) GTEST_SKIP() << "the shared real fire-history files are not there";
  int spans = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().filename() == "SOURCES.md") continue;
    std::string error;
    FireHistory h;
    ASSERT_TRUE(readRealFile(entry.path().string(), h, error)) << error;
    for (int length : {50, 100}) {
      for (int first = h.firstYear; first <= h.lastYear; first += length / 2) {
        const int last = std::min(first + length - 1, h.lastYear);
        const std::string where = entry.path().filename().string() + " " + std::to_string(first) +
                                  "-" + std::to_string(last);
        checkSpan(h, first, last, SelectionMethod::kWithoutReplacement, FrameRule::kData, where);
        checkSpan(h, first, last, SelectionMethod::kWithoutReplacement, FrameRule::kRecorders, where);
        checkSpan(h, first, last, SelectionMethod::kWithReplacement, FrameRule::kData, where);
        ++spans;
      }
    }
  }
  EXPECT_GT(spans, 500);
}

}  // namespace
}  // namespace rova

// The composites and fire intervals of every real fire-history file the
// project has, over each file's whole span: what a researcher would check
// by hand. The composite years are worked out again here from the codes
// alone, and the interval statistics must keep their known relations.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/analysis_test_support.h"
#include "analysis/fire_intervals.h"
#include "analysis/sample_adequacy.h"
#include "tests/test_support.h"

namespace rova {
namespace {

bool inRecord(const FireHistory& h, int t, int y) {
  return y >= h.seriesFirstYear[t] && y <= h.seriesLastYear[t] && y >= h.firstYear && y <= h.lastYear;
}

bool scar(char c) { return c >= 'A' && c <= 'Z'; }

// A tree records with "|" or a scar; a ring mark or an injury beside such
// a year of its record records too.
bool recordsPlainly(const FireHistory& h, int t, int y) {
  if (!inRecord(h, t, y)) return false;
  const char c = h.code(y, t);
  if (c == '|' || scar(c)) return true;
  if (c != '[' && c != ']' && c != '{' && c != '}' && !(c >= 'a' && c <= 'z')) return false;
  for (int next : {y - 1, y + 1})
    if (inRecord(h, t, next) && (h.code(next, t) == '|' || scar(h.code(next, t)))) return true;
  return false;
}

// The composite years of all `trees` by the filter, from the codes.
std::vector<int> plainComposite(const FireHistory& h, const std::vector<int>& trees,
                                const CompositeFilter& f) {
  std::vector<int> years;
  for (int y = h.firstYear; y <= h.lastYear; ++y) {
    int scarred = 0, recording = 0;
    for (int t : trees) {
      recording += recordsPlainly(h, t, y);
      scarred += inRecord(h, t, y) && scar(h.code(y, t));
    }
    if (scarred >= f.minScarred && recording >= f.minRecorders && scarred * 100.0 >= f.percent * recording)
      years.push_back(y);
  }
  return years;
}

void checkFile(const FireHistory& h, const std::string& name) {
  const InjuryMode scars = InjuryMode::kFireScarsOnly;
  const std::vector<int> trees = frameTrees(h, h.firstYear, h.lastYear, FrameRule::kData, scars);
  const FrameYears years = frameYears(h, trees, h.firstYear, h.lastYear, scars);
  const FrameBits all = allPlaces(static_cast<int>(trees.size()));
  // 0,1,1: the years with a fire event of any frame tree.
  std::vector<int> anyFire;
  for (int y = h.firstYear; y <= h.lastYear; ++y) {
    bool any = false;
    for (int t : trees) any = any || (inRecord(h, t, y) && scar(h.code(y, t)));
    if (any) anyFire.push_back(y);
  }
  EXPECT_EQ(compositeYears(years, all, {0, 1, 1}), anyFire) << name;
  for (const CompositeFilter& filter : {CompositeFilter{25, 2, 1}, CompositeFilter{10, 2, 1},
                                        CompositeFilter{0, 1, 1}, CompositeFilter{50, 3, 2}}) {
    const std::string where = name + " " + compositeText(filter);
    const std::vector<int> found = compositeYears(years, all, filter);
    EXPECT_EQ(found, plainComposite(h, trees, filter)) << where;
    const IntervalStatistics s = intervalStatistics(found);
    EXPECT_EQ(s.mean.has_value(), found.size() >= 3) << where;
    if (s.mean) {
      EXPECT_NEAR(*s.mean, static_cast<double>(found.back() - found.front()) / (found.size() - 1),
                  1e-12) << where;
      int shortest = found.back() - found.front(), longest = 0;
      for (std::size_t i = 1; i < found.size(); ++i) {
        shortest = std::min(shortest, found[i] - found[i - 1]);
        longest = std::max(longest, found[i] - found[i - 1]);
      }
      EXPECT_TRUE(*s.median >= shortest && *s.median <= longest) << where;
    }
    if (s.weibullMedian) {
      EXPECT_GT(*s.weibullShape, 0) << where;
      EXPECT_GT(*s.weibullScale, 0) << where;
      EXPECT_LT(*s.weibullLowerExceedance, *s.weibullMedian) << where;
      EXPECT_LT(*s.weibullMedian, *s.weibullUpperExceedance) << where;
      // The median lies below the scale (ln 2 < 1), for every shape.
      EXPECT_LT(*s.weibullMedian, *s.weibullScale) << where;
    }
    // All the trees of the frame find the composite for certain.
    const std::vector<double> exact = exactCompositeYears(years, filter);
    if (!exact.empty()) {
      EXPECT_EQ(exact.back(), static_cast<double>(found.size())) << where;
    }
  }
}

TEST(IntervalsOfRealFiles, CompositesAsWorkedFromTheCodesAndIntervalsInOrder) {
  const std::string dir = testing::realDataDirectory();
  if (dir.empty()) GTEST_SKIP() << testing::realDataMissing();
  int read = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().filename() == "SOURCES.md") continue;
    std::string error;
    FireHistory h;
    ASSERT_TRUE(readRealFile(entry.path().string(), h, error)) << error;
    checkFile(h, entry.path().filename().string());
    ++read;
  }
  EXPECT_GE(read, 20);
}

TEST(IntervalsOfRealFiles, AdequacyOfTheCompositesOnPgm) {
  const std::string dir = testing::realDataDirectory();
  if (dir.empty()) GTEST_SKIP() << testing::realDataMissing();
  std::string error;
  FireHistory h;
  ASSERT_TRUE(readRealFile(dir + "/pgm.fhx", h, error)) << error;
  AdequacyCriterion c{10, 95, 200};
  c.composites = {{25, 2, 1}, {0, 1, 1}};
  const SpanAdequacy a = spanAdequacy(h, h.firstYear, h.lastYear, InjuryMode::kFireScarsOnly,
                                      SelectionMethod::kWithoutReplacement, FrameRule::kData, c, 11);
  ASSERT_EQ(a.trees, 41);
  // 25,2,1 finds 21 composite years in 459: 100 * 21 / 459 per century,
  // intervals from the first to the last over 20.
  const StatisticAdequacy& frequency = a.composites[0].statistics[0];
  const std::vector<int> found =
      plainComposite(h, frameTrees(h, h.firstYear, h.lastYear, FrameRule::kData, InjuryMode::kFireScarsOnly),
                     {25, 2, 1});
  EXPECT_NEAR(*frequency.allTrees, 100.0 * static_cast<double>(found.size()) / 459, 1e-12);
  EXPECT_NEAR(*a.composites[0].statistics[1].allTrees,
              static_cast<double>(found.back() - found.front()) / (found.size() - 1), 1e-12);
  for (const FilterAdequacy& f : a.composites) {
    for (const StatisticAdequacy& st : f.statistics) {
      for (const AdequacySize& row : st.sizes) {
        EXPECT_TRUE(*row.undefinedShare >= 0 && *row.undefinedShare <= 1);
        if (row.p50) {
          EXPECT_LE(*row.p2_5, *row.p50);
          EXPECT_LE(*row.p50, *row.p97_5);
        }
      }
      for (const std::optional<int>& needed : {st.needed.forShare, st.needed.forMean}) {
        if (needed) {
          EXPECT_LT(*needed, 41);
        }
      }
    }
  }
  // A sample of one tree never has two recorders: no composite year by 25,2,1.
  EXPECT_EQ(*frequency.sizes[0].exactMean, 0.0);
  EXPECT_EQ(*frequency.sizes[0].p97_5, 0.0);
}

}  // namespace
}  // namespace rova

#include "analysis/sample_depth.h"

#include <algorithm>

namespace rova {
namespace {

// The groups of years by the number of trees recording a fire in them,
// from `trees` down to 1, over the years lo..hi.
std::vector<RecordingGroup> recordingGroups(const YearTable& fireTreeCount, int trees, int lo,
                                            int hi) {
  std::vector<RecordingGroup> groups;
  for (int n = trees; n >= 1; --n) {
    RecordingGroup group{n, {}};
    for (int y = lo; y <= hi; ++y) {
      if (fireTreeCount[yearIndex(y)] == n) group.years.push_back(y);
    }
    if (!group.years.empty()) groups.push_back(std::move(group));
  }
  return groups;
}

}  // namespace

void addRecordYears(const FireHistory& data, YearTable& sampleDepth) {
  for (int s = 1; s <= data.seriesCount; ++s) {
    const int first = std::max(data.seriesFirstYear[s], kFirstYearSlot);
    const int last = std::min(data.seriesLastYear[s], kLastYearSlot);
    for (int y = first; y <= last; ++y) ++sampleDepth[yearIndex(y)];
  }
}

void countFireTrees(const FireHistory& data, int first, int last, InjuryMode injuryMode,
                    YearTable& fireTreeCount) {
  const int lo = std::max(first, kFirstYearSlot);
  const int hi = std::min(last, kLastYearSlot);
  const int seriesCount = std::min(data.seriesCount, kMaxSeries);
  fireTreeCount.fill(0);
  // Every year of the span, not only the tree's record: codes outside a
  // record are never letters, so they add nothing.
  for (int s = 1; s <= seriesCount; ++s) {
    for (int y = lo; y <= hi; ++y) {
      if (isFireEvent(data.code(y, s), injuryMode)) ++fireTreeCount[yearIndex(y)];
    }
  }
}

SampleDepthTable analyseSampleDepth(const FireHistory& data, int first, int last,
                                    const YearTable& sampleDepth, YearTable& fireTreeCount,
                                    InjuryMode injuryMode) {
  // Only the years of the span that lie inside the table are looked up.
  const int lo = std::max(first, kFirstYearSlot);
  const int hi = std::min(last, kLastYearSlot);
  const int seriesCount = std::min(data.seriesCount, kMaxSeries);

  countFireTrees(data, first, last, injuryMode, fireTreeCount);

  SampleDepthTable table;
  table.firstYear = first;
  table.lastYear = last;
  table.seriesCount = data.seriesCount;
  table.depthFirstYear = lo;
  for (int y = lo; y <= hi; ++y) table.depth.push_back(sampleDepth[yearIndex(y)]);
  table.recording = recordingGroups(fireTreeCount, seriesCount, lo, hi);
  long long yearsWithFire = 0;
  for (const RecordingGroup& group : table.recording) yearsWithFire += group.years.size();
  table.yearsWithoutFire = std::max(table.years() - yearsWithFire, 0LL);
  return table;
}

}  // namespace rova

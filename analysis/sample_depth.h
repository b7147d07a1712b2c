// Sample depth and the number of trees recording fire, per year of a span.
//
// analyseSampleDepth counts, for every year of the span, the trees whose
// code in that year is a fire event, leaves the counts in fireTreeCount
// (read afterwards by the simulations to tell years recorded by at least
// two trees), and returns what the report's two tables of the span show:
// the sample depth of every year, and the years grouped by the number of
// trees that record a fire in them.
//
// Years of the span outside the year table (-2065..2030) hold no data: they
// count in the span's number of years, as years without fire, but are never
// looked up and get no sample-depth entry. A span whose last year is before
// its first has no years: no depth entries, no groups, no years without
// fire.
#pragma once

#include <vector>

#include "records/fire_history.h"

namespace rova {

// The years of the span in which exactly `trees` trees record a fire.
struct RecordingGroup {
  int trees = 0;
  std::vector<int> years;  // increasing; never empty
};

// The sample depth and recording trees of one span.
struct SampleDepthTable {
  int firstYear = 0;  // the span
  int lastYear = 0;
  int seriesCount = 0;  // the trees of the data set
  // The sample depth of the span's years inside the year table, the first
  // of them depthFirstYear.
  int depthFirstYear = 0;
  std::vector<int> depth;
  // The years of the span grouped by the number of trees recording a fire
  // in them, most trees first; numbers without any year have no group.
  std::vector<RecordingGroup> recording;
  long long yearsWithoutFire = 0;  // the span's years in no group; 0 for an empty span

  // last - first + 1, 0 or below for an empty span.
  long long years() const { return static_cast<long long>(lastYear) - firstYear + 1; }
};

// Adds 1 to the sample depth of every year of every tree's record (from
// its first to its last recorded year, within the year table).
void addRecordYears(const FireHistory& data, YearTable& sampleDepth);

// REQUIRES: data.seriesCount <= kMaxSeries. sampleDepth holds the number of
// trees whose record covers each year.
// Effects: every slot of fireTreeCount is set; it is 0 outside the span.
// With all injuries, lower-case injuries count as events; otherwise only
// upper-case fire scars.
// The fire-tree counts alone: fireTreeCount as analyseSampleDepth leaves it.
void countFireTrees(const FireHistory& data, int first, int last, InjuryMode injuryMode,
                    YearTable& fireTreeCount);

SampleDepthTable analyseSampleDepth(const FireHistory& data, int first, int last,
                                    const YearTable& sampleDepth, YearTable& fireTreeCount,
                                    InjuryMode injuryMode);

}  // namespace rova

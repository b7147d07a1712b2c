// Filtered composites and fire intervals: the statistics fire historians
// publish, for the whole frame of a span or for a sample of its trees.
// Values only, in double precision; no text.
//
// A composite filter PERCENT,MINREC,MINSCAR makes a year a composite fire
// year of a set of trees when, among them, at least MINSCAR are scarred
// (have a fire event), at least MINREC record (sampling_frame.h: a
// scarred tree records) and the scarred are at least PERCENT % of the
// recording. 25,2,1 is the common convention; 0,1,1 is "any scarred
// tree", the design's fire frequency.
//
// The intervals are those between successive composite fire years of the
// span. Mean and median need at least two intervals; the Weibull fit at
// least three, not all equal. The Weibull is fitted by maximum likelihood:
// its shape c solves
//   sum x^c ln x / sum x^c - 1/c - mean(ln x) = 0,
// its scale is b = (mean x^c)^(1/c); the Weibull median probability
// interval (WMPI) is b (ln 2)^(1/c), the lower and upper exceedance
// intervals b (-ln 0.875)^(1/c) and b (-ln 0.125)^(1/c).
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "analysis/sampling_frame.h"
#include "records/fire_history.h"
#include "records/output_request.h"

namespace rova {

// "25,2,1": a percentage from 0 to 100, then two whole numbers of at least
// 1; none when the text is not such a filter.
std::optional<CompositeFilter> parseCompositeFilter(const std::string& text);

// "25,2,1": the filter as it is written on the command line. Inline: the
// chart's module, which links no analysis, names filters too.
inline std::string compositeText(const CompositeFilter& filter) {
  char percent[32];
  std::snprintf(percent, sizeof percent, "%g", filter.percent);
  return std::string(percent) + "," + std::to_string(filter.minRecorders) + "," +
         std::to_string(filter.minScarred);
}

// "composite_25_2_1": the name of the filter's column.
std::string compositeName(const CompositeFilter& filter);

// Whether a year with `scarred` of `recording` trees passes the filter.
// REQUIRES: 0 <= scarred <= recording.
bool compositePasses(const CompositeFilter& filter, int scarred, int recording);

// The years of a span as bit sets over the places of a frame's trees
// (place i is the series trees[i]): which trees record in each year and
// which are scarred (have a fire event; a scarred tree records).
struct FrameYear {
  int year = 0;
  FrameBits recording{};
  FrameBits scarred{};
};
struct FrameYears {
  std::vector<int> trees;        // the frame's series numbers, in order
  std::vector<FrameYear> years;  // every year of the span inside the table
  std::vector<int> fireYears;    // the places in `years` of those with a scarred tree
  int words = 0;                 // the words of FrameBits the trees use
};

// The years first..last inside the table of the trees `trees` (series
// numbers, at most kMaxSeries).
FrameYears frameYears(const FireHistory& data, const std::vector<int>& trees, int first, int last,
                      InjuryMode injuryMode);

// Every place of a frame of n trees.
FrameBits allPlaces(int n);

// The composite fire years of the sample `sample` (places of the frame),
// one ascending list per filter. This is the one definition of a
// sample's composite: the per-year table, the frame's values and every
// subsample of the adequacy table take their composites from here. A year
// passes a filter by the counts of the sampled trees that are scarred and
// that record in it; only years with a scarred tree of the frame can pass
// (every filter asks for at least one scarred tree).
void compositeYears(const FrameYears& years, const FrameBits& sample,
                    const std::vector<CompositeFilter>& filters, std::vector<std::vector<int>>& found);

// The same for one filter.
std::vector<int> compositeYears(const FrameYears& years, const FrameBits& sample,
                                const CompositeFilter& filter);

struct IntervalStatistics {
  int intervals = 0;
  std::optional<double> mean;
  std::optional<double> median;
  std::optional<double> weibullShape;
  std::optional<double> weibullScale;
  std::optional<double> weibullMedian;  // WMPI
  std::optional<double> weibullLowerExceedance;
  std::optional<double> weibullUpperExceedance;
};

// One year of a site as the per-year table shows it: the trees of the
// frame that record, that are scarred (fire events) and that carry an
// injury (a lower-case code, whether or not injuries count), and whether
// the year passes each filter with all of them.
struct SiteYear {
  int year = 0;
  int recording = 0;
  int scarred = 0;
  int injured = 0;
  std::vector<char> composite;  // one per filter, in order
};

// The years first..last inside the table of the trees with data in the
// span (the data frame).
std::vector<SiteYear> siteYears(const FireHistory& data, int first, int last, InjuryMode injuryMode,
                                const std::vector<CompositeFilter>& filters);

// The statistics of the intervals between successive `years` (ascending).
IntervalStatistics intervalStatistics(const std::vector<int>& years);

// The same, with working space kept from call to call: what a sampler
// calls once per sample. One object per thread.
class IntervalFitter {
 public:
  const IntervalStatistics& of(const std::vector<int>& years);

 private:
  IntervalStatistics result_;
  std::vector<int> intervals_;  // counts by length
  std::vector<double> values_, counts_, logs_;
};

// The Weibull shape by maximum likelihood; none when it is undefined
// (fewer than three intervals, or all equal). REQUIRES: every x > 0.
std::optional<double> weibullShape(const std::vector<double>& x);

// The statistics of a sample's composite for one filter: its composite
// fire years and their intervals.
struct SampleComposite {
  int years = 0;
  IntervalStatistics intervals;
};

// The composites and interval statistics of samples of one frame's trees,
// per filter in order. One object per thread.
class CompositeStatistics {
 public:
  CompositeStatistics(const FrameYears& years, const std::vector<CompositeFilter>& filters);
  const std::vector<SampleComposite>& of(const FrameBits& sample);

 private:
  const FrameYears& years_;
  const std::vector<CompositeFilter>& filters_;
  std::vector<std::vector<int>> found_;
  std::vector<SampleComposite> result_;
  IntervalFitter fitter_;
};

// The probability that a sample of s of F trees, drawn without
// replacement, passes the filter in a year with k scarred and r recording
// trees among the F: the sum over x scarred and w other recording trees
// in the sample of C(k,x) C(r-k,w) C(F-r, s-x-w) / C(F,s) where the filter
// passes x of x + w. REQUIRES: 0 <= k <= r <= F, 0 <= s <= F.
double compositePassProbability(const CompositeFilter& filter, int k, int r, int F, int s);

// The exact expected number of composite fire years of a sample of s of
// the frame's trees drawn without replacement, s = 1..F (element s - 1):
// the sum of compositePassProbability over the span's years.
std::vector<double> exactCompositeYears(const FrameYears& years, const CompositeFilter& filter);

}  // namespace rova

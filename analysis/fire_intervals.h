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

#include <optional>
#include <string>
#include <vector>

#include "records/fire_history.h"
#include "records/output_request.h"

namespace rova {

// "25,2,1": a percentage from 0 to 100, then two whole numbers of at least
// 1; none when the text is not such a filter.
std::optional<CompositeFilter> parseCompositeFilter(const std::string& text);

// "25,2,1": the filter as it is written on the command line.
std::string compositeText(const CompositeFilter& filter);

// "composite_25_2_1": the name of the filter's column.
std::string compositeName(const CompositeFilter& filter);

// Whether a year with `scarred` of `recording` trees passes the filter.
// REQUIRES: 0 <= scarred <= recording.
bool compositePasses(const CompositeFilter& filter, int scarred, int recording);

// The trees of one year of a span: which record and which are scarred.
struct YearTrees {
  int year = 0;
  std::vector<int> recording;  // series numbers, in order
  std::vector<int> scarred;    // a subset of recording
};

// Every year of first..last inside the table, for the trees `trees`.
std::vector<YearTrees> yearTrees(const FireHistory& data, const std::vector<int>& trees, int first,
                                 int last, InjuryMode injuryMode);

// The composite fire years of the trees whose flag in `inSample` (indexed
// by series number) is set.
std::vector<int> compositeYears(const std::vector<YearTrees>& years, const std::vector<char>& inSample,
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

// The Weibull shape by maximum likelihood; none when it is undefined
// (fewer than three intervals, or all equal). REQUIRES: every x > 0.
std::optional<double> weibullShape(const std::vector<double>& x);

// The probability that a sample of s of F trees, drawn without
// replacement, passes the filter in a year with k scarred and r recording
// trees among the F: the sum over x scarred and w other recording trees
// in the sample of C(k,x) C(r-k,w) C(F-r, s-x-w) / C(F,s) where the filter
// passes x of x + w. REQUIRES: 0 <= k <= r <= F, 0 <= s <= F.
double compositePassProbability(const CompositeFilter& filter, int k, int r, int F, int s);

}  // namespace rova

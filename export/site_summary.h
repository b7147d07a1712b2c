// The multi-site summary: one tidy CSV table with a row per input file and
// span, for researchers who analyse many sites in one batch run and want
// one table to plot.
//
// Each row holds the site and the file as given, the span, its series and
// its sampling frame, the frame's observed frequency at both thresholds,
// the Chao2 asymptote on the frame with its 95 % interval (capped at 100
// fire events per century, the span's years), Q1, Q2 and the fire years
// observed, cautions, the trees needed by both rules and the run's
// settings; with --intervals then, per composite filter, the frame's
// composite frequency, MFI and WMPI and their trees needed by the share
// rule. Values in double precision; NA for trees needed that are not
// reached and for statistics undefined for the frame. The meaning and unit of every column is in
// siteSummaryColumns(). Texts are quoted as CSV quotes them; lines end
// with "\n".
#pragma once

#include <string>
#include <vector>

#include "analysis/sample_adequacy.h"
#include "export/tidy_table.h"

namespace rova {

struct SiteSummary {
  std::string site;
  std::string file;      // the input file as given
  std::string method;    // "D" or "R"
  bool injuriesCounted = false;
  int simulations = 0;
  int seed = 0;
  AdequacyCriterion criterion;
  SpanAdequacy span;
};

const std::vector<TidyColumn>& siteSummaryColumns();

// The columns with the composite and interval statistics of `filters`
// (--intervals): after the others, per filter the frame's
// composite_frequency, mean_interval (MFI) and weibull_median_interval
// (WMPI) and the trees_for_share of each, named with the filter, e.g.
// composite_frequency_25_2_1 and trees_for_share_mean_interval_25_2_1.
std::vector<TidyColumn> siteSummaryColumns(const std::vector<CompositeFilter>& filters);

// The header row, ending in "\n".
std::string siteSummaryHeader(const std::vector<CompositeFilter>& filters = {});

// The row of one site and span, ending in "\n": with the columns of the
// criterion's filters.
std::string siteSummaryRow(const SiteSummary& summary);

}  // namespace rova

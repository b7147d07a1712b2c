#include "export/site_summary.h"

#include "export/tidy_table.h"

namespace rova {
namespace {

constexpr const char* kRate = "fire events per century";

std::string sizeOrNa(const std::optional<int>& size) {
  return size ? std::to_string(*size) : std::string("NA");
}

std::string logical(bool value) { return value ? "TRUE" : "FALSE"; }

std::string joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ";") + part;
  return text;
}

}  // namespace

const std::vector<TidyColumn>& siteSummaryColumns() {
  static const std::vector<TidyColumn> columns = {
      {"site", "the input file's name without folder and extension", ""},
      {"file", "the input file as given", ""},
      {"span_first_year", "first year of the span (whole span or segment)", "year"},
      {"span_last_year", "last year of the span", "year"},
      {"years", "length of the span, L", "years"},
      {"series", "series of the file", "trees"},
      {"frame", "the trees that may be sampled: data (record covers a year of the span) or "
                "recorders (a recording year in it)", ""},
      {"frame_trees", "F, the trees of the frame", "trees"},
      {"observed_1", "fire frequency of all frame trees (a year counts when a tree has an "
                     "event)", kRate},
      {"observed_2", "fire frequency of all frame trees, years confirmed by >= 2 trees of "
                     "the frame", kRate},
      {"chao2_estimate", "Chao2 asymptote on the frame: the fire frequency more trees chosen "
                         "like these would approach, capped at 100", kRate},
      {"chao2_lower_95", "lower limit of its 95 % interval (log-normal; the interval for "
                         "nothing missing when chao2_complete), capped at 100", kRate},
      {"chao2_upper_95", "upper limit of that interval, capped at 100", kRate},
      {"chao2_capped", "TRUE when the estimate or a limit exceeded one fire year per "
                       "calendar year and was capped", ""},
      {"chao2_complete", "TRUE when nothing is estimated missing (Q1 = 0, or Q1 = 1 and "
                         "Q2 = 0, or one tree)", ""},
      {"q1", "fire years found by exactly one frame tree", "years"},
      {"q2", "fire years found by exactly two frame trees", "years"},
      {"observed_years", "fire years found by the frame", "years"},
      {"cautions", "';'-separated: few_trees (F < 10), singletons_dominate (Q1 >= half the "
                   "fire years), capped", ""},
      {"trees_for_share_1", "smallest s < F from which on, up to F - 1, at least "
                            "share_percent % of samples of s trees lie within "
                            "within_percent % of observed_1; NA when no size below F does",
       "trees"},
      {"trees_for_mean_1", "smallest s < F from which on, up to F, the exact mean of "
                           "samples of s trees lies within within_percent % of observed_1; "
                           "NA when no size below F does", "trees"},
      {"trees_for_share_2", "as trees_for_share_1, for observed_2", "trees"},
      {"trees_for_mean_2", "as trees_for_mean_1, for observed_2", "trees"},
      {"method", "D: samples drawn without replacement; R: with replacement", ""},
      {"injuries_counted", "TRUE when injuries of all types count as fire events", ""},
      {"simulations", "simulations per sample size of the run's report", "simulations"},
      {"adequacy_subsamples", "random samples per size behind the shares where they are not "
                              "counted whole", "samples"},
      {"seed", "the run's random seed", ""},
      {"within_percent", "X of the trees needed", "percent"},
      {"share_percent", "P of trees_for_share", "percent"},
  };
  return columns;
}

namespace {

// The statistics of a filter's composite in the table, by their place in
// FilterAdequacy::statistics.
constexpr IntervalStatistic kSiteStatistics[] = {IntervalStatistic::kCompositeFrequency,
                                                 IntervalStatistic::kMeanInterval,
                                                 IntervalStatistic::kWeibullMedianInterval};

const char* siteMeaning(IntervalStatistic statistic) {
  switch (statistic) {
    case IntervalStatistic::kCompositeFrequency:
      return "composite fire years of all frame trees by the filter of the name "
             "(PERCENT_MINREC_MINSCAR), per century";
    case IntervalStatistic::kMeanInterval:
      return "mean interval between successive composite fire years of all frame trees by "
             "the filter (MFI); NA with fewer than 2 intervals";
    default:
      return "Weibull median probability interval of those intervals (WMPI), the Weibull "
             "fitted by maximum likelihood; NA with fewer than 3 intervals or all equal";
  }
}

}  // namespace

std::vector<TidyColumn> siteSummaryColumns(const std::vector<CompositeFilter>& filters) {
  std::vector<TidyColumn> columns = siteSummaryColumns();
  for (const CompositeFilter& filter : filters) {
    const std::string suffix = compositeName(filter).substr(std::string("composite").size());
    for (IntervalStatistic statistic : kSiteStatistics) {
      const std::string name = statisticName(statistic) + suffix;
      columns.push_back({lastingText(name), siteMeaning(statistic),
                         statistic == IntervalStatistic::kCompositeFrequency ? kRate : "years"});
    }
    for (IntervalStatistic statistic : kSiteStatistics) {
      const std::string name = statisticName(statistic) + suffix;
      columns.push_back({lastingText("trees_for_share_" + name),
                         lastingText("smallest s < F from which on, up to F - 1, at least "
                                     "share_percent % of samples of s trees have " + name +
                                     " within within_percent % of the frame's (a sample where "
                                     "it is undefined is not within); NA when no size below F "
                                     "does or the frame's value is NA"),
                         "trees"});
    }
  }
  return columns;
}

std::string siteSummaryHeader(const std::vector<CompositeFilter>& filters) {
  return csvHeader(siteSummaryColumns(filters));
}

std::string siteSummaryRow(const SiteSummary& s) {
  const SpanAdequacy& a = s.span;
  const bool chao = a.trees >= 1;
  auto rate = [chao](double value) { return chao ? tidyCsvDouble(value) : std::string("NA"); };
  std::string line = csvField(s.site) + ',' + csvField(s.file) + ',' + std::to_string(a.firstYear) +
                     ',' + std::to_string(a.lastYear) + ',' + std::to_string(a.years) + ',' +
                     std::to_string(a.series) + ',' + frameRuleName(a.frameRule) + ',' +
                     std::to_string(a.trees) + ',' + tidyCsvDouble(a.allTrees[0]) + ',' +
                     tidyCsvDouble(a.allTrees[1]) + ',' + rate(a.estimate) + ',' +
                     rate(a.lower95) + ',' +
                     (a.upper95 ? tidyCsvDouble(*a.upper95) : std::string("NA")) + ',' +
                     logical(a.capped) + ',' + logical(a.chao2.complete) + ',' +
                     std::to_string(a.chao2.q1) + ',' + std::to_string(a.chao2.q2) + ',' +
                     std::to_string(a.chao2.observedYears) + ',' + csvField(joined(a.cautions));
  for (int t = 0; t < kAdequacyStatistics; ++t)
    line += ',' + sizeOrNa(a.needed[t].forShare) + ',' + sizeOrNa(a.needed[t].forMean);
  line += ',' + csvField(s.method) + ',' + logical(s.injuriesCounted) + ',' +
          std::to_string(s.simulations) + ',' + std::to_string(s.criterion.subsamples) + ',' +
          std::to_string(s.seed) + ',' + tidyCsvDouble(s.criterion.withinPercent) + ',' +
          tidyCsvDouble(s.criterion.sharePercent);
  for (const FilterAdequacy& f : a.composites) {
    for (IntervalStatistic statistic : kSiteStatistics) {
      const std::optional<double>& value = f.statistics[static_cast<int>(statistic)].allTrees;
      line += ',' + (value ? tidyCsvDouble(*value) : std::string("NA"));
    }
    for (IntervalStatistic statistic : kSiteStatistics)
      line += ',' + sizeOrNa(f.statistics[static_cast<int>(statistic)].needed.forShare);
  }
  return line + '\n';
}

}  // namespace rova

#include "export/adequacy_table.h"

#include <optional>

namespace rova {
namespace {

// The unit of a value column depends on the row's statistic.
constexpr const char* kUnits =
    "fire events per century (fire_frequency, fire_frequency_confirmed, composite_frequency); "
    "years (the intervals, weibull_scale); none (weibull_shape)";

std::string optional(const std::optional<double>& value) {
  return value ? tidyCsvDouble(*value) : std::string("NA");
}

}  // namespace

const std::vector<TidyColumn>& adequacyColumns() {
  static const std::vector<TidyColumn> columns = {
      {"site", "the input file's name without folder and extension", ""},
      {"span_first_year", "first year of the span (whole span or segment)", "year"},
      {"span_last_year", "last year of the span", "year"},
      {"years", "length of the span, last minus first year plus one", "years"},
      {"frame", "the trees that may be sampled: data, series whose record (first to last "
                "year) covers a year of the span; recorders, series with a recording year "
                "in it", ""},
      {"frame_trees", "F, the trees of the frame", "trees"},
      {"statistic", "fire_frequency: a year counts when a sampled tree has a fire event; "
                    "fire_frequency_confirmed: when a sampled tree has one and at least two "
                    "trees of the frame do; with --intervals, of the composite fire years of "
                    "the sampled trees by the filter: composite_frequency, and of the "
                    "intervals between successive composite fire years mean_interval, "
                    "median_interval (both need 2 intervals), weibull_median_interval, "
                    "weibull_lower_exceedance, weibull_upper_exceedance (the Weibull's 12.5 "
                    "and 87.5 percentiles), weibull_shape, weibull_scale (the Weibull fitted "
                    "by maximum likelihood; 3 intervals not all equal)", ""},
      {"filter", "the composite filter PERCENT,MINREC,MINSCAR (a year is a composite fire "
                 "year when at least MINSCAR sampled trees are scarred, at least MINREC "
                 "record, and the scarred are at least PERCENT % of the recording); NA for "
                 "fire_frequency and fire_frequency_confirmed", ""},
      {"trees", "s, the trees in the sample (1 to F)", "trees"},
      {"all_trees_value", "the statistic of all F trees of the frame; NA where it is "
                          "undefined there", kUnits},
      {"exact_mean", "exact expected value of a random sample of s frame trees: for the "
                     "fire frequencies, and for composite_frequency without replacement "
                     "(the sum over the years of each one's chance to pass the filter); NA "
                     "for the other statistics", kUnits},
      {"exact_sd", "exact standard deviation of that value between samples, for the fire "
                   "frequencies; NA for the composite and interval statistics (the "
                   "composite's would need the chance of every pair of years to pass "
                   "together)", kUnits},
      {"subsamples", "random samples of s frame trees drawn for the columns undefined_share "
                     "to p97_5 (and share_within where it is not exact); the composite and "
                     "interval statistics read the same samples as fire_frequency",
       "samples"},
      {"undefined_share", "share of the subsamples in which the statistic is undefined "
                          "(an interval statistic with too few composite fire years; 0 for "
                          "the frequencies); NA without subsamples", "proportion"},
      {"mean", "mean of the subsamples where the statistic is defined; NA without them", kUnits},
      {"sd", "standard deviation of those subsamples, divisor their number - 1; NA below 2",
       kUnits},
      {"p2_5", "2.5 percentile of those subsamples (linear between order statistics, R's "
               "quantile type 7): with p97_5 the band that holds 95 % of single samples",
       kUnits},
      {"p50", "median of those subsamples (R's quantile type 7)", kUnits},
      {"p97_5", "97.5 percentile of those subsamples (R's quantile type 7)", kUnits},
      {"share_within", "share of samples of s trees within the within percentage of "
                       "all_trees_value (0 %: equal to it; a sample where the statistic is "
                       "undefined is not within); exact where share_exact, else from the "
                       "subsamples; NA where all_trees_value is NA or nothing was drawn",
       "proportion"},
      {"share_within_se", "binomial standard error of share_within, sqrt(p (1 - p) / "
                          "subsamples); 0 when exact, NA with share_within", "proportion"},
      {"share_exact", "TRUE when every sample of s trees was counted (without "
                      "replacement, C(F, s) at most 100000)", ""},
  };
  return columns;
}

std::string adequacyHeader() { return csvHeader(adequacyColumns()); }

namespace {

std::string sizeRow(const std::string& start, const std::string& statistic,
                    const std::string& filter, const std::optional<double>& allTrees,
                    const AdequacySize& row) {
  return start + statistic + ',' + filter + ',' + std::to_string(row.trees) + ',' +
         optional(allTrees) + ',' + optional(row.exactMean) + ',' + optional(row.exactSd) + ',' +
         std::to_string(row.subsamples) + ',' + optional(row.undefinedShare) + ',' +
         optional(row.mean) + ',' + optional(row.sd) + ',' + optional(row.p2_5) + ',' +
         optional(row.p50) + ',' + optional(row.p97_5) + ',' + optional(row.share) + ',' +
         (row.share ? tidyCsvDouble(row.shareSe) : std::string("NA")) + ',' +
         (row.shareExact ? "TRUE" : "FALSE") + '\n';
}

}  // namespace

std::string adequacyRows(const std::string& site, const SpanAdequacy& span) {
  std::string lines;
  const std::string start = csvField(site) + ',' + std::to_string(span.firstYear) + ',' +
                            std::to_string(span.lastYear) + ',' + std::to_string(span.years) +
                            ',' + frameRuleName(span.frameRule) + ',' +
                            std::to_string(span.trees) + ',';
  for (int t = 0; t < kAdequacyStatistics; ++t) {
    const std::string statistic = statisticName(static_cast<AdequacyStatistic>(t));
    for (const AdequacySize& row : span.sizes[t])
      lines += sizeRow(start, statistic, "NA", span.allTrees[t], row);
  }
  for (const FilterAdequacy& f : span.composites) {
    const std::string filter = csvField(compositeText(f.filter));  // quoted: it holds commas
    for (int k = 0; k < kIntervalStatistics; ++k) {
      const std::string statistic = statisticName(static_cast<IntervalStatistic>(k));
      for (const AdequacySize& row : f.statistics[k].sizes)
        lines += sizeRow(start, statistic, filter, f.statistics[k].allTrees, row);
    }
  }
  return lines;
}

}  // namespace rova

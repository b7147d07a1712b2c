#include "export/adequacy_table.h"

#include <optional>

namespace rova {
namespace {

constexpr const char* kRate = "fire events per century";

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
                    "trees of the frame do", ""},
      {"trees", "s, the trees in the sample (1 to F)", "trees"},
      {"all_trees_value", "the statistic of all F trees of the frame", kRate},
      {"exact_mean", "exact expected value of a random sample of s frame trees", kRate},
      {"exact_sd", "exact standard deviation of that value between samples", kRate},
      {"subsamples", "random samples of s frame trees drawn for the columns mean to p97_5 "
                     "(and share_within where it is not exact)", "samples"},
      {"mean", "mean of the subsamples; NA without subsamples", kRate},
      {"sd", "standard deviation of the subsamples, divisor subsamples - 1; NA below 2",
       kRate},
      {"p2_5", "2.5 percentile of the subsamples (linear between order statistics, R's "
               "quantile type 7): with p97_5 the band that holds 95 % of single samples",
       kRate},
      {"p97_5", "97.5 percentile of the subsamples (R's quantile type 7)", kRate},
      {"share_within", "share of samples of s trees within the within percentage of "
                       "all_trees_value (0 %: equal to it); exact where share_exact, "
                       "else from the subsamples", "proportion"},
      {"share_within_se", "binomial standard error of share_within, sqrt(p (1 - p) / "
                          "subsamples); 0 when exact", "proportion"},
      {"share_exact", "TRUE when every sample of s trees was counted (without "
                      "replacement, C(F, s) at most 100000)", ""},
  };
  return columns;
}

std::string adequacyHeader() { return csvHeader(adequacyColumns()); }

std::string adequacyRows(const std::string& site, const SpanAdequacy& span) {
  std::string lines;
  const std::string start = csvField(site) + ',' + std::to_string(span.firstYear) + ',' +
                            std::to_string(span.lastYear) + ',' + std::to_string(span.years) +
                            ',' + frameRuleName(span.frameRule) + ',' +
                            std::to_string(span.trees) + ',';
  for (int t = 0; t < kAdequacyStatistics; ++t) {
    const std::string statistic = statisticName(static_cast<AdequacyStatistic>(t));
    for (const AdequacySize& row : span.sizes[t]) {
      lines += start + statistic + ',' + std::to_string(row.trees) + ',' +
               tidyCsvDouble(span.allTrees[t]) + ',' + tidyCsvDouble(row.exactMean) + ',' +
               tidyCsvDouble(row.exactSd) + ',' + std::to_string(row.subsamples) + ',' +
               optional(row.mean) + ',' + optional(row.sd) + ',' + optional(row.p2_5) + ',' +
               optional(row.p97_5) + ',' + optional(row.share) + ',' +
               tidyCsvDouble(row.shareSe) + ',' + (row.shareExact ? "TRUE" : "FALSE") + '\n';
    }
  }
  return lines;
}

}  // namespace rova

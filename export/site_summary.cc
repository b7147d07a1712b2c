#include "export/site_summary.h"

#include "export/tidy_table.h"

namespace rova {
namespace {

constexpr const char* kColumns[] = {
    "site", "file", "span_first_year", "span_last_year", "years", "trees", "observed_1",
    "observed_2", "chao2_estimate", "chao2_lower_95", "chao2_upper_95", "q1", "q2",
    "observed_years", "trees_needed_simulated_1", "trees_needed_exact_1",
    "trees_needed_simulated_2", "trees_needed_exact_2", "method", "injuries", "simulations",
    "seed", "within_percent", "of_simulations_percent"};

std::string sizeOrNa(const std::optional<int>& size) {
  return size ? std::to_string(*size) : std::string("NA");
}

}  // namespace

std::string siteSummaryHeader() {
  std::string header;
  for (const char* column : kColumns) header += (header.empty() ? "" : ",") + std::string(column);
  return header + "\n";
}

std::string siteSummaryRow(const SiteSummary& s) {
  const SpanAdequacy& a = s.span;
  const long long years = static_cast<long long>(a.lastYear) - a.firstYear + 1;
  std::string line = csvField(s.site) + ',' + csvField(s.file) + ',' + std::to_string(a.firstYear) +
                     ',' + std::to_string(a.lastYear) + ',' + std::to_string(years) + ',' +
                     std::to_string(a.trees) + ',' + tidyCsvNumber(a.allTrees[0]) + ',' +
                     tidyCsvNumber(a.allTrees[1]) + ',' + tidyCsvDouble(a.estimate) + ',' +
                     tidyCsvDouble(a.lower95) + ',' +
                     (a.upper95 ? tidyCsvDouble(*a.upper95) : std::string("NA")) + ',' +
                     std::to_string(a.chao2.q1) + ',' + std::to_string(a.chao2.q2) + ',' +
                     std::to_string(a.chao2.observedYears);
  for (int t = 0; t < 2; ++t)
    line += ',' + sizeOrNa(a.simulatedNeeded[t]) + ',' + sizeOrNa(a.exactNeeded[t]);
  line += ',' + csvField(s.method) + ',' + csvField(s.injuries) + ',' + std::to_string(s.simulations) +
          ',' + std::to_string(s.seed) + ',' + tidyCsvDouble(s.criterion.withinPercent) + ',' +
          tidyCsvDouble(s.criterion.sharePercent);
  return line + '\n';
}

}  // namespace rova

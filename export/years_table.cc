#include "export/years_table.h"


namespace rova {

const char* const kRecordingRule =
    "a tree records in a year when its code there is '|' or a fire scar (an injury too when "
    "injuries count as fire events); a pith, bark or ring mark ('[', ']', '{', '}') or an injury "
    "records when it stands next to a recording year";

std::vector<TidyColumn> yearsColumns(const std::vector<CompositeFilter>& filters) {
  std::vector<TidyColumn> columns = {
      {"site", "the input file's name without folder and extension", ""},
      {"year", "the calendar year", "year"},
      {"recording_trees", "trees with data in the span that record in the year", "trees"},
      {"scarred_trees", "trees with a fire event in the year (fire scars; injuries too when they "
                        "count)", "trees"},
      {"injured_trees", "trees with an injury (a lower-case code) in the year", "trees"},
  };
  for (const CompositeFilter& filter : filters) {
    columns.push_back({lastingText(compositeName(filter)),
                       "TRUE when the year is a composite fire year of all recording trees by "
                       "the filter PERCENT_MINREC_MINSCAR of the name: at least MINSCAR scarred, "
                       "at least MINREC recording, the scarred at least PERCENT % of the "
                       "recording",
                       ""});
  }
  return columns;
}

std::string yearsTable(const std::string& site, const std::vector<SiteYear>& years,
                       const std::vector<CompositeFilter>& filters) {
  std::string text = csvHeader(yearsColumns(filters));
  const std::string start = csvField(site) + ',';
  for (const SiteYear& y : years) {
    text += start + std::to_string(y.year) + ',' + std::to_string(y.recording) + ',' +
            std::to_string(y.scarred) + ',' + std::to_string(y.injured);
    for (char passes : y.composite) text += passes ? ",TRUE" : ",FALSE";
    text += '\n';
  }
  return text;
}

}  // namespace rova

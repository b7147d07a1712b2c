// The per-year table of a site: for every year of the processing span, the
// trees with data that record, that are scarred and that are injured, and
// per composite filter whether the year is a composite fire year of all of
// them. What a researcher otherwise rebuilds by hand, and what lets any
// other tool check the composites. CSV as the tidy table writes it.
#pragma once

#include <string>
#include <vector>

#include "analysis/fire_intervals.h"
#include "export/tidy_table.h"

namespace rova {

// The columns for these filters, in order.
std::vector<TidyColumn> yearsColumns(const std::vector<CompositeFilter>& filters);

// The header and every row, each ending in "\n".
std::string yearsTable(const std::string& site, const std::vector<SiteYear>& years,
                       const std::vector<CompositeFilter>& filters);

// The rule by which a tree records, in words, for the metadata.
extern const char* const kRecordingRule;

}  // namespace rova

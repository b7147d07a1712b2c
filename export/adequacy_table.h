// The adequacy table: how many trees are enough, on the trees that were
// there. One CSV row per span, statistic (and, for the composite and
// interval statistics, filter) and sample size s = 1..F, where F is the
// span's frame (the trees with data in it, or recording in it): first the
// two fire frequencies, then per filter the eight statistics of its
// composite. Values in the statistic's unit, double precision, written
// with the shortest text that reads back to the same double; NA where a
// value does not exist (no subsamples, a standard deviation of one sample,
// a statistic undefined for the frame); TRUE and FALSE as R and pandas
// read them; lines end with "\n".
//
// The meaning and unit of every column is in adequacyColumns().
#pragma once

#include <string>
#include <vector>

#include "analysis/sample_adequacy.h"
#include "export/tidy_table.h"

namespace rova {

const std::vector<TidyColumn>& adequacyColumns();

// The header row, ending in "\n".
std::string adequacyHeader();

// The rows of one span, every statistic, s = 1..F.
std::string adequacyRows(const std::string& site, const SpanAdequacy& span);

}  // namespace rova

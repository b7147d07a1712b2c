// The report's two tables of a span's sample depth, made from the value the
// analysis gives (sample_depth.h): the sample depth, year and number of
// trees in pairs, twelve pairs (132 columns) to a line; then the years
// grouped by the number of trees recording a fire in them, eighteen years
// to a line from column 19, closed by the count of years without fire when
// there are any.
#pragma once

#include "analysis/sample_depth.h"
#include "report/line_sink.h"

namespace rova {

void writeSampleDepthTables(const SampleDepthTable& table, const LineSink& out);

}  // namespace rova

// Sample depth and the number of trees recording fire, per year of a span.
//
// reportSampleDepth counts, for every year of the span, the trees whose code
// in that year is a fire event, leaves the counts in fireTreeCount (read
// afterwards by the simulations to tell years recorded by at least two
// trees), and writes two report tables: the sample depth of every year, and
// the years grouped by the number of trees that record a fire in them.
//
// Years of the span outside the year table (-2065..2030) hold no data: they
// count in the span's number of years, as years without fire, but are never
// looked up and get no sample-depth entry. A span whose last year is before
// its first gives the headings (with a number of years of 0 or less) and no
// rows.
#pragma once

#include "analysis/analysis_output.h"
#include "records/fire_history.h"

namespace rova {

// Adds 1 to the sample depth of every year of every tree's record (from
// its first to its last recorded year, within the year table).
void addRecordYears(const FireHistory& data, YearTable& sampleDepth);

// REQUIRES: data.seriesCount <= kMaxSeries. sampleDepth holds the number of
// trees whose record covers each year.
// Effects: every slot of fireTreeCount is set; it is 0 outside the span.
// With all injuries, lower-case injuries count as events; otherwise only
// upper-case fire scars.
void reportSampleDepth(const FireHistory& data, int first, int last, const YearTable& sampleDepth,
                       YearTable& fireTreeCount, InjuryMode injuryMode, AnalysisOutput& out);

}  // namespace rova

// The report's table of one sample size's simulations and the spreadsheet
// rows, made from the values the simulations give (simulation_result.h):
// whichever way the values were computed, they print the same.
//
// A table is its heading (rule, span, column heads) and one line per
// threshold: "All trees" with the mean for the observed value, the mean,
// standard deviation, six limits and four percentiles for simulations,
// "No simulations were run" when none ran. Reals print in fixed fields with
// three decimals; a value too wide for its field prints as asterisks.
#pragma once

#include <string>

#include "analysis/simulation_result.h"
#include "report/line_sink.h"

namespace rova {

// A table heading: the lead text, the number of trees, then " trees over
// time span", the first and last year and the number of years.
std::string spanHeading(const std::string& lead, int trees, int first, int last, long long years);

// The table of one sample size over its span, line by line.
void writeSimulationTable(const SampleSizeResult& result, const LineSink& out);

// The same table as the report file holds it, appended to `text` in one
// piece: every line without its trailing blanks and ended by '\n'. A big
// run writes hundreds of thousands of tables; this way they cost no
// allocation once `text` has grown.
void appendSimulationTable(const SampleSizeResult& result, std::string& text);

// The row for the spreadsheet file of row.threshold: sample size, span and
// threshold, then the mean, the six limits and the four percentiles,
// separated by tabs.
std::string spreadsheetRow(const ResultRow& row);

// The same row ended by '\n', appended to `text`.
void appendSpreadsheetRow(const ResultRow& row, std::string& text);

}  // namespace rova

// The layout of the simulation tables of the report and of the spreadsheet
// rows, shared by every way of computing them.
#pragma once

#include <array>
#include <string>

#include "analysis/analysis_output.h"

namespace rova {

// The eleven values of a spreadsheet row: mean, six limits, four percentiles.
using RowValues = std::array<float, 11>;

// A table heading: the lead text, the number of trees, then " trees over
// time span", the first and last year and the number of years.
std::string spanHeading(const std::string& lead, int trees, int first, int last, long long years);

// The heading of the table of one sample size s over first..last.
void writeTableHeader(int s, int first, int last, long long years, AnalysisOutput& out);

// One row for the spreadsheet file of threshold k.
void writeSpreadsheetRow(int s, int first, int last, int k, const RowValues& values,
                         AnalysisOutput& out);

}  // namespace rova

// The head and the closing of the printable report: page heading, method
// text, program dimensions, run title, input file and its span, the echo
// of every option with the percentile ranks, and the list of series with
// the codes of their first and last ten years.
#pragma once

#include <functional>
#include <string>

#include "driver/run_options.h"

namespace rova {

using LineSink = std::function<void(const std::string&)>;

// Writes the four-line page heading; `page` is incremented first.
void runReportHeader(int& page, const std::string& title, const std::string& identification,
                     const LineSink& out);

// Writes the head after the page heading and adds every series' record
// years to the sample depth. REQUIRES: run.percentileRanks computed.
void writeReportHead(RunContext& run, const LineSink& out);

// The closing rule and closing line of the report.
void writeReportClosing(const LineSink& out);

// The name of spreadsheet file n (1 or 2) and of the report.
std::string spreadsheetName(const RunContext& run, int n);
std::string reportName(const RunContext& run);

}  // namespace rova

// The head and the closing of the printable report: page heading, method
// text, program dimensions, run title, input file and its span, the echo
// of every option with the percentile ranks, and the list of series with
// the codes of their first and last ten years.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "records/fire_history.h"
#include "records/identification.h"
#include "records/run_options.h"
#include "report/line_sink.h"

namespace rova {

// Writes the four-line page heading; `page` is incremented first.
void runReportHeader(int& page, const std::string& title, const Identification& identification,
                     const LineSink& out);

// What the head of the report shows.
struct ReportHead {
  const RunOptions& options;
  const FireHistory& data;
  const Identification& identification;  // the session's
  const std::string& inputName;       // as typed or given
  const std::array<int, 4>& ranks;    // the percentile ranks of the options
  // The names the report and the spreadsheet files were given in place of
  // their own in the overwrite dialogue; empty when they have their own.
  std::string renamedReport = {};
  std::vector<std::string> renamedSpreadsheets = {};
};

// Writes the head after the page heading.
void writeReportHead(const ReportHead& head, const LineSink& out);

// The closing rule and closing line of the report.
void writeReportClosing(const LineSink& out);

}  // namespace rova

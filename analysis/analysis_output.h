// The one channel through which the analysis reaches the outside world.
//
// The analysis routines never open files or write to the console; they hand
// finished lines to an AnalysisOutput that the run driver implements (report
// file, the two spreadsheet files, the screen). Tests implement it by
// collecting the lines.
#pragma once

#include <string>

#include "analysis/result_row.h"

namespace rova {

struct AnalysisOutput {
  virtual ~AnalysisOutput() = default;

  // One report line without a carriage-control column: its first character
  // is column 1. An empty string is a blank line. Trailing blanks carry no
  // meaning (the writer trims them).
  virtual void reportLine(const std::string& line) = 0;

  // One row for the spreadsheet file of tree threshold 1 or 2.
  virtual void spreadsheetRow(int threshold, const std::string& row) = 0;

  // One screen record whose first character is the carriage control:
  // '+' writes over the current line, ' ' starts a new line.
  virtual void progress(const std::string& record) = 0;

  // The numbers behind each report row with results (observed or
  // simulated), unrounded, in the order of the rows.
  virtual void resultRow(const ResultRow& row) { (void)row; }
};

}  // namespace rova

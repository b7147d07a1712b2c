// An AnalysisOutput for tests: keeps every line it is given, by channel.
#pragma once

#include <string>
#include <vector>

#include "analysis/analysis_output.h"

namespace rova {

struct RecordedOutput : AnalysisOutput {
  std::vector<std::string> report;
  std::vector<std::string> spreadsheet[3];  // index 1 and 2: the thresholds
  std::vector<std::string> screen;

  void reportLine(const std::string& line) override { report.push_back(line); }
  void spreadsheetRow(int threshold, const std::string& row) override {
    spreadsheet[threshold == 2 ? 2 : 1].push_back(row);
  }
  void progress(const std::string& record) override { screen.push_back(record); }
};

}  // namespace rova

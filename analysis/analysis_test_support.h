// Test helpers of the analysis: an AnalysisOutput that keeps every line it
// is given, by channel, and a builder of small fire histories.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "analysis/analysis_output.h"
#include "records/fire_history.h"

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

// Trees given as code strings starting in `firstYear`; each tree's record
// runs over the characters that are not '.'.
inline FireHistory makeHistory(int firstYear, const std::vector<std::string>& trees) {
  FireHistory h;
  h.seriesCount = static_cast<int>(trees.size());
  for (int s = 1; s <= h.seriesCount; ++s) {
    const std::string& codes = trees[s - 1];
    for (int i = 0; i < static_cast<int>(codes.size()); ++i) {
      const int year = firstYear + i;
      h.code(year, s) = codes[i];
      if (codes[i] == '.') continue;
      h.seriesFirstYear[s] = std::min(h.seriesFirstYear[s], year);
      h.seriesLastYear[s] = std::max(h.seriesLastYear[s], year);
    }
  }
  return h;
}

}  // namespace rova

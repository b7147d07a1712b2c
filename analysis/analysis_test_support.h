// Test helpers of the analysis: a SimulationObserver that keeps every value
// and progress number it is given, and a builder of small fire histories.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "analysis/simulation_result.h"
#include "input/fire_readers.h"
#include "platform/posix_platform.h"
#include "records/fire_history.h"

namespace rova {

struct RecordedResults : SimulationObserver {
  std::vector<SampleSizeResult> results;
  // Per sample size started: the size and the last count of simulations
  // done it reported (0 when it reported none).
  std::vector<std::pair<int, int>> progress;

  void sampleSizeStarted(int sampleSize) override { progress.push_back({sampleSize, 0}); }
  void simulationsDone(int count) override {
    if (!progress.empty()) progress.back().second = count;
  }
  void sampleSizeFinished(const SampleSizeResult& result) override { results.push_back(result); }

  // The rows of every result, in order.
  std::vector<ResultRow> rows() const {
    std::vector<ResultRow> all;
    for (const SampleSizeResult& r : results) all.insert(all.end(), r.rows.begin(), r.rows.end());
    return all;
  }
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
      h.setCode(year, s, codes[i]);
      if (codes[i] == '.') continue;
      h.seriesFirstYear[s] = std::min(h.seriesFirstYear[s], year);
      h.seriesLastYear[s] = std::max(h.seriesLastYear[s], year);
    }
  }
  return h;
}

// Reads one real FHX2 file quietly (its notices are not wanted here);
// false, with the reason in `why`, when it cannot be read.
inline bool readRealFile(const std::string& path, FireHistory& data, std::string& why) {
  class Quiet : public ReadingReporter {
   public:
    void summary(const std::string&) override {}
    void notice(const std::string&) override {}
  };
  PosixFileSystem files;
  auto text = files.openForReading(path, why);
  if (!text) return false;
  Quiet quiet;
  if (RFIRE2(*text, data, quiet).outcome == ReadOutcome::kRead) return true;
  why = path + " is not read as FHX2";
  return false;
}

}  // namespace rova

// What the simulations of one span and sample size give, in numbers, and
// the observer that receives it.
//
// The simulations compute and hand on values; what is made of them (the
// report's tables, the spreadsheet rows, the tidy table, the chart, the
// progress shown on the screen) is the business of the observer the caller
// gives them. The run driver implements it; tests implement it by keeping
// what they are given.
#pragma once

#include <algorithm>
#include <vector>

#include "analysis/result_row.h"

namespace rova {

// The results of one sample size over one span.
struct SampleSizeResult {
  int firstYear = 0;  // the span analysed
  int lastYear = 0;
  int sampleSize = 0;
  // Simulations run: 1 for the observed value; 0 or below when the number
  // of simulations asked for is, and then none ran and `rows` is empty.
  int simulations = 0;
  bool observed = false;  // all trees without replacement: the observed value
  // One row per threshold with a result, threshold 1 first: both for the
  // observed value, otherwise thresholds 1 up to the sample size (a single
  // tree has no threshold-2 row).
  std::vector<ResultRow> rows;
};

// The thresholds that the table of a result has a line for, whether
// simulations ran or not: 2 for the observed value, otherwise the sample
// size up to 2.
inline int thresholdLines(const SampleSizeResult& result) {
  return result.observed ? 2 : std::clamp(result.sampleSize, 0, 2);
}

// Receives the progress and the results of the simulations on the thread
// that called them, sample size after sample size in the order they are
// run (each span's sizes from the largest down).
class SimulationObserver {
 public:
  virtual ~SimulationObserver() = default;

  // A span's simulations begin (simulateSpans calls this for every span it
  // is given, also for one without years or trees).
  virtual void spanStarted(int first, int last) {
    (void)first;
    (void)last;
  }

  // The simulations of a sample size begin.
  virtual void sampleSizeStarted(int sampleSize) { (void)sampleSize; }

  // `count` simulations of the current sample size are done; count is a
  // multiple of 20. A size may report only its last such count.
  virtual void simulationsDone(int count) { (void)count; }

  // The results of the sample size last started.
  virtual void sampleSizeFinished(const SampleSizeResult& result) = 0;
};

}  // namespace rova

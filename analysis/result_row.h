// One result of the analysis in numbers: a threshold's estimate for one
// span and one sample size, unrounded. The report's table rows, the
// spreadsheet rows, the tidy table and the chart are all made from these.
#pragma once

#include <array>

namespace rova {

struct ResultRow {
  int firstYear = 0;      // the span analysed
  int lastYear = 0;
  int sampleSize = 0;     // trees in the sample
  int threshold = 1;      // 1: one selected tree records the fire; 2: also two trees of all
  bool observed = false;  // the value of all trees (one simulation, method D)
  int simulations = 0;    // simulations behind the row
  float mean = 0.0f;
  float sd = 0.0f;
  // mean -/+ 1.960, 2.575 and 3.294 standard deviations, in that order:
  // lower 95, upper 95, lower 99, upper 99, lower 99.9, upper 99.9.
  std::array<float, 6> limits{};
  // The 2.5, 97.5, 0.5 and 99.5 percentiles of the simulated estimates;
  // for the observed value, the mean four times.
  std::array<float, 4> percentiles{};
  // The mean and sd of the same simulations in double precision, from
  // their exact integer sums: equal estimates give sd 0 exactly.
  double meanDouble = 0;
  double sdDouble = 0;
};

}  // namespace rova

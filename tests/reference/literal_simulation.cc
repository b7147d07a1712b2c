#include "tests/reference/literal_simulation.h"

#include <algorithm>
#include <string>
#include <vector>

#include "analysis/statistics.h"

namespace rova::reference {

void selectTrees(RandomGenerator& generator, int n, int s, char method,
                 std::array<int, kMaxSeries + 1>& selection) {
  // The clamps only keep the fixed arrays in bounds for callers that break
  // the contract; within it they change nothing.
  n = std::clamp(n, 0, kMaxSeries);
  s = std::clamp(s, 0, n);

  std::array<float, kMaxSeries + 1> drawValues;
  std::array<int, kMaxSeries + 1> drawKeys;
  for (int i = 1; i <= n; ++i) {
    drawKeys[i] = i;
    drawValues[i] = generator.uniform();
  }

  if (method == 'D') {
    sortRealsWithKeys(&drawValues[1], &drawKeys[1], n, 'D');
    for (int i = 1; i <= s; ++i) selection[i] = drawKeys[i];
  } else {
    // The product of the single-precision draw and n is exact in double.
    const double count = n;
    for (int i = 1; i <= s; ++i) {
      selection[i] = static_cast<int>(static_cast<double>(drawValues[i]) * count) + 1;
    }
  }

  // The companion array only receives the exchanges; it is not read again.
  sortIntsWithKeys(&selection[1], &drawKeys[1], s, 'A');
}


void simulateSampleSize(const FireHistory& data, int first, int last, int sampleSize,
                        const SimulationSettings& settings, const YearTable& fireTreeCount,
                        RandomGenerator& generator, SimulationObserver& observer) {
  if (last < first) return;  // no years: nothing to estimate

  const int n = std::min(data.seriesCount, kMaxSeries);
  const int s = sampleSize;
  observer.sampleSizeStarted(s);

  const bool observed = s == data.seriesCount && letterOf(settings.selectionMode) == 'D';
  const int nsim = observed ? 1 : settings.simulationCount;

  // Only years inside the table are looked up; the others hold no data.
  const int lo = std::max(first, kFirstYearSlot);
  const int hi = std::min(last, kLastYearSlot);
  const long long years = static_cast<long long>(last) - first + 1;
  const float scale = 100.0f / static_cast<float>(years);

  SampleSizeResult result;
  result.firstYear = first;
  result.lastYear = last;
  result.sampleSize = s;
  result.simulations = nsim;
  result.observed = observed;
  if (nsim < 1) {
    observer.sampleSizeFinished(result);
    return;
  }

  // Work arrays, allocated once per call: results[k-1][sim-1] and the
  // per-year counts of the selected trees for both thresholds.
  std::array<std::vector<float>, 2> results{std::vector<float>(nsim, 0.0f),
                                            std::vector<float>(nsim, 0.0f)};
  std::array<std::vector<std::int32_t>, 2> selectedFireCount{
      std::vector<std::int32_t>(kYearSlots, 0), std::vector<std::int32_t>(kYearSlots, 0)};
  std::array<int, kMaxSeries + 1> selection{};

  for (int sim = 1; sim <= nsim; ++sim) {
    if (sim % 20 == 0) observer.simulationsDone(sim);

    for (int k = 0; k < 2; ++k) {
      for (int y = lo; y <= hi; ++y) selectedFireCount[k][yearIndex(y)] = 0;
    }

    reference::selectTrees(generator, n, s, letterOf(settings.selectionMode), selection);

    for (int j = 1; j <= s; ++j) {
      const int t = selection[j];
      if (t < 1 || t > n) continue;  // a tree without record
      const int from = std::max(data.seriesFirstYear[t], lo);
      const int to = std::min(data.seriesLastYear[t], hi);
      for (int y = from; y <= to; ++y) {
        const char c = data.code(y, t);
        if (c >= 'A' && c <= 'Z') {
          ++selectedFireCount[0][yearIndex(y)];
          if (fireTreeCount[yearIndex(y)] >= 2) ++selectedFireCount[1][yearIndex(y)];
        }
      }
      if (letterOf(settings.injuryMode) == 'I') {
        for (int y = from; y <= to; ++y) {
          const char c = data.code(y, t);
          if (c >= 'a' && c <= 'z') {
            ++selectedFireCount[0][yearIndex(y)];
            if (fireTreeCount[yearIndex(y)] >= 2) ++selectedFireCount[1][yearIndex(y)];
          }
        }
      }
    }

    for (int k = 0; k < 2; ++k) {
      float& result = results[k][sim - 1];
      for (int y = lo; y <= hi; ++y) {
        if (selectedFireCount[k][yearIndex(y)] > 0) result = result + 1.0f;
      }
    }
  }

  for (int k = 0; k < 2; ++k) {
    for (float& r : results[k]) r = r * scale;
  }

  for (int k = 1; k <= 2; ++k) {
    std::vector<float>& r = results[k - 1];
    if (!observed && s < k) continue;  // one tree has no threshold-2 row

    // Statistics in simulation order (the float sums depend on the order),
    // then the descending sort for the percentiles.
    const BasicStatistics stats = basicStatistics(r.data(), nsim);
    sortRealsDescending(r.data(), nsim);
    const float mean = stats.mean;
    const float h95 = stats.sd * 1.96f;
    const float h99 = stats.sd * 2.575f;
    const float h999 = stats.sd * 3.294f;

    ResultRow row;
    row.firstYear = first;
    row.lastYear = last;
    row.sampleSize = s;
    row.threshold = k;
    row.observed = observed;
    row.simulations = nsim;
    row.mean = mean;
    row.sd = stats.sd;
    row.limits = {mean - h95, mean + h95, mean - h99, mean + h99, mean - h999, mean + h999};
    if (observed) {
      // One simulation: sd is 0, the limits equal the mean, and the mean
      // stands in for the percentiles.
      row.percentiles = {mean, mean, mean, mean};
    } else {
      for (int p = 0; p < 4; ++p) {
        const int rank = std::clamp(settings.ranks[p], 1, nsim);
        row.percentiles[p] = r[rank - 1];
      }
    }
    result.rows.push_back(row);
  }
  observer.sampleSizeFinished(result);
}

void simulateSpan(const FireHistory& data, int first, int last,
                  const SimulationSettings& settings, const YearTable& fireTreeCount,
                  RandomGenerator& generator, SimulationObserver& observer) {
  for (int size = data.seriesCount; size >= 1; --size) {
    reference::simulateSampleSize(data, first, last, size, settings, fireTreeCount, generator,
                                  observer);
  }
}

}  // namespace rova::reference

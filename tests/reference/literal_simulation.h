// The simulation exactly as its algorithm is written: per simulation, the
// trees are chosen by drawing one number per tree and sorting the draws with
// the quadratic selection sort, every year of every selected tree is looked
// up and counted, and the estimate is the number of years with a count.
//
// Slow, and kept only as the yardstick for the fast simulation of the
// program: the unit tests and the benchmark require both to give the very
// same values (and so write the same report and spreadsheet rows) and to
// leave the generator in the same state.
#pragma once

#include <array>

#include "analysis/random.h"
#include "analysis/simulation.h"
#include "analysis/simulation_result.h"
#include "records/fire_history.h"

namespace rova::reference {

// Draws n numbers and fills selection[1..s] in ascending order: under 'D'
// the keys that the descending selection sort of the draws leaves in front,
// otherwise trunc(draw * n) + 1 of the first s draws.
void selectTrees(RandomGenerator& generator, int n, int s, char method,
                 std::array<int, kMaxSeries + 1>& selection);

// One sample size of one span, every 20th simulation given as progress.
void simulateSampleSize(const FireHistory& data, int first, int last, int sampleSize,
                        const SimulationSettings& settings, const YearTable& fireTreeCount,
                        RandomGenerator& generator, SimulationObserver& observer);

// Sample sizes seriesCount down to 1, as the analysis pass runs them.
void simulateSpan(const FireHistory& data, int first, int last,
                  const SimulationSettings& settings, const YearTable& fireTreeCount,
                  RandomGenerator& generator, SimulationObserver& observer);

}  // namespace rova::reference

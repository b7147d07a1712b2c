// Reduced-sample simulation of fire frequency for one span and sample size.
//
// simulateSampleSize estimates the fire frequency (fire events per century)
// that a random sample of s trees gives, repeats the estimate in many
// simulations and gives mean, standard deviation, confidence limits of
// 1.960, 2.575 and 3.294 standard deviations and percentile limits taken at
// fixed ranks of the sorted estimates. Two estimates are made side by side:
// threshold 1 counts a year when a selected tree records a fire in it;
// threshold 2 also requires at least two trees of the full sample to record
// a fire in it (fireTreeCount >= 2, left by analyseSampleDepth for the span).
//
// The full sample chosen without replacement (method D) would select every tree
// in every simulation, so it runs once and is reported as the observed
// value ("All trees").
//
// Each simulation draws exactly seriesCount numbers from the generator. The
// generator runs on across calls, so the results of a call depend on every
// call before it.
//
// How it is computed. Only whether a selected tree records an event in a
// year matters. Without replacement a year recorded by more trees than a
// sample leaves out is found by every sample of that size, so only the
// other ("open") years are tested, and a size without open years needs no
// draws at all: its simulations all give the same estimate (the generator
// still moves on by the draws they would have made). The open years are
// tested year by year against the chosen trees' bit mask, or by the union
// of the chosen trees' years, whichever is cheaper (simulation_kernel.h).
// The trees are chosen on the integer generator states, which order as
// the draws do, by counting states above a threshold found by
// interpolation; where equal draws straddle the s-th place the selection
// sort decides, as always. Every simulation knows where its draws begin in
// the generator's sequence (see skip() in random.h), so sizes and spans run
// in parallel on several threads and still get exactly the draws they
// would get one after another; the results come out in the same order with
// the same bits. Only the calling thread calls the observer.
//
// The results go to a SimulationObserver as values (simulation_result.h),
// one SampleSizeResult per sample size. Progress is given in numbers: the
// start of each sample size and, when at least 20 simulations run, the last
// multiple of 20 reached, the count a simulation-by-simulation display
// would end that size with. The intermediate counts are not given: a size
// takes milliseconds.
//
// Cases outside the ordinary run:
// - A simulation count of 0 or below: the observed case still runs its one
//   simulation. Every other case runs none and draws nothing: its result
//   has that count in `simulations` and no rows.
// - A span whose last year is before its first has no years: the observer
//   hears nothing and nothing is drawn.
// - Years of the span outside the year table (-2065..2030) hold no data:
//   they count in the span's number of years but are never looked up.
// - A selected series number above seriesCount (a draw of exactly 1.0 with
//   replacement) stands for a tree without record and contributes nothing.
#pragma once

#include <array>
#include <vector>

#include "analysis/random.h"
#include "analysis/simulation_kernel_dispatch.h"
#include "analysis/simulation_result.h"
#include "records/fire_history.h"

namespace rova {

struct SimulationSettings {
  int simulationCount = 0;   // N; at most kMaxSimulations
  SelectionMethod selectionMode = SelectionMethod::kWithoutReplacement;
  InjuryMode injuryMode = InjuryMode::kFireScarsOnly;
  std::array<int, 4> ranks{};  // percentileRanks(simulationCount)
  int threads = 0;             // threads for simulateSpan; 0 or below: one per core
  // The build of the inner loop that runs (all give the same numbers): the
  // fastest, unless the program was told another at its start.
  kernel::Build build = kernel::defaultBuild();
};

// One span of the analysis passes.
struct SimulationSpan {
  int first = 0;
  int last = 0;
};

// REQUIRES: 1 <= sampleSize <= data.seriesCount <= kMaxSeries;
// fireTreeCount comes from analyseSampleDepth for the same span.
// settings.ranks are read only at positions inside 1..nsim (a rank outside
// is moved to the nearest end as a guard).
void simulateSampleSize(const FireHistory& data, int first, int last, int sampleSize,
                        const SimulationSettings& settings, const YearTable& fireTreeCount,
                        RandomGenerator& generator, SimulationObserver& observer);

// All sample sizes of one span, seriesCount down to 1: the same results,
// in the same order, and the same generator state afterwards as simulateSampleSize
// called for each size in turn. Runs on settings.threads threads (one per
// core when 0), fewer when there are fewer sample sizes or a thread cannot
// be started. Returns the number of threads that ran (0 when nothing ran).
// REQUIRES: as simulateSampleSize.
int simulateSpan(const FireHistory& data, int first, int last, const SimulationSettings& settings,
                 const YearTable& fireTreeCount, RandomGenerator& generator,
                 SimulationObserver& observer);

// The spans of the analysis passes one after another: the same results,
// in the same order, and the same generator state afterwards as
// simulateSpan called for each span in turn with the fire-tree counts of
// analyseSampleDepth. The observer hears spanStarted before each span's
// sizes. With several spans, whole spans run in parallel (each span's
// place in the generator's sequence is known in advance); with one, its
// sample sizes do. Returns the number of threads that ran (0 without spans).
int simulateSpans(const FireHistory& data, const std::vector<SimulationSpan>& spans,
                  const SimulationSettings& settings, RandomGenerator& generator,
                  SimulationObserver& observer);

// About how many seconds simulateSpans will take on settings.threads
// threads (one per core when 0), from the simulations it will run: each
// simulation costs about a nanosecond per tree on a processor of 2020s
// desktop speed, and sample sizes at which every sample finds every fire
// year cost next to nothing. An estimate for saying how long a big run
// will take, not a measurement.
double estimatedSimulationSeconds(const FireHistory& data, const std::vector<SimulationSpan>& spans,
                                  const SimulationSettings& settings);

}  // namespace rova

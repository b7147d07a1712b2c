#include "analysis/simulation.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "analysis/sample_adequacy.h"
#include "analysis/statistics.h"
#include "platform/interrupts.h"

namespace rova {
namespace {

constexpr int kMaxWords = kYearSlots / 64;
using YearBits = std::array<std::uint64_t, kMaxWords>;

// The event years of every tree over the span's years inside the table,
// bit y - lo of word (y - lo) / 64. Only a tree's record years count.
class SpanEvents {
 public:
  SpanEvents(const FireHistory& data, int n, int lo, int hi, InjuryMode injuryMode,
             const YearTable& fireTreeCount)
      : words(hi >= lo ? (hi - lo) / 64 + 1 : 0),
        bits_(static_cast<std::size_t>(n) * words, 0) {
    for (int t = 1; t <= n; ++t) {
      std::uint64_t* tree = &bits_[static_cast<std::size_t>(t - 1) * words];
      const int from = std::max(data.seriesFirstYear[t], lo);
      const int to = std::min(data.seriesLastYear[t], hi);
      for (int y = from; y <= to; ++y) {
        if (isFireEvent(data.code(y, t), injuryMode)) {
          tree[(y - lo) / 64] |= std::uint64_t{1} << ((y - lo) % 64);
        }
      }
      for (int w = 0; w < words; ++w) anyTree[w] |= tree[w];
    }
    for (int y = lo; y <= hi; ++y) {
      if (fireTreeCount[yearIndex(y)] >= 2) {
        secondThreshold[(y - lo) / 64] |= std::uint64_t{1} << ((y - lo) % 64);
      }
    }
  }

  const std::uint64_t* tree(int t) const {
    return &bits_[static_cast<std::size_t>(t - 1) * words];
  }

  const int words;
  YearBits anyTree{};          // the union over all trees
  YearBits secondThreshold{};  // years with fireTreeCount >= 2

 private:
  std::vector<std::uint64_t> bits_;
};

// The statistics of one sample size for thresholds 1 and 2, both always
// computed; only the numbers are filled in here.
struct SizeResult {
  int nsim = 0;
  bool observed = false;
  std::array<ResultRow, 2> rows{};
};

// Per-thread work arrays, allocated before the simulations start.
struct Workspace {
  explicit Workspace(int simulations)
      : capacity(std::max(simulations, 1)), results(2 * static_cast<std::size_t>(capacity)) {}
  int capacity;  // simulations per threshold
  std::vector<float> results;
  std::array<float, kMaxSeries> draws{};
  std::array<int, kMaxSeries> chosen{};
};

struct SizeJob {
  int s = 0;
  int nsim = 0;
  bool observed = false;
  std::uint32_t state = 0;  // generator state before the first draw (minstd form)
};

// The fire years of one simulation's trees for thresholds 1 and 2. Once the
// union holds every event year of the span, further trees cannot add any.
void countFireYears(const SpanEvents& events, const int* trees, int count, int& first,
                    int& second) {
  const int words = events.words;
  YearBits seen{};
  for (int j = 0; j < count; ++j) {
    const std::uint64_t* tree = events.tree(trees[j]);
    for (int w = 0; w < words; ++w) seen[w] |= tree[w];
    if ((j & 7) == 7) {
      std::uint64_t missing = 0;
      for (int w = 0; w < words; ++w) missing |= seen[w] ^ events.anyTree[w];
      if (missing == 0) break;
    }
  }
  first = 0;
  second = 0;
  for (int w = 0; w < words; ++w) {
    first += __builtin_popcountll(seen[w]);
    second += __builtin_popcountll(seen[w] & events.secondThreshold[w]);
  }
}

// ---- Closeness to the value of all trees (read by the trees needed) ----
// Counted only when asked for; it reads the estimates and changes nothing
// else of a result.
struct WithinCheck {
  double percent = -1;              // below 0: nothing is counted
  std::array<float, 2> allTrees{};  // thresholds 1 and 2, as a simulation computes them
};

WithinCheck withinCheck(const SpanEvents& events, float scale, double percent) {
  WithinCheck check;
  check.percent = percent;
  int one = 0;
  int two = 0;
  for (int w = 0; w < events.words; ++w) {
    one += __builtin_popcountll(events.anyTree[w]);
    two += __builtin_popcountll(events.anyTree[w] & events.secondThreshold[w]);
  }
  check.allTrees = {static_cast<float>(one) * scale, static_cast<float>(two) * scale};
  return check;
}

void countWithin(const WithinCheck& check, float* const results[2], int nsim, SizeResult& result) {
  for (int k = 0; k < 2; ++k) {
    int within = 0;
    for (int sim = 0; sim < nsim; ++sim)
      within += withinShare(results[k][sim], check.allTrees[k], check.percent);
    result.rows[k].withinCount = check.percent >= 0 ? within : -1;
  }
}
// ---- end of closeness ----

void runSampleSize(const SpanEvents& events, int n, const SizeJob& job, SelectionMethod selectionMode,
                   float scale, const std::array<int, 4>& ranks, const WithinCheck& within,
                   Workspace& ws, SizeResult& result) {
  result.nsim = job.nsim;
  result.observed = job.observed;
  const int nsim = job.nsim;
  if (nsim < 1) return;
  const int s = std::clamp(job.s, 0, n);
  float* results[2] = {ws.results.data(), ws.results.data() + ws.capacity};
  std::uint32_t x = job.state;

  if (selectionMode == SelectionMethod::kWithoutReplacement) {
    for (int sim = 0; sim < nsim; ++sim) {
      x = minstd::fillDraws(x, n, ws.draws.data());
      selectLargestDraws(ws.draws.data(), n, s, ws.chosen.data());
      int one = 0;
      int two = 0;
      countFireYears(events, ws.chosen.data(), s, one, two);
      results[0][sim] = static_cast<float>(one) * scale;
      results[1][sim] = static_cast<float>(two) * scale;
    }
  } else {
    // Only the first s draws choose trees; the other n - s are skipped.
    const std::uint32_t rest = minstd::multiplierPower(n - s);
    const double count = n;
    for (int sim = 0; sim < nsim; ++sim) {
      x = minstd::fillDraws(x, s, ws.draws.data());
      int m = 0;
      for (int i = 0; i < s; ++i) {
        // The product of the single-precision draw and n is exact in double.
        const int t = static_cast<int>(static_cast<double>(ws.draws[i]) * count) + 1;
        ws.chosen[m] = t;
        m += t <= n;  // n + 1: a tree without record
      }
      x = minstd::advance(x, rest);
      int one = 0;
      int two = 0;
      countFireYears(events, ws.chosen.data(), m, one, two);
      results[0][sim] = static_cast<float>(one) * scale;
      results[1][sim] = static_cast<float>(two) * scale;
    }
  }

  if (within.percent >= 0) countWithin(within, results, nsim, result);

  for (int k = 0; k < 2; ++k) {
    // Statistics in simulation order (the float sums depend on the order),
    // then the descending sort for the percentiles.
    const BasicStatistics stats = basicStatistics(results[k], nsim);
    sortRealsDescending(results[k], nsim);
    const float mean = stats.mean;
    const float h95 = stats.sd * 1.96f;
    const float h99 = stats.sd * 2.575f;
    const float h999 = stats.sd * 3.294f;
    ResultRow& row = result.rows[k];
    row.mean = mean;
    row.sd = stats.sd;
    row.limits = {mean - h95, mean + h95, mean - h99, mean + h99, mean - h999, mean + h999};
    if (job.observed) {
      // One simulation: sd is 0, the limits equal the mean, and the mean
      // stands in for the percentiles.
      row.percentiles.fill(mean);
    } else {
      for (int p = 0; p < 4; ++p) {
        const int rank = std::clamp(ranks[p], 1, nsim);
        row.percentiles[p] = results[k][rank - 1];
      }
    }
  }
}

// The value handed on for sample size s: the rows of the thresholds its
// table shows, none when no simulation ran.
SampleSizeResult resultOf(int s, int first, int last, const SizeResult& r) {
  SampleSizeResult result;
  result.firstYear = first;
  result.lastYear = last;
  result.sampleSize = s;
  result.simulations = r.nsim;
  result.observed = r.observed;
  if (r.nsim < 1) return result;
  for (int k = 1; k <= thresholdLines(result); ++k) {
    ResultRow row = r.rows[k - 1];
    row.firstYear = first;
    row.lastYear = last;
    row.sampleSize = s;
    row.threshold = k;
    row.observed = r.observed;
    row.simulations = r.nsim;
    result.rows.push_back(row);
  }
  return result;
}

void handOn(int s, int first, int last, const SizeResult& r, SimulationObserver& observer) {
  observer.sampleSizeStarted(s);
  if (r.nsim >= 20) observer.simulationsDone(r.nsim / 20 * 20);
  observer.sampleSizeFinished(resultOf(s, first, last, r));
}

// The span's years inside the table and its scale to events per century.
struct SpanYears {
  SpanYears(int first, int last)
      : lo(std::max(first, kFirstYearSlot)),
        hi(std::min(last, kLastYearSlot)),
        years(static_cast<long long>(last) - first + 1),
        scale(100.0f / static_cast<float>(years)) {}
  int lo;
  int hi;
  long long years;
  float scale;
};

SizeJob jobFor(const FireHistory& data, int s, const SimulationSettings& settings) {
  SizeJob job;
  job.s = s;
  job.observed = s == data.seriesCount && settings.selectionMode == SelectionMethod::kWithoutReplacement;
  job.nsim = job.observed ? 1 : settings.simulationCount;
  return job;
}

}  // namespace

void simulateSampleSize(const FireHistory& data, int first, int last, int sampleSize,
                        const SimulationSettings& settings, const YearTable& fireTreeCount,
                        RandomGenerator& generator, SimulationObserver& observer) {
  if (last < first) return;  // no years: nothing to estimate
  const int n = std::min(data.seriesCount, kMaxSeries);
  const SpanYears span(first, last);
  const SpanEvents events(data, n, span.lo, span.hi, settings.injuryMode, fireTreeCount);
  SizeJob job = jobFor(data, sampleSize, settings);
  job.state = minstd::continuation(generator.state());
  Workspace ws(job.nsim);
  SizeResult result;
  runSampleSize(events, n, job, settings.selectionMode, span.scale, settings.ranks,
                withinCheck(events, span.scale, settings.withinPercent), ws, result);
  handOn(sampleSize, first, last, result, observer);
  generator.skip(static_cast<long long>(std::max(job.nsim, 0)) * n);
}

int simulateSpan(const FireHistory& data, int first, int last, const SimulationSettings& settings,
                 const YearTable& fireTreeCount, RandomGenerator& generator,
                 SimulationObserver& observer) {
  if (last < first) return 0;  // no years: nothing to estimate
  const int n = std::min(data.seriesCount, kMaxSeries);
  if (n < 1) return 0;
  const SpanYears span(first, last);
  const SpanEvents events(data, n, span.lo, span.hi, settings.injuryMode, fireTreeCount);
  const WithinCheck within = withinCheck(events, span.scale, settings.withinPercent);

  // Where each sample size's draws begin in the generator's sequence.
  std::vector<SizeJob> jobs(n + 1);
  const std::uint32_t start = minstd::continuation(generator.state());
  long long drawn = 0;
  for (int s = n; s >= 1; --s) {
    jobs[s] = jobFor(data, s, settings);
    jobs[s].state = minstd::advance(start, minstd::multiplierPower(drawn));
    drawn += static_cast<long long>(std::max(jobs[s].nsim, 0)) * n;
  }

  std::vector<SizeResult> results(n + 1);
  std::vector<char> done(n + 1, 0);
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<int> nextSize{n};  // the largest sizes, the longest jobs, go first

  const int requested =
      settings.threads > 0 ? settings.threads
                           : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  const int wanted = std::clamp(requested, 1, n);
  std::vector<Workspace> spaces(wanted, Workspace(settings.simulationCount));

  // Takes the next sample size and runs it; false when none is left.
  auto work = [&](Workspace& ws) {
    const int s = nextSize.fetch_sub(1);
    if (s < 1) return false;
    runSampleSize(events, n, jobs[s], settings.selectionMode, span.scale, settings.ranks, within,
                  ws, results[s]);
    {
      const std::lock_guard<std::mutex> lock(mutex);
      done[s] = 1;
    }
    finished.notify_all();
    return true;
  };

  // Helpers stop taking sizes and are joined however this function is left.
  struct Helpers {
    std::vector<std::thread> threads;
    std::atomic<int>& next;
    ~Helpers() {
      next.store(0);
      for (std::thread& t : threads) t.join();
    }
  } helpers{{}, nextSize};
  helpers.threads.reserve(wanted - 1);
  {
    // The helpers never take an interrupt: its handler runs on this thread.
    const InterruptsBlocked blocked;
    for (int i = 1; i < wanted; ++i) {
      try {
        helpers.threads.emplace_back([&work, &spaces, i] {
          while (work(spaces[i])) {
          }
        });
      } catch (const std::system_error&) {
        break;  // run on the threads that did start
      }
    }
  }

  // Hands on the finished sizes in order, from the largest down; with
  // `wait` it waits for each one until all are handed on.
  int unwritten = n;
  auto writeFinished = [&](bool wait) {
    while (unwritten >= 1) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        if (wait) {
          finished.wait(lock, [&] { return done[unwritten] != 0; });
        } else if (!done[unwritten]) {
          return;
        }
      }
      handOn(unwritten, first, last, results[unwritten], observer);
      --unwritten;
    }
  };
  while (work(spaces[0])) writeFinished(false);
  writeFinished(true);

  generator.skip(drawn);
  return 1 + static_cast<int>(helpers.threads.size());
}

}  // namespace rova

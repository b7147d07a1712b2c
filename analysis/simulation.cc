#include "analysis/simulation.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <numeric>
#include <system_error>
#include <thread>
#include <vector>

#include "analysis/sample_adequacy.h"
#include "analysis/sample_depth.h"
#include "analysis/simulation_kernel_dispatch.h"
#include "analysis/statistics.h"
#include "platform/interrupts.h"

namespace rova {

void kernel::chooseExactly(const std::uint32_t* keys, int n, int s, std::uint64_t* chosen) {
  std::array<float, kMaxSeries> draws;
  std::array<int, kMaxSeries> trees;
  for (int i = 0; i < n; ++i) {
    float value;
    std::memcpy(&value, &keys[i], sizeof value);
    draws[i] = value * minstd::kTwoToMinus31;
  }
  selectLargestDraws(draws.data(), n, s, trees.data());
  std::fill(chosen, chosen + kernel::kTreeWords, 0);
  for (int j = 0; j < s; ++j) {
    const int t = trees[j] - 1;
    chosen[t / 64] |= std::uint64_t{1} << (t % 64);
  }
}

namespace {

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

// The events of one span in the form the inner loop reads (see
// simulation_kernel.h): its event years, those recorded by the fewest
// trees first, each with the trees that record it, and each tree's event
// years. Only a tree's record years count.
class SpanEvents {
 public:
  SpanEvents(const FireHistory& data, int n, const SpanYears& span, InjuryMode injuryMode,
             const YearTable& fireTreeCount)
      : trees_(n) {
    struct EventYear {
      int year;
      int recorders;
      std::array<std::uint64_t, kernel::kTreeWords> trees;
    };
    std::vector<EventYear> years;
    if (span.hi >= span.lo) {
      const int count = span.hi - span.lo + 1;
      std::vector<std::array<std::uint64_t, kernel::kTreeWords>> byYear(count);
      std::vector<int> recorders(count, 0);
      for (int t = 1; t <= n; ++t) {
        const int from = std::max(data.seriesFirstYear[t], span.lo);
        const int to = std::min(data.seriesLastYear[t], span.hi);
        for (int y = from; y <= to; ++y) {
          if (isFireEvent(data.code(y, t), injuryMode)) {
            byYear[y - span.lo][(t - 1) / 64] |= std::uint64_t{1} << ((t - 1) % 64);
            ++recorders[y - span.lo];
          }
        }
      }
      for (int i = 0; i < count; ++i) {
        if (recorders[i] > 0) years.push_back({span.lo + i, recorders[i], byYear[i]});
      }
    }
    std::stable_sort(years.begin(), years.end(), [](const EventYear& a, const EventYear& b) {
      return a.recorders < b.recorders;
    });
    const int e = static_cast<int>(years.size());
    words_ = (e + 63) / 64;
    treeYears_.assign(static_cast<std::size_t>(n) * words_, 0);
    yearTrees_.assign(static_cast<std::size_t>(e) * kernel::kTreeWords, 0);
    second_.assign(std::max(words_, 1), 0);
    recorders_.resize(e);
    secondBefore_.assign(e + 1, 0);
    for (int i = 0; i < e; ++i) {
      const EventYear& y = years[i];
      recorders_[i] = y.recorders;
      std::copy(y.trees.begin(), y.trees.end(), &yearTrees_[std::size_t{kernel::kTreeWords} * i]);
      for (int t = 0; t < n; ++t) {
        if ((y.trees[t / 64] >> (t % 64)) & 1u)
          treeYears_[static_cast<std::size_t>(t) * words_ + i / 64] |= std::uint64_t{1} << (i % 64);
      }
      const bool second = fireTreeCount[yearIndex(y.year)] >= 2;
      if (second) second_[i / 64] |= std::uint64_t{1} << (i % 64);
      secondBefore_[i + 1] = secondBefore_[i] + second;
    }
  }

  kernel::SpanModel model() const {
    kernel::SpanModel m;
    m.trees = trees_;
    m.eventYears = eventYears();
    m.words = words_;
    m.treeYears = treeYears_.data();
    m.yearTrees = yearTrees_.data();
    m.second = second_.data();
    return m;
  }

  int eventYears() const { return static_cast<int>(recorders_.size()); }
  int secondYears() const { return secondBefore_.back(); }

  // The event years that samples of s trees do not all find: all of them
  // with replacement; without, those recorded by no more trees than a
  // sample leaves out (n - s). They come first in the order kept here.
  int openYears(int s, SelectionMethod method) const {
    if (method == SelectionMethod::kWithReplacement) return eventYears();
    return static_cast<int>(std::upper_bound(recorders_.begin(), recorders_.end(), trees_ - s) -
                            recorders_.begin());
  }
  // Threshold-2 years among the first `open` event years.
  int secondAmongOpen(int open) const { return secondBefore_[open]; }

 private:
  int trees_;
  int words_ = 0;
  std::vector<std::uint64_t> treeYears_;
  std::vector<std::uint64_t> yearTrees_;
  std::vector<std::uint64_t> second_;
  std::vector<int> recorders_;     // per event year, ascending
  std::vector<int> secondBefore_;  // threshold-2 years among the first i
};

// The statistics of one sample size for thresholds 1 and 2, both always
// computed; only the numbers are filled in here.
struct SizeResult {
  int nsim = 0;
  bool observed = false;
  std::array<ResultRow, 2> rows{};
};

// The rows of the last sample size whose simulations all found the same
// years: in a run of many short segments most sizes are such, and their
// rows depend only on what is compared here.
struct FixedOutcome {
  bool valid = false;
  int nsim = 0;
  int decided[2] = {0, 0};
  float scale = 0;
  std::array<ResultRow, 2> rows{};
};

// Per-thread work arrays, grown as needed.
struct Workspace {
  std::vector<int> found[2];
  std::vector<float> values;
  std::vector<int> histogram;
  FixedOutcome fixed;
  void reserve(int simulations) {
    const std::size_t n = static_cast<std::size_t>(std::max(simulations, 1));
    if (values.size() < n) {
      values.resize(n);
      found[0].resize(n);
      found[1].resize(n);
    }
  }
};

struct SizeJob {
  int s = 0;
  int nsim = 0;
  bool observed = false;
  std::uint32_t state = 0;  // generator state before the first draw (minstd form)
};

SizeJob jobFor(const FireHistory& data, int s, const SimulationSettings& settings) {
  SizeJob job;
  job.s = s;
  job.observed = s == data.seriesCount && settings.selectionMode == SelectionMethod::kWithoutReplacement;
  job.nsim = job.observed ? 1 : settings.simulationCount;
  return job;
}

// Every sample size's job of a span whose draws begin after state
// `start`, index s (1..n): each size's draws follow those of the larger
// sizes, n for every simulation.
std::vector<SizeJob> jobsOfSpan(const FireHistory& data, int n, const SimulationSettings& settings,
                                std::uint32_t start) {
  std::vector<SizeJob> jobs(n + 1);
  long long drawn = 0;
  for (int s = n; s >= 1; --s) {
    jobs[s] = jobFor(data, s, settings);
    jobs[s].state = minstd::advance(start, minstd::multiplierPower(drawn));
    drawn += static_cast<long long>(std::max(jobs[s].nsim, 0)) * n;
  }
  return jobs;
}

// Draws a span takes: n for every simulation of every size.
long long drawsOfSpan(const FireHistory& data, int n, const SimulationSettings& settings) {
  long long drawn = 0;
  for (int s = n; s >= 1; --s) drawn += static_cast<long long>(std::max(jobFor(data, s, settings).nsim, 0)) * n;
  return drawn;
}

// The mean and sd in double precision from the counts: the sums of counts
// and of their squares are exact in 64-bit integers.
void doubleStatistics(const int* found, int decided, int nsim, long long years, ResultRow& row) {
  long long sum = 0, squares = 0;
  for (int sim = 0; sim < nsim; ++sim) {
    const long long c = decided + found[sim];
    sum += c;
    squares += c * c;
  }
  const double scale = 100.0 / static_cast<double>(years);
  const double n = nsim;
  row.meanDouble = static_cast<double>(sum) / n * scale;
  if (nsim < 2) return;
  // n * sum of squares stays below 2^63: at most 4096 * 4096 * 4096^2.
  const double spread = static_cast<double>(nsim * squares - sum * sum) / (n * (n - 1));
  row.sdDouble = std::sqrt(std::max(spread, 0.0)) * scale;
}

// Mean, sd, limits and percentiles of one threshold from the found-year
// counts of its simulations (`decided` years are found by every one).
// Estimates are counts times the scale, so they sort as the counts do:
// the percentiles are read from a count of counts.
void rowFromCounts(const int* found, int decided, int open, int nsim, bool observed, float scale,
                   long long years, const std::array<int, 4>& ranks,
                   Workspace& ws, ResultRow& row) {
  float* values = ws.values.data();
  for (int sim = 0; sim < nsim; ++sim) values[sim] = static_cast<float>(decided + found[sim]) * scale;
  doubleStatistics(found, decided, nsim, years, row);
  // Statistics in simulation order: the float sums depend on the order.
  const MeanAndSd stats = meanAndSd(values, nsim);
  const float mean = stats.mean;
  const float h95 = stats.sd * 1.96f;
  const float h99 = stats.sd * 2.575f;
  const float h999 = stats.sd * 3.294f;
  row.mean = mean;
  row.sd = stats.sd;
  row.limits = {mean - h95, mean + h95, mean - h99, mean + h99, mean - h999, mean + h999};
  if (observed) {
    // One simulation: sd is 0, the limits equal the mean, and the mean
    // stands in for the percentiles.
    row.percentiles.fill(mean);
    return;
  }
  ws.histogram.assign(static_cast<std::size_t>(open) + 1, 0);
  for (int sim = 0; sim < nsim; ++sim) ++ws.histogram[found[sim]];
  for (int p = 0; p < 4; ++p) {
    // The rank-th largest estimate.
    const int rank = std::clamp(ranks[p], 1, nsim);
    int seen = 0;
    int c = open;
    while (seen + ws.histogram[c] < rank) seen += ws.histogram[c--];
    row.percentiles[p] = static_cast<float>(decided + c) * scale;
  }
}

// Everything one span's sizes share.
struct SpanWork {
  SpanWork(const FireHistory& data, int n, int first, int last, const SimulationSettings& settings,
           const YearTable& fireTreeCount)
      : first(first), last(last), years(first, last),
        events(data, n, years, settings.injuryMode, fireTreeCount),
        model(events.model()),
        stride(minstd::multiplierPower(n)) {}
  int first;
  int last;
  SpanYears years;
  SpanEvents events;
  kernel::SpanModel model;
  std::uint32_t stride;  // 48271^n: from one simulation's first draw to the next's
};

void runSampleSize(const SpanWork& span, const SizeJob& job, const SimulationSettings& settings,
                   kernel::Build build, Workspace& ws, SizeResult& result) {
  result.nsim = job.nsim;
  result.observed = job.observed;
  const int nsim = job.nsim;
  if (nsim < 1) return;
  const int n = span.model.trees;
  const int s = std::clamp(job.s, 1, n);
  ws.reserve(nsim);
  const int open = span.events.openYears(s, settings.selectionMode);
  const int decided[2] = {span.events.eventYears() - open,
                          span.events.secondYears() - span.events.secondAmongOpen(open)};
  // When every simulation finds the same years there is nothing to draw,
  // and rows made before for the same counts, simulations and scale serve
  // again.
  FixedOutcome& f = ws.fixed;
  const bool fixed = open == 0 && !job.observed;
  if (fixed && f.valid && f.nsim == nsim && f.decided[0] == decided[0] &&
      f.decided[1] == decided[1] && f.scale == span.years.scale) {
    result.rows = f.rows;
    return;
  }
  if (open == 0) {
    std::fill(ws.found[0].begin(), ws.found[0].begin() + nsim, 0);
    std::fill(ws.found[1].begin(), ws.found[1].begin() + nsim, 0);
  } else {
    kernel::SizeTask task;
    task.sampleSize = s;
    task.simulations = nsim;
    task.withReplacement = settings.selectionMode == SelectionMethod::kWithReplacement;
    task.state = job.state;
    task.stride = span.stride;
    task.open = open;
    // Year by year costs a few operations per open year; the union, some
    // eight per chosen tree plus one per word of open years.
    task.byUnion = static_cast<long long>(s) * ((open + 63) / 64 + 7) < 3LL * open;
    task.first = ws.found[0].data();
    task.second = ws.found[1].data();
    kernel::run(build, span.model, task);
  }
  for (int k = 0; k < 2; ++k) {
    rowFromCounts(ws.found[k].data(), decided[k], open, nsim, job.observed, span.years.scale,
                  span.years.years, settings.ranks, ws, result.rows[k]);
  }
  if (fixed) f = FixedOutcome{true, nsim, {decided[0], decided[1]}, span.years.scale,
                              result.rows};
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

// Runs `work(unit, workspace)` for units 0..units-1 on up to `wanted`
// threads and `handOn(unit)` for each, in order, on the calling thread. At
// most `window` units past the last handed on are worked on, which bounds
// the results kept. Returns the threads that ran.
template <typename Work, typename HandOn>
int runOrdered(int units, int wanted, int window, Work work, HandOn handOnUnit) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<char> done(units, 0);
  int handed = 0;                // guarded by mutex
  std::atomic<int> next{0};      // the next unit to take
  std::atomic<bool> stop{false};
  std::vector<Workspace> spaces(std::max(wanted, 1));

  // A helper takes the next unit, waits until it lies in the window, runs
  // it; until none is left or the caller leaves.
  auto helper = [&](Workspace& ws) {
    for (;;) {
      const int u = next.fetch_add(1);
      if (u >= units) return;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stop.load() || u < handed + window; });
        if (stop.load()) return;
      }
      work(u, ws);
      {
        const std::lock_guard<std::mutex> lock(mutex);
        done[u] = 1;
      }
      changed.notify_all();
    }
  };

  struct Helpers {
    std::vector<std::thread> threads;
    std::atomic<bool>& stop;
    std::condition_variable& changed;
    std::mutex& mutex;
    ~Helpers() {
      {
        const std::lock_guard<std::mutex> lock(mutex);
        stop.store(true);
      }
      changed.notify_all();
      for (std::thread& t : threads) t.join();
    }
  } helpers{{}, stop, changed, mutex};
  helpers.threads.reserve(std::max(wanted - 1, 0));
  {
    // The helpers never take an interrupt: its handler runs on this thread.
    const InterruptsBlocked blocked;
    for (int i = 1; i < wanted; ++i) {
      try {
        helpers.threads.emplace_back([&helper, &spaces, i] { helper(spaces[i]); });
      } catch (const std::system_error&) {
        break;  // run on the threads that did start
      }
    }
  }

  // The calling thread hands on what is finished, in order, and otherwise
  // works on units itself, taking one only inside the window.
  for (int h = 0; h < units;) {
    bool ready;
    {
      const std::lock_guard<std::mutex> lock(mutex);
      ready = done[h] != 0;
    }
    if (ready) {
      handOnUnit(h);
      {
        const std::lock_guard<std::mutex> lock(mutex);
        handed = ++h;
      }
      changed.notify_all();
      continue;
    }
    int u = next.load();
    if (u < units && u < h + window && next.compare_exchange_strong(u, u + 1)) {
      work(u, spaces[0]);
      {
        const std::lock_guard<std::mutex> lock(mutex);
        done[u] = 1;
      }
      continue;
    }
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [&] { return done[h] != 0 || (next.load() < units && next.load() < h + window); });
  }
  return 1 + static_cast<int>(helpers.threads.size());
}

int threadsFor(const SimulationSettings& settings, int units) {
  const int requested =
      settings.threads > 0 ? settings.threads
                           : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  return std::clamp(requested, 1, std::max(units, 1));
}

// One span, its sample sizes spread over the threads.
int simulateOneSpan(const FireHistory& data, int first, int last, const SimulationSettings& settings,
                    const YearTable& fireTreeCount, std::uint32_t start, SimulationObserver& observer) {
  const int n = std::min(data.seriesCount, kMaxSeries);
  const SpanWork span(data, n, first, last, settings, fireTreeCount);
  const std::vector<SizeJob> jobs = jobsOfSpan(data, n, settings, start);
  std::vector<SizeResult> results(n + 1);
  // Unit u is sample size n - u: the largest sizes, the longest jobs, first.
  return runOrdered(
      n, threadsFor(settings, n), n,
      [&](int u, Workspace& ws) {
        runSampleSize(span, jobs[n - u], settings, settings.build, ws, results[n - u]);
      },
      [&](int u) { handOn(n - u, first, last, results[n - u], observer); });
}

}  // namespace

void simulateSampleSize(const FireHistory& data, int first, int last, int sampleSize,
                        const SimulationSettings& settings, const YearTable& fireTreeCount,
                        RandomGenerator& generator, SimulationObserver& observer) {
  if (last < first) return;  // no years: nothing to estimate
  const int n = std::min(data.seriesCount, kMaxSeries);
  const SpanWork span(data, n, first, last, settings, fireTreeCount);
  SizeJob job = jobFor(data, sampleSize, settings);
  job.state = minstd::continuation(generator.state());
  Workspace ws;
  SizeResult result;
  runSampleSize(span, job, settings, settings.build, ws, result);
  handOn(sampleSize, first, last, result, observer);
  generator.skip(static_cast<long long>(std::max(job.nsim, 0)) * n);
}

int simulateSpan(const FireHistory& data, int first, int last, const SimulationSettings& settings,
                 const YearTable& fireTreeCount, RandomGenerator& generator,
                 SimulationObserver& observer) {
  if (last < first) return 0;  // no years: nothing to estimate
  const int n = std::min(data.seriesCount, kMaxSeries);
  if (n < 1) return 0;
  const int threads = simulateOneSpan(data, first, last, settings, fireTreeCount,
                                      minstd::continuation(generator.state()), observer);
  generator.skip(drawsOfSpan(data, n, settings));
  return threads;
}

int simulateSpans(const FireHistory& data, const std::vector<SimulationSpan>& spans,
                  const SimulationSettings& settings, RandomGenerator& generator,
                  SimulationObserver& observer) {
  const int n = std::min(data.seriesCount, kMaxSeries);
  const int count = static_cast<int>(spans.size());
  if (count == 0) return 0;
  // Each span with years and trees takes the same number of draws; where
  // its draws begin is known before any is made.
  const long long perSpan = n >= 1 ? drawsOfSpan(data, n, settings) : 0;
  const std::uint32_t perSpanPower = minstd::multiplierPower(perSpan);
  std::vector<std::uint32_t> starts(count);
  std::vector<char> runs(count);
  std::uint32_t state = minstd::continuation(generator.state());
  long long spansRun = 0;
  for (int i = 0; i < count; ++i) {
    starts[i] = state;
    runs[i] = n >= 1 && spans[i].last >= spans[i].first;
    if (runs[i]) {
      state = minstd::advance(state, perSpanPower);
      ++spansRun;
    }
  }

  if (count == 1) {
    // One span: its sample sizes run in parallel.
    observer.spanStarted(spans[0].first, spans[0].last);
    int threads = 0;
    if (runs[0]) {
      YearTable fireTreeCount;
      countFireTrees(data, spans[0].first, spans[0].last, settings.injuryMode, fireTreeCount);
      threads = simulateOneSpan(data, spans[0].first, spans[0].last, settings, fireTreeCount,
                                starts[0], observer);
    }
    generator.skip(perSpan * spansRun);
    return threads;
  }

  // Several spans: whole spans run in parallel. The fire-tree counts of a
  // year do not depend on the span, so one table serves every span.
  YearTable fireTreeCount;
  countFireTrees(data, kFirstYearSlot, kLastYearSlot, settings.injuryMode, fireTreeCount);
  const int threads = threadsFor(settings, count);
  const int window = std::max(4 * threads, 16);
  std::vector<std::vector<SizeResult>> results(window);
  const int threadsRun = runOrdered(
      count, threads, window,
      [&](int u, Workspace& ws) {
        std::vector<SizeResult>& slot = results[u % window];
        slot.assign(n + 1, SizeResult{});
        if (!runs[u]) return;
        const SpanWork span(data, n, spans[u].first, spans[u].last, settings, fireTreeCount);
        const std::vector<SizeJob> jobs = jobsOfSpan(data, n, settings, starts[u]);
        for (int s = n; s >= 1; --s) runSampleSize(span, jobs[s], settings, settings.build, ws, slot[s]);
      },
      [&](int u) {
        observer.spanStarted(spans[u].first, spans[u].last);
        if (!runs[u]) return;
        for (int s = n; s >= 1; --s) handOn(s, spans[u].first, spans[u].last, results[u % window][s], observer);
      });
  generator.skip(perSpan * spansRun);
  return threadsRun;
}

double estimatedSimulationSeconds(const FireHistory& data, const std::vector<SimulationSpan>& spans,
                                  const SimulationSettings& settings) {
  // Seconds per tree and simulation when a few fire years are tested on
  // their own and when the sample is chosen whole (measured on the
  // benchmark), and per sample size for its statistics and output.
  constexpr double kFewOpenYears = 0.55e-9;
  constexpr double kManyOpenYears = 1.15e-9;
  constexpr double kPerSize = 2e-6;
  const int n = std::min(data.seriesCount, kMaxSeries);
  if (n < 1 || spans.empty()) return 0;
  YearTable fireTreeCount;
  countFireTrees(data, kFirstYearSlot, kLastYearSlot, settings.injuryMode, fireTreeCount);
  double seconds = 0;
  std::vector<int> recorders;
  for (const SimulationSpan& span : spans) {
    if (span.last < span.first) continue;
    recorders.clear();
    for (int y = std::max(span.first, kFirstYearSlot); y <= std::min(span.last, kLastYearSlot); ++y) {
      if (fireTreeCount[yearIndex(y)] > 0) recorders.push_back(fireTreeCount[yearIndex(y)]);
    }
    std::sort(recorders.begin(), recorders.end());
    for (int s = n; s >= 1; --s) {
      const SizeJob job = jobFor(data, s, settings);
      seconds += kPerSize;
      // The fire years that samples of s trees do not all find.
      const long long open =
          settings.selectionMode == SelectionMethod::kWithReplacement
              ? static_cast<long long>(recorders.size())
              : std::upper_bound(recorders.begin(), recorders.end(), n - s) - recorders.begin();
      if (open > 0 && job.nsim > 0)
        seconds += (open <= 2 ? kFewOpenYears : kManyOpenYears) * n * job.nsim;
    }
  }
  return seconds / threadsFor(settings, static_cast<int>(spans.size()) > 1 ? 1 << 20 : n);
}

}  // namespace rova

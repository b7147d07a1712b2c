// Speed of the fast simulation against the literal one, on synthetic data
// sets generated here with fixed seeds:
//   W1  200 trees, 1000 years, about 8 % fire-scar years per tree,
//       4096 simulations over the whole span, without (D) and with (R)
//       replacement;
//   W2  the same trees, 1000 simulations, segments of 100 years with lag 10,
//       passed over as the analysis passes advance;
//   W3  40 trees, 300 years, 1000 simulations;
//   W4  200 trees over the whole year table (-2065..2030), 100 simulations,
//       segments of 3 years with lag 1 (4094 passes).
// For each workload the fast path is timed by the benchmark library, the
// literal one once in the same run; the counters show both times, their
// ratio, the threads the fast path ran on and whether both gave values that
// print as identical report and spreadsheet rows and left the generator in
// the same state.
//
// The literal simulation of all W2 or W4 segments takes minutes, so by
// default both paths are compared on their first ten segments (the fast
// path is also timed over all of them); --full-reference compares them on
// every segment.
// --threads=N sets the fast path's threads (default: one per core);
// --no-literal times the fast path alone (no comparison); --build=portable,
// avx2 or avx512 chooses the inner loop's build (default: the fastest).
// --write-fhx=FILE writes W1's data as an FHX2 file and exits, for timing
// whole runs of the program; --write-fhx-w3=FILE and --write-fhx-w4=FILE
// write W3's and W4's data.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "analysis/random.h"
#include "analysis/sample_depth.h"
#include "analysis/sample_adequacy.h"
#include "analysis/simulation.h"
#include "analysis/simulation_result.h"
#include "analysis/statistics.h"
#include "records/fire_history.h"
#include "report/simulation_report.h"
#include "tests/reference/literal_simulation.h"

namespace rova {
namespace {

// Keeps the results; the rows are printed from them after the timing.
struct Recorded : SimulationObserver {
  std::vector<SampleSizeResult> results;
  void sampleSizeFinished(const SampleSizeResult& result) override { results.push_back(result); }
};

// The report lines and the spreadsheet rows of thresholds 1 and 2 that the
// results print as.
struct Printed {
  std::vector<std::string> report;
  std::vector<std::string> spreadsheet[3];
};

Printed printed(const Recorded& rows) {
  Printed p;
  for (const SampleSizeResult& r : rows.results) {
    writeSimulationTable(r, [&p](const std::string& line) { p.report.push_back(line); });
    for (const ResultRow& row : r.rows) {
      p.spreadsheet[row.threshold == 2 ? 2 : 1].push_back(spreadsheetRow(row));
    }
  }
  return p;
}

// Trees of a site with its own fire years: each year burns with
// probability 0.16 and a recording tree scars in a fire year with
// probability 0.5 (about 8 % scar years per tree); one year in a hundred
// holds another injury. Records start in the first 30 % of the years.
FireHistory syntheticSite(int trees, int years, int firstYear, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> u(0.0, 1.0);
  std::vector<bool> fireYear(years);
  for (int y = 0; y < years; ++y) fireYear[y] = u(random) < 0.16;
  FireHistory h;
  h.seriesCount = trees;
  h.firstYear = firstYear;
  h.lastYear = firstYear + years - 1;
  for (int t = 1; t <= trees; ++t) {
    const int from = static_cast<int>(u(random) * years * 0.3);
    for (int y = 0; y < years; ++y) {
      char c = '.';
      if (y >= from) {
        c = '|';
        if (fireYear[y] && u(random) < 0.5) c = static_cast<char>('A' + random() % 26);
        else if (u(random) < 0.01) c = static_cast<char>('a' + random() % 26);
      }
      h.setCode(firstYear + y, t, c);
    }
    h.seriesFirstYear[t] = firstYear + from;
    h.seriesLastYear[t] = firstYear + years - 1;
  }
  return h;
}

void writeFhx2(const FireHistory& h, const std::string& name) {
  std::ofstream out(name);
  out << "FHX2 FORMAT\n" << h.firstYear << " " << h.seriesCount << " 3\n";
  for (int k = 0; k < 3; ++k) {
    for (int t = 1; t <= h.seriesCount; ++t) {
      char id[8];
      std::snprintf(id, sizeof id, "%03d", t % 1000);
      out << id[k];
    }
    out << "\n";
  }
  out << "\n";
  for (int y = h.firstYear; y <= h.lastYear; ++y) {
    for (int t = 1; t <= h.seriesCount; ++t) out << h.code(y, t);
    out << " " << y << "\n";
  }
}

struct Workload {
  std::string name;
  const FireHistory* data;
  int simulations;
  char method;
  int segmentLength;  // 0: the whole span
  int segmentLag;
  std::size_t referenceSpans;  // spans compared with the literal path; 0: all
};

// The spans the analysis passes go through, segments advanced as they are.
std::vector<std::pair<int, int>> spansOf(const Workload& w) {
  const long long processFirst = w.data->firstYear;
  const long long processLast = w.data->lastYear;
  std::vector<std::pair<int, int>> spans;
  long long first = processFirst;
  long long last = processLast;
  if (w.segmentLength > 0) last = std::min<long long>(w.segmentLength + first - 1, processLast);
  for (;;) {
    spans.push_back({static_cast<int>(first), static_cast<int>(last)});
    if (w.segmentLength <= 0) break;
    const long long t = first + w.segmentLag;
    first = std::min(t - (t % w.segmentLag), t);
    last = std::min<long long>(w.segmentLength + first - 1, processLast);
    if (last - first <= w.segmentLag) break;
  }
  return spans;
}

struct Outcome {
  double seconds = 0;
  int threads = 0;
  Recorded rows;
  std::int32_t finalState = 0;
};

int gThreads = 0;
bool gFullReference = false;
bool gNoLiteral = false;
kernel::Build gBuild = kernel::fastest();

// The settings of a workload's simulations.
SimulationSettings settingsOf(const Workload& w) {
  SimulationSettings settings;
  settings.simulationCount = w.simulations;
  settings.selectionMode = selectionMethodFrom(w.method);
  settings.injuryMode = InjuryMode::kFireScarsOnly;
  settings.ranks = percentileRanks(w.simulations);
  settings.threads = gThreads;
  settings.build = gBuild;
  return settings;
}

// The fast path as the program runs it: every span (all, or the first
// `count`) in one call, spans in parallel.
Outcome runFast(const Workload& w, std::size_t count) {
  const SimulationSettings settings = settingsOf(w);
  std::vector<SimulationSpan> spans;
  for (auto [first, last] : spansOf(w)) spans.push_back({first, last});
  if (count > 0 && count < spans.size()) spans.resize(count);
  Outcome o;
  RandomGenerator generator;
  generator.seed(12345 & 65535);
  const auto start = std::chrono::steady_clock::now();
  o.threads = simulateSpans(*w.data, spans, settings, generator, o.rows);
  o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  o.finalState = generator.state();
  return o;
}

// The literal simulation, span after span with each span's fire-tree
// counts from the sample-depth analysis.
Outcome runLiteral(const Workload& w, std::size_t count) {
  const SimulationSettings settings = settingsOf(w);
  std::vector<std::pair<int, int>> spans = spansOf(w);
  if (count > 0 && count < spans.size()) spans.resize(count);
  YearTable depth{};
  for (int t = 1; t <= w.data->seriesCount; ++t) {
    for (int y = w.data->seriesFirstYear[t]; y <= w.data->seriesLastYear[t]; ++y) {
      ++depth[yearIndex(y)];
    }
  }
  Outcome o;
  o.threads = 1;
  RandomGenerator generator;
  generator.seed(12345 & 65535);
  YearTable fires{};
  const auto start = std::chrono::steady_clock::now();
  for (auto [first, last] : spans) {
    analyseSampleDepth(*w.data, first, last, depth, fires, settings.injuryMode);
    reference::simulateSpan(*w.data, first, last, settings, fires, generator, o.rows);
  }
  o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  o.finalState = generator.state();
  return o;
}

// The exact curves of both thresholds and the Chao2 asymptote with its
// extrapolation over every span of a workload: what --csv and --plot add
// to a run. Best of three, in seconds.
double exactCost(const Workload& w) {
  const SelectionMethod method = selectionMethodFrom(w.method);
  double best = 1e300;
  for (int round = 0; round < 3; ++round) {
    const auto start = std::chrono::steady_clock::now();
    double sink = 0;
    for (auto [first, last] : spansOf(w)) {
      const SpanIncidence span = spanIncidence(*w.data, first, last, InjuryMode::kFireScarsOnly);
      for (int threshold : {1, 2}) sink += exactCurve(span, threshold, method).back().mean;
      sink += chao2OfYears(span.trees, span.recorders[0]).estimate;
    }
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    benchmark::DoNotOptimize(sink);
  }
  return best;
}

struct Summary {
  double exact = 0;  // exactCost
  double literal = 0;
  double fastSame = 0;  // the fast path over the spans the literal one ran
  double fastAll = 0;
  std::size_t spans = 0;
  std::size_t comparedSpans = 0;
  int threads = 0;
  bool sameSheets = false;
  bool sameReport = false;
  bool sameState = false;
};
std::map<std::string, Summary> gSummaries;
std::vector<std::string> gOrder;

void benchWorkload(benchmark::State& state, const Workload* w) {
  const std::size_t compared = gFullReference ? 0 : w->referenceSpans;
  double best = 1e300;
  Outcome fast;
  for (auto _ : state) {
    fast = runFast(*w, 0);
    best = std::min(best, fast.seconds);
    state.SetIterationTime(fast.seconds);
  }
  Summary& sum = gSummaries[w->name];
  if (gNoLiteral) {
    state.counters["threads"] = fast.threads;
    return;
  }
  if (sum.literal == 0) {
    const Outcome literal = runLiteral(*w, compared);
    const Outcome fastPart = compared == 0 ? fast : runFast(*w, compared);
    sum.literal = literal.seconds;
    sum.fastSame = compared == 0 ? best : fastPart.seconds;
    const Printed fastRows = printed(fastPart.rows);
    const Printed literalRows = printed(literal.rows);
    sum.sameSheets = fastRows.spreadsheet[1] == literalRows.spreadsheet[1] &&
                     fastRows.spreadsheet[2] == literalRows.spreadsheet[2] &&
                     !literalRows.spreadsheet[1].empty();
    sum.sameReport = fastRows.report == literalRows.report;
    sum.sameState = fastPart.finalState == literal.finalState;
    sum.spans = spansOf(*w).size();
    sum.comparedSpans = compared == 0 ? sum.spans : std::min(compared, sum.spans);
    sum.exact = exactCost(*w);
    gOrder.push_back(w->name);
  }
  sum.fastAll = best;
  sum.threads = fast.threads;
  state.counters["literal_s"] = sum.literal;
  state.counters["ratio"] = sum.literal / sum.fastSame;
  state.counters["threads"] = sum.threads;
  state.counters["identical"] = sum.sameSheets && sum.sameReport && sum.sameState;
}

}  // namespace
}  // namespace rova

int main(int argc, char** argv) {
  using namespace rova;
  std::vector<char*> rest{argv[0]};
  std::string fhxName;
  std::string fhxW3Name;
  std::string fhxW4Name;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--threads=", 10) == 0) {
      gThreads = std::atoi(argv[i] + 10);
    } else if (std::strcmp(argv[i], "--full-reference") == 0) {
      gFullReference = true;
    } else if (std::strcmp(argv[i], "--no-literal") == 0) {
      gNoLiteral = true;
    } else if (std::strncmp(argv[i], "--build=", 8) == 0) {
      const std::string name = argv[i] + 8;
      gBuild = name == "portable" ? kernel::Build::kPortable
               : name == "avx2"   ? kernel::Build::kAvx2
                                  : kernel::Build::kAvx512;
      if (!kernel::available(gBuild)) {
        std::fprintf(stderr, "this processor cannot run the %s build\n", name.c_str());
        return 2;
      }
    } else if (std::strncmp(argv[i], "--write-fhx=", 12) == 0) {
      fhxName = argv[i] + 12;
    } else if (std::strncmp(argv[i], "--write-fhx-w3=", 15) == 0) {
      fhxW3Name = argv[i] + 15;
    } else if (std::strncmp(argv[i], "--write-fhx-w4=", 15) == 0) {
      fhxW4Name = argv[i] + 15;
    } else {
      rest.push_back(argv[i]);
    }
  }
  static const FireHistory site200 = syntheticSite(200, 1000, 1001, 20240601u);
  static const FireHistory site40 = syntheticSite(40, 300, 1691, 7u);
  static const FireHistory siteTable =
      syntheticSite(200, kYearSlots, kFirstYearSlot, 20261208u);
  if (!fhxName.empty() || !fhxW3Name.empty() || !fhxW4Name.empty()) {
    if (!fhxName.empty()) writeFhx2(site200, fhxName);
    if (!fhxW3Name.empty()) writeFhx2(site40, fhxW3Name);
    if (!fhxW4Name.empty()) writeFhx2(siteTable, fhxW4Name);
    return 0;
  }

  static const Workload workloads[] = {
      {"W1_D", &site200, 4096, 'D', 0, 0, 0},
      {"W1_R", &site200, 4096, 'R', 0, 0, 0},
      {"W2_D", &site200, 1000, 'D', 100, 10, 10},
      {"W3_D", &site40, 1000, 'D', 0, 0, 0},
      {"W4_D", &siteTable, 100, 'D', 3, 1, 10},
  };
  for (const Workload& w : workloads) {
    benchmark::RegisterBenchmark(w.name.c_str(), benchWorkload, &w)
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::printf("\n%-6s %7s %13s %12s %8s %8s %10s  %s\n", "run", "spans", "literal s",
              "fast s", "ratio", "threads", "fast all", "identical rows (sheets/report/state)");
  for (const std::string& name : gOrder) {
    const Summary& s = gSummaries[name];
    char spans[32];
    std::snprintf(spans, sizeof spans, "%zu/%zu", s.comparedSpans, s.spans);
    std::printf("%-6s %7s %13.3f %12.4f %7.0fx %8d %9.4fs  %s/%s/%s\n", name.c_str(), spans,
                s.literal, s.fastSame, s.literal / s.fastSame, s.threads, s.fastAll,
                s.sameSheets ? "yes" : "NO", s.sameReport ? "yes" : "NO",
                s.sameState ? "yes" : "NO");
  }
  // The exact curves and the asymptote must cost less than a tenth of the
  // simulations they accompany.
  std::printf("\n%-6s %12s %12s %10s\n", "run", "exact s", "fast all", "share");
  for (const std::string& name : gOrder) {
    const Summary& s = gSummaries[name];
    std::printf("%-6s %12.4f %11.4fs %9.1f%%\n", name.c_str(), s.exact, s.fastAll,
                100.0 * s.exact / s.fastAll);
  }
  return 0;
}

// The speed of the adequacy table: one span's exact curves, subsamples,
// shares (counted whole where they can be) and Chao2, for both methods.
// The targets, 1000 subsamples per size on two cores: a 200-tree x
// 1000-year span in under a second; with the composite and interval
// statistics of two filters, pgm.fhx (41 trees x 459 years) in under
// 0.5 s and the 200 x 1000 span in under 5 s.
//
//   rova_adequacy_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/random.h"
#include "analysis/sample_adequacy.h"
#include "input/fire_readers.h"
#include "platform/posix_platform.h"

namespace rova {
namespace {

// `trees` trees over 1001..1000 + years, all recording throughout; each
// scarred in a year with its own probability between 2 and 12 %, so that
// fire years are found by a few trees or many, as on a real site.
FireHistory syntheticSite(int trees, int years, int seed) {
  RandomGenerator g;
  g.seed(seed);
  FireHistory h;
  h.seriesCount = trees;
  for (int t = 1; t <= trees; ++t) {
    const float p = 0.02f + 0.10f * g.uniform();
    for (int y = 0; y < years; ++y) h.setCode(1001 + y, t, g.uniform() < p ? 'A' : '|');
    h.seriesFirstYear[t] = 1001;
    h.seriesLastYear[t] = 1000 + years;
  }
  h.firstYear = 1001;
  h.lastYear = 1000 + years;
  return h;
}

void adequacyOf(benchmark::State& state, const FireHistory& h, int first, int last, char method,
                bool intervals) {
  AdequacyCriterion criterion{10, 95, 1000};
  if (intervals) criterion.composites = {{25, 2, 1}, {0, 1, 1}};
  int trees = 0;
  for (auto _ : state) {
    const SpanAdequacy a = spanAdequacy(h, first, last, InjuryMode::kFireScarsOnly,
                                        selectionMethodFrom(method), FrameRule::kData, criterion, 12345);
    benchmark::DoNotOptimize(a.sizes[0].back().mean);
    trees = a.trees;
  }
  state.counters["subsamples"] = 1000.0 * trees;
}

void adequacyOfOneSpan(benchmark::State& state, int trees, int years, char method, bool intervals) {
  const FireHistory h = syntheticSite(trees, years, 4711);
  adequacyOf(state, h, 1001, 1000 + years, method, intervals);
}

class Quiet : public ReadingReporter {
 public:
  void summary(const std::string&) override {}
  void notice(const std::string&) override {}
};

// A real site, pgm.fhx (41 trees, 1555..2013), from the shared data
// folder named by ROVA_FHX_DIR (default /work/shared/data/fhx); skipped
// when it is not there.
void adequacyOfPgm(benchmark::State& state, char method, bool intervals) {
  const char* dir = std::getenv("ROVA_FHX_DIR");
  const std::string path = std::string(dir ? dir : "/work/shared/data/fhx") + "/pgm.fhx";
  PosixFileSystem files;
  std::string error;
  auto text = files.openForReading(path, error);
  FireHistory h;
  Quiet quiet;
  if (!text || RFIRE2(*text, h, quiet).outcome != ReadOutcome::kRead) {
    state.SkipWithError(("cannot read " + path).c_str());
    return;
  }
  adequacyOf(state, h, h.firstYear, h.lastYear, method, intervals);
}

}  // namespace
}  // namespace rova

int main(int argc, char** argv) {
  using rova::adequacyOfOneSpan;
  using rova::adequacyOfPgm;
  for (bool intervals : {false, true}) {
    // With intervals: the composite and interval statistics of filters
    // 25,2,1 and 0,1,1 too. Targets: pgm.fhx under 0.5 s, 200 x 1000 under 5 s.
    const std::string what = intervals ? "adequacy+intervals/" : "adequacy/";
    for (char method : {'D', 'R'}) {
      const std::string m(1, method);
      benchmark::RegisterBenchmark((what + "200x1000/" + m).c_str(),
                                   [=](benchmark::State& s) { adequacyOfOneSpan(s, 200, 1000, method, intervals); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
      benchmark::RegisterBenchmark((what + "41x459/" + m).c_str(),
                                   [=](benchmark::State& s) { adequacyOfOneSpan(s, 41, 459, method, intervals); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
      benchmark::RegisterBenchmark((what + "pgm/" + m).c_str(),
                                   [=](benchmark::State& s) { adequacyOfPgm(s, method, intervals); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

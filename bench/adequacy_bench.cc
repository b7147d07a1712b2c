// The speed of the adequacy table: one span's exact curves, subsamples,
// shares (counted whole where they can be) and Chao2, for both methods.
// The target: a 200-tree x 1000-year span with 1000 subsamples per size
// in under a second on two cores.
//
//   rova_adequacy_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "analysis/random.h"
#include "analysis/sample_adequacy.h"

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

void adequacyOfOneSpan(benchmark::State& state, int trees, int years, char method) {
  const FireHistory h = syntheticSite(trees, years, 4711);
  const AdequacyCriterion criterion{10, 95, 1000};
  for (auto _ : state) {
    const SpanAdequacy a = spanAdequacy(h, 1001, 1000 + years, InjuryMode::kFireScarsOnly,
                                        selectionMethodFrom(method), FrameRule::kData, criterion, 12345);
    benchmark::DoNotOptimize(a.sizes[0].back().mean);
  }
  state.counters["subsamples"] = 1000.0 * trees;
}

}  // namespace
}  // namespace rova

int main(int argc, char** argv) {
  using rova::adequacyOfOneSpan;
  for (char method : {'D', 'R'}) {
    const std::string m(1, method);
    benchmark::RegisterBenchmark(("adequacy/200x1000/" + m).c_str(),
                                 [method](benchmark::State& s) { adequacyOfOneSpan(s, 200, 1000, method); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("adequacy/41x459/" + m).c_str(),
                                 [method](benchmark::State& s) { adequacyOfOneSpan(s, 41, 459, method); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// The builds of the simulations' inner loop against each other and against
// the selection sort: every build the processor has must count exactly as
// the portable one, also where equal draws straddle the s-th place.
#include "analysis/simulation_kernel_dispatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "analysis/random.h"
#include "analysis/statistics.h"

namespace rova::kernel {
namespace {

// A span's events in the loop's form, made from which tree records which
// event year (recorders[e][t]); the years are taken in the order given.
struct Model {
  Model(int trees, const std::vector<std::vector<bool>>& recorders, std::mt19937& random) {
    const int e = static_cast<int>(recorders.size());
    words = (e + 63) / 64;
    treeYears.assign(static_cast<std::size_t>(trees) * words, 0);
    yearTrees.assign(static_cast<std::size_t>(e) * kTreeWords, 0);
    second.assign(std::max(words, 1), 0);
    for (int y = 0; y < e; ++y) {
      for (int t = 0; t < trees; ++t) {
        if (!recorders[y][t]) continue;
        yearTrees[std::size_t{kTreeWords} * y + t / 64] |= std::uint64_t{1} << (t % 64);
        treeYears[static_cast<std::size_t>(t) * words + y / 64] |= std::uint64_t{1} << (y % 64);
      }
      if (random() % 3 != 0) second[y / 64] |= std::uint64_t{1} << (y % 64);
    }
    model.trees = trees;
    model.eventYears = e;
    model.words = words;
    model.treeYears = treeYears.data();
    model.yearTrees = yearTrees.data();
    model.second = second.data();
  }
  int words;
  std::vector<std::uint64_t> treeYears;
  std::vector<std::uint64_t> yearTrees;
  std::vector<std::uint64_t> second;
  SpanModel model;

  bool records(int t, int y) const {
    return (yearTrees[std::size_t{kTreeWords} * y + t / 64] >> (t % 64)) & 1u;
  }
  bool counts2(int y) const { return (second[y / 64] >> (y % 64)) & 1u; }
};

// Event years with 1..trees recorders each (at least one), fewest first.
Model randomModel(std::mt19937& random, int trees, int years) {
  std::vector<std::vector<bool>> recorders(years, std::vector<bool>(trees, false));
  std::vector<int> counts(years);
  for (int& k : counts) k = 1 + static_cast<int>(random() % trees);
  std::sort(counts.begin(), counts.end());
  for (int y = 0; y < years; ++y) {
    std::vector<int> order(trees);
    for (int t = 0; t < trees; ++t) order[t] = t;
    std::shuffle(order.begin(), order.end(), random);
    for (int j = 0; j < counts[y]; ++j) recorders[y][order[j]] = true;
  }
  return Model(trees, recorders, random);
}

std::vector<Build> builds() {
  std::vector<Build> all;
  for (Build b : {Build::kPortable, Build::kAvx2, Build::kAvx512})
    if (available(b)) all.push_back(b);
  return all;
}

// Runs `task` (its outputs unset) with the portable build, then with
// every build the processor has: each must give the portable counts, which
// must be possible ones (at most the open years, threshold 2 within 1).
::testing::AssertionResult everyBuildCountsAsThePortableOne(const SpanModel& model, SizeTask task) {
  std::vector<int> first[2], second[2];
  for (int k = 0; k < 2; ++k) {
    first[k].assign(task.simulations, -1);
    second[k].assign(task.simulations, -1);
  }
  task.first = first[0].data();
  task.second = second[0].data();
  entry(Build::kPortable).run(model, task);
  for (int sim = 0; sim < task.simulations; ++sim) {
    if (first[0][sim] < second[0][sim] || first[0][sim] > task.open || second[0][sim] < 0)
      return ::testing::AssertionFailure() << "portable counts " << first[0][sim] << ", "
                                           << second[0][sim] << " of " << task.open;
  }
  for (Build b : builds()) {
    task.first = first[1].data();
    task.second = second[1].data();
    entry(b).run(model, task);
    if (first[1] != first[0] || second[1] != second[0])
      return ::testing::AssertionFailure() << nameOf(b) << " differs from the portable build";
  }
  return ::testing::AssertionSuccess();
}

TEST(SimulationKernel, EveryBuildCountsAsThePortableOne) {
  std::mt19937 random(2026);
  for (int round = 0; round < 300; ++round) {
    const int trees = 1 + static_cast<int>(random() % 200);
    const int years = 1 + static_cast<int>(random() % (round % 10 == 0 ? 300 : 20));
    const Model m = randomModel(random, trees, years);
    SizeTask task;
    task.withReplacement = random() % 3 == 0;
    task.sampleSize = task.withReplacement ? 1 + static_cast<int>(random() % trees)
                                           : (trees > 1 ? 1 + static_cast<int>(random() % (trees - 1)) : 0);
    if (task.sampleSize == 0) continue;  // one tree without replacement is never simulated
    task.simulations = 1 + static_cast<int>(random() % 60);
    task.state = 1 + static_cast<std::uint32_t>(random() % 2147483646u);
    task.stride = minstd::multiplierPower(trees);
    task.open = 1 + static_cast<int>(random() % years);
    task.byUnion = random() % 2 == 0;
    ASSERT_TRUE(everyBuildCountsAsThePortableOne(m.model, task)) << "round " << round;
  }
}

// Every sample size of a few full-sized spans, 40 simulations each:
// enough draws that the s-th largest falls outside the windows the fast
// builds try first, in both windows, and on their edges, many times over.
TEST(SimulationKernel, EverySampleSizeOfLargeSpansCountsAsThePortableOne) {
  std::mt19937 random(14);
  for (int trees : {17, 64, 113, 200}) {
    const Model m = randomModel(random, trees, 40);
    for (int s = 1; s < trees; ++s) {
      SizeTask task;
      task.sampleSize = s;
      task.simulations = 40;
      task.state = 1 + static_cast<std::uint32_t>(random() % 2147483646u);
      task.stride = minstd::multiplierPower(trees);
      task.open = 3 + static_cast<int>(random() % 38);
      task.byUnion = s % 2 == 0;
      ASSERT_TRUE(everyBuildCountsAsThePortableOne(m.model, task)) << trees << " trees, s " << s;
    }
  }
}

// The open years the first s trees of the descending selection sort of the
// draws find, and those of them that count for threshold 2.
void selectionSortCount(const Model& m, const std::uint32_t* states, int s, int open, int& first,
                        int& second) {
  const int n = m.model.trees;
  std::vector<float> draws(n);
  std::vector<int> keys(n);
  for (int i = 0; i < n; ++i) {
    draws[i] = minstd::draw(states[i]);
    keys[i] = i;
  }
  sortRealsWithKeys(draws.data(), keys.data(), n, 'D');
  first = 0;
  second = 0;
  for (int y = 0; y < open; ++y) {
    bool found = false;
    for (int j = 0; j < s; ++j) found = found || m.records(keys[j], y);
    first += found;
    second += found && m.counts2(y);
  }
}

TEST(SimulationKernel, EqualDrawsAtTheSthPlaceAreChosenAsTheSelectionSortChooses) {
  // States within 64 of each other near the top give one draw; such a
  // group placed across the s-th place leaves the choice to the order in
  // which the selection sort exchanges them.
  std::mt19937 random(7);
  int straddled = 0;
  for (int round = 0; round < 400; ++round) {
    const int trees = 3 + static_cast<int>(random() % 198);
    const int years = 1 + static_cast<int>(random() % 8);
    const Model m = randomModel(random, trees, years);
    alignas(64) std::uint32_t states[kStateSlots] = {};
    for (int i = 0; i < trees; ++i) states[i] = 1 + static_cast<std::uint32_t>(random() % 2000000000u);
    const int s = 1 + static_cast<int>(random() % (trees - 1));
    // The s-th largest draw, then a group of equal draws around it.
    std::vector<std::uint32_t> sorted(states, states + trees);
    std::sort(sorted.rbegin(), sorted.rend());
    const std::uint32_t base = (sorted[s - 1] | 127u) - 127u;  // a draw's first state
    const int group = 2 + static_cast<int>(random() % std::min(trees - 1, 5));
    std::vector<int> members(trees);
    for (int t = 0; t < trees; ++t) members[t] = t;
    std::shuffle(members.begin(), members.end(), random);
    for (int j = 0; j < group; ++j) {
      states[members[j]] = base + static_cast<std::uint32_t>(random() % 64);
    }
    SizeTask task;
    task.sampleSize = s;
    for (int open : {1, 2, years}) {
      task.open = std::min(open, years);
      for (bool byUnion : {false, true}) {
        task.byUnion = byUnion;
        int expectedFirst = 0;
        int expectedSecond = 0;
        selectionSortCount(m, states, s, task.open, expectedFirst, expectedSecond);
        for (Build b : builds()) {
          int first = -1;
          int second = -1;
          entry(b).countFromStates(m.model, task, states, &first, &second);
          ASSERT_EQ(first, expectedFirst) << nameOf(b) << ", round " << round << ", open " << task.open;
          ASSERT_EQ(second, expectedSecond) << nameOf(b) << ", round " << round;
        }
      }
    }
    // Count the rounds in which the group really straddles the s-th place.
    std::vector<float> draws(trees);
    for (int i = 0; i < trees; ++i) draws[i] = minstd::draw(states[i]);
    std::vector<float> d = draws;
    std::sort(d.rbegin(), d.rend());
    straddled += d[s - 1] == d[s];
  }
  EXPECT_GT(straddled, 100);  // the case under test did occur
}

TEST(SimulationKernel, TheFastestBuildIsOneThisProcessorHas) {
  EXPECT_TRUE(available(fastest()));
  EXPECT_TRUE(available(Build::kPortable));
}

}  // namespace
}  // namespace rova::kernel

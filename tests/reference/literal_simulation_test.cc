// The literal choice of trees: n draws a simulation, the descending
// selection sort of the draws without replacement, trunc(draw * n) + 1 of
// the first s draws with replacement.
#include "tests/reference/literal_simulation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "analysis/random.h"
#include "records/option_letters.h"

namespace rova {
namespace {

// The draws that selectTrees will make, taken from a copy of the generator.
std::vector<float> nextDraws(RandomGenerator g, int n) {
  std::vector<float> draws(n);
  for (float& d : draws) d = g.uniform();
  return draws;
}

TEST(LiteralSelection, WithoutReplacementFullSampleIsEveryTree) {
  RandomGenerator g;
  g.seed(4321);
  std::array<int, kMaxSeries + 1> selection{};
  for (int n : {1, 2, 7, kMaxSeries}) {
    reference::selectTrees(g, n, n, 'D', selection);
    for (int i = 1; i <= n; ++i) ASSERT_EQ(selection[i], i) << "n " << n;
  }
}

TEST(LiteralSelection, WithoutReplacementTakesTheLargestDraws) {
  RandomGenerator g;
  g.seed(999);
  std::array<int, kMaxSeries + 1> selection{};
  const int n = 9;
  for (int s : {1, 3, 8}) {
    const std::vector<float> draws = nextDraws(g, n);
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i) order[i] = i + 1;
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return draws[a - 1] > draws[b - 1]; });
    std::vector<int> expected(order.begin(), order.begin() + s);
    std::sort(expected.begin(), expected.end());

    RandomGenerator reference = g;
    for (int i = 0; i < n; ++i) reference.uniform();
    reference::selectTrees(g, n, s, 'D', selection);
    EXPECT_EQ(g.state(), reference.state()) << "exactly n draws";
    for (int i = 0; i < s; ++i) EXPECT_EQ(selection[i + 1], expected[i]) << "s " << s;
  }
}

TEST(LiteralSelection, WithReplacementScalesTheFirstDrawsAndMayRepeat) {
  RandomGenerator g;
  g.seed(2024);
  std::array<int, kMaxSeries + 1> selection{};
  const int n = 5;
  const int s = 3;
  bool sawRepeat = false;
  for (int call = 0; call < 200; ++call) {
    const std::vector<float> draws = nextDraws(g, n);
    std::vector<int> expected;
    for (int i = 0; i < s; ++i) expected.push_back(static_cast<int>(draws[i] * 5.0) + 1);
    std::sort(expected.begin(), expected.end());

    RandomGenerator reference = g;
    for (int i = 0; i < n; ++i) reference.uniform();
    reference::selectTrees(g, n, s, 'R', selection);
    ASSERT_EQ(g.state(), reference.state()) << "n draws even when s < n";
    for (int i = 0; i < s; ++i) ASSERT_EQ(selection[i + 1], expected[i]);
    sawRepeat = sawRepeat || expected[0] == expected[1] || expected[1] == expected[2];
  }
  EXPECT_TRUE(sawRepeat);
}

TEST(LiteralSelection, TheLetterRSelectsWithReplacementAndDWithout) {
  std::array<int, kMaxSeries + 1> withR{};
  std::array<int, kMaxSeries + 1> other{};
  std::array<int, kMaxSeries + 1> withD{};
  bool differs = false;
  for (std::int32_t seed = 1; seed <= 20; ++seed) {
    RandomGenerator a;
    RandomGenerator b;
    RandomGenerator c;
    a.seed(seed);
    b.seed(seed);
    c.seed(seed);
    reference::selectTrees(a, 6, 4, 'R', withR);
    reference::selectTrees(b, 6, 4, letterOf(selectionMethodFrom('R')), other);
    reference::selectTrees(c, 6, 4, letterOf(selectionMethodFrom('D')), withD);
    for (int i = 1; i <= 4; ++i) ASSERT_EQ(other[i], withR[i]) << "seed " << seed;
    for (int i = 1; i <= 4; ++i) differs = differs || withD[i] != withR[i];
  }
  EXPECT_TRUE(differs);
}

TEST(LiteralSelection, DrawOfExactlyOneNamesTheSlotAfterTheLastTree) {
  RandomGenerator g;
  g.seed(570515015);  // the first draw is 1.0
  std::array<int, kMaxSeries + 1> selection{};
  reference::selectTrees(g, 3, 3, 'R', selection);
  EXPECT_EQ(selection[3], 4);
  EXPECT_LE(selection[2], 3);

  g.seed(570515015);
  reference::selectTrees(g, 3, 1, 'D', selection);
  EXPECT_EQ(selection[1], 1);  // the largest draw belongs to tree 1
}

}  // namespace
}  // namespace rova

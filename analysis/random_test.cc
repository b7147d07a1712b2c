#include "analysis/random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace rova {
namespace {

constexpr std::int64_t kModulus = 2147483647;

// 48271 * v mod (2^31 - 1) in 1..2^31 - 1, by 64-bit arithmetic (a
// multiple of the modulus stays at the modulus itself).
std::int64_t nextState(std::int64_t v) {
  std::int64_t r = (48271 * v) % kModulus;
  return r <= 0 ? r + kModulus : r;
}

TEST(RandomGenerator, FirstValueFromTheUnseededState) {
  RandomGenerator g;
  EXPECT_EQ(g.state(), 1);
  const float u = g.uniform();
  EXPECT_EQ(g.state(), 48271);
  EXPECT_EQ(u, static_cast<float>(std::ldexp(48271.0, -31)));
}

TEST(RandomGenerator, FollowsTheMinimalStandardSequence) {
  // The standard library's minstd_rand uses the same multiplier and modulus.
  for (std::int32_t seed : {1, 2, 12345, 65535, 2147483646}) {
    RandomGenerator g;
    g.seed(seed);
    std::minstd_rand reference(static_cast<std::uint_fast32_t>(seed));
    for (int i = 0; i < 10000; ++i) {
      const float u = g.uniform();
      const auto expected = reference();
      ASSERT_EQ(static_cast<std::uint_fast32_t>(g.state()), expected) << "seed " << seed;
      ASSERT_EQ(u, static_cast<float>(static_cast<double>(expected) * std::ldexp(1.0, -31)));
    }
  }
  RandomGenerator g;
  for (int i = 0; i < 10000; ++i) g.uniform();
  EXPECT_EQ(g.state(), 399268537);  // the well-known check value after 10000 steps
}

TEST(RandomGenerator, SeedZeroAndNegativeStates) {
  RandomGenerator g;
  g.seed(0);
  EXPECT_EQ(g.state(), -1);
  g.uniform();
  EXPECT_EQ(g.state(), kModulus - 48271);

  for (std::int32_t seed : {-1, -5, -44488, -44489, -2147483647, INT32_MIN}) {
    g.seed(seed);
    EXPECT_EQ(g.state(), seed);
    const float u = g.uniform();
    EXPECT_EQ(g.state(), nextState(seed)) << "seed " << seed;
    EXPECT_GT(u, 0.0f);
    EXPECT_LE(u, 1.0f);
  }
}

TEST(RandomGenerator, MultipleOfTheModulusIsAFixedPoint) {
  // Never reached from the seeds 0..65535 the program uses, but the
  // generator must stay defined: the state sticks at 2^31 - 1, giving 1.0.
  for (std::int32_t seed : {2147483647, -2147483647}) {
    RandomGenerator g;
    g.seed(seed);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(g.uniform(), 1.0f);
      EXPECT_EQ(g.state(), kModulus);
    }
  }
}

TEST(RandomGenerator, ValueOfExactlyOneAtTheTopOfTheRange) {
  RandomGenerator g;
  g.seed(570515015);  // next state 2^31 - 64
  EXPECT_EQ(g.uniform(), 1.0f);
  EXPECT_EQ(g.state(), 2147483584);

  g.seed(247665088);  // next state 2^31 - 2
  EXPECT_EQ(g.uniform(), 1.0f);
  EXPECT_EQ(g.state(), 2147483646);

  g.seed(818180103);  // next state 2^31 - 65
  EXPECT_LT(g.uniform(), 1.0f);
  EXPECT_EQ(g.state(), 2147483583);
}

TEST(RandomGenerator, SeedsEqualInTheirLow16BitsGiveEqualSequences) {
  RandomGenerator a;
  RandomGenerator b;
  a.seed(1);
  b.seed(65537 & 65535);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(a.uniform(), b.uniform());
}

// The draws that selectTrees will make, taken from a copy of the generator.
std::vector<float> nextDraws(RandomGenerator g, int n) {
  std::vector<float> draws(n);
  for (float& d : draws) d = g.uniform();
  return draws;
}

TEST(RandomSelection, WithoutReplacementFullSampleIsEveryTree) {
  RandomGenerator g;
  g.seed(4321);
  std::array<int, kMaxSeries + 1> selection{};
  for (int n : {1, 2, 7, kMaxSeries}) {
    selectTrees(g, n, n, 'D', selection);
    for (int i = 1; i <= n; ++i) ASSERT_EQ(selection[i], i) << "n " << n;
  }
}

TEST(RandomSelection, WithoutReplacementTakesTheLargestDraws) {
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
    selectTrees(g, n, s, 'D', selection);
    EXPECT_EQ(g.state(), reference.state()) << "exactly n draws";
    for (int i = 0; i < s; ++i) EXPECT_EQ(selection[i + 1], expected[i]) << "s " << s;
  }
}

TEST(RandomSelection, WithReplacementScalesTheFirstDrawsAndMayRepeat) {
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
    selectTrees(g, n, s, 'R', selection);
    ASSERT_EQ(g.state(), reference.state()) << "n draws even when s < n";
    for (int i = 0; i < s; ++i) ASSERT_EQ(selection[i + 1], expected[i]);
    sawRepeat = sawRepeat || expected[0] == expected[1] || expected[1] == expected[2];
  }
  EXPECT_TRUE(sawRepeat);
}

TEST(RandomSelection, AnyLetterOtherThanDSelectsWithReplacement) {
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
    selectTrees(a, 6, 4, 'R', withR);
    selectTrees(b, 6, 4, 'd', other);
    selectTrees(c, 6, 4, 'D', withD);
    for (int i = 1; i <= 4; ++i) ASSERT_EQ(other[i], withR[i]) << "seed " << seed;
    for (int i = 1; i <= 4; ++i) differs = differs || withD[i] != withR[i];
  }
  EXPECT_TRUE(differs);
}

TEST(RandomSelection, DrawOfExactlyOneNamesTheSlotAfterTheLastTree) {
  RandomGenerator g;
  g.seed(570515015);  // the first draw is 1.0
  std::array<int, kMaxSeries + 1> selection{};
  selectTrees(g, 3, 3, 'R', selection);
  EXPECT_EQ(selection[3], 4);
  EXPECT_LE(selection[2], 3);

  g.seed(570515015);
  selectTrees(g, 3, 1, 'D', selection);
  EXPECT_EQ(selection[1], 1);  // the largest draw belongs to tree 1
}

}  // namespace
}  // namespace rova

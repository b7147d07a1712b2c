#include "analysis/statistics.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace rova {
namespace {

TEST(Sort, RealsDescendingAndAscending) {
  std::vector<float> x{3, 1, 2};
  sortReals(x.data(), 3, 'D');
  EXPECT_EQ(x, (std::vector<float>{3, 2, 1}));
  x = {3, 1, 2};
  sortReals(x.data(), 3, 'A');
  EXPECT_EQ(x, (std::vector<float>{1, 2, 3}));
  // Only the exact letter 'A' means ascending.
  for (char order : {'a', 'X', ' '}) {
    x = {1, 3, 2, -4};
    sortReals(x.data(), 4, order);
    EXPECT_EQ(x, (std::vector<float>{3, 2, 1, -4})) << order;
  }
  x = {7};
  sortReals(x.data(), 1, 'A');
  EXPECT_EQ(x[0], 7);
  sortReals(x.data(), 0, 'D');  // nothing to do, nothing touched
  EXPECT_EQ(x[0], 7);
}

TEST(Sort, EqualValuesFollowTheExchanges) {
  std::vector<float> x{5, 5, 7};
  std::vector<int> key{1, 2, 3};
  sortRealsWithKeys(x.data(), key.data(), 3, 'D');
  EXPECT_EQ(x, (std::vector<float>{7, 5, 5}));
  EXPECT_EQ(key, (std::vector<int>{3, 2, 1}));

  x = {5, 5, 7};
  key = {1, 2, 3};
  sortRealsWithKeys(x.data(), key.data(), 3, 'A');
  EXPECT_EQ(x, (std::vector<float>{5, 5, 7}));
  EXPECT_EQ(key, (std::vector<int>{1, 2, 3}));

  // Pass 1 moves the first 9 forward, pass 2 takes the second 9 from the end
  // and sends key 1 there.
  std::vector<int> a{2, 9, 2, 9};
  key = {1, 2, 3, 4};
  sortIntsWithKeys(a.data(), key.data(), 4, 'D');
  EXPECT_EQ(a, (std::vector<int>{9, 9, 2, 2}));
  EXPECT_EQ(key, (std::vector<int>{2, 4, 3, 1}));

  a = {2, 9, 2, 9};
  key = {1, 2, 3, 4};
  sortIntsWithKeys(a.data(), key.data(), 4, 'A');
  EXPECT_EQ(a, (std::vector<int>{2, 2, 9, 9}));
  EXPECT_EQ(key, (std::vector<int>{1, 3, 4, 2}));
}

TEST(Sort, Reverse) {
  std::vector<float> x{1, 2, 3, 4, 5};
  reverseReals(x.data(), 5);
  EXPECT_EQ(x, (std::vector<float>{5, 4, 3, 2, 1}));
  std::vector<int> a{1, 2, 3, 4};
  reverseInts(a.data(), 4);
  EXPECT_EQ(a, (std::vector<int>{4, 3, 2, 1}));
  reverseInts(a.data(), 1);
  EXPECT_EQ(a, (std::vector<int>{4, 3, 2, 1}));
}

TEST(Sort, FastDescendingSortMatchesTheSelectionSortAtEveryPosition) {
  // Simulation-like data: few distinct multiples of a scale, many ties.
  const float scale = 100.0f / 13.0f;
  std::uint32_t lcg = 12345;
  for (int n : {1, 2, 37, 1000, 4096}) {
    std::vector<float> values(n);
    for (float& v : values) {
      lcg = lcg * 1103515245u + 12345u;
      v = static_cast<float>((lcg >> 16) % 9) * scale;
    }
    std::vector<float> literal = values;
    sortReals(literal.data(), n, 'D');
    sortRealsDescending(values.data(), n);
    ASSERT_EQ(values, literal) << "n " << n;
  }
}

TEST(Statistics, TwoValues) {
  const float x[] = {2.0f, 4.0f};
  const BasicStatistics r = basicStatistics(x, 2);
  EXPECT_EQ(r.mean, 3.0f);
  EXPECT_EQ(r.sd, 1.4142135f);
  EXPECT_EQ(r.meanSensitivity, 0.6666667f);
  EXPECT_EQ(r.minimum, 2.0f);
  EXPECT_EQ(r.maximum, 4.0f);
}

TEST(Statistics, NoneOrOneValue) {
  const float one[] = {-2.5f};
  BasicStatistics r = basicStatistics(one, 1);
  EXPECT_EQ(r.mean, -2.5f);
  EXPECT_EQ(r.minimum, -2.5f);
  EXPECT_EQ(r.maximum, -2.5f);
  EXPECT_EQ(r.sd, 0.0f);
  EXPECT_EQ(r.meanSensitivity, 0.0f);

  for (int n : {0, -3}) {
    r = basicStatistics(one, n);
    EXPECT_EQ(r.mean, 0.0f);
    EXPECT_EQ(r.minimum, 0.0f);
    EXPECT_EQ(r.maximum, 0.0f);
    EXPECT_EQ(r.sd, 0.0f);
    EXPECT_EQ(r.meanSensitivity, 0.0f);
  }
}

TEST(Statistics, ZeroPairAddsNothingToMeanSensitivity) {
  const float zeros[] = {0.0f, 0.0f};
  BasicStatistics r = basicStatistics(zeros, 2);
  EXPECT_EQ(r.meanSensitivity, 0.0f);
  EXPECT_EQ(r.sd, 0.0f);

  // (0,0) is skipped, (0,4) adds 2; divided by n - 1 = 2.
  const float x[] = {0.0f, 0.0f, 4.0f};
  r = basicStatistics(x, 3);
  EXPECT_EQ(r.meanSensitivity, 1.0f);
}

TEST(Statistics, SumsAreKeptInSinglePrecision) {
  // In single precision 1e8 + 1 is 1e8, so the sum and the mean are 0;
  // a double sum would give a mean of 1/3.
  const float x[] = {1e8f, 1.0f, -1e8f};
  const BasicStatistics r = basicStatistics(x, 3);
  EXPECT_EQ(r.mean, 0.0f);
  EXPECT_EQ(r.sd, 1e8f);
}

TEST(Percentile, RanksFromTheSimulationCount) {
  using R = std::array<int, 4>;
  EXPECT_EQ(percentileRanks(1000), (R{976, 25, 996, 5}));
  EXPECT_EQ(percentileRanks(100), (R{98, 3, 100, 1}));
  EXPECT_EQ(percentileRanks(4096), (R{3995, 102, 4077, 20}));
  EXPECT_EQ(percentileRanks(20), (R{20, 1, 20, 1}));
  EXPECT_EQ(percentileRanks(39), (R{39, 1, 39, 1}));
  EXPECT_EQ(percentileRanks(60), (R{59, 2, 60, 1}));     // 1.5 rounds up
  EXPECT_EQ(percentileRanks(300), (R{293, 8, 299, 2}));  // 7.5 and 1.5 round up
  EXPECT_EQ(percentileRanks(1), (R{1, 1, 1, 1}));
  EXPECT_EQ(percentileRanks(0), (R{0, 1, 0, 1}));
  EXPECT_EQ(percentileRanks(-100), (R{-100, 1, -100, 1}));
}

TEST(Percentile, RanksLieWithinTheSimulations) {
  for (int n = 1; n <= 4096; ++n) {
    const std::array<int, 4> r = percentileRanks(n);
    for (int rank : r) {
      ASSERT_GE(rank, 1) << n;
      ASSERT_LE(rank, n) << n;
    }
    ASSERT_LE(r[1], r[0]) << n;  // the 97.5% rank is above the 2.5% rank
    ASSERT_LE(r[3], r[2]) << n;
    ASSERT_LE(r[3], r[1]) << n;  // the 99% range is wider
  }
}

}  // namespace
}  // namespace rova

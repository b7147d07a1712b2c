#include "analysis/random.h"

#include <algorithm>

#include "analysis/statistics.h"

namespace rova {

float RandomGenerator::uniform() {
  // Schrage: 2^31 - 1 = 48271 * 44488 + 3399. Both products fit in 32 bits,
  // for negative states too (division truncates toward zero and the
  // remainder takes the sign of the state).
  constexpr std::int32_t kModulus = static_cast<std::int32_t>(minstd::kModulus);
  constexpr std::int32_t kMultiplier = static_cast<std::int32_t>(minstd::kMultiplier);
  constexpr std::int32_t kQuotient = kModulus / kMultiplier;   // 44488
  constexpr std::int32_t kRemainder = kModulus % kMultiplier;  // 3399
  const std::int32_t hi = state_ / kQuotient;
  const std::int32_t lo = state_ % kQuotient;
  state_ = kMultiplier * lo - kRemainder * hi;
  if (state_ <= 0) state_ += kModulus;
  return static_cast<float>(state_) * minstd::kTwoToMinus31;
}

void RandomGenerator::skip(long long draws) {
  if (draws <= 0) return;
  const std::uint32_t x = minstd::advance(minstd::continuation(state_),
                                          minstd::multiplierPower(draws));
  state_ = static_cast<std::int32_t>(x);
}

namespace minstd {

std::uint32_t continuation(std::int32_t state) {
  const std::int64_t m = kModulus;
  const std::int64_t r = ((std::int64_t{state} % m) + m) % m;
  return r == 0 ? kModulus : static_cast<std::uint32_t>(r);
}

std::uint32_t multiplierPower(long long k) {
  std::uint64_t result = 1;
  std::uint64_t base = kMultiplier;
  while (k > 0) {
    if (k & 1) result = result * base % kModulus;
    base = base * base % kModulus;
    k >>= 1;
  }
  return static_cast<std::uint32_t>(result);
}

std::uint32_t advance(std::uint32_t x, std::uint32_t power) {
  if (x == kModulus) return x;  // the fixed point
  return static_cast<std::uint32_t>(std::uint64_t{x} * power % kModulus);
}

std::uint32_t fillDraws(std::uint32_t x, int count, float* draws) {
  constexpr std::uint32_t a1 = kMultiplier;
  constexpr std::uint32_t a2 = static_cast<std::uint32_t>(std::uint64_t{a1} * a1 % kModulus);
  constexpr std::uint32_t a3 = static_cast<std::uint32_t>(std::uint64_t{a2} * a1 % kModulus);
  constexpr std::uint32_t a4 = static_cast<std::uint32_t>(std::uint64_t{a3} * a1 % kModulus);
  int i = 0;
  if (count >= 4) {
    std::uint32_t lane[4] = {multiply(x, a1), multiply(x, a2), multiply(x, a3),
                             multiply(x, a4)};
    for (; i + 4 <= count; i += 4) {
      for (int j = 0; j < 4; ++j) draws[i + j] = draw(lane[j]);
      x = lane[3];
      for (int j = 0; j < 4; ++j) lane[j] = multiply(lane[j], a4);
    }
  }
  for (; i < count; ++i) {
    x = next(x);
    draws[i] = draw(x);
  }
  return x;
}

}  // namespace minstd

void selectLargestDraws(const float* draws, int n, int s, int* chosen) {
  if (s <= 0) return;
  if (s >= n) {
    for (int i = 0; i < n; ++i) chosen[i] = i + 1;
    return;
  }

  // Draws are bucketed by trunc(draw * 64): monotone in the draw, so equal
  // draws share a bucket and a higher bucket holds only larger draws. The
  // bucket that reaches the s-th place is the only one that needs ordering.
  constexpr int kTop = 64;
  std::array<unsigned char, kMaxSeries> bucket;
  std::array<unsigned char, kTop + 1> count{};
  for (int i = 0; i < n; ++i) {
    const int b = std::clamp(static_cast<int>(draws[i] * static_cast<float>(kTop)), 0, kTop);
    bucket[i] = static_cast<unsigned char>(b);
    ++count[b];
  }
  int above = 0;
  int edge = kTop;
  while (above + count[edge] < s) above += count[edge--];

  // Without branches: which side of the edge a draw falls on is random.
  int taken = 0;
  std::array<int, kMaxSeries + 1> candidates;  // tree indexes in the edge bucket
  int m = 0;
  for (int i = 0; i < n; ++i) {
    chosen[taken] = i + 1;
    taken += bucket[i] > edge;
    candidates[m] = i;
    m += bucket[i] == edge;
  }
  // Order the edge bucket from the largest draw down (usually a handful).
  for (int i = 1; i < m; ++i) {
    const int c = candidates[i];
    int j = i;
    while (j > 0 && draws[candidates[j - 1]] < draws[c]) {
      candidates[j] = candidates[j - 1];
      --j;
    }
    candidates[j] = c;
  }
  const int need = s - above;  // 1..m
  if (need < m && draws[candidates[need - 1]] == draws[candidates[need]]) {
    // Equal draws straddle the s-th place: which of them stay in front is
    // decided by the exchanges of the selection sort, so run it.
    std::array<float, kMaxSeries> values;
    std::array<int, kMaxSeries> keys;
    for (int i = 0; i < n; ++i) {
      values[i] = draws[i];
      keys[i] = i + 1;
    }
    sortRealsWithKeys(values.data(), keys.data(), n, 'D');
    std::copy(keys.begin(), keys.begin() + s, chosen);
    return;
  }
  for (int j = 0; j < need; ++j) chosen[taken++] = candidates[j] + 1;
}

}  // namespace rova

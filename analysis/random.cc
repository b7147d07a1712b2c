#include "analysis/random.h"

#include <algorithm>

#include "analysis/statistics.h"

namespace rova {

float RandomGenerator::uniform() {
  // Schrage: 2^31 - 1 = 48271 * 44488 + 3399. Both products fit in 32 bits,
  // for negative states too (division truncates toward zero and the
  // remainder takes the sign of the state).
  constexpr std::int32_t kModulus = 2147483647;
  constexpr std::int32_t kQuotient = 44488;
  constexpr std::int32_t kRemainder = 3399;
  const std::int32_t hi = state_ / kQuotient;
  const std::int32_t lo = state_ % kQuotient;
  state_ = 48271 * lo - kRemainder * hi;
  if (state_ <= 0) state_ += kModulus;
  constexpr float kTwoToMinus31 = 4.656612873077392578125e-10f;  // exactly 2^-31
  return static_cast<float>(state_) * kTwoToMinus31;
}

void selectTrees(RandomGenerator& generator, int n, int s, char method,
                 std::array<int, kMaxSeries + 1>& selection) {
  // The clamps only keep the fixed arrays in bounds for callers that break
  // the contract; within it they change nothing.
  n = std::clamp(n, 0, kMaxSeries);
  s = std::clamp(s, 0, n);

  std::array<float, kMaxSeries + 1> drawValues;
  std::array<int, kMaxSeries + 1> drawKeys;
  for (int i = 1; i <= n; ++i) {
    drawKeys[i] = i;
    drawValues[i] = generator.uniform();
  }

  if (method == 'D') {
    sortRealsWithKeys(&drawValues[1], &drawKeys[1], n, 'D');
    for (int i = 1; i <= s; ++i) selection[i] = drawKeys[i];
  } else {
    // The product of the single-precision draw and n is exact in double.
    const double count = n;
    for (int i = 1; i <= s; ++i) {
      selection[i] = static_cast<int>(static_cast<double>(drawValues[i]) * count) + 1;
    }
  }

  // The companion array only receives the exchanges; it is not read again.
  sortIntsWithKeys(&selection[1], &drawKeys[1], s, 'A');
}

}  // namespace rova

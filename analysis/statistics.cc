#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

namespace rova {

MeanAndSd meanAndSd(const float* x, int n) {
  MeanAndSd r;
  if (n < 1) return r;
  r.mean = x[0];
  if (n == 1) return r;
  float sum = x[0];
  float sumSquares = x[0] * x[0];
  for (int i = 1; i < n; ++i) {
    sum = sum + x[i];
    const float square = x[i] * x[i];
    sumSquares = sumSquares + square;
  }
  const float f = static_cast<float>(n);
  r.mean = sum / f;
  const float product = r.mean * sum;
  const float spread = std::fabs(sumSquares - product);
  const float variance = spread / (f - 1.0f);
  r.sd = std::sqrt(variance);
  return r;
}

BasicStatistics basicStatistics(const float* x, int n) {
  BasicStatistics r;
  if (n < 1) return r;
  const MeanAndSd m = meanAndSd(x, n);
  r.mean = m.mean;
  r.sd = m.sd;
  r.minimum = r.maximum = x[0];
  if (n == 1) return r;
  float sensitivity = 0.0f;
  for (int i = 1; i < n; ++i) {
    const float d = std::fabs(x[i - 1]) + std::fabs(x[i]);
    if (d != 0.0f) {
      const float change = std::fabs(2.0f * (x[i] - x[i - 1]));
      sensitivity = sensitivity + change / d;
    }
    r.minimum = std::min(r.minimum, x[i]);
    r.maximum = std::max(r.maximum, x[i]);
  }
  r.meanSensitivity = sensitivity / (static_cast<float>(n) - 1.0f);
  return r;
}

namespace {

// The one selection sort behind the three public sorts. Key is nullptr when
// there is no companion array.
template <typename T>
void selectionSort(T* x, int* key, int n, char order) {
  for (int i = 0; i < n; ++i) {
    const T rememberedValue = x[i];
    const int rememberedKey = key ? key[i] : 0;
    T maximum = x[i];
    int position = i;
    for (int j = i; j < n; ++j) {
      if (x[j] > maximum) {
        maximum = x[j];
        position = j;
      }
    }
    const int maximumKey = key ? key[position] : 0;
    x[position] = rememberedValue;
    x[i] = maximum;
    if (key) {
      key[position] = rememberedKey;
      key[i] = maximumKey;
    }
  }
  if (order == 'A') {
    std::reverse(x, x + std::max(n, 0));
    if (key) reverseInts(key, n);
  }
}

}  // namespace

void sortReals(float* x, int n, char order) { selectionSort(x, nullptr, n, order); }

void sortRealsWithKeys(float* x, int* key, int n, char order) {
  selectionSort(x, key, n, order);
}

void sortIntsWithKeys(int* a, int* key, int n, char order) { selectionSort(a, key, n, order); }

void reverseReals(float* x, int n) {
  for (int i = 0; i < n / 2; ++i) std::swap(x[i], x[n - 1 - i]);
}

void reverseInts(int* a, int n) {
  for (int i = 0; i < n / 2; ++i) std::swap(a[i], a[n - 1 - i]);
}

void sortRealsDescending(float* x, int n) {
  if (n > 1) std::sort(x, x + n, std::greater<float>());
}

namespace {

// Rounds a single-precision quotient half away from zero to an integer.
int roundHalfAway(float q) {
  const float shifted = q >= 0.0f ? q + 0.5f : q - 0.5f;
  return static_cast<int>(shifted);
}

}  // namespace

std::array<int, 4> percentileRanks(int simulationCount) {
  const float count = static_cast<float>(simulationCount);
  int v = roundHalfAway(count / 40.0f);
  int b = roundHalfAway(count / 200.0f);
  if (v < 1) v = 1;
  if (b < 1) b = 1;
  // The upper ranks are formed in 64 bits: for a count near the lower end
  // of the range, count - v alone would leave 32 bits, though the rank
  // count - v + 1 always fits (v >= 1, and v < count when count > 0).
  const long long count64 = simulationCount;
  return {static_cast<int>(count64 - v + 1), v, static_cast<int>(count64 - b + 1), b};
}

}  // namespace rova

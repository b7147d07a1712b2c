// Small numeric routines of the analysis: basic statistics of a series of
// reals, in-place selection sorts, and the percentile ranks into sorted
// simulation results.
//
// All arithmetic is single precision with every intermediate result rounded
// to float, so the results are the same on every platform. The sorts are
// selection sorts whose exchange order is part of their behaviour: equal
// values (and so their companion keys) end up exactly where the exchanges
// leave them, which decides which trees a simulation selects.
//
// Arrays are passed as pointers to their first element with a count n; the
// order letter 'A' means ascending, any other letter descending.
#pragma once

#include <array>

namespace rova {

struct BasicStatistics {
  float mean = 0.0f;
  float minimum = 0.0f;
  float maximum = 0.0f;
  float meanSensitivity = 0.0f;  // mean of |2 (x[i] - x[i-1])| / (|x[i-1]| + |x[i]|)
  float sd = 0.0f;               // sample standard deviation, divisor n - 1
};

// REQUIRES: x points to n values (n may be 0 or below: all results 0).
// With n == 1 the mean, minimum and maximum are x[0]; sd and
// meanSensitivity stay 0. Pairs whose absolute values sum to 0 add nothing
// to the mean sensitivity.
BasicStatistics basicStatistics(const float* x, int n);

// The mean and sd of basicStatistics alone, computed by the same single-
// precision operations in the same order (so bit for bit the same).
struct MeanAndSd {
  float mean = 0.0f;
  float sd = 0.0f;
};
MeanAndSd meanAndSd(const float* x, int n);

// Selection sort into descending order: for each position the first
// strictly largest of the remaining values is exchanged into it. Order 'A'
// then reverses the whole array. The variants with keys apply every
// exchange and the reversal to key as well.
// REQUIRES: x (and key) point to n elements; n <= 0 does nothing.
void sortReals(float* x, int n, char order);
void sortRealsWithKeys(float* x, int* key, int n, char order);
void sortIntsWithKeys(int* a, int* key, int n, char order);

// Reverses n elements in place.
void reverseReals(float* x, int n);
void reverseInts(int* a, int n);

// Sorts n reals into descending order with an O(n log n) sort. Position by
// position the values equal those of sortReals(x, n, 'D') for any data
// without NaN in which equal values are indistinguishable (no signed-zero
// pairs): only the arrangement of equal values could differ. Used where only
// the values at given ranks are read.
void sortRealsDescending(float* x, int n);

// The four ranks into N descending-sorted simulation results:
// v = N/40 and b = N/200, each computed in single precision, rounded half
// away from zero and raised to at least 1; the result is
// (N - v + 1, v, N - b + 1, b): the 2.5%, 97.5%, 0.5% and 99.5% positions.
// For N >= 1 every rank lies in 1..N; for N <= 0 they do not. Every N of
// the 32-bit range gives ranks that fit (for N at its lowest, N - v + 1 is N).
std::array<int, 4> percentileRanks(int simulationCount);

}  // namespace rova

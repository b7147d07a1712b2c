// The primitives of the inner loop in plain C++, for any processor: what
// simulation_kernel_body.h is written over. simulation_kernel_avx2.h and
// simulation_kernel_avx512.h give the same functions with the same
// results, made with vector instructions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "analysis/simulation_kernel_keys.h"

namespace rova::kernel {
namespace {

// keys[0..slotsOf(count) - 1] = the keys of the states after 1, 2, ...
// draws from x.
inline void fillKeys(std::uint32_t x, int count, std::uint32_t* keys) {
  const int rounded = slotsOf(count);
  for (int i = 0; i < rounded; i += 2) {
    keys[i] = keyOf(mulMod(x, static_cast<std::uint32_t>(kPowers.even[i / 2])));
    keys[i + 1] = keyOf(mulMod(x, static_cast<std::uint32_t>(kPowers.odd[i / 2])));
  }
}

// Marks in bits[0..words - 1] the keys above t (bit i for keys[i]) and
// returns how many there are. The array holds words * 64 keys.
inline int keysAbove(const std::uint32_t* keys, int words, std::uint32_t t, std::uint64_t* bits) {
  int count = 0;
  for (int w = 0; w < words; ++w) {
    std::uint64_t word = 0;
    for (int j = 0; j < 64; ++j) word |= std::uint64_t{keys[64 * w + j] > t} << j;
    bits[w] = word;
    count += popCount(word);
  }
  return count;
}

// How many of the first `slots` keys (a multiple of 16) lie above t.
inline int countAbove(const std::uint32_t* keys, int slots, std::uint32_t t) {
  int count = 0;
  for (int i = 0; i < slots; ++i) count += keys[i] > t;
  return count;
}

// The largest key among the trees of `row` (a tree mask of `words` words).
inline std::uint32_t largestOf(const std::uint32_t* keys, int words, const std::uint64_t* row) {
  std::uint32_t largest = 0;
  for (int i = 0; i < 64 * words; ++i) {
    const std::uint32_t x = (row[i >> 6] >> (i & 63)) & 1u ? keys[i] : 0;
    largest = x > largest ? x : largest;
  }
  return largest;
}

// How many of the first `slots` keys exceed key x, and how many equal it
// (x itself included).
inline void keysAround(const std::uint32_t* keys, int slots, std::uint32_t x, int& above,
                       int& equal) {
  int greater = 0;
  int same = 0;
  for (int i = 0; i < slots; ++i) {
    greater += keys[i] > x;
    same += keys[i] == x;
  }
  above = greater;
  equal = same;
}

// With replacement: marks the trees the first s keys' draws choose,
// trunc(draw * n) + 1 each (as tree index trunc(draw * n)); a draw of 1.0
// chooses no tree. The product of a single-precision draw and n is exact
// in double.
inline void chooseWithReplacement(const std::uint32_t* keys, int n, int s, double trees,
                                  std::uint64_t* chosen) {
  std::uint64_t word[kTreeWords] = {};
  for (int i = 0; i < s; ++i) {
    const int t = static_cast<int>(static_cast<double>(drawOfKey(keys[i])) * trees);
    for (int w = 0; w < kTreeWords; ++w) {
      const int shift = t - 64 * w;
      word[w] |= t < n && shift >= 0 && shift < 64 ? std::uint64_t{1} << shift : 0;
    }
  }
  for (int w = 0; w < kTreeWords; ++w) chosen[w] = word[w];
}

// Bit j (j < count <= 64): row j of `rows` (kTreeWords words a row, trees
// past treeWords words 0) shares a tree with `chosen` (kTreeWords words).
inline std::uint64_t yearsMet(const std::uint64_t* rows, int count, const std::uint64_t* chosen,
                              int treeWords) {
  std::uint64_t met = 0;
  for (int j = 0; j < count; ++j) {
    const std::uint64_t* row = rows + static_cast<std::size_t>(j) * kTreeWords;
    std::uint64_t bits = 0;
    for (int w = 0; w < treeWords; ++w) bits |= row[w] & chosen[w];
    met |= static_cast<std::uint64_t>(bits != 0) << j;
  }
  return met;
}

}  // namespace
}  // namespace rova::kernel

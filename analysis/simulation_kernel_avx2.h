// The primitives of the inner loop with AVX2 (eight 32-bit lanes), for the
// build compiled with the AVX2 features: the functions of
// simulation_kernel_portable.h, same names, same results. Keys and
// thresholds lie below 2^31, so the signed comparisons of AVX2 order them.
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "analysis/simulation_kernel_keys.h"

namespace rova::kernel {
namespace {

// The lanes of a comparison as bits (bit j for lane j).
inline int laneBits(__m256i comparison) {
  return _mm256_movemask_ps(_mm256_castsi256_ps(comparison));
}

// keys[0..] = the keys of the states after 1, 2, ... draws from x, eight
// at a time: a product of two numbers below 2^31 folded once
// ((p mod 2^31) + (p >> 31)) is below 2^32; the even places' results fill
// the low halves of 64-bit lanes, the odd places' the high halves, and the
// second fold is made on the 32-bit lanes. Fills at least the first
// `count` keys, in whole vectors.
inline void fillKeys(std::uint32_t x, int count, std::uint32_t* keys) {
  const __m256i modulus = _mm256_set1_epi64x(kModulus);
  const __m256i modulus32 = _mm256_set1_epi32(static_cast<int>(kModulus));
  const __m256i start = _mm256_set1_epi64x(x);
  for (int i = 0; i < count; i += 8) {
    __m256i even = _mm256_mul_epu32(
        start, _mm256_load_si256(reinterpret_cast<const __m256i*>(kPowers.even + i / 2)));
    __m256i odd = _mm256_mul_epu32(
        start, _mm256_load_si256(reinterpret_cast<const __m256i*>(kPowers.odd + i / 2)));
    even = _mm256_add_epi64(_mm256_and_si256(even, modulus), _mm256_srli_epi64(even, 31));
    odd = _mm256_add_epi64(_mm256_and_si256(odd, modulus), _mm256_srli_epi64(odd, 31));
    __m256i block = _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
    block = _mm256_add_epi32(_mm256_and_si256(block, modulus32), _mm256_srli_epi32(block, 31));
    _mm256_store_si256(reinterpret_cast<__m256i*>(keys + i),
                       _mm256_castps_si256(_mm256_cvtepi32_ps(block)));
  }
}

inline int keysAbove(const std::uint32_t* keys, int words, std::uint32_t t, std::uint64_t* bits) {
  int count = 0;
  const __m256i threshold = _mm256_set1_epi32(static_cast<int>(t));
  for (int w = 0; w < words; ++w) {
    std::uint64_t word = 0;
    for (int q = 0; q < 8; ++q) {
      const __m256i v =
          _mm256_load_si256(reinterpret_cast<const __m256i*>(keys + 64 * w + 8 * q));
      const int m = laneBits(_mm256_cmpgt_epi32(v, threshold));
      word |= static_cast<std::uint64_t>(static_cast<unsigned>(m)) << (8 * q);
    }
    bits[w] = word;
    count += popCount(word);
  }
  return count;
}

inline int countAbove(const std::uint32_t* keys, int slots, std::uint32_t t) {
  int count = 0;
  const __m256i threshold = _mm256_set1_epi32(static_cast<int>(t));
  for (int i = 0; i < slots; i += 8) {
    const __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i*>(keys + i));
    count += __builtin_popcount(laneBits(_mm256_cmpgt_epi32(v, threshold)));
  }
  return count;
}

// Each byte of the row picks eight lanes: lane j of a block is kept when
// bit j of its byte is set.
inline std::uint32_t largestOf(const std::uint32_t* keys, int words, const std::uint64_t* row) {
  const __m256i bit = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
  __m256i m = _mm256_setzero_si256();
  for (int w = 0; w < words; ++w) {
    for (int q = 0; q < 8; ++q) {
      const __m256i pick = _mm256_and_si256(
          _mm256_set1_epi32(static_cast<int>((row[w] >> (8 * q)) & 0xFFu)), bit);
      const __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i*>(keys + 64 * w + 8 * q));
      m = _mm256_max_epu32(m, _mm256_and_si256(v, _mm256_cmpeq_epi32(pick, bit)));
    }
  }
  alignas(32) std::uint32_t lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), m);
  return largestKey(lanes, 8);
}

inline void keysAround(const std::uint32_t* keys, int slots, std::uint32_t x, int& above,
                       int& equal) {
  int greater = 0;
  int same = 0;
  const __m256i xv = _mm256_set1_epi32(static_cast<int>(x));
  for (int i = 0; i < slots; i += 8) {
    const __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i*>(keys + i));
    greater += __builtin_popcount(laneBits(_mm256_cmpgt_epi32(v, xv)));
    same += __builtin_popcount(laneBits(_mm256_cmpeq_epi32(v, xv)));
  }
  above = greater;
  equal = same;
}

// Four draws at a time, each tree's bit placed by a variable shift in the
// 64-bit lane of its word: a shift of 64 or more (or "negative") gives 0.
// The key's value times n * 2^-31 is exact in double.
inline void chooseWithReplacement(const std::uint32_t* keys, int n, int s, double trees,
                                  std::uint64_t* chosen) {
  const __m256d scale = _mm256_set1_pd(trees * static_cast<double>(minstd::kTwoToMinus31));
  const __m256i one = _mm256_set1_epi64x(1);
  __m256i word[kTreeWords];
  for (int w = 0; w < kTreeWords; ++w) word[w] = _mm256_setzero_si256();
  for (int i = 0; i < s; i += 4) {
    const __m128 values = _mm_castsi128_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(keys + i)));
    __m128i t32 = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtps_pd(values), scale));
    // Lanes past the s-th draw and draws of 1.0 (tree index n) choose nothing.
    const int rest = s - i < 4 ? s - i : 4;
    const __m128i lane = _mm_setr_epi32(0, 1, 2, 3);
    const __m128i keep = _mm_and_si128(_mm_cmplt_epi32(lane, _mm_set1_epi32(rest)),
                                       _mm_cmplt_epi32(t32, _mm_set1_epi32(n)));
    t32 = _mm_blendv_epi8(_mm_set1_epi32(1024), t32, keep);
    const __m256i t = _mm256_cvtepi32_epi64(t32);
    for (int w = 0; w < kTreeWords; ++w) {
      word[w] = _mm256_or_si256(
          word[w], _mm256_sllv_epi64(one, _mm256_sub_epi64(t, _mm256_set1_epi64x(64 * w))));
    }
  }
  for (int w = 0; w < kTreeWords; ++w) {
    alignas(32) std::uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), word[w]);
    chosen[w] = lanes[0] | lanes[1] | lanes[2] | lanes[3];
  }
}

// All four words of a year's trees against the chosen at once.
inline std::uint64_t yearsMet(const std::uint64_t* rows, int count, const std::uint64_t* chosen,
                              int /*treeWords*/) {
  static_assert(kTreeWords == 4, "a row of tree bits is one 256-bit vector");
  const __m256i picked = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(chosen));
  std::uint64_t met = 0;
  for (int j = 0; j < count; ++j) {
    const std::uint64_t* row = rows + static_cast<std::size_t>(j) * kTreeWords;
    const int hit =
        !_mm256_testz_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row)), picked);
    met |= static_cast<std::uint64_t>(hit) << j;
  }
  return met;
}

}  // namespace
}  // namespace rova::kernel

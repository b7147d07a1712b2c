// The primitives of the inner loop with AVX-512 (sixteen 32-bit lanes and
// mask registers), for the build compiled with the AVX-512 features: the
// functions of simulation_kernel_portable.h, same names, same results.
// keyBlock and above64 serve the window selection too
// (simulation_kernel_window.h).
#pragma once

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "analysis/simulation_kernel_keys.h"

namespace rova::kernel {
namespace {

// The keys of the states i + 1 .. i + 16 draws after x (`start` holds x in
// every 64-bit lane). A product of two numbers below 2^31 folded once
// ((p mod 2^31) + (p >> 31)) is below 2^32; the even places' results fill
// the low halves of 64-bit lanes, the odd places' the high halves, and the
// second fold is made on the 32-bit lanes.
inline __m512i keyBlock(__m512i start, int i) {
  const __m512i modulus = _mm512_set1_epi64(kModulus);
  const __m512i modulus32 = _mm512_set1_epi32(static_cast<int>(kModulus));
  __m512i even = _mm512_mul_epu32(start, _mm512_load_si512(kPowers.even + i / 2));
  __m512i odd = _mm512_mul_epu32(start, _mm512_load_si512(kPowers.odd + i / 2));
  even = _mm512_add_epi64(_mm512_and_si512(even, modulus), _mm512_srli_epi64(even, 31));
  odd = _mm512_add_epi64(_mm512_and_si512(odd, modulus), _mm512_srli_epi64(odd, 31));
  __m512i block = _mm512_or_si512(even, _mm512_slli_epi64(odd, 32));
  block = _mm512_add_epi32(_mm512_and_si512(block, modulus32), _mm512_srli_epi32(block, 31));
  return _mm512_castps_si512(_mm512_cvtepi32_ps(block));
}

inline void fillKeys(std::uint32_t x, int count, std::uint32_t* keys) {
  const __m512i start = _mm512_set1_epi64(x);
  for (int i = 0; i < count; i += 16) _mm512_store_si512(keys + i, keyBlock(start, i));
}

// Bit i: keys[i] (of 64) lies above the threshold; the four 16-bit masks
// are joined in mask registers.
inline std::uint64_t above64(const std::uint32_t* keys, __m512i threshold) {
  const __mmask16 k0 = _mm512_cmpgt_epu32_mask(_mm512_load_si512(keys), threshold);
  const __mmask16 k1 = _mm512_cmpgt_epu32_mask(_mm512_load_si512(keys + 16), threshold);
  const __mmask16 k2 = _mm512_cmpgt_epu32_mask(_mm512_load_si512(keys + 32), threshold);
  const __mmask16 k3 = _mm512_cmpgt_epu32_mask(_mm512_load_si512(keys + 48), threshold);
  return _cvtmask64_u64(_mm512_kunpackd(_mm512_kunpackw(k3, k2), _mm512_kunpackw(k1, k0)));
}

inline int keysAbove(const std::uint32_t* keys, int words, std::uint32_t t, std::uint64_t* bits) {
  int count = 0;
  const __m512i threshold = _mm512_set1_epi32(static_cast<int>(t));
  for (int w = 0; w < words; ++w) {
    const std::uint64_t word = above64(keys + 64 * w, threshold);
    bits[w] = word;
    count += popCount(word);
  }
  return count;
}

inline int countAbove(const std::uint32_t* keys, int slots, std::uint32_t t) {
  int count = 0;
  const __m512i threshold = _mm512_set1_epi32(static_cast<int>(t));
  int i = 0;
  for (; i + 64 <= slots; i += 64) count += popCount(above64(keys + i, threshold));
  for (; i < slots; i += 16)
    count += __builtin_popcount(_mm512_cmpgt_epu32_mask(_mm512_load_si512(keys + i), threshold));
  return count;
}

// Sixteen bits of the row are the mask of a block's lanes.
inline std::uint32_t largestOf(const std::uint32_t* keys, int words, const std::uint64_t* row) {
  __m512i m = _mm512_setzero_si512();
  for (int w = 0; w < words; ++w) {
    for (int q = 0; q < 4; ++q) {
      const __mmask16 k = static_cast<__mmask16>(row[w] >> (16 * q));
      m = _mm512_mask_max_epu32(m, k, m, _mm512_load_si512(keys + 64 * w + 16 * q));
    }
  }
  alignas(64) std::uint32_t lanes[16];
  _mm512_store_si512(lanes, m);
  return largestKey(lanes, 16);
}

inline void keysAround(const std::uint32_t* keys, int slots, std::uint32_t x, int& above,
                       int& equal) {
  int greater = 0;
  int same = 0;
  const __m512i xv = _mm512_set1_epi32(static_cast<int>(x));
  for (int i = 0; i < slots; i += 16) {
    const __m512i v = _mm512_load_si512(keys + i);
    greater += __builtin_popcount(_mm512_cmpgt_epu32_mask(v, xv));
    same += __builtin_popcount(_mm512_cmpeq_epu32_mask(v, xv));
  }
  above = greater;
  equal = same;
}

// Eight draws at a time, each tree's bit placed by a variable shift in the
// 64-bit lane of its word: a shift of 64 or more (or "negative") gives 0.
// The key's value times n * 2^-31 is exact in double.
inline void chooseWithReplacement(const std::uint32_t* keys, int n, int s, double trees,
                                  std::uint64_t* chosen) {
  const __m512d scale = _mm512_set1_pd(trees * static_cast<double>(minstd::kTwoToMinus31));
  const __m512i limit = _mm512_set1_epi64(n);
  const __m512i none = _mm512_set1_epi64(1024);
  const __m512i one = _mm512_set1_epi64(1);
  __m512i word[kTreeWords];
  for (int w = 0; w < kTreeWords; ++w) word[w] = _mm512_setzero_si512();
  for (int i = 0; i < s; i += 8) {
    const __m256 values = _mm256_castsi256_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(keys + i)));
    __m512i t = _mm512_cvttpd_epi64(_mm512_mul_pd(_mm512_cvtps_pd(values), scale));
    // Lanes past the s-th draw and draws of 1.0 (tree index n) choose nothing.
    const int rest = s - i < 8 ? s - i : 8;
    const __mmask8 real = static_cast<__mmask8>((1u << rest) - 1u);
    t = _mm512_mask_blend_epi64(real & _mm512_cmplt_epi64_mask(t, limit), none, t);
    for (int w = 0; w < kTreeWords; ++w) {
      word[w] = _mm512_or_si512(
          word[w], _mm512_sllv_epi64(one, _mm512_sub_epi64(t, _mm512_set1_epi64(64 * w))));
    }
  }
  for (int w = 0; w < kTreeWords; ++w) {
    alignas(64) std::uint64_t lanes[8];
    _mm512_store_si512(lanes, word[w]);
    std::uint64_t bits = 0;
    for (int j = 0; j < 8; ++j) bits |= lanes[j];
    chosen[w] = bits;
  }
}

// Two years' rows (eight words) against the chosen trees at once: a year
// is met when any of its four words meets them. Eight years a step, their
// 32 word tests gathered in one mask, each year's four bits folded into
// one and picked out; then two a step, then one.
inline std::uint64_t yearsMet(const std::uint64_t* rows, int count, const std::uint64_t* chosen,
                              int /*treeWords*/) {
  static_assert(kTreeWords == 4, "a row of tree bits is one 256-bit vector");
  const __m256i picked = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(chosen));
  const __m512i picked2 = _mm512_broadcast_i64x4(picked);
  std::uint64_t met = 0;
  int j = 0;
  for (; j + 8 <= count; j += 8) {
    const std::uint64_t* row = rows + static_cast<std::size_t>(j) * kTreeWords;
    const unsigned meet =
        static_cast<unsigned>(_mm512_test_epi64_mask(_mm512_loadu_si512(row), picked2)) |
        static_cast<unsigned>(_mm512_test_epi64_mask(_mm512_loadu_si512(row + 8), picked2)) << 8 |
        static_cast<unsigned>(_mm512_test_epi64_mask(_mm512_loadu_si512(row + 16), picked2)) << 16 |
        static_cast<unsigned>(_mm512_test_epi64_mask(_mm512_loadu_si512(row + 24), picked2)) << 24;
    unsigned any = meet | (meet >> 1);
    any |= any >> 2;
    met |= static_cast<std::uint64_t>(_pext_u32(any, 0x11111111u)) << j;
  }
  for (; j + 2 <= count; j += 2) {
    const std::uint64_t* row = rows + static_cast<std::size_t>(j) * kTreeWords;
    const unsigned meet = _mm512_test_epi64_mask(_mm512_loadu_si512(row), picked2);
    const std::uint64_t pair = ((meet & 0x0Fu) != 0) | (((meet & 0xF0u) != 0) << 1);
    met |= pair << j;
  }
  for (; j < count; ++j) {
    const std::uint64_t* row = rows + static_cast<std::size_t>(j) * kTreeWords;
    const int hit =
        !_mm256_testz_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row)), picked);
    met |= static_cast<std::uint64_t>(hit) << j;
  }
  return met;
}

}  // namespace
}  // namespace rova::kernel

// The AVX-512 build's selection strategy (see simulation_kernel_body.h):
// the s largest keys of a simulation without replacement found by windows.
// Included by simulation_kernel_avx512.cc after simulation_kernel_avx512.h
// and simulation_kernel_body.h, whose pieces it uses.
//
// The first reading of the keys, as they are made, does more
// than count: it gathers the keys of a narrow window (lo, hi] around where
// the s-th largest is expected and counts those above hi. Two times in
// three the s-th largest lies in the window, and ranking the few keys
// gathered there (at most 32, in one or two registers) finds it without a
// search. Otherwise what the counts say narrows the range, a second
// window is gathered within it from the stored keys, and only when that
// fails too does the search decide (under one simulation in a hundred).
// The window reaches kWindowSds standard deviations of the s-th largest
// of uniform draws either side of its expected place, but no more than
// kWindowHalfKeys expected keys, so that it seldom holds more than the
// registers do. (Measured on segments of 100 years of 200 trees: wider
// windows rank more keys than they save searches, narrower ones search
// more; the first window alone, gathered in registers instead of memory,
// or with its counts kept in vector lanes, were slower.)
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "analysis/simulation_kernel_keys.h"

namespace rova::kernel {
namespace {

// The window (lo, hi] of keys.
struct Window {
  std::uint32_t lo = 0;
  std::uint32_t hi = 0;
};
constexpr int kWindowKeys = 32;
constexpr float kWindowSds = 3.0f;
constexpr float kWindowHalfKeys = 6.0f;
constexpr int kWindowRounds = 2;

// The window for the s-th largest key, known to lie within `bracket`:
// around where it would lie, were the keys of the bracket spread evenly.
inline Window windowWithin(const Bracket& bracket, int s) {
  const int keys = bracket.ca - bracket.cb;
  const float low = valueOf(bracket.a);
  const float high = valueOf(bracket.b);
  const float p = static_cast<float>(2 * (s - bracket.cb) - 1) * kHalfInverse.value[keys];
  const float sd = __builtin_sqrtf(p * (1.0f - p) / static_cast<float>(keys));
  const float widest = kWindowHalfKeys / static_cast<float>(keys);
  const float half = (kWindowSds * sd < widest ? kWindowSds * sd : widest) * (high - low);
  const float centre = high - (high - low) * p;
  const float lo = centre - half;
  const float hi = centre + half;
  Window w;
  w.lo = lo <= low ? bracket.a : keyAt(lo);
  w.hi = hi >= high ? bracket.b - 1 : keyAt(hi);
  w.hi = w.hi <= w.lo ? w.lo + 1 : w.hi;
  return w;
}

// Gathers the keys within the window (lo, hi] from keys already made
// (`slots` of them, a multiple of 16, 0 past the trees), as
// fillKeysGathering does while it makes them.
inline int gatherWindow(const std::uint32_t* keys, int slots, Window w, std::uint32_t* gathered,
                        int& inWindow) {
  const __m512i lo = _mm512_set1_epi32(static_cast<int>(w.lo));
  const __m512i hi = _mm512_set1_epi32(static_cast<int>(w.hi));
  int above = 0;
  int within = 0;
  for (int i = 0; i < slots; i += 16) {
    const __m512i block = _mm512_load_si512(keys + i);
    const __mmask16 overHi = _mm512_cmpgt_epu32_mask(block, hi);
    const __mmask16 inside = _mm512_mask_cmpgt_epu32_mask(~overHi, block, lo);
    _mm512_storeu_si512(gathered + within, _mm512_maskz_compress_epi32(inside, block));
    above += __builtin_popcount(overHi);
    within += __builtin_popcount(inside);
  }
  inWindow = within;
  return above;
}

// fillKeys for the n keys of a simulation; gathers the keys within the
// window (lo, hi] in `gathered` (room for n + 16), their number in
// `inWindow`, and returns how many keys lie above hi.
inline int fillKeysGathering(std::uint32_t x, int n, Window w, std::uint32_t* keys,
                             std::uint32_t* gathered, int& inWindow) {
  const __m512i start = _mm512_set1_epi64(x);
  const __m512i lo = _mm512_set1_epi32(static_cast<int>(w.lo));
  const __m512i hi = _mm512_set1_epi32(static_cast<int>(w.hi));
  int above = 0;
  int within = 0;
  // The block of keys i .. i + 15, of which the lanes of `real` are trees.
  const auto block = [&](int i, __mmask16 real) {
    // Lanes past the trees are stored as 0, below every threshold.
    const __m512i key = _mm512_maskz_mov_epi32(real, keyBlock(start, i));
    _mm512_store_si512(keys + i, key);
    const __mmask16 overHi = _mm512_mask_cmpgt_epu32_mask(real, key, hi);
    const __mmask16 inside =
        _mm512_mask_cmple_epu32_mask(_mm512_mask_cmpgt_epu32_mask(real, key, lo), key, hi);
    // A block seldom holds more than four keys of the window: those are
    // stored alone, as one small store.
    const __m512i packed = _mm512_maskz_compress_epi32(inside, key);
    const int count = __builtin_popcount(inside);
    if (count <= 4) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(gathered + within),
                       _mm512_castsi512_si128(packed));
    } else {
      _mm512_storeu_si512(gathered + within, packed);
    }
    above += __builtin_popcount(overHi);
    within += count;
  };
  int i = 0;
  for (; i + 16 < n; i += 16) block(i, 0xFFFF);
  block(i, static_cast<__mmask16>((1u << (n - i)) - 1u));
  inWindow = within;
  return above;
}

// Lane indices that rotate a vector by j lanes (j = 0..15).
struct Rotations {
  std::int32_t lane[16][16];
};
constexpr Rotations rotations() {
  Rotations r{};
  for (int j = 0; j < 16; ++j) {
    for (int i = 0; i < 16; ++i) r.lane[j][i] = (i + j) % 16;
  }
  return r;
}
alignas(64) constexpr Rotations kRotations = rotations();

// One rotation step of the ranking: each lane of `v` counts (in `greater`)
// whether the lane of `other` j places on holds a larger key.
inline __m512i countGreater(__m512i greater, __m512i v, __m512i other, int j) {
  const __m512i rotate = _mm512_load_si512(kRotations.lane[j]);
  const __mmask16 larger = _mm512_cmpgt_epu32_mask(_mm512_permutexvar_epi32(rotate, other), v);
  return _mm512_mask_sub_epi32(greater, larger, greater, _mm512_set1_epi32(-1));
}

// Among the m gathered keys (1..32), a key with exactly k of them above
// it (k < m), in t; false when there is none (equal keys straddle the
// k-th place). Each key is ranked by comparing it with every other.
inline bool keyWithAbove(const std::uint32_t* gathered, int m, int k, std::uint32_t& t) {
  const __m512i want = _mm512_set1_epi32(k);
  // Missing lanes hold 0: below every gathered key, so they rank nothing.
  if (m <= 16) {
    const __mmask16 live = static_cast<__mmask16>((1u << m) - 1u);
    const __m512i v = _mm512_maskz_loadu_epi32(live, gathered);
    __m512i greater = _mm512_setzero_si512();
    for (int j = 1; j < 16; ++j) greater = countGreater(greater, v, v, j);
    const __mmask16 at = _mm512_mask_cmpeq_epi32_mask(live, greater, want);
    if (at == 0) return false;
    t = static_cast<std::uint32_t>(_mm512_cvtsi512_si32(_mm512_maskz_compress_epi32(at, v)));
    return true;
  }
  const __mmask16 live = static_cast<__mmask16>((1u << (m - 16)) - 1u);
  const __m512i v0 = _mm512_loadu_si512(gathered);
  const __m512i v1 = _mm512_maskz_loadu_epi32(live, gathered + 16);
  __m512i greater0 = countGreater(_mm512_setzero_si512(), v0, v1, 0);
  __m512i greater1 = countGreater(_mm512_setzero_si512(), v1, v0, 0);
  for (int j = 1; j < 16; ++j) {
    greater0 = countGreater(countGreater(greater0, v0, v0, j), v0, v1, j);
    greater1 = countGreater(countGreater(greater1, v1, v1, j), v1, v0, j);
  }
  const __mmask16 at0 = _mm512_cmpeq_epi32_mask(greater0, want);
  const __mmask16 at1 = _mm512_mask_cmpeq_epi32_mask(live, greater1, want);
  if ((at0 | at1) == 0) return false;
  const __m512i v = at0 != 0 ? v0 : v1;
  const __mmask16 at = at0 != 0 ? at0 : at1;
  t = static_cast<std::uint32_t>(_mm512_cvtsi512_si32(_mm512_maskz_compress_epi32(at, v)));
  return true;
}

// Marks the s largest keys from what the first reading found: `above`
// keys above w.hi, the `inWindow` keys within the window in `gathered`.
// When the s-th largest lies outside the window, or the window holds too
// many keys to rank, a second window is gathered within what is then
// known; after that, the search decides.
inline void chooseFromWindow(const std::uint32_t* keys, int n, int words, int s, Window w,
                             int above, std::uint32_t* gathered, int inWindow,
                             std::uint64_t* chosen) {
  Bracket bracket;
  bracket.ca = n;
  for (int round = 1;; ++round) {
    if (narrow(bracket, w.hi, above, s)) {
      keysAbove(keys, words, w.hi, chosen);
      return;
    }
    const int atLeastLo = above + inWindow;
    if (above < s) {
      if (narrow(bracket, w.lo, atLeastLo, s)) {
        keysAbove(keys, words, w.lo, chosen);
        return;
      }
      if (s < atLeastLo && inWindow <= kWindowKeys) {
        std::uint32_t t = 0;
        if (keyWithAbove(gathered, inWindow, s - above, t)) {
          keysAbove(keys, words, t, chosen);
        } else {
          chooseExactly(keys, n, s, chosen);  // equal draws at the s-th place
        }
        return;
      }
    }
    if (round == kWindowRounds || bracket.b - bracket.a <= 1) break;
    w = windowWithin(bracket, s);
    above = gatherWindow(keys, slotsOf(n), w, gathered, inWindow);
  }
  chooseLargest(keys, n, words, s, bracket, chosen);
}

// The selection by windows: the keys are gathered as they are made.
class WindowSelection {
 public:
  WindowSelection(int n, int s) : n_(n), s_(s), words_((n + 63) / 64) {
    Bracket whole;
    whole.ca = n;
    window_ = windowWithin(whole, s);
  }

  // Makes the keys of the simulation whose states follow x (0 past the n
  // trees up to the 16th) and marks its s chosen trees.
  void choose(std::uint32_t x, std::uint32_t* keys, std::uint64_t* chosen) {
    int inWindow = 0;
    const int above = fillKeysGathering(x, n_, window_, keys, gathered_, inWindow);
    chooseFromWindow(keys, n_, words_, s_, window_, above, gathered_, inWindow, chosen);
  }

  // The same from keys already made (0 past the n trees).
  void chooseAmong(const std::uint32_t* keys, std::uint64_t* chosen) {
    int inWindow = 0;
    const int above = gatherWindow(keys, slotsOf(n_), window_, gathered_, inWindow);
    chooseFromWindow(keys, n_, words_, s_, window_, above, gathered_, inWindow, chosen);
  }

 private:
  int n_;
  int s_;
  int words_;
  Window window_;
  alignas(64) std::uint32_t gathered_[kStateSlots + 16];
};

}  // namespace
}  // namespace rova::kernel

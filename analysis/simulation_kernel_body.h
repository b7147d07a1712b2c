// The simulations' inner loop, compiled once per processor build (see
// simulation_kernel.h). Every function here has internal linkage and uses
// nothing but built-in operations, so no code compiled for one processor
// can be taken by the linker for another. Where the build's instruction
// set is known at compile time (__AVX512BW__, __AVX2__), the comparisons
// of many states at once are written with its intrinsics; otherwise the
// portable loops below do the same work.
//
// Included by exactly one source file per build, after <immintrin.h>
// where the build has vector instructions.
#include <cstdint>

#include "analysis/simulation_kernel.h"

namespace rova::kernel {
namespace {

constexpr std::uint32_t kModulus = 2147483647u;  // 2^31 - 1
constexpr std::uint64_t kMultiplier = 48271u;
// Without replacement, up to this many open years are tested each on its
// own; more, and the chosen trees are found first.
constexpr int kDirectYears = 2;

// x * m mod 2^31 - 1 for x in 1..2^31 - 1, folded twice so that 2^31 - 1
// (a state no seed leads to) stays where it is; every other x gives the
// exact residue.
inline std::uint32_t mulMod(std::uint32_t x, std::uint32_t m) {
  std::uint64_t p = std::uint64_t{x} * m;
  p = (p & kModulus) + (p >> 31);
  p = (p & kModulus) + (p >> 31);
  return static_cast<std::uint32_t>(p);
}

// The key of a state: the bits of the state converted to single
// precision. A draw is that value times 2^-31 (an exact scaling), and
// positive floats order as their bits do, so keys compare exactly as the
// draws do, equal draws included; every key is above 0.
inline std::uint32_t keyOf(std::uint32_t state) {
  return __builtin_bit_cast(std::uint32_t, static_cast<float>(static_cast<std::int32_t>(state)));
}

// The draw a key stands for.
inline float drawOfKey(std::uint32_t key) {
  return __builtin_bit_cast(float, key) * 4.656612873077392578125e-10f;
}

// 48271^1 .. 48271^256 modulo 2^31 - 1: the state i + 1 draws after x is
// x * power i + 1, so every state of a simulation is computed on its own
// and the multiplications do not wait for each other. The powers are kept
// as 64-bit lanes in two tables, those of the even places (states 1, 3,
// 5, ...) and those of the odd places, so that a vector multiplication of
// 32 by 32 bits takes them as they lie.
struct StatePowers {
  std::uint64_t even[kStateSlots / 2];  // power 2j + 1
  std::uint64_t odd[kStateSlots / 2];   // power 2j + 2
};
constexpr StatePowers statePowers() {
  StatePowers p{};
  std::uint64_t r = 1;
  for (int k = 0; k < kStateSlots; ++k) {
    r = r * kMultiplier % kModulus;
    if (k % 2 == 0) {
      p.even[k / 2] = r;
    } else {
      p.odd[k / 2] = r;
    }
  }
  return p;
}
alignas(64) constexpr StatePowers kPowers = statePowers();

// keys[0..count rounded up to 16] = the draw keys (see keyOf) of the
// states after 1, 2, ... draws from x. A product of two numbers below 2^31 folded once
// ((p mod 2^31) + (p >> 31)) is below 2^32; the even places' results
// fill the low halves of 64-bit lanes, the odd places' the high halves,
// and the second fold is made on the 32-bit lanes.
#if defined(__AVX512BW__)
// The keys of the states i + 1 .. i + 16 draws after x (`start` holds x in
// every 64-bit lane).
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
#endif

inline void fillKeys(std::uint32_t x, int count, std::uint32_t* keys) {
#if defined(__AVX512BW__)
  const __m512i start = _mm512_set1_epi64(x);
  for (int i = 0; i < count; i += 16) _mm512_store_si512(keys + i, keyBlock(start, i));
#elif defined(__AVX2__)
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
#else
  const int rounded = (count + 15) / 16 * 16;
  for (int i = 0; i < rounded; i += 2) {
    keys[i] = keyOf(mulMod(x, static_cast<std::uint32_t>(kPowers.even[i / 2])));
    keys[i + 1] = keyOf(mulMod(x, static_cast<std::uint32_t>(kPowers.odd[i / 2])));
  }
#endif
}

inline int popCount(std::uint64_t w) { return __builtin_popcountll(w); }

#if defined(__AVX512BW__)
// Bit i: keys[i] (of 64) lies above the threshold; the four 16-bit masks
// are joined in mask registers.
inline std::uint64_t above64(const std::uint32_t* keys, __m512i threshold) {
  const __mmask16 k0 = _mm512_cmpgt_epu32_mask(_mm512_load_si512(keys), threshold);
  const __mmask16 k1 = _mm512_cmpgt_epu32_mask(_mm512_load_si512(keys + 16), threshold);
  const __mmask16 k2 = _mm512_cmpgt_epu32_mask(_mm512_load_si512(keys + 32), threshold);
  const __mmask16 k3 = _mm512_cmpgt_epu32_mask(_mm512_load_si512(keys + 48), threshold);
  return _cvtmask64_u64(_mm512_kunpackd(_mm512_kunpackw(k3, k2), _mm512_kunpackw(k1, k0)));
}
#endif

// Marks in bits[0..words - 1] the keys above t (bit i for keys[i]) and
// returns how many there are. The array holds words * 64 keys. (Keys are
// below 2^31, so a signed comparison orders them too.)
inline int keysAbove(const std::uint32_t* keys, int words, std::uint32_t t,
                       std::uint64_t* bits) {
  int count = 0;
#if defined(__AVX512BW__)
  const __m512i threshold = _mm512_set1_epi32(static_cast<int>(t));
  for (int w = 0; w < words; ++w) {
    const std::uint64_t word = above64(keys + 64 * w, threshold);
    bits[w] = word;
    count += popCount(word);
  }
#elif defined(__AVX2__)
  // States and thresholds are below 2^31: the signed comparison orders them.
  const __m256i threshold = _mm256_set1_epi32(static_cast<int>(t));
  for (int w = 0; w < words; ++w) {
    std::uint64_t word = 0;
    for (int q = 0; q < 8; ++q) {
      const __m256i v =
          _mm256_load_si256(reinterpret_cast<const __m256i*>(keys + 64 * w + 8 * q));
      const int m = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(v, threshold)));
      word |= static_cast<std::uint64_t>(static_cast<unsigned>(m)) << (8 * q);
    }
    bits[w] = word;
    count += popCount(word);
  }
#else
  for (int w = 0; w < words; ++w) {
    std::uint64_t word = 0;
    for (int j = 0; j < 64; ++j) word |= std::uint64_t{keys[64 * w + j] > t} << j;
    bits[w] = word;
    count += popCount(word);
  }
#endif
  return count;
}

// How many of the first `slots` keys (a multiple of 16) lie above t.
inline int countAbove(const std::uint32_t* keys, int slots, std::uint32_t t) {
  int count = 0;
#if defined(__AVX512BW__)
  const __m512i threshold = _mm512_set1_epi32(static_cast<int>(t));
  int i = 0;
  for (; i + 64 <= slots; i += 64) count += popCount(above64(keys + i, threshold));
  for (; i < slots; i += 16)
    count += __builtin_popcount(_mm512_cmpgt_epu32_mask(_mm512_load_si512(keys + i), threshold));
#elif defined(__AVX2__)
  const __m256i threshold = _mm256_set1_epi32(static_cast<int>(t));
  for (int i = 0; i < slots; i += 8) {
    const __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i*>(keys + i));
    count += __builtin_popcount(
        _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(v, threshold))));
  }
#else
  for (int i = 0; i < slots; ++i) count += keys[i] > t;
#endif
  return count;
}

// fillKeys for the n keys of a simulation (0 past them up to the 16th),
// and how many of them lie above t.
inline int fillKeysCounting(std::uint32_t x, int n, std::uint32_t t, std::uint32_t* keys) {
  fillKeys(x, n, keys);
  for (int i = n; i < (n + 15) / 16 * 16; ++i) keys[i] = 0;
  return countAbove(keys, (n + 15) / 16 * 16, t);
}

// Without replacement: marks the s trees with the largest draws. A key t
// with exactly s keys above it is searched for, by interpolation between
// the draws' values (draws are uniform), with bisections after five steps
// to bound their number; then the s-th and the next draw differ, and the
// trees above t are those the selection sort puts first. When no such key
// exists, equal draws straddle the s-th place and the exact choice
// decides. Keys past the n trees hold 0, below every threshold. (Searching
// several simulations side by side, so that their steps overlap, was
// measured slower here: the bookkeeping cost more than the overlap gave.)

// 1 / 2d for d = 0..256 (entry 0 unused): the interpolation's divisor.
struct HalfInverses {
  float value[kStateSlots + 1];
};
constexpr HalfInverses halfInverses() {
  HalfInverses h{};
  for (int d = 1; d <= kStateSlots; ++d) h.value[d] = 1.0f / static_cast<float>(2 * d);
  return h;
}
constexpr HalfInverses kHalfInverse = halfInverses();

inline std::uint32_t keyAt(float value) { return __builtin_bit_cast(std::uint32_t, value); }
inline float valueOf(std::uint32_t key) { return __builtin_bit_cast(float, key); }

// The first key every search tries (where s - 1/2 of n uniform draws
// would lie above), and the largest key there is.
inline std::uint32_t topKey() { return keyOf(kModulus); }
inline std::uint32_t firstKey(int n, int s) {
  const float top = valueOf(topKey());
  const std::uint32_t t = keyAt(top - top * static_cast<float>(2 * s - 1) * kHalfInverse.value[n]);
  return t < 1 ? 1 : t >= topKey() ? topKey() - 1 : t;
}

// What is known of the s-th largest key before or during the search:
// more than s keys (ca of them) lie above a, fewer than s (cb) above b.
struct Bracket {
  std::uint32_t a = 0;
  std::uint32_t b = topKey();
  int ca = 0;
  int cb = 0;
};

// Narrows `bracket` by the count c of keys above t; true when c == s
// (t then separates the s largest keys from the rest).
inline bool narrow(Bracket& bracket, std::uint32_t t, int c, int s) {
  // Without branches: which side the count falls on is random.
  bracket.a = c > s ? t : bracket.a;
  bracket.ca = c > s ? c : bracket.ca;
  bracket.b = c < s ? t : bracket.b;
  bracket.cb = c < s ? c : bracket.cb;
  return c == s;
}

// Marks in `chosen` the s largest keys of the n within `bracket`. The
// first key tried, from the whole range, is firstKey(n, s).
inline void chooseLargest(const std::uint32_t* keys, int n, int words, int s, Bracket bracket,
                          std::uint64_t* chosen) {
  const int slots = (n + 15) / 16 * 16;
  for (int step = 0;; ++step) {
    const std::uint32_t a = bracket.a;
    const std::uint32_t b = bracket.b;
    if (b - a <= 1) {  // equal draws: no key separates them
      chooseExactly(keys, n, s, chosen);
      return;
    }
    std::uint32_t t;
    if (step >= 5 && (step & 1) == 1) {
      t = a + (b - a) / 2;
    } else {
      // Where s - 1/2 of the draws would lie above, were those between a
      // and b spread evenly.
      const float low = valueOf(a);
      const float high = valueOf(b);
      t = keyAt(high - (high - low) * static_cast<float>(2 * (s - bracket.cb) - 1) *
                           kHalfInverse.value[bracket.ca - bracket.cb]);
    }
    t = t <= a ? a + 1 : t;
    t = t >= b ? b - 1 : t;
    if (narrow(bracket, t, countAbove(keys, slots, t), s)) {
      keysAbove(keys, words, t, chosen);
      return;
    }
  }
}

#if defined(__AVX512BW__)
// With AVX-512 the first reading of the keys, as they are made, does more
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
    above = gatherWindow(keys, (n + 15) / 16 * 16, w, gathered, inWindow);
  }
  chooseLargest(keys, n, words, s, bracket, chosen);
}
#endif

// The largest key among the trees of `row` (a tree mask).
inline std::uint32_t largestOf(const std::uint32_t* keys, int words, const std::uint64_t* row) {
  std::uint32_t largest = 0;
#if defined(__AVX512BW__)
  __m512i m = _mm512_setzero_si512();
  for (int w = 0; w < words; ++w) {
    for (int q = 0; q < 4; ++q) {
      const __mmask16 k = static_cast<__mmask16>(row[w] >> (16 * q));
      m = _mm512_mask_max_epu32(m, k, m, _mm512_load_si512(keys + 64 * w + 16 * q));
    }
  }
  alignas(64) std::uint32_t lanes[16];
  _mm512_store_si512(lanes, m);
  for (int j = 0; j < 16; ++j) largest = lanes[j] > largest ? lanes[j] : largest;
#elif defined(__AVX2__)
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
  for (int j = 0; j < 8; ++j) largest = lanes[j] > largest ? lanes[j] : largest;
#else
  for (int i = 0; i < 64 * words; ++i) {
    const std::uint32_t x = (row[i >> 6] >> (i & 63)) & 1u ? keys[i] : 0;
    largest = x > largest ? x : largest;
  }
#endif
  return largest;
}

// How many keys exceed key x, and how many equal it (x itself included).
inline void keysAround(const std::uint32_t* keys, int slots, std::uint32_t x, int& above,
                       int& equal) {
  int greater = 0;
  int same = 0;
#if defined(__AVX512BW__)
  const __m512i xv = _mm512_set1_epi32(static_cast<int>(x));
  for (int i = 0; i < slots; i += 16) {
    const __m512i v = _mm512_load_si512(keys + i);
    greater += __builtin_popcount(_mm512_cmpgt_epu32_mask(v, xv));
    same += __builtin_popcount(_mm512_cmpeq_epu32_mask(v, xv));
  }
#elif defined(__AVX2__)
  const __m256i xv = _mm256_set1_epi32(static_cast<int>(x));
  for (int i = 0; i < slots; i += 8) {
    const __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i*>(keys + i));
    greater += __builtin_popcount(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(v, xv))));
    same += __builtin_popcount(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(v, xv))));
  }
#else
  for (int i = 0; i < slots; ++i) {
    greater += keys[i] > x;
    same += keys[i] == x;
  }
#endif
  above = greater;
  equal = same;
}

// Without replacement, for few open years: each year is tested on its own.
// A year is found when the largest draw of its trees is among the s
// largest: missed when s draws exceed it, found when it and every draw
// equal to it fit in the first s places; otherwise equal draws straddle
// the s-th place and the exact choice decides.
inline void countDirectly(const SpanModel& m, int open, const std::uint32_t* keys, int n,
                          int treeWords, int s, int& first, int& second) {
  int one = 0;
  int two = 0;
  bool exact = false;
  std::uint64_t chosen[kTreeWords];
  for (int e = 0; e < open; ++e) {
    const std::uint64_t* row = m.yearTrees + static_cast<std::size_t>(e) * kTreeWords;
    int above = 0;
    int equal = 0;
    keysAround(keys, (n + 15) / 16 * 16, largestOf(keys, treeWords, row), above, equal);
    int found;
    if (above >= s) {
      found = 0;
    } else if (above + equal <= s) {
      found = 1;
    } else {
      if (!exact) chooseExactly(keys, n, s, chosen);
      exact = true;
      std::uint64_t hit = 0;
      for (int w = 0; w < treeWords; ++w) hit |= row[w] & chosen[w];
      found = hit != 0;
    }
    one += found;
    two += found & static_cast<int>((m.second[e >> 6] >> (e & 63)) & 1u);
  }
  first = one;
  second = two;
}

// The open event years found by the chosen trees, and those of them that
// count for threshold 2, year by year.
inline void countByYear(const SpanModel& m, int open, const std::uint64_t* chosen, int treeWords,
                        int& first, int& second) {
  int one = 0;
  int two = 0;
#if defined(__AVX2__)
  // All four words of a year's trees against the chosen at once.
  (void)treeWords;
  const __m256i picked = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(chosen));
#endif
  for (int base = 0; base < open; base += 64) {
    const int end = open - base < 64 ? open - base : 64;
    std::uint64_t found = 0;
    int j = 0;
#if defined(__AVX512BW__)
    // Two years' rows (eight words) against the chosen trees at once: a
    // year is found when any of its four words meets them.
    const __m512i picked2 = _mm512_broadcast_i64x4(picked);
    // Eight years a step: their 32 word tests gathered in one mask, each
    // year's four bits folded into one and picked out.
    for (; j + 8 <= end; j += 8) {
      const std::uint64_t* row = m.yearTrees + static_cast<std::size_t>(base + j) * kTreeWords;
      const unsigned meet =
          static_cast<unsigned>(_mm512_test_epi64_mask(_mm512_loadu_si512(row), picked2)) |
          static_cast<unsigned>(_mm512_test_epi64_mask(_mm512_loadu_si512(row + 8), picked2)) << 8 |
          static_cast<unsigned>(_mm512_test_epi64_mask(_mm512_loadu_si512(row + 16), picked2)) << 16 |
          static_cast<unsigned>(_mm512_test_epi64_mask(_mm512_loadu_si512(row + 24), picked2)) << 24;
      unsigned any = meet | (meet >> 1);
      any |= any >> 2;
      found |= static_cast<std::uint64_t>(_pext_u32(any, 0x11111111u)) << j;
    }
    for (; j + 2 <= end; j += 2) {
      const std::uint64_t* row = m.yearTrees + static_cast<std::size_t>(base + j) * kTreeWords;
      const unsigned meet = _mm512_test_epi64_mask(_mm512_loadu_si512(row), picked2);
      const std::uint64_t pair = ((meet & 0x0Fu) != 0) | (((meet & 0xF0u) != 0) << 1);
      found |= pair << j;
    }
#endif
    for (; j < end; ++j) {
      const std::uint64_t* row = m.yearTrees + static_cast<std::size_t>(base + j) * kTreeWords;
#if defined(__AVX2__)
      const int hit =
          !_mm256_testz_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row)), picked);
#else
      std::uint64_t bits = 0;
      for (int w = 0; w < treeWords; ++w) bits |= row[w] & chosen[w];
      const int hit = bits != 0;
#endif
      found |= static_cast<std::uint64_t>(hit) << j;
    }
    one += popCount(found);
    two += popCount(found & m.second[base / 64]);
  }
  first = one;
  second = two;
}

// The same by the union of the chosen trees' event years; stops adding
// trees once every open year is found. W words of event years (W = 0:
// any number, read from `open`); with W fixed the union stays in
// registers.
template <int W>
inline void unionOf(const SpanModel& m, int open, const std::uint64_t* chosen, int treeWords,
                    int& first, int& second) {
  constexpr int kMaxWords = 4096 / 64;
  const int words = W > 0 ? W : (open + 63) / 64;
  std::uint64_t wanted[W > 0 ? W : kMaxWords];
  std::uint64_t seen[W > 0 ? W : kMaxWords];
  for (int w = 0; w < words; ++w) {
    wanted[w] = ~std::uint64_t{0};
    seen[w] = 0;
  }
  if (open % 64 != 0) wanted[words - 1] = (std::uint64_t{1} << (open % 64)) - 1;
  int added = 0;
  for (int cw = 0; cw < treeWords; ++cw) {
    std::uint64_t bits = chosen[cw];
    while (bits != 0) {
      const int t = 64 * cw + __builtin_ctzll(bits);
      bits &= bits - 1;
      const std::uint64_t* row = m.treeYears + static_cast<std::size_t>(t) * m.words;
      for (int w = 0; w < words; ++w) seen[w] |= row[w];
      if ((++added & 7) == 0) {
        std::uint64_t missing = 0;
        for (int w = 0; w < words; ++w) missing |= wanted[w] & ~seen[w];
        if (missing == 0) {
          cw = treeWords;
          break;
        }
      }
    }
  }
  int one = 0;
  int two = 0;
  for (int w = 0; w < words; ++w) {
    const std::uint64_t found = seen[w] & wanted[w];
    one += popCount(found);
    two += popCount(found & m.second[w]);
  }
  first = one;
  second = two;
}

inline void countByUnion(const SpanModel& m, int open, const std::uint64_t* chosen, int treeWords,
                         int& first, int& second) {
  switch ((open + 63) / 64) {
    case 1:
      unionOf<1>(m, open, chosen, treeWords, first, second);
      return;
    case 2:
      unionOf<2>(m, open, chosen, treeWords, first, second);
      return;
    case 3:
      unionOf<3>(m, open, chosen, treeWords, first, second);
      return;
    case 4:
      unionOf<4>(m, open, chosen, treeWords, first, second);
      return;
    default:
      unionOf<0>(m, open, chosen, treeWords, first, second);
      return;
  }
}

// With replacement: marks the trees the first s draws choose,
// trunc(draw * n) + 1 each (as tree index trunc(draw * n)); a draw of 1.0
// chooses no tree. The product of a single-precision draw and n is exact
// in double, and so is the key's value times n * 2^-31. The vector builds
// place each tree's bit by a variable shift in the 64-bit lane of its word:
// a shift of 64 or more (or "negative") gives 0.
inline void chooseWithReplacement(const std::uint32_t* keys, int n, int s, double trees,
                                  std::uint64_t* chosen) {
#if defined(__AVX512BW__)
  const __m512d scale = _mm512_set1_pd(trees * 4.656612873077392578125e-10);
  const __m512i limit = _mm512_set1_epi64(n);
  const __m512i none = _mm512_set1_epi64(1024);
  const __m512i one = _mm512_set1_epi64(1);
  __m512i word[kTreeWords];
  for (int w = 0; w < kTreeWords; ++w) word[w] = _mm512_setzero_si512();
  for (int i = 0; i < s; i += 8) {
    const __m256 values = _mm256_castsi256_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(keys + i)));
    __m512i t = _mm512_cvttpd_epi64(_mm512_mul_pd(_mm512_cvtps_pd(values), scale));
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
#elif defined(__AVX2__)
  const __m256d scale = _mm256_set1_pd(trees * 4.656612873077392578125e-10);
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
#else
  std::uint64_t word[kTreeWords] = {};
  for (int i = 0; i < s; ++i) {
    const int t = static_cast<int>(static_cast<double>(drawOfKey(keys[i])) * trees);
    for (int w = 0; w < kTreeWords; ++w) {
      const int shift = t - 64 * w;
      word[w] |= t < n && shift >= 0 && shift < 64 ? std::uint64_t{1} << shift : 0;
    }
  }
  for (int w = 0; w < kTreeWords; ++w) chosen[w] = word[w];
#endif
}

// The open years the chosen trees find, and those of them that count for
// threshold 2, the way the task says is cheaper.
inline void countFound(const SpanModel& m, const SizeTask& task, const std::uint64_t* chosen,
                       int treeWords, int& first, int& second) {
  if (task.byUnion) {
    countByUnion(m, task.open, chosen, treeWords, first, second);
  } else {
    countByYear(m, task.open, chosen, treeWords, first, second);
  }
}

// Without replacement, the open years of one simulation found and those
// of them that count for threshold 2, from its keys (zero past the n trees
// up to a whole word), when there are few enough to test each on its own.
inline void countDirectly(const SpanModel& m, const SizeTask& task, const std::uint32_t* keys,
                          int* first, int* second) {
  countDirectly(m, task.open, keys, m.trees, (m.trees + 63) / 64, task.sampleSize, *first,
                *second);
}

// The same when there are more: the chosen trees are found first, the
// s largest keys within `bracket`.
inline void countBySearch(const SpanModel& m, const SizeTask& task, const std::uint32_t* keys,
                          const Bracket& bracket, int* first, int* second) {
  const int treeWords = (m.trees + 63) / 64;
  std::uint64_t chosen[kTreeWords] = {};
  chooseLargest(keys, m.trees, treeWords, task.sampleSize, bracket, chosen);
  countFound(m, task, chosen, treeWords, *first, *second);
}

inline void runTask(const SpanModel& m, const SizeTask& task) {
  const int n = m.trees;
  const int s = task.sampleSize;
  const int treeWords = (n + 63) / 64;
  alignas(64) std::uint32_t keys[kStateSlots];
  for (int i = 0; i < kStateSlots; ++i) keys[i] = 0;
  std::uint64_t chosen[kTreeWords] = {};
  std::uint32_t x = task.state;
  const double trees = n;
  if (!task.withReplacement && task.open <= kDirectYears) {
    for (int sim = 0; sim < task.simulations; ++sim) {
      fillKeys(x, n, keys);
      // Slots past the last tree hold 0: below every key.
      for (int i = n; i < 64 * treeWords; ++i) keys[i] = 0;
      countDirectly(m, task, keys, task.first + sim, task.second + sim);
      x = mulMod(x, task.stride);
    }
    return;
  }
  if (!task.withReplacement) {
#if defined(__AVX512BW__)
    Bracket whole;
    whole.ca = n;
    const Window window = windowWithin(whole, s);
    alignas(64) std::uint32_t gathered[kStateSlots + 16];
    for (int sim = 0; sim < task.simulations; ++sim) {
      int inWindow = 0;
      const int above = fillKeysGathering(x, n, window, keys, gathered, inWindow);
      chooseFromWindow(keys, n, treeWords, s, window, above, gathered, inWindow, chosen);
      countFound(m, task, chosen, treeWords, task.first[sim], task.second[sim]);
      x = mulMod(x, task.stride);
    }
#else
    // The first key the search tries is counted as the keys are made.
    const std::uint32_t t0 = firstKey(n, s);
    for (int sim = 0; sim < task.simulations; ++sim) {
      const int above = fillKeysCounting(x, n, t0, keys);
      Bracket bracket;
      bracket.ca = n;
      if (narrow(bracket, t0, above, s)) {
        keysAbove(keys, treeWords, t0, chosen);
        countFound(m, task, chosen, treeWords, task.first[sim], task.second[sim]);
      } else {
        countBySearch(m, task, keys, bracket, task.first + sim, task.second + sim);
      }
      x = mulMod(x, task.stride);
    }
#endif
    return;
  }
  for (int sim = 0; sim < task.simulations; ++sim) {
    // Only the first s draws choose trees: trunc(draw * n) + 1, the
    // product exact in double; a draw of 1.0 chooses no tree.
    fillKeys(x, s, keys);
    chooseWithReplacement(keys, n, s, trees, chosen);
    countFound(m, task, chosen, treeWords, task.first[sim], task.second[sim]);
    x = mulMod(x, task.stride);
  }
}

// The same from the generator states of the simulation (the tests' way
// in): by the windows where the build gathers them, otherwise by the
// search from the whole range of keys.
inline void countFromStates(const SpanModel& m, const SizeTask& task, const std::uint32_t* states,
                            int* first, int* second) {
  alignas(64) std::uint32_t keys[kStateSlots] = {};
  for (int i = 0; i < m.trees; ++i) keys[i] = keyOf(states[i]);
  if (task.open <= kDirectYears) {
    countDirectly(m, task, keys, first, second);
    return;
  }
  Bracket whole;
  whole.ca = m.trees;
#if defined(__AVX512BW__)
  const int n = m.trees;
  const int treeWords = (n + 63) / 64;
  const Window window = windowWithin(whole, task.sampleSize);
  alignas(64) std::uint32_t gathered[kStateSlots + 16];
  int inWindow = 0;
  const int above = gatherWindow(keys, (n + 15) / 16 * 16, window, gathered, inWindow);
  std::uint64_t chosen[kTreeWords] = {};
  chooseFromWindow(keys, n, treeWords, task.sampleSize, window, above, gathered, inWindow, chosen);
  countFound(m, task, chosen, treeWords, *first, *second);
#else
  countBySearch(m, task, keys, whole, first, second);
#endif
}

constexpr Entry kEntry{runTask, countFromStates};

}  // namespace
}  // namespace rova::kernel

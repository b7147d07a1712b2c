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

// 48271^1 .. 48271^256 modulo 2^31 - 1: the state i + 1 draws after x is
// x * power[i], so every state of a simulation is computed on its own and
// the multiplications do not wait for each other.
struct StatePowers {
  std::uint64_t power[kStateSlots];
};
constexpr StatePowers statePowers() {
  StatePowers p{};
  std::uint64_t r = 1;
  for (int k = 0; k < kStateSlots; ++k) {
    r = r * kMultiplier % kModulus;
    p.power[k] = r;
  }
  return p;
}
alignas(64) constexpr StatePowers kPowers = statePowers();

// states[0..count rounded up to 16] = the states after 1, 2, ... draws
// from x.
inline void fillStates(std::uint32_t x, int count, std::uint32_t* states) {
#if defined(__AVX512BW__)
  // Sixteen states a step, as two registers of eight 64-bit products. The
  // first fold of a product leaves less than 2^32, so the second is made
  // on the sixteen lanes narrowed to 32 bits at once.
  const __m512i modulus = _mm512_set1_epi64(kModulus);
  const __m512i modulus32 = _mm512_set1_epi32(static_cast<int>(kModulus));
  const __m512i start = _mm512_set1_epi64(x);
  auto foldOnce = [&](__m512i p) {
    return _mm512_add_epi64(_mm512_and_si512(p, modulus), _mm512_srli_epi64(p, 31));
  };
  for (int i = 0; i < count; i += 16) {
    const __m512i low = foldOnce(_mm512_mul_epu32(start, _mm512_load_si512(kPowers.power + i)));
    const __m512i high =
        foldOnce(_mm512_mul_epu32(start, _mm512_load_si512(kPowers.power + i + 8)));
    __m512i block = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi64_epi32(low)),
                                       _mm512_cvtepi64_epi32(high), 1);
    block = _mm512_add_epi32(_mm512_and_si512(block, modulus32), _mm512_srli_epi32(block, 31));
    _mm512_store_si512(states + i, block);
  }
#else
  const int rounded = (count + 15) / 16 * 16;
  for (int i = 0; i < rounded; ++i) {
    states[i] = mulMod(x, static_cast<std::uint32_t>(kPowers.power[i]));
  }
#endif
}

inline int popCount(std::uint64_t w) { return __builtin_popcountll(w); }

// Marks in bits[0..words - 1] the states above t (bit i for states[i])
// and returns how many there are. states holds words * 64 entries.
inline int statesAbove(const std::uint32_t* states, int words, std::uint32_t t,
                       std::uint64_t* bits) {
  int count = 0;
#if defined(__AVX512BW__)
  const __m512i threshold = _mm512_set1_epi32(static_cast<int>(t));
  for (int w = 0; w < words; ++w) {
    std::uint64_t word = 0;
    for (int q = 0; q < 4; ++q) {
      const __m512i v = _mm512_load_si512(states + 64 * w + 16 * q);
      word |= std::uint64_t{_mm512_cmpgt_epu32_mask(v, threshold)} << (16 * q);
    }
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
          _mm256_load_si256(reinterpret_cast<const __m256i*>(states + 64 * w + 8 * q));
      const int m = _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpgt_epi32(v, threshold)));
      word |= static_cast<std::uint64_t>(static_cast<unsigned>(m)) << (8 * q);
    }
    bits[w] = word;
    count += popCount(word);
  }
#else
  for (int w = 0; w < words; ++w) {
    std::uint64_t word = 0;
    for (int j = 0; j < 64; ++j) word |= std::uint64_t{states[64 * w + j] > t} << j;
    bits[w] = word;
    count += popCount(word);
  }
#endif
  return count;
}

// The draw a state gives: state * 2^-31 in single precision.
inline float drawOf(std::uint32_t x) {
  return static_cast<float>(static_cast<std::int32_t>(x)) * 4.656612873077392578125e-10f;
}

// Without replacement: marks the s trees with the largest draws. The
// states order exactly as their draws do, except that nearby states can
// give the same draw; a threshold state with exactly s states above it is
// found by interpolation (the states are uniform), and if the chosen and
// the left-out trees' draws meet at one value, the exact choice decides.
inline void chooseLargest(const std::uint32_t* states, int n, int words, int s,
                          std::uint64_t* chosen) {
  std::uint32_t a = 0;  // more than s states above a
  int ca = n;
  std::uint32_t b = kModulus;  // fewer than s states above b
  int cb = 0;
  std::uint32_t threshold = 0;
  for (int step = 0;; ++step) {
    if (b - a <= 1) {  // equal states: no threshold separates them
      chooseExactly(states, n, s, chosen);
      return;
    }
    std::uint32_t t;
    if ((step & 3) == 3) {
      t = a + (b - a) / 2;  // a bisection now and then bounds the steps
    } else {
      // Where s - 1/2 of the states would lie above, were those between
      // a and b spread evenly.
      const std::uint64_t width = b - a;
      t = b - static_cast<std::uint32_t>(width * static_cast<std::uint64_t>(2 * (s - cb) - 1) /
                                         static_cast<std::uint64_t>(2 * (ca - cb)));
      if (t <= a) t = a + 1;
      if (t >= b) t = b - 1;
    }
    const int c = statesAbove(states, words, t, chosen);
    if (c == s) {
      threshold = t;
      break;
    }
    if (c > s) {
      a = t;
      ca = c;
    } else {
      b = t;
      cb = c;
    }
  }
  // The smallest chosen and the largest left-out state: equal draws there
  // mean that the selection sort's exchanges decide.
  // The slots past the last tree hold 0 and change neither.
  std::uint32_t lowest = kModulus;
  std::uint32_t highest = 0;
#if defined(__AVX512BW__)
  {
    const __m512i t = _mm512_set1_epi32(static_cast<int>(threshold));
    __m512i low = _mm512_set1_epi32(static_cast<int>(kModulus));
    __m512i high = _mm512_setzero_si512();
    for (int i = 0; i < 64 * words; i += 16) {
      const __m512i v = _mm512_load_si512(states + i);
      const __mmask16 k = _mm512_cmpgt_epu32_mask(v, t);
      low = _mm512_mask_min_epu32(low, k, low, v);
      high = _mm512_mask_max_epu32(high, static_cast<__mmask16>(~k), high, v);
    }
    alignas(64) std::uint32_t lows[16];
    alignas(64) std::uint32_t highs[16];
    _mm512_store_si512(lows, low);
    _mm512_store_si512(highs, high);
    for (int j = 0; j < 16; ++j) {
      lowest = lows[j] < lowest ? lows[j] : lowest;
      highest = highs[j] > highest ? highs[j] : highest;
    }
  }
#elif defined(__AVX2__)
  {
    const __m256i t = _mm256_set1_epi32(static_cast<int>(threshold));
    const __m256i top = _mm256_set1_epi32(static_cast<int>(kModulus));
    __m256i low = top;
    __m256i high = _mm256_setzero_si256();
    for (int i = 0; i < 64 * words; i += 8) {
      const __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i*>(states + i));
      const __m256i above = _mm256_cmpgt_epi32(v, t);
      low = _mm256_min_epu32(low, _mm256_blendv_epi8(top, v, above));
      high = _mm256_max_epu32(high, _mm256_andnot_si256(above, v));
    }
    alignas(32) std::uint32_t lows[8];
    alignas(32) std::uint32_t highs[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lows), low);
    _mm256_store_si256(reinterpret_cast<__m256i*>(highs), high);
    for (int j = 0; j < 8; ++j) {
      lowest = lows[j] < lowest ? lows[j] : lowest;
      highest = highs[j] > highest ? highs[j] : highest;
    }
  }
#else
  for (int i = 0; i < n; ++i) {
    const std::uint32_t x = states[i];
    if (x > threshold) {
      lowest = x < lowest ? x : lowest;
    } else {
      highest = x > highest ? x : highest;
    }
  }
#endif
  if (drawOf(lowest) == drawOf(highest)) chooseExactly(states, n, s, chosen);
}

// The largest state among the trees of `row` (a tree mask).
inline std::uint32_t largestOf(const std::uint32_t* states, int words, const std::uint64_t* row) {
  std::uint32_t largest = 0;
#if defined(__AVX512BW__)
  __m512i m = _mm512_setzero_si512();
  for (int w = 0; w < words; ++w) {
    for (int q = 0; q < 4; ++q) {
      const __mmask16 k = static_cast<__mmask16>(row[w] >> (16 * q));
      m = _mm512_mask_max_epu32(m, k, m, _mm512_load_si512(states + 64 * w + 16 * q));
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
      const __m256i v = _mm256_load_si256(reinterpret_cast<const __m256i*>(states + 64 * w + 8 * q));
      m = _mm256_max_epu32(m, _mm256_and_si256(v, _mm256_cmpeq_epi32(pick, bit)));
    }
  }
  alignas(32) std::uint32_t lanes[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), m);
  for (int j = 0; j < 8; ++j) largest = lanes[j] > largest ? lanes[j] : largest;
#else
  for (int i = 0; i < 64 * words; ++i) {
    const std::uint32_t x = (row[i >> 6] >> (i & 63)) & 1u ? states[i] : 0;
    largest = x > largest ? x : largest;
  }
#endif
  return largest;
}

// How many draws exceed the draw of state x, and how many equal it. The
// draws compare as the states converted to single precision do (the
// scaling by 2^-31 is exact); slots past the last tree hold 0, below every
// draw.
inline void drawsAround(const std::uint32_t* states, int words, std::uint32_t x, int& above,
                        int& equal) {
  const float d = static_cast<float>(static_cast<std::int32_t>(x));
  int greater = 0;
  int atLeast = 0;
#if defined(__AVX512BW__)
  const __m512 dv = _mm512_set1_ps(d);
  for (int i = 0; i < 64 * words; i += 16) {
    const __m512 v = _mm512_cvtepi32_ps(_mm512_load_si512(states + i));
    greater += __builtin_popcount(_mm512_cmp_ps_mask(v, dv, _CMP_GT_OQ));
    atLeast += __builtin_popcount(_mm512_cmp_ps_mask(v, dv, _CMP_GE_OQ));
  }
#elif defined(__AVX2__)
  const __m256 dv = _mm256_set1_ps(d);
  for (int i = 0; i < 64 * words; i += 8) {
    const __m256 v =
        _mm256_cvtepi32_ps(_mm256_load_si256(reinterpret_cast<const __m256i*>(states + i)));
    greater += __builtin_popcount(_mm256_movemask_ps(_mm256_cmp_ps(v, dv, _CMP_GT_OQ)));
    atLeast += __builtin_popcount(_mm256_movemask_ps(_mm256_cmp_ps(v, dv, _CMP_GE_OQ)));
  }
#else
  for (int i = 0; i < 64 * words; ++i) {
    const float v = static_cast<float>(static_cast<std::int32_t>(states[i]));
    greater += v > d;
    atLeast += v >= d;
  }
#endif
  above = greater;
  equal = atLeast - greater;
}

// Without replacement, for few open years: each year is tested on its own.
// A year is found when the largest draw of its trees is among the s
// largest: missed when s draws exceed it, found when it and every draw
// equal to it fit in the first s places; otherwise equal draws straddle
// the s-th place and the exact choice decides.
inline void countDirectly(const SpanModel& m, int open, const std::uint32_t* states, int n,
                          int treeWords, int s, int& first, int& second) {
  int one = 0;
  int two = 0;
  bool exact = false;
  std::uint64_t chosen[kTreeWords];
  for (int e = 0; e < open; ++e) {
    const std::uint64_t* row = m.yearTrees + static_cast<std::size_t>(e) * kTreeWords;
    int above = 0;
    int equal = 0;
    drawsAround(states, treeWords, largestOf(states, treeWords, row), above, equal);
    int found;
    if (above >= s) {
      found = 0;
    } else if (above + equal <= s) {
      found = 1;
    } else {
      if (!exact) chooseExactly(states, n, s, chosen);
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
  for (int e = 0; e < open; ++e) {
    const std::uint64_t* row = m.yearTrees + static_cast<std::size_t>(e) * kTreeWords;
    std::uint64_t hit = 0;
    for (int w = 0; w < treeWords; ++w) hit |= row[w] & chosen[w];
    const int found = hit != 0;
    one += found;
    two += found & static_cast<int>((m.second[e >> 6] >> (e & 63)) & 1u);
  }
  first = one;
  second = two;
}

// The same by the union of the chosen trees' event years; stops adding
// trees once every open year is found.
inline void countByUnion(const SpanModel& m, int open, const std::uint64_t* chosen, int treeWords,
                         int& first, int& second) {
  constexpr int kMaxWords = 4096 / 64;
  const int words = (open + 63) / 64;
  std::uint64_t wanted[kMaxWords];
  std::uint64_t seen[kMaxWords];
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

// One simulation without replacement from its states (zero past the n
// trees up to a whole word): the open years found, and those of them
// that count for threshold 2.
inline void countWithoutReplacement(const SpanModel& m, const SizeTask& task,
                                    const std::uint32_t* states, int* first, int* second) {
  const int n = m.trees;
  const int treeWords = (n + 63) / 64;
  if (task.open <= kDirectYears) {
    countDirectly(m, task.open, states, n, treeWords, task.sampleSize, *first, *second);
    return;
  }
  std::uint64_t chosen[kTreeWords];
  chooseLargest(states, n, treeWords, task.sampleSize, chosen);
  if (task.byUnion) {
    countByUnion(m, task.open, chosen, treeWords, *first, *second);
  } else {
    countByYear(m, task.open, chosen, treeWords, *first, *second);
  }
}

inline void runTask(const SpanModel& m, const SizeTask& task) {
  const int n = m.trees;
  const int s = task.sampleSize;
  const int treeWords = (n + 63) / 64;
  alignas(64) std::uint32_t states[kStateSlots];
  for (int i = 0; i < kStateSlots; ++i) states[i] = 0;
  std::uint64_t chosen[kTreeWords];
  std::uint32_t x = task.state;
  const double count = n;
  for (int sim = 0; sim < task.simulations; ++sim) {
    if (!task.withReplacement) {
      fillStates(x, n, states);
      // Slots past the last tree hold 0: below every threshold.
      for (int i = n; i < 64 * treeWords; ++i) states[i] = 0;
      countWithoutReplacement(m, task, states, task.first + sim, task.second + sim);
    } else {
      // Only the first s draws choose trees: trunc(draw * n) + 1, the
      // product exact in double; a draw of 1.0 chooses no tree.
      fillStates(x, s, states);
      for (int w = 0; w < kTreeWords; ++w) chosen[w] = 0;
      for (int i = 0; i < s; ++i) {
        const int t = static_cast<int>(static_cast<double>(drawOf(states[i])) * count);
        if (t < n) chosen[t >> 6] |= std::uint64_t{1} << (t & 63);
      }
      if (task.byUnion) {
        countByUnion(m, task.open, chosen, treeWords, task.first[sim], task.second[sim]);
      } else {
        countByYear(m, task.open, chosen, treeWords, task.first[sim], task.second[sim]);
      }
    }
    x = mulMod(x, task.stride);
  }
}

constexpr Entry kEntry{runTask, countWithoutReplacement};

}  // namespace
}  // namespace rova::kernel

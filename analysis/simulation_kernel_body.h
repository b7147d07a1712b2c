// The simulations' inner loop, written once over the primitives of one
// build (see simulation_kernel.h): included by each build's source file
// after that build's header of primitives (simulation_kernel_portable.h,
// _avx2.h or _avx512.h), which give fillKeys, keysAbove, countAbove,
// largestOf, keysAround, chooseWithReplacement and yearsMet. Every function
// here has internal linkage and uses nothing but built-in operations, so no
// code compiled for one processor can be taken by the linker for another.
//
// How a simulation without replacement finds its s chosen trees is a
// selection strategy: SearchSelection below, or the AVX-512 build's
// WindowSelection (simulation_kernel_window.h); the build's source file
// names its strategy in entryOf<Strategy>().
#pragma once

#include <cstddef>
#include <cstdint>

#include "analysis/simulation_kernel_keys.h"

namespace rova::kernel {
namespace {

// Without replacement, up to this many open years are tested each on its
// own; more, and the chosen trees are found first.
constexpr int kDirectYears = 2;

// Without replacement: the s trees with the largest draws. A key t with
// exactly s keys above it is searched for, by interpolation between the
// draws' values (draws are uniform), with bisections after five steps to
// bound their number; then the s-th and the next draw differ, and the
// trees above t are those the selection sort puts first. When no such key
// exists, equal draws straddle the s-th place and the exact choice
// decides. Keys past the n trees hold 0, below every threshold.
// (Searching several simulations side by side, so that their steps
// overlap, was measured slower: the bookkeeping cost more than the overlap
// gave.)

// 1 / 2d for d = 0..kStateSlots (entry 0 unused): the interpolation's
// divisor.
struct HalfInverses {
  float value[kStateSlots + 1];
};
constexpr HalfInverses halfInverses() {
  HalfInverses h{};
  for (int d = 1; d <= kStateSlots; ++d) h.value[d] = 1.0f / static_cast<float>(2 * d);
  return h;
}
constexpr HalfInverses kHalfInverse = halfInverses();

// The first key a search tries: where s - 1/2 of n uniform draws would lie
// above.
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
[[gnu::always_inline]] inline void chooseLargest(const std::uint32_t* keys, int n, int words, int s, Bracket bracket,
                          std::uint64_t* chosen) {
  const int slots = slotsOf(n);
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

// The selection by search: the first key tried is counted as the keys are
// made, and when it does not separate the s largest the search goes on
// from what that count says.
class SearchSelection {
 public:
  SearchSelection(int n, int s) : n_(n), s_(s), words_((n + 63) / 64), first_(firstKey(n, s)) {}

  // Makes the keys of the simulation whose states follow x (0 past the n
  // trees up to the 16th) and marks its s chosen trees.
  void choose(std::uint32_t x, std::uint32_t* keys, std::uint64_t* chosen) const {
    // Copied, since the stores to the keys could change them as far as the
    // compiler knows.
    const int n = n_;
    const int s = s_;
    const int words = words_;
    const std::uint32_t first = first_;
    fillKeys(x, n, keys);
    for (int i = n; i < slotsOf(n); ++i) keys[i] = 0;
    Bracket bracket;
    bracket.ca = n;
    if (narrow(bracket, first, countAbove(keys, slotsOf(n), first), s)) {
      keysAbove(keys, words, first, chosen);
    } else {
      chooseLargest(keys, n, words, s, bracket, chosen);
    }
  }

  // The same from keys already made (0 past the n trees).
  void chooseAmong(const std::uint32_t* keys, std::uint64_t* chosen) const {
    Bracket whole;
    whole.ca = n_;
    chooseLargest(keys, n_, words_, s_, whole, chosen);
  }

 private:
  int n_;
  int s_;
  int words_;
  std::uint32_t first_;
};

// Without replacement, for few open years: each year is tested on its own.
// A year is found when the largest draw of its trees is among the s
// largest: missed when s draws exceed it, found when it and every draw
// equal to it fit in the first s places; otherwise equal draws straddle
// the s-th place and the exact choice decides. `keys` hold 0 past the n
// trees up to a whole word.
inline void countDirectly(const SpanModel& m, int open, const std::uint32_t* keys, int s,
                          int& first, int& second) {
  const int n = m.trees;
  const int treeWords = (n + 63) / 64;
  int one = 0;
  int two = 0;
  bool exact = false;
  std::uint64_t chosen[kTreeWords];
  for (int e = 0; e < open; ++e) {
    const std::uint64_t* row = m.yearTrees + static_cast<std::size_t>(e) * kTreeWords;
    int above = 0;
    int equal = 0;
    keysAround(keys, slotsOf(n), largestOf(keys, treeWords, row), above, equal);
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
  for (int base = 0; base < open; base += 64) {
    const int count = open - base < 64 ? open - base : 64;
    const std::uint64_t found =
        yearsMet(m.yearTrees + static_cast<std::size_t>(base) * kTreeWords, count, chosen, treeWords);
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
  const int words = W > 0 ? W : (open + 63) / 64;
  std::uint64_t wanted[W > 0 ? W : kYearWords];
  std::uint64_t seen[W > 0 ? W : kYearWords];
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

// Every simulation of `task`, its trees chosen without replacement by
// `Selection` where more than kDirectYears years are open.
template <class Selection>
void runTask(const SpanModel& m, const SizeTask& task) {
  const int n = m.trees;
  const int s = task.sampleSize;
  const int treeWords = (n + 63) / 64;
  alignas(64) std::uint32_t keys[kStateSlots];
  for (int i = 0; i < kStateSlots; ++i) keys[i] = 0;
  std::uint64_t chosen[kTreeWords] = {};
  std::uint32_t x = task.state;
  if (!task.withReplacement && task.open <= kDirectYears) {
    for (int sim = 0; sim < task.simulations; ++sim) {
      fillKeys(x, n, keys);
      // Slots past the last tree hold 0: below every key.
      for (int i = n; i < 64 * treeWords; ++i) keys[i] = 0;
      countDirectly(m, task.open, keys, s, task.first[sim], task.second[sim]);
      x = mulMod(x, task.stride);
    }
    return;
  }
  if (!task.withReplacement) {
    Selection selection(n, s);
    for (int sim = 0; sim < task.simulations; ++sim) {
      selection.choose(x, keys, chosen);
      countFound(m, task, chosen, treeWords, task.first[sim], task.second[sim]);
      x = mulMod(x, task.stride);
    }
    return;
  }
  const double trees = n;
  for (int sim = 0; sim < task.simulations; ++sim) {
    // Only the first s draws choose trees.
    fillKeys(x, s, keys);
    chooseWithReplacement(keys, n, s, trees, chosen);
    countFound(m, task, chosen, treeWords, task.first[sim], task.second[sim]);
    x = mulMod(x, task.stride);
  }
}

// One simulation without replacement from its generator states (the tests'
// way in), by the same steps as runTask.
template <class Selection>
void countFromStates(const SpanModel& m, const SizeTask& task, const std::uint32_t* states,
                     int* first, int* second) {
  alignas(64) std::uint32_t keys[kStateSlots] = {};
  for (int i = 0; i < m.trees; ++i) keys[i] = keyOf(states[i]);
  if (task.open <= kDirectYears) {
    countDirectly(m, task.open, keys, task.sampleSize, *first, *second);
    return;
  }
  std::uint64_t chosen[kTreeWords] = {};
  Selection(m.trees, task.sampleSize).chooseAmong(keys, chosen);
  countFound(m, task, chosen, (m.trees + 63) / 64, *first, *second);
}

// The entry points of a build whose selection strategy is `Selection`.
template <class Selection>
constexpr Entry entryOf() {
  return Entry{runTask<Selection>, countFromStates<Selection>};
}

}  // namespace
}  // namespace rova::kernel

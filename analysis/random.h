// Random numbers and the random choice of trees for one simulation.
//
// RandomGenerator is the minimal-standard multiplicative congruential
// generator (multiplier 48271, modulus 2^31 - 1) computed without overflow by
// Schrage's decomposition. Its exact integer arithmetic and the order of the
// draws fix every simulated value for a given seed, so one generator is
// seeded once per run and then runs on through every span and sample size.
//
// selectTrees draws one uniform number per tree (always n numbers) and
// chooses s trees: without replacement ('D') the trees that drew the s
// largest numbers, with replacement (any other letter) trunc(draw * n) + 1
// for each of the first s draws.
//
// With replacement, a draw of exactly 1.0 (the state reached 2^31 - 64 or
// above; about 3 in 10^8 per draw) gives series number n + 1. That number is
// kept: it names the series slot after the last tree, which holds the
// no-record pair (first year 2030, last year -2065) and so stands for a tree
// without record that contributes no fire event. The simulation skips any
// series number above the series count for the same reason.
#pragma once

#include <array>
#include <cstdint>

#include "input/fire_history.h"

namespace rova {

class RandomGenerator {
 public:
  // Sets the state to v, except that 0 sets it to -1 (all bits set).
  // Every other value, including -1 (which this program never passes) and
  // negative values, becomes the state as it is. A state of +-(2^31 - 1)
  // would stay at 2^31 - 1 and give 1.0 forever; the run's seeds (0..65535)
  // never lead there.
  void seed(std::int32_t v) { state_ = v == 0 ? -1 : v; }

  // Advances the state and returns state * 2^-31 rounded to single
  // precision: a number in (0, 1], exactly 1.0 when the new state is
  // 2^31 - 64 or more.
  float uniform();

  std::int32_t state() const { return state_; }

 private:
  std::int32_t state_ = 1;  // the state before any seeding
};

// Fills selection[1..s] with series numbers in ascending order.
// REQUIRES: 1 <= n <= kMaxSeries, 1 <= s <= n.
// Exactly n numbers are drawn from the generator, whatever s and method are.
// Method 'D': no tree is chosen twice; the trees are those whose draws come
// first after the descending selection sort with keys (equal draws keep the
// order that sort leaves them in). Any other method: a tree may be chosen
// several times; a draw of exactly 1.0 gives n + 1 (see above).
void selectTrees(RandomGenerator& generator, int n, int s, char method,
                 std::array<int, kMaxSeries + 1>& selection);

}  // namespace rova

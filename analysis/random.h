// Random numbers and the random choice of trees for one simulation.
//
// RandomGenerator is the minimal-standard multiplicative congruential
// generator (multiplier 48271, modulus 2^31 - 1) computed without overflow by
// Schrage's decomposition. Its exact integer arithmetic and the order of the
// draws fix every simulated value for a given seed, so one generator is
// seeded once per run and then runs on through every span and sample size.
//
// Each simulation draws one uniform number per tree (always n numbers) and
// chooses s trees: without replacement (method D) the trees that drew the s
// largest numbers, with replacement (method R) trunc(draw * n) + 1
// for each of the first s draws (the literal simulation in
// tests/reference/ does exactly that; selectLargestDraws below is the
// program's way to the same trees).
//
// With replacement, a draw of exactly 1.0 (the state reached 2^31 - 64 or
// above; about 3 in 10^8 per draw) gives series number n + 1. That number is
// kept: it names the series slot after the last tree, which holds the
// no-record pair (first year 2030, last year -2065) and so stands for a tree
// without record that contributes no fire event. The simulation skips any
// series number above the series count for the same reason.
//
// The fast simulation does not call the generator once per draw. Because
// the generator is multiplicative, the state after k more draws is the
// state times 48271^k modulo 2^31 - 1; skip() jumps there directly, and
// the functions in namespace minstd step a plain unsigned state with the
// same results as uniform().
#pragma once

#include <array>
#include <cstdint>

#include "analysis/simulation_limits.h"
#include "records/fire_history.h"

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

  // Advances the state exactly as `draws` calls of uniform() would, in
  // O(log draws) steps. draws <= 0 leaves the state untouched (a seeded
  // state of -1 stays -1 until the first draw).
  void skip(long long draws);

 private:
  std::int32_t state_ = 1;  // the state before any seeding
};

// The generator's arithmetic on states kept as unsigned values in
// 1..2^31 - 1. Every int32 state has one such form that continues its
// sequence exactly: its residue modulo 2^31 - 1, with residue 0 written as
// 2^31 - 1 itself. So -1 (seed 0) continues as 2^31 - 2, and the states
// +-(2^31 - 1) as the fixed point 2^31 - 1, which draws 1.0 forever (no seed
// of the run, 0..65535, leads there).
namespace minstd {

// kModulus, kMultiplier and kTwoToMinus31 are in simulation_limits.h.

std::uint32_t continuation(std::int32_t state);

// The next state: 48271 x mod (2^31 - 1), folded twice so that the fixed
// point 2^31 - 1 maps to itself; every other x in 1..2^31 - 2 gives the
// exact residue.
inline std::uint32_t next(std::uint32_t x) {
  std::uint64_t p = std::uint64_t{x} * kMultiplier;
  p = (p & kModulus) + (p >> 31);
  p = (p & kModulus) + (p >> 31);
  return static_cast<std::uint32_t>(p);
}

// x * a mod (2^31 - 1) for a multiplier a in 1..2^31 - 2, with the same
// folding: the fixed point stays where it is.
inline std::uint32_t multiply(std::uint32_t x, std::uint32_t a) {
  std::uint64_t p = std::uint64_t{x} * a;
  p = (p & kModulus) + (p >> 31);
  p = (p & kModulus) + (p >> 31);
  return static_cast<std::uint32_t>(p);
}

// The draw that uniform() returns on reaching state x.
inline float draw(std::uint32_t x) {
  return static_cast<float>(static_cast<std::int32_t>(x)) * kTwoToMinus31;
}

// 48271^k mod (2^31 - 1), k >= 0.
std::uint32_t multiplierPower(long long k);

// The state `power` = multiplierPower(k) steps after x (x in 1..2^31 - 1).
std::uint32_t advance(std::uint32_t x, std::uint32_t power);

// The next `count` draws after state x, as uniform() would return them;
// returns the state after the last. Four interleaved strides of 48271^4
// keep the multiplications independent of each other.
std::uint32_t fillDraws(std::uint32_t x, int count, float* draws);

}  // namespace minstd

// Writes into chosen[0..s-1] the numbers (1..n) of the trees whose draws the
// descending selection sort with keys leaves in places 1..s, in no
// particular order. Without equal draws at the s-th place those are simply
// the s largest draws; when equal draws straddle the s-th place the choice
// is made by that selection sort itself, so it is always the same.
// REQUIRES: 0 <= n <= kMaxSeries, draws[0..n-1] in [0, 1], no NaN.
// s <= 0 chooses nothing, s >= n every tree.
void selectLargestDraws(const float* draws, int n, int s, int* chosen);

}  // namespace rova

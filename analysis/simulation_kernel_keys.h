// The generator states of a simulation and their keys, as every build of
// the inner loop makes them (see simulation_kernel.h). Included first by
// each build's header of primitives; internal linkage throughout, built-in
// operations only.
#pragma once

#include <cstdint>

#include "analysis/simulation_kernel.h"

namespace rova::kernel {
namespace {

constexpr std::uint32_t kModulus = minstd::kModulus;
constexpr std::uint64_t kMultiplier = minstd::kMultiplier;

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
  return __builtin_bit_cast(float, key) * minstd::kTwoToMinus31;
}

// The key of a value and the value of a key.
inline std::uint32_t keyAt(float value) { return __builtin_bit_cast(std::uint32_t, value); }
inline float valueOf(std::uint32_t key) { return __builtin_bit_cast(float, key); }

// The largest key there is: that of the largest state.
inline std::uint32_t topKey() { return keyOf(kModulus); }

inline int popCount(std::uint64_t w) { return __builtin_popcountll(w); }

// The largest of `count` keys (0 when none is above 0): the lanes of a
// vector of maxima.
inline std::uint32_t largestKey(const std::uint32_t* keys, int count) {
  std::uint32_t largest = 0;
  for (int j = 0; j < count; ++j) largest = keys[j] > largest ? keys[j] : largest;
  return largest;
}

// The number of key slots of n keys: whole vectors of 16.
inline int slotsOf(int n) { return (n + 15) / 16 * 16; }

// multiplier^1 .. multiplier^kStateSlots modulo 2^31 - 1: the state i + 1
// draws after x is x * power i + 1, so every state of a simulation is
// computed on its own and the multiplications do not wait for each other.
// The powers are kept as 64-bit lanes in two tables, those of the even
// places (states 1, 3, 5, ...) and those of the odd places, so that a
// vector multiplication of 32 by 32 bits takes them as they lie.
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

}  // namespace
}  // namespace rova::kernel

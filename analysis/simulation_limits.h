// The numbers the simulations are built on, in one place: the generator's
// modulus and multiplier, and the sizes of the inner loop's tables, each
// tied to the record's limits so that a change of one that the other does
// not follow stops the build.
//
// Plain constants only: the inner loop's builds for different processors
// include this header, and must share no code.
#pragma once

#include <cstdint>

#include "records/fire_history.h"

namespace rova {

namespace minstd {

// The minimal-standard multiplicative congruential generator: x -> 48271 x
// mod 2^31 - 1.
constexpr std::uint32_t kModulus = 2147483647;  // 2^31 - 1
constexpr std::uint32_t kMultiplier = 48271;
constexpr float kTwoToMinus31 = 4.656612873077392578125e-10f;  // exactly 2^-31

static_assert(kModulus == (std::uint32_t{1} << 31) - 1, "the folds of a product assume 2^31 - 1");
static_assert(static_cast<double>(kTwoToMinus31) * 2147483648.0 == 1.0, "a draw is state * 2^-31");
// Schrage's decomposition of the modulus (RandomGenerator::uniform) needs
// the remainder below the quotient.
static_assert(kModulus % kMultiplier < kModulus / kMultiplier, "Schrage's method applies");

}  // namespace minstd

namespace kernel {

// A row of tree bits: one bit a tree, whole 64-bit words.
constexpr int kTreeWords = 4;
// A simulation's generator states (one a tree), padded to whole 64-key
// words and so to whole 16-key vectors.
constexpr int kStateSlots = 256;
// The most event years a span can have (one a year slot), in words.
constexpr int kYearWords = (kYearSlots + 63) / 64;

static_assert(kTreeWords * 64 >= kMaxSeries, "a row of tree bits holds every tree");
static_assert(kStateSlots >= kTreeWords * 64, "every tree bit has its state");
static_assert(kStateSlots % 64 == 0, "states fill whole words of tree bits");
static_assert(kYearWords * 64 >= kYearSlots, "every event year has its bit");

}  // namespace kernel

}  // namespace rova

// The inner loop of the simulations: the draws of every simulation of one
// sample size, the trees they choose and the fire years those trees find.
//
// Its definition is the literal simulation in
// tests/reference/literal_simulation.h (one selection sort of the draws
// per simulation, every year of every chosen tree looked up): every build
// of this loop must give the counts that one gives, and the tests hold
// them to it. What follows is a faster way to the same integers.
//
// The loop is written once (simulation_kernel_body.h) over a few
// primitives (making keys, counting keys above a threshold, testing years
// against the chosen trees), and compiled once per instruction set, each
// with its own header of primitives: portable (simulation_kernel_portable.*),
// and on x86-64 AVX2 (simulation_kernel_avx2.*) and AVX-512
// (simulation_kernel_avx512.*, which also finds the chosen trees by
// windows: simulation_kernel_window.h). simulation_kernel_dispatch.h picks
// the build at run time. Everything the loop computes is an exact integer
// (generator states, counts, bit masks), so every build gives the same
// counts, bit for bit.
//
// The span's events come in the form the loop reads (SpanModel): the
// years in which at least one tree records an event (event years),
// ordered by how many trees record them, fewest first. Without
// replacement a year recorded by more trees than a sample of s leaves out
// is found by every sample of s, so for size s only the first `open`
// event years need a test; the caller adds the others.
//
// This header holds only plain data and declarations: the builds for
// different processors include it and must share no inline code.
#pragma once

#include <cstdint>

#include "analysis/simulation_limits.h"

namespace rova::kernel {

struct SpanModel {
  int trees = 0;       // n, 1..kMaxSeries
  int eventYears = 0;  // E
  int words = 0;       // (E + 63) / 64
  // Bit e of word e / 64 of tree t (row t - 1, `words` words a row): tree t
  // records an event in event year e.
  const std::uint64_t* treeYears = nullptr;
  // Bit t - 1 of word (t - 1) / 64 of row e (kTreeWords words a row): the
  // trees that record event year e.
  const std::uint64_t* yearTrees = nullptr;
  // Bit e: event year e counts for threshold 2 too.
  const std::uint64_t* second = nullptr;
};

// The simulations of one sample size.
struct SizeTask {
  int sampleSize = 0;           // s, 1..n - 1 without replacement, 1..n with
  int simulations = 0;          // at least 1
  bool withReplacement = false;
  std::uint32_t state = 0;      // generator state before the first draw (1..2^31 - 1)
  std::uint32_t stride = 0;     // multiplier^n mod modulus: from one simulation's start to the next
  int open = 0;                 // event years 0..open - 1 are tested
  bool byUnion = false;         // count by the union of the chosen trees' years
  int* first = nullptr;         // out: per simulation, open years found
  int* second = nullptr;        // out: those of them that count for threshold 2
};

// Which build of the loop runs.
enum class Build { kPortable, kAvx2, kAvx512 };

// What each build provides.
struct Entry {
  // Runs every simulation of `task`, filling task.first and task.second.
  void (*run)(const SpanModel& model, const SizeTask& task);
  // Without replacement: one simulation from its generator states (n of
  // them, then 0 up to kStateSlots; 64-byte aligned): the open years found
  // and those of them that count for threshold 2. The tests hand it states
  // whose draws are equal.
  void (*countFromStates)(const SpanModel& model, const SizeTask& task,
                          const std::uint32_t* states, int* first, int* second);
};

// The chosen trees of one simulation without replacement, as a mask (bit
// t - 1), when equal draws straddle the s-th place: the choice the
// descending selection sort of the draws makes. `keys` are the n draws'
// keys: the bits of the generator state converted to single precision
// (the draw is that value times 2^-31). Defined outside the loop's builds
// (simulation.cc), in code compiled for every processor.
void chooseExactly(const std::uint32_t* keys, int n, int s, std::uint64_t* chosen);

// The builds themselves, each defined in its own source file; without the
// x86-64 builds the dispatcher stands the portable one in for the others.
const Entry& portableEntry();
const Entry& avx2Entry();
const Entry& avx512Entry();

}  // namespace rova::kernel

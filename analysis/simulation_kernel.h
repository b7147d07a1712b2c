// The inner loop of the simulations: the draws of every simulation of one
// sample size, the trees they choose and the fire years those trees find.
//
// The loop is compiled several times from one source
// (simulation_kernel_body.h): a portable build that runs on any processor,
// and on x86-64 builds for AVX2 and for AVX-512, chosen at run time from
// what the processor has. Everything the loop computes is an exact
// integer (generator states, counts, bit masks), so every build gives the
// same counts, bit for bit; the tests run each build the processor has
// against the portable one.
//
// The span's events come in the form the loop reads (SpanModel): the
// years in which at least one tree records an event (event years),
// ordered by how many trees record them, fewest first. Without
// replacement a year recorded by more trees than a sample of s leaves out
// is found by every such sample, so for size s only the first `open`
// event years need a test; the caller adds the others.
//
// This header holds only plain data and declarations (and run(), which
// the builds do not use): the builds for different processors must share
// no inline code.
#pragma once

#include <cstdint>

namespace rova::kernel {

constexpr int kTreeWords = 4;     // bits for up to 256 trees (at most 200 are read)
constexpr int kStateSlots = 256;  // generator states of one simulation, padded

struct SpanModel {
  int trees = 0;       // n, 1..200
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
  std::uint32_t stride = 0;     // 48271^n mod 2^31 - 1: from one simulation's start to the next
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
  // them, then 0 up to the next multiple of 64; 64-byte aligned): the open
  // years found and those of them that count for threshold 2. The tests
  // hand it states whose draws are equal.
  void (*countFromStates)(const SpanModel& model, const SizeTask& task,
                          const std::uint32_t* states, int* first, int* second);
};

// Whether this processor (and this program's build) can run `build`.
bool available(Build build);

// The fastest build available.
Build fastest();

// The entry points of `build`. REQUIRES: available(build).
const Entry& entry(Build build);

// Runs `task` with `build`. REQUIRES: available(build).
inline void run(Build build, const SpanModel& model, const SizeTask& task) {
  entry(build).run(model, task);
}

// The chosen trees of one simulation without replacement, as a mask (bit
// t - 1), when equal draws straddle the s-th place: the choice the
// descending selection sort of the draws makes. `keys` are the n draws'
// keys: the bits of the generator state converted to single precision
// (the draw is that value times 2^-31). Defined outside the loop's builds.
void chooseExactly(const std::uint32_t* keys, int n, int s, std::uint64_t* chosen);

// The builds themselves (see entry()).
const Entry& portableEntry();
const Entry& avx2Entry();
const Entry& avx512Entry();

}  // namespace rova::kernel

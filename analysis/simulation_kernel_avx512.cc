// The simulations' inner loop built for x86-64 processors with AVX-512;
// compiled with -mavx512f -mavx512bw where the build has these builds at
// all.
#if defined(ROVA_KERNEL_BUILDS)
#include <immintrin.h>

// GCC 12 warns of the deliberately undefined vectors inside its own
// AVX-512 intrinsics (_mm512_undefined_*): nothing of this file's.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "analysis/simulation_kernel_body.h"

namespace rova::kernel {
const Entry& avx512Entry() { return kEntry; }
}  // namespace rova::kernel
#endif

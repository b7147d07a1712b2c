// The simulations' inner loop built for x86-64 processors with AVX2;
// compiled with -mavx2 where the build has these builds at all.
#if defined(ROVA_KERNEL_BUILDS)
#include <immintrin.h>

#include "analysis/simulation_kernel_body.h"

namespace rova::kernel {
const Entry& avx2Entry() { return kEntry; }
}  // namespace rova::kernel
#endif

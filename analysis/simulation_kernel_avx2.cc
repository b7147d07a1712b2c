// The simulations' inner loop for x86-64 processors with AVX2; compiled
// with the AVX2 build's features (cmake/rova_core_settings.cmake) where the
// program has its vector builds at all.
#if defined(ROVA_KERNEL_BUILDS)
#include "analysis/simulation_kernel_avx2.h"

#include "analysis/simulation_kernel_body.h"

namespace rova::kernel {

const Entry& avx2Entry() {
  static constexpr Entry kEntry = entryOf<SearchSelection>();
  return kEntry;
}

}  // namespace rova::kernel
#endif

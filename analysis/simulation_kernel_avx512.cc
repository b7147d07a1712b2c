// The simulations' inner loop for x86-64 processors with AVX-512, its
// trees chosen by windows; compiled with the AVX-512 build's features
// (cmake/rova_core_settings.cmake) where the program has its vector builds
// at all.
#if defined(ROVA_KERNEL_BUILDS)
// GCC 12 warns of the deliberately undefined vectors inside its own
// AVX-512 intrinsics (_mm512_undefined_*): nothing of this file's.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "analysis/simulation_kernel_avx512.h"

#include "analysis/simulation_kernel_body.h"
#include "analysis/simulation_kernel_window.h"

namespace rova::kernel {

const Entry& avx512Entry() {
  static constexpr Entry kEntry = entryOf<WindowSelection>();
  return kEntry;
}

}  // namespace rova::kernel
#endif

// The simulations' inner loop for any processor, and the choice among the
// builds at run time.
#include "analysis/simulation_kernel_body.h"

namespace rova::kernel {

const Entry& portableEntry() { return kEntry; }

#if !defined(ROVA_KERNEL_BUILDS)
// Without the x86-64 builds (another processor, or a compiler that cannot
// make them) the portable loop stands in for them; available() says so.
const Entry& avx2Entry() { return kEntry; }
const Entry& avx512Entry() { return kEntry; }
#endif

bool available(Build build) {
  switch (build) {
    case Build::kPortable:
      return true;
#if defined(ROVA_KERNEL_BUILDS)
    case Build::kAvx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
             __builtin_cpu_supports("popcnt");
    case Build::kAvx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
             __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
             available(Build::kAvx2);
#endif
    default:
      return false;
  }
}

Build fastest() {
  static const Build best = available(Build::kAvx512) ? Build::kAvx512
                            : available(Build::kAvx2) ? Build::kAvx2
                                                      : Build::kPortable;
  return best;
}

const Entry& entry(Build build) {
  switch (build) {
    case Build::kAvx512:
      return avx512Entry();
    case Build::kAvx2:
      return avx2Entry();
    case Build::kPortable:
      break;
  }
  return portableEntry();
}

}  // namespace rova::kernel

// The simulations' inner loop for any processor, and the choice among the
// builds at run time.
#include "analysis/simulation_kernel_body.h"

namespace rova::kernel {

void runPortable(const SpanModel& model, const SizeTask& task) { runTask(model, task); }

#if !defined(ROVA_KERNEL_BUILDS)
// Without the x86-64 builds (another processor, or a compiler that cannot
// make them) the portable loop stands in for them; available() says so.
void runAvx2(const SpanModel& model, const SizeTask& task) { runTask(model, task); }
void runAvx512(const SpanModel& model, const SizeTask& task) { runTask(model, task); }
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

void run(Build build, const SpanModel& model, const SizeTask& task) {
  switch (build) {
    case Build::kAvx512:
      runAvx512(model, task);
      return;
    case Build::kAvx2:
      runAvx2(model, task);
      return;
    case Build::kPortable:
      runPortable(model, task);
      return;
  }
}

}  // namespace rova::kernel

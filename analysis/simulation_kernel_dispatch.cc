// The choice among the builds of the simulations' inner loop.
#include "analysis/simulation_kernel_dispatch.h"

#include <atomic>
#include <cstring>
#include <string>

#if defined(ROVA_KERNEL_BUILDS)
// avx2Missing() and avx512Missing(): made from the feature lists the
// builds are compiled with.
#include "rova_kernel_features.h"
#else
namespace rova::kernel {
namespace {
// Without the x86-64 builds (another processor, or a compiler that cannot
// make them) the portable loop stands in for them and nothing runs them.
std::string avx2Missing() { return "not built, "; }
std::string avx512Missing() { return "not built, "; }
}  // namespace
const Entry& avx2Entry() { return portableEntry(); }
const Entry& avx512Entry() { return portableEntry(); }
}  // namespace rova::kernel
#endif

namespace rova::kernel {

namespace {

constexpr Build kBuilds[] = {Build::kPortable, Build::kAvx2, Build::kAvx512};

// What a user may see of a setting: printable characters, at most 40.
std::string shown(const char* setting) {
  std::string text;
  for (const char* c = setting; *c != '\0' && text.size() < 40; ++c)
    text += *c >= ' ' && *c <= '~' ? *c : '?';
  return std::strlen(setting) > 40 ? text + "..." : text;
}

std::atomic<Build> gDefault{Build::kPortable};
std::atomic<bool> gDefaultSet{false};

}  // namespace

const char* nameOf(Build build) {
  switch (build) {
    case Build::kAvx2:
      return "avx2";
    case Build::kAvx512:
      return "avx512";
    case Build::kPortable:
      break;
  }
  return "portable";
}

std::string missingFeatures(Build build) {
  std::string missing;
  switch (build) {
    case Build::kAvx2:
      missing = avx2Missing();
      break;
    case Build::kAvx512:
      missing = avx512Missing();
      break;
    case Build::kPortable:
      break;
  }
  // Each name is followed by ", ".
  return missing.empty() ? missing : missing.substr(0, missing.size() - 2);
}

bool available(Build build) {
  static const bool has[] = {true, missingFeatures(Build::kAvx2).empty(),
                             missingFeatures(Build::kAvx512).empty()};
  return has[static_cast<int>(build)];
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

BuildChoice chooseBuild(const char* setting, std::string (*missing)(Build)) {
  BuildChoice choice;
  const auto runsHere = [&](Build b) { return missing(b).empty(); };
  if (setting == nullptr || *setting == '\0') {
    for (Build b : kBuilds)
      if (runsHere(b)) choice.build = b;
    return choice;
  }
  std::string here;
  for (Build b : kBuilds) {
    if (runsHere(b)) here += std::string(here.empty() ? "" : ", ") + nameOf(b);
  }
  for (Build b : kBuilds) {
    if (std::strcmp(setting, nameOf(b)) != 0) continue;
    choice.build = b;
    const std::string lacks = missing(b);
    if (lacks == "not built") {
      choice.refusal = std::string("ROVA_KERNEL=") + nameOf(b) +
                       ": this program was built without that build of the simulations' "
                       "inner loop (it has here: " + here + ")";
    } else if (!lacks.empty()) {
      choice.refusal = std::string("ROVA_KERNEL=") + nameOf(b) + ": this processor lacks " + lacks +
                       ", which that build of the simulations' inner loop needs (builds that "
                       "run here: " + here + ")";
    }
    return choice;
  }
  choice.refusal = "ROVA_KERNEL=" + shown(setting) +
                   " names no build of the simulations' inner loop: portable, avx2 or avx512 "
                   "(or leave it unset for the fastest)";
  return choice;
}

Build defaultBuild() {
  return gDefaultSet.load(std::memory_order_acquire) ? gDefault.load(std::memory_order_relaxed)
                                                     : fastest();
}

void useBuild(Build build) {
  gDefault.store(build, std::memory_order_relaxed);
  gDefaultSet.store(true, std::memory_order_release);
}

}  // namespace rova::kernel

// Which build of the simulations' inner loop runs (see
// simulation_kernel.h): the fastest the processor has, unless the program
// is told otherwise at its start (ROVA_KERNEL=portable|avx2|avx512, read
// by main and handed to chooseBuild). Every build gives the same numbers;
// choosing one lets each be run end to end.
#pragma once

#include <string>

#include "analysis/simulation_kernel.h"

namespace rova::kernel {

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

// The name ROVA_KERNEL gives `build`: "portable", "avx2" or "avx512".
const char* nameOf(Build build);

// The processor features `build` is compiled for that this processor
// lacks, separated by ", " ("" when it has them all). Without the x86-64
// builds in this program, "not built".
std::string missingFeatures(Build build);

// The build a setting of ROVA_KERNEL asks for, or why it is refused.
struct BuildChoice {
  Build build = Build::kPortable;
  std::string refusal;  // one line; empty when the build runs here
};

// Unset (nullptr) or empty: the fastest build available. A build's name
// (nameOf): that build, refused when the processor lacks what it needs.
// Anything else is refused. `missing` says what the processor lacks
// (missingFeatures; the tests pretend other processors).
BuildChoice chooseBuild(const char* setting,
                        std::string (*missing)(Build) = missingFeatures);

// The build simulations run with unless their settings say otherwise
// (SimulationSettings::build): fastest() until useBuild sets another, which
// main does once, before any simulation. REQUIRES: available(build).
Build defaultBuild();
void useBuild(Build build);

}  // namespace rova::kernel

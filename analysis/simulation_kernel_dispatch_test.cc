// The choice of the inner loop's build from a setting of ROVA_KERNEL, on
// this processor and on pretended ones.
#include "analysis/simulation_kernel_dispatch.h"

#include <gtest/gtest.h>

#include <string>

#include "analysis/simulation.h"

namespace rova::kernel {
namespace {

std::string hasEverything(Build) { return ""; }
std::string lacksAvx512(Build b) { return b == Build::kAvx512 ? "avx512f, avx512bw" : ""; }
std::string onlyPortable(Build b) { return b == Build::kPortable ? "" : "avx2"; }
std::string withoutVectorBuilds(Build b) { return b == Build::kPortable ? "" : "not built"; }

TEST(KernelChoice, UnsetOrEmptyTakesTheFastestTheProcessorHas) {
  EXPECT_EQ(chooseBuild(nullptr, hasEverything).build, Build::kAvx512);
  EXPECT_EQ(chooseBuild("", lacksAvx512).build, Build::kAvx2);
  EXPECT_EQ(chooseBuild(nullptr, onlyPortable).build, Build::kPortable);
  EXPECT_TRUE(chooseBuild(nullptr, onlyPortable).refusal.empty());
  // On this processor: what fastest() says, and every name it can run.
  EXPECT_EQ(chooseBuild(nullptr).build, fastest());
  for (Build b : {Build::kPortable, Build::kAvx2, Build::kAvx512}) {
    const BuildChoice choice = chooseBuild(nameOf(b));
    EXPECT_EQ(choice.refusal.empty(), available(b)) << nameOf(b) << ": " << choice.refusal;
    if (available(b)) {
      EXPECT_EQ(choice.build, b);
    }
  }
}

TEST(KernelChoice, EachNameChoosesItsBuild) {
  EXPECT_EQ(chooseBuild("portable", hasEverything).build, Build::kPortable);
  EXPECT_EQ(chooseBuild("avx2", hasEverything).build, Build::kAvx2);
  EXPECT_EQ(chooseBuild("avx512", hasEverything).build, Build::kAvx512);
  EXPECT_TRUE(chooseBuild("avx512", hasEverything).refusal.empty());
  EXPECT_TRUE(chooseBuild("portable", withoutVectorBuilds).refusal.empty());
}

TEST(KernelChoice, ABuildTheProcessorLacksIsRefusedSayingWhatIsMissing) {
  EXPECT_EQ(chooseBuild("avx512", lacksAvx512).refusal,
            "ROVA_KERNEL=avx512: this processor lacks avx512f, avx512bw, which that build of "
            "the simulations' inner loop needs (builds that run here: portable, avx2)");
  EXPECT_EQ(chooseBuild("avx2", onlyPortable).refusal,
            "ROVA_KERNEL=avx2: this processor lacks avx2, which that build of the simulations' "
            "inner loop needs (builds that run here: portable)");
  EXPECT_EQ(chooseBuild("avx2", withoutVectorBuilds).refusal,
            "ROVA_KERNEL=avx2: this program was built without that build of the simulations' "
            "inner loop (it has here: portable)");
}

TEST(KernelChoice, AnUnknownNameIsRefusedOnOneLine) {
  EXPECT_EQ(chooseBuild("AVX2", hasEverything).refusal,
            "ROVA_KERNEL=AVX2 names no build of the simulations' inner loop: portable, avx2 or "
            "avx512 (or leave it unset for the fastest)");
  EXPECT_FALSE(chooseBuild(" portable", hasEverything).refusal.empty());
  // A control character or a long value is not echoed as it is.
  const std::string odd = chooseBuild("avx\n512\x1b[31m", hasEverything).refusal;
  EXPECT_EQ(odd.find('\n'), std::string::npos);
  EXPECT_EQ(odd.find('\x1b'), std::string::npos);
  EXPECT_NE(odd.find("ROVA_KERNEL=avx?512?[31m names no build"), std::string::npos) << odd;
  const std::string longValue = chooseBuild(std::string(300, 'x').c_str(), hasEverything).refusal;
  EXPECT_NE(longValue.find("ROVA_KERNEL=" + std::string(40, 'x') + "... names no build"),
            std::string::npos);
}

TEST(KernelChoice, TheDefaultBuildIsTheFastestUntilOneIsUsed) {
  EXPECT_EQ(defaultBuild(), fastest());
  EXPECT_EQ(SimulationSettings{}.build, fastest());
  useBuild(Build::kPortable);
  EXPECT_EQ(defaultBuild(), Build::kPortable);
  // The simulations' settings take it unless told otherwise.
  EXPECT_EQ(SimulationSettings{}.build, Build::kPortable);
  useBuild(fastest());
  EXPECT_EQ(defaultBuild(), fastest());
}

TEST(KernelChoice, MissingFeaturesAgreeWithAvailability) {
  EXPECT_EQ(missingFeatures(Build::kPortable), "");
  for (Build b : {Build::kAvx2, Build::kAvx512}) {
    const std::string missing = missingFeatures(b);
    EXPECT_EQ(missing.empty(), available(b)) << nameOf(b) << " lacks " << missing;
    // A name list, or "not built": never a trailing separator.
    if (!missing.empty()) {
      EXPECT_NE(missing.back(), ' ');
    }
  }
  // AVX-512 needs all of AVX2's features and more.
  if (available(Build::kAvx512)) {
    EXPECT_TRUE(available(Build::kAvx2));
  }
}

}  // namespace
}  // namespace rova::kernel

#include "records/run_options.h"

#include "format/utf8.h"

namespace rova {

int segmentLagFor(int segmentLength, int lag) {
  if (lag >= 1) return lag;
  return static_cast<int>((static_cast<long long>(segmentLength) + 1) / 2);
}

int oddSeed(int seed, int defaultSeed) {
  if (seed == 0) seed = defaultSeed;
  if (seed % 2 == 0) seed += 1;
  return seed;
}

std::string methodLetters(const RunOptions& options) {
  return std::string{letterOf(options.selectionMode), letterOf(options.injuryMode)};
}

std::string runTitleFrom(const std::string& text) { return utf8FixedLength(text, kTitleLength); }

}  // namespace rova

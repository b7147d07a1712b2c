// What the fuzz targets share: a platform of fakes for one run, a
// temporary folder for the targets that read real files, and the check
// that ends a run with a report when a promise of the code is broken.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/memory_file_system.h"
#include "platform/platform.h"
#include "tests/test_support.h"

namespace rova::fuzzing {

// Stops the fuzzer with the broken promise; libFuzzer saves the input.
#define ROVA_FUZZ_CHECK(condition)                                                   \
  do {                                                                               \
    if (!(condition)) {                                                              \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                  \
    }                                                                                \
  } while (0)

// The platform of one fuzzed run: scripted keyboard, fixed clock, an empty
// file system in memory.
struct FakePlatform {
  explicit FakePlatform(std::vector<std::string> answers = {}, bool colours = false)
      : terminal(std::move(answers)),
        platform{terminal, files, clock, commands, ConfigLocations{}, colours} {}
  rova::testing::ScriptedTerminal terminal;
  rova::testing::FixedClock clock{LocalTime{2024, 5, 17, 13, 47, 29}};
  rova::testing::RecordingInterpreter commands;
  MemoryFileSystem files;
  Platform platform;
};

// True when a byte may reach the screen: printable ASCII or ESC (the
// colour sequences). Anything else would come straight from the input.
inline bool isScreenSafe(const std::string& record, bool escapeAllowed) {
  for (unsigned char c : record) {
    if (c == 0x1b && escapeAllowed) continue;
    if (c < 32 || c > 126) return false;
  }
  return true;
}

// One temporary folder for the whole fuzzing process; the file in it is
// rewritten for every input.
inline const rova::testing::TemporaryDirectory& scratchFolder() {
  static const rova::testing::TemporaryDirectory* folder = new rova::testing::TemporaryDirectory();
  return *folder;
}

}  // namespace rova::fuzzing

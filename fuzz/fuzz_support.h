// What the fuzz targets share: a platform of fakes for one run, a
// temporary folder for the targets that read real files, and the check
// that ends a run with a report when a promise of the code is broken.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

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

// A file system that holds no files: every open fails, nothing is written.
class NoFiles : public FileSystem {
 public:
  std::unique_ptr<InputText> openForReading(const std::string&, std::string& error) override {
    error = "no such file";
    return nullptr;
  }
  std::unique_ptr<OutputText> create(const std::string&, CreateMode, std::string& error,
                                     bool& exists) override {
    error = "read-only";
    exists = false;
    return nullptr;
  }
  bool makeDirectories(const std::string&) override { return false; }
  bool exists(const std::string&) override { return false; }
  bool rename(const std::string&, const std::string&, bool, std::string& error) override {
    error = "read-only";
    return false;
  }
  void remove(const std::string&) override {}
  bool readAll(const std::string&, std::string&, std::string& error) override {
    error = "no such file";
    return false;
  }
};

// The platform of one fuzzed run: scripted keyboard, fixed clock, no files.
struct FakePlatform {
  explicit FakePlatform(std::vector<std::string> answers = {}, bool colours = false)
      : terminal(std::move(answers)),
        platform{terminal, files, clock, commands, ConfigLocations{}, colours} {}
  rova::testing::ScriptedTerminal terminal;
  rova::testing::FixedClock clock{LocalTime{2024, 5, 17, 13, 47, 29}};
  rova::testing::RecordingInterpreter commands;
  NoFiles files;
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

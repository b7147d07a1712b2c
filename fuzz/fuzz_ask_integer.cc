// Numeric answers at the console: the bytes are the lines typed, asked
// for again and again until the keyboard runs dry. The special answers
// ("/", "~", "?", "`") are part of what is typed. The program may stop
// only normally ("/") or for the end of input, and a rejected answer is
// marked on the screen without reaching it raw.
#include <cstddef>
#include <cstdint>
#include <string>

#include "console/console.h"
#include "format/free_format.h"
#include "fuzz/fuzz_support.h"

using namespace rova;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks whether the screen takes colours.
  const bool colours = (bytes[0] & 1) != 0;
  const std::string typed(reinterpret_cast<const char*>(bytes + 1), size - 1);
  fuzzing::FakePlatform fake(splitTextLines(typed), colours);
  Console console(fake.terminal, fake.commands);
  console.allowColours(colours);
  int asked = 0;
  try {
    for (;; ++asked) {
      const std::size_t before = fake.terminal.answersLeft();
      console.askInteger("|Number of simulations <1000>");
      // Every ask reads at least one line.
      ROVA_FUZZ_CHECK(fake.terminal.answersLeft() < before);
    }
  } catch (const ProgramStop& stop) {
    ROVA_FUZZ_CHECK(stop.status == 0 || stop.status == 1);
    if (stop.status == 1) ROVA_FUZZ_CHECK(fake.terminal.answersLeft() == 0);
  }
  ROVA_FUZZ_CHECK(asked <= static_cast<int>(splitTextLines(typed).size()));
  return 0;
}

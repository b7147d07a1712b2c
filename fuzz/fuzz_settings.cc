// The colour settings file read at start-up (the 'I' choice). The bytes
// are the file; whatever it holds, every colour the console keeps is
// either off or a well-formed colour sequence, so the file cannot send
// arbitrary bytes to the terminal.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "console/console.h"
#include "fuzz/fuzz_support.h"
#include "platform/posix_platform.h"

using namespace rova;

namespace {

bool isColourDigit(char c) { return (c >= '0' && c <= '7') || c == '9'; }

// Off, or a carriage control (a stored sequence keeps its own), ESC and
// "[a;3f;4bm" with colour digits.
bool wellFormed(const std::string& s) {
  if (s.size() != 11) return false;
  if (s[0] == '\0') return true;  // off
  return (s[0] == '+' || s[0] == ' ') && s[1] == '\x1b' && s[2] == '[' && s[3] >= '0' && s[3] <= '9' &&
         s.compare(4, 2, ";3") == 0 && isColourDigit(s[6]) && s.compare(7, 2, ";4") == 0 &&
         isColourDigit(s[9]) && s[10] == 'm';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string path = fuzzing::scratchFolder().file("GRN.INI");
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  }
  fuzzing::FakePlatform fake({}, true);
  PosixFileSystem files;
  Console console(fake.terminal, fake.commands);
  ConfigLocations locations;
  locations.settingsFiles = {path};
  console.useSettings(files, locations);
  console.allowColours(true);
  try {
    console.setScreenColours('I');
  } catch (const ProgramStop&) {
    ROVA_FUZZ_CHECK(false);  // reading settings never stops the program
  }
  ROVA_FUZZ_CHECK(wellFormed(console.colours.textColour));
  ROVA_FUZZ_CHECK(wellFormed(console.colours.typingColour));
  ROVA_FUZZ_CHECK(wellFormed(console.colours.exitColour));
  for (const std::string& record : fake.terminal.records)
    ROVA_FUZZ_CHECK(fuzzing::isScreenSafe(record, true));
  return 0;
}

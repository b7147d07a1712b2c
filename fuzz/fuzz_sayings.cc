// The closing saying read from a sayings file. The bytes are the file;
// the time of day, which picks the saying, follows from the file's size so
// that different files reach different sayings. Any file shows a saying or
// nothing; it never stops the program.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "console/closing_saying.h"
#include "fuzz/fuzz_support.h"
#include "platform/posix_platform.h"

using namespace rova;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string path = fuzzing::scratchFolder().file("DICHOS.TXT");
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  }
  fuzzing::FakePlatform fake;
  const long long second = (static_cast<long long>(size) * 7919) % 86400;
  fake.clock.time.hour = static_cast<int>(second / 3600);
  fake.clock.time.minute = static_cast<int>(second / 60 % 60);
  fake.clock.time.second = static_cast<int>(second % 60);
  PosixFileSystem files;
  Console console(fake.terminal, fake.commands);
  console.allowColours(false);
  try {
    showClosingSaying(console, files, fake.clock, {path});
  } catch (const ProgramStop&) {
    ROVA_FUZZ_CHECK(false);  // a sayings file never stops the program
  }
  return 0;
}

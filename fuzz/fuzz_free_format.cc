// Free-format integer reading, as the counts line and every numeric answer
// use it. Raw bytes must never crash it, and what it accepts must be
// consistent: asking for fewer values gives the same first values. Numbers
// written in any accepted layout must read back exactly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <optional>
#include <vector>

#include "format/free_format.h"
#include "fuzz/fuzz_support.h"

using namespace rova;

namespace {

constexpr std::size_t kMostValues = 5;

// The raw bytes as a line of text.
void readRaw(std::string_view text) {
  std::optional<std::vector<std::int32_t>> read[kMostValues + 1];
  for (std::size_t count = 1; count <= kMostValues; ++count) {
    read[count] = readIntegers(text, count);
    if (read[count]) ROVA_FUZZ_CHECK(read[count]->size() == count);
  }
  for (std::size_t more = 2; more <= kMostValues; ++more) {
    if (!read[more]) continue;
    for (std::size_t fewer = 1; fewer < more; ++fewer) {
      ROVA_FUZZ_CHECK(read[fewer].has_value());
      for (std::size_t i = 0; i < fewer; ++i) ROVA_FUZZ_CHECK((*read[fewer])[i] == (*read[more])[i]);
    }
  }
  auto one = readInteger(text);
  ROVA_FUZZ_CHECK(one.has_value() == read[1].has_value());
  if (one) ROVA_FUZZ_CHECK(*one == read[1]->front());
}

// The bytes as numbers and the layout to write them in: each value takes
// four bytes and one byte that picks its sign and separator.
void readWritten(const std::uint8_t* bytes, std::size_t size) {
  std::string text;
  std::int32_t values[kMostValues];
  std::size_t count = 0;
  while (size >= 5 && count < kMostValues) {
    std::uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u = (u << 8) | bytes[i];
    const std::uint8_t layout = bytes[4];
    bytes += 5;
    size -= 5;
    const std::int32_t value = static_cast<std::int32_t>(u);
    values[count++] = value;
    static const char* const kBefore[] = {"", " ", "\t", "  \t "};
    static const char* const kAfter[] = {" ", ",", " , ", "\t,\t", ",  ", "\t"};
    text += kBefore[layout & 3];
    if (value < 0) text += '-';
    else if (layout & 4) text += '+';
    if (layout & 8) text += "000";  // leading zeros do not change the value
    text += std::to_string(value < 0 ? -static_cast<long long>(value) : value);
    text += kAfter[(layout >> 4) % 6];
  }
  if (count == 0) return;
  auto read = readIntegers(text, count);
  ROVA_FUZZ_CHECK(read.has_value());
  for (std::size_t i = 0; i < count; ++i) ROVA_FUZZ_CHECK((*read)[i] == values[i]);
  // One value more than the text holds is not there.
  ROVA_FUZZ_CHECK(!readIntegers(text, count + 1).has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  readRaw(std::string_view(reinterpret_cast<const char*>(bytes), size));
  readWritten(bytes, size);
  return 0;
}

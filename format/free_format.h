// Free-format reading of whole numbers from a line of text: values are
// separated by blanks (tabs count as blanks) and/or one comma, a sign is
// allowed, and a value must fit in 32 signed bits.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace rova {

// The first `count` integers of the text, or nullopt when the text holds
// fewer, or when one of them is not a well-formed 32-bit integer.
std::optional<std::vector<std::int32_t>> readIntegers(std::string_view text, std::size_t count);

// The first integer of the text (what follows it is not read).
std::optional<std::int32_t> readInteger(std::string_view text);

}  // namespace rova

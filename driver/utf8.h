// Recognising UTF-8 in text that may not be UTF-8. File names and titles
// come from old data files and keyboards in any encoding; the JSON and SVG
// writers copy valid UTF-8 as it is and read any other byte as Latin-1, so
// what they write is always valid in its format.
#pragma once

#include <cstddef>
#include <string>

namespace rova {

// The length (2 to 4) of the valid multi-byte UTF-8 sequence that starts at
// text[i], or 0 when none starts there. Overlong forms, surrogates, code
// points above U+10FFFF and sequences cut short are not valid; ASCII bytes
// give 0 too (they are single characters, handled by the caller).
std::size_t utf8SequenceLength(const std::string& text, std::size_t i);

}  // namespace rova

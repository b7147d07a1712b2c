// Recognising UTF-8 in text that may not be UTF-8. File names and titles
// come from old data files and keyboards in any encoding.
//
// Texts are cut on character boundaries: a valid multi-byte sequence is
// never split, so a cut UTF-8 text stays UTF-8; a byte that is not part of
// a valid sequence counts as one character of its own.
//
// The JSON and SVG writers copy valid UTF-8 as it is and read any other
// byte of a text as Latin-1, so what they write is always valid in its
// format. A file name that is not valid UTF-8 is never written into the
// metadata that way (its Latin-1 reading would name another file): the
// metadata holds its bytes percent-encoded instead (see tidy_table.h).
#pragma once

#include <cstddef>
#include <string>

namespace rova {

// The length (2 to 4) of the valid multi-byte UTF-8 sequence that starts at
// text[i], or 0 when none starts there. Overlong forms, surrogates, code
// points above U+10FFFF and sequences cut short are not valid; ASCII bytes
// give 0 too (they are single characters, handled by the caller).
std::size_t utf8SequenceLength(const std::string& text, std::size_t i);

// True when every byte of `text` is ASCII or part of a valid multi-byte
// sequence.
bool isValidUtf8(const std::string& text);

// The length of the longest beginning of `text` of at most `limit` bytes
// that ends on a character boundary.
std::size_t utf8CutLength(const std::string& text, std::size_t limit);

// `text` cut to at most `length` bytes on a character boundary, then
// padded with blanks to exactly `length` bytes. For ASCII it is the plain
// cut and pad of a fixed-length field.
std::string utf8FixedLength(const std::string& text, std::size_t length);

// The bytes of `text` percent-encoded: A-Z a-z 0-9 "-" "." "_" "~" and "/"
// as they are, every other byte as "%" and two upper-case hex digits. The
// bytes are given back exactly by any percent-decoder (RFC 3986).
std::string percentEncoded(const std::string& text);

// A text from outside (a file name) as it may be printed on a terminal,
// every character visible: printable ASCII and valid UTF-8 as they are;
// control characters (codes below 32, 127, U+0080 to U+009F), the
// characters that reorder text (U+202A to U+202E, U+2066 to U+2069) and
// bytes that are no part of valid UTF-8 as "\x" and two hex digits per
// byte.
std::string visibleText(const std::string& text);

}  // namespace rova

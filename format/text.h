// Small routines on fixed-length, blank-padded texts.
#pragma once

#include <string>

namespace rova {

// The position (from 1) of the last character that is neither blank nor
// NUL, or 1 when there is none. Ctrl-Z characters (DOS end-of-file marks)
// passed on the way are replaced by blanks in place.
int trimmedLength(std::string& text);

void toUpperCase(std::string& text);
void toLowerCase(std::string& text);
void blankFill(std::string& text);

// Removes every blank and NUL, keeping the order of the other characters.
std::string packName(const std::string& name);

// The first `length` characters of `text`, padded with blanks.
std::string fixedLength(const std::string& text, std::size_t length);

// Text as it may be printed in a report: control characters (codes below
// 32 and 127) become "_"; every other byte, UTF-8 included, is kept.
std::string printable(std::string text);

// Text from a file as it may be shown or quoted on the screen: control and
// non-ASCII bytes become "_", so that a file of junk cannot send escape
// sequences to the terminal.
std::string screenSafe(std::string text);

}  // namespace rova

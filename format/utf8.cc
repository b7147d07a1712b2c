#include "format/utf8.h"

#include <algorithm>

namespace rova {

std::size_t utf8SequenceLength(const std::string& text, std::size_t i) {
  if (i >= text.size()) return 0;
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return length;
}

}  // namespace rova

namespace rova {

bool isValidUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
    } else if (std::size_t length = utf8SequenceLength(text, i)) {
      i += length;
    } else {
      return false;
    }
  }
  return true;
}

std::size_t utf8CutLength(const std::string& text, std::size_t limit) {
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t length = std::max<std::size_t>(utf8SequenceLength(text, end), 1);
    if (end + length > limit) break;
    end += length;
  }
  return end;
}

std::string utf8FixedLength(const std::string& text, std::size_t length) {
  std::string out = text.substr(0, utf8CutLength(text, length));
  out.resize(length, ' ');
  return out;
}

std::string percentEncoded(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    const bool kept = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
                      u == '-' || u == '.' || u == '_' || u == '~' || u == '/';
    if (kept) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 0xf];
    }
  }
  return out;
}

std::string visibleText(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  auto escaped = [&out](const std::string& bytes) {
    for (char c : bytes) {
      const unsigned char u = static_cast<unsigned char>(c);
      out += "\\x";
      out += kHex[u >> 4];
      out += kHex[u & 0xf];
    }
  };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char u = static_cast<unsigned char>(text[i]);
    if (u >= 32 && u < 127) {
      out += text[i++];
      continue;
    }
    const std::size_t length = u < 0x80 ? 0 : utf8SequenceLength(text, i);
    if (length == 0) {
      escaped(text.substr(i, 1));
      ++i;
      continue;
    }
    const std::string sequence = text.substr(i, length);
    const bool c1 = sequence[0] == '\xC2' && static_cast<unsigned char>(sequence[1]) < 0xA0;
    const bool reorders = length == 3 && sequence.compare(0, 2, "\xE2\x80") == 0 &&
                          static_cast<unsigned char>(sequence[2]) >= 0xAA &&
                          static_cast<unsigned char>(sequence[2]) <= 0xAE;
    const bool isolates = length == 3 && sequence.compare(0, 2, "\xE2\x81") == 0 &&
                          static_cast<unsigned char>(sequence[2]) >= 0xA6 &&
                          static_cast<unsigned char>(sequence[2]) <= 0xA9;
    if (c1 || reorders || isolates) {
      escaped(sequence);
    } else {
      out += sequence;
    }
    i += length;
  }
  return out;
}

}  // namespace rova

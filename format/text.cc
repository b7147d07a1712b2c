#include "format/text.h"

namespace rova {

int trimmedLength(std::string& text) {
  for (std::size_t n = text.size(); n > 0; --n) {
    char& c = text[n - 1];
    if (c == '\x1a') c = ' ';
    if (c != ' ' && c != '\0') return static_cast<int>(n);
  }
  return 1;
}

void toUpperCase(std::string& text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
}

void toLowerCase(std::string& text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
}

void blankFill(std::string& text) { text.assign(text.size(), ' '); }

std::string packName(const std::string& name) {
  std::string packed;
  for (char c : name)
    if (c != ' ' && c != '\0') packed.push_back(c);
  return packed;
}

std::string fixedLength(const std::string& text, std::size_t length) {
  std::string out = text.substr(0, length);
  out.resize(length, ' ');
  return out;
}

std::string printable(std::string text) {
  for (char& c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) c = '_';
  }
  return text;
}

std::string screenSafe(std::string text) {
  for (char& c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 32 || u > 126) c = '_';
  }
  return text;
}

}  // namespace rova

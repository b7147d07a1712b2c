// Turns a plain-text sayings file into its stored form, or back: the first
// line (the count) is copied as it is, every other line is scrambled.
// Usage: rova_scramble_sayings < plain.txt > DICHOS.TXT
#include <iostream>
#include <string>

#include "console/closing_saying.h"

int main() {
  std::string line;
  bool first = true;
  while (std::getline(std::cin, line)) {
    std::cout << (first ? line : rova::scrambleSaying(line)) << '\n';
    first = false;
  }
  return std::cout ? 0 : 1;
}

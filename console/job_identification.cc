#include "console/job_identification.h"

#include <cstring>

#include "format/text.h"

namespace rova {

std::string identifierCharacters(std::string text) {
  static const char kAllowed[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-";
  toUpperCase(text);
  for (char& c : text) {
    if (c == '\0' || std::strchr(kAllowed, c) == nullptr) c = '_';
  }
  return text;
}

std::string jobIdentifierFrom(const std::string& text) {
  std::string id = fixedLength(text, 5);
  const int n = trimmedLength(id);
  return identifierCharacters(id.substr(0, n)) + id.substr(n);
}

void askJobIdentifier(Console& console, char lead) {
  if (lead == '|') console.write(" ");
  const std::string answer = console.askText("Identify job (up to 5 characters)", 5);
  if (answer[0] == ' ') return;
  console.identification.job = jobIdentifierFrom(answer);
}

}  // namespace rova

#include "console/job_identification.h"

#include <cstring>

#include "format/text.h"

namespace rova {

std::string jobIdentifierFrom(const std::string& text) {
  static const char kAllowed[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-";
  std::string id = fixedLength(text, 5);
  toUpperCase(id);
  const int n = trimmedLength(id);
  for (int i = 0; i < n; ++i) {
    if (id[i] == '\0' || std::strchr(kAllowed, id[i]) == nullptr) id[i] = '_';
  }
  return id;
}

void askJobIdentifier(Console& console, char lead) {
  if (lead == '|') console.write(" ");
  const std::string answer = console.askText("Identify job (up to 5 characters)", 5);
  if (answer[0] == ' ') return;
  console.identification.job = jobIdentifierFrom(answer);
}

}  // namespace rova

#include "console/job_identification.h"

#include <cstring>

#include "console/text.h"

namespace rova {

void askJobIdentifier(Console& console, char lead) {
  static const char kAllowed[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-";
  if (lead == '|') console.write(" ");
  std::string answer = console.askText("Identify job (up to 5 characters)", 5);
  if (answer[0] == ' ') return;
  const int n = trimmedLength(answer);
  for (int i = 0; i < n; ++i) {
    if (answer[i] == '\0' || std::strchr(kAllowed, answer[i]) == nullptr) answer[i] = '_';
  }
  console.programIdentification.replace(0, 5, answer);
}

}  // namespace rova

#include "export/csv_text.h"

#include "format/utf8.h"

namespace rova {

std::string csvField(const std::string& text) {
  std::string field = isValidUtf8(text) ? text : percentEncoded(text);
  const bool formula = !field.empty() && std::string("=+-@\t\r").find(field[0]) != std::string::npos;
  if (formula) field.insert(0, "'");
  if (!formula && field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string quoted = "\"";
  for (char c : field) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace rova

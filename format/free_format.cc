#include "format/free_format.h"

namespace rova {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\0'; }

}  // namespace

std::optional<std::vector<std::int32_t>> readIntegers(std::string_view text, std::size_t count) {
  std::vector<std::int32_t> values;
  std::size_t i = 0;
  while (values.size() < count) {
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i >= text.size()) return std::nullopt;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    long long value = 0;
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
      value = value * 10 + (text[i] - '0');
      if (value > 2147483648LL) return std::nullopt;
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && !isBlank(text[i]) && text[i] != ',') return std::nullopt;
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    values.push_back(static_cast<std::int32_t>(value));
    // The separator: blanks, then at most one comma, then blanks.
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i < text.size() && text[i] == ',') ++i;
  }
  return values;
}

std::optional<std::int32_t> readInteger(std::string_view text) {
  auto values = readIntegers(text, 1);
  if (!values) return std::nullopt;
  return values->front();
}

}  // namespace rova

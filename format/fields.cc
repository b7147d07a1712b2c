#include "format/fields.h"

#include <cstdio>

namespace rova::fmt {
namespace {

std::string fitted(const std::string& text, int w) {
  if (w <= 0) return std::string();
  if (static_cast<int>(text.size()) > w) return std::string(w, '*');
  return std::string(w - text.size(), ' ') + text;
}

}  // namespace

std::string I(long long value, int w) { return fitted(std::to_string(value), w); }

std::string F(float value, int w, int d) {
  char buffer[96];
  // The float is widened to double without change, so printf rounds the
  // exact single-precision value (ties to even on the exact binary value).
  std::snprintf(buffer, sizeof buffer, "%.*f", d, static_cast<double>(value));
  std::string text(buffer);
  if (text.size() > 80) text = std::string(w + 1, '*');
  return fitted(text, w);
}

std::string X(int n) { return std::string(n > 0 ? n : 0, ' '); }

std::string padded(std::string_view text, std::size_t w) {
  std::string out(text.substr(0, w));
  out.resize(w, ' ');
  return out;
}

Line& Line::a(std::string_view text) {
  if (cursor_ > text_.size()) text_.resize(cursor_, ' ');
  std::size_t overlap = std::min(text.size(), text_.size() - cursor_);
  text_.replace(cursor_, overlap, text.substr(0, overlap));
  text_.append(text.substr(overlap));
  cursor_ += text.size();
  return *this;
}

Line& Line::tab(int column) {
  cursor_ = column > 1 ? static_cast<std::size_t>(column - 1) : 0;
  if (text_.size() < cursor_) text_.resize(cursor_, ' ');
  return *this;
}

std::size_t lastNonBlank(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && (text[n - 1] == ' ' || text[n - 1] == '\0')) --n;
  return n;
}

std::string_view trimRight(std::string_view text) { return text.substr(0, lastNonBlank(text)); }

}  // namespace rova::fmt

#include "format/fields.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace rova::fmt {
namespace {

// Right-aligns a text of `length` characters in w columns, or fills them
// with asterisks when it is wider.
char* fit(char* out, const char* text, std::size_t length, int w) {
  if (w <= 0) return out;
  const std::size_t width = static_cast<std::size_t>(w);
  if (length > width) {
    std::memset(out, '*', width);
  } else {
    std::memset(out, ' ', width - length);
    std::memcpy(out + (width - length), text, length);
  }
  return out + width;
}

// Writes the decimal digits of n so that they end at `end`; returns where
// they begin.
char* digitsBefore(char* end, std::uint64_t n) {
  do {
    *--end = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  return end;
}

// 5^d for the decimals that the exact path handles: with a significand
// below 2^24, m * 5^17 still fits in 64 bits.
constexpr int kMostExactDecimals = 17;
constexpr std::uint64_t kPowersOfFive[kMostExactDecimals + 1] = {
    1ull,           5ull,            25ull,            125ull,           625ull,
    3125ull,        15625ull,        78125ull,         390625ull,        1953125ull,
    9765625ull,     48828125ull,     244140625ull,     1220703125ull,    6103515625ull,
    30517578125ull, 152587890625ull, 762939453125ull};

// |value| * 10^d rounded to a whole number, ties to even, from the exact
// binary value of the float; false when the value is not finite, d is out
// of the table's range or the result would not fit in 64 bits.
//
// A finite float is m * 2^e with m below 2^24, so |value| * 10^d is
// m * 5^d * 2^(e + d): an integer product shifted left (exact) or right
// (rounded on the bits shifted out, which are the exact remainder).
bool scaledMagnitude(float value, int d, std::uint64_t& n) {
  if (d < 0 || d > kMostExactDecimals) return false;
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 23) & 0xff);
  if (biased == 0xff) return false;  // infinity or NaN
  std::uint64_t m = bits & 0x7fffff;
  int e = -149;  // zero and denormals
  if (biased != 0) {
    m |= 0x800000;
    e = biased - 150;
  }
  const std::uint64_t p = m * kPowersOfFive[d];
  const int shift = e + d;
  if (shift >= 0) {
    if (p != 0 && (shift >= 64 || p > (UINT64_MAX >> shift))) return false;
    n = p << (shift < 64 ? shift : 0);
    return true;
  }
  const int right = -shift;
  if (right >= 64) {
    // p < 2^64: above one half only when right is 64 and p above 2^63; a
    // tie (p = 2^63) goes to the even 0.
    n = (right == 64 && p > (std::uint64_t{1} << 63)) ? 1 : 0;
    return true;
  }
  std::uint64_t q = p >> right;
  const std::uint64_t rest = p & ((std::uint64_t{1} << right) - 1);
  const std::uint64_t half = std::uint64_t{1} << (right - 1);
  if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  n = q;
  return true;
}

// Fw.d by printf for what the exact path does not take: infinities and
// NaNs, huge values, many decimals. The float is widened to double without
// change, so printf rounds the exact single-precision value (ties to even
// on the exact binary value). A text longer than 80 characters is taken as
// too wide for any field.
char* putFByPrintf(char* out, float value, int w, int d) {
  char buffer[96];
  const int length = std::snprintf(buffer, sizeof buffer, "%.*f", d, static_cast<double>(value));
  if (length < 0 || length > 80) return fit(out, buffer, static_cast<std::size_t>(w) + 1, w);
  return fit(out, buffer, static_cast<std::size_t>(length), w);
}

}  // namespace

char* putI(char* out, long long value, int w) {
  if (w <= 0) return out;
  char buffer[24];
  char* end = buffer + sizeof buffer;
  const std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  char* start = digitsBefore(end, magnitude);
  if (value < 0) *--start = '-';
  return fit(out, start, static_cast<std::size_t>(end - start), w);
}

char* putF(char* out, float value, int w, int d) {
  if (w <= 0) return out;
  std::uint64_t n;
  if (!scaledMagnitude(value, d, n)) return putFByPrintf(out, value, w, d);
  // At most 20 integer digits, a point, 17 decimals and a sign.
  char buffer[48];
  char* end = buffer + sizeof buffer;
  char* start = end;
  for (int i = 0; i < d; ++i) {
    *--start = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  if (d > 0) *--start = '.';
  start = digitsBefore(start, n);
  // printf shows the sign of every negative float, -0.0 and values that
  // round to zero included.
  if (std::signbit(value)) *--start = '-';
  return fit(out, start, static_cast<std::size_t>(end - start), w);
}

void appendI(std::string& text, long long value, int w) {
  if (w <= 0) return;
  const std::size_t at = text.size();
  text.resize(at + static_cast<std::size_t>(w));
  putI(&text[at], value, w);
}

void appendF(std::string& text, float value, int w, int d) {
  if (w <= 0) return;
  const std::size_t at = text.size();
  text.resize(at + static_cast<std::size_t>(w));
  putF(&text[at], value, w, d);
}

std::string I(long long value, int w) {
  std::string text;
  appendI(text, value, w);
  return text;
}

std::string F(float value, int w, int d) {
  std::string text;
  appendF(text, value, w, d);
  return text;
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

// Narrow fields are made on the stack; a wider one as a string.
Line& Line::i(long long value, int w) {
  char field[64];
  if (w > static_cast<int>(sizeof field)) return a(I(value, w));
  return a(std::string_view(field, static_cast<std::size_t>(putI(field, value, w) - field)));
}

Line& Line::f(float value, int w, int d) {
  char field[64];
  if (w > static_cast<int>(sizeof field)) return a(F(value, w, d));
  return a(std::string_view(field, static_cast<std::size_t>(putF(field, value, w, d) - field)));
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

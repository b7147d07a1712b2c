#include "format/fields.h"

#include <algorithm>
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

constexpr std::uint64_t kPowersOfTen[20] = {1ull,
                                            10ull,
                                            100ull,
                                            1000ull,
                                            10000ull,
                                            100000ull,
                                            1000000ull,
                                            10000000ull,
                                            100000000ull,
                                            1000000000ull,
                                            10000000000ull,
                                            100000000000ull,
                                            1000000000000ull,
                                            10000000000000ull,
                                            100000000000000ull,
                                            1000000000000000ull,
                                            10000000000000000ull,
                                            100000000000000000ull,
                                            1000000000000000000ull,
                                            10000000000000000000ull};

// The number of decimal digits of n (1 for 0): an estimate from the number
// of binary digits (1233 / 4096 is log10 2 to five places), which is at
// most one short, and one comparison.
int decimalDigits(std::uint64_t n) {
  const int bits = 64 - __builtin_clzll(n | 1);
  const int estimate = (bits * 1233) >> 12;
  return estimate + ((n | 1) >= kPowersOfTen[estimate] ? 1 : 0);
}

// Writes the last `digits` decimal digits of n, with a point before the
// last d of them when d > 0, so that they end at `end`; returns where they
// begin.
template <typename Unsigned>
char* digitsBefore(char* end, Unsigned n, int digits, int d) {
  for (int i = 0; i < d; ++i) {
    *--end = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  if (d > 0) *--end = '.';
  for (int i = d; i < digits; ++i) {
    *--end = static_cast<char>('0' + n % 10);
    n /= 10;
  }
  return end;
}

// The same in 32-bit arithmetic when n allows.
char* numberBefore(char* end, std::uint64_t n, int digits, int d) {
  if (n <= UINT32_MAX) return digitsBefore(end, static_cast<std::uint32_t>(n), digits, d);
  return digitsBefore(end, n, digits, d);
}

// Fills w columns (w > 0) with a number of `digits` digits (a point before
// the last d of them when d > 0) and a minus sign when `negative`,
// right-aligned after blanks, or with asterisks when that is wider than w.
char* numberField(char* out, std::uint64_t n, int digits, int d, bool negative, int w) {
  char* end = out + w;
  const int length = digits + (d > 0 ? 1 : 0) + (negative ? 1 : 0);
  if (length > w) {
    std::memset(out, '*', static_cast<std::size_t>(w));
    return end;
  }
  char* start = numberBefore(end, n, digits, d);
  if (negative) *--start = '-';
  while (start > out) *--start = ' ';
  return end;
}

// Numbers below 10^8 in fields of at most 16 columns, what the report and
// spreadsheet lines are made of, are written without branches on their
// digits and without reading back what was just stored: the eight digits
// are made at once in one 64-bit word, leading zeros become blanks by a
// mask, the right end of the field is put together in a 128-bit integer
// and stored in two pieces. The bytes of these words are the characters in
// the order they are read, which needs a little-endian machine with 128-bit
// integers; elsewhere every number takes the digit-by-digit way above.
constexpr std::uint64_t kShortLimit = 100000000;  // 10^8
constexpr int kShortWidth = 16;

#if defined(__SIZEOF_INT128__) && defined(__BYTE_ORDER__) && \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kShortFields = true;
using Picture = unsigned __int128;
constexpr std::uint64_t kBlankBytes = 0x2020202020202020ull;

// The digits of n < 10^8, eight bytes of 0..9, the first the most
// significant: n is split into two halves of four digits in 32-bit lanes,
// those into pairs in 16-bit lanes, those into digits in bytes. Each lane
// is divided by a multiplication and a shift that are exact for the lane's
// range (x * 10486 >> 20 is x / 100 for x < 10^4, x * 103 >> 10 is x / 10
// for x < 100), and no lane carries into the next.
std::uint64_t digitBytes(std::uint32_t n) {
  const std::uint64_t halves = (n / 10000) | (std::uint64_t{n % 10000} << 32);
  const std::uint64_t hundreds = ((halves * 10486) >> 20) & 0x0000007F0000007Full;
  const std::uint64_t pairs = hundreds | ((halves - hundreds * 100) << 16);
  const std::uint64_t tens = ((pairs * 103) >> 10) & 0x000F000F000F000Full;
  return tens | ((pairs - tens * 10) << 8);
}

// Writes the field of n < 10^8 with d decimals (0 to 7), a minus sign when
// `negative`, in 1 to 16 columns.
char* shortField(char* out, std::uint64_t n, int d, bool negative, int w) {
  const std::uint64_t digits = digitBytes(static_cast<std::uint32_t>(n));
  // Leading zero digits, keeping one before the point (the bit set in the
  // last byte keeps the count defined for 0).
  const int zeros = std::min(__builtin_ctzll(digits | (std::uint64_t{1} << 63)) / 8, 7 - d);
  const std::uint64_t ascii = digits + 0x3030303030303030ull;
  const std::uint64_t zeroMask = (std::uint64_t{1} << (8 * zeros)) - 1;
  // The field's right end, 16 bytes: blanks, then the text ending at the
  // last byte (byte i in bits 8i to 8i + 7). With decimals the text is the
  // whole digits, the point and the decimals, nine bytes.
  Picture picture;
  int length;
  if (d > 0) {
    const int whole = 8 - d;
    const std::uint64_t wholeMask = (std::uint64_t{1} << (8 * whole)) - 1;
    const std::uint64_t head =
        (((ascii & wholeMask) | (std::uint64_t{'.'} << (8 * whole))) & ~zeroMask) |
        (kBlankBytes & zeroMask);
    const Picture text = head | (static_cast<Picture>(ascii & ~wholeMask) << 8);
    picture = (text << 56) | (kBlankBytes >> 8);
    length = 9 - zeros;
  } else {
    const std::uint64_t text = (ascii & ~zeroMask) | (kBlankBytes & zeroMask);
    picture = (static_cast<Picture>(text) << 64) | kBlankBytes;
    length = 8 - zeros;
  }
  // The sign over the blank before the text ('-' is ' ' ^ 0x0D).
  picture ^= static_cast<Picture>(negative ? 0x0D : 0) << (8 * (kShortWidth - 1 - length));
  length += negative ? 1 : 0;
  if (length > w) {
    std::memset(out, '*', static_cast<std::size_t>(w));
    return out + w;
  }
  // The field's first bytes from its start, its last ones from the end of
  // the picture; the two stores overlap when w is not their size.
  const Picture field = picture >> (8 * (kShortWidth - w));
  if (w >= 8) {
    const std::uint64_t first = static_cast<std::uint64_t>(field);
    const std::uint64_t last = static_cast<std::uint64_t>(picture >> 64);
    std::memcpy(out, &first, 8);
    std::memcpy(out + w - 8, &last, 8);
  } else if (w >= 4) {
    const std::uint32_t first = static_cast<std::uint32_t>(field);
    const std::uint32_t last = static_cast<std::uint32_t>(picture >> 96);
    std::memcpy(out, &first, 4);
    std::memcpy(out + w - 4, &last, 4);
  } else {
    for (int i = 0; i < w; ++i) out[i] = static_cast<char>(field >> (8 * i));
  }
  return out + w;
}
#else
constexpr bool kShortFields = false;
char* shortField(char* out, std::uint64_t, int, bool, int) { return out; }  // never called
#endif

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
  const std::uint64_t q = p >> right;
  const std::uint64_t rest = p & ((std::uint64_t{1} << right) - 1);
  const std::uint64_t half = std::uint64_t{1} << (right - 1);
  // Without branches: the rest is as likely above half as below.
  n = q + ((rest > half) | ((rest == half) & q & 1));
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
  const bool negative = value < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  if (kShortFields && magnitude < kShortLimit && w <= kShortWidth)
    return shortField(out, magnitude, 0, negative, w);
  return numberField(out, magnitude, decimalDigits(magnitude), 0, negative, w);
}

char* putF(char* out, float value, int w, int d) {
  if (w <= 0) return out;
  std::uint64_t n;
  if (!scaledMagnitude(value, d, n)) return putFByPrintf(out, value, w, d);
  // printf shows the sign of every negative float, -0.0 and values that
  // round to zero included.
  const bool negative = std::signbit(value);
  if (kShortFields && n < kShortLimit && d <= 7 && w <= kShortWidth)
    return shortField(out, n, d, negative, w);
  // At least one digit before the point.
  return numberField(out, n, std::max(decimalDigits(n), d + 1), d, negative, w);
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

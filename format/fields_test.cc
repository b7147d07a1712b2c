#include "format/fields.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>

#include "format/free_format.h"

namespace rova {
namespace {

TEST(FieldsTest, IntegersAreRightAlignedAndOverflowToAsterisks) {
  EXPECT_EQ(fmt::I(5, 4), "   5");
  EXPECT_EQ(fmt::I(-2065, 6), " -2065");
  EXPECT_EQ(fmt::I(2030, 4), "2030");
  EXPECT_EQ(fmt::I(12345, 4), "****");
  EXPECT_EQ(fmt::I(-100, 4), "-100");
  EXPECT_EQ(fmt::I(-1000, 4), "****");
  EXPECT_EQ(fmt::I(0, 1), "0");
}

TEST(FieldsTest, RealsRoundTheExactSinglePrecisionValue) {
  EXPECT_EQ(fmt::F(9.612f, 8, 3), "   9.612");
  EXPECT_EQ(fmt::F(0.0f, 7, 3), "  0.000");
  EXPECT_EQ(fmt::F(-0.326f, 8, 3), "  -0.326");
  EXPECT_EQ(fmt::F(100.0f, 7, 3), "100.000");
  EXPECT_EQ(fmt::F(1000.0f, 7, 3), "*******");
  EXPECT_EQ(fmt::F(-100.0f, 7, 3), "*******");
  // 0.0625 is exact in binary: a true tie, rounded to even.
  EXPECT_EQ(fmt::F(0.0625f, 6, 3), " 0.062");
  EXPECT_EQ(fmt::F(0.1875f, 6, 3), " 0.188");
  // 2.0005 is stored as 2.000499963..., so it rounds down.
  EXPECT_EQ(fmt::F(2.0005f, 6, 3), " 2.000");
  EXPECT_EQ(fmt::F(1.0f / 3.0f, 9, 3), "    0.333");
}

TEST(FieldsTest, LineTabsPadAndOverwrite) {
  EXPECT_EQ(fmt::Line(" A").tab(5).a("B").str(), " A  B");
  EXPECT_EQ(fmt::Line("abcdef").tab(3).a("XY").str(), "abXYef");
  EXPECT_EQ(fmt::Line().x(2).i(7, 3).f(1.5f, 5, 1).str(), "    7  1.5");
  // Fields too wide for the line's own buffer.
  EXPECT_EQ(fmt::Line("x").f(-2.5f, 70, 1).i(3, 80).str(),
            "x" + std::string(66, ' ') + "-2.5" + std::string(79, ' ') + "3");
  EXPECT_EQ(fmt::padded("abc", 5), "abc  ");
  EXPECT_EQ(fmt::padded("abcdef", 4), "abcd");
  EXPECT_EQ(fmt::trimRight(std::string("ab \0 ", 5)), "ab");
}

// What printf makes of a field: the text of "%.*f" (or "%lld") right-aligned
// in w columns, asterisks when it is wider than w or longer than 80
// characters, nothing for w <= 0. Written into `out`, which has room.
void printfField(char* out, const char* text, int length, int w) {
  if (w <= 0) return;
  if (length > w || length > 80) {
    std::memset(out, '*', static_cast<std::size_t>(w));
    return;
  }
  std::memset(out, ' ', static_cast<std::size_t>(w - length));
  std::memcpy(out + (w - length), text, static_cast<std::size_t>(length));
}

float floatOf(std::uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::uint32_t bitsOf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// Writes fields into a buffer with guard characters after them and
// compares each with printf's, telling of the first few that differ. Each
// value is written in the width asked for and also in the width of
// printf's text and one less (where asterisks begin) and in 16 and 17
// columns, on either side of the widest field that short numbers are
// written in a word at a time.
class FieldComparison {
 public:
  FieldComparison() { std::memset(field_, '#', sizeof field_); }
  ~FieldComparison() { EXPECT_EQ(failures_, 0) << "of " << compared_ << " fields"; }

  void real(float value, int w, int d) {
    char text[512];
    const int length = std::snprintf(text, sizeof text, "%.*f", d, static_cast<double>(value));
    for (int width : {w, length - 1, length, 16, 17}) {
      if (width >= kRoom) continue;
      check(fmt::putF(field_, value, width, d), width, text, length, [&] {
        char what[96];
        std::snprintf(what, sizeof what, "F%d.%d of %a (bits %08x)", width, d,
                      static_cast<double>(value), bitsOf(value));
        return std::string(what);
      });
    }
  }

  void integer(long long value, int w) {
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%lld", value);
    for (int width : {w, length - 1, length, 16, 17}) {
      check(fmt::putI(field_, value, width), width, text, length,
            [&] { return "I" + std::to_string(width) + " of " + std::to_string(value); });
    }
  }

 private:
  static constexpr int kRoom = 128;

  // `end` is where the field just written into field_ ended.
  template <typename Describe>
  void check(const char* end, int w, const char* text, int length, Describe describe) {
    ++compared_;
    const std::size_t width = w > 0 ? static_cast<std::size_t>(w) : 0;
    char expected[kRoom];
    printfField(expected, text, length, w);
    const bool same = end == field_ + width && std::memcmp(field_, expected, width) == 0 &&
                      field_[width] == '#';
    if (!same && ++failures_ <= 10) {
      ADD_FAILURE() << describe() << ": \"" << std::string(field_, width) << "\" ("
                    << (end - field_) << " written), printf gives \""
                    << std::string(expected, width) << "\"";
    }
    std::memset(field_, '#', width + 1);
  }

  char field_[kRoom];
  long long compared_ = 0;
  long long failures_ = 0;
};

TEST(FastFieldsTest, RealsFromRandomBitPatternsPrintAsPrintfPrintsThem) {
  FieldComparison compare;
  std::mt19937 random(1);
  std::uniform_int_distribution<int> decimals(0, 5);
  std::uniform_int_distribution<int> narrow(0, 12);
  for (int i = 0; i < 400000; ++i) {
    const float value = floatOf(static_cast<std::uint32_t>(random()));
    const int d = decimals(random);
    // Wide fields show every digit; narrow ones test where asterisks begin.
    compare.real(value, 60, d);
    compare.real(value, narrow(random), d);
  }
}

TEST(FastFieldsTest, RealsOfTheReportsSizesPrintAsPrintfPrintsThem) {
  FieldComparison compare;
  std::mt19937 random(2);
  // Magnitudes from 2^-14 to 2^24, both signs, every significand equally
  // likely.
  std::uniform_int_distribution<std::uint32_t> exponent(127 - 14, 127 + 23);
  std::uniform_int_distribution<std::uint32_t> significand(0, 0x7fffff);
  std::uniform_int_distribution<int> decimals(0, 4);
  for (int i = 0; i < 700000; ++i) {
    const std::uint32_t sign = (random() & 1u) << 31;
    const float value = floatOf(sign | exponent(random) << 23 | significand(random));
    compare.real(value, 9, 3);
    compare.real(value, 30, decimals(random));
  }
}

TEST(FastFieldsTest, RealsNextToRoundingTiesRoundTheExactValue) {
  FieldComparison compare;
  std::mt19937 random(3);
  // Decimal ties x.xxx5 are never exact in binary: the floats nearest to
  // them and their neighbours round by the side of the tie they lie on.
  for (int d = 0; d <= 4; ++d) {
    const double scale = std::pow(10.0, d);
    std::uniform_int_distribution<long long> whole(0, static_cast<long long>(1e6 * scale));
    for (int i = 0; i < 20000; ++i) {
      const double tie = (static_cast<double>(whole(random)) + 0.5) / scale;
      float value = std::nextafter(std::nextafter(static_cast<float>(tie), 0.0f), 0.0f);
      for (int step = 0; step < 5; ++step) {
        compare.real(value, 30, d);
        compare.real(-value, 30, d);
        value = std::nextafter(value, FLT_MAX);
      }
    }
  }
  // Binary ties: odd multiples of 2^-(d+1) lie exactly halfway between two
  // values of d decimals and go to the even one.
  for (int d = 0; d <= 6; ++d) {
    std::uniform_int_distribution<std::uint32_t> odd(0, (1u << 23) - 1);
    for (int i = 0; i < 40000; ++i) {
      const float value = std::ldexp(static_cast<float>(2 * odd(random) + 1), -(d + 1));
      compare.real(value, 30, d);
      compare.real(-value, 30, d);
    }
  }
}

TEST(FastFieldsTest, RealsAtTheEdgesPrintAsPrintfPrintsThem) {
  FieldComparison compare;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float special[] = {0.0f,   -0.0f, FLT_MIN, -FLT_MIN, FLT_TRUE_MIN, -FLT_TRUE_MIN,
                           FLT_MAX, -FLT_MAX, inf, -inf, nan, -nan, 1.0f, -1.0f,
                           0.0005f, -0.0005f, 999.9995f, 999.9994f, -99.9995f, 0.5f, 1.5f, 2.5f};
  // A text longer than 80 characters (from many decimals) fills any field
  // with asterisks.
  for (float value : special) {
    for (int d : {-2, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
                  20, 21, 22, 40, 41, 45, 100}) {
      for (int w = -1; w <= 90; ++w) compare.real(value, w, d);
      compare.real(value, 120, d);
    }
  }
  // Around half a unit of the last decimal, where the smallest values stop
  // rounding to zero.
  for (int d = 0; d <= 20; ++d) {
    float value = static_cast<float>(0.5 * std::pow(10.0, -d));
    for (int step = 0; step < 64; ++step) value = std::nextafter(value, 0.0f);
    for (int step = 0; step < 128; ++step) {
      compare.real(value, 30, d);
      compare.real(-value, 30, d);
      value = std::nextafter(value, FLT_MAX);
    }
  }
  // Denormals, the values that round to zero, and the largest products
  // that still fit the exact path's 64 bits (about 1.8e19 / 10^d).
  std::mt19937 random(4);
  for (int i = 0; i < 200000; ++i) {
    const float denormal = floatOf(static_cast<std::uint32_t>(random()) & 0x807fffffu);
    compare.real(denormal, 30, static_cast<int>(random() % 22));
  }
  for (int d = 0; d <= 20; ++d) {
    const float limit = static_cast<float>(18446744073709551616.0 / std::pow(10.0, d));
    float value = limit;
    for (int step = 0; step < 64; ++step) value = std::nextafter(value, 0.0f);
    for (int step = 0; step < 128; ++step) {
      compare.real(value, 60, d);
      compare.real(-value, 60, d);
      compare.real(value, 20, d);
      value = std::nextafter(value, FLT_MAX);
    }
  }
  // Values that round up into one more digit than the field has room for.
  for (int d = 0; d <= 5; ++d) {
    for (int digits = 1; digits <= 7; ++digits) {
      const float below = static_cast<float>(std::pow(10.0, digits) - 0.5 * std::pow(10.0, -d));
      for (float value : {below, std::nextafter(below, 0.0f), std::nextafter(below, FLT_MAX)}) {
        for (int w = 1; w <= 14; ++w) {
          compare.real(value, w, d);
          compare.real(-value, w, d);
        }
      }
    }
  }
}

TEST(FastFieldsTest, IntegersPrintAsPrintfPrintsThem) {
  FieldComparison compare;
  std::mt19937_64 random(5);
  for (int i = 0; i < 300000; ++i) {
    const long long any = static_cast<long long>(random());
    const long long small = any >> (random() % 64);
    for (long long value : {any, small}) {
      compare.integer(value, 22);
      compare.integer(value, static_cast<int>(random() % 21));
    }
  }
  for (long long value : {0LL, -1LL, 9LL, 10LL, -9LL, -10LL, 99999LL, -99999LL, 100000LL,
                          LLONG_MAX, LLONG_MIN, LLONG_MIN + 1}) {
    for (int w = -1; w <= 25; ++w) compare.integer(value, w);
  }
}

TEST(FreeFormatTest, ReadsIntegersSeparatedByBlanksOrACommaTest) {
  EXPECT_EQ(readIntegers("1700 25 5", 3), (std::vector<std::int32_t>{1700, 25, 5}));
  EXPECT_EQ(readIntegers("1700,25,5", 3), (std::vector<std::int32_t>{1700, 25, 5}));
  EXPECT_EQ(readIntegers(" 1700 , 25\t5 extra", 3), (std::vector<std::int32_t>{1700, 25, 5}));
  EXPECT_FALSE(readIntegers("1700 25", 3));
  EXPECT_FALSE(readIntegers("1700 x 5", 3));
}

TEST(FreeFormatTest, OneIntegerWithSignAndLimits) {
  EXPECT_EQ(readInteger("12"), 12);
  EXPECT_EQ(readInteger("  -5  "), -5);
  EXPECT_EQ(readInteger("+5"), 5);
  EXPECT_EQ(readInteger("12,7"), 12);
  EXPECT_EQ(readInteger("2147483647"), 2147483647);
  EXPECT_EQ(readInteger("-2147483648"), -2147483647 - 1);
  EXPECT_FALSE(readInteger("2147483648"));
  EXPECT_FALSE(readInteger("99999999999"));
  EXPECT_FALSE(readInteger("5-"));
  EXPECT_FALSE(readInteger("-"));
  EXPECT_FALSE(readInteger("abc"));
  EXPECT_FALSE(readInteger(""));
  EXPECT_FALSE(readInteger("1.5"));
}

}  // namespace
}  // namespace rova

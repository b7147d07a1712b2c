#include "format/fields.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(fmt::padded("abc", 5), "abc  ");
  EXPECT_EQ(fmt::padded("abcdef", 4), "abcd");
  EXPECT_EQ(fmt::trimRight(std::string("ab \0 ", 5)), "ab");
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

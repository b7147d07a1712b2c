#include "records/identification.h"

#include <gtest/gtest.h>

#include <string>

namespace rova {
namespace {

Identification sample() {
  Identification id;
  id.job = "AB";
  id.programCode = "RVA1.15";
  id.dayNumber = 22988;
  id.clockText = "14:05  Sun 07 DEC 1997";
  id.stamp = "[07DEC97-1405]";
  id.suiteName = "FENWOOD";
  return id;
}

// The line as it is laid out column by column, independently of line().
TEST(Identification, RendersTheLineColumnByColumn) {
  const std::string expected = std::string("AB   RVA1.15P") + std::string(5, ' ') + " 22988" +
                               "14:05  Sun 07 DEC 1997" + "[07DEC97-1405]" +
                               std::string(134, ' ') + "FENWOOD" + std::string(53, ' ');
  ASSERT_EQ(expected.size(), 254u);
  EXPECT_EQ(sample().line(), expected);

  // A session before any job and program code: the suite's own.
  const std::string untouched = Identification{}.line();
  ASSERT_EQ(untouched.size(), 254u);
  EXPECT_EQ(untouched.substr(0, 24), "ZZ   GRN3.00P          0");
  EXPECT_EQ(untouched.find_first_not_of(' ', 24), std::string::npos);

  // Too long a suite name is cut at column 254; the line keeps its length.
  Identification id = sample();
  id.suiteName = std::string(70, 'S');
  EXPECT_EQ(id.line().size(), 254u);
  EXPECT_EQ(id.line().substr(194), std::string(60, 'S'));
}

TEST(Identification, DefaultSeedIsTheDayNumbersLastFiveDigits) {
  Identification id;
  id.dayNumber = 22988;
  EXPECT_EQ(id.defaultSeed(), 22988);
  id.dayNumber = 123456;  // columns 20-24 hold 23456
  EXPECT_EQ(id.defaultSeed(), 23456);
  EXPECT_EQ(id.line().substr(19, 5), "23456");
}

}  // namespace
}  // namespace rova

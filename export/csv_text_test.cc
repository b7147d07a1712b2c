#include "export/csv_text.h"

#include <gtest/gtest.h>

#include "format/utf8.h"

namespace rova {
namespace {

TEST(CsvField, PlainTextsStandAsTheyAreOthersAreQuoted) {
  EXPECT_EQ(csvField("ALDER"), "ALDER");
  EXPECT_EQ(csvField("Caf\xC3\xA9 Creek"), "Caf\xC3\xA9 Creek");
  EXPECT_EQ(csvField(""), "");
  EXPECT_EQ(csvField("a,b"), "\"a,b\"");
  EXPECT_EQ(csvField("say \"x\""), "\"say \"\"x\"\"\"");
  EXPECT_EQ(csvField("two\nlines"), "\"two\nlines\"");
  // Signs and at-signs inside a name are no formula.
  EXPECT_EQ(csvField("a=b-c+d@e"), "a=b-c+d@e");
}

// What a spreadsheet would run as a formula gets a quote before it.
TEST(CsvField, NamesThatBeginAFormulaAreDefused) {
  EXPECT_EQ(csvField("=HYPERLINK(\"http://x\",\"y\")"), "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"");
  EXPECT_EQ(csvField("+1"), "\"'+1\"");
  EXPECT_EQ(csvField("-2+3"), "\"'-2+3\"");
  EXPECT_EQ(csvField("@SUM(A1)"), "\"'@SUM(A1)\"");
  EXPECT_EQ(csvField("\tx"), "\"'\tx\"");
  EXPECT_EQ(csvField("\rx"), "\"'\rx\"");
}

// A name that is not UTF-8 is written as the JSON gives its bytes: the
// table stays valid UTF-8 and the name can be found again.
TEST(CsvField, NamesThatAreNotUtf8ArePercentEncoded) {
  const std::string latin1 = "Caf\xE9 site";
  EXPECT_EQ(csvField(latin1), "Caf%E9%20site");
  EXPECT_TRUE(isValidUtf8(csvField(latin1)));
  EXPECT_EQ(csvField(std::string("-\xFF")), "\"'-%FF\"");
}

}  // namespace
}  // namespace rova

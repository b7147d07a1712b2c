#include "format/utf8.h"

#include <gtest/gtest.h>

#include <string>

#include "format/text.h"

namespace rova {
namespace {

const std::string kEAcute = "\xC3\xA9";          // é, 2 bytes
const std::string kEuro = "\xE2\x82\xAC";        // €, 3 bytes
const std::string kFire = "\xF0\x9F\x94\xA5";    // U+1F525, 4 bytes

TEST(Utf8Cut, NeverSplitsAValidSequence) {
  // A sequence that would end past the limit is left out whole, whatever
  // byte of it the limit falls on.
  for (const std::string& c : {kEAcute, kEuro, kFire}) {
    for (std::size_t before = 0; before < c.size(); ++before) {
      const std::string text = std::string(10 - before, 'a') + c + "b";
      SCOPED_TRACE(text);
      EXPECT_EQ(utf8CutLength(text, 10), 10 - before);
      EXPECT_EQ(utf8CutLength(text, 10 - before + c.size()), 10 - before + c.size());
    }
  }
  EXPECT_EQ(utf8CutLength(kFire + kFire, 7), 4u);
  EXPECT_EQ(utf8CutLength(kFire, 3), 0u);
  EXPECT_EQ(utf8CutLength("abc", 10), 3u);
  EXPECT_EQ(utf8CutLength("", 10), 0u);
}

TEST(Utf8Cut, BytesOutsideValidSequencesAreCharactersOfTheirOwn) {
  EXPECT_EQ(utf8CutLength("abc\xE9xyz", 4), 4u);   // a Latin-1 é
  EXPECT_EQ(utf8CutLength("abc\xE2\x82", 4), 4u);  // a sequence cut short
  EXPECT_EQ(utf8CutLength("abc\xC0\xAF", 4), 4u);  // an overlong form
  EXPECT_EQ(utf8CutLength("abc\xED\xA0\x80", 5), 5u);  // a surrogate
}

TEST(Utf8Cut, FixedLengthFieldsOfAsciiAreThePlainCutAndPad) {
  for (const std::string& text : {std::string(), std::string("Alder Creek"), std::string(75, 'x'),
                                  std::string(60, 'y'), std::string(" \t\x01 lead")}) {
    EXPECT_EQ(utf8FixedLength(text, 60), fixedLength(text, 60)) << text;
  }
  EXPECT_EQ(utf8FixedLength(std::string(59, 'a') + kEAcute, 60), std::string(59, 'a') + " ");
  EXPECT_EQ(utf8FixedLength(std::string(58, 'a') + kEAcute + "zz", 60),
            std::string(58, 'a') + kEAcute);
  EXPECT_EQ(utf8FixedLength(std::string(57, 'a') + kFire, 60), std::string(57, 'a') + "   ");
}

TEST(Utf8Validity, OnlyWellFormedSequencesAreValid) {
  for (const std::string& good :
       {std::string(), std::string("plain/ascii.fhx"), "R" + kEAcute + "o " + kEuro + kFire,
        std::string("\xEF\xBF\xBF"), std::string("\xF4\x8F\xBF\xBF")}) {
    EXPECT_TRUE(isValidUtf8(good)) << good;
  }
  for (const std::string& bad :
       {std::string("Pe\xF1\x61"), std::string("\xC0\xAF"), std::string("\xE0\x80\xAF"),
        std::string("\xED\xA0\x80"), std::string("\xF4\x90\x80\x80"), std::string("ab\xE2\x82"),
        std::string("\x80"), std::string("\xFF")}) {
    EXPECT_FALSE(isValidUtf8(bad)) << bad;
  }
}

// Decodes %XX; the test's own reader of what percentEncoded writes.
std::string percentDecoded(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
    i += 2;
  }
  return out;
}

TEST(PercentEncoding, KeepsUnreservedBytesAndGivesBackEveryByte) {
  EXPECT_EQ(percentEncoded("data/Pe\xF1\x61 \"north\".fhx"), "data/Pe%F1a%20%22north%22.fhx");
  EXPECT_EQ(percentEncoded("A-z_0.9~/"), "A-z_0.9~/");
  EXPECT_EQ(percentEncoded("50%"), "50%25");
  std::string everyByte;
  for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
  const std::string encoded = percentEncoded(everyByte);
  EXPECT_EQ(encoded.find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~/%"),
            std::string::npos);
  EXPECT_EQ(percentDecoded(encoded), everyByte);
}

// Names printed on the terminal: nothing in them can move the cursor,
// clear the screen or reorder the line, and UTF-8 names stay readable.
TEST(VisibleText, ControlCharactersAndStrayBytesAreShownAsEscapes) {
  EXPECT_EQ(visibleText("sites/ALDER.FHX"), "sites/ALDER.FHX");
  EXPECT_EQ(visibleText("Caf" + kEAcute + kEuro + kFire), "Caf" + kEAcute + kEuro + kFire);
  EXPECT_EQ(visibleText("a\x1b[2Jb\tc\nd\x7f"), "a\\x1b[2Jb\\x09c\\x0ad\\x7f");
  EXPECT_EQ(visibleText("caf\xE9"), "caf\\xe9");
  EXPECT_EQ(visibleText("\xC2\x9B" "1m"), "\\xc2\\x9b1m");              // C1 CSI
  EXPECT_EQ(visibleText("a\xE2\x80\xAE" "b"), "a\\xe2\\x80\\xaeb");  // right-to-left override
  EXPECT_EQ(visibleText("a\xE2\x81\xA6" "b"), "a\\xe2\\x81\\xa6b");  // left-to-right isolate
  EXPECT_EQ(visibleText("\xE2\x80\x94"), "\xE2\x80\x94");               // an em dash is text
}

}  // namespace
}  // namespace rova

#include "console/closing_saying.h"

#include <gtest/gtest.h>

#include "platform/posix_platform.h"
#include "tests/test_support.h"

namespace rova {
namespace {

using testing::FixedClock;
using testing::RecordingInterpreter;
using testing::ScriptedTerminal;
using testing::TemporaryDirectory;

std::string stored(const std::vector<std::string>& plain) {
  std::string out = plain.front() + "\n";
  for (std::size_t i = 1; i < plain.size(); ++i) out += scrambleSaying(plain[i]) + "\n";
  return out;
}

struct SayingFixture : ::testing::Test {
  TemporaryDirectory dir;
  ScriptedTerminal terminal;
  RecordingInterpreter commands;
  PosixFileSystem files;
  Console console{terminal, commands};
  FixedClock clock{LocalTime{2026, 1, 1, 0, 0, 0}};

  std::vector<std::string> show(const std::string& contents, LocalTime at) {
    dir.write("DICHOS.TXT", contents);
    clock.time = at;
    terminal.records.clear();
    showClosingSaying(console, files, clock, {dir.file("missing.txt"), dir.file("DICHOS.TXT")});
    return terminal.shown();
  }
};

const std::vector<std::string> kTwo = {"   2", "-", "First saying", "- one", "Second",
                                       "and more", "- two"};

TEST_F(SayingFixture, TheTimeOfDayChoosesTheSaying) {
  std::string border(80, '*');
  for (std::size_t i = 0; i < 80; i += 2) border.replace(i, 2, console.borderPair);
  auto first = show(stored(kTwo), {2026, 1, 1, 0, 0, 0});
  EXPECT_EQ(first, (std::vector<std::string>{"", border, std::string(33, ' ') + "First saying",
                                              std::string(74, ' ') + "- one", border}));
  auto second = show(stored(kTwo), {2026, 1, 1, 0, 0, 1});
  ASSERT_EQ(second.size(), 6u);
  EXPECT_EQ(second[2], std::string(36, ' ') + "Second");
  EXPECT_EQ(second[4], std::string(74, ' ') + "- two");
  // 13:00:00 is 46800 seconds: even, so the first of two.
  EXPECT_EQ(show(stored(kTwo), {2026, 1, 1, 13, 0, 0})[2], std::string(33, ' ') + "First saying");
}

TEST_F(SayingFixture, FailuresShowNothing) {
  auto tooMany = stored(kTwo);
  tooMany.replace(0, 4, "   5");
  EXPECT_TRUE(show(tooMany, {2026, 1, 1, 0, 0, 3}).empty());  // the 4th saying does not exist
  for (const char* count : {"  -3", "   0", "    "}) {
    auto text = stored(kTwo);
    text.replace(0, 4, count);
    EXPECT_TRUE(show(text, {2026, 1, 1, 0, 0, 0}).empty()) << count;
  }
  auto noClosing = stored({"   1", "-", "never closed"});
  auto shown = show(noClosing, {2026, 1, 1, 0, 0, 0});
  EXPECT_EQ(shown.size(), 3u);  // the upper border and the text, no lower border
  EXPECT_TRUE(show("", {2026, 1, 1, 0, 0, 0}).empty());
}

TEST_F(SayingFixture, UnreadableCountMeans452AndTheFirstLineIsOrdinary) {
  // With 452 sayings, 00:00:00 picks the first marker line.
  auto text = "abc\n" + stored(kTwo).substr(5);
  auto shown = show(text, {2026, 1, 1, 0, 0, 0});
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown[2], std::string(33, ' ') + "First saying");
}

TEST_F(SayingFixture, LongLinesAreCutAndOtherCharactersKept) {
  const std::string accented = "Caf\xe9 " + std::string(90, 'x');
  auto shown = show(stored({"   1", "-", accented, "-"}), {2026, 1, 1, 0, 0, 0});
  ASSERT_EQ(shown.size(), 5u);
  EXPECT_EQ(shown[2], accented.substr(0, 80));  // 80 wide: no indent
}

// The shipped file is the scrambled form of the readable source text.
TEST(ShippedSayingsTest, StoredFileUnscramblesToTheIntendedText) {
  TemporaryDirectory unused;
  PosixFileSystem files;
  std::string error;
  auto storedFile = files.openForReading(std::string(ROVA_SOURCE_DIR) + "/data/DICHOS.TXT", error);
  auto plainFile = files.openForReading(std::string(ROVA_SOURCE_DIR) + "/data/sayings.txt", error);
  ASSERT_TRUE(storedFile && plainFile);
  const auto& s = storedFile->lines();
  const auto& p = plainFile->lines();
  ASSERT_EQ(s.size(), p.size());
  EXPECT_EQ(s[0], p[0]);
  for (std::size_t i = 1; i < s.size(); ++i) {
    EXPECT_EQ(scrambleSaying(s[i]), p[i]) << "line " << i + 1;
    EXPECT_LE(p[i].size(), 80u);
  }
  int sayings = std::stoi(p[0]);
  int closing = 0;
  for (std::size_t i = 1; i < p.size(); ++i) closing += p[i][0] == '-';
  EXPECT_EQ(closing, sayings + 1);
  EXPECT_GE(sayings, 20);
  EXPECT_LE(sayings, 40);
}

}  // namespace
}  // namespace rova

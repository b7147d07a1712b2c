// The catalogue of bad input: each case is a whole dialogue over a file
// (or answers) that a user may give, with the line the console must show
// and the exit status the run must end with.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "tests/dialogue_run.h"

namespace rova {
namespace {

using testing::DialogueRun;

struct BadInput {
  const char* name;
  std::string contents;                 // of IN.DAT
  std::vector<std::string> answers;     // after the job identifier
  std::string shown;                    // a line on the screen or the error stream
  int status;
};

std::string repeated(const std::string& line, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += line;
  return out;
}

const std::string kGood = "FHX2 FORMAT\n1800 2 1\nab\n\nU|\n|U\nUU\n";
const std::vector<std::string> kRun = {"IN.DAT", "", "3", "5", "3", ""};

std::vector<BadInput> catalogue() {
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("FHX2 FORMAT\r\n")) utf16 += std::string{c, '\0'};
  std::string wideCounts = "FHX2 FORMAT\n1800 500 2\n" + std::string(500, 'a') + "\n" +
                           std::string(500, '1') + "\n\n" + std::string(500, 'U') + "\n";
  std::string manyIds = "FHX2 FORMAT\n1800 2 20\n" + repeated("ab\n", 20) + "\nU|\n";
  return {
      {"empty file", "", kRun, " >> IN.DAT is empty: it holds no fire history", 1},
      {"only blank lines", "\n\n   \n\t\n", kRun, " >> IN.DAT holds only blank lines: no fire history", 1},
      {"NUL bytes only", std::string(64, '\0'), kRun, " >> IN.DAT holds only blank lines", 1},
      {"Fire Events years all outside the table", "17000 1 0\n17010 0 1\n", kRun,
       " >> Fire Events file: every year lies outside -2065 to 2030 (2 lines): no tree was read", 1},
      {"one series more than the data hold", "FHX2 FORMAT\n1800 3 1\nab\n\nU| 1800\n|U 1801\n", kRun,
       "line 2: the counts line declares 3 series, but the data lines hold codes in 2 columns", 1},
      {"Fire Events indented by a blank", "  1800 0 1\n  1801 1 0\n", kRun,
       "the years seem to stand a column to the right of columns 1-5", 1},
      {"Ctrl-Z in the middle", "FHX2 FORMAT\n1800 2 1\nab\n\nU|\n\x1a|U\nUU\n", kRun,
       " >> FIRE2: line 6 holds a DOS end-of-file mark (Ctrl-Z), which ends the text: the 2 lines "
       "after it are not read", 0},
      {"binary junk", std::string("\x7f\x45LF\x02\x01\x01\0\0\0junk\x90\x91", 17), kRun,
       "is not a whole number", 1},
      {"NUL bytes in the data", std::string("FHX2 FORMAT\n1800 2 0\n\nU\0\n\0U\n", 27), kRun,
       "FIRE2:  1800  1801     2 years     2 series", 0},
      {"UTF-16 with a byte-order mark", utf16, kRun, "is UTF-16 text, not a fire history", 1},
      {"CRLF and a final Ctrl-Z", "FHX2 FORMAT\r\n1800 2 1\r\nab\r\n\r\nU|\r\n|U\r\n\x1a", kRun,
       "FIRE2:  1800  1801     2 years     2 series", 0},
      {"lines of 100 000 characters", "FHX2 FORMAT\n1800 2 1\nab\n\nU| " + std::string(100000, 'U') +
       "\n|U " + std::string(100000, '|') + "\n", kRun, "FIRE2:  1800  1801     2 years     2 series", 0},
      {"counts line with letters", "FHX2 FORMAT\n18OO two 1\nab\n\nU|\n", kRun,
       "line 2: the line after the format line must hold", 1},
      {"negative numbers of series", "FHX2 FORMAT\n1800 -2 1\nab\n\nU|\n", kRun,
       "the number of series must be 1 or more", 1},
      {"0 series", "FHX2 FORMAT\n1800 0 1\nab\n\nU|\n", kRun, "the number of series must be 1", 1},
      {"500 series", wideCounts, kRun, "500 series in the file; only the first 200 are read", 0},
      {"20 identifier lines", manyIds, kRun, "identifiers are cut to their first 8 characters", 0},
      {"first year -5000", "FHX2 FORMAT\n-5000 2 0\n\nU|\n|U\n", kRun,
       "no data line falls in the years -2065 to 2030", 1},
      {"first year 3000", "FHX2 FORMAT\n3000 2 0\n\nU|\n", kRun, "no data line falls in the years", 1},
      {"data lines past 2030", "FHX2 FORMAT\n2029 2 0\n\nU|\n|U\nUU\n", kRun,
       "data lines after 2030 are not read", 0},
      {"fewer identifier lines than promised", "FHX2 FORMAT\n1800 2 5\nab\ncd\n", kRun,
       "the file ends within the identifier lines", 1},
      {"Fire Events year that is not a number", " 1800 0 1\n18x1 1 0\n", kRun,
       "Fire Events file, line 2: the year in columns 1-5", 1},
      {"more than 200 codes on a line", " 1800 " + std::string(300, '1') + "\n", kRun,
       "300 codes; only the first 200 trees are read", 0},
      {"option answers of 11 digits, +5, 5-, blanks and tabs", kGood,
       {"IN.DAT", "", "3", "12345678901", "5-", " \t ", "3", "+5", "3", ""}, "INTEGER!", 0},
  };
}

TEST(BadInputTest, EveryCaseGetsAClearAnswerAndAWellDefinedEnd) {
  for (const BadInput& c : catalogue()) {
    DialogueRun r;
    r.dir.write("IN.DAT", c.contents);
    std::vector<std::string> answers{"BAD"};
    answers.insert(answers.end(), c.answers.begin(), c.answers.end());
    const int status = r.run(answers, false);
    EXPECT_EQ(status, c.status) << c.name;
    EXPECT_TRUE(r.said(c.shown)) << c.name << ": expected \"" << c.shown << "\"";
    if (c.status == 0) {
      EXPECT_NE(r.dir.read("BADRVA.OUT").find("- = [ ROVA ] = -"), std::string::npos) << c.name;
    } else {
      EXPECT_FALSE(r.dir.exists("BADRVA.OUT")) << c.name;
      EXPECT_EQ(r.terminal.errors.size(), 1u) << c.name;
    }
  }
}

TEST(BadInputTest, DirectoriesAndUnreadableFilesAreAskedForAgain) {
  DialogueRun r;
  std::filesystem::create_directory(r.dir.file("folder"));
  r.dir.write("locked.fhx", kGood);
  std::filesystem::permissions(r.dir.file("locked.fhx"), std::filesystem::perms::none);
  const bool root = ::geteuid() == 0;  // permissions do not stop root
  const int status = r.run({"D", "folder", "", "locked.fhx", ""}, false);
  EXPECT_TRUE(r.terminal.showed(" Cannot open file folder"));
  EXPECT_TRUE(r.terminal.showed(" >> it is a directory"));
  if (!root) {
    EXPECT_TRUE(r.terminal.showed(" >> Permission denied"));
    EXPECT_EQ(status, 1);  // the answers end while the name is asked again
  }
}

}  // namespace
}  // namespace rova

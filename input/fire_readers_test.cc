#include "input/fire_readers.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/posix_platform.h"
#include "tests/test_support.h"

namespace rova {
namespace {

using testing::RecordingInterpreter;
using testing::ScriptedTerminal;

struct ReaderFixture : ::testing::Test {
  ScriptedTerminal terminal;
  RecordingInterpreter commands;
  Console console{terminal, commands};
  PosixFileSystem files;
  FileDialogue dialogue{console, files};
  std::unique_ptr<FireHistory> data = std::make_unique<FireHistory>();

  Fire2Result read(const std::string& contents) {
    text = std::make_unique<InputText>(splitTextLines(contents));
    return RFIRE2(*text, *data, console, dialogue);
  }
  std::unique_ptr<InputText> text;
};

const char* const kSmall =
    "FHX2 FORMAT\n"
    "1700 3 2\n"
    "ABC\n"
    "123\n"
    "\n"
    "..| 1700\n"
    "U|| 1701\n"
    "|.a 1702\n"
    "]|. 1703\n";

TEST_F(ReaderFixture, ReadsCountsIdentifiersCodesAndSpans) {
  ASSERT_EQ(read(kSmall).outcome, Fire2Outcome::kRead);
  EXPECT_EQ(data->seriesCount, 3);
  EXPECT_EQ(data->firstYear, 1700);
  EXPECT_EQ(data->lastYear, 1703);
  EXPECT_EQ(data->seriesIds[1], "A1      ");
  EXPECT_EQ(data->seriesIds[3], "C3      ");
  EXPECT_EQ(data->code(1701, 1), 'U');
  EXPECT_EQ(data->code(1702, 3), 'a');
  EXPECT_EQ(data->seriesFirstYear[1], 1701);
  EXPECT_EQ(data->seriesLastYear[1], 1703);
  EXPECT_EQ(data->seriesFirstYear[3], 1700);
  EXPECT_EQ(data->seriesLastYear[3], 1702);
  // The year written after the codes is not stored.
  EXPECT_EQ(data->code(1700, 4), ' ');
  EXPECT_EQ(terminal.records.back(), " FIRE2:  1700  1703     4 years     3 series");
}

TEST_F(ReaderFixture, MarkerVariantsAndCountsSeparators) {
  EXPECT_EQ(read("FIRE2 FORMATTED and more\n1700,1,0\n\nU\n").outcome, Fire2Outcome::kRead);
  EXPECT_EQ(data->seriesCount, 1);
  EXPECT_EQ(read("FHX2 FORMAT version x\n1700 , 1 0\n\nU\n").outcome, Fire2Outcome::kRead);
  EXPECT_EQ(read("fhx2 format\n1700 1 0\n\nU\n").outcome, Fire2Outcome::kNotFire2);
  EXPECT_EQ(data->seriesCount, 0);
  EXPECT_TRUE(terminal.showed("+First 12 lines"));
}

TEST_F(ReaderFixture, DescriptiveHeaderBeforeTheMarkerIsSkipped) {
  ASSERT_EQ(read(std::string("Name of site   : Somewhere\nLatitude : 35\xb0\n\n") + kSmall).outcome,
            Fire2Outcome::kRead);
  EXPECT_EQ(data->seriesCount, 3);
  EXPECT_EQ(data->code(1701, 1), 'U');
  EXPECT_FALSE(terminal.showed("+First"));
}

TEST_F(ReaderFixture, LineEndsCtrlZAndTrailingEmptyLinesAreNotData) {
  std::string crlf;
  for (char c : std::string(kSmall)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  ASSERT_EQ(read(crlf + "\r\n\r\n\x1a").outcome, Fire2Outcome::kRead);
  EXPECT_EQ(data->lastYear, 1703);
  EXPECT_EQ(data->seriesLastYear[2], 1703);
  std::string noFinalEnd(kSmall);
  noFinalEnd.pop_back();
  ASSERT_EQ(read(noFinalEnd + "\n   \n").outcome, Fire2Outcome::kRead);
  EXPECT_EQ(data->lastYear, 1703);
}

TEST_F(ReaderFixture, ShortDataLinesReadAsBlanksAndAllDotSeriesHasNoRecord) {
  ASSERT_EQ(read("FHX2 FORMAT\n1800 3 1\nabc\n\n.U\n.\n..|\n").outcome, Fire2Outcome::kRead);
  EXPECT_EQ(data->code(1800, 3), ' ');
  EXPECT_EQ(data->seriesLastYear[2], 1801);  // a missing column is a recording year
  EXPECT_EQ(data->seriesFirstYear[1], 2030);  // only "." codes: the no-record pair
  EXPECT_EQ(data->seriesLastYear[1], -2065);
}

TEST_F(ReaderFixture, FilesBeyondTheTableAreCutWithAMessage) {
  std::string wide = "FHX2 FORMAT\n2028 250 10\n";
  for (int k = 0; k < 10; ++k) wide += std::string(250, char('A' + k)) + "\n";
  wide += "\n";
  for (int y = 2028; y <= 2032; ++y) wide += std::string(250, 'U') + "\n";
  ASSERT_EQ(read(wide).outcome, Fire2Outcome::kRead);
  EXPECT_EQ(data->seriesCount, 200);
  EXPECT_EQ(data->seriesIds[200], "ABCDEFGH");
  EXPECT_EQ(data->lastYear, 2030);
  EXPECT_TRUE(terminal.showed("only the first 200 are read"));
  EXPECT_TRUE(terminal.showed("identifiers are cut"));
  EXPECT_TRUE(terminal.showed("data lines after 2030 are not read"));

  ASSERT_EQ(read("FHX2 FORMAT\n-2067 1 0\n\nA\nB\nC\n").outcome, Fire2Outcome::kRead);
  EXPECT_EQ(data->firstYear, -2065);
  EXPECT_EQ(data->code(-2065, 1), 'C');
  EXPECT_TRUE(terminal.showed("data lines before -2065 are not read"));
}

TEST_F(ReaderFixture, UnusableFire2FilesAreRefusedWithTheReason) {
  auto refused = read("FHX2 FORMAT\n1700 x 2\n");
  EXPECT_EQ(refused.outcome, Fire2Outcome::kRefused);
  EXPECT_NE(refused.problem.find("line 2"), std::string::npos);
  EXPECT_EQ(read("FHX2 FORMAT\n1700 0 2\n").outcome, Fire2Outcome::kRefused);
  EXPECT_EQ(read("FHX2 FORMAT\n1700 2 2\nAB\n").outcome, Fire2Outcome::kRefused);
  EXPECT_EQ(read("FHX2 FORMAT\n1700 2 0\n\n\n\n").outcome, Fire2Outcome::kRefused);
  EXPECT_EQ(read("FHX2 FORMAT\n3000 1 0\n\nU\n").outcome, Fire2Outcome::kRefused);
  EXPECT_EQ(read("").outcome, Fire2Outcome::kNotFire2);
}

TEST_F(ReaderFixture, FirePreviewShowsTwelveLinesCutWithControlCharactersMarked) {
  std::string contents = "1700 0\t1\n" + std::string(100, 'x') + "\n";
  for (int i = 0; i < 15; ++i) contents += "line\n";
  ASSERT_EQ(read(contents).outcome, Fire2Outcome::kNotFire2);
  const auto shown = terminal.shown();
  ASSERT_EQ(shown.size(), 14u);
  EXPECT_EQ(shown[0], "First 12 lines");
  EXPECT_EQ(terminal.records[0][0], '+');
  EXPECT_EQ(shown[1], "1700 0_1" + std::string(71, ' '));
  EXPECT_EQ(shown[2], std::string(79, 'x'));
  EXPECT_EQ(shown[13].substr(0, 20), "....:....1....:....2");
  EXPECT_EQ(shown[13].size(), 80u);
  EXPECT_EQ(text->lineNumber(), 0u);
}

TEST_F(ReaderFixture, FireEventsCodesWithOrWithoutBlanksGiveTheSameTrees) {
  InputText spaced(splitTextLines(" 1700 0 0 1 * 9\n 1701 00000\n"));
  RFIREB(spaced, *data, console);
  EXPECT_EQ(data->seriesCount, 5);
  const std::string first{data->code(1700, 1), data->code(1700, 2), data->code(1700, 3),
                          data->code(1700, 4), data->code(1700, 5)};
  EXPECT_EQ(first, "||U..");  // no data before the first recorded year
  InputText packed(splitTextLines(" 1701 00000\n 1700 001*9\n"));
  FireHistory other;
  RFIREB(packed, other, console);
  for (int s = 1; s <= 5; ++s) EXPECT_EQ(other.code(1700, s), data->code(1700, s));
  EXPECT_EQ(data->seriesIds[1], "Tree   1");
  EXPECT_TRUE(terminal.showed(" Fire events:  1700  1701     2 years     5 Series"));
}

TEST_F(ReaderFixture, FireEventsYearsOutsideTheTableAreSkippedAndBadYearsStop) {
  InputText text(splitTextLines("17000\n 1750 1\n 1790 1\n 1770 9\n"));
  RFIREB(text, *data, console);
  EXPECT_TRUE(terminal.showed(" >> Sbr RFIREB: Year 17000"));
  EXPECT_EQ(data->firstYear, 1750);
  EXPECT_EQ(data->code(1770, 1), '|');
  InputText bad(splitTextLines(" 1750 1\n17x0 1\n"));
  try {
    RFIREB(bad, *data, console);
    FAIL() << "a year that is not a number must stop the run";
  } catch (const ProgramStop& stop) {
    EXPECT_EQ(stop.status, 1);
    EXPECT_NE(stop.message.find("line 2"), std::string::npos);
  }
}

TEST_F(ReaderFixture, FireEventsOrderGapsAndUnequalLines) {
  InputText descending(splitTextLines(" 1790 1\n 1770 9\n 1750 1\n 1760 *\n"));
  RFIREB(descending, *data, console);
  EXPECT_EQ(data->seriesFirstYear[1], 1750);
  EXPECT_EQ(data->seriesLastYear[1], 1790);
  EXPECT_EQ(data->code(1750, 1), 'U');
  for (int y = 1751; y < 1790; ++y) EXPECT_EQ(data->code(y, 1), '|') << y;
  EXPECT_EQ(data->code(1790, 1), 'U');

  // The count of the last line read stands; longer lines keep their codes.
  InputText unequal(splitTextLines(" 1800 0101\n 1801 01\n"));
  RFIREB(unequal, *data, console);
  EXPECT_EQ(data->seriesCount, 2);
  EXPECT_EQ(data->code(1800, 4), 'U');
  // A tree with only "*" keeps the no-record pair; letters are stored as they are.
  InputText stars(splitTextLines(" 1800 *U\n 1801 *0\n"));
  RFIREB(stars, *data, console);
  EXPECT_EQ(data->seriesFirstYear[1], 2030);
  EXPECT_EQ(data->code(1800, 1), '.');
  EXPECT_EQ(data->code(1800, 2), 'U');
  // A five-digit year: "1700" in columns 1-4 followed by a code reads as 17000.
  InputText shifted(splitTextLines("17000 1\n 1701 1\n"));
  RFIREB(shifted, *data, console);
  EXPECT_TRUE(terminal.showed(" >> Sbr RFIREB: Year 17000"));
  EXPECT_EQ(data->firstYear, 1701);
}

TEST_F(ReaderFixture, FireEventsLinesWithMoreThan200CodesAreCut) {
  InputText wide(splitTextLines(" 1900 " + std::string(250, '1') + "\n"));
  RFIREB(wide, *data, console);
  EXPECT_EQ(data->seriesCount, 200);
  EXPECT_TRUE(terminal.showed("250 codes; only the first 200 trees are read"));
  InputText empty(splitTextLines(""));
  RFIREB(empty, *data, console);
  EXPECT_EQ(data->seriesCount, 0);
  EXPECT_TRUE(terminal.showed(" Fire events:  2030 -2065 -4094 years     0 Series"));
}

// Every real FHX2 file is read whole: its span, series count and the
// identifiers of its first and last series, checked against the counts
// line and the data lines of the file itself.
TEST_F(ReaderFixture, RealFhx2FilesAreReadCompletely) {
  const std::string dir = testing::realDataDirectory();
  if (dir.empty()) GTEST_SKIP() << "no real fire-history files here";
  int filesRead = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name == "SOURCES.md") continue;
    std::string error;
    auto file = files.openForReading(entry.path().string(), error);
    ASSERT_TRUE(file) << name;
    const auto& lines = file->lines();
    std::size_t marker = 0;
    while (lines[marker].rfind("FHX2 FORMAT", 0) != 0) ++marker;
    int first = 0, series = 0, idLines = 0;
    ASSERT_EQ(std::sscanf(lines[marker + 1].c_str(), "%d %d %d", &first, &series, &idLines), 3);
    std::size_t lastData = lines.size();
    while (lines[lastData - 1].find_first_not_of(" ") == std::string::npos) --lastData;
    const std::size_t dataLines = lastData - (marker + 3 + idLines);
    text = std::move(file);
    ASSERT_EQ(RFIRE2(*text, *data, console, dialogue).outcome, Fire2Outcome::kRead) << name;
    EXPECT_EQ(data->seriesCount, series) << name;
    EXPECT_EQ(data->firstYear, first) << name;
    EXPECT_EQ(data->lastYear, first + static_cast<int>(dataLines) - 1) << name;
    const std::string& lastLine = lines[lastData - 1];
    for (int s = 1; s <= series; ++s) EXPECT_EQ(data->code(data->lastYear, s), lastLine[s - 1]);
    EXPECT_EQ(data->seriesIds[1][0], lines[marker + 2][0]) << name;
    // A series may be all "." (a tree without record): then it keeps the
    // no-record pair; otherwise its span starts and ends on recorded years.
    for (int s = 1; s <= series; ++s) {
      if (data->seriesFirstYear[s] == kLastYearSlot && data->seriesLastYear[s] == kFirstYearSlot) {
        for (int y = data->firstYear; y <= data->lastYear; ++y) ASSERT_EQ(data->code(y, s), '.');
        continue;
      }
      EXPECT_LE(data->seriesFirstYear[s], data->seriesLastYear[s]) << name << " series " << s;
      EXPECT_NE(data->code(data->seriesFirstYear[s], s), '.');
      EXPECT_NE(data->code(data->seriesLastYear[s], s), '.');
    }
    ++filesRead;
  }
  EXPECT_EQ(filesRead, 24);
}

// Found by fuzzing: the year field of a junk line was quoted raw in the
// stop message, so an ESC in the file reached the terminal.
TEST_F(ReaderFixture, FireEventsBadYearIsQuotedWithoutControlBytes) {
  InputText bad(splitTextLines(std::string(" 1750 1\n1\x1b[2J\x9e 1\n")));
  try {
    RFIREB(bad, *data, console);
    FAIL() << "a year that is not a number must stop the run";
  } catch (const ProgramStop& stop) {
    EXPECT_EQ(stop.status, 1);
    EXPECT_NE(stop.message.find("\"1_[2J\""), std::string::npos) << stop.message;
    EXPECT_EQ(stop.message.find('\x1b'), std::string::npos);
  }
}

}  // namespace
}  // namespace rova

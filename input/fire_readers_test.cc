#include "input/fire_readers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/posix_platform.h"
#include "tests/test_support.h"

namespace rova {
namespace {

using testing::ScriptedTerminal;

// Keeps what a reader says as the screen would show it.
struct RecordingReporter : ReadingReporter {
  explicit RecordingReporter(ScriptedTerminal& terminal) : terminal(terminal) {}
  void summary(const std::string& record) override {
    terminal.writeRecord(record, RecordKind::kReading);
  }
  void notice(const std::string& record) override {
    EXPECT_EQ(record.rfind(" >> ", 0), 0u) << record;
    terminal.writeRecord(record, RecordKind::kNotice);
  }
  ScriptedTerminal& terminal;
};

struct ReaderFixture : ::testing::Test {
  ScriptedTerminal terminal;
  RecordingReporter console{terminal};
  std::unique_ptr<FireHistory> data = std::make_unique<FireHistory>();

  ReadResult read(const std::string& contents) {
    terminal.records.clear();
    text = std::make_unique<InputText>(textOf(contents));
    return RFIRE2(*text, *data, console);
  }
  // Reads a Fire Events text; the line that says why when it is refused,
  // "" when it is read.
  std::string readEvents(const std::string& contents, FireHistory& into) {
    terminal.records.clear();
    InputText events = textOf(contents);
    const ReadResult result = RFIREB(events, into, console);
    EXPECT_NE(result.outcome, ReadOutcome::kNotThisFormat);
    EXPECT_EQ(result.format, FormatKind::kFireEvents);
    return result.outcome == ReadOutcome::kRefused ? refusalLine(result, "") : "";
  }
  // The console lines that say something is amiss.
  std::vector<std::string> notices() const {
    std::vector<std::string> out;
    for (const auto& r : terminal.records)
      if (r.rfind(" >> ", 0) == 0) out.push_back(r);
    return out;
  }
  std::unique_ptr<InputText> text;
};

// Two data sets hold the same trees, codes and spans.
void expectSameData(const FireHistory& a, const FireHistory& b) {
  EXPECT_EQ(a.seriesCount, b.seriesCount);
  EXPECT_EQ(a.firstYear, b.firstYear);
  EXPECT_EQ(a.lastYear, b.lastYear);
  EXPECT_TRUE(a.eventCodes == b.eventCodes);
  EXPECT_EQ(a.seriesIds, b.seriesIds);
  EXPECT_EQ(a.seriesFirstYear, b.seriesFirstYear);
  EXPECT_EQ(a.seriesLastYear, b.seriesLastYear);
}

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
  ASSERT_EQ(read(kSmall).outcome, ReadOutcome::kRead);
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
  EXPECT_EQ(read("FIRE2 FORMATTED and more\n1700,1,0\n\nU\n").outcome, ReadOutcome::kRead);
  EXPECT_EQ(data->seriesCount, 1);
  EXPECT_EQ(read("FHX2 FORMAT version x\n1700 , 1 0\n\nU\n").outcome, ReadOutcome::kRead);
  EXPECT_EQ(read("fhx2 format\n1700 1 0\n\nU\n").outcome, ReadOutcome::kNotThisFormat);
  EXPECT_EQ(data->seriesCount, 0);
  EXPECT_EQ(text->lineNumber(), 0u);  // rewound for the preview and the next reader
}

TEST_F(ReaderFixture, DescriptiveHeaderBeforeTheMarkerIsSkipped) {
  ASSERT_EQ(read(std::string("Name of site   : Somewhere\nLatitude : 35\xb0\n\n") + kSmall).outcome,
            ReadOutcome::kRead);
  EXPECT_EQ(data->seriesCount, 3);
  EXPECT_EQ(data->code(1701, 1), 'U');
}

TEST_F(ReaderFixture, LineEndsCtrlZAndTrailingEmptyLinesAreNotData) {
  std::string crlf;
  for (char c : std::string(kSmall)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  ASSERT_EQ(read(crlf + "\r\n\r\n\x1a").outcome, ReadOutcome::kRead);
  EXPECT_EQ(data->lastYear, 1703);
  EXPECT_EQ(data->seriesLastYear[2], 1703);
  std::string noFinalEnd(kSmall);
  noFinalEnd.pop_back();
  ASSERT_EQ(read(noFinalEnd + "\n   \n").outcome, ReadOutcome::kRead);
  EXPECT_EQ(data->lastYear, 1703);
}

TEST_F(ReaderFixture, ShortDataLinesReadAsBlanksAndAllDotSeriesHasNoRecord) {
  ASSERT_EQ(read("FHX2 FORMAT\n1800 3 1\nabc\n\n.U\n.\n..|\n").outcome, ReadOutcome::kRead);
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
  ASSERT_EQ(read(wide).outcome, ReadOutcome::kRead);
  EXPECT_EQ(data->seriesCount, 200);
  EXPECT_EQ(data->seriesIds[200], "ABCDEFGH");
  EXPECT_EQ(data->lastYear, 2030);
  EXPECT_TRUE(terminal.showed("only the first 200 are read"));
  EXPECT_TRUE(terminal.showed("identifiers are cut"));
  EXPECT_TRUE(terminal.showed("data lines after 2030 are not read"));

  ASSERT_EQ(read("FHX2 FORMAT\n-2067 1 0\n\nA\nB\nC\n").outcome, ReadOutcome::kRead);
  EXPECT_EQ(data->firstYear, -2065);
  EXPECT_EQ(data->code(-2065, 1), 'C');
  EXPECT_TRUE(terminal.showed("data lines before -2065 are not read"));
}

TEST_F(ReaderFixture, UnusableFire2FilesAreRefusedWithTheReason) {
  auto refused = read("FHX2 FORMAT\n1700 x 2\n");
  EXPECT_EQ(refused.outcome, ReadOutcome::kRefused);
  EXPECT_EQ(refused.line, 2u);
  EXPECT_EQ(read("FHX2 FORMAT\n1700 0 2\n").outcome, ReadOutcome::kRefused);
  EXPECT_EQ(read("FHX2 FORMAT\n1700 2 2\nAB\n").outcome, ReadOutcome::kRefused);
  EXPECT_EQ(read("FHX2 FORMAT\n1700 2 0\n\n\n\n").outcome, ReadOutcome::kRefused);
  EXPECT_EQ(read("FHX2 FORMAT\n3000 1 0\n\nU\n").outcome, ReadOutcome::kRefused);
  EXPECT_EQ(read("").outcome, ReadOutcome::kNotThisFormat);
}

// Both readers refuse the same way: a value with the line of the problem
// (0 for the whole file) and no line on the reporter, shown by refusalLine
// in each format's own words.
TEST_F(ReaderFixture, BothReadersReturnTheirRefusalsAsValuesWithTheLine) {
  ReadResult refused = read("FHX2 FORMAT\n1700 x 3\n");
  EXPECT_EQ(refused.outcome, ReadOutcome::kRefused);
  EXPECT_EQ(refused.format, FormatKind::kFire2);
  EXPECT_EQ(refused.line, 2u);
  EXPECT_TRUE(terminal.records.empty());
  EXPECT_EQ(refusalLine(refused, "BROKEN.FHX"),
            " >> BROKEN.FHX is a FIRE2/FHX2 file without usable data: line 2: the line after the "
            "format line must hold the first year, the number of series and the number of "
            "identifier lines");
  refused = read("FHX2 FORMAT\n1700 2 3\nAB\n");
  EXPECT_EQ(refused.line, 0u);
  EXPECT_EQ(refusalLine(refused, "a\x1b[2J.fhx"),
            " >> a_[2J.fhx is a FIRE2/FHX2 file without usable data: the file ends within the "
            "identifier lines");

  InputText badYear(splitTextLines(" 1750 1\n     1\n"));
  refused = RFIREB(badYear, *data, console);
  EXPECT_EQ(refused.outcome, ReadOutcome::kRefused);
  EXPECT_EQ(refused.format, FormatKind::kFireEvents);
  EXPECT_EQ(refused.line, 2u);
  EXPECT_EQ(refusalLine(refused, "IGNORED.TXT"),
            " >> Fire Events file, line 2: the year in columns 1-5 is blank");
  InputText noTree(splitTextLines(" 1800\n 1801\n"));
  refused = RFIREB(noTree, *data, console);
  EXPECT_EQ(refused.line, 0u);
  EXPECT_EQ(refusalLine(refused, "IGNORED.TXT"),
            " >> Fire Events file: no line holds a code after its year: no tree was read");
  EXPECT_TRUE(terminal.records.empty());

  InputText good(splitTextLines(" 1750 1\n 1751 0\n"));
  const ReadResult accepted = RFIREB(good, *data, console);
  EXPECT_EQ(accepted.outcome, ReadOutcome::kRead);
  EXPECT_EQ(accepted.line, 0u);
  EXPECT_EQ(accepted.problem, "");
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
  const ReadResult refused = RFIREB(bad, *data, console);
  EXPECT_EQ(refused.outcome, ReadOutcome::kRefused) << "a year that is not a number is refused";
  EXPECT_EQ(refused.line, 2u);
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
}

// A Fire Events text that gives no tree is refused, saying why, instead of
// a summary of -4094 years and an analysis of nothing.
TEST_F(ReaderFixture, FireEventsWithoutATreeAreRefusedPlainly) {
  EXPECT_EQ(readEvents("", *data), " >> Fire Events file: no line holds a year and codes: no tree was read");
  EXPECT_FALSE(terminal.showed("-4094"));
  EXPECT_EQ(readEvents("17000 1\n-3000 1 0\n", *data),
            " >> Fire Events file: every year lies outside -2065 to 2030 (2 lines): no tree was read");
  EXPECT_TRUE(terminal.showed(" >> Sbr RFIREB: Year 17000"));
  EXPECT_FALSE(terminal.showed(" Fire events:"));
  EXPECT_EQ(readEvents(" 1800\n 1801\n", *data),
            " >> Fire Events file: no line holds a code after its year: no tree was read");
}

// Every real FHX2 file is read whole: its span, series count and the
// identifiers of its first and last series, checked against the counts
// line and the data lines of the file itself.
TEST_F(ReaderFixture, RealFhx2FilesAreReadCompletely) {
  const std::string dir = testing::realDataDirectory();
  if (dir.empty()) GTEST_SKIP() << testing::realDataMissing();
  int filesRead = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name == "SOURCES.md") continue;
    std::string error;
    PosixFileSystem files;
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
    terminal.records.clear();
    ASSERT_EQ(RFIRE2(*text, *data, console).outcome, ReadOutcome::kRead) << name;
    EXPECT_EQ(notices(), std::vector<std::string>{}) << name;
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
  {
    const std::string problem = refusalLine(RFIREB(bad, *data, console), "");
    EXPECT_NE(problem.find("\"1_[2J\""), std::string::npos) << problem;
    EXPECT_EQ(problem.find('\x1b'), std::string::npos);
  }
}

// The year written after the codes is never read; when it disagrees with
// the line's place, one notice names the first such line and the count.
TEST_F(ReaderFixture, WrittenYearsThatDisagreeWithTheLinesAreReportedOnceAndNotUsed) {
  ASSERT_EQ(read(kSmall).outcome, ReadOutcome::kRead);
  EXPECT_TRUE(notices().empty());
  FireHistory right = *data;
  // The same codes with other years written: the same data, one notice.
  std::string wrong(kSmall);
  wrong.replace(wrong.find("1701"), 4, "1702");
  wrong.replace(wrong.find("1703"), 4, "1733");
  ASSERT_EQ(read(wrong).outcome, ReadOutcome::kRead);
  expectSameData(*data, right);
  EXPECT_EQ(notices(), (std::vector<std::string>{
                           " >> FIRE2: line 7 holds the year 1701 by its place but has 1702 written on it;",
                           " >> 2 data lines disagree so; the years are taken from the order of the lines"}));
  EXPECT_EQ(terminal.records.back(), " FIRE2:  1700  1703     4 years     3 series");

  // A data line left out: every later line is a year early.
  std::string missing(kSmall);
  missing.erase(missing.find("U|| 1701\n"), 9);
  ASSERT_EQ(read(missing).outcome, ReadOutcome::kRead);
  EXPECT_EQ(data->lastYear, 1702);
  ASSERT_EQ(notices().size(), 2u);
  EXPECT_NE(notices()[0].find("line 7 holds the year 1701 by its place but has 1702"), std::string::npos);
  EXPECT_NE(notices()[1].find(" 2 data lines disagree"), std::string::npos);

  // Years written straight after the codes, and comments after the year.
  ASSERT_EQ(read("FHX2 FORMAT\n1700 2 0\n\nU|1700 fire 12\n||1701\n|U1702 3 trees\n").outcome,
            ReadOutcome::kRead);
  EXPECT_TRUE(notices().empty());
  ASSERT_EQ(read("FHX2 FORMAT\n1700 2 0\n\nU|1700\n||1702\n").outcome, ReadOutcome::kRead);
  EXPECT_EQ(notices().size(), 2u);
}

// Comment text after the codes is no year: a file that writes no years
// on most of its lines gets no notice, even when a comment is a number.
TEST_F(ReaderFixture, CommentsAfterTheCodesAreNoWrittenYears) {
  ASSERT_EQ(read("FHX2 FORMAT\n1700 2 0\n\nU| 12 trees\n|| fire 1650\n|U\n||  -\n").outcome,
            ReadOutcome::kRead);
  EXPECT_TRUE(notices().empty());
  EXPECT_EQ(data->lastYear, 1703);
  // A number glued to a word, or of ten digits, is no year either.
  ASSERT_EQ(read("FHX2 FORMAT\n1700 2 0\n\nU| 1650a\n|| 1234567890\n").outcome, ReadOutcome::kRead);
  EXPECT_TRUE(notices().empty());
}

TEST_F(ReaderFixture, CountsLineNumbersRunningPastColumnSixteenAreRefused) {
  // "12" stands in columns 16-17: read within 16 columns it would be 1.
  auto refused = read("FHX2 FORMAT\n1700      3    12\nABC\n\n...\n");
  EXPECT_EQ(refused.outcome, ReadOutcome::kRefused);
  EXPECT_EQ(refused.line, 2u);
  EXPECT_NE(refused.problem.find("the whole line reads 1700 3 12, columns 1-16 read 1700 3 1"),
            std::string::npos)
      << refused.problem;
  refused = read("FHX2 FORMAT\n   1700      25 5\n");
  EXPECT_EQ(refused.outcome, ReadOutcome::kRefused);
  EXPECT_NE(refused.problem.find("columns 1-16 hold fewer numbers"), std::string::npos) << refused.problem;
  // Text after column 16 that leaves the three numbers as they are.
  ASSERT_EQ(read("FHX2 FORMAT\n1700 3 2         first year, series, identifier lines\n"
                 "ABC\n123\n\n..|\n").outcome,
            ReadOutcome::kRead);
  EXPECT_TRUE(notices().empty());
}

// A file with fewer lines before its data than the counts line says would
// be read with every year one too early; the years written on the lines
// show it, and the file is refused.
TEST_F(ReaderFixture, ADataLineAmongTheIdentifierLinesIsRefused) {
  std::string oneIdLine(kSmall);
  oneIdLine.erase(oneIdLine.find("123\n"), 4);
  auto refused = read(oneIdLine);
  EXPECT_EQ(refused.outcome, ReadOutcome::kRefused);
  EXPECT_EQ(refused.line, 5u);
  EXPECT_NE(refused.problem.find("this line holds the data of the first year, 1700"),
            std::string::npos)
      << refused.problem;
  EXPECT_NE(refused.problem.find("1 line fewer before its data than the 2 identifier lines"),
            std::string::npos);
  std::string noBlankLine(kSmall);
  noBlankLine.erase(noBlankLine.find("\n\n"), 1);
  EXPECT_EQ(read(noBlankLine).outcome, ReadOutcome::kRefused);
  // Two lines short: the first year's line is taken for the last identifier line.
  refused = read("FHX2 FORMAT\n1700 3 3\nABC\n\n..| 1700\nU|| 1701\n|.a 1702\n]|. 1703\n");
  EXPECT_EQ(refused.outcome, ReadOutcome::kRefused);
  EXPECT_EQ(refused.line, 5u);
  EXPECT_NE(refused.problem.find("2 lines fewer"), std::string::npos) << refused.problem;
  // Without written years nothing shows it: read as the lines stand.
  EXPECT_EQ(read("FHX2 FORMAT\n1700 3 2\nABC\n\n..|\nU||\n|.a\n").outcome, ReadOutcome::kRead);
  // Identifier lines holding digits, and a first data line a year off
  // with no year on the lines before it, are no sign of it.
  EXPECT_EQ(read("FHX2 FORMAT\n1700 3 2\n170\n000\n\n..| 1701\n").outcome, ReadOutcome::kRead);
}

TEST_F(ReaderFixture, FireEventsBlankYearFieldStopsTheRun) {
  const std::string stop = readEvents(" 1700 0 1 0\n      1 1 0\n", *data);
  EXPECT_EQ(stop, " >> Fire Events file, line 2: the year in columns 1-5 is blank");
  EXPECT_NE(readEvents(" 1700 0 1\n 17-0 1 0\n", *data).find("line 2: the year in columns 1-5, \" 17-0\""),
            std::string::npos);
}

TEST_F(ReaderFixture, FireEventsTabsAndBytesThatAreNoCodesStopTheRun) {
  EXPECT_EQ(readEvents(" 1700 0 1 0\n 1701 0\t1 0\n", *data),
            " >> Fire Events file, line 2: column 8 holds a tab which would be read as the code "
            "of a tree: separate codes with blanks");
  const std::string nbsp = readEvents(" 1700 0\xc2\xa0" "1\n", *data);
  EXPECT_NE(nbsp.find("line 1: column 8 holds the byte 194"), std::string::npos) << nbsp;
  // NUL is ignored like a blank, as before.
  EXPECT_EQ(readEvents(std::string(" 1700 0\0" "1\n", 10), *data), "");
  EXPECT_EQ(data->seriesCount, 2);
}

TEST_F(ReaderFixture, FireEventsCodesPastColumn517AreReportedAndNotRead) {
  const std::string lines = " 1700" + std::string(510, ' ') + "01  1\n 1701 01\n";
  ASSERT_EQ(readEvents(lines, *data), "");
  EXPECT_EQ(data->seriesCount, 2);
  EXPECT_EQ(data->code(1700, 2), 'U');
  EXPECT_EQ(notices(), (std::vector<std::string>{
                           " >> Fire Events file, line 1: codes after column 517 are not read (1 line)"}));
}

// The number of codes on the last line sets the number of trees, as the
// format has it; lines that differ are reported, the values kept.
TEST_F(ReaderFixture, FireEventsLinesWithOtherNumbersOfCodesAreReported) {
  ASSERT_EQ(readEvents(" 1800 0101\n 1801 01\n 1802 0 1\n 1803\n 1804 10\n", *data), "");
  EXPECT_EQ(data->seriesCount, 2);
  EXPECT_EQ(data->code(1800, 4), 'U');
  EXPECT_EQ(data->code(1803, 1), '|');  // within the span: a recording year
  EXPECT_EQ(notices(), (std::vector<std::string>{
                           " >> Fire Events file, line 1 holds 4 codes and the last line 2; 2 trees "
                           "are read, as the last line says (2 lines differ)"}));
  ASSERT_EQ(readEvents(" 1800 01\n\n 1801 0 1\n", *data), "");
  EXPECT_TRUE(notices().empty());
}

TEST_F(ReaderFixture, FireEventsLastLineWithOnlyAYearStopsTheRun) {
  EXPECT_EQ(readEvents(" 1800 010\n 1801 01\n 1802\n\n", *data),
            " >> Fire Events file, line 3: the last line holds a year but no code, and the number "
            "of trees is taken from the last line; the lines before it hold codes of up to 3 trees");
}

TEST_F(ReaderFixture, CrOnlyLineEndsReadLikeAnyOther) {
  ASSERT_EQ(readEvents(" 1700 0 1 *\r 1701 1 0 0\r 1702 0 0 1\r", *data), "");
  EXPECT_EQ(data->firstYear, 1700);
  EXPECT_EQ(data->lastYear, 1702);
  EXPECT_EQ(data->seriesCount, 3);
  EXPECT_EQ(data->code(1701, 1), 'U');
  EXPECT_EQ(data->code(1702, 3), 'U');
  EXPECT_EQ(data->seriesFirstYear[3], 1701);
  EXPECT_TRUE(notices().empty());

  ASSERT_EQ(read(kSmall).outcome, ReadOutcome::kRead);
  FireHistory lf = *data;
  std::string cr(kSmall);
  for (char& c : cr)
    if (c == '\n') c = '\r';
  ASSERT_EQ(read(cr).outcome, ReadOutcome::kRead);
  expectSameData(*data, lf);
}

// The counts line and the data lines must agree on the number of series:
// one too many makes the blank column or the year's first digit a tree
// that records every year; one too few leaves the last tree unread.
TEST_F(ReaderFixture, ACountsLineThatDisagreesWithTheDataColumnsIsRefused) {
  std::string more(kSmall);
  more.replace(more.find("1700 3 2"), 8, "1700 4 2");
  auto refused = read(more);
  ASSERT_EQ(refused.outcome, ReadOutcome::kRefused);
  EXPECT_EQ(refused.line, 2u);
  EXPECT_EQ(refused.problem,
            "the counts line declares 4 series, but the data lines hold codes in 3 columns "
            "only: column 4 holds only blanks or the digits of the years written on the lines, "
            "which would read as trees recording every year; the number of series must agree "
            "with the data");
  // Years written straight after the codes: the extra columns hold digits.
  refused = read("FHX2 FORMAT\n1700 4 0\n\nU|1700\n||1701\n.U1702\n");
  ASSERT_EQ(refused.outcome, ReadOutcome::kRefused);
  EXPECT_NE(refused.problem.find("codes in 2 columns only: columns 3 to 4 hold"), std::string::npos)
      << refused.problem;

  std::string fewer(kSmall);
  fewer.replace(fewer.find("1700 3 2"), 8, "1700 2 2");
  refused = read(fewer);
  ASSERT_EQ(refused.outcome, ReadOutcome::kRefused);
  EXPECT_EQ(refused.line, 2u);
  EXPECT_EQ(refused.problem,
            "the counts line declares 2 series, but the data lines hold codes in 3 columns "
            "(line 6 has a code in column 3): column 3 would not be read; the number of series "
            "must agree with the data");

  // Agreeing files: negative years glued to the codes, a code in the
  // extra column on a minority of lines (a comment), short lines.
  EXPECT_EQ(read("FHX2 FORMAT\n-502 2 0\n\nU|-502\n||-501\n|U-500\n").outcome, ReadOutcome::kRead);
  EXPECT_EQ(read("FHX2 FORMAT\n1700 2 0\n\nU|x\n||\n|U\n").outcome, ReadOutcome::kRead);
  EXPECT_EQ(read("FHX2 FORMAT\n1700 3 0\n\n.U\n.\n..|\n").outcome, ReadOutcome::kRead);
}

// A format line in lower case is not read as one (the format is written in
// capitals), and a tab among the codes is read as a code: both are said.
TEST_F(ReaderFixture, LowerCaseFormatLineAndTabsAmongTheCodesGetANotice) {
  ASSERT_EQ(read("Site: somewhere\nfhx2 format\n1700 1 0\n\nU\n").outcome, ReadOutcome::kNotThisFormat);
  EXPECT_EQ(notices(), (std::vector<std::string>{
                           " >> FIRE2: line 2, \"fhx2 format\", is no format line: the format line "
                           "begins in column 1 with FHX2 FORMAT or FIRE2 FORMAT in capitals"}));
  ASSERT_EQ(read("  FIRE2 FORMAT\n1700 1 0\n\nU\n").outcome, ReadOutcome::kNotThisFormat);
  EXPECT_EQ(notices().size(), 1u);

  ASSERT_EQ(read("FHX2 FORMAT\n1700 3 0\n\nU.| 1700\nU\t| 1701\n\t\t| 1702\n").outcome,
            ReadOutcome::kRead);
  EXPECT_EQ(data->code(1701, 2), '\t');
  EXPECT_EQ(notices(), (std::vector<std::string>{
                           " >> FIRE2: line 5 holds a tab in column 2, read as the code of series 2 "
                           "(a year without fire); 2 lines hold tabs among the codes"}));
  // A tab after the codes, before the year, is no code.
  ASSERT_EQ(read("FHX2 FORMAT\n1700 1 0\n\nU\t1700\n").outcome, ReadOutcome::kRead);
  EXPECT_TRUE(notices().empty());
}

// A blank line among the data is a year in which every tree records, and
// a short line's missing codes are years without fire: both are said, with
// the first such line.
TEST_F(ReaderFixture, BlankAndShortDataLinesAreSaid) {
  ASSERT_EQ(read("FHX2 FORMAT\n1700 3 0\n\nU.| 1700\n\n|U\n||| 1703\n\nU.|\n").outcome,
            ReadOutcome::kRead);
  EXPECT_EQ(data->code(1701, 1), ' ');
  EXPECT_EQ(data->code(1702, 3), ' ');
  EXPECT_EQ(data->lastYear, 1705);
  EXPECT_EQ(notices(), (std::vector<std::string>{
                           " >> FIRE2: line 5 of the data is blank, read as a year in which every "
                           "series records without fire; 2 data lines are blank",
                           " >> FIRE2: line 6 holds 2 codes for 3 series; the missing codes are "
                           "read as years without fire; 1 line is short"}));
  // Lines with every code, and a year after them, say nothing.
  ASSERT_EQ(read("FHX2 FORMAT\n1700 2 0\n\nU. 1700\n|U 1701\n").outcome, ReadOutcome::kRead);
  EXPECT_TRUE(notices().empty());
}

// Bytes after the data: a Ctrl-Z in the middle ends the text, and NUL
// bytes that pad the file are no data year; both are said.
TEST_F(ReaderFixture, CtrlZInTheMiddleAndTrailingNulBytesAreSaid) {
  std::string cut(kSmall);
  cut.insert(cut.find("|.a 1702"), "\x1a");
  ASSERT_EQ(read(cut).outcome, ReadOutcome::kRead);
  EXPECT_EQ(data->lastYear, 1701);
  EXPECT_EQ(notices(), (std::vector<std::string>{
                           " >> FIRE2: line 8 holds a DOS end-of-file mark (Ctrl-Z), which ends the "
                           "text: the 2 lines after it are not read"}));
  // A final mark, or marks and line ends after it, leave nothing out.
  ASSERT_EQ(read(std::string(kSmall) + "\x1a\x1a\r\n\x1a").outcome, ReadOutcome::kRead);
  EXPECT_TRUE(notices().empty());

  ASSERT_EQ(read(std::string(kSmall) + std::string(7, '\0')).outcome, ReadOutcome::kRead);
  EXPECT_EQ(data->lastYear, 1703);
  EXPECT_EQ(data->code(1704, 1), ' ');
  EXPECT_EQ(notices(), (std::vector<std::string>{" >> FIRE2: line 10: NUL bytes after the data are not read"}));

  ASSERT_EQ(read(std::string(kSmall) + "\x04\n\x1b\n").outcome, ReadOutcome::kRead);
  EXPECT_EQ(data->lastYear, 1703);
  EXPECT_EQ(notices(), (std::vector<std::string>{" >> FIRE2: line 10: control bytes after the data are not read"}));

  ASSERT_EQ(readEvents(std::string(" 1700 0 1\n 1701 1 0\n\0\0\0\0", 24), *data), "");
  EXPECT_EQ(data->lastYear, 1701);
  EXPECT_EQ(notices(), (std::vector<std::string>{
                           " >> Fire Events file, line 3: NUL bytes after the data are not read"}));
  ASSERT_EQ(readEvents(" 1700 0 1\n\x1a 1701 1 0\n", *data), "");
  EXPECT_EQ(notices(), (std::vector<std::string>{
                           " >> Fire Events file, line 2 holds a DOS end-of-file mark (Ctrl-Z), "
                           "which ends the text: the 1 line after it is not read"}));
}

// Fire Events lines that would be read differently from what they show:
// a file indented by a blank reads every year divided by ten (refused), a
// year on two lines and a run of years without a line (notices).
TEST_F(ReaderFixture, FireEventsIndentedFilesRepeatedYearsAndGapsAreSaid) {
  std::string events;
  for (int y = 1700; y <= 1711; ++y) events += " " + std::to_string(y) + " 0 1 0\n";
  ASSERT_EQ(readEvents(events, *data), "");
  EXPECT_TRUE(notices().empty());

  std::string indented;
  for (int y = 1700; y <= 1711; ++y) indented += "  " + std::to_string(y) + " 0 1 0\n";
  EXPECT_EQ(readEvents(indented, *data),
            " >> Fire Events file, line 2: the year 170 stands on line 1 too, and the number in "
            "the year's columns runs on into column 6 (1701): the years seem to stand a column to "
            "the right of columns 1-5, as in a file indented by a blank");

  // A repeated year whose field starts with a sign holds no number running
  // on into column 6: read as written, said as a repeat.
  EXPECT_EQ(readEvents("+170001\n+170010\n", *data), "");
  EXPECT_EQ(data->firstYear, 1700);

  std::string repeated = events + " 1703 1 1 1\n 1705 1 1 1\n";
  ASSERT_EQ(readEvents(repeated, *data), "");
  EXPECT_EQ(data->code(1703, 1), 'U');  // the later line stands, as the format has it
  EXPECT_EQ(notices(), (std::vector<std::string>{
                           " >> Fire Events file, line 13: the year 1703 stands on line 4 too; the "
                           "later line's codes replace the earlier ones (2 lines repeat a year)"}));

  // A typing error in one year: 1070 for 1707 stretches the span back.
  std::string typo(events);
  typo.replace(typo.find(" 1707"), 5, " 1070");
  ASSERT_EQ(readEvents(typo, *data), "");
  EXPECT_EQ(data->firstYear, 1070);
  EXPECT_EQ(notices(), (std::vector<std::string>{
                           " >> Fire Events file, line 8: no line holds the years 1071 to 1699, "
                           "between 1070 on line 8 and 1700 on line 1; years without a line are read "
                           "as years without fire within each tree's record (630 years in all)"}));
  // Lines in descending order: the mistyped year's line is named first.
  std::string descending;
  for (int y = 1711; y >= 1700; --y) descending += " " + std::to_string(y == 1709 ? 1609 : y) + " 0 1\n";
  ASSERT_EQ(readEvents(descending, *data), "");
  ASSERT_EQ(notices().size(), 1u) << ::testing::PrintToString(notices());
  EXPECT_EQ(notices()[0].rfind(" >> Fire Events file, line 3: no line holds the years 1610 to 1699,", 0), 0u)
      << notices()[0];
  // Packed codes after a four-digit year are no indentation, even where a
  // year is repeated.
  ASSERT_EQ(readEvents(" 1700010\n 1701100\n 1700011\n", *data), "");
  EXPECT_EQ(data->seriesCount, 3);
  EXPECT_EQ(notices().size(), 1u);
}

}  // namespace
}  // namespace rova

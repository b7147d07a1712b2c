#include "console/console.h"

#include <gtest/gtest.h>

#include "console/date_time.h"
#include "console/job_identification.h"
#include "format/text.h"
#include "tests/test_support.h"

namespace rova {
namespace {

using testing::FixedClock;
using testing::RecordingInterpreter;
using testing::ScriptedTerminal;

struct ConsoleFixture : ::testing::Test {
  ScriptedTerminal terminal;
  RecordingInterpreter commands;
  Console console{terminal, commands};

  void answers(std::vector<std::string> lines) { terminal = ScriptedTerminal(std::move(lines)); }
};

TEST_F(ConsoleFixture, ShowLineCentresAlignsAndSpaces) {
  console.showLine(std::string(80, 'x'), "__");
  EXPECT_EQ(terminal.records.back(), " " + std::string(80, 'x'));
  console.showLine(std::string(60, 'y'), "__");
  EXPECT_EQ(terminal.records.back(), std::string(10, ' ') + std::string(60, 'y'));
  console.showLine("0123456789", "_R");
  EXPECT_EQ(terminal.records.back(), std::string(70, ' ') + "0123456789");
  console.showLine("  left", "_L");
  EXPECT_EQ(terminal.records.back(), " left");
  console.showLine(" ", "__");
  EXPECT_EQ(terminal.records.back(), std::string(40, ' '));
  console.showLine("ROVA", "_D");
  EXPECT_EQ(terminal.records.back(), std::string(18, ' ') + "R O V A ");
}

TEST_F(ConsoleFixture, ShowLineClearsWithEmptyLinesWhenColoursAreOffAndDrawsBorders) {
  console.borderPair = "|:";
  console.showLine("*=", "BZ");
  std::string border = " ";
  for (int i = 0; i < 40; ++i) border += "|:";
  EXPECT_EQ(terminal.records, (std::vector<std::string>{" ", " ", " ", border}));
  terminal.records.clear();
  console.showLine("Text", "||");
  EXPECT_EQ(terminal.records, (std::vector<std::string>{" ", std::string(38, ' ') + "Text", " "}));
}

TEST_F(ConsoleFixture, PromptMarkersDecideEmptyLineAndCase) {
  answers({"y", "MixedCase", "keep", "plain"});
  EXPECT_EQ(console.askText("|Save files for spreadsheets?  <Y>/N", 1), "Y");
  EXPECT_EQ(terminal.records, (std::vector<std::string>{" ", " Save files for spreadsheets?  <Y>/N => "}));
  terminal.records.clear();
  EXPECT_EQ(console.askText("$|TITLE FOR THIS RUN", 12), "MixedCase   ");
  EXPECT_EQ(terminal.records, (std::vector<std::string>{" ", " TITLE FOR THIS RUN => "}));
  terminal.records.clear();
  EXPECT_EQ(console.askText("$  ... Name of NEW OUTPUT file", 6), "keep  ");
  EXPECT_EQ(terminal.records, (std::vector<std::string>{"   ... Name of NEW OUTPUT file => "}));
  terminal.records.clear();
  EXPECT_EQ(console.askText("Random seed", 3), "PLA");
  EXPECT_EQ(terminal.records, (std::vector<std::string>{" Random seed => "}));
}

TEST_F(ConsoleFixture, SpecialAnswersAskTheSamePromptAgain) {
  answers({"?", "~", "c", "`", "ls -l  \t", "`", "", "done"});
  EXPECT_EQ(console.askText("|Question", 4), "DONE");
  EXPECT_EQ(commands.commands, (std::vector<std::string>{"ls -l"}));
  EXPECT_TRUE(terminal.showed("GENERAL INFORMATION ABOUT THE HOLTWOOD"));
  EXPECT_TRUE(terminal.showed("Pause - Please enter a blank line (to continue) or a DOS command."));
  int prompts = 0;
  for (const auto& r : terminal.records) prompts += r.rfind(" Question =>", 0) == 0;
  EXPECT_EQ(prompts, 5);
}

TEST_F(ConsoleFixture, SlashEndsTheProgramButNotInsideAPath) {
  answers({"/X"});
  EXPECT_EQ(console.askText("$Name", 40).substr(0, 3), "/X ");
  answers({"/"});
  try {
    console.askText("|Menu", 1);
    FAIL() << "the slash answer must end the program";
  } catch (const ProgramStop& stop) {
    EXPECT_EQ(stop.status, 0);
  }
  EXPECT_EQ(terminal.records[terminal.records.size() - 2], std::string(20, ' ') + "Exit ");
}

TEST_F(ConsoleFixture, EndOfInputStopsWithNonZeroStatus) {
  answers({});
  try {
    console.askText("|Anything", 1);
    FAIL() << "end of input must stop the program";
  } catch (const ProgramStop& stop) {
    EXPECT_EQ(stop.status, 1);
    EXPECT_NE(stop.message.find("End of keyboard input"), std::string::npos);
  }
}

TEST_F(ConsoleFixture, AskIntegerParsesOrMarksTheAnswer) {
  answers({"12", " -5 ", "12,7", "", "abc", "99999999999", "5-", "+5"});
  EXPECT_EQ(console.askInteger("|First year"), 12);
  EXPECT_EQ(console.askInteger("|First year"), -5);
  EXPECT_EQ(console.askInteger("|First year"), 12);
  EXPECT_EQ(console.askInteger("|First year"), 0);
  terminal.records.clear();
  EXPECT_EQ(console.askInteger("|First year"), 5);
  int marks = 0;
  for (const auto& r : terminal.records) marks += r == integerErrorRecord();
  EXPECT_EQ(marks, 3);
  EXPECT_NE(integerErrorRecord().find("INTEGER!"), std::string::npos);
  EXPECT_EQ(integerErrorRecord().find("INTEGER!"), 72u);  // record position 73
}

TEST_F(ConsoleFixture, AnswersAreCutToTheirLength) {
  answers({"ABCDEFG"});
  askJobIdentifier(console, ' ');
  EXPECT_EQ(console.identification.job, "ABCDE");
}

TEST_F(ConsoleFixture, JobIdentifierReplacesCharactersThatNameNoFile) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ab", "AB   "}, {"a b", "A_B  "}, {"x.y/z", "X_Y_Z"}, {"", "ZZ   "}, {" ab", "ZZ   "}};
  for (const auto& [typed, expected] : cases) {
    console.identification.job = "ZZ   ";
    answers({typed});
    askJobIdentifier(console, '|');
    EXPECT_EQ(console.identification.job, expected) << typed;
  }
}

TEST(TextTest, TrimmedLengthTurnsCtrlZIntoBlanks) {
  std::string blank = "   ";
  EXPECT_EQ(trimmedLength(blank), 1);
  std::string text = std::string("ab\x1a\x1a", 4);
  EXPECT_EQ(trimmedLength(text), 2);
  EXPECT_EQ(text, "ab  ");
  EXPECT_EQ(packName(std::string(" A B\0C ", 7)), "ABC");
}

TEST(DateTimeTest, DayNumbersWeekdaysAndTexts) {
  EXPECT_EQ(dayNumber(1934, 12, 31), 1);
  EXPECT_EQ(dayNumber(1935, 1, 1), 2);
  EXPECT_EQ(dayNumber(1997, 12, 7), 22988);
  EXPECT_EQ(weekdayIndex(22988), 1);  // a Sunday
  EXPECT_EQ(dayNumber(2000, 2, 15), 23788);
  EXPECT_EQ(weekdayIndex(23788), 3);  // a Tuesday
  EXPECT_EQ(dayNumber(2000, 3, 1) - dayNumber(2000, 2, 28), 2);
  EXPECT_EQ(dateText({1997, 12, 7, 0, 0, 0}), " 7 DEC 97");
  EXPECT_EQ(dateText({2000, 1, 1, 0, 0, 0}), " 1 JAN  0");
  EXPECT_EQ(timeText({2000, 1, 1, 9, 5, 3}), "09:05:03");
  EXPECT_EQ(expandTwoDigitYear(97), 1997);
  EXPECT_EQ(expandTwoDigitYear(96), 2096);
}

TEST(SessionTest, IdentificationLineAndBorderOfTheDay) {
  ScriptedTerminal terminal;
  RecordingInterpreter commands;
  Console console(terminal, commands);
  FixedClock clock({1997, 12, 7, 14, 5, 9});
  console.startSession(clock, "@");
  const std::string id = console.identification.line();
  ASSERT_EQ(id.size(), 254u);
  EXPECT_EQ(id.substr(0, 13), "ZZ   GRN3.00P");
  EXPECT_EQ(id.substr(18, 6), " 22988");
  EXPECT_EQ(id.substr(24, 22), "14:05  Sun 07 DEC 1997");
  EXPECT_EQ(id.substr(46, 14), "[07DEC97-1405]");
  EXPECT_EQ(id.substr(194, 8), "FENWOOD ");
  EXPECT_EQ(console.borderPair, "|:");

  FixedClock later({2005, 1, 4, 0, 0, 0});
  console.startSession(later, " ");
  EXPECT_EQ(console.identification.line().substr(46, 14), "[04JAN 5-0000]");
  EXPECT_EQ(console.identification.line().substr(194, 9), "HOLTWOOD ");
  EXPECT_EQ(console.identification.dayNumber, 25573);
  EXPECT_EQ(console.borderPair, "=:");  // a Tuesday
}

}  // namespace
}  // namespace rova

#include "run/run_driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "run/option_menu.h"
#include "run/run_steps.h"
#include "report/run_report.h"
#include "tests/dialogue_run.h"

namespace rova {
namespace {

// A whole run in a temporary directory with a fixed clock.
struct RunFixture : ::testing::Test, testing::DialogueRun {
  RunFixture() : DialogueRun(LocalTime{1997, 12, 7, 14, 5, 9}) {}  // a Sunday, day 22988
  std::vector<std::string> report(const std::string& name) {
    return testing::splitLines(dir.read(name));
  }
  std::vector<std::string> screenLinesStartingWith(const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& line : terminal.shown())
      if (line.rfind(prefix, 0) == 0) out.push_back(line);
    return out;
  }
};

const char* const kData =
    "FHX2 FORMAT\n1700 2 1\nab\n\n"
    "U|\n||\n|U\nUU\n";

TEST_F(RunFixture, PageHeadingDefaultSeedAndBannerComeFromTheClock) {
  dir.write("D.FHX", kData);
  ASSERT_EQ(run({"ab", "D.FHX", "x", ""}), 0);
  const auto lines = report("ABRVA.OUT");
  ASSERT_GT(lines.size(), 4u);
  EXPECT_EQ(lines[0], " []  FENWOOD" + std::string(64, ' ') +
                          "Run AB     Program RVA  14:05  Sun 07 DEC 1997  Page   1");
  EXPECT_EQ(lines[2], " []  EFFECT OF SAMPLE SIZE ON FIRE FREQUENCY ESTIMATES" +
                          std::string(56, ' ') + "Version 1.15P    22988");
  // The default seed is the day number, even or odd as it comes.
  EXPECT_NE(dir.read("ABRVA.OUT").find("; random seed   22988"), std::string::npos);
  std::string border = " ";
  for (int i = 0; i < 40; ++i) border += "|:";
  EXPECT_TRUE(terminal.showed(border));
  EXPECT_TRUE(terminal.showed("Version 1.15P"));
  EXPECT_TRUE(terminal.showed("P R O G R A M     R O V A"));
  EXPECT_TRUE(dir.exists("ABRVADF.XL1"));
  EXPECT_TRUE(dir.exists("ABRVADF.XL2"));
}

// A screen that shows only some records (batch mode's error stream)
// chooses them by kind: every " >> " line is a notice, and the lines of the
// reading, the spans, the estimate and the progress say what they are.
TEST_F(RunFixture, ScreenRecordsSayTheirKind) {
  // A series without data and a segment run: notices, a reading summary,
  // two spans and the progress.
  dir.write("K.FHX", "FHX2 FORMAT\n1700 3 1\nabc\n\nU|.\n||.\n|U.\nUU.\n");
  ASSERT_EQ(run({"k", "K.FHX", "x", "2", "2", "1", "3", "20", "7", ""}), 0);
  std::map<RecordKind, int> seen;
  for (std::size_t i = 0; i < terminal.records.size(); ++i) {
    const std::string& record = terminal.records[i];
    const RecordKind kind = terminal.kinds[i];
    ++seen[kind];
    const std::string text = record.substr(1);
    const bool notice = text.find_first_not_of(' ') != std::string::npos &&
                        text.compare(text.find_first_not_of(' '), 2, ">>") == 0;
    EXPECT_EQ(notice, kind == RecordKind::kNotice) << record;
    if (text.rfind(" Time span", 0) == 0) {
      EXPECT_EQ(kind, RecordKind::kSpan) << record;
    }
    if (text.rfind("Simulation", 0) == 0) {
      EXPECT_EQ(kind, RecordKind::kProgress) << record;
    }
    if (text.rfind(" FIRE2:", 0) == 0) {
      EXPECT_EQ(kind, RecordKind::kReading) << record;
    }
  }
  EXPECT_GE(seen[RecordKind::kNotice], 1);  // the series without data
  EXPECT_GE(seen[RecordKind::kReading], 1);
  EXPECT_EQ(seen[RecordKind::kSpan], 3);  // segments of 2 years, lag 1: 1700, 1701, 1702 on
  EXPECT_GE(seen[RecordKind::kProgress], 2);
}

TEST_F(RunFixture, TitleEchoAndPercentileRanks) {
  dir.write("D.FHX", kData);
  ASSERT_EQ(run({"t1", "D.FHX", "  hidden title", ""}), 0);
  EXPECT_EQ(dir.read("T1RVA.OUT").find("Title of run"), std::string::npos);
  ASSERT_EQ(run({"t2", "D.FHX", "Q", ""}), 0);
  const std::string text = dir.read("T2RVA.OUT");
  EXPECT_NE(text.find("\n Title of run:     Q\n"), std::string::npos);
  EXPECT_NE(text.find("taking values   25 and  976 for the 95% limits,"), std::string::npos);
  EXPECT_NE(text.find("and values    5 and  996 for the 99% limits."), std::string::npos);
}

TEST_F(RunFixture, SegmentPassesFollowTheLag) {
  std::string data = "FHX2 FORMAT\n1700 2 0\n\n";
  for (int y = 1700; y <= 1990; ++y) data += y % 7 == 0 ? "UU\n" : "||\n";
  dir.write("S.FHX", data);
  ASSERT_EQ(run({"S", "S.FHX", "", "2", "100", "50", "3", "2", "3", "6", "N", ""}), 0);
  const auto passes = screenLinesStartingWith("Time span");
  ASSERT_EQ(passes.size(), 5u);
  EXPECT_EQ(passes[0], "Time span  1700  1799     2 trees,     2 simulations");
  EXPECT_EQ(passes[1].substr(0, 21), "Time span  1750  1849");
  EXPECT_EQ(passes[2].substr(0, 21), "Time span  1800  1899");
  EXPECT_EQ(passes[3].substr(0, 21), "Time span  1850  1949");
  EXPECT_EQ(passes[4].substr(0, 21), "Time span  1900  1990");
  EXPECT_NE(dir.read("SRVA.OUT").find("Processed by segments of length                  100 with   50 years lag"),
            std::string::npos);
}

// With a lag of the segment length less one or more, every segment of full
// length is analysed, not only the first; shorter lags pass as before.
TEST_F(RunFixture, EverySegmentOfFullLengthIsAnalysedWhateverTheLag) {
  std::string data = "FHX2 FORMAT\n1700 2 0\n\n";
  for (int y = 1700; y <= 1990; ++y) data += y % 7 == 0 ? "UU\n" : "||\n";
  dir.write("S.FHX", data);
  struct Case {
    const char* job;
    const char* length;
    const char* lag;
    std::vector<std::string> starts;
  };
  // A last segment shorter than the length is analysed only when it spans
  // more years than the lag, as before.
  for (const Case& c : {Case{"S1", "100", "100", {"1700  1799", "1800  1899"}},
                        Case{"S2", "100", "99", {"1700  1799", "1782  1881", "1881  1980"}},
                        Case{"S3", "50", "120", {"1700  1749", "1800  1849", "1920  1969"}},
                        Case{"S4", "300", "300", {"1700  1990"}}}) {
    ASSERT_EQ(run({c.job, "S.FHX", "", "2", c.length, c.lag, "3", "2", "3", "6", "N", ""}), 0);
    std::vector<std::string> spans;
    for (const std::string& line : screenLinesStartingWith("Time span")) spans.push_back(line.substr(11, 10));
    EXPECT_EQ(spans, c.starts) << c.length << " / " << c.lag;
  }
}

TEST_F(RunFixture, SeedsThatDifferAbove16BitsGiveTheSameSimulations) {
  dir.write("D.FHX", "FHX2 FORMAT\n1700 4 0\n\nU|U|\n||U|\n|UU|\nU|||\n||||\nU||U\n");
  ASSERT_EQ(run({"A", "D.FHX", "", "3", "50", "1", ""}), 0);
  ASSERT_EQ(run({"B", "D.FHX", "", "3", "50", "65537", ""}), 0);
  ASSERT_EQ(run({"C", "D.FHX", "", "3", "50", "3", ""}), 0);
  EXPECT_EQ(dir.read("ARVADF.XL1"), dir.read("BRVADF.XL1"));
  EXPECT_EQ(dir.read("ARVADF.XL2"), dir.read("BRVADF.XL2"));
  EXPECT_NE(dir.read("ARVADF.XL1"), dir.read("CRVADF.XL1"));
}

TEST_F(RunFixture, EmptyAnswerToSimulationsSkipsTheSeedAndEmptyLagIsHalfTheLength) {
  dir.write("D.FHX", kData);
  ASSERT_EQ(run({"E", "D.FHX", "", "2", "101", "", "3", "", ""}), 0);
  EXPECT_EQ(terminal.answersLeft(), 0u);
  const std::string text = dir.read("ERVA.OUT");
  EXPECT_NE(text.find("length                  101 with   51 years lag"), std::string::npos);
  EXPECT_NE(text.find("Number of simulations to run                       0; random seed   22989"),
            std::string::npos);
}

// A file without a tree to analyse ends the run with a plain reason, not
// with a span of -4094 years and an empty report.
TEST_F(RunFixture, InputWithoutATreeEndsTheRunPlainly) {
  dir.write("EMPTY.TXT", "");
  ASSERT_EQ(run({"E", "EMPTY.TXT", "", ""}), 1);
  EXPECT_EQ(terminal.errors, (std::vector<std::string>{" >> EMPTY.TXT is empty: it holds no fire history"}));
  EXPECT_FALSE(terminal.showed("-4094"));
  EXPECT_FALSE(dir.exists("ERVA.OUT"));
  dir.write("YEARS.TXT", " 1800\n 1801\n");
  ASSERT_EQ(run({"E", "YEARS.TXT", "", ""}), 1);
  EXPECT_TRUE(terminal.showed("Format is not FIRE2; trying Binary Fire Events"));
  EXPECT_EQ(terminal.errors.back(), " >> Fire Events file: no line holds a code after its year: no tree was read");
  EXPECT_FALSE(terminal.showed(" Fire events:"));
}

TEST_F(RunFixture, EveryRealFileRunsThroughTheWholeAnalysis) {
  const std::string real = testing::realDataDirectory();
  if (real.empty()) GTEST_SKIP() << testing::realDataMissing();
  int runs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(real)) {
    if (entry.path().filename() == "SOURCES.md") continue;
    std::filesystem::copy_file(entry.path(), dir.file("IN.FHX"),
                               std::filesystem::copy_options::overwrite_existing);
    const std::string job = "R" + std::to_string(runs);
    ASSERT_EQ(run({job, "IN.FHX", "", "3", "3", "5", "5", "I", ""}), 0) << entry.path();
    EXPECT_FALSE(terminal.showed("Format is not FIRE2")) << entry.path();
    const auto lines = report(job + "RVA.OUT");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), std::string(50, ' ') + "- = [ ROVA ] = -") << entry.path();
    EXPECT_FALSE(testing::splitLines(dir.read(job + "RVADI.XL1")).empty());
    ++runs;
  }
  EXPECT_EQ(runs, 24);
}

TEST(OptionRulesTest, LagAndSeedRules) {
  EXPECT_EQ(segmentLagFor(100, 0), 50);
  EXPECT_EQ(segmentLagFor(101, 0), 51);
  EXPECT_EQ(segmentLagFor(0, -3), 0);
  EXPECT_EQ(segmentLagFor(100, 7), 7);
  EXPECT_EQ(segmentLagFor(2147483647, 0), 1073741824);
  EXPECT_EQ(oddSeed(8, 5), 9);
  EXPECT_EQ(oddSeed(-8, 5), -7);
  EXPECT_EQ(oddSeed(0, 22988), 22989);
  EXPECT_EQ(oddSeed(0, 22987), 22987);
  EXPECT_EQ(oddSeed(7, 5), 7);
}

}  // namespace
}  // namespace rova

namespace rova {
namespace {

TEST(ExpectedTimeNote, SaysMinutesOnlyForRunsOfAMinuteOrMore) {
  EXPECT_EQ(expectedTimeNote(0), "");
  EXPECT_EQ(expectedTimeNote(59.9), "");
  EXPECT_EQ(expectedTimeNote(60), " The simulations will take about 1 minute");
  EXPECT_EQ(expectedTimeNote(61), " The simulations will take about 2 minutes");
  EXPECT_EQ(expectedTimeNote(1e12), " The simulations will take many hours");
}

}  // namespace
}  // namespace rova

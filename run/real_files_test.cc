// The real fire-history files of researchers, the examples and the test
// data, read through the run's own opening and reading.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/posix_platform.h"
#include "run/run_context.h"
#include "run/run_steps.h"
#include "tests/test_support.h"

namespace rova {
namespace {

// Every real file and every file of the examples and tests, through the
// run's own opening and reading: no notice, and the span and series count
// that this reader gave before it checked anything.
TEST(RealFiles, ReadThroughTheRunWithoutNoticesAndAsBefore) {
  const std::map<std::string, std::string> summaries = {
      {"17P.fhx", " FIRE2:  1341  2004   664 years    32 series"},
      {"EFK.FHX", " FIRE2:  1407  1999   593 years    15 series"},
      {"GP101.FHX", " FIRE2:  1642  1999   358 years     4 series"},
      {"MPB.fhx", " FIRE2:  1302  2013   712 years    15 series"},
      {"MPBall.fhx", " FIRE2:  1302  2013   712 years    37 series"},
      {"RDC.fhx", " FIRE2:  1345  2014   670 years    26 series"},
      {"RDCall.fhx", " FIRE2:  1345  2014   670 years    61 series"},
      {"SBN.fhx", " FIRE2:  1445  1950   506 years    10 series"},
      {"SNNall.fhx", " FIRE2:  1170  2014   845 years    73 series"},
      {"SNS.fhx", " FIRE2:  1376  2013   638 years    13 series"},
      {"SNSall.fhx", " FIRE2:  1376  2014   639 years    64 series"},
      {"SPC.fhx", " FIRE2:  1596  2014   419 years    20 series"},
      {"SPCall.fhx", " FIRE2:  1596  2014   419 years    66 series"},
      {"VSLD.fhx", " FIRE2:  1500  2005   506 years    11 series"},
      {"bdemo_SNN.fhx", " FIRE2:  1170  2013   844 years    26 series"},
      {"dmgmt_SNN.fhx", " FIRE2:  1170  2013   844 years    26 series"},
      {"gp109.fhx", " FIRE2:  1705  1999   295 years     2 series"},
      {"lgr2.fhx", " FIRE2:  1366  2012   647 years    26 series"},
      {"pgm.fhx", " FIRE2:  1555  2013   459 years    41 series"},
      {"usber001.fhx", " FIRE2:  1553  1985   433 years    13 series"},
      {"uspme001.fhx", " FIRE2:  1617  1993   377 years    17 series"},
      {"uspmr001.fhx", " FIRE2:  1626  1993   368 years    23 series"},
      {"uspmw001.fhx", " FIRE2:  1617  1993   377 years    11 series"},
      {"vgr.fhx", " FIRE2:  1636  2000   365 years    11 series"},
      {"ALDER.FHX", " FIRE2:  1600  1990   391 years    30 series"},
      {"CEDAR_EVENTS.TXT", " Fire events:  1750  1950   201 years    25 Series"},
      {"EVENTS.TXT", " Fire events:  1900  1904     5 years     4 Series"},
      {"SMALL.FHX", " FIRE2:  1801  1828    28 years     6 series"},
  };
  const std::string source = ROVA_SOURCE_DIR;
  std::vector<std::string> paths = {source + "/examples/ALDER.FHX", source + "/examples/CEDAR_EVENTS.TXT",
                                    source + "/tests/data/EVENTS.TXT", source + "/tests/data/SMALL.FHX"};
  const std::string dir = testing::realDataDirectory();
  if (!dir.empty()) {
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      if (entry.path().filename() != "SOURCES.md") paths.push_back(entry.path().string());
  }
  int filesRead = 0;
  for (const std::string& path : paths) {
    const std::string name = std::filesystem::path(path).filename().string();
    ASSERT_EQ(summaries.count(name), 1u) << name;
    testing::ScriptedTerminal terminal;
    testing::RecordingInterpreter commands;
    testing::FixedClock clock{LocalTime{}};
    PosixFileSystem files;
    Platform platform{terminal, files, clock, commands, ConfigLocations{}, false};
    RunContext run(platform);
    std::string error;
    auto file = files.openForReading(path, error);
    ASSERT_TRUE(file) << name << ": " << error;
    readFireHistory(run, *file);
    // The one notice real files give: series that hold nothing but ".",
    // named so the researcher can check them (SNSall has seven).
    const std::map<std::string, std::string> empty = {
        {"SPCall.fhx", " >> 5 series hold no data: SPC18, SPC39, SPC52, SPC73, SPC74; no frame counts them"},
        {"SNNall.fhx", " >> 4 series hold no data: SNN34, SNN7, SNN88, SNN89; no frame counts them"},
        {"RDCall.fhx", " >> 2 series hold no data: RDC24, RDC33; no frame counts them"},
        {"SNSall.fhx", " >> 7 series hold no data: SNS09, SNS19, SNS20, SNS51, SNS62, SNS74, SNS76; "
                       "no frame counts them"},
        {"MPBall.fhx", " >> 2 series hold no data: MPB17, MPB3; no frame counts them"}};
    for (const auto& record : terminal.records) {
      if (record.rfind(" >> ", 0) != 0) continue;
      EXPECT_TRUE(empty.count(name) && record == empty.at(name)) << name << record;
    }
    if (empty.count(name)) {
      EXPECT_TRUE(terminal.showed(empty.at(name))) << name;
    }
    EXPECT_TRUE(terminal.showed(summaries.at(name))) << name;
    ++filesRead;
  }
  EXPECT_EQ(filesRead, dir.empty() ? 4 : 28);
}

}  // namespace
}  // namespace rova

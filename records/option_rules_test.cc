#include "records/option_rules.h"

#include <gtest/gtest.h>

#include <vector>

namespace rova {
namespace {

using Rule = OptionChange::Rule;

FireHistory dataSpanning(int first, int last, FormatKind kind = FormatKind::kFire2) {
  FireHistory data;
  data.firstYear = first;
  data.lastYear = last;
  data.formatKind = kind;
  return data;
}

// Options as the menu starts them: the run's seed is the default seed.
RunOptions startingOptions() {
  RunOptions o;
  o.randomSeed = 5;
  return o;
}

std::vector<Rule> rulesOf(const std::vector<OptionChange>& changes) {
  std::vector<Rule> rules;
  for (const OptionChange& c : changes) rules.push_back(c.rule);
  return rules;
}

TEST(OptionRules, AGivenSpanTakesTheDataYearsStaysInTheTableAndRunsForward) {
  const FireHistory data = dataSpanning(1700, 1990);
  RunOptions o = startingOptions();
  o.processFirstYear = 0;
  o.processLastYear = 0;
  auto changes = applyOptionRules(o, data, 5, JustGiven{true, false});
  EXPECT_EQ(o.processFirstYear, 1700);
  EXPECT_EQ(o.processLastYear, 1990);
  EXPECT_EQ(rulesOf(changes), (std::vector<Rule>{Rule::kYearFromData, Rule::kYearFromData}));

  o.processFirstYear = 3000;
  o.processLastYear = -2147483647 - 1;
  changes = applyOptionRules(o, data, 5, JustGiven{true, false});
  EXPECT_EQ(o.processFirstYear, kFirstYearSlot);
  EXPECT_EQ(o.processLastYear, kLastYearSlot);
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_EQ(changes[0].rule, Rule::kYearIntoTable);
  EXPECT_EQ(changes[0].from, 3000);
  EXPECT_EQ(changes[0].to, kLastYearSlot);
  EXPECT_EQ(changes[1].from, -2147483648LL);
  EXPECT_EQ(changes[1].to, kFirstYearSlot);
  EXPECT_EQ(changes[2].rule, Rule::kSpanTurned);
  EXPECT_EQ(changes[2].from, kLastYearSlot);
  EXPECT_EQ(changes[2].to, kFirstYearSlot);
}

TEST(OptionRules, ASpanNotGivenIsLeftAsItIsEvenWhenReversed) {
  // An empty Fire Events file leaves the no-record pair as the data span.
  const FireHistory data = dataSpanning(kLastYearSlot, kFirstYearSlot, FormatKind::kFireEvents);
  RunOptions o = startingOptions();
  o.processFirstYear = data.firstYear;
  o.processLastYear = data.lastYear;
  EXPECT_TRUE(applyOptionRules(o, data, 5).empty());
  EXPECT_EQ(o.processFirstYear, kLastYearSlot);
  EXPECT_EQ(o.processLastYear, kFirstYearSlot);
  // A data year of 0 given as 0 is no change.
  RunOptions atZero = startingOptions();
  EXPECT_TRUE(applyOptionRules(atZero, dataSpanning(0, 0), 5, JustGiven{true, false}).empty());
}

TEST(OptionRules, SegmentsSimulationsAndInjuries) {
  const FireHistory data = dataSpanning(1700, 1990);
  RunOptions o = startingOptions();
  o.segmentLength = -4;
  o.segmentLag = 9;
  auto changes = applyOptionRules(o, data, 5);
  EXPECT_EQ(o.segmentLength, 0);
  EXPECT_EQ(o.segmentLag, 9);  // a usable lag stays, segments or not
  EXPECT_EQ(rulesOf(changes), std::vector<Rule>{Rule::kNoSegments});

  for (auto [length, lag] : {std::pair{100, 50}, std::pair{101, 51}, std::pair{0, 0}}) {
    o.segmentLength = length;
    o.segmentLag = -3;
    changes = applyOptionRules(o, data, 5);
    EXPECT_EQ(o.segmentLag, lag) << length;
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].from, -3);
    EXPECT_EQ(changes[0].to, lag);
  }

  o.simulationCount = 5000;
  o.injuryMode = InjuryMode::kAllInjuries;
  changes = applyOptionRules(o, data, 5);
  EXPECT_EQ(o.simulationCount, kMaxSimulations);
  EXPECT_EQ(o.injuryMode, InjuryMode::kAllInjuries);  // FIRE2 data record injuries
  EXPECT_EQ(rulesOf(changes), std::vector<Rule>{Rule::kSimulationsCut});

  const FireHistory events = dataSpanning(1700, 1990, FormatKind::kFireEvents);
  changes = applyOptionRules(o, events, 5);
  EXPECT_EQ(o.injuryMode, InjuryMode::kFireScarsOnly);
  EXPECT_EQ(rulesOf(changes), std::vector<Rule>{Rule::kInjuriesIgnored});
  // Settled options stay as they are.
  EXPECT_TRUE(applyOptionRules(o, events, 5).empty());
}

TEST(OptionRules, AGivenSeedIsMadeOddASettledOneOnlyLosesItsZero) {
  const FireHistory data = dataSpanning(1700, 1990);
  struct Case {
    int seed;
    bool given;
    int settled;
  };
  for (const Case c : {Case{8, true, 9}, Case{-8, true, -7}, Case{7, true, 7}, Case{0, true, 22989},
                       Case{0, false, 22988}, Case{8, false, 8}, Case{2147483646, true, 2147483647}}) {
    RunOptions o;
    o.randomSeed = c.seed;
    const auto changes = applyOptionRules(o, data, 22988, JustGiven{false, c.given});
    EXPECT_EQ(o.randomSeed, c.settled) << c.seed << (c.given ? " given" : "");
    if (c.settled == c.seed) {
      EXPECT_TRUE(changes.empty());
    } else {
      ASSERT_EQ(changes.size(), 1u) << c.seed;
      EXPECT_EQ(changes[0].rule, Rule::kSeed);
      EXPECT_EQ(changes[0].from, c.seed);
      EXPECT_EQ(changes[0].to, c.settled);
    }
  }
}

TEST(OptionRules, ChangesComeInTheOrderOfTheMenu) {
  const FireHistory data = dataSpanning(1700, 1990, FormatKind::kFireEvents);
  RunOptions o = startingOptions();
  o.processFirstYear = 1900;
  o.processLastYear = 1800;
  o.segmentLength = 100;
  o.simulationCount = 4097;
  o.randomSeed = 4;
  o.injuryMode = InjuryMode::kAllInjuries;
  const auto changes = applyOptionRules(o, data, 5, JustGiven{true, true});
  EXPECT_EQ(rulesOf(changes), (std::vector<Rule>{Rule::kSpanTurned, Rule::kLagHalfLength,
                                                 Rule::kSimulationsCut, Rule::kSeed,
                                                 Rule::kInjuriesIgnored}));
}

}  // namespace
}  // namespace rova

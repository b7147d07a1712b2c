#include "records/option_letters.h"

#include <gtest/gtest.h>

#include <string>

#include "records/run_options.h"

namespace rova {
namespace {

// Each value has its own letter and reads back from it; every other
// letter, the lower-case alternative included, gives the default.
template <typename Value>
void expectRoundTrip(Value defaultValue, char defaultLetter, Value alternative, char letter,
                     Value (*from)(char)) {
  EXPECT_EQ(letterOf(defaultValue), defaultLetter);
  EXPECT_EQ(letterOf(alternative), letter);
  EXPECT_EQ(from(defaultLetter), defaultValue);
  EXPECT_EQ(from(letter), alternative);
  for (char other : {' ', '\0', char(letter + 32), '/', 'X'}) {
    EXPECT_EQ(from(other), defaultValue) << "letter '" << other << "' after " << letter;
  }
}

TEST(OptionLetters, EveryValueReadsBackFromItsLetter) {
  expectRoundTrip(SelectionMethod::kWithoutReplacement, 'D', SelectionMethod::kWithReplacement,
                  'R', selectionMethodFrom);
  expectRoundTrip(InjuryMode::kFireScarsOnly, 'F', InjuryMode::kAllInjuries, 'I', injuryModeFrom);
  expectRoundTrip(SpreadsheetFiles::kWrite, 'Y', SpreadsheetFiles::kSkip, 'N',
                  spreadsheetFilesFrom);
  expectRoundTrip(FormatKind::kFire2, '2', FormatKind::kFireEvents, 'B', formatKindFrom);
}

TEST(OptionLetters, WordsAndFileLettersOfTheChoices) {
  EXPECT_STREQ(wordsOf(SelectionMethod::kWithoutReplacement), "without replacement");
  EXPECT_STREQ(wordsOf(SelectionMethod::kWithReplacement), "with replacement");
  EXPECT_STREQ(wordsOf(InjuryMode::kFireScarsOnly), "fire scars only");
  EXPECT_STREQ(wordsOf(InjuryMode::kAllInjuries), "injuries of all types");
  EXPECT_STREQ(wordsOf(FormatKind::kFire2), "FIRE2");
  EXPECT_STREQ(wordsOf(FormatKind::kFireEvents), "binary");

  RunOptions options;
  EXPECT_EQ(methodLetters(options), "DF");
  options.selectionMode = SelectionMethod::kWithReplacement;
  options.injuryMode = InjuryMode::kAllInjuries;
  EXPECT_EQ(methodLetters(options), "RI");
}

}  // namespace
}  // namespace rova

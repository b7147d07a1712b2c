#include "records/option_letters.h"

#include <gtest/gtest.h>

#include <string>


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

}  // namespace
}  // namespace rova

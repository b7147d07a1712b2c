// The run's options as the option menu sets them and the report, the
// analysis and the outputs read them, with the rules that turn unusable
// values into usable ones.
#pragma once

#include <cstddef>
#include <string>

#include "records/option_letters.h"

namespace rova {

struct RunOptions {
  int processFirstYear = 0;
  int processLastYear = 0;
  int segmentLength = 0;     // 0: the whole span, no segments
  int segmentLag = 0;        // years between the starts of segments
  int simulationCount = 1000;
  int randomSeed = 0;
  SelectionMethod selectionMode = SelectionMethod::kWithoutReplacement;
  InjuryMode injuryMode = InjuryMode::kFireScarsOnly;
  SpreadsheetFiles spreadsheetFiles = SpreadsheetFiles::kWrite;
  std::string runTitle = std::string(60, ' ');
};

constexpr int kDefaultSimulations = 1000;

// The method and injury letters that the names of the spreadsheet files
// and the other tables carry after the base name ("DF", "RI", ...).
std::string methodLetters(const RunOptions& options);

// Rules that turn unusable option values into usable ones.
int segmentLagFor(int segmentLength, int lag);
int oddSeed(int seed, int defaultSeed);

// The run title holds 60 bytes. A longer text is cut before the first
// character that does not fit whole, so a UTF-8 character is never split;
// the field is padded with blanks.
constexpr std::size_t kTitleLength = 60;
std::string runTitleFrom(const std::string& text);

// The bytes the title prompt reads: a character that starts inside the
// field may reach 3 bytes beyond it, and must be seen whole to be kept.
constexpr std::size_t kTitleAnswerLength = kTitleLength + 3;

}  // namespace rova

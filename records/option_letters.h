// The one-letter choices of a run and of its data: the selection method
// (D/R), the injury mode (F/I), the spreadsheet switch (Y/N) and the kind
// of input file (2/B). The menu reads and shows the letters, the file
// names carry them; everywhere else the program holds the values below.
//
// Each choice has one letter per value, and a letter read back gives the
// default value unless it is the alternative's own letter: the menu's rule
// "any answer other than R is D".
#pragma once

namespace rova {

enum class SelectionMethod {
  kWithoutReplacement,  // D: no tree is chosen twice in one sample
  kWithReplacement,     // R: a tree may be chosen more than once
};

enum class InjuryMode {
  kFireScarsOnly,  // F: upper-case codes are events
  kAllInjuries,    // I: lower-case injuries are events too
};

enum class SpreadsheetFiles {
  kWrite,  // Y
  kSkip,   // N
};

enum class FormatKind {
  kFire2,       // 2: FIRE2/FHX2 text
  kFireEvents,  // B: binary Fire Events
};

constexpr char letterOf(SelectionMethod m) {
  return m == SelectionMethod::kWithReplacement ? 'R' : 'D';
}
constexpr char letterOf(InjuryMode m) { return m == InjuryMode::kAllInjuries ? 'I' : 'F'; }
constexpr char letterOf(SpreadsheetFiles s) { return s == SpreadsheetFiles::kSkip ? 'N' : 'Y'; }
constexpr char letterOf(FormatKind k) { return k == FormatKind::kFireEvents ? 'B' : '2'; }

constexpr SelectionMethod selectionMethodFrom(char letter) {
  return letter == 'R' ? SelectionMethod::kWithReplacement : SelectionMethod::kWithoutReplacement;
}
constexpr InjuryMode injuryModeFrom(char letter) {
  return letter == 'I' ? InjuryMode::kAllInjuries : InjuryMode::kFireScarsOnly;
}
constexpr SpreadsheetFiles spreadsheetFilesFrom(char letter) {
  return letter == 'N' ? SpreadsheetFiles::kSkip : SpreadsheetFiles::kWrite;
}
constexpr FormatKind formatKindFrom(char letter) {
  return letter == 'B' ? FormatKind::kFireEvents : FormatKind::kFire2;
}

// The words that name a value in the report, the chart and the messages.
constexpr const char* wordsOf(SelectionMethod m) {
  return m == SelectionMethod::kWithReplacement ? "with replacement" : "without replacement";
}
constexpr const char* wordsOf(InjuryMode m) {
  return m == InjuryMode::kAllInjuries ? "injuries of all types" : "fire scars only";
}
// The format's name as the menu writes it; the report writes it in
// capitals.
constexpr const char* wordsOf(FormatKind k) { return k == FormatKind::kFireEvents ? "binary" : "FIRE2"; }

}  // namespace rova

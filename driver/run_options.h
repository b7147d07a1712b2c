// The run-wide records of one run of the program: the options chosen in
// the menu and the data and tables that the analysis passes share.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "console/console.h"
#include "input/file_dialogue.h"
#include "input/fire_history.h"
#include "platform/output_transaction.h"
#include "platform/platform.h"

namespace rova {

struct RunOptions {
  int processFirstYear = 0;
  int processLastYear = 0;
  int segmentLength = 0;     // 0: the whole span, no segments
  int segmentLag = 0;        // years between the starts of segments
  int simulationCount = 1000;
  int randomSeed = 0;
  char selectionMode = 'D';  // D without replacement, R with replacement
  char injuryMode = 'F';     // F fire scars only, I injuries of all types
  char spreadsheetFiles = 'Y';
  std::string runTitle = std::string(60, ' ');
};

constexpr int kDefaultSimulations = 1000;

// Everything one run holds from start to end.
struct RunContext {
  explicit RunContext(Platform& p)
      : platform(p), console(p.terminal, p.commands), dialogue(console, p.files), outputs(p.files) {
    console.useSettings(p.files, p.locations);
    console.allowColours(p.coloursAllowed);
  }

  Platform& platform;
  Console console;
  FileDialogue dialogue;
  // Every output file of the run, put in place together at its end.
  OutputTransaction outputs;
  std::unique_ptr<FireHistory> data = std::make_unique<FireHistory>();
  RunOptions options;
  std::array<int, 4> percentileRanks{};
  std::unique_ptr<YearTable> sampleDepth = std::make_unique<YearTable>();
  std::unique_ptr<YearTable> fireTreeCount = std::make_unique<YearTable>();
  std::string inputName = std::string(kFileNameLength, ' ');
  int defaultSeed = 0;
  // When not empty, the base of every output file's name in place of the
  // job identifier (batch mode's --full-names).
  std::string fileBase;

  // Columns 1-8 of the identification: job identifier and program code,
  // the base name of every output file.
  std::string baseName() const { return console.programIdentification.substr(0, 8); }
  // The start of every output file's name: the base name without its
  // blanks, or the file base and the program code.
  std::string outputBase() const;
};

// Rules that turn unusable option values into usable ones.
int segmentLagFor(int segmentLength, int lag);
int oddSeed(int seed, int defaultSeed);

}  // namespace rova

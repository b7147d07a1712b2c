// Everything one run of the program holds from start to end: its
// platform, console and output files, the data set, the options chosen in
// the menu and the tables that the analysis passes share.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "console/console.h"
#include "console/file_dialogue.h"
#include "platform/output_transaction.h"
#include "platform/platform.h"
#include "records/fire_history.h"
#include "records/output_request.h"
#include "records/run_options.h"

namespace rova {

// The run's options as they were settled once, after the menu or the
// command line, by the one set of option rules: what the analysis and
// every output read.
struct SettledOptions {
  RunOptions options;
  std::array<int, 4> percentileRanks{};  // of the simulations, for the limits
};

// Everything one run holds from start to end.
struct RunContext {
  explicit RunContext(Platform& p)
      : platform(p), console(p.terminal, p.commands), dialogue(console, p.files), outputs(p.files) {
    console.useSettings(p.files, p.locations);
    console.allowColours(p.coloursAllowed);
    console.tellInterrupts(p.interrupts);
  }

  Platform& platform;
  Console console;
  FileDialogue dialogue;
  // Every output file of the run, put in place together at its end.
  OutputTransaction outputs;
  std::unique_ptr<FireHistory> data = std::make_unique<FireHistory>();
  // The options as the menu or the command line leave them, then settled.
  RunOptions options;
  std::shared_ptr<const SettledOptions> settled;  // none before settleOptions
  std::unique_ptr<YearTable> sampleDepth = std::make_unique<YearTable>();
  std::unique_ptr<YearTable> fireTreeCount = std::make_unique<YearTable>();
  std::string inputName = std::string(kFileNameLength, ' ');
  int defaultSeed = 0;
  // The SHA-256 of the input file's bytes as read (lower-case hex); ""
  // when they could not be summed as read.
  std::string inputSha256;
  // The outputs beside the report and the spreadsheet files that the
  // dialogue's option 7 asks for.
  OutputRequest request;
  // When not empty, the base of every output file's name in place of the
  // job identifier (batch mode's --full-names).
  std::string fileBase;

  // The settled options. REQUIRES: settleOptions has run.
  const RunOptions& settledOptions() const { return settled->options; }

  // Job identifier and program name, the base name of every output file.
  std::string baseName() const { return console.identification.baseName(); }
  // The start of every output file's name: the base name without its
  // blanks, or the file base and the program code.
  std::string outputBase() const;
};


// The name of spreadsheet file n (1 or 2) and of the report.
std::string spreadsheetName(const RunContext& run, int n);
std::string reportName(const RunContext& run);

}  // namespace rova

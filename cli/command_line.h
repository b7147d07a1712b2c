// The command line of a batch run: rova [options] FILE...
// The options mirror the option menu and the dialogue.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "records/output_request.h"

namespace rova {

struct BatchOptions {
  std::optional<std::string> job;
  std::optional<std::string> title;
  std::optional<int> firstYear;
  std::optional<int> lastYear;
  std::optional<int> segmentLength;
  std::optional<int> segmentLag;
  std::optional<int> simulations;
  std::optional<int> seed;
  bool withReplacement = false;
  bool injuries = false;
  bool noSpreadsheets = false;
  bool force = false;
  bool fullNames = false;  // outputs named after the whole file name
  // The outputs beside the report and the spreadsheet files, and the
  // choices they are made with (--csv, --plot..., --intervals, --frame,
  // --adequacy-...); --plot-format and --plot-style imply --plot,
  // --composite implies --intervals; the output folder and the arguments.
  OutputRequest outputs;
  // The multi-site summary: one table with a row per FILE and span,
  // written under this name in the output folder.
  std::optional<std::string> summary;
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::vector<std::string> files;
};

struct CommandLine {
  BatchOptions options;
  std::string error;  // a one-line reason when the command line is unusable
};

// Reads the arguments after the program name, as GNU tools do: options and
// FILEs in any order, "--" ending the options, values as the next argument,
// after "=" or attached to a short option, short flags bundled, long
// options abbreviated to any unambiguous prefix.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();
std::string versionText();

}  // namespace rova

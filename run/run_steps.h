// The steps of a run that the dialogue and batch runs share: the session,
// reading the data, settling the options, and writing the report, the
// spreadsheet files and the analysis into them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/simulation.h"
#include "analysis/simulation_result.h"
#include "run/run_context.h"
#include "platform/platform.h"
#include "records/output_request.h"

namespace rova {

// One output file of the run with the name it will have; its text is
// owned by the run's output transaction.
struct OutputFile {
  std::string name;
  OutputText* text = nullptr;
  // True when the overwrite dialogue gave it another name than the run's.
  bool renamed = false;
};

struct RunFiles {
  OutputFile report;
  std::vector<OutputFile> spreadsheets;
  std::vector<std::string> opened;  // every output's name as opened, in order
};

// Creates an output file for a name and the file's unit number (6 for the
// report, 21 and 22 for the spreadsheet files).
using OutputOpener = std::function<OutputFile(const std::string& name, int unit)>;

// What the screen says before simulations estimated to take `seconds`:
// nothing under a minute, else how many minutes (rounded up) they will
// take.
std::string expectedTimeNote(double seconds);

// Builds the identification line of the session and takes the default seed
// from the day number.
void prepareSession(RunContext& run);

// Reads the data set from an open input text: FIRE2/FHX2, or else Fire
// Events. A FIRE2/FHX2 file without usable data stops the run.
void readFireHistory(RunContext& run, InputText& file);

// Applies the option rules once more, silently, after the menu or the
// command line, and computes the percentile ranks.
void settleOptions(RunContext& run);

// The spans of the run's passes, from its settled options: the whole span,
// or its segments in order.
std::vector<SimulationSpan> passSpans(const RunOptions& o);

// Writes the report head, the analysis of every span and the closing, the
// spreadsheet rows and the outputs the request asks for, into files
// started in the run's outputs through `open`. With the request's
// siteRows, the run's rows of the multi-site table are added to
// `siteRows`.
RunFiles writeRun(RunContext& run, const OutputRequest& request, const OutputOpener& open,
                  std::string* siteRows = nullptr);

// Puts every output of the run in place; on a failure says what was and
// was not written and stops the run.
std::vector<std::string> commitOutputs(RunContext& run);

}  // namespace rova

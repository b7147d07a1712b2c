// The command line of a batch run: rova [options] FILE...
// The options mirror the option menu and the dialogue.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/fire_intervals.h"
#include "analysis/sampling_frame.h"
#include "export/chart_render.h"

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
  bool csv = false;
  bool plot = false;
  // The chart's formats, each once, in the order svg, pdf, png; empty: SVG.
  // --plot-format implies --plot.
  std::vector<ChartFormat> plotFormats;
  // --plot-style (implies --plot) and --plot-dpi (the PNG's resolution;
  // none: the default).
  ChartStyle plotStyle = ChartStyle::kFull;
  std::optional<int> plotDpi;
  // How many trees are enough (--csv and --plot): within this percentage
  // of the value of all trees, for at least this percentage of the
  // simulations.
  double adequacyWithin = 10;
  double adequacyShare = 95;
  // The trees an adequacy figure may count in a span (--frame).
  FrameRule frame = FrameRule::kData;
  // Random subsamples per size of the adequacy table (--adequacy-subsamples);
  // unset: 1000, or none when no simulations are asked for (-n 0).
  std::optional<int> adequacySubsamples;
  // The chart extends the curves to twice the frame's trees.
  bool extrapolate = false;
  // Composite fire years and fire intervals (--intervals): the per-year
  // table with --csv. The filters of --composite (which implies
  // --intervals), in the order given; none given: 25,2,1 and 0,1,1.
  bool intervals = false;
  std::vector<CompositeFilter> composites;
  // The multi-site summary: one table with a row per FILE and span,
  // written under this name in the output folder.
  std::optional<std::string> summary;
  bool quiet = false;
  bool help = false;
  bool version = false;
  std::string outputDirectory = ".";
  std::vector<std::string> files;
  std::vector<std::string> arguments;  // the command line as given
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

// The composite filters a run uses: those of --composite, each once, or
// 25,2,1 and 0,1,1.
std::vector<CompositeFilter> compositeFilters(const BatchOptions& options);

// The filters of the composite and interval statistics of the adequacy
// outputs: compositeFilters with --intervals, none without.
std::vector<CompositeFilter> intervalFilters(const BatchOptions& options);

std::string usageText();
std::string versionText();

}  // namespace rova

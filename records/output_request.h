// Which outputs a run writes beside the report and the spreadsheet files,
// and the choices they are made with. The command line and the dialogue's
// option 7 both fill one OutputRequest; the run turns it into its outputs.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace rova {

// The trees an adequacy figure may count in a span: those with data in it
// (their record covers a year of it), or those recording in it.
enum class FrameRule { kData, kRecorders };

// A filtered composite: a year is a composite fire year of a set of trees
// when at least minScarred of them are scarred, at least minRecorders
// record, and the scarred are at least `percent` % of the recording.
struct CompositeFilter {
  double percent = 25;  // of the recording trees that must be scarred
  int minRecorders = 2;
  int minScarred = 1;
};

enum class ChartFormat { kSvg, kPdf, kPng };

// The chart's layout: the full page, or a figure for one journal column.
enum class ChartStyle { kFull, kCompact };

struct OutputRequest {
  // The tidy CSV, the adequacy table and the JSON metadata (--csv).
  bool csv = false;
  // The chart (--plot), in these formats, each once, in the order svg,
  // pdf, png; empty: SVG.
  bool plot = false;
  std::vector<ChartFormat> plotFormats;
  ChartStyle plotStyle = ChartStyle::kFull;
  std::optional<int> plotDpi;  // the PNG's resolution; none: the default
  // How many trees are enough: within this percentage of the value of all
  // trees, for at least this percentage of the samples.
  double adequacyWithin = 10;
  double adequacyShare = 95;
  FrameRule frame = FrameRule::kData;
  // Random subsamples per size of the adequacy table; none: 1000, or none
  // at all when the run asks for no simulations.
  std::optional<int> adequacySubsamples;
  bool extrapolate = false;  // the chart's curves to twice the frame
  // Composite fire years and fire intervals: the per-year table with csv.
  // The filters in the order given; none given: 25,2,1 and 0,1,1.
  bool intervals = false;
  std::vector<CompositeFilter> composites;
  // The rows of the multi-site table (batch mode's --multi-site).
  bool siteRows = false;
  // Where the outputs go, and the command line the metadata records
  // (empty for a run of the dialogue).
  std::string outputDirectory = ".";
  std::vector<std::string> commandLine;
};

// The composite filters a run uses: those asked for, each once, or
// 25,2,1 and 0,1,1.
std::vector<CompositeFilter> compositeFilters(const OutputRequest& request);

// The filters of the composite and interval statistics of the adequacy
// outputs: compositeFilters when the run asks for intervals, none without.
std::vector<CompositeFilter> intervalFilters(const OutputRequest& request);

// A comma-separated list of chart formats (svg, pdf, png, in any case),
// each kept once, in the order svg, pdf, png; none when an item is not a
// format.
std::optional<std::vector<ChartFormat>> parseChartFormats(const std::string& list);

// "svg", "pdf" or "png", as a list of formats names them.
const char* chartFormatName(ChartFormat format);

// Whether the run works out how many trees are enough: every output
// beside the report and the spreadsheet files shows it.
inline bool adequacyAsked(const OutputRequest& request) {
  return request.csv || request.plot || request.siteRows;
}

}  // namespace rova

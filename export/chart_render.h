// The run's results as a chart fit for a paper, drawn once with cairo (text
// laid out by pango) and written as SVG, PDF or PNG from the same drawing.
//
// The page is 7 inches (504 points) wide. From the top: the run's title
// (wrapped to two lines, then cut with an ellipsis), the input file's name
// (one line, shortened in the middle), the options (two lines at most), a
// legend table with one row per threshold, named in words, whose swatches
// are drawn by the same code as the panels (colour, opacity, dash pattern
// and marker), a note on the bands, then the spans as small multiples: a
// grid of panels (one column for one span, two for up to four, three
// beyond) that share both scales. The shared y scale (0 to a round value
// above everything drawn) lets the spans' frequencies be compared at a
// glance; the shared x scale (1 to the largest sample of any span) puts a
// sample size at the same place in every panel, so a span with fewer
// trees simply ends further left. Tick values stand on the left column (y)
// and under every panel (x); the axis titles stand once for the grid.
//
// Each panel shows fire events per century against trees in the sample
// for both thresholds: the mean of the simulations (a line with markers),
// the 99 % and 95 % confidence bands (mean -/+ 2.575 and 1.960 standard
// deviations) as translucent fills, the 2.5 and 97.5 percentiles as thin
// patterned lines, and the value of all trees (rows marked observed;
// method R has none) as the threshold's marker, large and outlined. The
// thresholds differ in colour (Okabe-Ito blue and vermillion, told apart
// with the common kinds of colour blindness) and also without it: mean
// dash pattern, marker shape and percentile pattern are their own. Limits below 0 are drawn at
// 0; values that are not finite are left out.
//
// When a span carries its adequacy (sample_adequacy.h), its panel also
// shows, in a darker shade of each threshold's colour, the exact expected
// value at every sample size as a thin line, the extrapolation to twice
// the trees (threshold 1) dashed, the Chao2 asymptote with its 95 %
// interval as a band in a narrow strip at the right of the panel (up to
// the top when there is no upper limit), and the trees needed as a drop
// line from the exact curve to the axis ending in the threshold's marker.
// The x scale then runs to twice the largest sample, and a second note
// says what these marks are.
//
// When a span's adequacy carries composite filters (--intervals), the
// page goes on under the spans' panels with a note and, per span and
// filter, a row of three panels: the composite frequency, MFI and WMPI
// against trees in the sample (x from 1 to the frame's trees), each on a
// value scale of its own: the subsamples' median as a line over their
// 2.5-97.5 percentile band (left out where the statistic is undefined in
// every subsample), the exact mean of the composite frequency as a thin
// darker line, the value of all frame trees as a dotted level line with
// the large marker at F, and the trees needed by the share as a drop
// line. More than eight such rows are not drawn; a note says so.
//
// Every text is measured: nothing runs off the page or out of its place.
// Text that is not valid UTF-8 is read as Latin-1; control characters are
// dropped. The bytes depend on nothing but the input and the fonts
// installed: no date, no random identifier.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/result_row.h"
#include "analysis/sample_adequacy.h"
#include "records/output_request.h"

namespace rova {

// ".svg", ".pdf" or ".png".
const char* chartExtension(ChartFormat format);

struct ChartSpan {
  ChartSpan(int first = 0, int last = 0, std::vector<ResultRow> spanRows = {},
            std::optional<SpanAdequacy> spanAdequacy = std::nullopt)
      : firstYear(first), lastYear(last), rows(std::move(spanRows)),
        adequacy(std::move(spanAdequacy)) {}
  int firstYear = 0;
  int lastYear = 0;
  std::vector<ResultRow> rows;  // any order; both thresholds
  std::optional<SpanAdequacy> adequacy;  // drawn when present
};

// The chart's layout (ChartStyle). Full: the 7-inch page described above.
// Compact: a figure for one journal column, 3.5 inches wide, with no
// title, file, options or notes above the panels (the paper's caption says
// them) and the legend as a line under the panels; the panels are laid out
// on a page of kChartCompactLayoutWidth points drawn at 3.5 inches, so its
// letters are 0.84 of the full style's (tick labels 5.9 points).

// The most panels a chart holds: a run of more spans (segments) is refused
// before its analysis, as a page of more would not be read, and its
// drawing would take memory without bound.
constexpr std::size_t kChartMaxPanels = 48;

// The PNG's pixels per inch: --plot-dpi, from kChartMinDpi to kChartMaxDpi.
constexpr int kChartDefaultDpi = 200;
constexpr int kChartMinDpi = 72;
constexpr int kChartMaxDpi = 1200;

struct ChartInfo {
  ChartInfo(std::string runTitle = {}, std::string inputName = {}, std::string optionsLine = {},
            std::optional<AdequacyCriterion> criterion = std::nullopt, bool extrapolate = false)
      : title(std::move(runTitle)), input(std::move(inputName)), options(std::move(optionsLine)),
        adequacy(criterion), extrapolate(extrapolate) {}
  std::string title;    // the run's title; "" for the standard one
  std::string input;    // the input file's name (its folder is not shown)
  std::string options;  // one line of the run's options
  // The criterion of the trees needed, named in the note; none: no note.
  std::optional<AdequacyCriterion> adequacy;
  // The curves go on to twice the frame's trees (the extrapolation).
  bool extrapolate = false;
  ChartStyle style = ChartStyle::kFull;
  int pngDpi = kChartDefaultDpi;  // pixels per inch of the PNG
};

struct ChartOutput {
  std::string bytes;
  std::string error;  // "" when the chart was drawn
};

// Draws the chart. The drawing lives in the loadable module
// kChartModule (see platform/program_module.h), loaded by the first chart a
// run draws; when it cannot be loaded, `error` says why.
ChartOutput renderChart(const ChartInfo& info, const std::vector<ChartSpan>& spans,
                        ChartFormat format);

// Whether charts can be drawn: the module loads. When not, `error` says why.
bool chartDrawingAvailable(std::string& error);

// The module's file name and entry points. rova_chart_build returns the
// build the module belongs to (ROVA_CHART_BUILD, the same in program and
// module), rova_chart_draw draws as renderChart.
constexpr const char* kChartModule = "rova-chart.so";
using ChartDrawEntry = void (*)(const ChartInfo& info, const std::vector<ChartSpan>& spans,
                                ChartFormat format, ChartOutput& out);

// The drawing itself, in the module (and linked into the unit tests).
ChartOutput drawChart(const ChartInfo& info, const std::vector<ChartSpan>& spans,
                      ChartFormat format);

// The PNG's pixels per point at the default 200 pixels per inch.
constexpr double kChartPngScale = kChartDefaultDpi / 72.0;
constexpr double kChartPageWidth = 504;  // points, the full style's page
constexpr double kChartCompactPageWidth = 252;  // points: 3.5 inches
constexpr double kChartCompactLayoutWidth = 300;  // points, drawn at 252

// The width of the page in points, as the SVG and PDF have it.
double chartPageWidth(ChartStyle style);

// The layout's parts, in the module; for the tests.

// The shared y scale: 0 to `top` in ticks of `step`, labelled with
// `decimals` decimals.
struct ChartScale {
  double top = 1;
  double step = 0.2;
  int decimals = 1;
};
ChartScale chartValueScale(const std::vector<ChartSpan>& spans, bool extrapolate = false);
// The scale of values from 0 to `maximum`: a round top and step.
ChartScale chartScaleAbove(double maximum);

// The labelled sample sizes of an x axis from 1 to `maxTrees` with room
// for at most `maxLabels` labels: every size, or multiples of a round step
// (1, 2, 5, 10, 20, ...) with 1 in front when it stands clear of them.
std::vector<int> chartTreeTicks(int maxTrees, int maxLabels);

struct ChartGrid {
  int columns = 1;
  int rows = 1;
};
ChartGrid chartGrid(std::size_t spanCount);
// The grid of panels of a style: the full style's chartGrid, the compact
// one at most two columns.
ChartGrid chartGridFor(ChartStyle style, std::size_t spanCount);

enum class ChartMarker { kCircle, kTriangle, kSquare };

// How a threshold is drawn; the legend shows the same.
struct ThresholdStyle {
  std::string label;                   // "Fire years recorded by ≥ 1 tree"
  unsigned colour = 0;                 // 0xRRGGBB
  std::vector<double> meanDash;        // points on, off, ...; empty: solid
  std::vector<double> percentileDash;  // never solid
  ChartMarker marker = ChartMarker::kCircle;
};
ThresholdStyle thresholdStyle(int threshold);

}  // namespace rova

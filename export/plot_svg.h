// The run's results as a chart for a web browser: one SVG document with a
// panel per analysed span, stacked from top to bottom.
//
// Each panel shows fire events per century (y) against the number of trees
// in the sample (x) for both thresholds, each in its own colour: the mean of
// the simulations as a line with point markers, the 99 % and 95 % confidence
// bands (mean -/+ 2.575 and 1.960 standard deviations) as translucent
// fills, the 2.5 and 97.5 percentiles as dashed lines, and the value of all
// trees (rows marked observed; method R has none) as a large outlined
// diamond. A legend at the right of each panel names what is drawn there. A
// span without rows gets a panel that says "no simulations".
//
// Every panel uses the same y scale, from 0 to a rounded-up maximum of all
// values drawn in the document (0 to 1 when everything is 0), so spans can
// be compared at a glance; the x axis of a panel runs from 1 to the largest
// sample of its span. Limits below 0 are drawn at 0, since a frequency
// cannot be negative, and the chart says so under its title. Values that
// are not finite are left out. The output depends on nothing but the input
// (same input, same bytes) and numbers are written without regard to the
// locale. Text longer than the page is not wrapped: keep the options line
// to about 130 characters.
#pragma once

#include <string>
#include <vector>

#include "analysis/result_row.h"

namespace rova {

struct PlotSpan {
  int firstYear = 0;
  int lastYear = 0;
  std::vector<ResultRow> rows;  // any order; both thresholds
};

struct PlotInfo {
  std::string site;     // the input file name
  std::string options;  // one line of the run's options
};

// The complete SVG 1.1 document, UTF-8, ending in a newline.
std::string renderPlotSvg(const PlotInfo& info, const std::vector<PlotSpan>& spans);

// Layout of the document, for callers that need its size (a browser window
// for a screenshot, say).
constexpr int kPlotWidth = 1000;
int plotSvgHeight(std::size_t spanCount);

}  // namespace rova

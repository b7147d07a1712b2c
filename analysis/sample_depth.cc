#include "analysis/sample_depth.h"

#include <algorithm>
#include <string>

#include "analysis/simulation_report.h"
#include "format/fields.h"

namespace rova {
namespace {

constexpr int kPairsPerLine = 12;     // year I7 + depth I4: 132 columns
constexpr int kYearsPerRow = 18;      // years in I6 from column 19
constexpr int kYearListColumn = 19;

std::string rule(char c) { return " " + std::string(131, c); }

}  // namespace

void addRecordYears(const FireHistory& data, YearTable& sampleDepth) {
  for (int s = 1; s <= data.seriesCount; ++s) {
    const int first = std::max(data.seriesFirstYear[s], kFirstYearSlot);
    const int last = std::min(data.seriesLastYear[s], kLastYearSlot);
    for (int y = first; y <= last; ++y) ++sampleDepth[yearIndex(y)];
  }
}

void reportSampleDepth(const FireHistory& data, int first, int last, const YearTable& sampleDepth,
                       YearTable& fireTreeCount, InjuryMode injuryMode, AnalysisOutput& out) {
  // Only the years of the span that lie inside the table are looked up.
  const int lo = std::max(first, kFirstYearSlot);
  const int hi = std::min(last, kLastYearSlot);
  const long long years = static_cast<long long>(last) - first + 1;
  const int seriesCount = std::min(data.seriesCount, kMaxSeries);

  fireTreeCount.fill(0);
  // Every year of the span, not only the tree's record: codes outside a
  // record are never letters, so they add nothing.
  for (int s = 1; s <= seriesCount; ++s) {
    for (int y = lo; y <= hi; ++y) {
      if (isFireEvent(data.code(y, s), injuryMode)) ++fireTreeCount[yearIndex(y)];
    }
  }

  // Sample depth table.
  out.reportLine(rule('='));
  out.reportLine("");
  out.reportLine(fmt::Line(" SAMPLE DEPTH: year and number of trees over time span")
                     .i(first, 6)
                     .a(" to")
                     .i(last, 6)
                     .a(" (")
                     .i(years, 4)
                     .a(" years)"));
  out.reportLine("");
  {
    fmt::Line line;
    int pairs = 0;
    for (int y = lo; y <= hi; ++y) {
      line.i(y, 7).i(sampleDepth[yearIndex(y)], 4);
      if (++pairs == kPairsPerLine) {
        out.reportLine(line);
        line = fmt::Line();
        pairs = 0;
      }
    }
    if (pairs > 0) out.reportLine(line);
  }

  // Recording table.
  out.reportLine(rule('-'));
  out.reportLine("");
  out.reportLine(spanHeading(" NUMBER OF TREES RECORDING FIRE in", data.seriesCount, first, last, years));
  out.reportLine("   Trees    No of");
  out.reportLine(" recording  years  Years");
  out.reportLine("");

  long long yearsWithFire = 0;
  for (int n = seriesCount; n >= 1; --n) {
    int count = 0;
    for (int y = lo; y <= hi; ++y) {
      if (fireTreeCount[yearIndex(y)] == n) ++count;
    }
    if (count == 0) continue;
    yearsWithFire += count;

    fmt::Line line;
    line.i(n, 10).i(count, 7).tab(kYearListColumn);
    int inLine = 0;
    for (int y = lo; y <= hi; ++y) {
      if (fireTreeCount[yearIndex(y)] != n) continue;
      if (inLine == kYearsPerRow) {
        out.reportLine(line);
        line = fmt::Line();
        line.tab(kYearListColumn);
        inLine = 0;
      }
      line.i(y, 6);
      ++inLine;
    }
    out.reportLine(line);
  }

  const long long yearsWithoutFire = years - yearsWithFire;
  if (yearsWithoutFire > 0) {
    out.reportLine(fmt::Line().x(9).a("0").i(yearsWithoutFire, 7));
  }
}

}  // namespace rova

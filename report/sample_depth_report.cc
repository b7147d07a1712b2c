#include "report/sample_depth_report.h"

#include <string>

#include "format/fields.h"
#include "report/simulation_report.h"

namespace rova {
namespace {

constexpr int kPairsPerLine = 12;     // year I7 + depth I4: 132 columns
constexpr int kYearsPerRow = 18;      // years in I6 from column 19
constexpr int kYearListColumn = 19;

std::string rule(char c) { return " " + std::string(131, c); }

void writeDepthTable(const SampleDepthTable& table, const LineSink& out) {
  out(rule('='));
  out("");
  out(fmt::Line(" SAMPLE DEPTH: year and number of trees over time span")
          .i(table.firstYear, 6)
          .a(" to")
          .i(table.lastYear, 6)
          .a(" (")
          .i(table.years(), 4)
          .a(" years)"));
  out("");
  fmt::Line line;
  int pairs = 0;
  int year = table.depthFirstYear;
  for (int depth : table.depth) {
    line.i(year++, 7).i(depth, 4);
    if (++pairs == kPairsPerLine) {
      out(line);
      line = fmt::Line();
      pairs = 0;
    }
  }
  if (pairs > 0) out(line);
}

// The line or lines of one group: trees and count, then the years.
void writeGroup(const RecordingGroup& group, const LineSink& out) {
  fmt::Line line;
  line.i(group.trees, 10).i(static_cast<long long>(group.years.size()), 7).tab(kYearListColumn);
  int inLine = 0;
  for (int year : group.years) {
    if (inLine == kYearsPerRow) {
      out(line);
      line = fmt::Line();
      line.tab(kYearListColumn);
      inLine = 0;
    }
    line.i(year, 6);
    ++inLine;
  }
  out(line);
}

void writeRecordingTable(const SampleDepthTable& table, const LineSink& out) {
  out(rule('-'));
  out("");
  out(spanHeading(" NUMBER OF TREES RECORDING FIRE in", table.seriesCount, table.firstYear,
                  table.lastYear, table.years()));
  out("   Trees    No of");
  out(" recording  years  Years");
  out("");
  for (const RecordingGroup& group : table.recording) writeGroup(group, out);
  if (table.yearsWithoutFire > 0) out(fmt::Line().x(9).a("0").i(table.yearsWithoutFire, 7));
}

}  // namespace

void writeSampleDepthTables(const SampleDepthTable& table, const LineSink& out) {
  writeDepthTable(table, out);
  writeRecordingTable(table, out);
}

}  // namespace rova

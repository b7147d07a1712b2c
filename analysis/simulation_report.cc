#include "analysis/simulation_report.h"

#include <string>

#include "format/fields.h"

namespace rova {

std::string spanHeading(const std::string& lead, int trees, int first, int last, long long years) {
  return fmt::Line(lead).i(trees, 4).a(" trees over time span").i(first, 6).a(" to").i(last, 6)
      .a(" (").i(years, 4).a(" years)");
}

void writeTableHeader(int s, int first, int last, long long years, AnalysisOutput& out) {
  out.reportLine("");
  out.reportLine(" " + std::string(131, '-'));
  out.reportLine("");
  out.reportLine(spanHeading(" FIRE EVENTS PER CENTURY in", s, first, last, years));
  out.reportLine("");
  out.reportLine(fmt::Line(" Observed")
                     .x(18)
                     .a("95% conf")
                     .x(8)
                     .a("99% conf")
                     .x(7)
                     .a("99.9% conf")
                     .x(7)
                     .a("95% conf")
                     .x(8)
                     .a("99% conf"));
  {
    fmt::Line line("  no of  Mean   St dev ");
    for (int i = 0; i < 3; ++i) line.a("   limits  +/-  ");
    for (int i = 0; i < 2; ++i) line.a("   Percentiles  ");
    out.reportLine(line);
  }
  out.reportLine(fmt::Line("  trees events")
                     .x(11)
                     .a("1.960 st dev    2.575 st dev    3.294 st dev")
                     .a("     2.5%   97.5%    0.5%   99.5%"));
  {
    fmt::Line line("  ----- ------  ------");
    for (int i = 0; i < 3; ++i) line.x(2).a(std::string(14, '-'));
    for (int i = 0; i < 2; ++i) line.x(4).a(std::string(12, '-'));
    out.reportLine(line);
  }
}

void writeSpreadsheetRow(int s, int first, int last, int k, const RowValues& values,
                         AnalysisOutput& out) {
  fmt::Line row;
  row.i(s, 5).a("\t").i(first, 5).a("\t").i(last, 5).a("\t").i(k, 5);
  for (float v : values) row.a("\t").f(v, 7, 3);
  out.spreadsheetRow(k, row);
}

}  // namespace rova

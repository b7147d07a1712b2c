#include "report/simulation_report.h"

#include <string>

#include "format/fields.h"

namespace rova {
namespace {

void writeTableHeader(int s, int first, int last, long long years, const LineSink& out) {
  out("");
  out(" " + std::string(131, '-'));
  out("");
  out(spanHeading(" FIRE EVENTS PER CENTURY in", s, first, last, years));
  out("");
  out(fmt::Line(" Observed")
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
    out(line);
  }
  out(fmt::Line("  trees events")
          .x(11)
          .a("1.960 st dev    2.575 st dev    3.294 st dev")
          .a("     2.5%   97.5%    0.5%   99.5%"));
  {
    fmt::Line line("  ----- ------  ------");
    for (int i = 0; i < 3; ++i) line.x(2).a(std::string(14, '-'));
    for (int i = 0; i < 2; ++i) line.x(4).a(std::string(12, '-'));
    out(line);
  }
}

std::string tableLine(const ResultRow& row) {
  if (row.observed) return fmt::Line().i(row.threshold, 5).f(row.mean, 9, 3).x(4).a("All trees");
  fmt::Line line;
  line.i(row.threshold, 5).x(1).f(row.mean, 8, 3).f(row.sd, 8, 3);
  for (float v : row.limits) line.f(v, 8, 3);
  for (float v : row.percentiles) line.f(v, 8, 3);
  return line;
}

}  // namespace

std::string spanHeading(const std::string& lead, int trees, int first, int last, long long years) {
  return fmt::Line(lead).i(trees, 4).a(" trees over time span").i(first, 6).a(" to").i(last, 6)
      .a(" (").i(years, 4).a(" years)");
}

void writeSimulationTable(const SampleSizeResult& result, const LineSink& out) {
  const int first = result.firstYear;
  const int last = result.lastYear;
  writeTableHeader(result.sampleSize, first, last, static_cast<long long>(last) - first + 1, out);
  if (result.simulations < 1) {
    for (int k = 1; k <= thresholdLines(result); ++k) {
      out(fmt::Line().i(k, 5).a("   No simulations were run"));
    }
    return;
  }
  for (const ResultRow& row : result.rows) out(tableLine(row));
}

std::string spreadsheetRow(const ResultRow& row) {
  fmt::Line line;
  line.i(row.sampleSize, 5).a("\t").i(row.firstYear, 5).a("\t").i(row.lastYear, 5).a("\t")
      .i(row.threshold, 5);
  line.a("\t").f(row.mean, 7, 3);
  for (float v : row.limits) line.a("\t").f(v, 7, 3);
  for (float v : row.percentiles) line.a("\t").f(v, 7, 3);
  return line;
}

}  // namespace rova

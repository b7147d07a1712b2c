#include "report/simulation_report.h"

#include <string>
#include <vector>

#include "format/fields.h"

namespace rova {
namespace {

// The heading lines of a table, which are the same for every table: those
// before the span heading and those after it, as the line sink gets them
// and as the report holds them (trailing blanks dropped, line ends added).
struct TableHeading {
  std::vector<std::string> before;
  std::vector<std::string> after;
  std::string beforeText;
  std::string afterText;
};

std::string reportText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += fmt::trimRight(line);
    text += '\n';
  }
  return text;
}

const TableHeading& tableHeading() {
  static const TableHeading heading = [] {
    TableHeading h;
    h.before = {"", " " + std::string(131, '-'), ""};
    h.after.push_back("");
    h.after.push_back(fmt::Line(" Observed")
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
      h.after.push_back(line);
    }
    h.after.push_back(fmt::Line("  trees events")
                          .x(11)
                          .a("1.960 st dev    2.575 st dev    3.294 st dev")
                          .a("     2.5%   97.5%    0.5%   99.5%"));
    {
      fmt::Line line("  ----- ------  ------");
      for (int i = 0; i < 3; ++i) line.x(2).a(std::string(14, '-'));
      for (int i = 0; i < 2; ++i) line.x(4).a(std::string(12, '-'));
      h.after.push_back(line);
    }
    h.beforeText = reportText(h.before);
    h.afterText = reportText(h.after);
    return h;
  }();
  return heading;
}

// Appends text of a known length.
char* put(char* out, std::string_view text) {
  text.copy(out, text.size());
  return out + text.size();
}

void appendSpanHeading(std::string_view lead, int trees, int first, int last, long long years,
                       std::string& text) {
  char line[256];
  if (lead.size() > sizeof line - 64) {
    text += fmt::Line(lead).i(trees, 4).a(" trees over time span").i(first, 6).a(" to")
                .i(last, 6).a(" (").i(years, 4).a(" years)").str();
    return;
  }
  char* end = put(line, lead);
  end = fmt::putI(end, trees, 4);
  end = put(end, " trees over time span");
  end = fmt::putI(end, first, 6);
  end = put(end, " to");
  end = fmt::putI(end, last, 6);
  end = put(end, " (");
  end = fmt::putI(end, years, 4);
  end = put(end, " years)");
  text.append(line, static_cast<std::size_t>(end - line));
}

// The longest value line: I5, 1X and twelve F8.3.
constexpr std::size_t kValueLineRoom = 5 + 1 + 12 * 8;

// Appends the table's line of one threshold.
void appendValueLine(const ResultRow& row, std::string& text) {
  char line[kValueLineRoom];
  char* end = fmt::putI(line, row.threshold, 5);
  if (row.observed) {
    end = fmt::putF(end, row.mean, 9, 3);
    end = put(end, "    All trees");
  } else {
    *end++ = ' ';
    end = fmt::putF(end, row.mean, 8, 3);
    end = fmt::putF(end, row.sd, 8, 3);
    for (float v : row.limits) end = fmt::putF(end, v, 8, 3);
    for (float v : row.percentiles) end = fmt::putF(end, v, 8, 3);
  }
  text.append(line, static_cast<std::size_t>(end - line));
}

void appendNoSimulationsLine(int threshold, std::string& text) {
  char line[5];
  text.append(line, static_cast<std::size_t>(fmt::putI(line, threshold, 5) - line));
  text += "   No simulations were run";
}

// Ends the line that begins at `start` in `text` as the report holds it:
// trailing blanks dropped, a line end added.
void endReportLine(std::string& text, std::size_t start) {
  text.resize(start + fmt::lastNonBlank(std::string_view(text).substr(start)));
  text += '\n';
}

constexpr std::string_view kTableLead = " FIRE EVENTS PER CENTURY in";

long long yearsOf(const SampleSizeResult& result) {
  return static_cast<long long>(result.lastYear) - result.firstYear + 1;
}

}  // namespace

std::string spanHeading(const std::string& lead, int trees, int first, int last, long long years) {
  std::string text;
  appendSpanHeading(lead, trees, first, last, years, text);
  return text;
}

void writeSimulationTable(const SampleSizeResult& result, const LineSink& out) {
  const TableHeading& heading = tableHeading();
  for (const std::string& line : heading.before) out(line);
  std::string line;
  appendSpanHeading(kTableLead, result.sampleSize, result.firstYear, result.lastYear,
                    yearsOf(result), line);
  out(line);
  for (const std::string& fixed : heading.after) out(fixed);
  if (result.simulations < 1) {
    for (int k = 1; k <= thresholdLines(result); ++k) {
      line.clear();
      appendNoSimulationsLine(k, line);
      out(line);
    }
    return;
  }
  for (const ResultRow& row : result.rows) {
    line.clear();
    appendValueLine(row, line);
    out(line);
  }
}

void appendSimulationTable(const SampleSizeResult& result, std::string& text) {
  const TableHeading& heading = tableHeading();
  text += heading.beforeText;
  std::size_t start = text.size();
  appendSpanHeading(kTableLead, result.sampleSize, result.firstYear, result.lastYear,
                    yearsOf(result), text);
  endReportLine(text, start);
  text += heading.afterText;
  if (result.simulations < 1) {
    for (int k = 1; k <= thresholdLines(result); ++k) {
      start = text.size();
      appendNoSimulationsLine(k, text);
      endReportLine(text, start);
    }
    return;
  }
  for (const ResultRow& row : result.rows) {
    start = text.size();
    appendValueLine(row, text);
    endReportLine(text, start);
  }
}

std::string spreadsheetRow(const ResultRow& row) {
  std::string text;
  appendSpreadsheetRow(row, text);
  text.pop_back();
  return text;
}

void appendSpreadsheetRow(const ResultRow& row, std::string& text) {
  // Four I5 and eleven F7.3, separated by tabs, and the line end.
  char line[4 * 6 + 11 * 8];
  char* end = fmt::putI(line, row.sampleSize, 5);
  *end++ = '\t';
  end = fmt::putI(end, row.firstYear, 5);
  *end++ = '\t';
  end = fmt::putI(end, row.lastYear, 5);
  *end++ = '\t';
  end = fmt::putI(end, row.threshold, 5);
  *end++ = '\t';
  end = fmt::putF(end, row.mean, 7, 3);
  for (float v : row.limits) {
    *end++ = '\t';
    end = fmt::putF(end, v, 7, 3);
  }
  for (float v : row.percentiles) {
    *end++ = '\t';
    end = fmt::putF(end, v, 7, 3);
  }
  *end++ = '\n';
  text.append(line, static_cast<std::size_t>(end - line));
}

}  // namespace rova

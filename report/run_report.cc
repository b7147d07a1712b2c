#include "report/run_report.h"

#include <algorithm>

#include "format/text.h"
#include "format/utf8.h"
#include "format/fields.h"

namespace rova {
namespace {

const std::string kDashRule = " " + std::string(131, '-');

std::string trimmed(std::string text) { return text.substr(0, trimmedLength(text)); }

// A text typed or named by the user as the report shows it: trimmed, and
// control characters as "_", which would garble the printed line.
std::string shown(const std::string& text) { return printable(trimmed(text)); }

// Ten codes of a tree from `first` on; years outside the table are blank,
// control characters are shown as "_".
std::string tenYears(const FireHistory& data, int series, long long first) {
  std::string codes;
  for (long long y = first; y < first + 10; ++y) {
    codes += yearInTable(y) ? data.code(static_cast<int>(y), series) : ' ';
  }
  // Control characters in the data would garble the printed line.
  return printable(codes);
}

std::string option5Line(const ReportHead& head) {
  if (head.data.formatKind == FormatKind::kFireEvents) {
    return "5  Fire history is recorded in BINARY format; all events used";
  }
  if (head.options.injuryMode == InjuryMode::kAllInjuries) {
    return "5  Fire history is recorded in FIRE2 format; analysis includes INJURIES of all types "
           "(UPPER- and lower-case symbols).";
  }
  return "5  Fire history is recorded in FIRE2 format; analysis includes FIRE SCARS only "
         "(UPPER-case symbols)";
}

}  // namespace

void runReportHeader(int& page, const std::string& title, const Identification& id,
                     const LineSink& out) {
  ++page;
  const std::string suite(fmt::trimRight(id.suiteField()));
  out(fmt::Line(" []  ").a(suite).tab(77).a("Run ").a(fmt::padded(id.job, 5)).a("  Program ")
          .a(id.programName()).x(2).a(fmt::padded(id.clockText, 22)).tab(125).a("Page")
          .i(page, 4));
  out(" []");
  std::string shownTitle = shown(title);
  shownTitle.resize(utf8CutLength(shownTitle, 80));
  out(fmt::Line(" []  ").a(shownTitle).tab(111).a("Version ").a(id.version()).x(3)
          .a(id.dayNumberText()));
  out(kDashRule);
}

void writeReportHead(const ReportHead& head, const LineSink& out) {
  const RunOptions& o = head.options;
  const FireHistory& d = head.data;
  const std::string base = head.identification.baseName();
  const auto& ranks = head.ranks;

  out("");
  out(" Fire frequency is estimated with full number of samples and with progressively reduced "
      "sample size.");
  out("");
  out(" In multiple simulations the trees are randomly selected and mean fire frequencies are "
      "computed");
  out(" for each level of sample replication along with confidence intervals.");
  out("");
  out(" Event data are read in either FIRE2 format (Varnel) or in binary Fire Events format.");
  out("");
  out(fmt::Line(" Program dimensions:  Time span").i(kFirstYearSlot, 6).i(kLastYearSlot, 6)
          .a("  Max series").i(kMaxSeries, 4));
  if (o.runTitle.compare(0, 2, "  ") != 0) {
    out("");
    out(fmt::Line(" Title of run:").x(5).a(shown(o.runTitle)));
  }
  out("");
  out(" Fire events file: " + shown(head.inputName));
  out("");
  out(fmt::Line(" Data time span:").i(d.firstYear, 6).i(d.lastYear, 6)
          .i(static_cast<long long>(d.lastYear) - d.firstYear + 1, 6).a(" years")
          .i(d.seriesCount, 6).a(" trees"));
  out("");
  out(fmt::Line(" Menu options:").tab(58).a("Selected values"));
  out("");
  out(fmt::Line().x(8).a("1  Time span to process").tab(58).i(o.processFirstYear, 6)
          .i(o.processLastYear, 6));
  out("");
  if (o.segmentLength > 0) {
    out(fmt::Line().x(8).a("2  Processed by segments of length").tab(56).i(o.segmentLength, 8)
            .a(" with").i(o.segmentLag, 5).a(" years lag between segments."));
  } else {
    out(fmt::Line().x(8).a("2  Entire time span processed rather than by segments."));
  }
  out("");
  out(fmt::Line().x(8).a("3  Number of simulations to run").tab(56).i(o.simulationCount, 8)
          .a("; random seed").i(o.randomSeed, 8));
  out(fmt::Line().x(13).a("Percentiles derived by ranking the simulations and taking values")
          .i(ranks[1], 5).a(" and").i(ranks[0], 5).a(" for the 95% limits,"));
  out(fmt::Line().x(67).a("and values").i(ranks[3], 5).a(" and").i(ranks[2], 5)
          .a(" for the 99% limits."));
  out("");
  out(fmt::Line().x(8).a("4  Selection of reduced sample is by"));
  const SelectionMethod method = o.selectionMode;
  out(fmt::Line().x(13).a(std::string(1, letterOf(method)) + ": Random selection " +
                          wordsOf(method) +
                          (method == SelectionMethod::kWithReplacement
                               ? " - a series may be selected more than once."
                               : " - no series is selected more than once.")));
  out("");
  out(fmt::Line().x(8).a(option5Line(head)));
  out("");
  // A file renamed in the overwrite dialogue is named as it was written.
  out(fmt::Line().x(8).a("6  Output:  ")
          .a(head.renamedReport.empty() ? base + ".OUT" : printable(head.renamedReport))
          .a(" for printing"));
  if (o.spreadsheetFiles == SpreadsheetFiles::kWrite && head.renamedSpreadsheets.empty()) {
    out(fmt::Line().x(20).a(base).a(methodLetters(o))
            .a(".XLn  spreadsheet files"));
  }
  for (const std::string& name : head.renamedSpreadsheets)
    out(fmt::Line().x(20).a(printable(name)).a("  spreadsheet file"));
  out("");
  out(kDashRule);
  out("");
  out(" Seq  Ident       Time span    First and last 10 years");
  out("");

  for (int s = 1; s <= d.seriesCount; ++s) {
    const int first = d.seriesFirstYear[s];
    const int last = d.seriesLastYear[s];
    out(fmt::Line().i(s, 4).x(2).a(printable(fmt::padded(d.seriesIds[s], kSeriesIdLength))).i(first, 7)
            .i(last, 7).x(3).a(tenYears(d, s, first)).x(3).a(tenYears(d, s, last - 9LL)));
  }
}

void writeReportClosing(const LineSink& out) {
  out(" " + std::string(131, '='));
  out(fmt::Line().x(50).a("- = [ ROVA ] = -"));
}

}  // namespace rova

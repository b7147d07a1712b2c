#include "run/option_menu.h"

#include "export/chart_render.h"
#include "format/fields.h"
#include "format/text.h"

namespace rova {

namespace {

// What option 7 has chosen, in the menu's column of current values: Y or
// N for the tables and the metadata, then the chart's formats and the
// intervals when they are asked for.
std::string requestText(const OutputRequest& request) {
  std::string text = request.csv ? "Y" : "N";
  if (request.plot) {
    text += " chart";
    const std::vector<ChartFormat> formats =
        request.plotFormats.empty() ? std::vector<ChartFormat>{ChartFormat::kSvg} : request.plotFormats;
    for (std::size_t k = 0; k < formats.size(); ++k)
      text += std::string(k ? "," : " ") + chartFormatName(formats[k]);
  }
  if (request.intervals) text += " intervals";
  return text;
}

void showMenu(RunContext& run) {
  const RunOptions& o = run.options;
  const FireHistory& d = *run.data;
  Console& c = run.console;
  c.showLine("Menu of options", "B_");
  c.write(fmt::Line(" ").tab(56).a("Current values"));
  c.write(" ");
  c.write(fmt::Line(" ").tab(9).a("1  Time span to process").tab(58).i(o.processFirstYear, 6)
              .i(o.processLastYear, 6));
  c.write(fmt::Line(" ").tab(14).a("Time span of data").tab(58).i(d.firstYear, 6).i(d.lastYear, 6));
  c.write(fmt::Line(" ").tab(9).a("2  Process by segments of length").tab(56).i(o.segmentLength, 8)
              .a(" years"));
  c.write(fmt::Line(" ").tab(14).a("Lag between segments").tab(56).i(o.segmentLag, 8).a(" years"));
  c.write(fmt::Line(" ").tab(9).a("3  Number of simulations").tab(56).i(o.simulationCount, 8)
              .a("  Seed").i(o.randomSeed, 8));
  c.write(fmt::Line(" ").tab(9).a("4  Selection of reduced sample").tab(63)
              .a(std::string(1, letterOf(o.selectionMode))));
  c.write(fmt::Line(" ").tab(9).a("5  Fire events only or Injuries of all types").tab(63)
              .a(std::string(1, letterOf(o.injuryMode))));
  c.write(fmt::Line(" ").tab(9).a("6  Save files for spreadsheets").tab(63)
              .a(std::string(1, letterOf(o.spreadsheetFiles))));
  c.write(fmt::Line(" ").tab(9).a("7  Tables, metadata and chart").tab(63)
              .a(requestText(run.request)));
}

}  // namespace

std::string changeMessage(const OptionChange& change) {
  switch (change.rule) {
    case OptionChange::Rule::kYearIntoTable:
      return fmt::Line(" >> Year").i(change.from, 12).a(" is outside").i(kFirstYearSlot, 6)
          .a(" to").i(kLastYearSlot, 5).a("; set to").i(change.to, 6);
    case OptionChange::Rule::kSpanTurned:
      return " >> First year is after last year: the two years are exchanged";
    case OptionChange::Rule::kSimulationsCut:
      return fmt::Line(" >> Maximum number of simulations").i(change.to, 6);
    default:
      return "";
  }
}

namespace {

// Applies the rules after the user has given values and shows what they
// changed; the menu has words for the span and the simulations only.
void applyRules(RunContext& run, JustGiven given) {
  for (const OptionChange& change : applyOptionRules(run.options, *run.data, run.defaultSeed, given)) {
    const std::string message = changeMessage(change);
    if (message.empty()) continue;
    // The cut number of simulations rings the bell.
    run.console.notice(message + (change.rule == OptionChange::Rule::kSimulationsCut ? "\a" : ""));
  }
}

void timeSpanOption(RunContext& run) {
  RunOptions& o = run.options;
  run.console.write(" ");
  run.console.write(" Time span to include in processing");
  o.processFirstYear = run.console.askInteger("|First year");
  o.processLastYear = run.console.askInteger("|Last  year");
  applyRules(run, JustGiven{true, false});
}

void segmentOption(RunContext& run) {
  RunOptions& o = run.options;
  run.console.write(" ");
  run.console.write(" Chronology may be processed by segments.");
  run.console.write("  Provide length of segments to process and lag between successive segments");
  o.segmentLength = run.console.askInteger("|Length of segments");
  o.segmentLag = run.console.askInteger("|Lag between segments  <Half segment length>");
  applyRules(run, JustGiven{});
}

void simulationOption(RunContext& run) {
  RunOptions& o = run.options;
  o.simulationCount = run.console.askInteger("|Number of simulations to perform");
  applyRules(run, JustGiven{});
  if (o.simulationCount > 0) o.randomSeed = run.console.askInteger("Random seed (large odd integer)");
  applyRules(run, JustGiven{false, true});
}

void selectionOption(RunContext& run) {
  for (const char* line : {"", " Selection of reduced sample may be made by either:",
                           "     D: Random selection without replacement -",
                           "          no series is selected more than once  (Recommended)",
                           "     R: Random selection with replacement -",
                           "          a series may be selected more than once"}) {
    run.console.write(std::string(" ") + line);
  }
  const std::string answer = run.console.askText("|Selection of reduced sample  <D>/R", 1);
  run.options.selectionMode = selectionMethodFrom(answer[0]);
}

void injuryOption(RunContext& run) {
  Console& c = run.console;
  c.write(" ");
  c.write(std::string(" Fire history is recorded in ") + wordsOf(run.data->formatKind) +
          " format.");
  if (run.data->formatKind == FormatKind::kFireEvents) {
    c.write(" Only one type of injury is recorded");
    return;
  }
  c.write(" You may elect to use in the analysis either:");
  c.write("   F:  Fire scars only (UPPER-case symbols), or");
  c.write("   I:  Injuries of all types (UPPER- and lower-case symbols).");
  const std::string answer = c.askText("|Fire scars only or Injuries of all types?  <F>/I", 1);
  run.options.injuryMode = injuryModeFrom(answer[0]);
}

void spreadsheetOption(RunContext& run) {
  run.console.write(" ");
  run.console.write(" Files may be saved for importation to spreadsheets");
  const std::string answer = run.console.askText("|Save files for spreadsheets?  <Y>/N", 1);
  run.options.spreadsheetFiles = spreadsheetFilesFrom(answer[0]);
}

bool isYes(const std::string& answer) { return !answer.empty() && (answer[0] == 'Y' || answer[0] == 'y'); }

// The outputs beside the report and the spreadsheet files: the tables and
// the metadata, a chart in the formats given, and the composite fire
// years and fire intervals in them.
void outputsOption(RunContext& run) {
  Console& c = run.console;
  OutputRequest& request = run.request;
  for (const char* line : {"", " Tables for R, Python or a spreadsheet may be saved beside the report:",
                           "   the results of every sample size as a tidy table, how many trees are",
                           "   enough (the adequacy table) and the run's metadata (JSON).",
                           " A chart of the estimates against the trees in the sample may be drawn,",
                           "   in one or more of the formats svg, pdf and png."}) {
    c.write(std::string(" ") + line);
  }
  request.csv = isYes(c.askText("|Save tables and metadata?  <N>/Y", 1));
  const std::string formats(fmt::trimRight(c.askText("|Chart formats, e.g. svg,png  <none>", 20)));
  request.plot = false;
  request.plotFormats.clear();
  if (!formats.empty()) {
    const std::optional<std::vector<ChartFormat>> chosen = parseChartFormats(formats);
    std::string problem;
    if (!chosen) {
      c.notice(" >> Chart formats are svg, pdf and png, separated by commas: no chart is drawn");
    } else if (!chartDrawingAvailable(problem)) {
      c.notice(" >> The chart cannot be drawn: " + screenSafe(problem));
    } else {
      request.plot = true;
      request.plotFormats = *chosen;
    }
  }
  request.intervals = false;
  if (request.csv || request.plot) {
    c.write(" ");
    c.write("  Composite fire years (a year when >= 25 % of the recording trees, at least");
    c.write("  2 recording and 1 scarred, or any scarred tree) and their fire intervals");
    request.intervals = isYes(c.askText("|Composite fire years and intervals?  <N>/Y", 1));
  }
}

using OptionHandler = void (*)(RunContext&);
constexpr OptionHandler kOptions[] = {timeSpanOption,  segmentOption, simulationOption,
                                      selectionOption, injuryOption,  spreadsheetOption,
                                      outputsOption};

}  // namespace

void runOption(RunContext& run, int choice) { kOptions[choice - 1](run); }

void runOptionMenu(RunContext& run) {
  static const std::string kChoices = " 1234567";
  for (;;) {
    showMenu(run);
    const std::string answer = run.console.askText("|Number of option to modify or <CR> to proceed", 1);
    const auto position = kChoices.find(answer[0]);
    if (position == std::string::npos) {
      run.console.notice(" >> No option of the menu: give a number from 1 to 7, or Enter to proceed");
      continue;
    }
    if (position == 0) return;
    runOption(run, static_cast<int>(position));
  }
}

}  // namespace rova

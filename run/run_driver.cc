#include "run/run_driver.h"

#include "analysis/sampling_frame.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "analysis/random.h"
#include "analysis/sample_depth.h"
#include "analysis/simulation.h"
#include "analysis/statistics.h"
#include "console/closing_saying.h"
#include "console/job_identification.h"
#include "format/text.h"
#include "records/option_rules.h"
#include "run/option_menu.h"
#include "report/run_report.h"
#include "report/sample_depth_report.h"
#include "report/simulation_report.h"
#include "run/run_context.h"
#include "run/run_steps.h"
#include "run/output_sinks.h"
#include "format/fields.h"
#include "input/fire_readers.h"
#include "records/version.h"
#include "export/chart_render.h"
#include "export/sha256.h"

namespace rova {
namespace {

const std::string kProgramCode = std::string("RVA") + kProgramVersion;

void startUp(RunContext& run) {
  Console& c = run.console;
  prepareSession(run);
  c.showLine("*=", "BZ");
  c.showLine(c.identification.suiteField(), "|_");
  c.showLine("P R O G R A M     R O V A", "|_");
  c.showLine("Effect of sample size on estimates of fire frequency", "|_");
  c.showLine("Version " + c.identification.version(), "||");
  c.showLine("*=", "Z|");
  run.sampleDepth->fill(0);

  c.write(" Fire frequency is estimated with full number of samples and with progressively");
  c.write(" reduced sample size.  In the reduced samples the trees are randomly selected");
  c.write(" and mean fire frequencies are computed along with their confidence intervals.");
  c.write(" Event data are read in either FIRE2 format or Fire Events binary format.");
  c.write(" ");
  c.write(fmt::Line(" Program dimensions:  Time span").i(kFirstYearSlot, 6).i(kLastYearSlot, 6)
              .a("  Max series").i(kMaxSeries, 4));
}

void readData(RunContext& run) {
  std::unique_ptr<InputText> file = run.dialogue.openInputFile("FIRE EVENTS", run.inputName);
  const std::string input(fmt::trimRight(run.inputName));
  run.outputs.protect(input);
  run.console.protectFromSettings(input);
  readFireHistory(run, *file);
  // The metadata names the input's SHA-256: its bytes are summed when they
  // read as the same lines that were analysed (a file changed in between
  // is not summed).
  std::string bytes;
  std::string error;
  if (run.platform.files.readAll(input, bytes, error) && textOf(bytes).lines() == file->lines())
    run.inputSha256 = sha256Hex(bytes);
}

}  // namespace

std::string RunContext::outputBase() const {
  if (!fileBase.empty()) return fileBase + console.identification.programName();
  return packName(baseName());
}

std::string reportName(const RunContext& run) { return run.outputBase() + ".OUT"; }

std::string spreadsheetName(const RunContext& run, int n) {
  return run.outputBase() + methodLetters(run.options) + ".XL" + std::to_string(n);
}


std::string expectedTimeNote(double seconds) {
  if (!(seconds >= 60)) return "";
  const double minutes = std::ceil(seconds / 60);
  if (minutes > 99999) return " The simulations will take many hours";
  return " The simulations will take about " + std::to_string(static_cast<long long>(minutes)) +
         (minutes == 1 ? " minute" : " minutes");
}

void prepareSession(RunContext& run) {
  Console& c = run.console;
  c.startSession(run.platform.clock, "@");
  c.identification.programCode = kProgramCode;
  run.defaultSeed = c.identification.defaultSeed();
  run.options.randomSeed = run.defaultSeed;
}

namespace {

// A text that begins with a UTF-16 byte-order mark holds two bytes per
// character: no line of it reads as a fire history.
bool isUtf16(const InputText& file) {
  if (file.lines().empty()) return false;
  const std::string& first = file.lines().front();
  return first.rfind("\xFF\xFE", 0) == 0 || first.rfind("\xFE\xFF", 0) == 0;
}

}  // namespace

namespace {

// The readers' lines go to the screen of the run (standard error in batch
// mode) in the order they come.
class ConsoleReporter : public ReadingReporter {
 public:
  explicit ConsoleReporter(Console& console) : console_(console) {}
  void summary(const std::string& record) override { console_.write(record, RecordKind::kReading); }
  void notice(const std::string& record) override { console_.notice(record); }

 private:
  Console& console_;
};

}  // namespace

namespace {

// Series that hold only "." have no record anywhere: they are read, and
// the design's analysis counts them, but no sampling frame does.
void sayEmptySeries(Console& console, const FireHistory& data) {
  const std::vector<int> empty = seriesWithoutData(data);
  if (empty.empty()) return;
  constexpr std::size_t kNamed = 12;
  std::string names;
  for (std::size_t i = 0; i < empty.size() && i < kNamed; ++i)
    names += (i ? ", " : "") + std::string(fmt::trimRight(data.seriesIds[empty[i]]));
  if (empty.size() > kNamed) names += ", ... (" + std::to_string(empty.size() - kNamed) + " more)";
  const bool one = empty.size() == 1;
  console.notice(" >> " + std::to_string(empty.size()) + (one ? " series holds" : " series hold") +
                " no data: " + screenSafe(names) + "; no frame counts " + (one ? "it" : "them"));
}

}  // namespace

void readFireHistory(RunContext& run, InputText& file) {
  FireHistory& data = *run.data;
  const std::string name(fmt::trimRight(run.inputName));
  if (isUtf16(file)) {
    throw ProgramStop{1, " >> " + screenSafe(name) +
                             " is UTF-16 text, not a fire history: save it as plain (ASCII or "
                             "UTF-8) text"};
  }
  // A file without a line that holds anything is no fire history of
  // either format: said plainly rather than as an empty data set.
  if (std::all_of(file.lines().begin(), file.lines().end(), [](const std::string& line) {
        return line.find_first_not_of(std::string(" \t\r\x1a\0", 5)) == std::string::npos;
      })) {
    throw ProgramStop{1, " >> " + screenSafe(name) + (file.lines().empty()
                                                          ? " is empty: it holds no fire history"
                                                          : " holds only blank lines: no fire history")};
  }
  ConsoleReporter reporter(run.console);
  const ReadResult fire2 = RFIRE2(file, data, reporter);
  if (fire2.outcome == ReadOutcome::kNotThisFormat && !file.lines().empty()) {
    run.dialogue.showFileHead(file, 12);
  }
  if (fire2.outcome == ReadOutcome::kRefused) throw ProgramStop{1, refusalLine(fire2, name)};
  if (fire2.outcome == ReadOutcome::kRead) {
    data.formatKind = FormatKind::kFire2;
  } else {
    run.console.write(" Format is not FIRE2; trying Binary Fire Events", RecordKind::kReading);
    const ReadResult events = RFIREB(file, data, reporter);
    if (events.outcome == ReadOutcome::kRefused) throw ProgramStop{1, refusalLine(events, name)};
    data.formatKind = FormatKind::kFireEvents;
  }
  sayEmptySeries(run.console, data);
  run.options.processFirstYear = data.firstYear;
  run.options.processLastYear = data.lastYear;
}

void settleOptions(RunContext& run) {
  // The changes made here are made silently.
  applyOptionRules(run.options, *run.data, run.defaultSeed);
  run.settled = std::make_shared<const SettledOptions>(
      SettledOptions{run.options, percentileRanks(run.options.simulationCount)});
}

// The spans of the passes: the whole span, or its segments.
std::vector<SimulationSpan> passSpans(const RunOptions& o) {
  std::vector<SimulationSpan> spans;
  // Segment arithmetic is done in 64 bits: lengths and lags may be as large
  // as any 32-bit answer.
  long long first = o.processFirstYear;
  long long last = o.processLastYear;
  if (o.segmentLength > 0) last = std::min<long long>(o.segmentLength + first - 1, o.processLastYear);
  for (;;) {
    spans.push_back({static_cast<int>(first), static_cast<int>(last)});
    if (o.segmentLength <= 0) return spans;
    const long long t = first + o.segmentLag;
    first = std::min(t - (t % o.segmentLag), t);
    last = std::min<long long>(o.segmentLength + first - 1, o.processLastYear);
    // A segment of full length is always analysed: with a lag of the
    // length less one or more, the span test alone would stop after the
    // first segment.
    const bool fullLength = last - first + 1 == o.segmentLength;
    if (last - first <= o.segmentLag && !fullLength) return spans;
  }
}

namespace {

// The passes over the whole span or its segments: the whole span's sample
// depth, then each span's and the simulations for every sample size.
void analysisPasses(RunContext& run, RandomGenerator& generator, OutputRoad& road) {
  const RunOptions& o = run.settledOptions();
  const FireHistory& data = *run.data;
  SimulationSettings settings{o.simulationCount, o.selectionMode, o.injuryMode,
                              run.settled->percentileRanks};
  road.runStarted();
  const std::vector<SimulationSpan> spans = passSpans(o);
  const std::string note = expectedTimeNote(estimatedSimulationSeconds(data, spans, settings));
  if (!note.empty()) run.console.write(note, RecordKind::kEstimate);
  simulateSpans(data, spans, settings, generator, road);
  road.runFinished();
}

// The closing notes name the files written, as they are named on disk. A
// file that the overwrite dialogue gave another name is shown under the
// name it was written to.
void showReportAndSpreadsheets(RunContext& run, const OutputFile& report,
                          const std::vector<OutputFile>& spreadsheets) {
  Console& c = run.console;
  const std::string base = run.outputBase();
  c.write("+New files: " + screenSafe(report.name) + " for printing\a");
  bool renamed = false;
  for (std::size_t n = 0; n < spreadsheets.size(); ++n)
    renamed = renamed || spreadsheets[n].name != spreadsheetName(run, static_cast<int>(n) + 1);
  if (spreadsheets.empty()) return;
  if (!renamed) {
    c.write(fmt::X(12) + base + methodLetters(run.options) +
            ".XLn  for importation into spreadsheets");
    return;
  }
  for (const OutputFile& file : spreadsheets)
    c.write(fmt::X(12) + screenSafe(file.name) + "  for importation into spreadsheets");
}

void showNewFiles(RunContext& run, const RunFiles& files) {
  const OutputFile& report = files.report;
  const std::vector<OutputFile>& spreadsheets = files.spreadsheets;
  Console& c = run.console;
  showReportAndSpreadsheets(run, report, spreadsheets);
  // The tables, the metadata and the chart of option 7, after the report
  // and the spreadsheet files.
  for (std::size_t n = 1 + spreadsheets.size(); n < files.opened.size(); ++n)
    c.write(fmt::X(12) + screenSafe(files.opened[n]) + "  table, metadata or chart");
}

OutputOpener dialogueOpener(RunContext& run) {
  return [&run](const std::string& name, int unit) {
    OutputFile file;
    file.text = run.dialogue.createOutputFile(run.outputs, name, unit, file.name);
    file.renamed = file.name != name;
    return file;
  };
}

void runAnalysis(RunContext& run) {
  Console& c = run.console;
  run.options.runTitle = runTitleFrom(c.askText("$|TITLE FOR THIS RUN", kTitleAnswerLength));
  runOptionMenu(run);
  settleOptions(run);
  if (run.request.plot) {
    const std::string problem = chartSpanProblem(run.settledOptions());
    if (!problem.empty()) {
      run.console.notice(" >> The chart is left out: a chart of " +
                         std::to_string(passSpans(run.settledOptions()).size()) +
                         " spans would not be readable (at most " +
                         std::to_string(kChartMaxPanels) + " panels)");
      run.request.plot = false;
    }
  }
  RunFiles files = writeRun(run, run.request, dialogueOpener(run));
  commitOutputs(run);
  showNewFiles(run, files);
  showClosingSaying(c, run.platform.files, run.platform.clock, run.platform.locations.sayingsFiles);
  c.askText("/- = [ ROVA ] = -", 1);
}

}  // namespace

RunFiles writeRun(RunContext& run, const OutputRequest& request, const OutputOpener& open,
                  std::string* siteRows) {
  RunFiles files;
  // With the metadata, every output's bytes are summed as they are
  // written; every output's name is kept for the closing notes.
  SummedOutputs sums;
  const OutputOpener summed = request.csv ? sums.wrap(open) : open;
  const OutputOpener opener = [&summed, &files](const std::string& name, int unit) {
    OutputFile file = summed(name, unit);
    files.opened.push_back(file.name);
    return file;
  };
  files.report = opener(reportName(run), 6);
  OutputText& report = *files.report.text;
  auto toReport = [&report](const std::string& line) { report.writeLine(fmt::trimRight(line)); };
  // The spreadsheet files are named before the head is written, so that
  // the head names the files as the overwrite dialogue left them.
  if (run.settledOptions().spreadsheetFiles == SpreadsheetFiles::kWrite) {
    for (int n = 1; n <= 2; ++n) files.spreadsheets.push_back(opener(spreadsheetName(run, n), 20 + n));
  }
  int page = 0;
  runReportHeader(page, "EFFECT OF SAMPLE SIZE ON FIRE FREQUENCY ESTIMATES",
                  run.console.identification, toReport);
  ReportHead head{run.settledOptions(), *run.data, run.console.identification, run.inputName,
                  run.settled->percentileRanks};
  if (files.report.renamed) head.renamedReport = files.report.name;
  const bool spreadsheetRenamed =
      std::any_of(files.spreadsheets.begin(), files.spreadsheets.end(),
                  [](const OutputFile& file) { return file.renamed; });
  for (const OutputFile& file : files.spreadsheets)
    if (spreadsheetRenamed) head.renamedSpreadsheets.push_back(file.name);
  writeReportHead(head, toReport);
  addRecordYears(*run.data, *run.sampleDepth);
  RandomGenerator generator;
  generator.seed(run.settledOptions().randomSeed & 65535);

  // The other outputs are started after the report and the spreadsheet
  // files, in the order of their names.
  std::vector<std::unique_ptr<OutputSink>> sinks =
      makeOutputSinks(run, request, opener, files, request.csv ? &sums : nullptr, siteRows);
  OutputRoad road(run, request, sinks);
  analysisPasses(run, generator, road);
  return files;
}

std::vector<std::string> commitOutputs(RunContext& run) {
  OutputTransaction::CommitResult result = run.outputs.commit();
  for (const std::string& name : result.leftoversRemoved) {
    run.console.notice(" >> removed " + screenSafe(name) +
                      ", a temporary file left by an earlier run that was killed");
  }
  if (result.ok) return result.written;
  run.console.notice(" >> " + screenSafe(result.failure));
  std::string message = " >> ROVA could not write its output: " + screenSafe(result.failure);
  if (result.written.empty()) {
    message += "; no file was written or replaced";
  } else {
    message += "; already written or replaced:";
    for (const std::string& name : result.written) message += " " + screenSafe(name);
  }
  throw ProgramStop{1, message};
}

int runRova(Platform& platform) {
  RunContext run(platform);
  int status = 0;
  try {
    startUp(run);
    askJobIdentifier(run.console, '|');
    readData(run);
    runAnalysis(run);
  } catch (const ProgramStop& stop) {
    status = stop.status;
    if (!stop.message.empty()) {
      // A stop without the closing display: give the screen its plain
      // colours back before saying why.
      if (ScreenColours::isOn(run.console.colours.exitColour))
        run.console.write(run.console.colours.exitColour);
      platform.terminal.writeError(stop.message);
    }
  } catch (const OutputWriteFailure& failure) {
    // A full disk or a file-size limit: the run stops at the first failed
    // write; the unfinished outputs are removed as the run ends.
    status = 1;
    if (ScreenColours::isOn(run.console.colours.exitColour))
      run.console.write(run.console.colours.exitColour);
    platform.terminal.writeError(" >> ROVA could not write its output: " + screenSafe(failure.what()) +
                                 "; no file was written or replaced");
  }
  platform.terminal.finish();
  return status;
}

}  // namespace rova

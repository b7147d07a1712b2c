#include "cli/batch_run.h"

#include <map>
#include <memory>
#include <string_view>

#include "analysis/sample_adequacy.h"
#include "console/job_identification.h"
#include "export/adequacy_table.h"
#include "export/chart_render.h"
#include "export/sha256.h"
#include "export/site_summary.h"
#include "export/tidy_table.h"
#include "export/years_table.h"
#include "format/fields.h"
#include "format/text.h"
#include "format/utf8.h"
#include "records/version.h"
#include "report/run_report.h"
#include "run/option_menu.h"
#include "run/run_steps.h"

namespace rova {
namespace {

// The screen of a batch run: nothing is asked; messages go to the error
// stream, each named by its input file, and progress only when that
// stream is a terminal, at most every tenth of a second (a run of
// thousands of segments has a progress record for each of its hundreds of
// thousands of sample sizes).
class BatchTerminal : public Terminal {
 public:
  BatchTerminal(const BatchStreams& streams, std::string file, bool quiet, Clock& clock)
      : streams_(streams), file_(std::move(file)), quiet_(quiet), clock_(clock) {}

  void writeRecord(const std::string& record) override {
    if (record.empty()) return;
    if (record[0] == '+') {
      if (quiet_ || record.compare(1, 10, "Simulation") != 0 || !streams_.err.isTerminal()) return;
      const long long now = clock_.milliseconds();
      if (progressOpen_ && now - lastProgress_ < kProgressSpacing) return;
      lastProgress_ = now;
      streams_.err.write("\r" + std::string(fmt::trimRight(record.substr(1))));
      progressOpen_ = true;
      return;
    }
    const std::string text(fmt::trimRight(record.substr(1)));
    if (!shown(text)) return;
    say(text);
  }
  std::optional<std::string> readLine() override { return std::nullopt; }
  void writeError(const std::string& message) override { say(message); }
  void finish() override { endProgress(); }

 private:
  bool shown(const std::string& text) const {
    if (text.rfind(">>", 0) == 0) return true;
    if (quiet_) return false;
    for (const char* lead : {"FIRE2:", "Fire events:", "Format is not FIRE2", "Time span",
                             "The simulations will take"})
      if (text.rfind(lead, 0) == 0) return true;
    return false;
  }
  // One line on the error stream: "rova: FILE: message".
  void say(const std::string& message) {
    endProgress();
    std::size_t from = message.find_first_not_of(' ');
    if (from != std::string::npos && message.compare(from, 2, ">>") == 0) from += 2;
    from = message.find_first_not_of(' ', from == std::string::npos ? 0 : from);
    const std::string text = from == std::string::npos ? "" : message.substr(from);
    // File names come from the command line and the data: nothing in them
    // may reach the terminal as a control sequence.
    streams_.err.write("rova: " + visibleText(file_) + ": " + visibleText(text) + "\n");
  }
  void endProgress() {
    if (progressOpen_) streams_.err.write("\n");
    progressOpen_ = false;
  }

  static constexpr long long kProgressSpacing = 100;  // milliseconds
  const BatchStreams& streams_;
  std::string file_;
  bool quiet_;
  Clock& clock_;
  bool progressOpen_ = false;
  long long lastProgress_ = 0;
};

// What a rule changed as the batch run says it on the error stream; ""
// for what it changes silently.
std::string batchMessage(const OptionChange& change, const BatchOptions& b) {
  using Rule = OptionChange::Rule;
  switch (change.rule) {
    case Rule::kNoSegments:
      return " >> A segment length below 1 means no segments";
    case Rule::kLagHalfLength:
      if (change.to < 1) return "";  // no segments, no lag
      return " >> Lag between segments set to half the segment length: " + std::to_string(change.to);
    case Rule::kSeed:
      if (!b.seed) return "";  // the default seed made odd
      return " >> Seed " + std::to_string(change.from) + " is " + (change.from == 0 ? "0" : "even") +
             "; the seed used is " + std::to_string(change.to);
    case Rule::kInjuriesIgnored:
      return " >> Fire Events data record one type of event only: --injuries has no effect";
    default:
      return changeMessage(change);
  }
}

void applyOptions(RunContext& run, const BatchOptions& b) {
  RunOptions& o = run.options;
  Console& c = run.console;
  const FireHistory& data = *run.data;
  const std::string title = b.title.value_or("");
  o.runTitle = runTitleFrom(title);
  // Said only when something other than blanks is lost.
  if (title.find_first_not_of(' ', kTitleLength) != std::string::npos) {
    const std::size_t kept = utf8CutLength(title, kTitleLength);
    c.write(" >> Title cut to its first " + std::to_string(kept) + " of " +
            std::to_string(title.size()) + " bytes: a title holds " + std::to_string(kTitleLength) +
            " bytes, and a character is never split");
  }
  if (b.firstYear) o.processFirstYear = *b.firstYear;
  if (b.lastYear) o.processLastYear = *b.lastYear;
  if (b.segmentLength || b.segmentLag) {
    o.segmentLength = b.segmentLength.value_or(0);
    o.segmentLag = b.segmentLag.value_or(0);
  }
  if (b.simulations || b.seed) {
    o.simulationCount = b.simulations.value_or(kDefaultSimulations);
    if (b.seed) o.randomSeed = *b.seed;
  }
  if (b.withReplacement) o.selectionMode = SelectionMethod::kWithReplacement;
  if (b.injuries) o.injuryMode = InjuryMode::kAllInjuries;
  if (b.noSpreadsheets) o.spreadsheetFiles = SpreadsheetFiles::kSkip;
  // The seed is made odd as in the menu's option 3, which asks for both.
  const JustGiven given{b.firstYear || b.lastYear, b.simulations || b.seed};
  for (const OptionChange& change : applyOptionRules(o, data, run.defaultSeed, given)) {
    const std::string message = batchMessage(change, b);
    if (!message.empty()) c.write(message);
  }
}

std::string joinPath(const std::string& directory, const std::string& name) {
  // An absolute name (--multi-site /data/sites.csv) stands as it is.
  if (directory.empty() || directory == "." || name.rfind('/', 0) == 0) return name;
  return directory.back() == '/' ? directory + name : directory + "/" + name;
}

// The name of a file beside the spreadsheet files: job, program code,
// method and injury letters and the extension.
std::string tidyName(const RunContext& run, const std::string& extension) {
  return run.outputBase() + methodLetters(run.options) + extension;
}

std::vector<ChartFormat> chartFormats(const BatchOptions& b) {
  return b.plotFormats.empty() ? std::vector<ChartFormat>{ChartFormat::kSvg} : b.plotFormats;
}

std::vector<std::string> plannedNames(const RunContext& run, const BatchOptions& b) {
  std::vector<std::string> names{reportName(run)};
  if (run.options.spreadsheetFiles == SpreadsheetFiles::kWrite) {
    names.push_back(spreadsheetName(run, 1));
    names.push_back(spreadsheetName(run, 2));
  }
  if (b.csv) {
    names.push_back(tidyName(run, ".csv"));
    names.push_back(tidyName(run, "-adequacy.csv"));
    if (b.intervals) names.push_back(tidyName(run, "-years.csv"));
    names.push_back(tidyName(run, ".json"));
  }
  if (b.plot)
    for (ChartFormat format : chartFormats(b)) names.push_back(tidyName(run, chartExtension(format)));
  return names;
}

// An output that passes its bytes on and keeps their SHA-256, so that the
// metadata can name the sum of every file the run wrote.
class SummedText : public OutputText {
 public:
  explicit SummedText(OutputText* inner) : inner_(inner) {}
  void writeLine(std::string_view line) override {
    inner_->writeLine(line);
    sum_.update(line);
    sum_.update("\n");
  }
  void write(std::string_view bytes) override {
    inner_->write(bytes);
    sum_.update(bytes);
  }
  bool close(std::string& error) override { return inner_->close(error); }
  std::string hex() const { return sum_.hex(); }

 private:
  OutputText* inner_;
  Sha256 sum_;
};

// The summed outputs of one FILE, by their names with the output folder.
using OutputSums = std::map<std::string, std::unique_ptr<SummedText>>;

// Starts the outputs of a batch run in the run's transaction, under the
// output folder; an existing file is replaced only with --force. With
// `sums`, every output's bytes are summed as they are written.
OutputOpener batchOpener(RunContext& run, const BatchOptions& b, OutputSums* sums) {
  return [&run, &b, sums](const std::string& name, int) {
    OutputFile file;
    file.name = joinPath(b.outputDirectory, name);
    const OutputTransaction::Staged staged = run.outputs.stage(file.name, b.force);
    if (staged.text == nullptr) {
      throw ProgramStop{1, " >> cannot write " + file.name + ": " + staged.reason +
                               (staged.refusal == OutputTransaction::Refusal::kExists
                                    ? "; use --force to replace it"
                                    : "")};
    }
    file.text = staged.text;
    if (sums) {
      auto& summed = (*sums)[file.name];
      summed = std::make_unique<SummedText>(staged.text);
      file.text = summed.get();
    }
    return file;
  };
}

void writeWhole(OutputFile file, const std::string& text) {
  std::string body = text;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  file.text->writeLine(body);
  std::string error;
  if (!file.text->close(error)) throw ProgramStop{1, " >> cannot write " + file.name + ": " + error};
}

// A file written whole, byte for byte (the chart's PDF and PNG are binary).
void writeBytes(OutputFile file, const std::string& bytes) {
  file.text->write(bytes);
  std::string error;
  if (!file.text->close(error)) throw ProgramStop{1, " >> cannot write " + file.name + ": " + error};
}

std::string optionsLine(const RunContext& run) {
  const RunOptions& o = run.options;
  std::string line = "Job " + std::string(fmt::trimRight(run.console.identification.job)) + ", " +
                     std::to_string(o.simulationCount) + " simulations, seed " +
                     std::to_string(o.randomSeed) + ", method " + letterOf(o.selectionMode) + " (" +
                     wordsOf(o.selectionMode) + "), " + wordsOf(o.injuryMode);
  if (o.segmentLength > 0) {
    line += ", segments of " + std::to_string(o.segmentLength) + " years, lag " +
            std::to_string(o.segmentLag);
  }
  return line;
}

std::vector<ChartSpan> plotSpans(const std::vector<ResultRow>& rows) {
  std::vector<ChartSpan> spans;
  for (const ResultRow& row : rows) {
    if (spans.empty() || spans.back().firstYear != row.firstYear ||
        spans.back().lastYear != row.lastYear || row.sampleSize > spans.back().rows.back().sampleSize) {
      spans.push_back(ChartSpan{row.firstYear, row.lastYear, {}});
    }
    spans.back().rows.push_back(row);
  }
  return spans;
}

// ISO 8601 local time with its offset from UTC, e.g. 2026-12-08T10:30:00+01:00.
std::string isoTime(const LocalTime& t) {
  const int offset = t.utcOffsetMinutes < 0 ? -t.utcOffsetMinutes : t.utcOffsetMinutes;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.utcOffsetMinutes < 0 ? '-' : '+', offset / 60,
                offset % 60);
  return text;
}

// The adequacy criterion of a run: its subsamples default to 1000, and to
// none when the run asks for no simulations (-n 0): then nothing
// simulated is claimed, and only the shares counted whole remain.
AdequacyCriterion criterionOf(const RunContext& run, const BatchOptions& b) {
  const int subsamples = b.adequacySubsamples.value_or(run.options.simulationCount > 0 ? 1000 : 0);
  return AdequacyCriterion{b.adequacyWithin, b.adequacyShare, subsamples, intervalFilters(b)};
}

// How many trees are enough in one span analysed, on the span's frame.
SpanAdequacy adequacyOf(const RunContext& run, const BatchOptions& b, int first, int last) {
  const RunOptions& o = run.options;
  return spanAdequacy(*run.data, first, last, o.injuryMode, o.selectionMode, b.frame,
                      criterionOf(run, b), static_cast<std::uint32_t>(o.randomSeed));
}

TidyRunFacts factsOf(const RunOptions& o) {
  return TidyRunFacts{std::string(1, letterOf(o.selectionMode)),
                      o.injuryMode == InjuryMode::kAllInjuries, o.randomSeed};
}

// The results of a run as they come, span by span: when a span's last
// sample size is in, its adequacy is worked out and, with --csv, its rows
// of the tidy and adequacy tables are written at once, so that a run of
// thousands of segments never holds more than one span's results. What
// later outputs read is kept: each span's adequacy (its rows per size only
// for the chart, which draws them) and, for the chart, the result rows.
class TidyStream {
 public:
  TidyStream(const RunContext& run, const BatchOptions& b, const OutputOpener& open)
      : run_(run), b_(b), open_(open), site_(siteOf(run.inputName)), facts_(factsOf(run.options)) {}

  // A result in run order: a new span begins where the span changes or
  // the sample size grows again.
  void add(const SampleSizeResult& result) {
    if (open_span_ && (result.firstYear != first_ || result.lastYear != last_ ||
                       result.sampleSize >= lastSize_))
      closeSpan();
    if (!open_span_) {
      open_span_ = true;
      first_ = result.firstYear;
      last_ = result.lastYear;
    }
    lastSize_ = result.sampleSize;
    results_.push_back(result);
    if (b_.plot) rows.insert(rows.end(), result.rows.begin(), result.rows.end());
  }

  // Closes the last span and the tables.
  void finish() {
    if (open_span_) closeSpan();
    if (!b_.csv) return;
    startTables();
    closeFile(csv_);
    closeFile(frames_);
  }

  std::vector<SpanAdequacy> adequacy;  // per span, in run order
  std::vector<ResultRow> rows;         // with --plot: every result row

 private:
  void closeSpan() {
    open_span_ = false;
    SpanAdequacy span = adequacyOf(run_, b_, first_, last_);
    if (b_.csv) {
      startTables();
      std::string block;
      for (const SampleSizeResult& result : results_) block += tidyCsvRows(site_, result, facts_, &span);
      csv_.text->write(block);
      frames_.text->write(adequacyRows(site_, span));
    }
    results_.clear();
    if (!b_.plot) dropSizes(span);
    adequacy.push_back(std::move(span));
  }

  // The tables are started with their headers when the first span closes
  // (or at the end of a run without spans), after the report and the
  // spreadsheet files, in the order of the names planned.
  void startTables() {
    if (csv_.text) return;
    csv_ = open_(tidyName(run_, ".csv"), 0);
    csv_.text->write(tidyCsvHeader());
    frames_ = open_(tidyName(run_, "-adequacy.csv"), 0);
    frames_.text->write(adequacyHeader());
  }

  static void closeFile(OutputFile& file) {
    std::string error;
    if (!file.text->close(error)) throw ProgramStop{1, " >> cannot write " + file.name + ": " + error};
  }

  const RunContext& run_;
  const BatchOptions& b_;
  const OutputOpener& open_;
  std::string site_;
  TidyRunFacts facts_;
  bool open_span_ = false;
  int first_ = 0;
  int last_ = 0;
  int lastSize_ = 0;
  std::vector<SampleSizeResult> results_;  // of the open span
  OutputFile csv_;
  OutputFile frames_;
};

// The outputs written after the analysis: the per-year table, the chart
// and, last, the metadata, which names the sum of every other file.
void writeTidyOutputs(const RunContext& run, const BatchOptions& b, const std::string& bytes,
                      const std::vector<SpanAdequacy>& adequacy,
                      const std::vector<ResultRow>& rows, const OutputOpener& open,
                      const std::vector<std::string>& planned, const OutputSums& sums) {
  if (!b.csv && !b.plot) return;
  const std::string site = siteOf(run.inputName);
  if (b.csv && b.intervals) {
    const RunOptions& o = run.options;
    writeWhole(open(tidyName(run, "-years.csv"), 0),
               yearsTable(site, siteYears(*run.data, o.processFirstYear, o.processLastYear,
                                          o.injuryMode, compositeFilters(b)),
                          compositeFilters(b)));
  }
  if (b.plot) {
    // The run's title (as the report shows it) and the input's name
    // without its folder.
    ChartInfo info{std::string(fmt::trimRight(run.options.runTitle)),
                   lastPathPart(run.inputName), optionsLine(run), criterionOf(run, b),
                   b.extrapolate};
    info.style = b.plotStyle;
    info.pngDpi = b.plotDpi.value_or(kChartDefaultDpi);
    std::vector<ChartSpan> spans = plotSpans(rows);
    // A span without rows has no panel: each panel takes the next adequacy
    // of its span.
    std::size_t next = 0;
    for (ChartSpan& span : spans) {
      while (next < adequacy.size() && (adequacy[next].firstYear != span.firstYear ||
                                        adequacy[next].lastYear != span.lastYear))
        ++next;
      if (next < adequacy.size()) span.adequacy = adequacy[next++];
    }
    for (ChartFormat format : chartFormats(b)) {
      const ChartOutput chart = renderChart(info, spans, format);
      if (!chart.error.empty()) throw ProgramStop{1, " >> cannot draw the chart: " + chart.error};
      writeBytes(open(tidyName(run, chartExtension(format)), 0), chart.bytes);
    }
  }
  // The metadata last: it names the sum of every other file written.
  if (b.csv) {
    const RunOptions& o = run.options;
    RunMetadata meta;
    meta.programVersion = kProgramVersion;
    meta.commandLine = b.arguments;
    meta.inputFile = run.inputName;
    meta.site = site;
    meta.inputSha256 = sha256Hex(bytes);
    meta.job = std::string(fmt::trimRight(run.console.identification.job));
    meta.title = std::string(fmt::trimRight(o.runTitle));
    meta.method = std::string(1, letterOf(o.selectionMode));
    meta.injuries = std::string(1, letterOf(o.injuryMode));
    meta.created = isoTime(run.console.sessionTime);
    meta.seed = o.randomSeed;
    meta.simulations = o.simulationCount;
    meta.firstYear = o.processFirstYear;
    meta.lastYear = o.processLastYear;
    meta.segmentLength = o.segmentLength;
    meta.segmentLag = o.segmentLag;
    for (const std::string& name : planned) {
      meta.files.push_back(joinPath(b.outputDirectory, name));
      const auto summed = sums.find(meta.files.back());
      meta.filesSha256.push_back(summed == sums.end() ? "" : summed->second->hex());
    }
    meta.columns = {{"tidy", &tidyCsvColumns()}, {"adequacy", &adequacyColumns()}};
    const std::vector<TidyColumn> yearColumns = yearsColumns(compositeFilters(b));
    if (b.intervals) {
      meta.columns.push_back({"years", &yearColumns});
      for (const CompositeFilter& filter : compositeFilters(b))
        meta.composites.push_back(compositeText(filter));
      meta.recordingRule = kRecordingRule;
    }
    const std::vector<TidyColumn> siteColumns = siteSummaryColumns(intervalFilters(b));
    if (b.summary) meta.columns.push_back({"sites", &siteColumns});
    meta.adequacy = criterionOf(run, b);
    meta.frame = frameRuleName(b.frame);
    meta.spans = adequacy;
    writeWhole(open(tidyName(run, ".json"), 0), runMetadataJson(meta));
  }
}

// Starts the session of one FILE and names it: the job identifier, or the
// whole file name with --full-names.
void nameFile(RunContext& run, const BatchOptions& b, const std::string& path) {
  prepareSession(run);
  const std::string job = b.job ? jobIdentifierFrom(*b.job) : jobFromFileName(path);
  if (!job.empty()) run.console.identification.job = fixedLength(job, 5);
  if (b.fullNames) run.fileBase = fileBaseFromFileName(path);
}

// Reads one FILE and settles its options: what the run starts from, and
// the planning of the outputs where the data decide their names.
void prepareFile(RunContext& run, const BatchOptions& b, const std::string& path,
                 std::string& bytes) {
  nameFile(run, b, path);
  run.inputName = path;
  std::string error;
  if (!run.platform.files.readAll(path, bytes, error) ||
      !(error = textLimitReason(bytes)).empty()) {
    throw ProgramStop{1, " >> cannot read it: " + error};
  }
  InputText text = textOf(bytes);
  readFireHistory(run, text);
  applyOptions(run, b);
  settleOptions(run);
}

// The rows of one FILE in the multi-site summary.
std::string summaryRows(const RunContext& run, const BatchOptions& b,
                        const std::vector<SpanAdequacy>& adequacy) {
  std::string lines;
  for (const SpanAdequacy& span : adequacy) {
    SiteSummary s;
    s.site = siteOf(run.inputName);
    s.file = run.inputName;
    s.method = std::string(1, letterOf(run.options.selectionMode));
    s.injuriesCounted = run.options.injuryMode == InjuryMode::kAllInjuries;
    s.simulations = run.options.simulationCount;
    s.seed = run.options.randomSeed;
    s.criterion = criterionOf(run, b);
    s.span = span;
    lines += siteSummaryRow(s);
  }
  return lines;
}

// Analyses one FILE and puts its outputs in place; its rows of the
// multi-site summary are added to `summary` when it is given.
void runOneFile(const BatchOptions& b, const std::string& path, Platform& platform,
                const std::vector<std::string>& inputs, TextStream& out, std::string* summary) {
  RunContext run(platform);
  for (const std::string& input : inputs) run.outputs.protect(input);
  std::string bytes;
  prepareFile(run, b, path, bytes);
  const std::vector<std::string> planned = plannedNames(run, b);
  // With --csv the metadata names the SHA-256 of every file written.
  OutputSums sums;
  const OutputOpener open = batchOpener(run, b, b.csv ? &sums : nullptr);
  const bool adequacyAsked = b.csv || b.plot || b.summary;
  // The results are taken span by span by the outputs that read them.
  TidyStream stream(run, b, open);
  std::function<void(const SampleSizeResult&)> keep;
  if (adequacyAsked) keep = [&stream](const SampleSizeResult& result) { stream.add(result); };
  writeRun(run, open, keep);
  if (adequacyAsked) stream.finish();
  writeTidyOutputs(run, b, bytes, stream.adequacy, stream.rows, open, planned, sums);
  const std::vector<SpanAdequacy>& adequacy = stream.adequacy;
  for (const std::string& name : commitOutputs(run)) {
    // The progress line on the error stream ends before the names of the
    // files written: on one terminal they would run on after it.
    platform.terminal.finish();
    if (!b.quiet) out.write(name + "\n");
  }
  if (summary) *summary += summaryRows(run, b, adequacy);
}

// Writes the multi-site summary whole, or says why it could not.
bool writeSummary(const BatchOptions& b, FileSystem& files, const std::string& rows,
                  const BatchStreams& streams) {
  const std::string target = joinPath(b.outputDirectory, *b.summary);
  OutputTransaction outputs(files);
  for (const std::string& input : b.files) outputs.protect(input);
  const OutputTransaction::Staged staged = outputs.stage(target, b.force);
  std::string error;
  if (staged.text != nullptr) {
    staged.text->write(siteSummaryHeader(intervalFilters(b)) + rows);
    if (staged.text->close(error)) {
      const OutputTransaction::CommitResult result = outputs.commit();
      if (result.ok) {
        if (!b.quiet) streams.out.write(target + "\n");
        return streams.out.flush();
      }
      error = result.failure;
    }
  } else {
    error = staged.reason;
  }
  streams.err.write("rova: cannot write " + screenSafe(target) + ": " + screenSafe(error) + "\n");
  return false;
}

// A terminal that shows nothing: the planning reads every FILE once
// without a word, the run reads it again and says what it finds.
class SilentTerminal : public Terminal {
 public:
  void writeRecord(const std::string&) override {}
  std::optional<std::string> readLine() override { return std::nullopt; }
  void writeError(const std::string&) override {}
  void finish() override {}
};

// The output names of every FILE, known before any analysis starts.
struct PlannedFile {
  std::string path;
  std::vector<std::string> outputs;  // with the output folder
  std::string problem;               // a reason to skip the FILE, said when it runs
};

// Why the chart of a FILE's run cannot be drawn, known from its settled
// options before the analysis: "" when it can.
std::string chartProblem(const RunContext& run) {
  const std::size_t spans = passSpans(run.options).size();
  if (spans <= kChartMaxPanels) return "";
  return " >> a chart of " + std::to_string(spans) + " spans would not be readable (at most " +
         std::to_string(kChartMaxPanels) +
         " panels): give a longer --segment-lag or --segment-length, a shorter span "
         "(--first-year, --last-year), or leave out --plot; nothing was analysed";
}

PlannedFile planFile(const BatchOptions& b, const std::string& path, Platform& silent,
                     const std::vector<std::string>& inputs) {
  PlannedFile plan{path, {}, ""};
  RunContext run(silent);
  for (const std::string& input : inputs) run.outputs.protect(input);
  // The names of a FILE's outputs follow from its name and the options;
  // its data decide them only with --injuries (Fire Events data have no
  // injuries, and their files get the letter F). Only then is the FILE
  // read here: otherwise a run reads each FILE once.
  // A chart's spans follow from the settled options too (--plot).
  const bool readsData = b.injuries || b.plot;
  if (readsData) {
    std::string bytes;
    try {
      prepareFile(run, b, path, bytes);
    } catch (const ProgramStop&) {
      return plan;  // the run itself says what is wrong with the FILE
    }
  } else {
    if (!silent.files.status(path).leadsSomewhere()) return plan;  // the run says why
    nameFile(run, b, path);
    if (b.withReplacement) run.options.selectionMode = SelectionMethod::kWithReplacement;
    if (b.noSpreadsheets) run.options.spreadsheetFiles = SpreadsheetFiles::kSkip;
  }
  if (b.plot) plan.problem = chartProblem(run);
  for (const std::string& name : plannedNames(run, b)) {
    const std::string target = joinPath(b.outputDirectory, name);
    plan.outputs.push_back(target);
    std::string reason;
    const OutputTransaction::Refusal refusal = run.outputs.check(target, b.force, reason);
    if (refusal == OutputTransaction::Refusal::kNone || !plan.problem.empty()) continue;
    plan.problem = " >> " + target + (refusal == OutputTransaction::Refusal::kExists
                                          ? " exists; use --force to replace it"
                                          : ": " + reason);
  }
  return plan;
}

// The plan of the multi-site table among the plans of the FILEs.
const char* const kSummaryPlan = "--multi-site";

// Two FILEs that would write one file, or an output that would replace an
// input FILE, are usage errors: "" when there is none.
std::string planClash(const std::vector<PlannedFile>& plans, FileSystem& files,
                      const BatchOptions& b) {
  std::map<std::string, std::string> writer;  // place of an output -> its FILE
  for (const PlannedFile& plan : plans) {
    for (const std::string& output : plan.outputs) {
      const std::string place = files.resolvedFolder(output) + "/" + lastPathPart(output);
      for (const PlannedFile& other : plans) {
        const PathStatus in = files.status(other.path);
        const PathStatus outStatus = files.status(output);
        if (in.leadsSomewhere() && in.device == outStatus.device && in.inode == outStatus.inode) {
          return output + ", an output of " + plan.path + ", is the input FILE " + other.path;
        }
      }
      auto [it, fresh] = writer.emplace(place, plan.path);
      if (fresh) continue;
      // The multi-site table clashes by its name, which only it can change.
      const bool summary = it->second == kSummaryPlan || plan.path == kSummaryPlan;
      return it->second + " and " + plan.path + " would both write " + lastPathPart(output) +
             (summary       ? "; give --multi-site a name that no other output has"
              : b.fullNames ? "; analyse them in separate runs (--output-dir)"
                            : "; give --full-names to name each FILE's outputs after its whole "
                              "file name");
    }
  }
  return "";
}

}  // namespace

std::string fileBaseFromFileName(const std::string& path) {
  return identifierCharacters(siteOf(path));
}

std::string jobFromFileName(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  name = name.substr(0, name.find('.'));
  if (name.empty()) return "";
  return std::string(fmt::trimRight(jobIdentifierFrom(name)));
}

int runBatch(const BatchOptions& options, FileSystem& files, Clock& clock,
             CommandInterpreter& commands, const ConfigLocations& locations,
             const BatchStreams& streams) {
  const std::string inFolder = joinPath(options.outputDirectory, "x");
  if (files.resolvedFolder(inFolder).empty() || !files.folderWritable(inFolder)) {
    streams.err.write("rova: the output folder " + screenSafe(options.outputDirectory) +
                      (files.resolvedFolder(inFolder).empty() ? " does not exist\n" : " cannot be written\n"));
    return 2;
  }
  // A chart that cannot be drawn is known before any analysis runs.
  std::string chartProblem;
  if (options.plot && !chartDrawingAvailable(chartProblem)) {
    streams.err.write("rova: cannot draw the chart: " + screenSafe(chartProblem) + "\n");
    return 1;
  }
  SilentTerminal silentTerminal;
  Platform silent{silentTerminal, files, clock, commands, locations, false};
  std::vector<PlannedFile> plans;
  for (const std::string& path : options.files)
    plans.push_back(planFile(options, path, silent, options.files));
  if (options.summary) {
    // The summary is one more output: it may clash with the others, and an
    // existing one is replaced only with --force.
    const std::string target = joinPath(options.outputDirectory, *options.summary);
    plans.push_back(PlannedFile{kSummaryPlan, {target}, ""});
    OutputTransaction outputs(files);
    for (const std::string& input : options.files) outputs.protect(input);
    std::string reason;
    const OutputTransaction::Refusal refusal = outputs.check(target, options.force, reason);
    if (refusal != OutputTransaction::Refusal::kNone) {
      streams.err.write("rova: " + screenSafe(target) +
                        (refusal == OutputTransaction::Refusal::kExists
                             ? " exists; use --force to replace it\n"
                             : ": " + screenSafe(reason) + "\n"));
      return 2;
    }
  }
  const std::string clash = planClash(plans, files, options);
  if (!clash.empty()) {
    streams.err.write("rova: " + screenSafe(clash) + "\n");
    return 2;
  }
  if (options.summary) plans.pop_back();
  std::string summary;

  int status = 0;
  for (const PlannedFile& plan : plans) {
    BatchTerminal terminal(streams, plan.path, options.quiet, clock);
    Platform platform{terminal, files, clock, commands, locations, false};
    try {
      if (!plan.problem.empty()) throw ProgramStop{1, plan.problem};
      runOneFile(options, plan.path, platform, options.files, streams.out,
                 options.summary ? &summary : nullptr);
    } catch (const ProgramStop& stop) {
      status = 1;
      terminal.writeError(stop.message.empty() ? " >> the run stopped" : stop.message);
    } catch (const OutputWriteFailure& failure) {
      // Stopped at the first failed write; the FILE's unfinished outputs
      // are already removed.
      status = 1;
      terminal.writeError(" >> " + screenSafe(failure.what()) + "; no file of it was written or replaced");
    }
    terminal.finish();
    if (!streams.out.flush()) {
      // The names of the files written could not be shown (a closed pipe):
      // the files are in place, the other FILEs still run.
      terminal.writeError(" >> the names of the files written could not be written to standard output");
      status = 1;
    }
  }
  if (options.summary && !writeSummary(options, files, summary, streams)) status = 1;
  return status;
}

}  // namespace rova

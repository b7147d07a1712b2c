#include "run/output_sinks.h"

#include <cstdio>

#include "analysis/fire_intervals.h"
#include "export/adequacy_table.h"
#include "export/chart_render.h"
#include "export/sha256.h"
#include "export/site_summary.h"
#include "export/tidy_table.h"
#include "export/years_table.h"
#include "format/fields.h"
#include "format/text.h"
#include "records/option_letters.h"
#include "records/version.h"
#include "report/run_report.h"
#include "report/sample_depth_report.h"
#include "report/simulation_report.h"

namespace rova {

std::string joinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory == "." || name.rfind('/', 0) == 0) return name;
  return directory.back() == '/' ? directory + name : directory + "/" + name;
}

std::string tidyName(const RunContext& run, const std::string& extension) {
  return run.outputBase() + methodLetters(run.options) + extension;
}

namespace {

// The input file's name as the user gave it (the dialogue keeps it
// blank-padded to its field).
std::string inputFile(const RunContext& run) { return std::string(fmt::trimRight(run.inputName)); }

std::vector<ChartFormat> chartFormats(const OutputRequest& request) {
  return request.plotFormats.empty() ? std::vector<ChartFormat>{ChartFormat::kSvg}
                                     : request.plotFormats;
}

}  // namespace

std::vector<std::string> outputNames(const RunContext& run, const OutputRequest& request) {
  std::vector<std::string> names{reportName(run)};
  if (run.options.spreadsheetFiles == SpreadsheetFiles::kWrite) {
    names.push_back(spreadsheetName(run, 1));
    names.push_back(spreadsheetName(run, 2));
  }
  if (request.csv) {
    names.push_back(tidyName(run, ".csv"));
    names.push_back(tidyName(run, "-adequacy.csv"));
    if (request.intervals) names.push_back(tidyName(run, "-years.csv"));
    names.push_back(tidyName(run, ".json"));
  }
  if (request.plot)
    for (ChartFormat format : chartFormats(request))
      names.push_back(tidyName(run, chartExtension(format)));
  return names;
}

AdequacyCriterion adequacyCriterion(const RunOptions& options, const OutputRequest& request) {
  const int subsamples =
      request.adequacySubsamples.value_or(options.simulationCount > 0 ? 1000 : 0);
  return AdequacyCriterion{request.adequacyWithin, request.adequacyShare, subsamples,
                           intervalFilters(request)};
}

std::string chartSpanProblem(const RunOptions& options) {
  const std::size_t spans = passSpans(options).size();
  if (spans <= kChartMaxPanels) return "";
  return " >> a chart of " + std::to_string(spans) + " spans would not be readable (at most " +
         std::to_string(kChartMaxPanels) +
         " panels): give a longer --segment-lag or --segment-length, a shorter span "
         "(--first-year, --last-year), or leave out --plot; nothing was analysed";
}

std::string writeSiteTable(FileSystem& files, const std::string& target, const std::string& rows,
                           bool force, const std::vector<std::string>& inputs,
                           const OutputRequest& request) {
  OutputTransaction outputs(files);
  for (const std::string& input : inputs) outputs.protect(input);
  const OutputTransaction::Staged staged = outputs.stage(target, force);
  // Every failure has a reason to say, even one the system left unnamed.
  auto reason = [](const std::string& why) { return why.empty() ? std::string("it failed") : why; };
  if (staged.text == nullptr) return reason(staged.reason);
  staged.text->write(siteSummaryHeader(intervalFilters(request)) + rows);
  std::string error;
  if (!staged.text->close(error)) return reason(error);
  const OutputTransaction::CommitResult result = outputs.commit();
  return result.ok ? "" : reason(result.failure);
}

void closeOutput(OutputFile& file) {
  std::string error;
  if (!file.text->close(error)) throw ProgramStop{1, " >> cannot write " + file.name + ": " + error};
}

// An output that passes its bytes on and keeps their SHA-256.
struct SummedOutputs::Entry : OutputText {
  explicit Entry(OutputText* inner) : inner(inner) {}
  void writeLine(std::string_view line) override {
    inner->writeLine(line);
    sum.update(line);
    sum.update("\n");
  }
  void write(std::string_view bytes) override {
    inner->write(bytes);
    sum.update(bytes);
  }
  bool close(std::string& error) override { return inner->close(error); }

  OutputText* inner;
  Sha256 sum;
  std::string asked;
  std::string name;
};

OutputOpener SummedOutputs::wrap(OutputOpener inner) {
  return [this, inner = std::move(inner)](const std::string& name, int unit) {
    OutputFile file = inner(name, unit);
    auto entry = std::make_shared<Entry>(file.text);
    entry->asked = name;
    entry->name = file.name;
    entries_.push_back(entry);
    file.text = entry.get();
    return file;
  };
}

std::optional<SummedOutputs::Summed> SummedOutputs::find(const std::string& asked) const {
  for (const auto& entry : entries_)
    if (entry->asked == asked) return Summed{entry->name, entry->sum.hex()};
  return std::nullopt;
}

namespace {

// The 132-column report: the sample-depth tables of the whole span and of
// each span, each sample size's table, and the closing.
class ReportSink : public OutputSink {
 public:
  explicit ReportSink(OutputText& report)
      : report_(report),
        toReport_([this](const std::string& line) { report_.writeLine(fmt::trimRight(line)); }) {}
  void runStarted(const SampleDepthTable& whole) override {
    writeSampleDepthTables(whole, toReport_);
  }
  void spanOpened(const SpanOpened& span) override {
    writeSampleDepthTables(span.depth, toReport_);
  }
  // A table goes to the report as one block of lines, made in a text kept
  // from one sample size to the next: a big run writes hundreds of
  // thousands of them.
  void sampleSize(const SampleSizeResult& result) override {
    table_.clear();
    appendSimulationTable(result, table_);
    report_.write(table_);
  }
  void runFinished(const std::vector<SpanAdequacy>&) override { writeReportClosing(toReport_); }

 private:
  OutputText& report_;
  LineSink toReport_;
  std::string table_;
};

// The spreadsheet rows: each threshold's rows to its file.
class SpreadsheetSink : public OutputSink {
 public:
  explicit SpreadsheetSink(std::vector<OutputFile>& files) : files_(files) {}
  void sampleSize(const SampleSizeResult& result) override {
    for (const ResultRow& row : result.rows) {
      if (row.threshold >= 1 && row.threshold <= static_cast<int>(files_.size())) {
        row_.clear();
        appendSpreadsheetRow(row, row_);
        files_[row.threshold - 1].text->write(row_);
      }
    }
  }

 private:
  std::vector<OutputFile>& files_;
  std::string row_;
};

TidyRunFacts factsOf(const RunOptions& o) {
  return TidyRunFacts{std::string(1, letterOf(o.selectionMode)),
                      o.injuryMode == InjuryMode::kAllInjuries, o.randomSeed};
}

// The tidy CSV: a span's rows when it closes, beside its exact curves, so
// that a run of thousands of segments never holds more than one span.
class TidySink : public OutputSink {
 public:
  TidySink(const RunContext& run, const OutputOpener& open)
      : site_(siteOf(inputFile(run))), facts_(factsOf(run.settledOptions())),
        file_(open(tidyName(run, ".csv"), 0)) {
    file_.text->write(tidyCsvHeader());
  }
  void spanClosed(const SpanClosed& span) override {
    block_.clear();
    for (const SampleSizeResult& result : span.results)
      block_ += tidyCsvRows(site_, result, facts_, span.adequacy);
    file_.text->write(block_);
  }
  void runFinished(const std::vector<SpanAdequacy>&) override { closeOutput(file_); }

 private:
  std::string site_;
  TidyRunFacts facts_;
  OutputFile file_;
  std::string block_;
};

// The adequacy table: a span's rows when it closes.
class AdequacySink : public OutputSink {
 public:
  AdequacySink(const RunContext& run, const OutputOpener& open)
      : site_(siteOf(inputFile(run))), file_(open(tidyName(run, "-adequacy.csv"), 0)) {
    file_.text->write(adequacyHeader());
  }
  void spanClosed(const SpanClosed& span) override {
    file_.text->write(adequacyRows(site_, *span.adequacy));
  }
  void runFinished(const std::vector<SpanAdequacy>&) override { closeOutput(file_); }

 private:
  std::string site_;
  OutputFile file_;
};

void writeWhole(OutputFile& file, const std::string& text) {
  std::string body = text;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  file.text->writeLine(body);
  closeOutput(file);
}

// The per-year table of the composites, of the run's whole span.
class YearsSink : public OutputSink {
 public:
  YearsSink(const RunContext& run, const OutputRequest& request, const OutputOpener& open)
      : run_(run), filters_(compositeFilters(request)),
        file_(open(tidyName(run, "-years.csv"), 0)) {}
  void runFinished(const std::vector<SpanAdequacy>&) override {
    const RunOptions& o = run_.settledOptions();
    writeWhole(file_, yearsTable(siteOf(inputFile(run_)),
                                 siteYears(*run_.data, o.processFirstYear, o.processLastYear,
                                           o.injuryMode, filters_),
                                 filters_));
  }

 private:
  const RunContext& run_;
  std::vector<CompositeFilter> filters_;
  OutputFile file_;
};

// One line of the run's options, as the chart names them.
std::string optionsLine(const RunContext& run) {
  const RunOptions& o = run.settledOptions();
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

// The chart: a panel per span that has results, with its adequacy.
class ChartSink : public OutputSink {
 public:
  ChartSink(const RunContext& run, const OutputRequest& request, const OutputOpener& open)
      : run_(run), request_(request) {
    for (ChartFormat format : chartFormats(request))
      files_.push_back({format, open(tidyName(run, chartExtension(format)), 0)});
  }
  void sampleSize(const SampleSizeResult& result) override {
    if (spans_.empty() || spans_.back().firstYear != result.firstYear ||
        spans_.back().lastYear != result.lastYear ||
        result.sampleSize > spans_.back().rows.back().sampleSize)
      spans_.push_back(ChartSpan{result.firstYear, result.lastYear, {}});
    spans_.back().rows.insert(spans_.back().rows.end(), result.rows.begin(), result.rows.end());
  }
  void spanClosed(const SpanClosed& span) override {
    if (!spans_.empty() && span.adequacy && spans_.back().firstYear == span.firstYear &&
        spans_.back().lastYear == span.lastYear)
      spans_.back().adequacy = *span.adequacy;
  }
  void runFinished(const std::vector<SpanAdequacy>&) override {
    // The run's title (as the report shows it) and the input's name
    // without its folder.
    ChartInfo info{std::string(fmt::trimRight(run_.settledOptions().runTitle)),
                   lastPathPart(inputFile(run_)), optionsLine(run_),
                   adequacyCriterion(run_.settledOptions(), request_), request_.extrapolate};
    info.style = request_.plotStyle;
    info.pngDpi = request_.plotDpi.value_or(kChartDefaultDpi);
    for (auto& [format, file] : files_) {
      const ChartOutput chart = renderChart(info, spans_, format);
      if (!chart.error.empty()) throw ProgramStop{1, " >> cannot draw the chart: " + chart.error};
      file.text->write(chart.bytes);
      closeOutput(file);
    }
  }

 private:
  const RunContext& run_;
  const OutputRequest& request_;
  std::vector<std::pair<ChartFormat, OutputFile>> files_;
  std::vector<ChartSpan> spans_;
};

// ISO 8601 local time with its offset from UTC, e.g. 2026-12-08T10:30:00+01:00.
std::string isoTime(const LocalTime& t) {
  const int offset = t.utcOffsetMinutes < 0 ? -t.utcOffsetMinutes : t.utcOffsetMinutes;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year, t.month,
                t.day, t.hour, t.minute, t.second, t.utcOffsetMinutes < 0 ? '-' : '+',
                offset / 60, offset % 60);
  return text;
}

// The metadata, written last: it names the sum of every other file.
class MetadataSink : public OutputSink {
 public:
  MetadataSink(const RunContext& run, const OutputRequest& request, const OutputOpener& open,
               const SummedOutputs* sums)
      : run_(run), request_(request), sums_(sums), file_(open(tidyName(run, ".json"), 0)) {}
  void runFinished(const std::vector<SpanAdequacy>& adequacy) override {
    const RunOptions& o = run_.settledOptions();
    RunMetadata meta;
    meta.programVersion = kProgramVersion;
    meta.commandLine = request_.commandLine;
    meta.inputFile = inputFile(run_);
    meta.site = siteOf(inputFile(run_));
    meta.inputSha256 = run_.inputSha256;
    meta.job = std::string(fmt::trimRight(run_.console.identification.job));
    meta.title = std::string(fmt::trimRight(o.runTitle));
    meta.method = std::string(1, letterOf(o.selectionMode));
    meta.injuries = std::string(1, letterOf(o.injuryMode));
    meta.created = isoTime(run_.console.sessionTime);
    meta.seed = o.randomSeed;
    meta.simulations = o.simulationCount;
    meta.firstYear = o.processFirstYear;
    meta.lastYear = o.processLastYear;
    meta.segmentLength = o.segmentLength;
    meta.segmentLag = o.segmentLag;
    const std::string self = tidyName(run_, ".json");
    for (const std::string& name : outputNames(run_, request_)) {
      const auto summed = sums_ ? sums_->find(name) : std::nullopt;
      meta.files.push_back(summed ? summed->name : joinPath(request_.outputDirectory, name));
      // The metadata cannot hold its own sum.
      meta.filesSha256.push_back(summed && name != self ? summed->sha256 : "");
    }
    meta.columns = {{"tidy", &tidyCsvColumns()}, {"adequacy", &adequacyColumns()}};
    const std::vector<CompositeFilter> filters = compositeFilters(request_);
    const std::vector<TidyColumn> yearColumns = yearsColumns(filters);
    if (request_.intervals) {
      meta.columns.push_back({"years", &yearColumns});
      for (const CompositeFilter& filter : filters) meta.composites.push_back(compositeText(filter));
      meta.recordingRule = kRecordingRule;
    }
    const std::vector<TidyColumn> siteColumns = siteSummaryColumns(intervalFilters(request_));
    if (request_.siteRows) meta.columns.push_back({"sites", &siteColumns});
    meta.adequacy = adequacyCriterion(o, request_);
    meta.frame = frameRuleName(request_.frame);
    meta.spans = adequacy;
    writeWhole(file_, runMetadataJson(meta));
  }

 private:
  const RunContext& run_;
  const OutputRequest& request_;
  const SummedOutputs* sums_;
  OutputFile file_;
};

// The run's rows of the multi-site table, one per span.
class SiteRowsSink : public OutputSink {
 public:
  SiteRowsSink(const RunContext& run, const OutputRequest& request, std::string& rows)
      : run_(run), request_(request), rows_(rows) {}
  void spanClosed(const SpanClosed& span) override {
    const RunOptions& o = run_.settledOptions();
    SiteSummary s;
    s.site = siteOf(inputFile(run_));
    s.file = inputFile(run_);
    s.method = std::string(1, letterOf(o.selectionMode));
    s.injuriesCounted = o.injuryMode == InjuryMode::kAllInjuries;
    s.simulations = o.simulationCount;
    s.seed = o.randomSeed;
    s.criterion = adequacyCriterion(o, request_);
    s.span = *span.adequacy;
    rows_ += siteSummaryRow(s);
  }

 private:
  const RunContext& run_;
  const OutputRequest& request_;
  std::string& rows_;
};

}  // namespace

// The progress is one screen line, rewritten ('+'): a size starts at
// simulation 1, and a count of simulations done writes over the first 16
// columns, leaving the size shown.
void OutputRoad::sampleSizeStarted(int sampleSize) {
  run_.console.write(fmt::Line("+Simulation     1").i(sampleSize, 5).a(" trees"),
                     RecordKind::kProgress);
}

void OutputRoad::simulationsDone(int count) {
  run_.console.write(fmt::Line("+Simulation").i(count, 6), RecordKind::kProgress);
}

void OutputRoad::runStarted() {
  const RunOptions& o = run_.settledOptions();
  const SampleDepthTable whole = depthOf(o.processFirstYear, o.processLastYear);
  for (auto& sink : sinks_) sink->runStarted(whole);
}

void OutputRoad::spanStarted(int first, int last) {
  closeSpan();
  run_.console.write(fmt::Line(" Time span").i(first, 6).i(last, 6).i(run_.data->seriesCount, 6)
                         .a(" trees,").i(run_.settledOptions().simulationCount, 6).a(" simulations"),
                     RecordKind::kSpan);
  run_.console.write(" ");
  const SampleDepthTable depth = depthOf(first, last);
  for (auto& sink : sinks_) sink->spanOpened(SpanOpened{first, last, depth});
  open_ = true;
  first_ = first;
  last_ = last;
}

void OutputRoad::sampleSizeFinished(const SampleSizeResult& result) {
  for (auto& sink : sinks_) sink->sampleSize(result);
  hadResults_ = true;
  // Only the tidy table reads a span's results again when it closes.
  if (request_.csv) results_.push_back(result);
}

void OutputRoad::runFinished() {
  closeSpan();
  for (auto& sink : sinks_) sink->runFinished(adequacy_);
}

// The sample-depth table of a span; its fire-tree counts are left for its
// simulations.
SampleDepthTable OutputRoad::depthOf(int first, int last) {
  return analyseSampleDepth(*run_.data, first, last, *run_.sampleDepth, *run_.fireTreeCount,
                            run_.settledOptions().injuryMode);
}

void OutputRoad::closeSpan() {
  const bool had = open_ && hadResults_;
  open_ = hadResults_ = false;
  if (!had) return;
  std::optional<SpanAdequacy> adequacy;
  if (adequacyAsked(request_)) {
    const RunOptions& o = run_.settledOptions();
    adequacy = spanAdequacy(*run_.data, first_, last_, o.injuryMode, o.selectionMode,
                            request_.frame, adequacyCriterion(o, request_),
                            static_cast<std::uint32_t>(o.randomSeed));
  }
  for (auto& sink : sinks_)
    sink->spanClosed(SpanClosed{first_, last_, results_, adequacy ? &*adequacy : nullptr});
  results_.clear();
  if (!adequacy) return;
  // What the run's end reads of a span: its rows per size only for the
  // chart, which drew them already; the metadata reads the rest.
  dropSizes(*adequacy);
  adequacy_.push_back(std::move(*adequacy));
}

std::vector<std::unique_ptr<OutputSink>> makeOutputSinks(RunContext& run,
                                                         const OutputRequest& request,
                                                         const OutputOpener& open,
                                                         RunFiles& files,
                                                         const SummedOutputs* sums,
                                                         std::string* siteRows) {
  std::vector<std::unique_ptr<OutputSink>> sinks;
  sinks.push_back(std::make_unique<ReportSink>(*files.report.text));
  if (!files.spreadsheets.empty()) sinks.push_back(std::make_unique<SpreadsheetSink>(files.spreadsheets));
  if (request.csv) {
    sinks.push_back(std::make_unique<TidySink>(run, open));
    sinks.push_back(std::make_unique<AdequacySink>(run, open));
    if (request.intervals) sinks.push_back(std::make_unique<YearsSink>(run, request, open));
  }
  if (request.plot) sinks.push_back(std::make_unique<ChartSink>(run, request, open));
  if (request.csv) sinks.push_back(std::make_unique<MetadataSink>(run, request, open, sums));
  if (request.siteRows && siteRows) sinks.push_back(std::make_unique<SiteRowsSink>(run, request, *siteRows));
  return sinks;
}

}  // namespace rova

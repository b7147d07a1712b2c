// The one road of every output. The analysis announces values (the whole
// span's sample depth, each span as it opens, each sample size's results,
// each span as it closes with its adequacy, the end of the run) to a list
// of output sinks; the report, the spreadsheet rows, the tidy CSV, the
// adequacy table, the per-year table, the chart, the metadata and the
// multi-site rows are each one sink, views of the same values. Which sinks
// a run has is said by its OutputRequest, which the command line and the
// dialogue both fill.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/sample_adequacy.h"
#include "analysis/sample_depth.h"
#include "analysis/simulation.h"
#include "analysis/simulation_result.h"
#include "records/output_request.h"
#include "run/run_context.h"
#include "run/run_steps.h"

namespace rova {

// A span whose simulations begin, with its sample-depth table.
struct SpanOpened {
  int firstYear = 0;
  int lastYear = 0;
  const SampleDepthTable& depth;
};

// A span whose simulations are all in: its results (kept only when a sink
// reads them, see OutputSinks) and, when the run asks for it, its adequacy.
struct SpanClosed {
  int firstYear = 0;
  int lastYear = 0;
  const std::vector<SampleSizeResult>& results;
  const SpanAdequacy* adequacy = nullptr;
};

class OutputSink {
 public:
  virtual ~OutputSink() = default;
  // The sample depth of the whole span, before any span's simulations.
  virtual void runStarted(const SampleDepthTable& whole) { (void)whole; }
  virtual void spanOpened(const SpanOpened& span) { (void)span; }
  // One sample size's results, in the order of the report.
  virtual void sampleSize(const SampleSizeResult& result) { (void)result; }
  virtual void spanClosed(const SpanClosed& span) { (void)span; }
  // Every span is closed; `adequacy` holds each span's, in run order (its
  // rows per size only when the chart draws them).
  virtual void runFinished(const std::vector<SpanAdequacy>& adequacy) { (void)adequacy; }
};

// The names of a run's outputs, without the output folder, in the order
// the metadata lists them: report, spreadsheet files, tidy CSV, adequacy
// table, per-year table, metadata, chart formats.
std::vector<std::string> outputNames(const RunContext& run, const OutputRequest& request);

// The name of a file beside the spreadsheet files: job, program code,
// method and injury letters and the extension.
std::string tidyName(const RunContext& run, const std::string& extension);

// A name in the output folder; an absolute name stands as it is.
std::string joinPath(const std::string& directory, const std::string& name);

// The adequacy criterion of a run: its subsamples default to 1000, and to
// none when the run asks for no simulations (-n 0): then nothing
// simulated is claimed, and only the shares counted whole remain.
AdequacyCriterion adequacyCriterion(const RunOptions& options, const OutputRequest& request);

// Why the chart of a run cannot be drawn, known from its settled options
// before the analysis: "" when it can.
std::string chartSpanProblem(const RunOptions& options);

// Every output file a run opens, with the SHA-256 of the bytes written to
// it, so that the metadata can name the sum of each.
class SummedOutputs {
 public:
  // An opener that opens through `inner` and sums what is written.
  OutputOpener wrap(OutputOpener inner);
  // The file opened for `asked` (a name as outputNames gives it) and its
  // sum so far; none when no file was opened for it.
  struct Summed {
    std::string name;  // as opened: with the folder, or as the user renamed it
    std::string sha256;
  };
  std::optional<Summed> find(const std::string& asked) const;

  struct Entry;  // one opened file

 private:
  std::vector<std::shared_ptr<Entry>> entries_;
};

// The sinks of a run in the order they write: the report and the
// spreadsheet rows into `files`, then those the request asks for, opened
// here through `open` (a per-year table, a chart and the metadata are
// written when the run finishes, the metadata last). With siteRows, the
// multi-site rows of the run are added to `siteRows`.
std::vector<std::unique_ptr<OutputSink>> makeOutputSinks(RunContext& run,
                                                         const OutputRequest& request,
                                                         const OutputOpener& open,
                                                         RunFiles& files,
                                                         const SummedOutputs* sums,
                                                         std::string* siteRows);

// The road of every output: the simulations' values are announced to the
// run's sinks, and their progress goes to the screen. A span closes when
// the next opens or the run ends; a span that had results is then
// announced closed, with its adequacy when the request asks for it.
class OutputRoad : public SimulationObserver {
 public:
  OutputRoad(RunContext& run, const OutputRequest& request,
             std::vector<std::unique_ptr<OutputSink>>& sinks)
      : run_(run), request_(request), sinks_(sinks) {}

  // The whole span's sample depth, before the simulations.
  void runStarted();
  void spanStarted(int first, int last) override;
  void sampleSizeStarted(int sampleSize) override;
  void simulationsDone(int count) override;
  void sampleSizeFinished(const SampleSizeResult& result) override;
  // Closes the last span and tells every sink the run is over.
  void runFinished();

 private:
  SampleDepthTable depthOf(int first, int last);
  void closeSpan();

  RunContext& run_;
  const OutputRequest& request_;
  std::vector<std::unique_ptr<OutputSink>>& sinks_;
  bool open_ = false;
  bool hadResults_ = false;
  int first_ = 0;
  int last_ = 0;
  std::vector<SampleSizeResult> results_;  // of the open span, for the tidy table
  std::vector<SpanAdequacy> adequacy_;     // per closed span, in run order
};

// Writes the multi-site table of the rows that runs added (makeOutputSinks'
// siteRows), with the header of the request's columns, as `target`, in a
// transaction of its own that never writes onto `inputs`; an existing file
// is replaced only with `force`. Returns "" when it is in place, else why
// it is not.
std::string writeSiteTable(FileSystem& files, const std::string& target, const std::string& rows,
                           bool force, const std::vector<std::string>& inputs,
                           const OutputRequest& request);

// Closes an output file, or stops the run saying why it could not be
// written.
void closeOutput(OutputFile& file);

}  // namespace rova

#include "cli/batch_run.h"

#include <map>
#include <memory>

#include "console/job_identification.h"
#include "export/chart_render.h"
#include "export/tidy_table.h"
#include "export/sha256.h"
#include "format/fields.h"
#include "format/text.h"
#include "format/utf8.h"
#include "run/option_menu.h"
#include "run/output_sinks.h"
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

  void writeRecord(const std::string& record, RecordKind kind) override {
    if (record.empty()) return;
    if (kind == RecordKind::kProgress) {
      if (quiet_ || !streams_.err.isTerminal()) return;
      const long long now = clock_.milliseconds();
      if (progressOpen_ && now - lastProgress_ < kProgressSpacing) return;
      lastProgress_ = now;
      streams_.err.write("\r" + std::string(fmt::trimRight(record.substr(1))));
      progressOpen_ = true;
      return;
    }
    const std::string text(fmt::trimRight(record.substr(1)));
    if (text.empty() || !shown(kind)) return;
    say(text);
  }
  std::optional<std::string> readLine() override { return std::nullopt; }
  void writeError(const std::string& message) override { say(message); }
  void finish() override { endProgress(); }

 private:
  // Notices always; what was read, each span and the time estimate unless
  // --quiet; never the dialogue's own lines.
  bool shown(RecordKind kind) const {
    switch (kind) {
      case RecordKind::kNotice:
        return true;
      case RecordKind::kReading:
      case RecordKind::kSpan:
      case RecordKind::kEstimate:
        return !quiet_;
      default:
        return false;
    }
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
    c.notice(" >> Title cut to its first " + std::to_string(kept) + " of " +
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
    if (!message.empty()) c.notice(message);
  }
}

// Starts the outputs of a batch run in the run's transaction, under the
// output folder; an existing file is replaced only with --force.
OutputOpener batchOpener(RunContext& run, const BatchOptions& b) {
  return [&run, &b](const std::string& name, int) {
    OutputFile file;
    file.name = joinPath(b.outputs.outputDirectory, name);
    const OutputTransaction::Staged staged = run.outputs.stage(file.name, b.force);
    if (staged.text == nullptr) {
      throw ProgramStop{1, " >> cannot write " + file.name + ": " + staged.reason +
                               (staged.refusal == OutputTransaction::Refusal::kExists
                                    ? "; use --force to replace it"
                                    : "")};
    }
    file.text = staged.text;
    return file;
  };
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
  if (b.outputs.csv) run.inputSha256 = sha256Hex(bytes);
  applyOptions(run, b);
  settleOptions(run);
}

// Analyses one FILE and puts its outputs in place; its rows of the
// multi-site summary are added to `summary` when it is given, once its
// files are in place.
void runOneFile(const BatchOptions& b, const std::string& path, Platform& platform,
                const std::vector<std::string>& inputs, TextStream& out, std::string* summary) {
  RunContext run(platform);
  for (const std::string& input : inputs) run.outputs.protect(input);
  std::string bytes;
  prepareFile(run, b, path, bytes);
  std::string siteRows;
  writeRun(run, b.outputs, batchOpener(run, b), &siteRows);
  for (const std::string& name : commitOutputs(run)) {
    // The progress line on the error stream ends before the names of the
    // files written: on one terminal they would run on after it.
    platform.terminal.finish();
    if (!b.quiet) out.write(name + "\n");
  }
  if (summary) *summary += siteRows;
}

// Writes the multi-site summary whole, or says why it could not.
bool writeSummary(const BatchOptions& b, FileSystem& files, const std::string& rows,
                  const BatchStreams& streams) {
  const std::string target = joinPath(b.outputs.outputDirectory, *b.summary);
  const std::string error = writeSiteTable(files, target, rows, b.force, b.files, b.outputs);
  if (error.empty()) {
    if (!b.quiet) streams.out.write(target + "\n");
    return streams.out.flush();
  }
  streams.err.write("rova: cannot write " + screenSafe(target) + ": " + screenSafe(error) + "\n");
  return false;
}

// A terminal that shows nothing: the planning reads every FILE once
// without a word, the run reads it again and says what it finds.
class SilentTerminal : public Terminal {
 public:
  void writeRecord(const std::string&, RecordKind) override {}
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
  const bool readsData = b.injuries || b.outputs.plot;
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
  if (b.outputs.plot) plan.problem = chartSpanProblem(run.options);
  for (const std::string& name : outputNames(run, b.outputs)) {
    const std::string target = joinPath(b.outputs.outputDirectory, name);
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
  const std::string inFolder = joinPath(options.outputs.outputDirectory, "x");
  if (files.resolvedFolder(inFolder).empty() || !files.folderWritable(inFolder)) {
    streams.err.write("rova: the output folder " + screenSafe(options.outputs.outputDirectory) +
                      (files.resolvedFolder(inFolder).empty() ? " does not exist\n" : " cannot be written\n"));
    return 2;
  }
  // A chart that cannot be drawn is known before any analysis runs.
  std::string chartProblem;
  if (options.outputs.plot && !chartDrawingAvailable(chartProblem)) {
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
    const std::string target = joinPath(options.outputs.outputDirectory, *options.summary);
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

#include "driver/batch_run.h"

#include <unistd.h>

#include "console/job_identification.h"
#include "console/text.h"
#include "driver/option_menu.h"
#include "driver/plot_svg.h"
#include "driver/report.h"
#include "driver/run_steps.h"
#include "driver/sha256.h"
#include "driver/tidy_table.h"
#include "driver/utf8.h"
#include "format/fields.h"
#include "platform/interrupts.h"

namespace rova {
namespace {

// The screen of a batch run: nothing is asked; messages go to the error
// stream, each named by its input file, and progress only when that
// stream is a terminal.
class BatchTerminal : public Terminal {
 public:
  BatchTerminal(const BatchStreams& streams, std::string file, bool quiet)
      : streams_(streams), file_(std::move(file)), quiet_(quiet) {}

  void writeRecord(const std::string& record) override {
    if (record.empty()) return;
    const std::string text(fmt::trimRight(record.substr(1)));
    if (record[0] == '+') {
      if (!quiet_ && streams_.errIsTerminal && text.rfind("Simulation", 0) == 0) {
        std::fprintf(streams_.err, "\r%s", text.c_str());
        progressOpen_ = true;
      }
      return;
    }
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
    for (const char* lead : {"FIRE2:", "Fire events:", "Format is not FIRE2", "Time span"})
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
    std::fprintf(streams_.err, "rova: %s: %s\n", file_.c_str(), text.c_str());
  }
  void endProgress() {
    if (progressOpen_) std::fputc('\n', streams_.err);
    progressOpen_ = false;
  }

  const BatchStreams& streams_;
  std::string file_;
  bool quiet_;
  bool progressOpen_ = false;
};

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
  if (b.firstYear || b.lastYear) {
    if (b.firstYear) o.processFirstYear = *b.firstYear == 0 ? data.firstYear : *b.firstYear;
    if (b.lastYear) o.processLastYear = *b.lastYear == 0 ? data.lastYear : *b.lastYear;
    keepSpanInTable(run);
  }
  if (b.segmentLength || b.segmentLag) {
    o.segmentLength = b.segmentLength.value_or(0);
    if (o.segmentLength < 1) {
      if (o.segmentLength < 0) c.write(" >> A segment length below 1 means no segments");
      o.segmentLength = 0;
    }
    o.segmentLag = segmentLagFor(o.segmentLength, b.segmentLag.value_or(0));
    if (o.segmentLength > 0 && b.segmentLag.value_or(0) < 1) {
      c.write(" >> Lag between segments set to half the segment length: " +
              std::to_string(o.segmentLag));
    }
  }
  if (b.simulations || b.seed) {
    o.simulationCount = b.simulations.value_or(kDefaultSimulations);
    if (o.simulationCount > kMaxSimulations) {
      c.write(fmt::Line(" >> Maximum number of simulations").i(kMaxSimulations, 6));
      o.simulationCount = kMaxSimulations;
    }
    const int given = b.seed.value_or(o.randomSeed);
    o.randomSeed = oddSeed(given, run.defaultSeed);
    if (b.seed && o.randomSeed != given) {
      c.write(" >> Seed " + std::to_string(given) + " is " + (given == 0 ? "0" : "even") +
              "; the seed used is " + std::to_string(o.randomSeed));
    }
  }
  if (b.withReplacement) o.selectionMode = 'R';
  if (b.injuries) {
    if (data.formatKind == 'B') {
      c.write(" >> Fire Events data record one type of event only: --injuries has no effect");
    } else {
      o.injuryMode = 'I';
    }
  }
  if (b.noSpreadsheets) o.spreadsheetFiles = 'N';
}

std::string joinPath(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory == ".") return name;
  return directory.back() == '/' ? directory + name : directory + "/" + name;
}

// Output files are written under a temporary name in their directory and
// renamed once complete, so that a failed run leaves no partial file
// under a final name.
class StagedOutputs {
 public:
  StagedOutputs(FileSystem& files, std::string directory, bool force)
      : files_(files), directory_(std::move(directory)), force_(force) {}
  ~StagedOutputs() {
    for (const auto& staged : staged_) {
      files_.remove(staged.temporary);
      forgetInterruptCleanup(staged.temporary);
    }
  }

  OutputOpener opener() {
    return [this](const std::string& name, int) {
      const std::string final = joinPath(directory_, name);
      const std::string temporary =
          joinPath(directory_, "." + name + ".partial-" + std::to_string(::getpid()));
      std::string error;
      bool exists = false;
      OutputFile file;
      file.name = final;
      file.text = files_.create(temporary, CreateMode::kReplace, error, exists);
      if (!file.text) throw ProgramStop{1, " >> cannot create " + final + ": " + error};
      staged_.push_back({temporary, final});
      registerInterruptCleanup(temporary);
      return file;
    };
  }

  // Gives every file its final name; false (with the reason) when one
  // cannot be given it.
  void commit(std::vector<std::string>& written) {
    for (auto it = staged_.begin(); it != staged_.end();) {
      std::string error;
      if (!files_.rename(it->temporary, it->final, force_, error)) {
        throw ProgramStop{1, " >> cannot write " + it->final + ": " + error};
      }
      written.push_back(it->final);
      forgetInterruptCleanup(it->temporary);
      it = staged_.erase(it);
    }
  }

 private:
  struct Staged {
    std::string temporary;
    std::string final;
  };
  FileSystem& files_;
  std::string directory_;
  bool force_;
  std::vector<Staged> staged_;
};

// The name of a file beside the spreadsheet files: job, program code,
// method and injury letters and the extension.
std::string tidyName(const RunContext& run, const std::string& extension) {
  return packName(run.baseName() + run.options.selectionMode + run.options.injuryMode + extension);
}

std::vector<std::string> plannedNames(const RunContext& run, const BatchOptions& b) {
  std::vector<std::string> names{reportName(run)};
  if (run.options.spreadsheetFiles == 'Y') {
    names.push_back(spreadsheetName(run, 1));
    names.push_back(spreadsheetName(run, 2));
  }
  if (b.csv) {
    names.push_back(tidyName(run, ".csv"));
    names.push_back(tidyName(run, ".json"));
  }
  if (b.plot) names.push_back(tidyName(run, ".svg"));
  return names;
}

void writeWhole(OutputFile file, const std::string& text) {
  std::string body = text;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  file.text->writeLine(body);
  std::string error;
  if (!file.text->close(error)) throw ProgramStop{1, " >> cannot write " + file.name + ": " + error};
}

std::string optionsLine(const RunContext& run) {
  const RunOptions& o = run.options;
  std::string line = "Job " + std::string(fmt::trimRight(run.baseName().substr(0, 5))) + ", " +
                     std::to_string(o.simulationCount) + " simulations, seed " +
                     std::to_string(o.randomSeed) + ", method " + o.selectionMode +
                     (o.selectionMode == 'R' ? " (with replacement)" : " (without replacement)") +
                     (o.injuryMode == 'I' ? ", injuries of all types" : ", fire scars only");
  if (o.segmentLength > 0) {
    line += ", segments of " + std::to_string(o.segmentLength) + " years, lag " +
            std::to_string(o.segmentLag);
  }
  return line;
}

std::vector<PlotSpan> plotSpans(const std::vector<ResultRow>& rows) {
  std::vector<PlotSpan> spans;
  for (const ResultRow& row : rows) {
    if (spans.empty() || spans.back().firstYear != row.firstYear ||
        spans.back().lastYear != row.lastYear || row.sampleSize > spans.back().rows.back().sampleSize) {
      spans.push_back(PlotSpan{row.firstYear, row.lastYear, {}});
    }
    spans.back().rows.push_back(row);
  }
  return spans;
}

std::string isoTime(const LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

void writeTidyOutputs(const RunContext& run, const BatchOptions& b, const std::string& bytes,
                      const std::vector<ResultRow>& rows, const OutputOpener& open,
                      const std::vector<std::string>& planned) {
  if (b.csv) {
    std::string table = tidyCsvHeader();
    for (const ResultRow& row : rows) table += tidyCsvRow(row);
    writeWhole(open(tidyName(run, ".csv"), 0), table);

    const RunOptions& o = run.options;
    RunMetadata meta;
    meta.programVersion = "1.15";
    meta.inputFile = run.inputName;
    meta.inputSha256 = sha256Hex(bytes);
    meta.job = std::string(fmt::trimRight(run.baseName().substr(0, 5)));
    meta.title = std::string(fmt::trimRight(o.runTitle));
    meta.method = std::string(1, o.selectionMode);
    meta.injuries = std::string(1, o.injuryMode);
    meta.created = isoTime(run.console.sessionTime);
    meta.seed = o.randomSeed;
    meta.simulations = o.simulationCount;
    meta.firstYear = o.processFirstYear;
    meta.lastYear = o.processLastYear;
    meta.segmentLength = o.segmentLength;
    meta.segmentLag = o.segmentLag;
    for (const std::string& name : planned) meta.files.push_back(joinPath(b.outputDirectory, name));
    writeWhole(open(tidyName(run, ".json"), 0), runMetadataJson(meta));
  }
  if (b.plot) {
    PlotInfo info{run.inputName, optionsLine(run)};
    writeWhole(open(tidyName(run, ".svg"), 0), renderPlotSvg(info, plotSpans(rows)));
  }
}

void runOneFile(const BatchOptions& b, const std::string& path, Platform& platform,
                std::FILE* out) {
  RunContext run(platform);
  prepareSession(run);
  const std::string job = b.job ? jobIdentifierFrom(*b.job) : jobFromFileName(path);
  if (!job.empty()) run.console.programIdentification.replace(0, 5, fixedLength(job, 5));

  run.inputName = path;
  std::string bytes, error;
  if (!platform.files.readAll(path, bytes, error)) throw ProgramStop{1, " >> cannot read it: " + error};
  InputText text(splitTextLines(bytes));
  readFireHistory(run, text);
  applyOptions(run, b);
  settleOptions(run);

  const std::vector<std::string> planned = plannedNames(run, b);
  if (!b.force) {
    for (const std::string& name : planned) {
      const std::string target = joinPath(b.outputDirectory, name);
      if (platform.files.exists(target))
        throw ProgramStop{1, " >> " + target + " exists; use --force to replace it"};
    }
  }
  StagedOutputs staged(platform.files, b.outputDirectory, b.force);
  std::vector<ResultRow> rows;
  writeRun(run, staged.opener(), [&rows](const ResultRow& row) { rows.push_back(row); });
  writeTidyOutputs(run, b, bytes, rows, staged.opener(), planned);
  std::vector<std::string> written;
  staged.commit(written);
  if (!b.quiet) {
    for (const std::string& name : written) std::fprintf(out, "%s\n", name.c_str());
  }
}

}  // namespace

std::string jobFromFileName(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  name = name.substr(0, name.find('.'));
  if (name.empty()) return "";
  return std::string(fmt::trimRight(jobIdentifierFrom(name)));
}

int runBatch(const BatchOptions& options, FileSystem& files, Clock& clock,
             CommandInterpreter& commands, const ConfigLocations& locations,
             const BatchStreams& streams) {
  int status = 0;
  for (const std::string& path : options.files) {
    BatchTerminal terminal(streams, path, options.quiet);
    Platform platform{terminal, files, clock, commands, locations, false};
    try {
      runOneFile(options, path, platform, streams.out);
    } catch (const ProgramStop& stop) {
      status = 1;
      terminal.writeError(stop.message.empty() ? " >> the run stopped" : stop.message);
    }
    terminal.finish();
    std::fflush(streams.out);
  }
  return status;
}

}  // namespace rova

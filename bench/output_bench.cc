// Speed of writing the simulations' output: the report's tables and the
// two spreadsheet files of a big run (200 trees, segments of 3 years with
// lag 1 over -2065..2030: 4094 passes, each with the observed value and
// the sample sizes below it, about 800 000 tables), formatted and written
// to
//   memory  an output that keeps only its last MiB (formatting and the
//           path to the file, no system calls), and
//   file    real files in /dev/shm, written and closed as a run does.
// The values are random but of the sizes a run prints (means up to a few
// hundred events per century, limits below zero, now and then a value too
// wide for its field), made with a fixed seed before the timing.
//
// Lines   each line handed on by itself: the table through a line sink
//         that trims it into the report, each spreadsheet row as its own
//         line (how the run wrote them before tables became blocks).
// Blocks  as the run writes them: each table formatted into one text with
//         its line ends and written at once, each spreadsheet row
//         formatted into a kept text and written.
// Format  the blocks' formatting alone, nothing written.
// RealField  one F8.3 field made as a string by fmt::F.
//
// Bytes per second count the report and spreadsheet bytes written.
// --tables=N changes the number of tables (default 800000).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "analysis/simulation_result.h"
#include "format/fields.h"
#include "platform/posix_platform.h"
#include "report/simulation_report.h"

namespace rova {
namespace {

long long gTables = 800000;

// Keeps the last MiB written and counts every byte: what a buffered file
// costs before its system calls.
class MemoryOutput : public OutputText {
 public:
  void writeLine(std::string_view line) override {
    keep(line);
    keep("\n");
  }
  void write(std::string_view bytes) override { keep(bytes); }
  bool close(std::string&) override { return true; }
  long long bytes() const { return bytes_; }

 private:
  void keep(std::string_view text) {
    if (buffer_.size() + text.size() > (1u << 20)) buffer_.clear();
    buffer_ += text;
    bytes_ += static_cast<long long>(text.size());
  }
  std::string buffer_;
  long long bytes_ = 0;
};

// The results of one pass: the observed value of 200 trees, then sample
// sizes 199 down to 1, each with the rows a run gives it.
std::vector<SampleSizeResult> passResults(std::mt19937& random, int first, int last) {
  std::uniform_real_distribution<float> mean(0.0f, 300.0f);
  std::uniform_real_distribution<float> spread(0.0f, 60.0f);
  std::uniform_int_distribution<int> rare(0, 999);
  std::vector<SampleSizeResult> results;
  for (int s = 200; s >= 1; --s) {
    SampleSizeResult r;
    r.firstYear = first;
    r.lastYear = last;
    r.sampleSize = s;
    r.observed = s == 200;
    r.simulations = r.observed ? 1 : 4096;
    for (int k = 1; k <= (r.observed ? 2 : std::min(s, 2)); ++k) {
      ResultRow row;
      row.firstYear = first;
      row.lastYear = last;
      row.sampleSize = s;
      row.threshold = k;
      row.observed = r.observed;
      row.simulations = r.simulations;
      row.mean = mean(random);
      if (rare(random) == 0) row.mean = 123456.789f;
      row.sd = r.observed ? 0.0f : spread(random);
      const float z[3] = {1.960f, 2.575f, 3.294f};
      for (int i = 0; i < 3; ++i) {
        row.limits[2 * i] = row.mean - z[i] * row.sd;
        row.limits[2 * i + 1] = row.mean + z[i] * row.sd;
      }
      for (float& p : row.percentiles) p = r.observed ? row.mean : row.mean + spread(random) - 30.0f;
      r.rows.push_back(row);
    }
    results.push_back(r);
  }
  return results;
}

// Passes of the big run, enough for gTables tables: 64 distinct passes
// with their values, each used again over later spans.
struct Run {
  std::vector<std::vector<SampleSizeResult>> passes;
  std::vector<std::pair<int, int>> spans;
};

Run& bigRun() {
  static Run run = [] {
    Run r;
    std::mt19937 random(20260101);
    for (int p = 0; p < 64; ++p) r.passes.push_back(passResults(random, -2065, -2063));
    const long long passes = (gTables + 199) / 200;
    for (long long p = 0; p < passes; ++p) {
      const int first = -2065 + static_cast<int>(p % 4094);
      r.spans.push_back({first, first + 2});
    }
    return r;
  }();
  return run;
}

// Calls `table(result)` for gTables tables of the big run, the span of
// each pass set into its results.
template <typename Table>
void eachTable(Table table) {
  Run& run = bigRun();
  long long done = 0;
  for (std::size_t p = 0; p < run.spans.size(); ++p) {
    for (SampleSizeResult& r : run.passes[p % run.passes.size()]) {
      if (done++ == gTables) return;
      r.firstYear = run.spans[p].first;
      r.lastYear = run.spans[p].second;
      for (ResultRow& row : r.rows) {
        row.firstYear = r.firstYear;
        row.lastYear = r.lastYear;
      }
      table(r);
    }
  }
}

// Where one benchmark writes: three outputs in memory, or three files in
// /dev/shm that are closed (flushed and synced) and removed again.
class Outputs {
 public:
  explicit Outputs(bool toFiles) : toFiles_(toFiles) {
    for (int n = 0; n < 3; ++n) {
      if (!toFiles_) {
        texts_.push_back(std::make_unique<MemoryOutput>());
        continue;
      }
      std::string name, error;
      texts_.push_back(files_.createTemporary("/dev/shm/rova-output-bench", name, error));
      if (!texts_.back()) {
        std::fprintf(stderr, "cannot create a file in /dev/shm: %s\n", error.c_str());
        std::exit(1);
      }
      names_.push_back(name);
    }
  }
  ~Outputs() {
    for (const std::string& name : names_) files_.remove(name);
  }
  OutputText& report() { return *texts_[0]; }
  OutputText& sheet(int n) { return *texts_[n]; }
  // Closes the files; the bytes written.
  long long finish(benchmark::State& state) {
    long long bytes = 0;
    for (std::size_t n = 0; n < texts_.size(); ++n) {
      std::string error;
      if (!texts_[n]->close(error)) state.SkipWithError(error.c_str());
      if (toFiles_) {
        bytes += fileSize(names_[n]);
      } else {
        bytes += static_cast<MemoryOutput&>(*texts_[n]).bytes();
      }
    }
    return bytes;
  }

 private:
  static long long fileSize(const std::string& name) {
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (f == nullptr) return 0;
    std::fseek(f, 0, SEEK_END);
    const long long size = std::ftell(f);
    std::fclose(f);
    return size;
  }
  bool toFiles_;
  PosixFileSystem files_;
  std::vector<std::unique_ptr<OutputText>> texts_;
  std::vector<std::string> names_;
};

// The report's tables through a line sink, each line trimmed into the
// report by itself, and each spreadsheet row written as a line.
void BM_Lines(benchmark::State& state) {
  long long bytes = 0;
  for (auto _ : state) {
    Outputs out(state.range(0) == 1);
    OutputText& report = out.report();
    const LineSink toReport = [&report](const std::string& line) {
      report.writeLine(std::string(fmt::trimRight(line)));
    };
    eachTable([&](const SampleSizeResult& r) {
      writeSimulationTable(r, toReport);
      for (const ResultRow& row : r.rows) out.sheet(row.threshold).writeLine(spreadsheetRow(row));
    });
    bytes += out.finish(state);
  }
  state.SetBytesProcessed(bytes);
}

// The run's way: tables and rows formatted into kept texts, written as
// blocks.
void BM_Blocks(benchmark::State& state) {
  long long bytes = 0;
  for (auto _ : state) {
    Outputs out(state.range(0) == 1);
    OutputText& report = out.report();
    std::string table, row;
    eachTable([&](const SampleSizeResult& r) {
      table.clear();
      appendSimulationTable(r, table);
      report.write(table);
      for (const ResultRow& values : r.rows) {
        row.clear();
        appendSpreadsheetRow(values, row);
        out.sheet(values.threshold).write(row);
      }
    });
    bytes += out.finish(state);
  }
  state.SetBytesProcessed(bytes);
}

void BM_Format(benchmark::State& state) {
  long long bytes = 0;
  for (auto _ : state) {
    std::string table, row;
    eachTable([&](const SampleSizeResult& r) {
      table.clear();
      appendSimulationTable(r, table);
      bytes += static_cast<long long>(table.size());
      for (const ResultRow& values : r.rows) {
        row.clear();
        appendSpreadsheetRow(values, row);
        bytes += static_cast<long long>(row.size());
      }
      benchmark::DoNotOptimize(table.data());
      benchmark::DoNotOptimize(row.data());
    });
  }
  state.SetBytesProcessed(bytes);
}

// One F8.3 field as a string, over values of the report's sizes.
void BM_RealField(benchmark::State& state) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> value(-50.0f, 300.0f);
  std::vector<float> values(4096);
  for (float& v : values) v = value(random);
  std::size_t i = 0;
  for (auto _ : state) {
    std::string text = fmt::F(values[i++ & 4095], 8, 3);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace
}  // namespace rova

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--tables=", 9) == 0) {
      rova::gTables = std::atoll(argv[i] + 9);
    } else {
      rest.push_back(argv[i]);
    }
  }
  rova::bigRun();
  benchmark::RegisterBenchmark("Lines/memory", rova::BM_Lines)->Arg(0)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Lines/file", rova::BM_Lines)->Arg(1)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Blocks/memory", rova::BM_Blocks)->Arg(0)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Blocks/file", rova::BM_Blocks)->Arg(1)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("Format", rova::BM_Format)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("RealField", rova::BM_RealField);
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

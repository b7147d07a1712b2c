#include "run/output_sinks.h"

#include <gtest/gtest.h>

#include "analysis/random.h"
#include "analysis/statistics.h"
#include "run/run_steps.h"
#include "platform/memory_file_system.h"
#include "tests/test_support.h"

namespace rova {
namespace {

// What a sink was told, one line per announcement.
class RecordingSink : public OutputSink {
 public:
  explicit RecordingSink(std::vector<std::string>& log) : log_(log) {}
  void runStarted(const SampleDepthTable&) override { log_.push_back("run"); }
  void spanOpened(const SpanOpened& span) override {
    log_.push_back("open " + std::to_string(span.firstYear) + "-" + std::to_string(span.lastYear));
  }
  void sampleSize(const SampleSizeResult& result) override {
    std::string line = "size " + std::to_string(result.firstYear) + "-" +
                       std::to_string(result.lastYear) + " " + std::to_string(result.sampleSize);
    for (const ResultRow& row : result.rows) line += " " + std::to_string(row.mean);
    log_.push_back(line);
  }
  void spanClosed(const SpanClosed& span) override {
    log_.push_back("close " + std::to_string(span.firstYear) + "-" +
                   std::to_string(span.lastYear) + " results " +
                   std::to_string(span.results.size()) + " adequacy " +
                   (span.adequacy ? std::to_string(span.adequacy->trees) : "none"));
  }
  void runFinished(const std::vector<SpanAdequacy>& adequacy) override {
    log_.push_back("end " + std::to_string(adequacy.size()));
  }

 private:
  std::vector<std::string>& log_;
};

// Four trees over 12 years, in segments of 4 years with a lag of 4: three
// spans, each with sizes 4 down to 1.
std::vector<std::string> announcements(int threads, const OutputRequest& request) {
  testing::ScriptedTerminal terminal;
  testing::FixedClock clock(LocalTime{2026, 12, 9, 12, 0, 0});
  testing::RecordingInterpreter commands;
  MemoryFileSystem files;
  Platform platform{terminal, files, clock, commands, ConfigLocations{}, false};
  RunContext run(platform);
  InputText text = textOf(
      "FHX2 FORMAT\n1700 4 1\nabcd\n\n"
      "U|||\n||U|\n|U||\nUU||\n||||\n|||U\nU|||\n||||\n|UU|\n||||\nU|U|\n||||\n");
  readFireHistory(run, text);
  run.options.segmentLength = 4;
  run.options.segmentLag = 4;
  run.options.simulationCount = 40;
  run.options.randomSeed = 4321;
  settleOptions(run);
  addRecordYears(*run.data, *run.sampleDepth);

  std::vector<std::string> log;
  std::vector<std::unique_ptr<OutputSink>> sinks;
  sinks.push_back(std::make_unique<RecordingSink>(log));
  OutputRoad road(run, request, sinks);
  RandomGenerator generator;
  const RunOptions& o = run.settledOptions();
  generator.seed(o.randomSeed & 65535);
  SimulationSettings settings{o.simulationCount, o.selectionMode, o.injuryMode,
                              run.settled->percentileRanks};
  settings.threads = threads;
  road.runStarted();
  simulateSpans(*run.data, passSpans(o), settings, generator, road);
  road.runFinished();
  return log;
}

// The sinks hear the run in the report's order: the run, then each span
// opened, its sizes from all trees down, and closed with its results and
// adequacy, then the end; the same, value for value, on one thread and on
// several.
TEST(OutputRoadTest, SinksHearSpansAndResultsInOrderOnAnyNumberOfThreads) {
  OutputRequest request;
  request.csv = true;
  const std::vector<std::string> one = announcements(1, request);
  ASSERT_EQ(one.size(), 1u + 3 * (1 + 4 + 1) + 1);
  EXPECT_EQ(one.front(), "run");
  const char* const spans[] = {"1700-1703", "1704-1707", "1708-1711"};
  for (int k = 0; k < 3; ++k) {
    const std::size_t at = 1 + 6 * static_cast<std::size_t>(k);
    EXPECT_EQ(one[at], std::string("open ") + spans[k]);
    for (int s = 4; s >= 1; --s)
      EXPECT_EQ(one[at + 5 - s].rfind(std::string("size ") + spans[k] + " " + std::to_string(s), 0), 0u)
          << one[at + 5 - s];
    EXPECT_EQ(one[at + 5], std::string("close ") + spans[k] + " results 4 adequacy 4");
  }
  EXPECT_EQ(one.back(), "end 3");
  EXPECT_EQ(announcements(4, request), one);

  // Without outputs that read them, no span's results are kept and no
  // adequacy is worked out.
  const std::vector<std::string> plain = announcements(2, OutputRequest{});
  EXPECT_EQ(plain[6], "close 1700-1703 results 0 adequacy none");
  EXPECT_EQ(plain.back(), "end 0");
}

}  // namespace
}  // namespace rova

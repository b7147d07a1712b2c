#include "cli/batch_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "format/utf8.h"
#include "platform/posix_platform.h"
#include "tests/batch_run.h"
#include "tests/dialogue_run.h"
#include "tests/test_support.h"

namespace rova {
namespace {

using testing::FixedClock;
using testing::RecordingInterpreter;
using testing::TemporaryDirectory;

struct BatchFixture : ::testing::Test, testing::BatchRun {
  std::string example() {
    std::filesystem::copy_file(std::string(ROVA_SOURCE_DIR) + "/examples/ALDER.FHX", dir.file("ALDER.FHX"));
    return dir.file("ALDER.FHX");
  }
};

std::vector<std::string> fields(const std::string& line, char separator) {
  std::vector<std::string> out;
  std::stringstream s(line);
  for (std::string f; std::getline(s, f, separator);) out.push_back(f);
  return out;
}

// On a terminal the progress rewrites one line, at most every tenth of a
// second; otherwise, or with -q, there is none.
TEST_F(BatchFixture, ProgressOnATerminalIsSpacedOut) {
  const std::string file = example();
  auto progressRecords = [](const std::string& err) {
    int count = 0;
    for (std::size_t at = err.find("\rSimulation"); at != std::string::npos;
         at = err.find("\rSimulation", at + 1))
      ++count;
    return count;
  };
  const std::vector<std::string> args = {"-n", "40", "-f", "-o", dir.path(), file};
  errIsTerminal = true;
  clock.step = 100;  // every reading a tenth of a second later: all shown
  ASSERT_EQ(run(args), 0) << err;
  const int all = progressRecords(err);
  // 30 trees: each size's start and its 40 simulations done, but the one
  // simulation of all trees.
  EXPECT_EQ(all, 2 * 30 - 1);
  clock.step = 50;
  ASSERT_EQ(run(args), 0) << err;
  EXPECT_EQ(progressRecords(err), (all + 1) / 2);  // every other one
  clock.step = 0;  // the clock stands still: the first record only
  ASSERT_EQ(run(args), 0) << err;
  EXPECT_EQ(progressRecords(err), 1);
  clock.step = 100;
  ASSERT_EQ(run({"-q", "-n", "40", "-f", "-o", dir.path(), file}), 0) << err;
  EXPECT_EQ(progressRecords(err), 0);
  errIsTerminal = false;
  ASSERT_EQ(run(args), 0) << err;
  EXPECT_EQ(progressRecords(err), 0);
}

// Every CSV row, rounded to the spreadsheet's three decimals, is the
// spreadsheet row of the same threshold, sample size and span.
TEST_F(BatchFixture, TidyTableAgreesWithTheSpreadsheetRows) {
  const std::string data = example();
  ASSERT_EQ(run({"--csv", "-n", "50", "-s", "7", "--segment-length", "200", "-o", dir.path(), data}), 0)
      << err;
  const auto csv = testing::splitLines(dir.read("ALDERRVADF.csv"));
  std::vector<std::vector<std::string>> sheets[2];
  for (int k = 1; k <= 2; ++k)
    for (const auto& line : testing::splitLines(dir.read("ALDERRVADF.XL" + std::to_string(k))))
      sheets[k - 1].push_back(fields(line, '\t'));
  // The table has a row for every threshold of every sample size; the
  // spreadsheets have none for a threshold without a result (threshold 2
  // of one tree), which the table gives as NA.
  std::size_t next[2] = {0, 0};
  std::size_t withValues = 0;
  for (std::size_t i = 1; i < csv.size(); ++i) {
    const auto c = fields(csv[i], ',');
    ASSERT_EQ(c.size(), 27u);
    EXPECT_EQ(c[24], "D");      // method
    EXPECT_EQ(c[25], "FALSE");  // injuries_counted
    EXPECT_EQ(c[26], "7");      // seed
    EXPECT_EQ(c[0], "ALDER");
    const int k = std::stoi(c[5]);
    if (c[8] == "NA") {
      EXPECT_EQ(c[4], "1") << csv[i];
      EXPECT_EQ(c[20], "NA");  // no exact value where the row has none
      EXPECT_EQ(c[21], "NA");
      continue;
    }
    if (c[6] == "TRUE") {
      // The exact value of all trees is the observed one, without spread.
      EXPECT_EQ(static_cast<float>(std::strtod(c[20].c_str(), nullptr)), std::strtof(c[8].c_str(), nullptr));
      EXPECT_EQ(c[21], "0");
    }
    ++withValues;
    const auto& sheet = sheets[k - 1][next[k - 1]++];
    EXPECT_EQ(std::stoi(sheet[0]), std::stoi(c[4]));  // trees
    EXPECT_EQ(std::stoi(sheet[1]), std::stoi(c[1]));  // span
    EXPECT_EQ(std::stoi(sheet[2]), std::stoi(c[2]));
    const bool observed = c[6] == "TRUE";
    const int columns[11] = {8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    for (int v = 0; v < 11; ++v) {
      // The observed value has no spread: the spreadsheet gives its limits
      // as the value itself, the table as NA.
      const std::string& text = observed && v > 0 ? c[8] : c[columns[v]];
      char rounded[32];
      std::snprintf(rounded, sizeof rounded, "%7.3f", static_cast<double>(std::strtof(text.c_str(), nullptr)));
      EXPECT_EQ(rounded, sheet[4 + v]) << csv[i];
    }
  }
  EXPECT_EQ(withValues, sheets[0].size() + sheets[1].size());
  const std::string json = dir.read("ALDERRVADF.json");
  EXPECT_NE(json.find("\"input_sha256\": \""), std::string::npos);
  EXPECT_NE(json.find("\"seed\": 7"), std::string::npos);
  EXPECT_NE(json.find("\"created\": \"2026-12-08T10:30:00+00:00\""), std::string::npos);
}

// The adequacy changes nothing of the report and the spreadsheets, and the
// metadata holds one span object per segment, in run order.
TEST_F(BatchFixture, AdequacyLeavesTheReportAndSpreadsheetsAlone) {
  const std::string data = example();
  const std::vector<std::string> common{"-n", "40", "-s", "9", "--segment-length", "200", "-f",
                                        "-o", dir.path(), data};
  ASSERT_EQ(run(common), 0) << err;
  const std::string report = dir.read("ALDERRVA.OUT");
  const std::string sheet = dir.read("ALDERRVADF.XL1");
  std::vector<std::string> withCsv = common;
  withCsv.insert(withCsv.begin(), {"--csv", "--adequacy-within", "5", "--adequacy-share", "90"});
  ASSERT_EQ(run(withCsv), 0) << err;
  EXPECT_EQ(dir.read("ALDERRVA.OUT"), report);
  EXPECT_EQ(dir.read("ALDERRVADF.XL1"), sheet);
  const std::string json = dir.read("ALDERRVADF.json");
  EXPECT_NE(json.find("\"within_percent\": 5,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"share_percent\": 90"), std::string::npos);
  std::size_t spans = 0;
  for (std::size_t at = json.find("\"trees_needed\""); at != std::string::npos;
       at = json.find("\"trees_needed\"", at + 1))
    ++spans;
  EXPECT_EQ(spans, 3u);  // 1600-1799, 1700-1899, 1800-1990
  EXPECT_LT(json.find("\"first_year\": 1600,\n      \"last_year\": 1799"),
            json.find("\"first_year\": 1800"));
}

// The adequacy table beside the tidy one: a row per span, statistic and
// size of the frame. Without simulations (-n 0) nothing is drawn, and only
// the shares counted whole remain; asked for, subsamples are drawn.
TEST_F(BatchFixture, AdequacyTableClaimsNothingSimulatedWithoutSimulations) {
  const std::string data = example();
  ASSERT_EQ(run({"--csv", "-n", "0", "-s", "3", "-o", dir.path(), data}), 0) << err;
  auto lines = testing::splitLines(dir.read("ALDERRVADF-adequacy.csv"));
  ASSERT_EQ(lines.size(), 1u + 2 * 30);  // ALDER: 30 trees with data, two statistics
  const auto header = fields(lines[0], ',');
  ASSERT_EQ(header.size(), 22u);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto row = fields(lines[i], ',');
    ASSERT_EQ(row.size(), header.size()) << lines[i];
    EXPECT_EQ(row[4], "data");
    EXPECT_EQ(row[5], "30");
    EXPECT_EQ(row[7], "NA");   // filter: the frequencies have none
    EXPECT_EQ(row[12], "0");   // subsamples
    EXPECT_EQ(row[13], "NA");  // undefined_share
    EXPECT_EQ(row[14], "NA");  // mean
    EXPECT_EQ(row[17], "NA");  // p50
    // A share only where every sample was counted.
    EXPECT_EQ(row[19] == "NA", row[21] == "FALSE") << lines[i];
  }
  ASSERT_EQ(run({"--csv", "-n", "0", "-s", "3", "--adequacy-subsamples", "50", "-f", "-o", dir.path(),
                 data}),
            0) << err;
  lines = testing::splitLines(dir.read("ALDERRVADF-adequacy.csv"));
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto row = fields(lines[i], ',');
    EXPECT_EQ(row[12], "50");
    EXPECT_EQ(row[13], "0");
    EXPECT_NE(row[14], "NA");
    EXPECT_NE(row[17], "NA");
    EXPECT_NE(row[19], "NA");
  }
  EXPECT_EQ(parseCommandLine({"--adequacy-subsamples", "-1", data}).error,
            "--adequacy-subsamples: '-1' is not a usable value (a whole number from 0 to 100000 "
            "is needed)");
  EXPECT_EQ(parseCommandLine({"--frame", "all", data}).error,
            "--frame: 'all' is not a usable value (data or recorders)");
  EXPECT_EQ(parseCommandLine({"--frame", "recorders", data}).options.outputs.frame, FrameRule::kRecorders);
}

// The per-year table: every year of the span, and with the filter "any
// scarred tree" exactly the fire years that the tidy table's value of all
// trees counts.
TEST_F(BatchFixture, YearsTableHoldsTheCompositesOfEveryYear) {
  const std::string data = example();
  ASSERT_EQ(run({"--csv", "--composite", "0,1,1", "--composite", "10,2,1", "-n", "10", "-s", "3",
                 "-o", dir.path(), data}),
            0) << err;
  const auto lines = testing::splitLines(dir.read("ALDERRVADF-years.csv"));
  ASSERT_EQ(lines.size(), 1u + 391);  // 1600..1990
  EXPECT_EQ(lines[0],
            "site,year,recording_trees,scarred_trees,injured_trees,composite_0_1_1,composite_10_2_1");
  int fireYears = 0;
  for (std::size_t i = 1; i < lines.size(); ++i) fireYears += fields(lines[i], ',')[5] == "TRUE";
  const auto tidy = testing::splitLines(dir.read("ALDERRVADF.csv"));
  const auto observed = fields(tidy[1], ',');  // all 30 trees, threshold 1
  ASSERT_EQ(observed[6], "TRUE");
  EXPECT_EQ(std::lround(std::strtod(observed[8].c_str(), nullptr) * 391 / 100), fireYears);
  const std::string json = dir.read("ALDERRVADF.json");
  EXPECT_NE(json.find("\"composites\": [\n    \"0,1,1\",\n    \"10,2,1\"\n  ]"), std::string::npos)
      << json;
  EXPECT_EQ(parseCommandLine({"--composite", "25,2", data}).error,
            "--composite: '25,2' is not a usable value (PERCENT,MINREC,MINSCAR is needed: a "
            "percentage from 0 to 100, then two whole numbers from 1 to 200, e.g. 25,2,1)");
  EXPECT_TRUE(parseCommandLine({"--composite", "25,2,1", data}).options.outputs.intervals);
  // The adequacy table: after the two frequencies, per filter the eight
  // composite and interval statistics at every size of the 30-tree frame,
  // the filter quoted (it holds commas).
  const auto adequacy = testing::splitLines(dir.read("ALDERRVADF-adequacy.csv"));
  ASSERT_EQ(adequacy.size(), 1u + 30 * (2 + 2 * 8));
  EXPECT_EQ(adequacy[1 + 2 * 30].rfind("ALDER,1600,1990,391,data,30,composite_frequency,\"0,1,1\",1,", 0), 0u)
      << adequacy[1 + 2 * 30];
  EXPECT_EQ(adequacy.back().rfind("ALDER,1600,1990,391,data,30,weibull_scale,\"10,2,1\",30,", 0), 0u)
      << adequacy.back();
  EXPECT_NE(json.find("\"filter\": \"10,2,1\""), std::string::npos);
  // Trees for the mean only where the exact mean is known: the composite
  // frequency (method D), not the intervals.
  EXPECT_NE(json.find("\"statistic\": \"composite_frequency\",\n          \"filter\": \"0,1,1\""),
            std::string::npos) << json;
  const std::size_t interval = json.find("\"statistic\": \"mean_interval\"");
  ASSERT_NE(interval, std::string::npos);
  const std::size_t reached = json.find("\"trees_for_mean_reached\": ", interval);
  EXPECT_EQ(json.substr(reached, 30), "\"trees_for_mean_reached\": null");
}

// With --intervals the multi-site table gains, per filter, the frame's
// composite frequency, MFI and WMPI and their trees needed by the share,
// the very values of the adequacy table and the metadata.
TEST_F(BatchFixture, SummaryWithIntervalsHasTheCompositesOfEachFilter) {
  const std::string data = example();
  ASSERT_EQ(run({"--csv", "--intervals", "--multi-site", "sites.csv", "--no-spreadsheets", "-n", "20",
                 "-s", "3", "-o", dir.path(), data}),
            0) << err;
  const auto lines = testing::splitLines(dir.read("sites.csv"));
  ASSERT_EQ(lines.size(), 2u);
  const auto header = fields(lines[0], ',');
  const auto row = fields(lines[1], ',');
  ASSERT_EQ(header.size(), 30u + 2 * 6);
  ASSERT_EQ(row.size(), header.size());
  const std::vector<std::string> added(header.begin() + 30, header.end());
  EXPECT_EQ(added, (std::vector<std::string>{
                       "composite_frequency_25_2_1", "mean_interval_25_2_1",
                       "weibull_median_interval_25_2_1", "trees_for_share_composite_frequency_25_2_1",
                       "trees_for_share_mean_interval_25_2_1",
                       "trees_for_share_weibull_median_interval_25_2_1", "composite_frequency_0_1_1",
                       "mean_interval_0_1_1", "weibull_median_interval_0_1_1",
                       "trees_for_share_composite_frequency_0_1_1", "trees_for_share_mean_interval_0_1_1",
                       "trees_for_share_weibull_median_interval_0_1_1"}));
  // The frame's values as the adequacy table has them; 0,1,1 is the
  // fire frequency of all frame trees.
  EXPECT_EQ(row[36], row[8]);
  const std::string adequacy = dir.read("ALDERRVADF-adequacy.csv");
  for (const char* statistic : {"composite_frequency", "mean_interval", "weibull_median_interval"}) {
    const std::string start = std::string(",") + statistic + ",\"25,2,1\",1,";
    const std::size_t at = adequacy.find(start);
    ASSERT_NE(at, std::string::npos) << statistic;
    const std::size_t from = at + start.size();
    const std::string value = adequacy.substr(from, adequacy.find(',', from) - from);
    const std::size_t column = std::find(header.begin(), header.end(),
                                         std::string(statistic) + "_25_2_1") - header.begin();
    EXPECT_EQ(row[column], value) << statistic;
  }
  const std::string json = dir.read("ALDERRVADF.json");
  EXPECT_NE(json.find("\"trees_for_share_weibull_median_interval_0_1_1\": {"), std::string::npos);
}

// The multi-site summary: a row per FILE and span in one table; an
// existing table is replaced only with --force, before any analysis.
TEST_F(BatchFixture, SummaryHasARowPerFileAndSpan) {
  const std::string alder = example();
  std::filesystem::copy_file(alder, dir.file("BIRCH.FHX"));
  ASSERT_EQ(run({"--multi-site", "sites.csv", "--no-spreadsheets", "-n", "30", "-s", "3", "-R",
                 "--segment-length", "200", "-o", dir.path(), alder, dir.file("BIRCH.FHX")}),
            0) << err;
  EXPECT_NE(out.find(dir.file("sites.csv") + "\n"), std::string::npos) << out;
  const auto lines = testing::splitLines(dir.read("sites.csv"));
  ASSERT_EQ(lines.size(), 1u + 2 * 3);  // header, two sites of three segments
  const auto header = fields(lines[0], ',');
  EXPECT_EQ(header[0], "site");
  EXPECT_EQ(header[12], "chao2_upper_95");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto row = fields(lines[i], ',');
    ASSERT_EQ(row.size(), header.size()) << lines[i];
    EXPECT_EQ(row[0], i <= 3 ? "ALDER" : "BIRCH");
    EXPECT_EQ(row[5], "30");      // series
    EXPECT_EQ(row[6], "data");    // frame
    EXPECT_EQ(row[23], "R");      // method
    EXPECT_EQ(row[24], "FALSE");  // injuries_counted
    EXPECT_EQ(row[28], "10");     // within_percent
  }
  // 1600-1799: one fire year found by a single tree, none by two: nothing
  // is estimated missing, and the interval is finite.
  EXPECT_EQ(fields(lines[1], ',')[14], "TRUE");  // chao2_complete
  EXPECT_NE(fields(lines[1], ',')[12], "NA");
  EXPECT_EQ(fields(lines[1], ',')[2], "1600");
  EXPECT_EQ(lines[1].substr(lines[1].find(",1600,")), lines[4].substr(lines[4].find(",1600,")));

  EXPECT_EQ(run({"--multi-site", "sites.csv", "-o", dir.path(), alder}), 2);
  EXPECT_EQ(err, "rova: " + dir.file("sites.csv") + " exists; use --force to replace it\n");
}

// The chart in every format, with the run's title and the input's name
// without its folder; every span has its panel.
TEST_F(BatchFixture, PlotInEveryFormatHoldsEverySpan) {
  const std::string data = example();
  ASSERT_EQ(run({"--plot-format", "png,svg,pdf", "--title", "Alder & co", "--no-spreadsheets", "-n",
                 "20", "-s", "3", "--segment-length", "150", "--segment-lag", "100", "-o", dir.path(), data}),
            0) << err;
  EXPECT_EQ(out, dir.file("ALDERRVA.OUT") + "\n" + dir.file("ALDERRVADF.svg") + "\n" +
                     dir.file("ALDERRVADF.pdf") + "\n" + dir.file("ALDERRVADF.png") + "\n");
  const std::string svg = dir.read("ALDERRVADF.svg");
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("<title>Alder &amp; co</title>"), std::string::npos);
  EXPECT_NE(svg.find("<desc>ALDER.FHX. Job ALDER, 20 simulations, seed 3"), std::string::npos);
  EXPECT_EQ(svg.find(dir.path()), std::string::npos);
  EXPECT_EQ(dir.read("ALDERRVADF.png").rfind("\x89PNG\r\n\x1a\n", 0), 0u);
  EXPECT_EQ(dir.read("ALDERRVADF.pdf").rfind("%PDF-", 0), 0u);
  EXPECT_FALSE(dir.exists("ALDERRVADF.XL1"));
  if (std::filesystem::exists("/usr/bin/xmllint")) {
    const std::string command = "/usr/bin/xmllint --noout '" + dir.file("ALDERRVADF.svg") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
  if (std::filesystem::exists("/usr/bin/pdftotext")) {
    const std::string text = dir.file("chart.txt");
    ASSERT_EQ(std::system(("/usr/bin/pdftotext -enc UTF-8 '" + dir.file("ALDERRVADF.pdf") + "' '" + text + "'").c_str()), 0);
    const std::string words = dir.read("chart.txt");
    for (const char* part : {"Alder & co", "ALDER.FHX", "1600\u20131749", "1700\u20131849", "1800\u20131949",
                             "segments of 150 years, lag 100"})
      EXPECT_NE(words.find(part), std::string::npos) << part << " in " << words;
    EXPECT_EQ(words.find(dir.path()), std::string::npos);
  }

  // Every format's file is planned: one in the way stops the run before
  // any analysis.
  std::filesystem::remove(dir.file("ALDERRVA.OUT"));
  dir.write("ALDERRVADF.png", "an older picture");
  EXPECT_EQ(run({"--plot-format", "png", "-q", "-o", dir.path(), data}), 1);
  EXPECT_NE(err.find("ALDERRVADF.png exists; use --force to replace it"), std::string::npos) << err;
  EXPECT_FALSE(dir.exists("ALDERRVA.OUT"));
  EXPECT_EQ(dir.read("ALDERRVADF.png"), "an older picture");
}

TEST_F(BatchFixture, FailedRunsLeaveNoFilesUnderFinalNames) {
  dir.write("BAD.FHX", "FHX2 FORMAT\n1700 2 0\n\n");  // no data lines
  dir.write("EV.TXT", " 1900 1 0\n19x0 1 1\n");      // a year that is not a number
  const std::string good = example();
  EXPECT_EQ(run({"-q", "-n", "10", "-s", "1", "-o", dir.path(), dir.file("BAD.FHX"), dir.file("EV.TXT"), good}), 1);
  EXPECT_NE(err.find("BAD.FHX: " + dir.file("BAD.FHX") + " is a FIRE2/FHX2 file without usable data"),
            std::string::npos) << err;
  EXPECT_NE(err.find("line 2"), std::string::npos) << err;
  EXPECT_TRUE(dir.exists("ALDERRVA.OUT"));
  EXPECT_FALSE(dir.exists("BADRVA.OUT"));
  EXPECT_FALSE(dir.exists("EVRVA.OUT"));
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().find(".rova-"), std::string::npos);

  // An output folder that does not exist is a usage error, found before
  // any FILE is analysed.
  EXPECT_EQ(run({"-q", "-o", dir.file("nowhere"), good}), 2);
  EXPECT_NE(err.find("the output folder " + dir.file("nowhere") + " does not exist"), std::string::npos) << err;
}

TEST_F(BatchFixture, ForceReplacesAndChangedValuesAreReported) {
  const std::string data = example();
  dir.write("ALDERRVA.OUT", "old");
  EXPECT_EQ(run({"--no-spreadsheets", "-o", dir.path(), data}), 1);
  EXPECT_EQ(dir.read("ALDERRVA.OUT"), "old");
  EXPECT_EQ(run({"--force", "--no-spreadsheets", "-n", "9999", "-s", "10", "--first-year", "-3000",
                 "--last-year", "1700", "-o", dir.path(), data}), 0);
  EXPECT_NE(dir.read("ALDERRVA.OUT"), "old");
  EXPECT_NE(err.find("Maximum number of simulations  4096"), std::string::npos) << err;
  EXPECT_NE(err.find("Seed 10 is even; the seed used is 11"), std::string::npos) << err;
  EXPECT_NE(err.find("Year       -3000 is outside -2065 to 2030; set to -2065"), std::string::npos);
  EXPECT_EQ(out, dir.file("ALDERRVA.OUT") + "\n");
}

// Every FILE's outputs are planned before the first analysis: two FILEs
// that would write one file are a usage error naming both, with or
// without --force, and nothing is written; --full-names is the way out.
TEST_F(BatchFixture, FilesThatWouldWriteOneNameAreAUsageError) {
  const std::string data = example();
  dir.write("ALDERCREEK.FHX", dir.read(data.substr(dir.path().size() + 1)));
  dir.write("ALDERGULCH.FHX", dir.read(data.substr(dir.path().size() + 1)));
  for (bool force : {false, true}) {
    std::vector<std::string> args{"-q", "-n", "5", "-o", dir.path(), dir.file("ALDERCREEK.FHX"),
                                  dir.file("ALDERGULCH.FHX")};
    if (force) args.insert(args.begin(), "--force");
    EXPECT_EQ(run(args), 2);
    EXPECT_NE(err.find(dir.file("ALDERCREEK.FHX") + " and " + dir.file("ALDERGULCH.FHX") +
                       " would both write ALDERRVA.OUT; give --full-names"),
              std::string::npos) << err;
    EXPECT_FALSE(dir.exists("ALDERRVA.OUT"));
  }
  EXPECT_EQ(run({"--full-names", "-n", "5", "-o", dir.path(), dir.file("ALDERCREEK.FHX"),
                 dir.file("ALDERGULCH.FHX")}), 0) << err;
  EXPECT_TRUE(dir.exists("ALDERCREEKRVA.OUT"));
  EXPECT_TRUE(dir.exists("ALDERGULCHRVADF.XL2"));
  EXPECT_NE(out.find(dir.file("ALDERGULCHRVA.OUT")), std::string::npos);
  // The job identifier in the report stays the five characters it was.
  EXPECT_NE(dir.read("ALDERCREEKRVA.OUT").find("Run ALDER"), std::string::npos);
  // The same FILE twice, with or without --full-names, is a clash too.
  EXPECT_EQ(run({"--full-names", "--force", "-o", dir.path(), dir.file("ALDERCREEK.FHX"),
                 dir.file("ALDERCREEK.FHX")}), 2);
}

TEST_F(BatchFixture, AnOutputThatWouldReplaceAnInputFileIsAUsageError) {
  const std::string data = example();
  dir.write("X.FHX", "FHX2 FORMAT\n1800 2 1\nab\n\nU|\n|U\n");
  // ALDER's report would replace the second FILE before it is read.
  std::filesystem::copy_file(dir.file("X.FHX"), dir.file("ALDERRVA.OUT"));
  EXPECT_EQ(run({"--force", "-o", dir.path(), data, dir.file("ALDERRVA.OUT")}), 2);
  EXPECT_NE(err.find(dir.file("ALDERRVA.OUT") + ", an output of " + data + ", is the input FILE"),
            std::string::npos) << err;
  EXPECT_EQ(dir.read("ALDERRVA.OUT"), dir.read("X.FHX"));
}

// An output that cannot be replaced is found before the first analysis;
// with --force the old files of that FILE all stay as they were.
TEST_F(BatchFixture, AnOutputThatCannotBeReplacedStopsItsFileBeforeTheAnalysis) {
  const std::string data = example();
  dir.write("ALDERRVA.OUT", "old report");
  dir.write("ALDERRVADF.json", "old metadata");
  std::filesystem::create_directory(dir.file("ALDERRVADF.XL2"));
  dir.write("S.FHX", "FHX2 FORMAT\n1800 2 1\nab\n\nU|\n|U\n");
  EXPECT_EQ(run({"--force", "--csv", "-n", "5", "-o", dir.path(), data, dir.file("S.FHX")}), 1);
  EXPECT_NE(err.find(data + ": " + dir.file("ALDERRVADF.XL2") + ": it is a folder"), std::string::npos)
      << err;
  EXPECT_EQ(dir.read("ALDERRVA.OUT"), "old report");
  EXPECT_EQ(dir.read("ALDERRVADF.json"), "old metadata");
  EXPECT_TRUE(dir.exists("SRVA.OUT"));  // the other FILE still runs
  // Nothing of ALDER was analysed: its planning stopped it.
  EXPECT_EQ(err.find("ALDER.FHX: Time span"), std::string::npos) << err;
}

// A closed standard output does not end the batch: the other FILEs run,
// their files are in place, and the failure is said with status 1.
TEST_F(BatchFixture, AClosedStandardOutputDoesNotStopTheOtherFiles) {
  dir.write("A.FHX", "FHX2 FORMAT\n1800 2 1\nab\n\nU|\n|U\n");
  dir.write("B.FHX", "FHX2 FORMAT\n1800 2 1\nab\n\n|U\nUU\n");
  const CommandLine line = parseCommandLine({"-n", "3", "-o", dir.path(), dir.file("A.FHX"), dir.file("B.FHX")});
  testing::StringStream closedOut;
  closedOut.failing = true;
  testing::StringStream e;
  const int status = runBatch(line.options, files, clock, commands, ConfigLocations{},
                              BatchStreams{closedOut, e});
  err = e.text;
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(dir.exists("ARVA.OUT"));
  EXPECT_TRUE(dir.exists("BRVA.OUT"));
  EXPECT_NE(err.find("B.FHX: the names of the files written could not be written"), std::string::npos)
      << err;
}

// A FILE that holds no fire history is an error of that FILE: exit 1 and
// one line naming it, no output, and the other FILEs still run.
TEST_F(BatchFixture, EmptyBlankAndOutOfTableFilesAreErrorsOfOneLine) {
  dir.write("EMPTY.FHX", "");
  dir.write("BLANK.FHX", "\n  \n\r\n");
  dir.write("FAR.TXT", "17000 1 0\n");
  const std::string good = example();
  for (const char* name : {"EMPTY.FHX", "BLANK.FHX"}) {
    ASSERT_EQ(run({"-q", "-n", "10", "-o", dir.path(), dir.file(name), good, "-f"}), 1) << name;
    const std::string expected = "rova: " + dir.file(name) + ": " + dir.file(name) +
                                 (std::string(name) == "EMPTY.FHX"
                                      ? " is empty: it holds no fire history\n"
                                      : " holds only blank lines: no fire history\n");
    EXPECT_EQ(err, expected);
    EXPECT_FALSE(dir.exists(std::string(name).substr(0, 5) + "RVA.OUT"));
    EXPECT_TRUE(dir.exists("ALDERRVA.OUT"));
  }
  ASSERT_EQ(run({"-n", "10", "-o", dir.path(), dir.file("FAR.TXT")}), 1);
  EXPECT_NE(err.find(": Fire Events file: every year lies outside -2065 to 2030 (1 line): no tree "
                     "was read\n"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("-4094"), std::string::npos) << err;
  EXPECT_FALSE(dir.exists("FARRVA.OUT"));
}

// Names from the data in the tidy tables: a site that begins like a
// formula is defused, one that is not UTF-8 is percent-encoded, so the
// tables are valid UTF-8 and open in a spreadsheet without running
// anything; error lines show control characters in a name as escapes.
TEST_F(BatchFixture, NamesFromTheDataAreSafeInTablesAndErrorLines) {
  const std::string alder = example();
  const std::string formula = dir.file("=1+2.FHX");
  const std::string latin1 = dir.file("caf\xE9.FHX");
  std::filesystem::copy_file(alder, formula);
  std::filesystem::copy_file(alder, latin1);
  ASSERT_EQ(run({"--csv", "--multi-site", "sites.csv", "--full-names", "--no-spreadsheets", "-n",
                 "5", "-o", dir.path(), formula, latin1}),
            0) << err;
  const auto sites = testing::splitLines(dir.read("sites.csv"));
  ASSERT_EQ(sites.size(), 3u);
  EXPECT_EQ(sites[1].rfind("\"'=1+2\"," + formula + ",", 0), 0u) << sites[1];
  EXPECT_EQ(sites[2].rfind("caf%E9," + percentEncoded(latin1) + ",", 0), 0u) << sites[2];
  EXPECT_TRUE(isValidUtf8(dir.read("sites.csv")));
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    if (entry.path().extension() != ".csv" || entry.path().filename() == "sites.csv") continue;
    const std::string table = dir.read(entry.path().filename().string());
    EXPECT_TRUE(isValidUtf8(table)) << entry.path();
    const auto row = testing::splitLines(table).at(1);
    EXPECT_TRUE(row.rfind("\"'=1+2\",", 0) == 0 || row.rfind("caf%E9,", 0) == 0) << row;
  }

  const std::string control = dir.file("a\x1b[2Jb.FHX");
  ASSERT_EQ(run({"-o", dir.path(), control}), 1);
  EXPECT_EQ(err.find('\x1b'), std::string::npos) << err;
  EXPECT_EQ(err.rfind("rova: " + dir.file("a\\x1b[2Jb.FHX") + ": ", 0), 0u) << err;
}

// Standard output and error on one terminal, as a person sees them: what
// both write, in the order written.
struct SharedTerminal : TextStream {
  SharedTerminal(std::string& screen, bool terminal) : screen(screen), terminal(terminal) {}
  void write(const std::string& text) override { screen += text; }
  bool flush() override { return true; }
  bool isTerminal() const override { return terminal; }
  std::string& screen;
  bool terminal;
};

// The progress line ends before the first file name is written.
TEST_F(BatchFixture, ProgressLineEndsBeforeTheFileNames) {
  const std::string file = example();
  std::string screen;
  SharedTerminal out(screen, true), errors(screen, true);
  const CommandLine line = parseCommandLine({"-n", "20", "-f", "-o", dir.path(), file});
  clock.step = 100;
  ASSERT_EQ(runBatch(line.options, files, clock, commands, ConfigLocations{}, BatchStreams{out, errors}),
            0);
  const std::size_t name = screen.find(dir.file("ALDERRVA.OUT"));
  ASSERT_NE(name, std::string::npos) << screen;
  ASSERT_GT(name, 0u);
  EXPECT_EQ(screen[name - 1], '\n') << screen.substr(0, name);
}

// --multi-site: an absolute name stands as it is beside -o, and a clash
// with another output says to rename the table.
TEST_F(BatchFixture, MultiSiteAbsoluteNameAndItsClashHint) {
  const std::string alder = example();
  TemporaryDirectory elsewhere;
  const std::string outputs = dir.file("out");
  std::filesystem::create_directory(outputs);
  ASSERT_EQ(run({"--multi-site", elsewhere.file("sites.csv"), "-n", "5", "-o", outputs, alder}), 0)
      << err;
  EXPECT_TRUE(elsewhere.exists("sites.csv"));
  EXPECT_NE(out.find(elsewhere.file("sites.csv") + "\n"), std::string::npos) << out;

  EXPECT_EQ(run({"--multi-site", "ALDERRVA.OUT", "-f", "-n", "5", "-o", outputs, alder}), 2);
  EXPECT_EQ(err, "rova: " + alder + " and --multi-site would both write ALDERRVA.OUT; give "
                 "--multi-site a name that no other output has\n");
}

// The real file system, counting the reads of every file.
struct CountingFiles : PosixFileSystem {
  bool readAll(const std::string& name, std::string& bytes, std::string& error) override {
    ++reads[name];
    return PosixFileSystem::readAll(name, bytes, error);
  }
  std::map<std::string, int> reads;
};

// Planning needs a FILE's name and options, and its format only with
// --injuries: without it every FILE is read once, by its run.
TEST_F(BatchFixture, EachFileIsReadOnceUnlessItsFormatNamesTheOutputs) {
  const std::string alder = example();
  dir.write("EVENTS.TXT", " 1800 0 1\n 1801 1 0\n 1802 0 0\n");
  CountingFiles counting;
  auto batch = [&](std::vector<std::string> arguments) {
    const CommandLine line = parseCommandLine(arguments);
    testing::StringStream o, e;
    const int status = runBatch(line.options, counting, clock, commands, ConfigLocations{},
                                BatchStreams{o, e});
    err = e.text;
    return status;
  };
  ASSERT_EQ(batch({"-q", "-f", "-n", "5", "-o", dir.path(), alder, dir.file("EVENTS.TXT")}), 0) << err;
  EXPECT_EQ(counting.reads[alder], 1);
  EXPECT_EQ(counting.reads[dir.file("EVENTS.TXT")], 1);
  // With --injuries the format decides the letter: Fire Events get F.
  counting.reads.clear();
  ASSERT_EQ(batch({"-q", "-f", "-I", "-n", "5", "-o", dir.path(), alder, dir.file("EVENTS.TXT")}), 0)
      << err;
  EXPECT_EQ(counting.reads[alder], 2);
  EXPECT_TRUE(dir.exists("ALDERRVADI.XL1"));
  EXPECT_TRUE(dir.exists("EVENTRVADF.XL1"));
}

}  // namespace
}  // namespace rova

namespace rova {
namespace {

// A chart of more spans than a page can show is refused before the
// analysis, with the reason and no file written; up to the limit it is
// drawn, and the same segments without --plot run as ever.
TEST_F(BatchFixture, AChartOfTooManySpansIsRefusedBeforeTheAnalysis) {
  const std::string data = example();  // 1600-1990
  auto outputs = [&] {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      if (entry.path().filename() != "ALDER.FHX") names.push_back(entry.path().filename());
    return names;
  };
  // Segments of 7 years with a lag of 7: 56 spans.
  ASSERT_EQ(run({"-n", "5", "-s", "3", "--plot", "--segment-length", "7", "--segment-lag", "7",
                 "-o", dir.path(), data}),
            1);
  EXPECT_NE(err.find("a chart of 56 spans would not be readable (at most 48 panels)"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("Simulation"), std::string::npos) << err;
  EXPECT_EQ(outputs(), std::vector<std::string>{});
  // Segments of 8 with a lag of 8: 48 spans, one chart.
  ASSERT_EQ(run({"-q", "-n", "5", "-s", "3", "--plot", "--no-spreadsheets", "--segment-length", "8",
                 "--segment-lag", "8", "-o", dir.path(), data}),
            0)
      << err;
  EXPECT_TRUE(std::filesystem::exists(dir.file("ALDERRVADF.svg")));
  ASSERT_EQ(run({"-q", "-f", "-n", "5", "-s", "3", "--segment-length", "7", "--segment-lag", "7",
                 "-o", dir.path(), data}),
            0)
      << err;
}

// The dialogue's option 7 and the command line fill one request, and the
// run writes the same tables from it: the tidy CSV, the adequacy table,
// the per-year table and the metadata are byte for byte those of batch
// mode, but the metadata's command line (none in the dialogue).
TEST(OutputRoad, DialogueOptionSevenWritesTheTablesOfBatchMode) {
  const std::string example = std::string(ROVA_SOURCE_DIR) + "/examples/ALDER.FHX";
  testing::DialogueRun dialogue(LocalTime{2026, 12, 8, 10, 30, 0});
  std::filesystem::copy_file(example, dialogue.dir.file("ALDER.FHX"));
  // Job, input, title; option 3 (simulations, seed); option 7 (tables yes,
  // no chart, intervals yes); proceed; the closing prompt.
  ASSERT_EQ(dialogue.run({"AB", "ALDER.FHX", "x", "3", "100", "12345", "7", "Y", "", "Y", "", ""}),
            0);
  EXPECT_TRUE(dialogue.terminal.showed("7  Tables, metadata and chart"));
  EXPECT_TRUE(dialogue.terminal.showed("ABRVADF-years.csv  table, metadata or chart"));
  // The batch run in its folder, so that the input is named as in the
  // dialogue (the report and the metadata name it).
  testing::BatchRun batch;
  std::filesystem::copy_file(example, batch.dir.file("ALDER.FHX"));
  const std::filesystem::path here = std::filesystem::current_path();
  std::filesystem::current_path(batch.dir.path());
  const int status = batch.run({"-j", "AB", "-t", "x", "-n", "100", "-s", "12345", "--csv",
                                "--intervals", "ALDER.FHX"});
  std::filesystem::current_path(here);
  ASSERT_EQ(status, 0) << batch.err;
  for (const char* name : {"ABRVADF.csv", "ABRVADF-adequacy.csv", "ABRVADF-years.csv",
                           "ABRVA.OUT", "ABRVADF.XL1"}) {
    ASSERT_TRUE(dialogue.dir.exists(name)) << name;
    EXPECT_TRUE(dialogue.dir.read(name) == batch.dir.read(name)) << name << " differs";
  }
  // The metadata: the batch run records its command line; nothing else
  // differs.
  const std::string fromBatch = batch.dir.read("ABRVADF.json");
  const std::string fromDialogue = dialogue.dir.read("ABRVADF.json");
  auto withoutCommandLine = [](std::string json) {
    const std::size_t from = json.find("\"command_line\"");
    const std::size_t to = json.find("],", from);
    if (from == std::string::npos || to == std::string::npos) return std::string("no command line");
    return json.erase(from, to + 2 - from);
  };
  EXPECT_NE(fromBatch.find("\"--intervals\""), std::string::npos);
  EXPECT_NE(fromDialogue.find("\"command_line\": []"), std::string::npos);
  EXPECT_EQ(withoutCommandLine(fromDialogue), withoutCommandLine(fromBatch));
  EXPECT_NE(fromDialogue.find("\"input_file\": \"ALDER.FHX\","), std::string::npos);
}

}  // namespace
}  // namespace rova

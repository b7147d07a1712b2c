// The simulation tables and spreadsheet rows as they print, from values made
// by hand.
#include "report/simulation_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rova {
namespace {

std::string repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

const std::vector<std::string> kHeaderAfterTitle{
    "",
    " Observed                  95% conf        99% conf       99.9% conf       95% conf"
    "        99% conf",
    "  no of  Mean   St dev    limits  +/-     limits  +/-     limits  +/-  "
    "   Percentiles     Percentiles  ",
    "  trees events           1.960 st dev    2.575 st dev    3.294 st dev"
    "     2.5%   97.5%    0.5%   99.5%",
    "  ----- ------  ------  --------------  --------------  --------------"
    "    ------------    ------------",
};

std::vector<std::string> header(const std::string& title) {
  std::vector<std::string> lines{"", " " + std::string(131, '-'), "", title};
  lines.insert(lines.end(), kHeaderAfterTitle.begin(), kHeaderAfterTitle.end());
  return lines;
}

std::vector<std::string> tableOf(const SampleSizeResult& result) {
  std::vector<std::string> lines;
  writeSimulationTable(result, [&lines](const std::string& line) { lines.push_back(line); });
  return lines;
}

ResultRow rowWith(int s, int k, float value) {
  ResultRow row;
  row.firstYear = 2000;
  row.lastYear = 2003;
  row.sampleSize = s;
  row.threshold = k;
  row.simulations = 10;
  row.mean = value;
  row.limits.fill(value);
  row.percentiles.fill(value);
  return row;
}

SampleSizeResult resultWith(int s, int simulations, bool observed, std::vector<ResultRow> rows) {
  SampleSizeResult r;
  r.firstYear = 2000;
  r.lastYear = 2003;
  r.sampleSize = s;
  r.simulations = simulations;
  r.observed = observed;
  r.rows = std::move(rows);
  return r;
}

TEST(SimulationReport, SimulationRowsWithHeaderAndSpreadsheetRows) {
  const SampleSizeResult r = resultWith(2, 10, false, {rowWith(2, 1, 100.0f), rowWith(2, 2, 100.0f)});
  std::vector<std::string> expected =
      header(" FIRE EVENTS PER CENTURY in   2 trees over time span  2000 to  2003 (   4 years)");
  expected.push_back("    1  100.000   0.000" + repeated(" 100.000", 10));
  expected.push_back("    2  100.000   0.000" + repeated(" 100.000", 10));
  EXPECT_EQ(tableOf(r), expected);
  EXPECT_EQ(spreadsheetRow(r.rows[0]), "    2\t 2000\t 2003\t    1" + repeated("\t100.000", 11));
  EXPECT_EQ(spreadsheetRow(r.rows[1]), "    2\t 2000\t 2003\t    2" + repeated("\t100.000", 11));
}

TEST(SimulationReport, EveryValueInItsColumnAndTheSdOnlyInTheReport) {
  ResultRow row = rowWith(7, 1, 12.5f);
  row.sd = 1.25f;
  row.limits = {1, 2, 3, 4, 5, 6};
  row.percentiles = {7, 8, 9, 10.0006f};
  const std::vector<std::string> lines = tableOf(resultWith(7, 10, false, {row}));
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[9],
            "    1   12.500   1.250   1.000   2.000   3.000   4.000   5.000   6.000   7.000   8.000"
            "   9.000  10.001");
  EXPECT_EQ(spreadsheetRow(row),
            "    7\t 2000\t 2003\t    1\t 12.500\t  1.000\t  2.000\t  3.000\t  4.000\t  5.000"
            "\t  6.000\t  7.000\t  8.000\t  9.000\t 10.001");
  // Too wide for the field: asterisks.
  row.mean = 123456.0f;
  EXPECT_EQ(tableOf(resultWith(7, 10, false, {row}))[9].substr(0, 14), "    1 ********");
  EXPECT_EQ(spreadsheetRow(row).substr(23, 8), "\t*******");
}

TEST(SimulationReport, ObservedRowsSayAllTrees) {
  ResultRow one = rowWith(2, 1, 20.0f);
  ResultRow two = rowWith(2, 2, 10.0f);
  one.observed = two.observed = true;
  one.simulations = two.simulations = 1;
  const std::vector<std::string> lines = tableOf(resultWith(2, 1, true, {one, two}));
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[9], "    1   20.000    All trees");
  EXPECT_EQ(lines[10], "    2   10.000    All trees");
  EXPECT_EQ(spreadsheetRow(one), "    2\t 2000\t 2003\t    1" + repeated("\t 20.000", 11));
}

TEST(SimulationReport, NoSimulationsRunOnePerThresholdOfTheSize) {
  std::vector<std::string> expected =
      header(" FIRE EVENTS PER CENTURY in   1 trees over time span  2000 to  2003 (   4 years)");
  expected.push_back("    1   No simulations were run");
  EXPECT_EQ(tableOf(resultWith(1, 0, false, {})), expected);

  const std::vector<std::string> two = tableOf(resultWith(5, -3, false, {}));
  ASSERT_EQ(two.size(), 11u);
  EXPECT_EQ(two[9], "    1   No simulations were run");
  EXPECT_EQ(two[10], "    2   No simulations were run");
}

// The report file holds what the line sink gets, each line without its
// trailing blanks and with a line end; the table appended in one piece
// must be that text, after whatever the text held before. The tables
// cover simulations, the observed value, no simulations, negative and
// too-wide values, years before 0 and a span of one year.
TEST(SimulationReport, TheTableInOnePieceIsTheReportsTextOfItsLines) {
  ResultRow wide = rowWith(150, 1, -0.0004f);
  wide.sd = 99999.5f;
  wide.limits = {-195998.5f, 196000.0f, -99.9996f, 999.9995f, 1e30f, -1e-30f};
  wide.percentiles = {0.0625f, 0.1875f, 2.0005f, -12345.678f};
  ResultRow observed = rowWith(200, 1, 20.0f);
  ResultRow observed2 = rowWith(200, 2, 7.125f);
  observed.observed = observed2.observed = true;
  SampleSizeResult early = resultWith(150, 10, false, {wide, rowWith(150, 2, 33.3333f)});
  early.firstYear = -2065;
  early.lastYear = -2065;
  const std::vector<SampleSizeResult> results{
      early, resultWith(200, 1, true, {observed, observed2}), resultWith(1, 10, false, {rowWith(1, 1, 5.5f)}),
      resultWith(3, 0, false, {}), resultWith(9999, 10, false, {rowWith(9999, 1, 1.0f)})};
  std::string expected = "text before\n";
  std::string text = expected;
  for (const SampleSizeResult& r : results) {
    for (const std::string& line : tableOf(r)) {
      expected += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
    }
    appendSimulationTable(r, text);
  }
  EXPECT_EQ(text, expected);
  // The column heads' line ends in blanks that the report does not keep.
  EXPECT_NE(text.find("   Percentiles     Percentiles\n  trees"), std::string::npos);
}

TEST(SimulationReport, SpreadsheetRowsAppendedWithTheirLineEnds) {
  ResultRow row = rowWith(12, 2, 45.678f);
  row.firstYear = -2065;
  row.limits[0] = -1234.5f;
  std::string text = "earlier row\n";
  appendSpreadsheetRow(row, text);
  appendSpreadsheetRow(rowWith(3, 1, 0.0f), text);
  EXPECT_EQ(text, "earlier row\n" + spreadsheetRow(row) + "\n" +
                      spreadsheetRow(rowWith(3, 1, 0.0f)) + "\n");
  EXPECT_EQ(spreadsheetRow(row), "   12\t-2065\t 2003\t    2\t 45.678\t*******" +
                                     repeated("\t 45.678", 9));
}

}  // namespace
}  // namespace rova

// The run title and the input file name on their way into the files of a
// run: cut on character boundaries, control characters shown as "_" in the
// report, escaped in the metadata, left out of the chart's XML.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/batch_run.h"
#include "format/utf8.h"
#include "platform/posix_platform.h"
#include "tests/batch_run.h"
#include "tests/dialogue_run.h"
#include "tests/test_support.h"

namespace rova {
namespace {

const char* const kData = "FHX2 FORMAT\n1700 2 1\nab\n\nU|\n||\n|U\nUU\n";
const std::string kEuro = "\xE2\x82\xAC";  // 3 bytes

// The report's title line, or "" when there is none.
std::string titleLine(const std::string& report) {
  const std::string lead = "\n Title of run:     ";
  const auto at = report.find(lead);
  if (at == std::string::npos) return "";
  return report.substr(at + lead.size(), report.find('\n', at + 1) - at - lead.size());
}

struct DialogueTitle : ::testing::Test, testing::DialogueRun {};

TEST_F(DialogueTitle, TheTitleIsCutBeforeACharacterThatDoesNotFitWhole) {
  dir.write("D.FHX", kData);
  // A 3-byte character from byte 59 on: the field keeps 58 bytes.
  ASSERT_EQ(run({"A", "D.FHX", std::string(58, 'a') + kEuro + "tail", ""}), 0);
  EXPECT_EQ(titleLine(dir.read("ARVA.OUT")), std::string(58, 'a'));
  // One that ends exactly at byte 60 is kept.
  ASSERT_EQ(run({"B", "D.FHX", std::string(57, 'b') + kEuro + "tail", ""}), 0);
  EXPECT_EQ(titleLine(dir.read("BRVA.OUT")), std::string(57, 'b') + kEuro);
  // ASCII is cut at 60 bytes as ever.
  ASSERT_EQ(run({"C", "D.FHX", "Mixed Case " + std::string(60, 'c'), ""}), 0);
  EXPECT_EQ(titleLine(dir.read("CRVA.OUT")), "Mixed Case " + std::string(49, 'c'));
  for (const char* report : {"ARVA.OUT", "BRVA.OUT", "CRVA.OUT"})
    EXPECT_TRUE(isValidUtf8(dir.read(report))) << report;
}

TEST_F(DialogueTitle, ControlCharactersAreShownAsUnderscores) {
  dir.write("D.FHX", kData);
  ASSERT_EQ(run({"A", "D.FHX", "A\tB\x1b[31mC\x7f" "D\x01", ""}), 0);
  EXPECT_EQ(titleLine(dir.read("ARVA.OUT")), "A_B_[31mC_D_");
  // Two leading control characters are not two blanks: the title is shown.
  ASSERT_EQ(run({"B", "D.FHX", "\t\tx", ""}), 0);
  EXPECT_EQ(titleLine(dir.read("BRVA.OUT")), "__x");
}

struct BatchTitle : ::testing::Test, testing::BatchRun {
  using BatchRun::run;
  int run(const std::string& name, std::vector<std::string> arguments) {
    dir.write(name, kData);
    for (const char* a : {"--csv", "--plot", "--force", "-q", "-n", "3", "-s", "1", "-o"})
      arguments.push_back(a);
    arguments.push_back(dir.path());
    arguments.push_back(dir.file(name));
    return run(arguments);
  }
};

TEST_F(BatchTitle, ACutIsSaidOnOneLineNamingTheFile) {
  ASSERT_EQ(run("T.FHX", {"--title", std::string(58, 't') + kEuro + "x"}), 0);
  EXPECT_EQ(err, "rova: " + dir.file("T.FHX") +
                     ": Title cut to its first 58 of 62 bytes: a title holds 60 bytes, and a "
                     "character is never split\n");
  EXPECT_EQ(titleLine(dir.read("TRVA.OUT")), std::string(58, 't'));
  EXPECT_NE(dir.read("TRVADF.json").find("\"title\": \"" + std::string(58, 't') + "\",\n"),
            std::string::npos);

  // Nothing lost, nothing said: 60 bytes, or blanks after them.
  for (const std::string& title : {std::string(60, 'u'), std::string(60, 'u') + "     "}) {
    ASSERT_EQ(run("T.FHX", {"--title", title}), 0);
    EXPECT_EQ(err, "");
    EXPECT_EQ(titleLine(dir.read("TRVA.OUT")), std::string(60, 'u'));
  }
  ASSERT_EQ(run("T.FHX", {"--title", std::string(61, 'v')}), 0);
  EXPECT_NE(err.find("Title cut to its first 60 of 61 bytes"), std::string::npos) << err;
}

TEST_F(BatchTitle, ControlCharactersAndOddNamesInEveryFile) {
  const std::string name = "odd\x01" "caf\xE9.fhx";  // a control character and a Latin-1 é
  ASSERT_EQ(run(name, {"--title", "say \"hi\"\x1b[2J\tthere", "--job", "ODD"}), 0) << err;
  const std::string report = dir.read("ODDRVA.OUT");
  EXPECT_EQ(titleLine(report), "say \"hi\"_[2J_there");
  EXPECT_NE(report.find(" Fire events file: " + dir.path() + "/odd_caf\xE9.fhx\n"),
            std::string::npos);

  const std::string json = dir.read("ODDRVADF.json");
  EXPECT_NE(json.find("\"title\": \"say \\\"hi\\\"\\u001b[2J\\tthere\",\n"), std::string::npos)
      << json;
  EXPECT_NE(json.find("\"input_file\": null,\n  \"input_file_bytes\": \"" +
                      percentEncoded(dir.file(name)) + "\",\n"),
            std::string::npos)
      << json;
  EXPECT_NE(percentEncoded(dir.file(name)).find("/odd%01caf%E9.fhx"), std::string::npos);

  const std::string svg = dir.read("ODDRVADF.svg");
  EXPECT_EQ(svg.find('\x01'), std::string::npos);
  if (std::filesystem::exists("/usr/bin/xmllint")) {
    const std::string command = "/usr/bin/xmllint --noout '" + dir.file("ODDRVADF.svg") + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }
}

// Series identifiers come from the file's columns: a control character in
// one is shown as "_" in the report's series list.
TEST_F(BatchTitle, ControlCharactersInSeriesIdentifiersAreShownAsUnderscores) {
  dir.write("T.FHX", "FHX2 FORMAT\n1800 2 1\na\x1b\n\nU|\n|U\n");
  ASSERT_EQ(run(std::vector<std::string>{"--force", "-q", "-n", "3", "-o", dir.path(), dir.file("T.FHX")}), 0);
  const std::string report = dir.read("TRVA.OUT");
  EXPECT_NE(report.find("\n   2  _          1800   1801"), std::string::npos) << report;
  EXPECT_EQ(report.find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace rova

// The analysis computes values and leaves every text to the layers above
// it: its sources include only its own headers and those of platform/,
// records/ and input/, never the field formatting of format/. (The layer
// check of the suite allows format/ to every layer; this is the analysis'
// own, narrower rule.)
//
// The lines are read by a few character tests rather than std::regex, whose
// templates made this one test take about a minute to compile.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace rova {
namespace {

// The folder of a quoted include with a folder, `#include "folder/name.h"`
// (blanks allowed around the `#`), or "" when the line is no such include.
std::string includedFolder(const std::string& line) {
  std::size_t at = 0;
  const auto skipBlanks = [&] {
    while (at < line.size() && std::isspace(static_cast<unsigned char>(line[at]))) ++at;
  };
  skipBlanks();
  if (at >= line.size() || line[at] != '#') return "";
  ++at;
  skipBlanks();
  if (line.compare(at, 7, "include") != 0) return "";
  at += 7;
  skipBlanks();
  if (at >= line.size() || line[at] != '"') return "";
  const std::size_t begin = ++at;
  while (at < line.size() && line[at] != '"' && line[at] != '/') ++at;
  if (at >= line.size() || line[at] != '/' || at == begin) return "";
  const std::size_t slash = at;
  const std::size_t close = line.find('"', slash + 1);
  if (close == std::string::npos || close == slash + 1) return "";
  return line.substr(begin, slash - begin);
}

TEST(AnalysisIncludes, ReadsTheFolderOfEveryQuotedIncludeWithAFolder) {
  EXPECT_EQ(includedFolder("#include \"format/fields.h\""), "format");
  EXPECT_EQ(includedFolder("  #  include   \"records/fire_history.h\"  // why"), "records");
  EXPECT_EQ(includedFolder("\t#include\t\"a/b/c.h\""), "a");
  EXPECT_EQ(includedFolder("#include\"format/x.h\""), "format");
  EXPECT_EQ(includedFolder("#include \"own_header.h\""), "");
  EXPECT_EQ(includedFolder("#include <vector>"), "");
  EXPECT_EQ(includedFolder("#include <format/x.h>"), "");
  EXPECT_EQ(includedFolder("#include \"format/\""), "");
  EXPECT_EQ(includedFolder("#include \"/abs.h\""), "");
  EXPECT_EQ(includedFolder("#include \"format/x.h"), "");
  EXPECT_EQ(includedFolder("// #include \"format/x.h\""), "");
  EXPECT_EQ(includedFolder("#define include \"format/x.h\""), "");
  EXPECT_EQ(includedFolder(""), "");
}

TEST(AnalysisIncludes, OnlyItsOwnPlatformRecordsAndInputHeaders) {
  const std::set<std::string> allowed{"analysis", "platform", "records", "input"};
  std::vector<std::string> offences;
  int files = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(ROVA_SOURCE_DIR) + "/analysis")) {
    const std::string name = entry.path().filename().string();
    const std::string ext = entry.path().extension().string();
    if (ext != ".h" && ext != ".cc") continue;
    ++files;
    const bool isTest = name.size() > 8 && name.compare(name.size() - 8, 8, "_test.cc") == 0;
    std::ifstream in(entry.path());
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      const std::string folder = includedFolder(line);
      if (folder.empty()) continue;
      if (allowed.count(folder) || (isTest && folder == "tests")) continue;
      offences.push_back(name + ":" + std::to_string(number) + ": " + line);
    }
  }
  EXPECT_GT(files, 5);
  EXPECT_EQ(offences, std::vector<std::string>{});
}

}  // namespace
}  // namespace rova

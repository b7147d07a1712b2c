// The analysis computes values and leaves every text to the layers above
// it: its sources include only its own headers and those of platform/,
// records/ and input/, never the field formatting of format/. (The layer
// check of the suite allows format/ to every layer; this is the analysis'
// own, narrower rule.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace rova {
namespace {

TEST(AnalysisIncludes, OnlyItsOwnPlatformRecordsAndInputHeaders) {
  const std::set<std::string> allowed{"analysis", "platform", "records", "input"};
  const std::regex include(R"(^\s*#\s*include\s+"([^"/]+)/[^"]+")");
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
      std::smatch match;
      if (!std::regex_search(line, match, include)) continue;
      if (allowed.count(match[1]) || (isTest && match[1] == "tests")) continue;
      offences.push_back(name + ":" + std::to_string(number) + ": " + line);
    }
  }
  EXPECT_GT(files, 5);
  EXPECT_EQ(offences, std::vector<std::string>{});
}

}  // namespace
}  // namespace rova

#include "tests/test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace rova::testing {

std::vector<std::string> ScriptedTerminal::shown() const {
  std::vector<std::string> out;
  for (const auto& r : records) out.push_back(r.empty() ? r : r.substr(1));
  return out;
}

bool ScriptedTerminal::showed(const std::string& text) const {
  for (const auto& r : records)
    if (r.find(text) != std::string::npos) return true;
  return false;
}

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "rova-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void TemporaryDirectory::write(const std::string& name, const std::string& contents) const {
  std::ofstream(file(name), std::ios::binary) << contents;
}

std::string TemporaryDirectory::read(const std::string& name) const {
  std::ifstream in(file(name), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool TemporaryDirectory::exists(const std::string& name) const {
  return std::filesystem::exists(file(name));
}

std::string realDataDirectory() {
#ifdef ROVA_SHARED_DATA_DIR
  std::string dir = std::string(ROVA_SHARED_DATA_DIR) + "/fhx";
  if (std::filesystem::is_directory(dir)) return dir;
#endif
  return "";
}

std::string realDataMissing() {
#ifdef ROVA_SHARED_DATA_DIR
  return std::string("no real fire-history files: no folder ") + ROVA_SHARED_DATA_DIR +
         "/fhx (the shared data beside the source folder)";
#else
  return "no real fire-history files: the build names no shared data folder";
#endif
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace rova::testing

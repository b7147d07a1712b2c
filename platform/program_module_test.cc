#include "platform/program_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/posix_platform.h"
#include "tests/test_support.h"

namespace rova {
namespace {

using testing::TemporaryDirectory;

std::string bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Loads the module at `path` in a child process and ends it with 0 when it
// was refused with `expected` in the reason.
void loadExpectingRefusal(const std::string& path, const std::string& expected) {
  std::string error;
  void* address = moduleSymbolAt(path, "rova_chart_build", "any build", "rova_chart_draw", error);
  std::fprintf(stderr, "%s\n", error.c_str());
  _exit(address == nullptr && error.find(expected) != std::string::npos ? 0 : 1);
}

// The chart module cut short anywhere past its header (a copy or a
// download that stopped) is refused with a message, never loaded: loading
// it would end the program with a bus error.
TEST(ProgramModuleDeathTest, AModuleCutShortIsRefusedNotLoaded) {
  const std::string program = currentExecutablePath();
  const std::string module = program.substr(0, program.find_last_of('/') + 1) + "rova-chart.so";
  const std::string whole = bytesOf(module);
  if (whole.empty()) GTEST_SKIP() << "the chart module is not built beside " << program;
  TemporaryDirectory dir;
  for (std::size_t size : {whole.size() / 2, whole.size() * 9 / 10, whole.size() - 1, std::size_t{100}}) {
    dir.write("rova-chart.so", whole.substr(0, size));
    EXPECT_EXIT(loadExpectingRefusal(dir.file("rova-chart.so"), "cut short"),
                ::testing::ExitedWithCode(0), "")
        << size << " of " << whole.size() << " bytes";
  }
}

// Another program's library of this machine, and a file that is no library
// at all, are refused before loading: loading runs a library's own code.
TEST(ProgramModuleDeathTest, AForeignFileIsRefusedNotLoaded) {
  Dl_info info{};
  ASSERT_NE(::dladdr(reinterpret_cast<void*>(&::dlopen), &info), 0);
  TemporaryDirectory dir;
  dir.write("rova-chart.so", bytesOf(info.dli_fname));
  EXPECT_EXIT(loadExpectingRefusal(dir.file("rova-chart.so"), "not a module of this program"),
              ::testing::ExitedWithCode(0), "");
  dir.write("rova-chart.so", "#!/bin/sh\necho not a library\n");
  EXPECT_EXIT(loadExpectingRefusal(dir.file("rova-chart.so"), "not a shared library"),
              ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace rova

// A batch run of the real program logic on a temporary directory: the
// command line parsed as main parses it, a fixed clock, the real file
// system, and standard output and error kept as text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/batch_run.h"
#include "cli/command_line.h"
#include "platform/posix_platform.h"
#include "tests/test_support.h"

namespace rova::testing {

struct BatchRun {
  // Runs rova with the arguments; returns its exit status and keeps what
  // it wrote in `out` and `err`.
  int run(const std::vector<std::string>& arguments) {
    const CommandLine line = parseCommandLine(arguments);
    EXPECT_EQ(line.error, "");
    StringStream o;
    StringStream e;
    e.terminal = errIsTerminal;
    const int status = runBatch(line.options, files, clock, commands, ConfigLocations{},
                                BatchStreams{o, e});
    out = o.text;
    err = e.text;
    return status;
  }

  TemporaryDirectory dir;
  PosixFileSystem files;
  FixedClock clock{LocalTime{2026, 12, 8, 10, 30, 0}};
  RecordingInterpreter commands;
  bool errIsTerminal = false;  // standard error as a terminal: progress is shown
  std::string out, err;
};

}  // namespace rova::testing

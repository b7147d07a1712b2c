#include "cli/program.h"

#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "platform/memory_file_system.h"
#include "tests/test_support.h"

namespace rova {
namespace {

// The dispatcher on a scripted platform: the streams it writes to, the
// keyboard the dialogue reads.
struct ProgramRun {
  int run(const std::vector<std::string>& arguments, std::vector<std::string> answers = {},
          bool colours = false) {
    terminal = testing::ScriptedTerminal(std::move(answers));
    Platform platform{terminal, files, clock, commands, ConfigLocations{}, colours};
    testing::StringStream o;
    testing::StringStream e;
    const int status = runProgram(arguments, platform, BatchStreams{o, e});
    out = o.text;
    err = e.text;
    return status;
  }
  testing::ScriptedTerminal terminal;
  MemoryFileSystem files;
  testing::FixedClock clock{LocalTime{2026, 12, 9, 12, 0, 0}};
  testing::RecordingInterpreter commands;
  std::string out, err;
};

// Help and version on standard output; a command line that cannot be used
// is one line on standard error and status 2; no arguments is the dialogue,
// which ends the screen's colours on standard output when it had them.
TEST(Program, DispatchesOnItsArguments) {
  ProgramRun p;
  EXPECT_EQ(p.run({"--version"}), 0);
  EXPECT_EQ(p.out, versionText());
  EXPECT_EQ(p.run({"-h"}), 0);
  EXPECT_EQ(p.out, usageText());
  EXPECT_EQ(p.err, "");
  EXPECT_EQ(p.run({"--no-such-option", "a"}), 2);
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err.rfind("rova: ", 0), 0u);
  EXPECT_NE(p.err.find(" (see rova --help)\n"), std::string::npos);
  // A file that is not there: batch mode says so and fails the run.
  EXPECT_EQ(p.run({"missing.fhx"}), 1);
  EXPECT_NE(p.err.find("rova: missing.fhx: "), std::string::npos);
  // The dialogue: "/" at the job identifier ends it.
  EXPECT_EQ(p.run({}, {"/"}, true), 0);
  EXPECT_TRUE(p.terminal.showed("P R O G R A M     R O V A"));
  EXPECT_EQ(p.out, "\x1b[0m");
  EXPECT_EQ(p.run({}, {"/"}, false), 0);
  EXPECT_EQ(p.out, "");
}

}  // namespace
}  // namespace rova

// A whole dialogue of the real program in a temporary directory, where
// every file name the dialogue gives without a folder lands: scripted
// answers, a fixed clock, the real file system and a command interpreter
// that records.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "run/run_driver.h"
#include "platform/posix_platform.h"
#include "tests/test_support.h"

namespace rova::testing {

struct DialogueRun {
  explicit DialogueRun(LocalTime time = LocalTime{2026, 12, 8, 9, 0, 0}) : clock(time) {}

  // Runs the dialogue on the answers; returns its exit status.
  int run(std::vector<std::string> answers, bool coloursAllowed = true, bool person = true) {
    terminal = ScriptedTerminal(std::move(answers));
    terminal.person = person;
    Platform platform{terminal, folderFiles, clock, commands, ConfigLocations{}, coloursAllowed};
    return runRova(platform);
  }

  // True when a screen record or an error message contains the text.
  bool said(const std::string& text) const {
    if (terminal.showed(text)) return true;
    for (const auto& e : terminal.errors)
      if (e.find(text) != std::string::npos) return true;
    return false;
  }

  TemporaryDirectory dir;
  FixedClock clock;
  RecordingInterpreter commands;
  PosixFileSystem files;
  FolderFileSystem folderFiles{files, dir.path()};
  ScriptedTerminal terminal;
};

}  // namespace rova::testing

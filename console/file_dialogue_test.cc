#include "console/file_dialogue.h"

#include <gtest/gtest.h>

#include "platform/posix_platform.h"
#include "tests/test_support.h"

namespace rova {
namespace {

TEST(FileDialogue, PreviewShowsTwelveLinesCutWithControlCharactersMarked) {
  testing::ScriptedTerminal terminal;
  testing::RecordingInterpreter commands;
  Console console{terminal, commands};
  PosixFileSystem files;
  FileDialogue dialogue{console, files};
  std::string contents = "1700 0\t1\n" + std::string(100, 'x') + "\n";
  for (int i = 0; i < 15; ++i) contents += "line\n";
  InputText text(splitTextLines(contents));
  dialogue.showFileHead(text, 12);
  const auto shown = terminal.shown();
  ASSERT_EQ(shown.size(), 14u);
  EXPECT_EQ(shown[0], "First 12 lines");
  EXPECT_EQ(terminal.records[0][0], '+');
  EXPECT_EQ(shown[1], "1700 0_1" + std::string(71, ' '));
  EXPECT_EQ(shown[2], std::string(79, 'x'));
  EXPECT_EQ(shown[13].substr(0, 20), "....:....1....:....2");
  EXPECT_EQ(shown[13].size(), 80u);
  EXPECT_EQ(text.lineNumber(), 0u);
}

}  // namespace
}  // namespace rova

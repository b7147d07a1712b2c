#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/interrupts.h"
#include "platform/output_transaction.h"
#include "platform/posix_platform.h"
#include "tests/test_support.h"

namespace rova {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryDirectory;

int temporariesIn(const std::string& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.path().filename().string().rfind(".rova-", 0) == 0) ++count;
  return count;
}

TEST(PosixOutputFiles, TemporaryFilesLieBesideTheirFinalNameWithTheUsualPermissions) {
  TemporaryDirectory dir;
  PosixFileSystem files;
  const mode_t previous = ::umask(027);
  std::string first, second, error;
  auto a = files.createTemporary(dir.file("A.OUT"), first, error);
  auto b = files.createTemporary(dir.file("A.OUT"), second, error);
  ::umask(previous);
  ASSERT_TRUE(a && b) << error;
  EXPECT_NE(first, second);
  EXPECT_EQ(fs::path(first).parent_path(), fs::path(dir.path()));
  struct stat info {};
  ASSERT_EQ(::stat(first.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_TRUE(a->close(error));
  EXPECT_TRUE(b->close(error));
  files.remove(first);
  files.remove(second);
}

// Bytes of any value, no line end added, in order with lines: small
// pieces that stay in the buffer, pieces that fill it past the size at
// which it is written out, and pieces of that size (a MiB) or more that are
// written without it, before and after buffered ones.
TEST(PosixOutputFiles, BytesAreWrittenAsTheyAre) {
  TemporaryDirectory dir;
  PosixFileSystem files;
  OutputTransaction outputs(files);
  OutputText* text = outputs.stage(dir.file("A.png"), false).text;
  ASSERT_NE(text, nullptr);
  const auto bytesOf = [](std::size_t size, int step) {
    std::string bytes(size, '\0');
    for (std::size_t k = 0; k < size; ++k) bytes[k] = static_cast<char>(k * step % 256);
    return bytes;
  };
  const std::size_t mib = std::size_t{1} << 20;
  const std::vector<std::string> pieces{
      bytesOf(200000, 7), "line\n", std::string("\0\r", 2), bytesOf(mib, 11),
      bytesOf(mib - 1, 13), "line\n", bytesOf(mib - 7, 3), bytesOf(3 * mib + 5, 5), "line\n"};
  std::string expected;
  for (const std::string& piece : pieces) {
    if (piece == "line\n") {
      text->writeLine("line");
    } else {
      text->write(piece);
    }
    expected += piece;
  }
  ASSERT_TRUE(outputs.commit().ok);
  EXPECT_TRUE(dir.read("A.png") == expected) << "the file differs from what was written";
}

TEST(PosixOutputFiles, ReplacingALinkReplacesTheLinkAndNotItsTarget) {
  TemporaryDirectory dir;
  dir.write("precious.txt", "not ROVA's\n");
  fs::create_symlink(dir.file("precious.txt"), dir.file("A.OUT"));
  PosixFileSystem files;
  OutputTransaction outputs(files);
  EXPECT_EQ(outputs.stage(dir.file("A.OUT"), false).refusal, OutputTransaction::Refusal::kExists);
  OutputText* text = outputs.stage(dir.file("A.OUT"), true).text;
  ASSERT_NE(text, nullptr);
  text->writeLine("report");
  ASSERT_TRUE(outputs.commit().ok);
  EXPECT_FALSE(fs::is_symlink(dir.file("A.OUT")));
  EXPECT_EQ(dir.read("A.OUT"), "report\n");
  EXPECT_EQ(dir.read("precious.txt"), "not ROVA's\n");
  EXPECT_EQ(temporariesIn(dir.path()), 0);
}

TEST(PosixOutputFiles, AnOutputThatLeadsToTheInputIsRefused) {
  TemporaryDirectory dir;
  dir.write("IN.FHX", "data\n");
  fs::create_symlink(dir.file("IN.FHX"), dir.file("L.OUT"));
  fs::create_hard_link(dir.file("IN.FHX"), dir.file("H.OUT"));
  PosixFileSystem files;
  OutputTransaction outputs(files);
  outputs.protect(dir.file("IN.FHX"));
  for (const char* name : {"IN.FHX", "L.OUT", "H.OUT"}) {
    EXPECT_EQ(outputs.stage(dir.file(name), true).refusal, OutputTransaction::Refusal::kInputFile)
        << name;
  }
  // The same file by another spelling of its folder.
  EXPECT_EQ(outputs.stage(dir.path() + "/./IN.FHX", true).refusal,
            OutputTransaction::Refusal::kInputFile);
}

// Starts an output, then takes Ctrl-C in the middle of writing it.
void interruptWhileWriting(const std::string& finalName) {
  installInterruptHandlers();
  PosixFileSystem files;
  std::string temporary, error;
  auto text = files.createTemporary(finalName, temporary, error);
  if (!text) _exit(3);
  text->writeLine("half a report");
  ::raise(SIGINT);
  _exit(4);
}

// The handler removes the temporary files whatever the length of their
// path, and nothing else.
TEST(PosixOutputFilesDeathTest, AnInterruptRemovesTemporariesOfAnyPathLength) {
  TemporaryDirectory dir;
  std::string folder = dir.path();
  for (char c : {'a', 'b', 'c', 'd'}) folder += "/" + std::string(200, c);
  fs::create_directories(folder);
  const std::string neighbour = folder + "/KEEP.TXT";
  dir.write(fs::relative(neighbour, dir.path()).string(), "keep\n");
  ASSERT_GT(folder.size(), 800u);

  EXPECT_EXIT(interruptWhileWriting(folder + "/A.OUT"), ::testing::ExitedWithCode(128 + SIGINT),
              "interrupted");
  EXPECT_EQ(temporariesIn(folder), 0);
  EXPECT_TRUE(fs::exists(neighbour));
}

TEST(PosixOutputFiles, CommandsRunWhileCtrlCAndQuitReachOnlyTheCommand) {
  testing::ScriptedTerminal terminal;
  ShellInterpreter shell(terminal);
  // Were the signals not ignored while the command runs, they would end
  // this test program.
  shell.run("kill -INT $PPID; kill -QUIT $PPID; exit 0");
  struct sigaction now {};
  sigaction(SIGINT, nullptr, &now);
  EXPECT_NE(now.sa_handler, SIG_IGN);  // ignored only while the command ran
}

}  // namespace
}  // namespace rova

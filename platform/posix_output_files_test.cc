#include <fcntl.h>
#include <linux/fs.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
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

  EXPECT_EXIT(interruptWhileWriting(folder + "/A.OUT"), ::testing::KilledBySignal(SIGINT),
              "interrupted");
  EXPECT_EQ(temporariesIn(folder), 0);
  EXPECT_TRUE(fs::exists(neighbour));
}

// Ctrl-C arrives as the first output is renamed into place.
class InterruptedAtFirstRename : public PosixFileSystem {
 public:
  bool rename(const std::string& from, const std::string& to, bool replace,
              std::string& error) override {
    if (!interrupted_) ::raise(SIGINT);
    interrupted_ = true;
    return PosixFileSystem::rename(from, to, replace, error);
  }

 private:
  bool interrupted_ = false;
};

void commitInterruptedAtFirstRename(const std::string& folder) {
  installInterruptHandlers();
  InterruptedAtFirstRename files;
  OutputTransaction outputs(files);
  for (const char* name : {"A.OUT", "A.XL1", "A.XL2"}) {
    OutputText* text = outputs.stage(folder + "/" + name, true).text;
    if (text == nullptr) _exit(3);
    text->writeLine("new");
  }
  outputs.commit();
  _exit(4);  // reached only when the interrupt was never acted on
}

// Once the first rename is made, the others follow; the interrupt is then
// acted on and says that the files are in place.
TEST(PosixOutputFilesDeathTest, AnInterruptDuringTheRenamesWaitsForTheLastOne) {
  TemporaryDirectory dir;
  for (const char* name : {"A.OUT", "A.XL1", "A.XL2"}) dir.write(name, "old\n");
  EXPECT_EXIT(commitInterruptedAtFirstRename(dir.path()), ::testing::KilledBySignal(SIGINT),
              "interrupted \\(Ctrl-C\\); the output files already written are whole and in place");
  for (const char* name : {"A.OUT", "A.XL1", "A.XL2"}) EXPECT_EQ(dir.read(name), "new\n") << name;
  EXPECT_EQ(temporariesIn(dir.path()), 0);
}

TEST(PosixOutputFiles, AReplacedFileKeepsItsPermissionsAndGroup) {
  TemporaryDirectory dir;
  dir.write("A.OUT", "old\n");
  dir.write("A.XL1", "old\n");
  ASSERT_EQ(::chmod(dir.file("A.OUT").c_str(), 0600), 0);
  ASSERT_EQ(::chmod(dir.file("A.XL1").c_str(), 0664), 0);
  // A group other than the user's own, where the user may give it (root).
  const bool otherGroup = ::chown(dir.file("A.XL1").c_str(), static_cast<uid_t>(-1), 65534) == 0;
  PosixFileSystem files;
  OutputTransaction outputs(files);
  for (const char* name : {"A.OUT", "A.XL1", "A.XL2"}) {
    OutputText* text = outputs.stage(dir.file(name), true).text;
    ASSERT_NE(text, nullptr) << name;
    text->writeLine("new");
  }
  const mode_t previous = ::umask(022);
  const bool committed = outputs.commit().ok;
  ::umask(previous);
  ASSERT_TRUE(committed);
  struct stat out {}, xl1 {};
  ASSERT_EQ(::stat(dir.file("A.OUT").c_str(), &out), 0);
  ASSERT_EQ(::stat(dir.file("A.XL1").c_str(), &xl1), 0);
  EXPECT_EQ(out.st_mode & 07777, 0600u);
  EXPECT_EQ(xl1.st_mode & 07777, 0664u);
  if (otherGroup) {
    EXPECT_EQ(xl1.st_gid, 65534u);
  }
  EXPECT_EQ(dir.read("A.OUT"), "new\n");
}

TEST(PosixOutputFiles, OnlyOwnersReplaceInAStickyFolder) {
  EXPECT_TRUE(stickyFolderLetsReplace(0777, 0, 1001, 1000, false));   // not sticky
  EXPECT_FALSE(stickyFolderLetsReplace(01777, 0, 1001, 1000, false));  // /tmp, another's file
  EXPECT_TRUE(stickyFolderLetsReplace(01777, 0, 1000, 1000, false));   // one's own file
  EXPECT_TRUE(stickyFolderLetsReplace(01777, 1000, 1001, 1000, false));  // one's own folder
  EXPECT_TRUE(stickyFolderLetsReplace(01777, 0, 1001, 1000, true));    // privileged
}

// rename() cannot replace a file marked immutable, even for root: such a
// file refuses the run when it is staged, and nothing is replaced.
TEST(PosixOutputFiles, AnImmutableFileIsRefusedBeforeAnyRename) {
  TemporaryDirectory dir;
  dir.write("A.OUT", "old\n");
  dir.write("A.XL1", "kept for ever\n");
  const int fd = ::open(dir.file("A.XL1").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  int flags = 0;
  const bool marked = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                      (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
  ::close(fd);
  if (!marked) GTEST_SKIP() << "files cannot be marked immutable here";
  PosixFileSystem files;
  OutputTransaction outputs(files);
  ASSERT_NE(outputs.stage(dir.file("A.OUT"), true).text, nullptr);
  const OutputTransaction::Staged staged = outputs.stage(dir.file("A.XL1"), true);
  // The mark goes before the checks, so that the folder can be removed.
  const int again = ::open(dir.file("A.XL1").c_str(), O_RDONLY);
  flags &= ~FS_IMMUTABLE_FL;
  ::ioctl(again, FS_IOC_SETFLAGS, &flags);
  ::close(again);
  EXPECT_EQ(staged.refusal, OutputTransaction::Refusal::kNotReplaceable);
  EXPECT_NE(staged.reason.find("immutable"), std::string::npos) << staged.reason;
  outputs.abandon();
  EXPECT_EQ(dir.read("A.OUT"), "old\n");
  EXPECT_EQ(temporariesIn(dir.path()), 0);
}

// As user 65534, a run whose second output is a file of user 65533 in a
// sticky folder that everyone may write.
void runAsAnotherUserInAStickyFolder(const std::string& folder) {
  if (::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(5);
  PosixFileSystem files;
  OutputTransaction outputs(files);
  for (const char* name : {"A.OUT", "A.XL1", "A.XL2"}) {
    OutputTransaction::Staged staged = outputs.stage(folder + "/" + name, true);
    if (staged.refusal == OutputTransaction::Refusal::kNotReplaceable) {
      std::fprintf(stderr, "refused %s: %s\n", name, staged.reason.c_str());
      outputs.abandon();  // as a run that stops does
      _exit(2);
    }
    if (staged.text == nullptr) _exit(3);
    staged.text->writeLine("new");
  }
  _exit(outputs.commit().ok ? 0 : 4);
}

// The kernel's own rules, by a process without privileges: the file that
// may not be replaced is refused before anything is renamed. Needs root to
// set up the owners and to become another user.
TEST(PosixOutputFilesDeathTest, AnotherUsersFileInAStickyFolderIsRefusedBeforeAnyRename) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the files other owners";
  TemporaryDirectory dir;
  const std::string folder = dir.file("shared");
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 01777), 0);
  dir.write("shared/A.OUT", "old\n");
  dir.write("shared/A.XL1", "someone else's\n");
  ASSERT_EQ(::chown(dir.file("shared/A.OUT").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chown(dir.file("shared/A.XL1").c_str(), 65533, 65533), 0);
  EXPECT_EXIT(runAsAnotherUserInAStickyFolder(folder), ::testing::ExitedWithCode(2),
              "refused A.XL1: it belongs to another user");
  EXPECT_EQ(dir.read("shared/A.OUT"), "old\n");
  EXPECT_EQ(dir.read("shared/A.XL1"), "someone else's\n");
  EXPECT_FALSE(fs::exists(dir.file("shared/A.XL2")));
  EXPECT_EQ(temporariesIn(folder), 0);
}

// Temporary files of killed runs are removed, and said, when they are
// provably such: the PID named is of this machine and no longer runs.
TEST(PosixOutputFiles, LeftoversOfKilledRunsAreRemovedAndOnlyThey) {
  TemporaryDirectory dir;
  const pid_t child = ::fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  const std::string tag = temporaryHostTag();
  const std::string digits = "0123456789abcdef";
  const std::string dead = ".rova-" + std::to_string(child) + "-" + tag + "-" + digits + ".tmp";
  const std::vector<std::string> kept{
      ".rova-" + std::to_string(::getppid()) + "-" + tag + "-" + digits + ".tmp",  // still runs
      ".rova-" + std::to_string(child) + "-" + (tag == "00000000" ? "00000001" : "00000000") + "-" +
          digits + ".tmp",                                 // another machine's
      ".rova-" + digits + ".tmp",                          // no PID in it
      ".rova-" + std::to_string(child) + "-" + tag + "-" + digits + ".tmp.keep"};  // not ours
  dir.write(dead, "half a report");
  for (const std::string& name : kept) dir.write(name, "someone's");
  PosixFileSystem files;
  OutputTransaction outputs(files);
  OutputText* text = outputs.stage(dir.file("A.OUT"), false).text;
  ASSERT_NE(text, nullptr);
  text->writeLine("report");
  const OutputTransaction::CommitResult result = outputs.commit();
  ASSERT_TRUE(result.ok) << result.failure;
  EXPECT_EQ(result.leftoversRemoved, std::vector<std::string>{dir.file(dead)});
  EXPECT_FALSE(fs::exists(dir.file(dead)));
  for (const std::string& name : kept) EXPECT_TRUE(fs::exists(dir.file(name))) << name;
  EXPECT_EQ(temporariesIn(dir.path()), static_cast<int>(kept.size()));
}

// Under a file-size limit (ulimit -f), with SIGXFSZ ignored as the program
// does, the write that fails throws at once, naming the file and why.
void writePastAFileSizeLimit(const std::string& folder) {
  ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit {65536, 65536};
  if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(5);
  PosixFileSystem files;
  OutputTransaction outputs(files);
  OutputText* text = outputs.stage(folder + "/A.OUT", false).text;
  if (text == nullptr) _exit(3);
  try {
    for (int k = 0; k < 1000000; ++k) text->writeLine(std::string(100, 'x'));
  } catch (const OutputWriteFailure& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    outputs.abandon();
    _exit(0);
  }
  _exit(4);  // a hundred MB written past the limit without a word
}

TEST(PosixOutputFilesDeathTest, AFailedWriteStopsTheWritingAtOnce) {
  TemporaryDirectory dir;
  EXPECT_EXIT(writePastAFileSizeLimit(dir.path()), ::testing::ExitedWithCode(0),
              "cannot write .*/A.OUT: File too large");
  EXPECT_EQ(temporariesIn(dir.path()), 0);
  EXPECT_FALSE(fs::exists(dir.file("A.OUT")));
}

// Names no file system could hold are refused when the outputs are
// checked, before any analysis, not when they are put in place.
TEST(PosixOutputFiles, NamesLongerThanTheFileSystemAllowsAreRefusedWhenChecked) {
  TemporaryDirectory dir;
  PosixFileSystem files;
  OutputTransaction outputs(files);
  std::string reason;
  EXPECT_EQ(outputs.check(dir.file(std::string(255, 'A')), false, reason),
            OutputTransaction::Refusal::kNone)
      << reason;
  EXPECT_EQ(outputs.check(dir.file(std::string(256, 'A')), false, reason),
            OutputTransaction::Refusal::kNotReplaceable);
  EXPECT_EQ(reason, "its name is 256 bytes long, more than the 255 its file system allows");
  std::string deep = dir.path();
  while (deep.size() < 4096) deep += "/" + std::string(200, 'd');
  EXPECT_EQ(outputs.check(deep + "/A.OUT", false, reason), OutputTransaction::Refusal::kNotReplaceable);
  EXPECT_NE(reason.find("a path may have"), std::string::npos) << reason;
  // A final name that fits, in a folder whose temporary names would not.
  std::string folder = dir.path();
  while (folder.size() + 1 + 46 < 4096) folder += "/d";
  folder.resize(4096 - 1 - 20);
  EXPECT_EQ(outputs.check(folder + "/A.OUT", false, reason), OutputTransaction::Refusal::kNotReplaceable);
  EXPECT_NE(reason.find("that of its temporary file"), std::string::npos) << reason;
}

// Two runs writing into one folder at once put their files in place one
// after the other: a commit waits while another run holds the folder.
TEST(PosixOutputFiles, ACommitWaitsForAnotherRunPuttingFilesInTheSameFolder) {
  TemporaryDirectory dir;
  PosixFileSystem other;
  std::string error;
  auto held = other.lockFolder(dir.file("A.OUT"), error);
  ASSERT_NE(held, nullptr) << error;
  std::thread release([&held] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    held.reset();
  });
  PosixFileSystem files;
  OutputTransaction outputs(files);
  for (const char* name : {"A.OUT", "A.XL1"}) {
    OutputText* text = outputs.stage(dir.file(name), true).text;
    ASSERT_NE(text, nullptr);
    text->writeLine("new");
  }
  const auto start = std::chrono::steady_clock::now();
  const OutputTransaction::CommitResult result = outputs.commit();
  const auto waited = std::chrono::steady_clock::now() - start;
  release.join();
  ASSERT_TRUE(result.ok) << result.failure;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_EQ(dir.read("A.XL1"), "new\n");
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

// ROVA ignores SIGPIPE (and SIGXFSZ) and blocks signals at times; the
// command it runs must start with none of that, as from a shell.
TEST(PosixOutputFiles, CommandsStartWithDefaultSignalsAndNoneBlocked) {
  TemporaryDirectory dir;
  testing::ScriptedTerminal terminal;
  ShellInterpreter shell(terminal);
  struct sigaction ignore {}, savedPipe {}, savedSize {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, &savedPipe);
  sigaction(SIGXFSZ, &ignore, &savedSize);
  sigset_t blocked, saved;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &blocked, &saved);
  // A writer that ignores its write errors ends only by SIGPIPE; killed
  // after 10 s should that not come.
  shell.run("cd '" + dir.path() + "' && grep '^Sig[IB]' /proc/self/status > signals && " +
            "timeout -s KILL 10 sh -c 'while :; do echo y; done | head -1' > yes; echo $? > status");
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  sigaction(SIGPIPE, &savedPipe, nullptr);
  sigaction(SIGXFSZ, &savedSize, nullptr);
  EXPECT_EQ(dir.read("signals"), "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
  EXPECT_EQ(dir.read("yes"), "y\n");
  EXPECT_EQ(dir.read("status"), "0\n");
}

}  // namespace
}  // namespace rova

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "platform/posix_platform.h"
#include "tests/test_support.h"

namespace rova {
namespace {

using testing::TemporaryDirectory;

constexpr off_t kLimit = off_t{64} << 20;

// A file of `size` bytes that takes no room on the disk.
void makeSparseFile(const std::string& path, off_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, size), 0);
  ::close(fd);
}

struct FileReadingTest : ::testing::Test {
  // The reason readAll gives, or "read" when it read the file.
  std::string outcome(const std::string& path) {
    std::string bytes, error;
    if (files.readAll(path, bytes, error)) {
      read = bytes;
      return "read";
    }
    EXPECT_TRUE(bytes.empty());
    return error;
  }
  PosixFileSystem files;
  TemporaryDirectory dir;
  std::string read;
};

TEST_F(FileReadingTest, RegularFilesAndLinksToThemAreReadByteForByte) {
  const std::string contents("FHX2 FORMAT\r\n\0\x1a\xff tail", 22);
  dir.write("data.fhx", contents);
  EXPECT_EQ(outcome(dir.file("data.fhx")), "read");
  EXPECT_EQ(read, contents);
  ASSERT_EQ(::symlink(dir.file("data.fhx").c_str(), dir.file("link.fhx").c_str()), 0);
  EXPECT_EQ(outcome(dir.file("link.fhx")), "read");
  EXPECT_EQ(read, contents);
  dir.write("empty", "");
  EXPECT_EQ(outcome(dir.file("empty")), "read");
  EXPECT_EQ(read, "");
  EXPECT_EQ(outcome(dir.file("missing")), std::strerror(ENOENT));
}

// None of these may hang the program: a FIFO without a writer and a device
// that never ends are refused by their type before anything is read.
TEST_F(FileReadingTest, OnlyRegularFilesAreReadAndOthersSayWhatTheyAre) {
  EXPECT_EQ(outcome(dir.path()), "it is a directory");
  ASSERT_EQ(::symlink(dir.path().c_str(), dir.file("to-dir").c_str()), 0);
  EXPECT_EQ(outcome(dir.file("to-dir")), "it is a directory");

  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  EXPECT_EQ(outcome(dir.file("pipe")), "it is a FIFO (named pipe), not a regular file");

  EXPECT_EQ(outcome("/dev/zero"), "it is a device, not a regular file");
  EXPECT_EQ(outcome("/dev/null"), "it is a device, not a regular file");

  const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(s, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = dir.file("sock");
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(outcome(socketPath), "it is a socket, not a regular file");
  ::close(s);
}

TEST_F(FileReadingTest, FilesAboveSixtyFourMebibytesAreRefusedWithTheLimit) {
  makeSparseFile(dir.file("atlimit"), kLimit);
  EXPECT_EQ(outcome(dir.file("atlimit")), "read");
  EXPECT_EQ(read.size(), static_cast<std::size_t>(kLimit));
  read.clear();
  read.shrink_to_fit();

  makeSparseFile(dir.file("huge"), kLimit + 1);
  const std::string reason = outcome(dir.file("huge"));
  EXPECT_NE(reason.find("larger than 64 MiB (67108864 bytes)"), std::string::npos) << reason;
  makeSparseFile(dir.file("huger"), off_t{1} << 33);
  EXPECT_EQ(outcome(dir.file("huger")), reason);

  // openForReading gives the same reasons: it is what the dialogue uses.
  std::string error;
  EXPECT_EQ(files.openForReading(dir.file("huge"), error), nullptr);
  EXPECT_EQ(error, reason);
  EXPECT_EQ(files.openForReading("/dev/zero", error), nullptr);
  EXPECT_EQ(error, "it is a device, not a regular file");
}

TEST(SplitTextLines, LfCrLfAndLoneCrEachEndALine) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(splitTextLines("a\nb\n"), (Lines{"a", "b"}));
  EXPECT_EQ(splitTextLines("a\r\nb\r\n"), (Lines{"a", "b"}));
  EXPECT_EQ(splitTextLines("a\rb\r"), (Lines{"a", "b"}));
  EXPECT_EQ(splitTextLines("a\rb"), (Lines{"a", "b"}));
  // Mixed line ends; an empty line between two line ends of any kind.
  EXPECT_EQ(splitTextLines("a\r\rb\n\nc\r\n\r\nd"), (Lines{"a", "", "b", "", "c", "", "d"}));
  EXPECT_EQ(splitTextLines("a\n\rb"), (Lines{"a", "", "b"}));
  // A line end converted twice is still one line end.
  EXPECT_EQ(splitTextLines("a\r\r\nb\r\r\n"), (Lines{"a", "b"}));
  EXPECT_EQ(splitTextLines("\r"), (Lines{""}));
  EXPECT_EQ(splitTextLines(""), (Lines{}));
  // Kept: Ctrl-Z ends the text, a UTF-8 byte-order mark is dropped.
  EXPECT_EQ(splitTextLines("\xEF\xBB\xBF" "a\rb\x1a\rc\r"), (Lines{"a", "b"}));
  EXPECT_EQ(splitTextLines("a\r\x1a"), (Lines{"a"}));
}

// What a Ctrl-Z leaves out is known: the line it stands on and the lines
// after it that hold something; more marks, NULs and line ends are nothing.
// Lines are bounded as bytes are: a file of millions of line ends is
// refused before it is split (64 MiB of them took gigabytes).
TEST_F(FileReadingTest, FilesOfMoreThanAMillionLinesAreRefusedBeforeTheyAreSplit) {
  std::string error;
  dir.write("most", std::string(kMaxInputLines, '\n'));
  ASSERT_NE(files.openForReading(dir.file("most"), error), nullptr) << error;
  dir.write("more", std::string(kMaxInputLines, '\n') + "x\r");
  EXPECT_EQ(files.openForReading(dir.file("more"), error), nullptr);
  EXPECT_EQ(error, "it has more than 1048576 lines, the most an input file may have");
  EXPECT_EQ(textLimitReason(std::string(kMaxInputLines, '\r') + "\r\n"), error);
  EXPECT_EQ(textLimitReason(std::string(kMaxInputLines, '\r') + "\n"), "");  // CR-LF is one
  // Line ends after a Ctrl-Z are not read and not counted.
  EXPECT_EQ(textLimitReason("a\x1a" + std::string(kMaxInputLines + 5, '\n')), "");
}

TEST(SplitTextLines, TextOfKnowsTheLinesAfterAnEndMark) {
  const InputText whole = textOf("a\nb\n");
  EXPECT_EQ(whole.endMark().line, 0u);
  const InputText dos = textOf("a\r\nb\r\n\x1a\x1a\0\r\n\x1a");
  EXPECT_EQ(dos.lines(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(dos.endMark().line, 3u);
  EXPECT_EQ(dos.endMark().linesAfter, 0u);
  const InputText cut = textOf("a\nb\x1a c\n\nd\x1a e\n");
  EXPECT_EQ(cut.lines(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(cut.endMark().line, 2u);
  EXPECT_EQ(cut.endMark().linesAfter, 2u);
}

}  // namespace
}  // namespace rova

namespace rova {
namespace {

// The batch run's standard output: what cannot be written (a full disk,
// a closed pipe) is told by the next flush, and only by that one.
TEST(FileStreamTest, AFlushTellsOfWritesThatFailedSinceTheLastOne) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  FileStream stream(file, false);
  stream.write("ARVA.OUT\n");
  EXPECT_TRUE(stream.flush());
  std::rewind(file);
  char text[16] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, file), 9u);
  EXPECT_STREQ(text, "ARVA.OUT\n");
  std::fclose(file);

  std::FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full";
  FileStream closed(full, true);
  EXPECT_TRUE(closed.isTerminal());
  closed.write("ARVA.OUT\n");
  EXPECT_FALSE(closed.flush());
  std::fclose(full);
}

}  // namespace
}  // namespace rova

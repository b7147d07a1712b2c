#include "platform/posix_platform.h"

#include <chrono>
#include <signal.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/interrupts.h"

namespace rova {

std::vector<std::string> splitTextLines(const std::string& contents) {
  std::string text = contents.substr(0, contents.find('\x1a'));
  // A UTF-8 byte-order mark is not part of the first line.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    // LF, CR-LF and a lone CR each end a line. Carriage returns directly
    // before an LF belong to its line end: "\r\r\n" is what a CR-LF file
    // becomes when its line ends are converted a second time, and reading
    // it as two line ends would put an empty line after every line.
    std::size_t next = end;
    while (next < text.size() && text[next] == '\r') ++next;
    if (next < text.size() && text[next] == '\n') {
      ++next;
    } else if (next > end) {
      next = end + 1;
    }
    start = next;
  }
  return lines;
}

std::string textLimitReason(const std::string& contents) {
  // Every LF ends a line, and so does a CR that no LF follows; the count
  // may run one over where CRs stand doubled, which is no matter at this
  // size. Lines after a Ctrl-Z are not counted: they are not read.
  const std::size_t end = std::min(contents.find('\x1a'), contents.size());
  std::size_t lines = 0;
  for (std::size_t i = 0; i < end; ++i) {
    const char c = contents[i];
    if (c == '\n' || (c == '\r' && (i + 1 == end || contents[i + 1] != '\n'))) ++lines;
  }
  if (lines <= kMaxInputLines) return "";
  return "it has more than " + std::to_string(kMaxInputLines) +
         " lines, the most an input file may have";
}

InputText textOf(const std::string& contents) {
  std::vector<std::string> lines = splitTextLines(contents);
  const std::size_t mark = contents.find('\x1a');
  InputText::EndMark end;
  if (mark != std::string::npos) {
    // The mark stands on the line after the last whole one when it opens
    // a line, else on the last line.
    const bool opensLine = mark == 0 || contents[mark - 1] == '\n' || contents[mark - 1] == '\r';
    end.line = lines.size() + (opensLine ? 1 : 0);
    std::string rest = contents.substr(mark + 1);
    for (char& c : rest)
      if (c == '\x1a') c = ' ';
    for (const std::string& line : splitTextLines(rest)) {
      if (line.find_first_not_of(std::string(" \t\x1a\0", 4)) != std::string::npos) ++end.linesAfter;
    }
  }
  return InputText(std::move(lines), end);
}

void FileStream::write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), file_); }

bool FileStream::flush() {
  const bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  std::clearerr(file_);
  return ok;
}

void SignalInterrupts::setRestoreSequence(const std::string& sequence) {
  setInterruptRestoreSequence(sequence);
}

StreamTerminal::StreamTerminal(std::FILE* in, std::FILE* out, std::FILE* err, bool echoAnswers)
    : in_(in), out_(out), err_(err), echoAnswers_(echoAnswers) {}

namespace {

// True when the text shows something besides escape sequences (colours,
// screen clearing and cursor movement take no place on the line).
bool showsText(const std::string& text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i) {
    if (text[i] == '\x1b' && i + 1 < text.size() && text[i + 1] == '[') {
      i += 2;
      while (i < text.size() && !((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z'))) ++i;
      continue;
    }
    return true;
  }
  return false;
}

}  // namespace

void StreamTerminal::writeRecord(const std::string& record, RecordKind) {
  if (record.empty()) return;
  const bool visible = showsText(record, 1);
  if (record[0] == '+') {
    if (visible) std::fputc('\r', out_);
  } else if (lineOpen_) {
    std::fputc('\n', out_);
  }
  std::fwrite(record.data() + 1, 1, record.size() - 1, out_);
  if (record[0] != '+' || visible) lineOpen_ = true;
  std::fflush(out_);
}

std::optional<std::string> StreamTerminal::readLine() {
  std::fflush(out_);
  std::string line;
  int c;
  bool any = false;
  while ((c = std::fgetc(in_)) != EOF) {
    any = true;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  if (!any) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (echoAnswers_) {
    std::fputs(line.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
  }
  lineOpen_ = false;
  return line;
}

void StreamTerminal::writeError(const std::string& message) {
  finish();
  std::fputs(message.c_str(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
}

void StreamTerminal::finish() {
  if (lineOpen_) std::fputc('\n', out_);
  lineOpen_ = false;
  std::fflush(out_);
}

namespace {

// The most bytes an input file may hold. The largest fire history the data
// model can take has 4096 data lines (one per year slot) besides its
// header, identifier lines and descriptive lines; even at several thousand
// characters a line that is far below 64 MiB. A larger file is no fire
// history, and refusing it keeps the memory of a read bounded.
constexpr std::size_t kMaxInputBytes = std::size_t{64} << 20;
constexpr const char* kMaxInputText = "64 MiB (67108864 bytes)";

// Why a file of this type is not read; "" for a regular file.
std::string notRegularReason(mode_t mode) {
  if (S_ISREG(mode)) return "";
  if (S_ISDIR(mode)) return "it is a directory";
  if (S_ISFIFO(mode)) return "it is a FIFO (named pipe), not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
  if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
  return "it is not a regular file";
}

std::string tooLargeReason() {
  return std::string("it is larger than ") + kMaxInputText + ", the most an input file may hold";
}

// Closes the descriptor when the read ends, however it ends.
struct Descriptor {
  explicit Descriptor(int fd) : fd(fd) {}
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int fd;
};

// Opens without waiting: a FIFO without a writer or a terminal line would
// otherwise block the open itself. The type is checked on the descriptor,
// so the file checked is the file read.
int openRegularFile(const std::string& name, std::string& error) {
  int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int openError = errno;
    struct stat info {};
    // A socket cannot be opened at all; say what it is rather than ENXIO.
    const std::string reason = ::stat(name.c_str(), &info) == 0 ? notRegularReason(info.st_mode) : "";
    error = reason.empty() ? std::strerror(openError) : reason;
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = std::strerror(errno);
  } else if (std::string reason = notRegularReason(info.st_mode); !reason.empty()) {
    error = reason;
  } else if (static_cast<unsigned long long>(info.st_size) > kMaxInputBytes) {
    error = tooLargeReason();
  } else {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0) return fd;
    error = std::strerror(errno);
  }
  ::close(fd);
  return -1;
}

}  // namespace

bool PosixFileSystem::readAll(const std::string& name, std::string& bytes, std::string& error) {
  Descriptor file(openRegularFile(name, error));
  if (file.fd < 0) return false;
  // At most one byte past the limit is read: a file that grows while it is
  // read is refused without taking more memory.
  std::string contents;
  char buffer[1 << 16];
  while (contents.size() <= kMaxInputBytes) {
    const std::size_t wanted = std::min(sizeof buffer, kMaxInputBytes + 1 - contents.size());
    const ssize_t n = ::read(file.fd, buffer, wanted);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    contents.append(buffer, static_cast<std::size_t>(n));
  }
  if (contents.size() > kMaxInputBytes) {
    error = tooLargeReason();
    return false;
  }
  bytes = std::move(contents);
  return true;
}

std::unique_ptr<InputText> PosixFileSystem::openForReading(const std::string& name,
                                                           std::string& error) {
  std::string bytes;
  if (!readAll(name, bytes, error)) return nullptr;
  error = textLimitReason(bytes);
  if (!error.empty()) return nullptr;
  return std::make_unique<InputText>(textOf(bytes));
}

bool coloursAllowedFor(const char* noColor, const char* term, bool screenIsTerminal) {
  if (noColor != nullptr && noColor[0] != '\0') return false;
  if (term != nullptr && std::strcmp(term, "dumb") == 0) return false;
  return screenIsTerminal;
}

ConfigLocations standardConfigLocations(const char* xdgConfigHome, const char* home,
                                        const std::string& executablePath) {
  ConfigLocations locations;
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/') {
    locations.configDirectory = std::string(xdgConfigHome) + "/rova";
  } else if (home != nullptr && home[0] != '\0') {
    locations.configDirectory = std::string(home) + "/.config/rova";
  }
  if (!locations.configDirectory.empty()) {
    locations.settingsFiles.push_back(locations.configDirectory + "/GRN.INI");
    locations.sayingsFiles.push_back(locations.configDirectory + "/DICHOS.TXT");
  }
  locations.settingsFiles.push_back("GRN.INI");
  const std::string buildDirectory = ROVA_BUILD_DIR;
  const bool inBuildTree = !executablePath.empty() &&
                           executablePath.compare(0, buildDirectory.size() + 1, buildDirectory + "/") == 0;
  if (inBuildTree) {
    locations.sayingsFiles.push_back(std::string(ROVA_SOURCE_DATA_DIR) + "/DICHOS.TXT");
  } else {
    // Installed: beside the program's own prefix first, so that a tree
    // installed under another prefix than the one configured still finds
    // its file.
    const std::string bin = executablePath.substr(0, executablePath.find_last_of('/') + 1);
    if (!bin.empty()) locations.sayingsFiles.push_back(bin + "../share/rova/DICHOS.TXT");
    locations.sayingsFiles.push_back(std::string(ROVA_INSTALLED_DATA_DIR) + "/DICHOS.TXT");
  }
  return locations;
}

std::string currentExecutablePath() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

LocalTime SystemClock::now() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return LocalTime{local.tm_year + 1900, local.tm_mon + 1,  local.tm_mday,
                   local.tm_hour,        local.tm_min,      local.tm_sec,
                   static_cast<int>(local.tm_gmtoff / 60)};
}

long long SystemClock::milliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void ShellInterpreter::run(const std::string& commandLine) {
  terminal_.finish();
  std::fflush(nullptr);
  // As system() does: while the command runs, Ctrl-C and SIGQUIT reach the
  // command and leave ROVA waiting for it.
  InterruptsIgnored ignored;
  pid_t child = ::fork();
  if (child == 0) {
    // The command starts as a shell started it would: every signal with
    // its default action and none blocked. ROVA ignores SIGPIPE and
    // SIGXFSZ and holds signals while it renames its outputs; a command
    // that inherited that (`yes | head -1`) would never end. Only calls
    // that are safe between fork and exec are made here.
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &standard, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (child > 0) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

ProgramPlatform::ProgramPlatform()
    : terminal_(stdin, stdout, stderr, !::isatty(STDIN_FILENO)),
      commands_(terminal_),
      platform{terminal_,
               files_,
               clock_,
               commands_,
               standardConfigLocations(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"),
                                       currentExecutablePath()),
               coloursAllowedFor(std::getenv("NO_COLOR"), std::getenv("TERM"),
                                 ::isatty(STDOUT_FILENO) != 0),
               &interrupts_},
      out(stdout, false),
      err(stderr, ::isatty(STDERR_FILENO) != 0) {}

}  // namespace rova

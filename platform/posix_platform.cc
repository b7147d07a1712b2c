#include "platform/posix_platform.h"

#include <signal.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/interrupts.h"

namespace rova {

std::vector<std::string> splitTextLines(const std::string& contents) {
  std::string text = contents.substr(0, contents.find('\x1a'));
  // A UTF-8 byte-order mark is not part of the first line.
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
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

void StreamTerminal::writeRecord(const std::string& record) {
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

bool PosixFileSystem::readAll(const std::string& name, std::string& bytes, std::string& error) {
  struct stat info {};
  if (::stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    error = "it is a directory";
    return false;
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) {
    error = std::strerror(errno);
    return false;
  }
  std::ostringstream contents;
  contents << in.rdbuf();
  if (in.bad()) {
    error = "read error";
    return false;
  }
  bytes = contents.str();
  return true;
}

std::unique_ptr<InputText> PosixFileSystem::openForReading(const std::string& name,
                                                           std::string& error) {
  std::string bytes;
  if (!readAll(name, bytes, error)) return nullptr;
  return std::make_unique<InputText>(splitTextLines(bytes));
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
  return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                   local.tm_hour,        local.tm_min,     local.tm_sec};
}

void ShellInterpreter::run(const std::string& commandLine) {
  terminal_.finish();
  std::fflush(nullptr);
  // As system() does: while the command runs, Ctrl-C and SIGQUIT reach the
  // command and leave ROVA waiting for it.
  InterruptsIgnored ignored;
  pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGQUIT, SIG_DFL);
    ::execl("/bin/sh", "sh", "-c", commandLine.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (child > 0) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

}  // namespace rova
